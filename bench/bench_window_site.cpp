// The window's site crawl as a user runs it: a directory page whose links lead
// to N company pages of the same site (the generated pages of bench_pages.h),
// "深度" 1, "同时打开" 8, speed 1, links, fax, dedup and the link filter on,
// through the real main window (offscreen) and Qt WebEngine; its pages per
// second and the peak memory of the whole process tree (this process and its
// WebEngine processes, summed PSS); then vqharvest crawl --depth 1 over the
// same site with as many lanes, for its peak beside it.
//
// Usage: bench_window_site [--pages=N] [--lanes=N]   (200 pages, 8 at once by default)
#include "app/form1.h"
#include "app/qt_text.h"
#include "app/web_browser.h"
#include "bench/bench_pages.h"
#include "bench/bench_process.h"
#include "tests/support/event_wait.h"
#include "tests/support/fakes.h"
#include "tests/support/files.h"
#include "tests/support/page_server.h"
#include "text/text_file.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

using namespace vq;

int main(int argc, char** argv)
{
    const int pages = bench::intArgument(argc, argv, "--pages=", 200, 1, 100000);
    const int lanes = bench::intArgument(argc, argv, "--lanes=", 8, 1, 16);
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    vq::keepHiddenPagesOnTime();
    vq::limitRenderProcesses(vq::windowRenderers(lanes)); // as the program's start does
    vq::prepareWebEngine();
    QApplication app(argc, argv);

    // The server answers on its own thread: the directory "/dir" links to the pages.
    bench::ServerThread serving;
    test::PageServer* server = &serving.server();
    if (!server->listening()) {
        std::fprintf(stderr, "bench_window_site: cannot listen on 127.0.0.1\n");
        return 1;
    }
    const int port = server->port();
    QByteArray directory = "<html><head><meta charset=\"utf-8\"></head><body><p>传真：010-10000000</p>";
    for (int i = 0; i < pages; ++i)
        directory += "<a href=\"/p/" + QByteArray::number(i) + ".html\">公司 " + QByteArray::number(i) + "</a> ";
    directory += "</body></html>";
    server->setGenerator([port, directory](const QByteArray& path) -> std::optional<test::PageServer::Response> {
        if (path == "/dir")
            return test::PageServer::Response{"200 OK", "text/html; charset=utf-8", directory, {}, true};
        int index = 0;
        if (std::sscanf(path.constData(), "/p/%d.html", &index) != 1)
            return std::nullopt;
        return test::PageServer::Response{"200 OK", "text/html; charset=utf-8", bench::makePage(index, port), {}, true};
    });
    serving.start();

    QTemporaryDir dir;
    fake::FakePrompts prompts;
    fake::FakeHostLookup host;
    TForm1::Options options;
    options.prompts = &prompts;
    options.host = &host;
    options.programDir = toPath(dir.path());
    TForm1 form(options);
    form.show();

    const QString listPath = dir.filePath(QStringLiteral("seed.txt"));
    writeAllLines(toPath(listPath), {toAnsi(QStringLiteral("http://127.0.0.1:%1/dir").arg(port))});
    prompts.fileAnswers = {toPath(listPath)};
    form.N1Click();
    form.setSpeed(1);
    form.setPagesAtOnce(lanes);
    form.setSiteCrawl(1, Follow::Site);
    for (Switch s : {Switch::Links, Switch::Fax, Switch::Dedup, Switch::LinkFilter, Switch::Autosave})
        form.setChecked(s, true);

    std::printf("bench_window_site: a directory page and %d pages of %d KB on 127.0.0.1, depth 1, %d at once, "
                "speed 1, load average %.2f\n",
                pages, int(bench::makePage(0, port).size() / 1024), lanes, bench::loadAverage());
    std::fflush(stdout);
    bench::TreeMemory peak;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        const bench::TreeMemory t = bench::sampleTree(getpid());
        peak.tree.pss = std::max(peak.tree.pss, t.tree.pss);
        peak.tree.processes = std::max(peak.tree.processes, t.tree.processes);
    });
    sampler.start(200);
    QElapsedTimer wall;
    wall.start();
    form.N2Click();
    const bool ended = test::waitFor([&] { return form.panel(8) == "搜索已经结束!"; }, pages * 3000 + 60000);
    const double seconds = double(wall.nsecsElapsed()) / 1e9;
    sampler.stop();
    const int64_t done = form.engine().session.progress().position;
    if (!ended || done != pages + 1 || !prompts.texts("error").empty()) {
        std::fprintf(stderr, "bench_window_site: the crawl went wrong: ended %d, %lld of %d pages, %zu errors\n",
                     int(ended), static_cast<long long>(done), pages + 1, prompts.texts("error").size());
        return 1;
    }
    std::printf("| crawler | pages | pages/s | peak tree PSS MB | processes |\n|---|---:|---:|---:|---:|\n");
    std::printf("| window, %d at once | %lld | %.2f | %.0f | %d |\n", lanes, static_cast<long long>(done),
                double(done) / seconds, bench::mb(peak.tree.pss), peak.tree.processes);
    std::fflush(stdout);

#ifdef VQHARVEST_PATH
    QTemporaryDir out;
    const bench::RunResult r = bench::runCrawl(
        VQHARVEST_PATH,
        {"crawl", listPath.toStdString(), "--depth", "1", "--speed", "1", "--lanes", std::to_string(lanes),
         "--per-host", std::to_string(lanes), "--links", "--fax", "--dedup", "--filter", "--no-net-check", "--quiet",
         "--out", out.path().toStdString()},
        toPath(out.filePath("log.txt")), [](const bench::TreeMemory&) {});
    const bench::Summary s = bench::parseSummary(r.log);
    std::printf("| vqharvest, %d lanes | %d | %.2f | %.0f | %d |\n", lanes, s.pages, s.pages / r.wallS,
                bench::mb(r.peak.tree.pss), r.peak.tree.processes);
    const bool same = test::readFile(dir.filePath("autosave&fax.txt")) == test::readFile(out.filePath("autosave&fax.txt"));
    std::printf("  same fax file as the window: %s\n", same ? "yes" : "NO");
#endif
    serving.stop();
    return 0;
}
