// vqharvest crawl following links: a depth crawl over a generated site
// (bench/bench_site_pages.h, loopback hosts 127.0.2.x), a long list crawl with
// the frontier database, and a crawl killed with SIGKILL and resumed. Memory is
// that of the vqharvest process itself (the frontier lives there), sampled every
// 100 ms and tied to the pages done by counting the lines of --report.
//
//   site: the site crawled to depth 3 from one seed a host, then the pages it
//         visited crawled as a list; lines/s of both, the memory at a tenth of
//         the pages and at the end, and how often the server gave each page.
//   list: LINES pages on 127.0.0.1 with --links --fax, with --frontier and
//         without; lines/s of both, and the memory from a tenth of the lines to
//         the end.
//   kill: the site crawl killed at a random page, then --resume: its result
//         files against an uninterrupted crawl's, and the pages given twice.
//
// Usage: bench_site [--goals=site,list,kill] [--pages=10000] [--hosts=20]
//                   [--lanes=8] [--lines=100000] [--seed=N] [--vqharvest=PATH]
//        bench_site --serve [--pages=...]   (serves the site until stopped)
#include "bench/bench_pages.h"
#include "bench/bench_process.h"
#include "bench/bench_site_pages.h"
#include "search/saved_results.h"
#include "tests/support/page_server.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>
#include <QUrl>

#include <csignal>
#include <cstdio>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

using namespace vq::bench;

namespace {

struct Options {
    std::string program = VQHARVEST_PATH;
    std::string goals = "site,list,kill";
    int pages = 10000;
    int hosts = 20;
    int lanes = 8;
    int lines = 100000;
    unsigned seed = std::random_device{}();
};

// One crawl's figures.
struct Measured {
    RunResult run;
    Summary summary;
    int reported = 0;       // lines of the report
    double pagesPerS = 0;   // from the first report line to the last
    double load = 0;        // load average over the run
    std::vector<std::optional<TreeMemory>> atMark; // the median of the samples while the
                                                   // pages done were in [mark - window, mark], or
                                                   // the first sample past the mark when the
                                                   // report jumped over that window
};

// Runs vqharvest; with killAt > 0, kills it with SIGKILL once the report has
// that many lines, and waits for its renderers to go.
Measured measure(const Options& o, const std::vector<std::string>& args, const fs::path& report,
                 const fs::path& log, const std::vector<int>& marks, int killAt = 0)
{
    const int window = std::max(5, marks.empty() ? 0 : marks.front() / 10);
    Measured m;
    LineCounter counter(report);
    std::vector<std::vector<TreeMemory>> samples(marks.size());
    std::vector<std::optional<TreeMemory>> past(marks.size());
    std::optional<Clock::time_point> first, last;
    double loadSum = 0;
    int loadCount = 0;
    int lastDone = 0;
    std::vector<pid_t> tree;
    m.run = runCrawl(o.program, args, log, [&](const TreeMemory& t) {
        const int done = counter.count();
        if (done > 0 && !first)
            first = Clock::now();
        if (done > lastDone)
            last = Clock::now();
        lastDone = done;
        for (size_t i = 0; i < marks.size(); ++i)
            if (done >= marks[i] - window && done <= marks[i])
                samples[i].push_back(t);
            else if (done > marks[i] && !past[i])
                past[i] = t;
        loadSum += loadAverage();
        ++loadCount;
        if (!t.pids.empty())
            tree = t.pids;
        if (killAt > 0 && done >= killAt && !t.pids.empty())
            kill(t.pids.front(), SIGKILL);
    });
    // Renderers left behind by a killed vqharvest end on their own; any still
    // there after 10 s are ended here.
    for (size_t i = 1; i < tree.size(); ++i) {
        const fs::path proc = "/proc/" + std::to_string(tree[i]);
        for (int wait = 0; wait < 100 && fs::exists(proc); ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (fs::exists(proc) && readFile(proc / "cmdline").find("QtWebEngineProcess") != std::string::npos)
            kill(tree[i], SIGKILL);
    }
    m.summary = parseSummary(m.run.log);
    if (m.run.exitCode != 0 && killAt <= 0)
        std::fprintf(stderr, "bench_site: vqharvest exited with %d:\n%s\n", m.run.exitCode,
                     m.run.log.substr(m.run.log.size() > 2000 ? m.run.log.size() - 2000 : 0).c_str());
    m.reported = counter.count();
    if (first && last && *last > *first)
        m.pagesPerS = (m.reported - 1) / std::chrono::duration<double>(*last - *first).count();
    m.load = loadCount ? loadSum / loadCount : loadAverage();
    for (size_t i = 0; i < marks.size(); ++i)
        m.atMark.push_back(samples[i].empty() ? past[i] : std::optional<TreeMemory>(medianOf(samples[i])));
    return m;
}

// The report's objects that were written whole.
std::vector<QJsonObject> reportObjects(const fs::path& report)
{
    std::vector<QJsonObject> v;
    for (const QByteArray& line : QByteArray::fromStdString(readFile(report)).split('\n')) {
        const QJsonDocument d = QJsonDocument::fromJson(line);
        if (d.isObject())
            v.push_back(d.object());
    }
    return v;
}

std::vector<std::string> crawlArgs(const Options& o, const fs::path& list, const fs::path& out,
                                   const fs::path& report, std::vector<std::string> extra)
{
    std::vector<std::string> args{"crawl", list.string(), "--speed", "0", "--lanes", std::to_string(o.lanes),
                                  "--links", "--fax", "--no-net-check", "--quiet", "--out", out.string(),
                                  "--report", report.string()};
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
}

std::vector<std::string> depthArgs()
{
    return {"--depth", std::to_string(kSiteDepth), "--follow", "site"};
}

bool sameResults(const fs::path& a, const fs::path& b)
{
    for (const char* name : {vq::kAutosaveLinksName, vq::kAutosaveFaxName})
        if (readFile(a / name) != readFile(b / name) || !fs::exists(a / name))
            return false;
    return true;
}

// The table of a goal: one row a figure, the goal beside it.
void head(const char* title)
{
    std::printf("\n%s\n\n| Figure | Measured | Goal | Met |\n|---|---:|---|---|\n", title);
}
void row(const std::string& figure, const std::string& value, const std::string& goal = "", int met = -1)
{
    std::printf("| %s | %s | %s | %s |\n", figure.c_str(), value.c_str(), goal.c_str(),
                met < 0 ? "" : met ? "yes" : "**no**");
    std::fflush(stdout);
}
std::string fmt(const char* f, double v)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, f, v);
    return buf;
}
std::string yesNo(bool b) { return b ? "yes" : "no"; }

