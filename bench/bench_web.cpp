// vqharvest crawl over a simulated slice of the web (bench/sim_web.h): lines
// per second, fax numbers found of those a page offers (the ones drawn after
// the load event counted apart), peak memory of the whole process tree, and
// how the lines ended. With --general=DIR (a folder with Crawlee, Puppeteer
// and playwright-core installed) and Debian's chromium, general browser
// crawlers run over the same pages beside it (--general-kinds), at the
// concurrencies --general-lanes gives, as their users configure them for speed
// (general_crawler.mjs), with their own default retries and the same bound
// per page. --no-scripts serves pages without any script. --bare runs the
// bare WebEngine loop (bench_bare_loop, the same bound, no retries) at each
// lane count: the practical limit of the browser path. After the table, the
// CPU of each run by process and by thread of the crawler's own process.
// --trace=S runs vqharvest once more at the first lane count with a Chromium
// trace of its first S seconds (trace_renderers.mjs, from the --general
// folder): the renderers' time by kind of work.
//
// Usage: bench_web [--pages=600] [--hosts=60] [--lanes=1,8,16,32,64]
//                  [--general=DIR] [--general-lanes=16,32] [--timeout=15]
//                  [--general-kinds=puppeteer,adaptive] [--no-scripts]
//                  [--bare] [--trace=40]
//                  [--vqharvest=PATH] [--extra="--settle 0 ..."] [--keep]
// --keep leaves the runs' folders (logs, reports, results) and names them.
#include "bench/bench_cpu.h"
#include "bench/bench_process.h"
#include "bench/sim_web.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QThread>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

using namespace vq::bench;

namespace {

struct Figures {
    std::string who;
    int lanes = 0;
    double wallS = 0;
    int lines = 0;
    int foundAtLoad = 0, expectedAtLoad = 0, foundLate = 0, expectedLate = 0;
    TreeMemory peak;
    std::string outcomes;
    int code = 0;
    CpuTally cpu;
};

// A crawler's run, its CPU sampled with its memory, before its numbers are
// counted; when it failed, the end of its log (why it stopped) on stderr.
Figures measure(const std::string& who, int lanes, int lines, const std::string& program,
                const std::vector<std::string>& args, const fs::path& log, std::string* logText = nullptr)
{
    Figures f;
    const RunResult r = runCrawl(program, args, log, [&](const TreeMemory& t) { f.cpu.sample(t); });
    f.who = who;
    f.lanes = lanes;
    f.wallS = r.wallS;
    f.lines = lines;
    f.peak = r.peak;
    f.code = r.exitCode;
    if (r.exitCode != 0)
        std::fprintf(stderr, "%s\n", r.log.substr(r.log.size() > 2000 ? r.log.size() - 2000 : 0).c_str());
    if (logText)
        *logText = r.log;
    return f;
}

std::vector<std::string> items(const std::string& text)
{
    std::vector<std::string> v;
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ','))
        if (!item.empty())
            v.push_back(item);
    return v;
}

std::vector<int> numbers(const std::string& text)
{
    std::vector<int> v;
    for (const std::string& item : items(text))
        v.push_back(std::atoi(item.c_str()));
    return v;
}

std::vector<std::string> words(const std::string& text)
{
    std::vector<std::string> v;
    std::stringstream in(text);
    std::string w;
    while (in >> w)
        v.push_back(w);
    return v;
}

// The numbers found, against what the pages offer.
void count(const SimWeb& web, const fs::path& found, Figures& f)
{
    QSet<QByteArray> got;
    for (const QByteArray& line : QByteArray::fromStdString(readFile(found)).split('\n'))
        if (!line.trimmed().isEmpty())
            got.insert(line.trimmed());
    int told = 0;
    for (size_t n = 0; n < web.pages().size(); ++n) {
        const SimWeb::Page& p = web.pages()[n];
        if (!p.expected())
            continue;
        const bool late = p.drawn == SimWeb::Drawn::AfterLoad;
        (late ? f.expectedLate : f.expectedAtLoad) += 1;
        if (got.contains(p.number))
            (late ? f.foundLate : f.foundAtLoad) += 1;
        else if (told++ < 10) // which pages to look at in a kept run
            std::fprintf(stderr, "missed: /p/%zu.html on host %d (%s, kind %d): %s\n", n, p.host,
                         late ? "late" : "at load", int(p.kind), p.number.constData());
    }
}

