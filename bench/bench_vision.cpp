// What a person sees that the page's text does not hold: a corpus of pages
// served on 127.0.0.1 (and "localhost", another origin) with numbers in
// iframes of the page's own origin and of another, in framesets, drawn as
// pictures after "传真：", "传 真：", "FAX:" and "电话/传真：" in several fonts,
// sizes 11-18 px and tints, in UTF-8 pages that declare no charset, on
// ordinary pages, and decoys (a number drawn after "电话：", a picture far
// from any marker). vqharvest crawl --speed 0 --lanes 8 --fax, with and
// without --frames --ocr: the share found of each kind, and any decoy.
//
// Usage: bench_vision [--per-kind=30] [--pictures=200]
#include "bench/bench_pages.h"
#include "bench/bench_process.h"
#include "tests/support/number_pictures.h"
#include "text/ansi.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QPainter>
#include <QTemporaryDir>

#include <cstdio>
#include <fstream>
#include <map>
#include <set>

using namespace vq;

namespace {

struct Page {
    QByteArray path;
    std::string kind;
    std::string number; // expected; a decoy's must not be found
    bool decoy = false;
};

QByteArray png(const QString& text, const QString& family, int px, QColor ink, QColor paper)
{
    return test::numberPng(text, px, ink, paper, family);
}

QByteArray html(const QByteArray& body)
{
    return "<html><head><meta charset=\"utf-8\"><title>公司</title></head><body><h2>有限公司</h2><p>地址：工业园区</p>" +
           body + "</body></html>";
}

} // namespace