// How the crawl ended, for a row.
std::string ending(const Measured& m)
{
    std::string s = "exit " + std::to_string(m.run.exitCode) + ", " + std::to_string(m.reported) + " report lines";
    if (m.summary.found)
        s += ", " + std::to_string(m.summary.failed()) +
             " failed";
    return s;
}

// Rows for the memory of vqharvest at two marks and their ratio.
void memoryRows(const std::string& who, const Measured& m, const std::vector<int>& marks, bool goal)
{
    if (m.atMark.size() < 2 || !m.atMark.front() || !m.atMark.back()) {
        row(who + ": memory at pages " + std::to_string(marks.front()) + " and " + std::to_string(marks.back()),
            "not sampled", goal ? "within 1.2×" : "", goal ? 0 : -1);
        return;
    }
    const Memory& a = m.atMark.front()->main;
    const Memory& b = m.atMark.back()->main;
    const std::string span = std::to_string(marks.front()) + " → " + std::to_string(marks.back());
    row(who + ": RSS MB, page " + span, fmt("%.0f", mb(a.rss)) + " → " + fmt("%.0f", mb(b.rss)));
    row(who + ": PSS MB, page " + span, fmt("%.0f", mb(a.pss)) + " → " + fmt("%.0f", mb(b.pss)));
    row(who + ": anonymous MB, page " + span, fmt("%.0f", mb(a.anon)) + " → " + fmt("%.0f", mb(b.anon)));
    const double ratio = double(b.rss) / double(std::max(1L, a.rss));
    row(who + ": RSS ratio", fmt("%.2f", ratio), goal ? "≤ 1.2" : "", goal ? ratio <= 1.2 : -1);
    const double pss = double(b.pss) / double(std::max(1L, a.pss));
    row(who + ": PSS ratio", fmt("%.2f", pss), goal ? "≤ 1.2" : "", goal ? pss <= 1.2 : -1);
}

