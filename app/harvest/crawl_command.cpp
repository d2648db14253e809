#include "app/harvest/crawl_command.h"

#include "app/engine.h"
#include "app/harvest/cli_args.h"
#include "app/harvest/cli_view.h"
#include "app/os.h"
#include "app/qt_timer.h"
#include "app/web_browser.h"
#include "search/host_lookup.h"
#include "state/search_state.h"
#include "text/errors.h"
#include "text/integer.h"
#include "text/paths.h"
#include "text/text_file.h"
#include "search/saved_results.h"
#include "tools/progress_save.h"

#include <QApplication>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineProfile>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <cstdlib>

namespace fs = std::filesystem;

namespace vq::cli {

namespace {

const char* const kCrawlHelp =
    "usage: vqharvest crawl LIST [options]\n"
    "\n"
    "Visits every line of LIST (one address per line, code page 936) in a headless\n"
    "browser and harvests fax numbers and links, exactly as the window's search does.\n"
    "Writes \"autosave&web.txt\", \"autosave&fax.txt\" and \"vqdornavik.ini\" into DIR\n"
    "(every five minutes and at the end). Ctrl-C or SIGTERM stops at once and saves\n"
    "(exit 130 or 143); --from resumes. Only http and https addresses are visited.\n"
    "\n"
    "options:\n"
    "  --speed S          seconds per page, 1..60 (default 8); 0: no pace, each page is\n"
    "                     scanned as soon as it is complete\n"
    "  --page-timeout T   with --speed 0: seconds a page may take (default 30)\n"
    "  --links            harvest links          (\"搜索链接\")\n"
    "  --fax              harvest fax numbers    (\"搜索传真\")\n"
    "                     (neither given: both)\n"
    "  --dedup            skip fax numbers already found (\"去重\")\n"
    "  --filter           apply --contains/--excludes to links (\"启用链接筛选\")\n"
    "  --site             only links of the page's own site (\"只搜索本站\")\n"
    "  --https            take https:// links as well (\"含https链接\"); a --contains\n"
    "                     text that starts with http:// then stands for both schemes\n"
    "  --contains TEXT    a link must contain TEXT (repeatable; default \"http://\" and \".\")\n"
    "  --excludes TEXT    a link must not contain TEXT (repeatable; default \"$\" and \"#\")\n"
    "  --markers FILE     fax marker words, one per line (default \"传真：\", \"FAX：\", \"传真号：\")\n"
    "  --from N           resume: skip the first N lines (N as printed when the crawl stopped);\n"
    "                     the results already in DIR are kept and added to\n"
    "  --out DIR          where results and state go (default: the current directory)\n"
    "  --report FILE      one JSON object per line of the list: line, url, final URL,\n"
    "                     outcome, ms, fax numbers and links found\n"
    "  --lanes N          pages loaded at once, 1..32 (default 1); results stay in list order\n"
    "  --per-host K       with lanes: at most K pages of one host at once (default 2)\n"
    "  --host-delay S     at least S seconds between two visits to one host (default 0)\n"
    "  --recycle M        a lane's page is made afresh after M pages (default 100; 0: never)\n"
    "  --max-page-mb MB   a page whose renderer grows beyond MB megabytes is ended\n"
    "                     (default 1024; 0: no cap)\n"
    "  --shard K/N        visit only the lines L with (L - 1) mod N = K - 1 (several machines)\n"
    "  --no-net-check     skip the connectivity test (pages on this machine)\n"
    "  --quiet            no progress line\n";

struct CrawlOptions {
    std::string list;
    int speed = 8;
    bool noPace = false;
    int pageTimeout = 30;
    bool links = false, fax = false, dedup = false, filter = false, site = false, https = false;
    std::vector<AnsiString> contains, excludes, markers;
    std::optional<int32_t> from;
    std::string out = ".";
    std::string report;
    int lanes = 1;
    int perHost = 2;
    double hostDelay = 0;
    int recycle = 100;
    int maxPageMb = 1024;
    int shardIndex = 0, shardCount = 1;
    bool netCheck = true;
    bool quiet = false;
};

int32_t boundedInteger(const std::string& name, const std::string& text, int32_t low, int32_t high)
{
    const int32_t v = integerArgument(name, text);
    if (v < low || v > high)
        throw UsageError(name + " must be between " + std::to_string(low) + " and " + std::to_string(high));
    return v;
}

void parseShard(const std::string& text, CrawlOptions& o)
{
    const size_t slash = text.find('/');
    if (slash == std::string::npos)
        throw UsageError("--shard must be K/N, not '" + text + "'");
    const int32_t n = boundedInteger("--shard N", text.substr(slash + 1), 1, 1000000);
    const int32_t k = boundedInteger("--shard K", text.substr(0, slash), 1, n);
    o.shardIndex = k - 1;
    o.shardCount = n;
}

CrawlOptions parseCrawl(const std::vector<std::string>& args)
{
    CrawlOptions o;
    bool haveContains = false, haveExcludes = false, haveMarkers = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--speed") {
            o.speed = boundedInteger("--speed", optionValue(args, i), 0, 60);
            o.noPace = o.speed == 0;
        } else if (a == "--page-timeout") {
            o.pageTimeout = boundedInteger("--page-timeout", optionValue(args, i), 1, 3600);
        } else if (a == "--links") o.links = true;
        else if (a == "--fax") o.fax = true;
        else if (a == "--dedup") o.dedup = true;
        else if (a == "--filter") o.filter = true;
        else if (a == "--site") o.site = true;
        else if (a == "--https") o.https = true;
        else if (a == "--contains") {
            if (!haveContains) o.contains.clear();
            haveContains = true;
            o.contains.push_back(utf8ToAnsi(optionValue(args, i)));
        } else if (a == "--excludes") {
            if (!haveExcludes) o.excludes.clear();
            haveExcludes = true;
            o.excludes.push_back(utf8ToAnsi(optionValue(args, i)));
        } else if (a == "--markers") {
            haveMarkers = true;
            o.markers = loadMarkers(optionValue(args, i));
        } else if (a == "--from") {
            o.from = integerArgument("--from", optionValue(args, i));
        } else if (a == "--out") {
            o.out = optionValue(args, i);
        } else if (a == "--report") {
            o.report = optionValue(args, i);
        } else if (a == "--lanes") {
            o.lanes = boundedInteger("--lanes", optionValue(args, i), 1, 32);
        } else if (a == "--per-host") {
            o.perHost = boundedInteger("--per-host", optionValue(args, i), 1, 32);
        } else if (a == "--host-delay") {
            const std::string v = optionValue(args, i);
            char* end = nullptr;
            o.hostDelay = std::strtod(v.c_str(), &end);
            if (v.empty() || *end != '\0' || !(o.hostDelay >= 0) || o.hostDelay > 3600)
                throw UsageError("--host-delay must be seconds between 0 and 3600, not '" + v + "'");
        } else if (a == "--recycle") {
            o.recycle = boundedInteger("--recycle", optionValue(args, i), 0, 1000000);
        } else if (a == "--max-page-mb") {
            o.maxPageMb = boundedInteger("--max-page-mb", optionValue(args, i), 0, 1000000);
        } else if (a == "--shard") {
            parseShard(optionValue(args, i), o);
        } else if (a == "--no-net-check") o.netCheck = false;
        else if (a == "--quiet") o.quiet = true;
        else if (a.size() > 1 && a[0] == '-')
            throw UsageError("unknown option " + a);
        else if (o.list.empty())
            o.list = a;
        else
            throw UsageError("crawl takes one LIST, not '" + a + "' as well");
    }
    if (o.list.empty())
        throw UsageError("crawl needs a LIST file");
    if (!o.links && !o.fax)
        o.links = o.fax = true;
    if (!haveContains)
        o.contains = {"http://", "."};
    if (!haveExcludes)
        o.excludes = {"$", "#"};
    if (!haveMarkers)
        o.markers = defaultMarkers();
    return o;
}