int main(int argc, char** argv)
{
    const int perKind = bench::intArgument(argc, argv, "--per-kind=", 30, 1, 1000);
    const int pictures = bench::intArgument(argc, argv, "--pictures=", 200, 1, 5000);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    bench::ServerThread serving;
    test::PageServer& server = serving.server();
    const QByteArray port = QByteArray::number(server.port());
    const QByteArray other = "http://localhost:" + port;
    std::map<QByteArray, test::PageServer::Response> served;
    std::vector<Page> pages;
    int serial = 0;
    const auto number = [&](const char* area) { return std::string(area) + "-" + std::to_string(86000000 + ++serial); };
    const auto page = [&](const QByteArray& path, const QByteArray& body, const QByteArray& type = "text/html; charset=utf-8") {
        served[path] = {"200 OK", type, body, {}, true};
    };

    for (int i = 0; i < perKind; ++i) {
        const QByteArray n = QByteArray::number(i);
        std::string f = number("0519");
        page("/if/" + n, html("<p>联系我们</p><iframe src=\"/if/" + n + "/c\"></iframe>"));
        page("/if/" + n + "/c", html("<p>传真：" + QByteArray::fromStdString(f) + "</p>"));
        pages.push_back({"/if/" + n, "iframe, own origin", f});
        f = number("021");
        page("/io/" + n, html("<p>联系我们</p><iframe src=\"" + other + "/io/" + n + "/c\"></iframe>"));
        page("/io/" + n + "/c", html("<p>传真：" + QByteArray::fromStdString(f) + "</p>"));
        pages.push_back({"/io/" + n, "iframe, another origin", f});
        f = number("010");
        page("/fs/" + n, "<html><frameset cols=\"30%,70%\"><frame src=\"/fs/" + n + "/nav\"><frame src=\"/fs/" + n +
                             "/main\"></frameset></html>");
        page("/fs/" + n + "/nav", html("<a href=\"/\">首页</a>"));
        page("/fs/" + n + "/main", html("<p>FAX：" + QByteArray::fromStdString(f) + "</p>"));
        pages.push_back({"/fs/" + n, "frameset", f});
        f = number("0755");
        page("/u8/" + n, "<html><body><p>联系方式</p><p>传真：" + QByteArray::fromStdString(f) + "</p></body></html>",
             "text/html");
        pages.push_back({"/u8/" + n, "utf-8, no charset declared", f});
        f = number("0571");
        page("/plain/" + n, html("<p>传真：" + QByteArray::fromStdString(f) + "</p>"));
        pages.push_back({"/plain/" + n, "ordinary", f});
        f = number("0532");
        served["/d/" + n + ".png"] = {"200 OK", "image/png", png(QString::fromStdString(f), "DejaVu Sans", 14, Qt::black, Qt::white), {}, true};
        page("/phone/" + n, html("<p>电话：<img src=\"/d/" + n + ".png\"></p>"));
        pages.push_back({"/phone/" + n, "decoy: picture after 电话：", f, true});
        f = number("0574");
        served["/e/" + n + ".png"] = {"200 OK", "image/png", png(QString::fromStdString(f), "DejaVu Sans", 14, Qt::black, Qt::white), {}, true};
        page("/far/" + n, html("<p>传真：</p><p>欢迎光临</p><p><img src=\"/e/" + n + ".png\"></p>"));
        pages.push_back({"/far/" + n, "decoy: picture far from a marker", f, true});
    }
    const char* markers[] = {"传真：", "传 真：", "FAX:", "电话/传真："};
    // The fonts pages draw numbers in: sans, serif, condensed and CJK ones, one
    // of them a bitmap font. Monospace fonts that draw the zero with a dot or a
    // slash through it, which recognition reads as 6 or 8, are counted apart.
    const char* fonts[] = {"DejaVu Sans", "DejaVu Serif", "WenQuanYi Zen Hei", "DejaVu Sans Condensed",
                           "WenQuanYi Zen Hei Sharp"};
    const QColor inks[] = {Qt::black, QColor(200, 0, 0), QColor(0, 0, 160), Qt::white, QColor(90, 90, 90)};
    const QColor papers[] = {Qt::white, QColor(255, 240, 200), QColor(220, 235, 255), QColor(40, 40, 90), QColor(245, 245, 245)};
    std::map<std::string, std::pair<int, int>> pictureKinds; // per marker: found, of
    for (int i = 0; i < pictures; ++i) {
        const QByteArray n = QByteArray::number(i);
        const std::string f = number(i % 2 ? "0512" : "020");
        const int tint = (i * 7) % 5;
        served["/p/" + n + ".png"] = {"200 OK", "image/png",
                                      png(QString::fromStdString(f), fonts[(i / 4) % 5], 11 + (i / 3) % 8, inks[tint], papers[tint]),
                                      {}, true};
        page("/pic/" + n, html(QByteArray("<p>") + markers[i % 4] + "<img src=\"/p/" + n + ".png\"></p>"));
        pages.push_back({"/pic/" + n, std::string("picture after ") + markers[i % 4], f});
    }
    for (int i = 0; i < perKind; ++i) {
        const QByteArray n = QByteArray::number(i);
        const std::string f = number("0519");
        const int tint = (i * 7) % 5;
        served["/m/" + n + ".png"] = {"200 OK", "image/png",
                                      png(QString::fromStdString(f), i % 2 ? "DejaVu Sans Mono" : "WenQuanYi Zen Hei Mono",
                                          11 + i % 8, inks[tint], papers[tint]),
                                      {}, true};
        page("/mono/" + n, html("<p>传真：<img src=\"/m/" + n + ".png\"></p>"));
        pages.push_back({"/mono/" + n, "(apart) picture in a monospace font, dotted or slashed zero", f});
    }
    server.setGenerator([served](const QByteArray& path) -> std::optional<test::PageServer::Response> {
        const auto it = served.find(path);
        if (it == served.end())
            return std::nullopt;
        return it->second;
    });
    serving.start();

    QTemporaryDir dir;
    const std::string list = dir.filePath("list.txt").toStdString();
    {
        std::ofstream out(list, std::ios::binary);
        for (const Page& p : pages)
            out << "http://127.0.0.1:" << port.constData() << p.path.constData() << "\r\n";
    }
    std::printf("bench_vision: %zu pages on 127.0.0.1 (frames of another origin on localhost), load average %.2f\n",
                pages.size(), bench::loadAverage());
    for (const bool on : {false, true}) {
        const std::string out = dir.filePath(on ? "on" : "off").toStdString();
        std::vector<std::string> args{"crawl", list, "--speed", "0", "--lanes", "8", "--fax", "--no-net-check",
                                      "--quiet", "--out", out, "--report", out + "/report.json"};
        if (on) {
            args.push_back("--frames");
            args.push_back("--ocr");
        }
        std::filesystem::create_directories(out);
        const bench::RunResult r = bench::runCrawl(VQHARVEST_PATH, args, out + "/log.txt", [](const bench::TreeMemory&) {});
        std::set<std::string> found;
        std::ifstream fax(out + "/autosave&fax.txt", std::ios::binary);
        for (std::string line; std::getline(fax, line);) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            found.insert(line);
        }
        std::map<std::string, std::pair<int, int>> byKind;
        for (const Page& p : pages) {
            auto& [hit, of] = byKind[p.kind];
            hit += found.count(p.number) ? 1 : 0;
            ++of;
        }
        std::printf("\n%s (exit %d, %.1f s, %.2f pages/s)\n| kind | found | share |\n|---|---:|---:|\n",
                    on ? "--frames --ocr" : "without", r.exitCode, r.wallS, double(pages.size()) / r.wallS);
        for (const auto& [kind, counts] : byKind)
            std::printf("| %s | %d of %d | %.0f%% |\n", kind.c_str(), counts.first, counts.second,
                        100.0 * counts.first / counts.second);
    }
    serving.stop();
    return 0;
}
