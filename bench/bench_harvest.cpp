// The batch crawler as an operator runs it: `vqharvest crawl` over generated
// pages served on 127.0.0.1 (a server on a thread of its own), with the memory
// of its whole process tree (vqharvest and the QtWebEngineProcess processes
// below it) read from /proc every 100 ms.
//
//   lanes: pages per second and peak memory over a list of pages at several
//          lane counts, with --speed 0 --per-host 32 (one host); every lane
//          count must write the same result files as the first one.
//   soak:  memory of vqharvest itself and of the tree after 100, 500 and 1,000
//          pages (counted from --report, which is written in list order), with
//          --fax only, so that no link list grows; the ratio 1000/100 shows the
//          drift per page.
//
// Usage: bench_harvest lanes [--pages=200] [--lanes=1,2,4,8,16]
//        bench_harvest soak  [--pages=1000] [--lanes=1,8]
// --vqharvest=PATH picks another program than the one built beside it.
#include "bench/bench_pages.h"
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

namespace {

using Clock = std::chrono::steady_clock;

// Memory of one process, or of a process and everything below it, in kB.
struct Memory {
    long rss = 0;
    long pss = 0;
    long anon = 0; // anonymous pages (heaps): what other processes' sharing of
                   // libraries cannot change, unlike Pss
    int processes = 0;

    Memory& operator+=(const Memory& m)
    {
        rss += m.rss;
        pss += m.pss;
        anon += m.anon;
        processes += m.processes;
        return *this;
    }
};

// Rss, Pss and the anonymous pages from /proc/PID/smaps_rollup; nothing for a process already gone.
Memory processMemory(pid_t pid)
{
    Memory m;
    std::ifstream in("/proc/" + std::to_string(pid) + "/smaps_rollup");
    std::string key;
    long kb = 0;
    bool any = false;
    while (in >> key) {
        if (key == "Rss:" && in >> kb) {
            m.rss = kb;
            any = true;
        } else if (key == "Pss:" && in >> kb) {
            m.pss = kb;
        } else if (key == "Anonymous:" && in >> kb) {
            m.anon = kb;
        }
        in.ignore(1 << 16, '\n');
    }
    m.processes = any ? 1 : 0;
    return m;
}

// Every process's parent, from /proc/PID/stat (the field after the name,
// which may hold spaces and parentheses).
std::multimap<pid_t, pid_t> childrenByParent()
{
    std::multimap<pid_t, pid_t> children;
    DIR* proc = opendir("/proc");
    if (!proc)
        return children;
    while (dirent* e = readdir(proc)) {
        char* end = nullptr;
        const long pid = std::strtol(e->d_name, &end, 10);
        if (*end != '\0' || pid <= 0)
            continue;
        std::ifstream in(std::string("/proc/") + e->d_name + "/stat");
        std::string stat;
        std::getline(in, stat);
        const size_t close = stat.rfind(')');
        if (close == std::string::npos)
            continue;
        char state = 0;
        long ppid = 0;
        if (std::sscanf(stat.c_str() + close + 1, " %c %ld", &state, &ppid) == 2)
            children.emplace(static_cast<pid_t>(ppid), static_cast<pid_t>(pid));
    }
    closedir(proc);
    return children;
}

struct TreeMemory {
    Memory main; // vqharvest itself
    Memory tree; // vqharvest and every process below it
};

TreeMemory sampleTree(pid_t root)
{
    const std::multimap<pid_t, pid_t> children = childrenByParent();
    TreeMemory t;
    t.main = processMemory(root);
    std::vector<pid_t> todo{root};
    while (!todo.empty()) {
        const pid_t pid = todo.back();
        todo.pop_back();
        t.tree += pid == root ? t.main : processMemory(pid);
        for (auto [it, last] = children.equal_range(pid); it != last; ++it)
            todo.push_back(it->second);
    }
    return t;
}

double mb(long kb)
{
    return double(kb) / 1024.0;
}

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// vqharvest with its standard output and standard error in a file.
pid_t spawn(const std::string& program, const std::vector<std::string>& args, const fs::path& log)
{
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        std::fprintf(stderr, "bench_harvest: cannot start %s: %s\n", program.c_str(), std::strerror(rc));
        std::exit(1);
    }
    return pid;
}