void rateRows(const std::string& who, const Measured& m)
{
    row(who + ": lines/s (first to last report line)", fmt("%.1f", m.pagesPerS));
    row(who + ": lines/s (vqharvest's summary)", m.summary.found ? fmt("%.1f", m.summary.perSecond) : "-");
    row(who + ": lines/s (wall, start-up included)", fmt("%.1f", m.reported / std::max(0.001, m.run.wallS)));
}

// The rows of a crawl held against a crawl of the same pages run just after
// it: how both ended, their rates, vqharvest's memory at the marks, the load.
void comparedRows(const std::string& who, const Measured& m, const std::string& baseName, const Measured& base,
                  const std::vector<int>& marks)
{
    row(who + ": how it ended", ending(m));
    row(baseName + ": how it ended", ending(base));
    rateRows(who, m);
    rateRows(baseName, base);
    const double ratio = m.pagesPerS / std::max(0.001, base.pagesPerS);
    row(who + ": rate against the " + baseName, fmt("%.2f", ratio), "≥ 0.90", ratio >= 0.9);
    memoryRows(who + ", vqharvest", m, marks, true);
    memoryRows(baseName + ", vqharvest", base, marks, false);
    row("load average (1 min) during the " + who + " / " + baseName,
        fmt("%.1f", m.load) + " / " + fmt("%.1f", base.load));
}

// How often the server gave each page of the site, against what it should.
struct Visits {
    int once = 0, never = 0, more = 0, extra = 0;
};
Visits visits(const SitePages& site)
{
    Visits v;
    for (const int c : site.counts()) {
        v.once += c == 1;
        v.never += c == 0;
        v.more += c > 1;
        v.extra += std::max(0, c - 1);
    }
    return v;
}

// The page a report line's address names, or -1.
int pageOf(const SitePages& site, const QString& url)
{
    const QUrl u(url);
    int host = 0, k = 0;
    if (std::sscanf(u.host().toLatin1().constData(), "127.0.2.%d", &host) != 1 ||
        std::sscanf(u.path().toLatin1().constData(), "/s/%d.html", &k) != 1)
        return -1;
    return (host - 1) * (site.pages() / site.hosts()) + k;
}

void siteGoal(const Options& o, SitePages& site, const fs::path& dir)
{
    const fs::path seeds = dir / "seeds.txt";
    {
        std::ofstream out(seeds, std::ios::binary);
        for (int h = 0; h < site.hosts(); ++h)
            out << site.seed(h).toStdString() << "\r\n";
    }
    const std::vector<int> marks{site.pages() / 10, site.pages()};
    site.resetCounts();
    const Measured depth = measure(o, crawlArgs(o, seeds, dir / "depth", dir / "depth.json", depthArgs()),
                                   dir / "depth.json", dir / "depth.log", marks);
    const Visits v = visits(site);
    const int deeper = site.deeperFetches(), foreign = site.foreignFetches();
    // The list crawl visits what the depth crawl visited, in its order.
    {
        std::ofstream out(dir / "visited.txt", std::ios::binary);
        for (const QJsonObject& r : reportObjects(dir / "depth.json"))
            out << r.value("url").toString().toStdString() << "\r\n";
    }
    site.resetCounts();
    const Measured list = measure(o, crawlArgs(o, dir / "visited.txt", dir / "list", dir / "list.json", {}),
                                  dir / "list.json", dir / "list.log", marks);

    head(("Goal: site crawl, " + std::to_string(site.pages()) + " pages on " + std::to_string(site.hosts()) +
          " hosts, depth 3 from " + std::to_string(site.hosts()) + " seeds, " + std::to_string(o.lanes) +
          " lanes, --speed 0 --links --fax")
             .c_str());
    comparedRows("depth crawl", depth, "list crawl", list, marks);
    row("pages at depth ≤ 3 given exactly once", std::to_string(v.once) + "/" + std::to_string(site.pages()),
        "all", v.once == site.pages());
    row("pages given more than once (extra requests)", std::to_string(v.more) + " (" + std::to_string(v.extra) + ")",
        "0", v.more == 0);
    row("pages never given", std::to_string(v.never), "0", v.never == 0);
    row("pages below depth 3 given", std::to_string(deeper), "0", deeper == 0);
    row("other hosts' pages given (--follow site)", std::to_string(foreign), "0", foreign == 0);
    row("result files equal to the list crawl's", yesNo(sameResults(dir / "depth", dir / "list")));
}