// The list must be a file that can be read to its end.
void checkListFile(const std::string& list)
{
    std::error_code ec;
    const fs::file_status st = fs::status(list, ec);
    if (ec || !fs::exists(st))
        throw Exception("URL list not found: " + list);
    if (fs::is_directory(st))
        throw Exception("URL list " + list + " is a directory");
    if (!fs::is_regular_file(st))
        throw Exception("URL list " + list + " is not a regular file");
}

// WebEngine's start-up report and its warnings about the missing GPU are noise
// on a terminal; everything else goes through.
void quietMessages(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtDebugMsg || type == QtInfoMsg)
        return;
    if (context.category && std::strcmp(context.category, "qt.webenginecontext") == 0)
        return;
    if (message.startsWith(QLatin1String("WebEngineContext used before")) ||
        message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR")))
        return;
    std::fprintf(stderr, "%s\n", qPrintable(message));
}

class AlwaysOnline : public HostLookup {
public:
    std::string localAddress() override { return {}; }
};

std::string jsonString(std::string_view utf8)
{
    std::string out = "\"";
    for (unsigned char c : utf8) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

// One JSON object per line of the list, written as each line is done.
class Report {
public:
    Report(const std::string& path, bool append) : path_(path)
    {
        file_ = std::fopen(path.c_str(), append ? "ab" : "wb");
        if (!file_)
            throw Exception(path + ": cannot write the report: " + std::strerror(errno));
    }
    ~Report()
    {
        if (file_)
            std::fclose(file_);
    }
    Report(const Report&) = delete;
    Report& operator=(const Report&) = delete;

    void write(const PageRecord& r)
    {
        std::string line = "{\"line\":" + std::to_string(r.line) + ",\"url\":" + jsonString(ansiToUtf8(r.address)) +
                           ",\"final\":" + jsonString(ansiToUtf8(r.finalUrl)) +
                           ",\"outcome\":" + jsonString(outcomeName(r.outcome)) + ",\"ms\":" + std::to_string(r.ms) +
                           ",\"fax\":[";
        for (size_t i = 0; i < r.fax.size(); ++i)
            line += (i ? "," : "") + jsonString(ansiToUtf8(r.fax[i]));
        line += "],\"links\":" + std::to_string(r.links) + "}\n";
        if (std::fputs(line.c_str(), file_) < 0 || std::fflush(file_) != 0)
            failed_ = true;
    }
    // Raises when a line could not be written.
    void close()
    {
        const bool bad = failed_ || std::fclose(file_) != 0;
        file_ = nullptr;
        if (bad)
            throw Exception(path_ + ": the report could not be written completely");
    }

private:
    std::string path_;
    std::FILE* file_ = nullptr;
    bool failed_ = false;
};

// Pages done per outcome, and the pace.
struct Tally {
    std::array<int, 5> byOutcome{};
    int pages = 0;
    std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();

    void add(const PageRecord& r)
    {
        ++pages;
        ++byOutcome[static_cast<size_t>(r.outcome)];
    }
    double perSecond() const
    {
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        return s > 0 ? pages / s : 0;
    }
    int count(PageOutcome o) const { return byOutcome[static_cast<size_t>(o)]; }
};

} // namespace

