// The batch crawler as an operator runs it: `vqharvest crawl` over generated
// pages served on 127.0.0.1 (a server on a thread of its own), with the memory
// of its whole process tree (vqharvest and the QtWebEngineProcess processes
// below it) read from /proc every 100 ms.
//
//   lanes: pages per second and peak memory over a list of pages at several
//          lane counts, with --speed 0 --per-host 32 (one host); every lane
//          count must write the same result files as the first one. Then
//          a bare WebEngine loop (bench_bare_loop) over the same list with 1
//          and 8 pages at once, the yardstick of 1 and 8 lanes.
//   soak:  memory of vqharvest itself and of the tree after 100, 500 and 1,000
//          pages (counted from --report, which is written in list order), with
//          --fax only, so that no link list grows; the ratio 1000/100 shows the
//          drift per page.
//
// Usage: bench_harvest lanes [--pages=200] [--lanes=1,2,4,8,16]
//        bench_harvest soak  [--pages=1000] [--lanes=1,8]
// --vqharvest=PATH picks another program than the one built beside it.
#include "bench/bench_pages.h"
#include "bench/bench_process.h"
#include "tests/support/page_server.h"

#include <QCoreApplication>
#include <QThread>

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;

using namespace vq::bench;

namespace {

std::vector<int> parseList(const char* text)
{
    std::vector<int> v;
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ','))
        if (const int n = std::atoi(item.c_str()); n > 0)
            v.push_back(n);
    return v;
}

void writeList(const fs::path& path, const vq::test::PageServer& server, int pages)
{
    std::ofstream out(path, std::ios::binary);
    for (int i = 0; i < pages; ++i)
        out << server.url(QStringLiteral("/p/%1.html").arg(i)).toStdString() << "\r\n";
}

// vqharvest crawl LIST --speed 0 --lanes N --per-host 32 --no-net-check --quiet
// --out OUT, then the extra options.
std::vector<std::string> crawlArgs(const fs::path& list, int lanes, const fs::path& out,
                                   std::vector<std::string> extra = {})
{
    std::vector<std::string> args{"crawl", list.string(), "--speed", "0", "--lanes", std::to_string(lanes),
                                  "--per-host", "32", "--no-net-check", "--quiet", "--out", out.string()};
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
}