void killGoal(const Options& o, SitePages& site, const fs::path& dir)
{
    const fs::path seeds = dir / "seeds.txt";
    if (!fs::exists(dir / "depth" / vq::kAutosaveFaxName)) {
        site.resetCounts();
        measure(o, crawlArgs(o, seeds, dir / "depth", dir / "depth.json", depthArgs()), dir / "depth.json",
                dir / "depth.log", {});
    }
    std::mt19937 rng(o.seed);
    const int killAt = std::uniform_int_distribution<int>(site.pages() / 20, site.pages() * 19 / 20)(rng);
    site.resetCounts();
    const fs::path out = dir / "killed";
    const Measured killed = measure(o, crawlArgs(o, seeds, out, dir / "killed.json", depthArgs()),
                                    dir / "killed.json", dir / "killed.log", {}, killAt);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const std::vector<int> before = site.counts();
    std::set<int> committed;
    for (const QJsonObject& r : reportObjects(dir / "killed.json"))
        committed.insert(pageOf(site, r.value("url").toString()));
    std::set<int> inFlight;
    for (size_t i = 0; i < before.size(); ++i)
        if (before[i] > 0 && !committed.count(int(i)))
            inFlight.insert(int(i));
    std::vector<std::string> resumeArgs = depthArgs();
    resumeArgs.push_back("--resume");
    const Measured resumed = measure(o, crawlArgs(o, seeds, out, dir / "resumed.json", resumeArgs),
                                     dir / "resumed.json", dir / "resumed.log", {});
    const std::vector<int> after = site.counts();
    int refetched = 0, refetchedInFlight = 0, more = 0;
    for (size_t i = 0; i < after.size(); ++i) {
        refetched += after[i] > 1;
        refetchedInFlight += after[i] > 1 && inFlight.count(int(i));
        more += after[i] > 2 || (after[i] > 1 && before[i] > 1);
    }
    const Visits v = visits(site);

    head(("Goal: kill -9 at a random page of the site crawl, then --resume (" + std::to_string(o.lanes) + " lanes, seed " +
          std::to_string(o.seed) + ")")
             .c_str());
    row("killed at report line", std::to_string(killed.reported) + " (drawn: " + std::to_string(killAt) + ")");
    row("killed crawl: how it ended", ending(killed));
    row("resumed crawl: how it ended", ending(resumed));
    row("result files equal to the uninterrupted crawl's", yesNo(sameResults(out, dir / "depth")), "equal",
        sameResults(out, dir / "depth"));
    row("pages given before the kill, not in its report (loading, or read and waiting for an earlier line)",
        std::to_string(inFlight.size()) + " (" + std::to_string(o.lanes) + " lanes)");
    row("pages given again after --resume", std::to_string(refetched), "only those in flight",
        refetched == refetchedInFlight);
    row("  of them in flight at the kill", std::to_string(refetchedInFlight));
    row("pages given twice within one run", std::to_string(more), "0", more == 0);
    row("pages never given", std::to_string(v.never), "0", v.never == 0);
    row("pages below depth 3 / other hosts' pages given",
        std::to_string(site.deeperFetches()) + " / " + std::to_string(site.foreignFetches()), "0 / 0",
        site.deeperFetches() == 0 && site.foreignFetches() == 0);
    row("load average (1 min) during the killed / resumed crawl",
        fmt("%.1f", killed.load) + " / " + fmt("%.1f", resumed.load));
}