int runCrawl(int argc, char** argv, const std::vector<std::string>& args)
{
    if (wantsHelp(args)) {
        std::fputs(kCrawlHelp, stdout);
        return kExitOk;
    }
    const CrawlOptions o = parseCrawl(args);
    checkListFile(o.list);
    std::error_code ec;
    fs::create_directories(o.out, ec);
    if (!fs::is_directory(o.out))
        throw Exception("cannot use output directory " + o.out);
    const fs::path outDir = fs::absolute(o.out);
    const AnsiString listPath = pathToAnsi(fs::absolute(o.list));

    // The output must take files before any page is visited. A fresh crawl
    // starts its result files empty, so that at the end they hold exactly its
    // own results; a resumed one keeps them (they are read back below).
    if (!o.from) {
        writeAllLines(outDir / kAutosaveLinksName, {});
        writeAllLines(outDir / kAutosaveFaxName, {});
    }
    std::unique_ptr<Report> report;
    if (!o.report.empty())
        report = std::make_unique<Report>(o.report, o.from.has_value());

    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("QT_LOGGING_RULES"))
        qputenv("QT_LOGGING_RULES", "qt.webenginecontext=false;js=false");
    if (o.maxPageMb > 0) {
        // The script heap of a page may not grow beyond the cap either.
        QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
        flags += " --js-flags=--max-old-space-size=" + QByteArray::number(o.maxPageMb);
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags.trimmed());
    }
    qInstallMessageHandler(quietMessages);
    vq::prepareWebEngine();
    QApplication app(argc, argv);

    CliView view;
    view.showProgress = !o.quiet;
    CliPrompts prompts;
    prompts.beforeMessage = [&] { view.finishProgress(); };
    view.setChecked(Switch::Links, o.links);
    view.setChecked(Switch::Fax, o.fax);
    view.setChecked(Switch::Dedup, o.dedup);
    view.setChecked(Switch::LinkFilter, o.filter);
    view.setChecked(Switch::OnlySite, o.site);
    view.setChecked(Switch::Https, o.https);
    view.setChecked(Switch::Autosave, true);
    view.setSpeed(o.noPace ? 1 : o.speed);
    view.setListPath(listPath);
    view.setMemoLines(Memo::FaxMarkers, o.markers);
    view.setMemoLines(Memo::MustContain, o.contains);
    view.setMemoLines(Memo::MustNotContain, o.excludes);

    int code = kExitOk;
    {
        // Quiet pages on one off-the-record profile: lane 0's adapter makes
        // the profile, the other lanes share it.
        WebEngineBrowser browser(static_cast<QWebEnginePage*>(nullptr));
        std::vector<std::unique_ptr<WebEngineBrowser>> laneBrowsers;
        std::vector<std::unique_ptr<QtTimer>> laneTimers;
        QtTimer timer1(8000), timer2(300000), timer3(300000);
        InterfaceHostLookup interfaces;
        AlwaysOnline online;
        HostLookup& host = o.netCheck ? static_cast<HostLookup&>(interfaces) : online;
        Engine engine({view, prompts, browser, host, timer1, timer2, timer3, outDir});
        CrawlDriver& driver = engine.driver;

        LaneOptions lanes;
        lanes.noPace = o.noPace;
        lanes.pageTimeoutMs = o.pageTimeout * 1000;
        lanes.perHost = o.lanes > 1 ? o.perHost : 0; // one lane has one page in flight anyway
        lanes.hostDelayMs = static_cast<int>(o.hostDelay * 1000 + 0.5);
        lanes.recycleAfter = o.recycle;
        lanes.shardIndex = o.shardIndex;
        lanes.shardCount = o.shardCount;
        driver.setLaneOptions(lanes);
        browser.setMemoryCapMb(o.maxPageMb);
        for (int i = 1; i < o.lanes; ++i) {
            laneBrowsers.push_back(WebEngineBrowser::onProfile(browser.page()->profile()));
            laneBrowsers.back()->setMemoryCapMb(o.maxPageMb);
            laneTimers.push_back(std::make_unique<QtTimer>(1000));
            laneTimers.push_back(std::make_unique<QtTimer>(300000));
            driver.addLane(*laneBrowsers.back(), *laneTimers[laneTimers.size() - 2], *laneTimers.back());
        }

        Tally tally;
        driver.onPageDone = [&](const PageRecord& r) {
            tally.add(r);
            if (report)
                report->write(r);
        };
        view.progressExtra = [&] {
            // "done" is the resume position: every line up to it is scanned.
            char buf[96];
            std::snprintf(buf, sizeof buf, "  done %d  lanes %zu/%zu  %.1f p/s", driver.position(),
                          driver.busyLanes(), driver.laneCount(), tally.perSecond());
            return std::string(buf);
        };

        bool ended = false;
        bool stopping = false;
        view.onSearchEnded = [&] {
            ended = true;
            QTimer::singleShot(0, &app, [&] { app.quit(); });
        };

        os::StopRequests stops;
        QObject::connect(&stops, &os::StopRequests::requested, &app, [&](int count) {
            view.finishProgress();
            if (count >= 1 && !stopping) {
                stopping = true;
                // The pages loading now are left unscanned and not counted:
                // the resume point stays before them.
                std::fprintf(stderr, "vqharvest: stopping (a second signal saves and quits at once)\n");
                guarded(prompts, [&] { driver.stopNow(); });
            }
            if (count >= 2) {
                guarded(prompts, [&] { engine.progress.Button2Click(); });
                std::fprintf(stderr, "vqharvest: stopped; resume with --from %d\n", driver.position());
                std::fflush(stderr);
                std::_Exit(stops.exitCode());
            }
        });

        UrlListSource::countLines(fs::absolute(o.list), engine.counters.urlTotal);
        const int failuresBefore = prompts.failures;
        if (o.from) {
            // Resuming goes through the state file, as "继续" does: the state
            // written here is what the resume reads back, and the resume takes
            // back the results the stopped crawl left in DIR.
            engine.counters.progressIndex = *o.from;
            writeSearchState(outDir, view, engine.counters);
            prompts.inputAnswer = intToStr(*o.from);
            guarded(prompts, [&] { engine.resume.N4Click(); });
        } else {
            guarded(prompts, [&] { driver.N2Click(); });
        }
        const std::string status = view.panel(kPanelStatus);
        const bool running = status == "正在搜索..." || status == "继续搜索...";
        if (!ended && !running) {
            code = kExitRuntime; // refused: the reason is on stderr
        } else {
            if (!ended)
                app.exec();
            view.finishProgress();
            const int failuresDuringCrawl = prompts.failures - failuresBefore;
            // The results and the state, whatever the autosave timer last wrote.
            const int before = prompts.failures;
            guarded(prompts, [&] { engine.progress.Button2Click(); });
            const bool saved = prompts.failures == before;
            if (report) {
                try {
                    report->close();
                } catch (const std::exception& e) {
                    std::fprintf(stderr, "vqharvest: error: %s\n", e.what());
                    code = kExitRuntime;
                }
            }
            std::fprintf(stderr, "vqharvest: %d of %d lines done, %d links, %d fax numbers%s\n",
                         driver.position(), engine.counters.urlTotal, engine.counters.linkCount,
                         engine.counters.faxCount, failuresDuringCrawl ? " (some pages reported errors)" : "");
            std::fprintf(stderr,
                         "vqharvest: %d pages, %.2f pages/s; failed: %d timeout, %d navigation error, "
                         "%d render failure, %d skipped scheme\n",
                         tally.pages, tally.perSecond(), tally.count(PageOutcome::Timeout),
                         tally.count(PageOutcome::NavigationError), tally.count(PageOutcome::RenderFailure),
                         tally.count(PageOutcome::SkippedScheme));
            const bool stopped = stopping || driver.stoppedForRenderFailures();
            if (stopped || driver.position() < engine.counters.urlTotal)
                std::fprintf(stderr, "vqharvest: stopped; resume with --from %d\n", driver.position());
            if (!saved || driver.stoppedForRenderFailures())
                code = kExitRuntime;
            else if (stopping)
                code = stops.exitCode();
        }
    }
    return code;
}

} // namespace vq::cli