std::string reportOutcomes(const fs::path& report)
{
    std::map<std::string, int> by;
    int retried = 0;
    for (const QByteArray& line : QByteArray::fromStdString(readFile(report)).split('\n')) {
        if (line.isEmpty())
            continue;
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        ++by[o.value("outcome").toString().toStdString()];
        if (o.value("attempts").toInt() > 1 && o.value("outcome").toString() == "scanned")
            ++retried;
    }
    std::string s;
    for (const auto& [k, v] : by)
        s += (s.empty() ? "" : ", ") + std::to_string(v) + " " + k;
    return s + "; " + std::to_string(retried) + " scanned on a retry";
}

void print(const Figures& f)
{
    std::printf("| %s | %d | %.2f | %.1f | %d/%d | %d/%d | %.0f | %.0f | %d | %s%s |\n", f.who.c_str(), f.lanes,
                f.wallS > 0 ? f.lines / f.wallS : 0.0, f.wallS, f.foundAtLoad, f.expectedAtLoad, f.foundLate,
                f.expectedLate, mb(f.peak.tree.rss), mb(f.peak.tree.pss), f.peak.tree.processes, f.outcomes.c_str(),
                f.code == 0 ? "" : (" (exit " + std::to_string(f.code) + ")").c_str());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    SimWebOptions web;
    std::vector<int> laneCounts{1, 8, 16, 32, 64};
    std::vector<int> generalLanes{16, 32};
    std::vector<std::string> generalKinds{"puppeteer", "adaptive"};
    std::string program = VQHARVEST_PATH;
    std::string general;
    std::string extra;
    int timeout = 15;
    int traceS = 0;
    bool bare = false;
    bool keep = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](const char* name) { return a.rfind(name, 0) == 0 ? a.substr(std::strlen(name)) : std::string(); };
        if (!value("--pages=").empty()) web.pages = std::stoi(value("--pages="));
        else if (!value("--hosts=").empty()) web.hosts = std::max(2, std::stoi(value("--hosts=")));
        else if (a.rfind("--lanes=", 0) == 0) laneCounts = numbers(value("--lanes=")); // empty: peers only
        else if (a.rfind("--general-lanes=", 0) == 0) generalLanes = numbers(value("--general-lanes="));
        else if (a.rfind("--general-kinds=", 0) == 0) generalKinds = items(value("--general-kinds="));
        else if (a == "--no-scripts") web.scripts = false;
        else if (a == "--bare") bare = true;
        else if (!value("--trace=").empty()) traceS = std::stoi(value("--trace="));
        else if (!value("--general=").empty()) general = value("--general=");
        else if (!value("--timeout=").empty()) timeout = std::stoi(value("--timeout="));
        else if (!value("--vqharvest=").empty()) program = value("--vqharvest=");
        else if (a.rfind("--extra=", 0) == 0) extra = value("--extra=");
        else if (a == "--keep") keep = true;
        else {
            std::fprintf(stderr, "bench_web: unknown argument %s\n", a.c_str());
            return 2;
        }
    }

    QCoreApplication app(argc, argv);
    QThread serverThread;
    auto* sim = new SimWeb(web);
    if (!sim->listening()) {
        std::fprintf(stderr, "bench_web: cannot listen on 127.0.1.x\n");
        return 1;
    }
    sim->moveToThread(&serverThread);
    QObject::connect(&serverThread, &QThread::finished, sim, &QObject::deleteLater);
    serverThread.start();

    char pattern[] = "/tmp/bench_web.XXXXXX";
    const char* made = mkdtemp(pattern);
    if (!made)
        return 1;
    const fs::path dir = made;
    {
        std::ofstream list(dir / "list.txt", std::ios::binary);
        for (int i = 0; i < web.pages; ++i)
            list << sim->url(i).toStdString() << "\r\n";
    }
    std::printf("%d pages on %d hosts (127.0.1.x), log-normal latency, median %d ms; page bound %d s%s\n\n", web.pages,
                web.hosts, web.medianLatencyMs, timeout, web.scripts ? "" : "; no scripts");
    std::printf("| crawler | lanes | lines/s | wall s | found at load | found late | peak RSS MB | peak PSS MB | "
                "processes | outcomes |\n|---|---:|---:|---:|---:|---:|---:|---:|---:|---|\n");

    std::vector<Figures> runs;
    auto crawlArgs = [&](const fs::path& run, int lanes) {
        std::vector<std::string> args{"crawl", (dir / "list.txt").string(), "--speed", "0", "--page-timeout",
                                      std::to_string(timeout), "--fax", "--lanes", std::to_string(lanes),
                                      "--per-host", "2", "--no-net-check", "--quiet", "--out", (run / "out").string(),
                                      "--report", (run / "report.json").string()};
        for (const std::string& w : words(extra))
            args.push_back(w);
        return args;
    };
    for (int lanes : laneCounts) {
        const fs::path run = dir / ("vq" + std::to_string(lanes));
        fs::create_directories(run);
        Figures f = measure("vqharvest", lanes, web.pages, program, crawlArgs(run, lanes), run / "log.txt");
        count(*sim, run / "out" / "autosave&fax.txt", f);
        f.outcomes = reportOutcomes(run / "report.json");
        print(f);
        runs.push_back(f);
    }

    if (!general.empty() && fs::exists("/usr/bin/chromium")) {
        for (const std::string& kind : generalKinds) {
            for (int lanes : generalLanes) {
                const fs::path run = dir / (kind + std::to_string(lanes));
                fs::create_directories(run);
                std::string log;
                Figures f = measure(kind == "adaptive" ? "AdaptivePlaywrightCrawler" : "PuppeteerCrawler", lanes,
                                    web.pages, "/usr/bin/node",
                                    {general + "/general_crawler.mjs", kind, (dir / "list.txt").string(),
                                     (run / "found.txt").string(), std::to_string(lanes), std::to_string(timeout)},
                                    run / "log.txt", &log);
                count(*sim, run / "found.txt", f);
                // The adaptive crawler's last line says how many pages each way.
                log.erase(log.find_last_not_of('\n') + 1);
                f.outcomes = kind == "adaptive" ? log.substr(log.find_last_of('\n') + 1) : "-";
                print(f);
                runs.push_back(f);
            }
        }
    } else if (!general.empty()) {
        std::printf("\n(no /usr/bin/chromium: the general crawler was not run)\n");
    }
    if (bare) {
        for (int lanes : laneCounts) {
            const fs::path run = dir / ("bare" + std::to_string(lanes));
            fs::create_directories(run);
            Figures f = measure("bare WebEngine loop", lanes, web.pages, BARE_LOOP_PATH,
                                {(dir / "list.txt").string(), std::to_string(lanes), std::to_string(timeout)},
                                run / "log.txt");
            f.outcomes = "no retries, no settle, nothing kept";
            print(f);
            runs.push_back(f);
        }
    }
    for (const Figures& f : runs) {
        std::printf("\n%s, %d lanes:\n\n", f.who.c_str(), f.lanes);
        printCpu(f.cpu, f.lines, f.wallS);
    }
    if (traceS > 0 && !general.empty() && !laneCounts.empty()) {
        // Chromium's DevTools protocol on a free loopback port, traced while vqharvest crawls.
        const fs::path run = dir / "traced";
        fs::create_directories(run);
        const std::string endpoint = "127.0.0.1:" + std::to_string(20000 + getpid() % 20000);
        setenv("QTWEBENGINE_REMOTE_DEBUGGING", endpoint.c_str(), 1);
        const pid_t tracer = spawn("/usr/bin/node", {general + "/trace_renderers.mjs", "http://" + endpoint,
                                                     std::to_string(traceS), (run / "trace.json").string()},
                                   run / "trace.txt");
        runCrawl(program, crawlArgs(run, laneCounts.front()), run / "log.txt", [](const TreeMemory&) {});
        unsetenv("QTWEBENGINE_REMOTE_DEBUGGING");
        int status = 0;
        waitpid(tracer, &status, 0);
        std::printf("\nvqharvest, %d lanes, traced for its first %d s (the trace's own cost included):\n\n%s",
                    laneCounts.front(), traceS, readFile(run / "trace.txt").c_str());
    }
    std::printf("\nLines/s: lines of the list over the whole run's wall time, start-up included. Memory: the peak of\n"
                "the crawler's whole process tree, sampled every 100 ms; PSS splits shared pages between processes.\n");

    serverThread.quit();
    serverThread.wait();
    std::error_code ec;
    if (keep)
        std::printf("The runs are kept in %s\n", dir.c_str());
    else
        fs::remove_all(dir, ec);
    return 0;
}