void listGoal(const Options& o, const fs::path& dir)
{
    QThread thread;
    auto* server = new vq::test::PageServer;
    servePages(*server);
    const fs::path list = dir / "lines.txt";
    {
        std::ofstream out(list, std::ios::binary);
        for (int i = 0; i < o.lines; ++i)
            out << server->url(QStringLiteral("/p/%1.html").arg(i)).toStdString() << "\r\n";
    }
    server->moveToThread(&thread);
    QObject::connect(&thread, &QThread::finished, server, &QObject::deleteLater);
    thread.start();
    const std::vector<int> marks{o.lines / 10, o.lines};
    const std::vector<std::string> perHost{"--per-host", std::to_string(o.lanes)};
    std::vector<std::string> withFrontier = perHost;
    withFrontier.push_back("--frontier");
    const Measured frontier = measure(o, crawlArgs(o, list, dir / "frontier", dir / "frontier.json", withFrontier),
                                      dir / "frontier.json", dir / "frontier.log", marks);
    const Measured plain = measure(o, crawlArgs(o, list, dir / "plain", dir / "plain.json", perHost),
                                   dir / "plain.json", dir / "plain.log", marks);
    thread.quit();
    thread.wait();

    head(("Goal: list crawl of " + std::to_string(o.lines) + " lines on 127.0.0.1, " + std::to_string(o.lanes) +
          " lanes, --speed 0 --links --fax, with --frontier and without")
             .c_str());
    comparedRows("--frontier", frontier, "plain crawl", plain, marks);
    row("result files equal", yesNo(sameResults(dir / "frontier", dir / "plain")), "equal",
        sameResults(dir / "frontier", dir / "plain"));
}

} // namespace

int main(int argc, char** argv)
{
    Options o;
    bool serveOnly = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](const char* name) { return a.rfind(name, 0) == 0 ? a.substr(std::strlen(name)) : std::string(); };
        if (!value("--goals=").empty()) o.goals = value("--goals=");
        else if (!value("--pages=").empty()) o.pages = std::stoi(value("--pages="));
        else if (!value("--hosts=").empty()) o.hosts = std::max(2, std::stoi(value("--hosts=")));
        else if (!value("--lanes=").empty()) o.lanes = std::max(1, std::stoi(value("--lanes=")));
        else if (!value("--lines=").empty()) o.lines = std::max(100, std::stoi(value("--lines=")));
        else if (!value("--seed=").empty()) o.seed = unsigned(std::stoul(value("--seed=")));
        else if (!value("--vqharvest=").empty()) o.program = value("--vqharvest=");
        else if (a == "--serve") serveOnly = true;
        else {
            std::fprintf(stderr, "bench_site: unknown argument %s\n", a.c_str());
            return 2;
        }
    }
    auto wants = [&o](const char* goal) { return ("," + o.goals + ",").find("," + std::string(goal) + ",") != std::string::npos; };

    QCoreApplication app(argc, argv);
    QThread serverThread;
    SitePages site(o.pages, o.hosts, 30);
    if (!site.listening()) {
        std::fprintf(stderr, "bench_site: cannot listen on 127.0.2.1 to 127.0.2.%d\n", o.hosts);
        return 1;
    }
    site.moveServersTo(serverThread);
    serverThread.start();
    if (serveOnly) {
        for (int h = 0; h < site.hosts(); ++h)
            std::printf("%s\n", site.seed(h).toStdString().c_str());
        std::fflush(stdout);
        serverThread.wait();
        return 0;
    }

    char pattern[] = "/tmp/bench_site.XXXXXX";
    const char* made = mkdtemp(pattern);
    if (!made)
        return 1;
    const fs::path dir = made;
    std::printf("bench_site: %s; load average before: %.2f; vqharvest %s\n", o.goals.c_str(), loadAverage(),
                o.program.c_str());
    std::fflush(stdout);
    if (wants("site"))
        siteGoal(o, site, dir);
    if (wants("kill"))
        killGoal(o, site, dir);
    if (wants("list"))
        listGoal(o, dir);
    std::printf("\nMemory: vqharvest itself (not its renderers), the median of the samples taken every 100 ms\n"
                "while the report's line count was within a tenth of the first mark below each mark. Lines/s: report\n"
                "lines over the time from the first to the last; the rate goal compares these figures.\n");

    serverThread.quit();
    serverThread.wait();
    if (!std::getenv("BENCH_SITE_KEEP")) {
        std::error_code ec;
        fs::remove_all(dir, ec);
    } else {
        std::printf("files kept in %s\n", dir.c_str());
    }
    return 0;
}