int benchLanes(const std::string& program, const vq::test::PageServer& server, const fs::path& dir, int pages,
               const std::vector<int>& laneCounts)
{
    const fs::path list = dir / "lanes.txt";
    writeList(list, server, pages);
    std::printf("bench_harvest lanes: %d pages of %d KB (%d links, %d fax lines each) on 127.0.0.1,\n"
                "  vqharvest crawl LIST --speed 0 --lanes N --per-host 32 --no-net-check --quiet\n"
                "  pages/s: vqharvest's own summary (after its start-up) and over the whole run (wall);\n"
                "  memory: peak over the run, sampled every 100 ms, whole process tree\n\n",
                pages, int(vq::bench::makePage(0, server.port()).size() / 1024), vq::bench::kLinksPerPage,
                vq::bench::kFaxPerPage);
    std::printf("| lanes | pages/s | pages/s (wall) | wall s | peak tree PSS MB | peak tree RSS MB | processes | failed | same files as %d lane%s |\n"
                "|---:|---:|---:|---:|---:|---:|---:|---:|---|\n",
                laneCounts.front(), laneCounts.front() == 1 ? "" : "s");
    std::fflush(stdout);
    std::string firstLinks, firstFax;
    int bad = 0;
    double best = 0;
    for (const int n : laneCounts) {
        const fs::path out = dir / ("lanes" + std::to_string(n));
        fs::create_directories(out);
        const RunResult r = runCrawl(program, crawlArgs(list, n, out), out / "log.txt", [](const TreeMemory&) {});
        const Summary s = parseSummary(r.log);
        const std::string links = readFile(out / "autosave&web.txt");
        const std::string fax = readFile(out / "autosave&fax.txt");
        if (firstFax.empty()) {
            firstLinks = links;
            firstFax = fax;
        }
        const bool same = links == firstLinks && fax == firstFax;
        const long faxLines = std::count(fax.begin(), fax.end(), '\n');
        const int failed = s.failed();
        std::printf("| %d | %.1f | %.1f | %.1f | %.0f | %.0f | %d | %d | %s |\n", n, s.perSecond, pages / r.wallS,
                    r.wallS, mb(r.peak.tree.pss), mb(r.peak.tree.rss), r.peak.tree.processes, failed,
                    same ? "yes" : "NO");
        std::fflush(stdout);
        if (r.exitCode != 0 || !s.found || s.pages != pages || faxLines != long(pages) * (vq::bench::kFaxPerPage + 1)) {
            std::fprintf(stderr, "bench_harvest: lanes %d went wrong: exit %d, %d pages, %ld fax lines\n%s\n", n,
                         r.exitCode, s.pages, faxLines, r.log.c_str());
            ++bad;
        }
        bad += !same;
        best = std::max(best, s.perSecond);
    }
    // The yardstick: a bare WebEngine loop with as many pages at once, over the same list.
    std::printf("\n| bare WebEngine loop, pages at once | pages/s | peak tree PSS MB |\n|---:|---:|---:|\n");
    for (const int n : laneCounts) {
        if (n != 1 && n != 8)
            continue;
        const fs::path out = dir / ("bare" + std::to_string(n));
        fs::create_directories(out);
        const RunResult r = runCrawl(BARE_LOOP_PATH, {list.string(), std::to_string(n)}, out / "log.txt",
                                     [](const TreeMemory&) {});
        double perSecond = 0;
        const size_t at = r.log.find(" pages, ");
        if (at != std::string::npos)
            perSecond = std::atof(r.log.c_str() + at + 8);
        std::printf("| %d | %.1f | %.0f |\n", n, perSecond, mb(r.peak.tree.pss));
    }
    std::printf("\n  best %.1f pages/s; target at least 25 pages/s: %s\n", best, best >= 25 ? "met" : "NOT met");
    return bad ? 1 : 0;
}