// Lines of a file that grows (the report), read as far as it is written.
class LineCounter {
public:
    explicit LineCounter(fs::path path) : path_(std::move(path)) {}
    int count()
    {
        std::ifstream in(path_, std::ios::binary);
        if (!in)
            return lines_;
        in.seekg(offset_);
        char buf[1 << 16];
        while (in.read(buf, sizeof buf) || in.gcount() > 0) {
            offset_ += in.gcount();
            lines_ += int(std::count(buf, buf + in.gcount(), '\n'));
        }
        return lines_;
    }

private:
    fs::path path_;
    std::streamoff offset_ = 0;
    int lines_ = 0;
};

// One crawl: the tree sampled every 100 ms until vqharvest exits; onSample
// sees every sample.
struct RunResult {
    int exitCode = -1;
    double wallS = 0;
    TreeMemory peak;
    std::string log;
};

template <class OnSample>
RunResult runCrawl(const std::string& program, const std::vector<std::string>& args, const fs::path& log,
                   OnSample onSample)
{
    RunResult r;
    const auto start = Clock::now();
    const pid_t pid = spawn(program, args, log);
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
            break;
        const TreeMemory t = sampleTree(pid);
        r.peak.main.rss = std::max(r.peak.main.rss, t.main.rss);
        r.peak.main.pss = std::max(r.peak.main.pss, t.main.pss);
        r.peak.tree.rss = std::max(r.peak.tree.rss, t.tree.rss);
        r.peak.tree.pss = std::max(r.peak.tree.pss, t.tree.pss);
        r.peak.tree.processes = std::max(r.peak.tree.processes, t.tree.processes);
        onSample(t);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    r.wallS = std::chrono::duration<double>(Clock::now() - start).count();
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.log = readFile(log);
    return r;
}

// The figures of vqharvest's own summary line: "N pages, X pages/s; failed: ..."
struct Summary {
    int pages = 0;
    double perSecond = 0;
    int timeout = 0, navigation = 0, render = 0, skipped = 0;
    bool found = false;
};

Summary parseSummary(const std::string& log)
{
    Summary s;
    const size_t at = log.find("vqharvest: ", log.find(" lines done, "));
    if (at == std::string::npos)
        return s;
    s.found = std::sscanf(log.c_str() + at,
                          "vqharvest: %d pages, %lf pages/s; failed: %d timeout, %d navigation error, "
                          "%d render failure, %d skipped scheme",
                          &s.pages, &s.perSecond, &s.timeout, &s.navigation, &s.render, &s.skipped) == 6;
    return s;
}

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
        const int failed = s.timeout + s.navigation + s.render + s.skipped;
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
    std::printf("\n  best %.1f pages/s; target at least 25 pages/s: %s\n", best, best >= 25 ? "met" : "NOT met");
    return bad ? 1 : 0;
}

// Field by field, the median of samples: a single sample may fall on a
// renderer being replaced or a page being parsed.
TreeMemory medianOf(const std::vector<TreeMemory>& samples)
{
    auto median = [&](auto field) {
        std::vector<long> v;
        for (const TreeMemory& t : samples)
            v.push_back(field(t));
        std::nth_element(v.begin(), v.begin() + long(v.size() / 2), v.end());
        return v.empty() ? 0L : v[v.size() / 2];
    };
    TreeMemory m;
    m.main.rss = median([](const TreeMemory& t) { return t.main.rss; });
    m.main.anon = median([](const TreeMemory& t) { return t.main.anon; });
    m.main.pss = median([](const TreeMemory& t) { return t.main.pss; });
    m.tree.rss = median([](const TreeMemory& t) { return t.tree.rss; });
    m.tree.anon = median([](const TreeMemory& t) { return t.tree.anon; });
    m.tree.pss = median([](const TreeMemory& t) { return t.tree.pss; });
    m.tree.processes = int(median([](const TreeMemory& t) { return long(t.tree.processes); }));
    return m;
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
                        s.timeout + s.navigation + s.render + s.skipped);
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