int benchSoak(const std::string& program, const vq::test::PageServer& server, const fs::path& dir, int pages,
              const std::vector<int>& laneCounts)
{
    const std::vector<int> marks{pages / 10, pages / 2, pages};
    // The samples of a mark are those taken while the pages done are in
    // [mark, mark + window); the list runs on beyond the last window, so that
    // the tree is still whole there.
    const int window = std::max(5, pages / 50);
    const int lines = pages + 2 * window;
    const fs::path list = dir / "soak.txt";
    writeList(list, server, lines);
    std::printf("bench_harvest soak: %d lines, vqharvest crawl LIST --speed 0 --lanes N --per-host 32 --fax\n"
                "  --no-net-check --quiet --report FILE; memory after %d, %d and %d pages (pages counted\n"
                "  in the report): the median of the samples (every 100 ms) while the next %d pages are done;\n"
                "  vqharvest alone (main) and the whole process tree; anon: anonymous memory (heaps)\n\n",
                lines, marks[0], marks[1], marks[2], window);
    std::printf("| lanes | pages | main RSS MB | main anon MB | main PSS MB | tree PSS MB | tree RSS MB | tree anon MB | processes |\n"
                "|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    std::fflush(stdout);
    int bad = 0;
    for (const int n : laneCounts) {
        const fs::path out = dir / ("soak" + std::to_string(n));
        fs::create_directories(out);
        const fs::path report = out / "report.json";
        LineCounter counter(report);
        std::vector<std::vector<TreeMemory>> at(marks.size());
        const RunResult r = runCrawl(program, crawlArgs(list, n, out, {"--fax", "--report", report.string()}),
                                     out / "log.txt", [&](const TreeMemory& t) {
                                         const int done = counter.count();
                                         for (size_t i = 0; i < marks.size(); ++i)
                                             if (done >= marks[i] && done < marks[i] + window)
                                                 at[i].push_back(t);
                                     });
        std::vector<TreeMemory> m;
        for (size_t i = 0; i < marks.size(); ++i) {
            if (at[i].empty())
                break;
            m.push_back(medianOf(at[i]));
            const TreeMemory& t = m.back();
            std::printf("| %d | %d | %.1f | %.1f | %.1f | %.0f | %.0f | %.0f | %d |\n", n, marks[i], mb(t.main.rss),
                        mb(t.main.anon), mb(t.main.pss), mb(t.tree.pss), mb(t.tree.rss), mb(t.tree.anon),
                        t.tree.processes);
        }
        if (m.size() == marks.size()) {
            const TreeMemory& a = m.front();
            const TreeMemory& b = m.back();
            std::printf("| %d | ratio %d/%d | %.3f | %.3f | %.3f | %.3f | %.3f | %.3f | |\n", n, marks.back(),
                        marks.front(), double(b.main.rss) / a.main.rss, double(b.main.anon) / a.main.anon,
                        double(b.main.pss) / a.main.pss, double(b.tree.pss) / a.tree.pss,
                        double(b.tree.rss) / a.tree.rss, double(b.tree.anon) / a.tree.anon);
        }
        std::fflush(stdout);
        const Summary s = parseSummary(r.log);
        if (r.exitCode != 0 || m.size() != marks.size() || s.pages != lines) {
            std::fprintf(stderr, "bench_harvest: soak with %d lanes went wrong: exit %d, %zu of %zu marks, %d pages\n%s\n",
                         n, r.exitCode, m.size(), marks.size(), s.pages, r.log.c_str());
            ++bad;
        } else {
            std::printf("| %d | (run: %.1f pages/s, %d failed) | | | | | | | |\n", n, s.perSecond,
                        s.failed());
        }
    }
    return bad ? 1 : 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode != "lanes" && mode != "soak") {
        std::fprintf(stderr, "usage: bench_harvest lanes|soak [--pages=N] [--lanes=A,B,...] [--vqharvest=PATH]\n");
        return 2;
    }
    int pages = mode == "lanes" ? 200 : 1000;
    std::vector<int> laneCounts = mode == "lanes" ? std::vector<int>{1, 2, 4, 8, 16} : std::vector<int>{1, 8};
    std::string program = VQHARVEST_PATH;
    for (int i = 2; i < argc; ++i) {
        if (std::strncmp(argv[i], "--pages=", 8) == 0)
            pages = std::max(10, std::atoi(argv[i] + 8));
        else if (std::strncmp(argv[i], "--lanes=", 8) == 0)
            laneCounts = parseList(argv[i] + 8);
        else if (std::strncmp(argv[i], "--vqharvest=", 12) == 0)
            program = argv[i] + 12;
    }
    if (laneCounts.empty())
        return 2;

    QCoreApplication app(argc, argv);
    QThread serverThread;
    auto* server = new vq::test::PageServer;
    if (!server->listening()) {
        std::fprintf(stderr, "bench_harvest: cannot listen on 127.0.0.1\n");
        return 1;
    }
    vq::bench::servePages(*server);
    server->moveToThread(&serverThread);
    QObject::connect(&serverThread, &QThread::finished, server, &QObject::deleteLater);
    serverThread.start();

    char pattern[] = "/tmp/bench_harvest.XXXXXX";
    const char* made = mkdtemp(pattern);
    if (!made) {
        std::fprintf(stderr, "bench_harvest: cannot make a temporary directory\n");
        return 1;
    }
    const fs::path dir = made;
    const int rc = mode == "lanes" ? benchLanes(program, *server, dir, pages, laneCounts)
                                   : benchSoak(program, *server, dir, pages, laneCounts);
    serverThread.quit();
    serverThread.wait();
    std::error_code ec;
    fs::remove_all(dir, ec);
    return rc;
}
