#include "app/harvest/crawl_command.h"

#include "app/harvest/cli_args.h"
#include "app/harvest/cli_prompts.h"
#include "app/harvest/crawl_output.h"
#include "app/os.h"
#include "app/qt_timer.h"
#include "app/web_browser.h"
#include "search/host_lookup.h"
#include "search/saved_results.h"
#include "search/search_session.h"
#include "text/errors.h"
#include "text/paths.h"
#include "text/text_file.h"

#include <QGuiApplication>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineProfile>

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
    "  --lanes N          pages loaded at once, 1..64 (default 1); results stay in list order\n"
    "  --per-host K       with lanes: at most K pages of one host at once (default 2)\n"
    "  --host-delay S     at least S seconds between two visits to one host (default 0)\n"
    "  --recycle M        a lane's page is made afresh after M pages (default 100; 0: never)\n"
    "  --max-page-mb MB   a page whose renderer grows beyond MB megabytes is ended\n"
    "                     (default 1024; 0: no cap)\n"
"  --retries N        a line that timed out or failed without an HTTP answer is tried\n"
    "                     up to N more times, after 1 s, 2 s, ... (default 2; 404 and 500 are final)\n"
    "  --retry-timeout T  with --speed 0: seconds a retry of a line that timed out may take\n"
    "                     (default: a third of --page-timeout, at least 5)\n"
    "  --renderers R      pages share at most R render processes (default: one for every\n"
    "                     4 lanes; 0: one per site); a page lost with a shared process\n"
    "                     that another page ended or crashed is tried again at once\n"
    "  --settle MS        a page with scripts is read MS milliseconds after its load event,\n"
    "                     so that what they draw late is read too (default 1200; 0: at once)\n"
    "  --images           load images, fonts and media too (by default pages load only\n"
    "                     what the harvest reads: the document, its stylesheets and scripts)\n"
    "  --shard K/N        visit only the lines L with (L - 1) mod N = K - 1 (several machines)\n"
    "  --no-net-check     skip the connectivity test (pages on this machine)\n"
    "  --quiet            no progress line\n";

// Lanes that share one render process by default.
constexpr int kLanesPerRenderer = 4;

struct CrawlOptions {
    std::string list;
    int speed = kDefaultSpeed;
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
    int retries = kRealWebRetries;
    std::optional<int> retryTimeout;
    std::optional<int> renderers;
    int settleMs = kRealWebSettleMs;
    bool images = false;
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
            o.speed = boundedInteger("--speed", optionValue(args, i), 0, kMaxSpeed);
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
            o.lanes = boundedInteger("--lanes", optionValue(args, i), 1, 64);
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
        } else if (a == "--retries") {
            o.retries = boundedInteger("--retries", optionValue(args, i), 0, 10);
        } else if (a == "--retry-timeout") {
            o.retryTimeout = boundedInteger("--retry-timeout", optionValue(args, i), 1, 3600);
        } else if (a == "--renderers") {
            o.renderers = boundedInteger("--renderers", optionValue(args, i), 0, 64);
        } else if (a == "--settle") {
            o.settleMs = boundedInteger("--settle", optionValue(args, i), 0, 10000);
        } else if (a == "--images") {
            o.images = true;
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

// ---- the steps of a crawl -------------------------------------------------------

SearchSettings settingsFor(const CrawlOptions& o, const fs::path& list)
{
    SearchSettings s;
    s.listPath = pathToAnsi(list);
    s.links = o.links;
    s.fax = o.fax;
    s.dedup = o.dedup;
    s.filter = o.filter;
    s.site = o.site;
    s.https = o.https;
    s.autosave = true; // results and state every five minutes and at the end
    s.speed = o.noPace ? kMinSpeed : o.speed;
    s.markers = o.markers;
    s.mustContain = o.contains;
    s.mustNotContain = o.excludes;
    LaneOptions& lanes = s.lanes;
    lanes.lanes = o.lanes;
    lanes.noPace = o.noPace;
    lanes.pageTimeoutMs = o.pageTimeout * 1000;
    lanes.perHost = o.lanes > 1 ? o.perHost : 0; // one lane has one page in flight anyway
    lanes.hostDelayMs = static_cast<int>(o.hostDelay * 1000 + 0.5);
    lanes.recycleAfter = o.recycle;
    lanes.shardIndex = o.shardIndex;
    lanes.shardCount = o.shardCount;
    lanes.retries = o.retries;
    lanes.retryTimeoutMs = 1000 * std::min(o.pageTimeout, o.retryTimeout.value_or(std::max(5, o.pageTimeout / 3)));
    lanes.settleMs = o.settleMs;
    return s;
}

// The output must take files before any page is visited. A fresh crawl starts
// its result files empty, so that at the end they hold exactly its own
// results; a resumed one keeps them (the resume reads them back).
std::unique_ptr<CrawlReport> prepareOutput(const CrawlOptions& o, const fs::path& outDir)
{
    if (!o.from) {
        writeAllLines(outDir / kAutosaveLinksName, {});
        writeAllLines(outDir / kAutosaveFaxName, {});
    }
    if (o.report.empty())
        return nullptr;
    return std::make_unique<CrawlReport>(o.report, o.from.has_value());
}

// Qt WebEngine headless: the offscreen platform, quiet logging, timers of
// hidden pages on time, the page memory cap as the script heap's cap too.
void prepareQt(const CrawlOptions& o)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("QT_LOGGING_RULES"))
        qputenv("QT_LOGGING_RULES", "qt.webenginecontext=false;js=false");
    // Every page of a crawl is hidden: a script that draws a second after the
    // load must not draw two seconds late.
    keepHiddenPagesOnTime();
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    if (o.maxPageMb > 0)
        flags += " --js-flags=--max-old-space-size=" + QByteArray::number(o.maxPageMb);
    // A render process costs some 40-70 MB before any page is in it: lanes on
    // many sites share a few, each page in it still in its own frame tree.
    const int renderers = o.renderers.value_or((o.lanes + kLanesPerRenderer - 1) / kLanesPerRenderer);
    if (renderers > 0)
        flags += " --renderer-process-limit=" + QByteArray::number(renderers);
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags.trimmed());
    qInstallMessageHandler(quietMessages);
    vq::prepareWebEngine();
}

// The browsers and timers of the lanes: quiet pages on one off-the-record
// profile, which lane 0's adapter makes and the others share.
struct Lanes {
    std::vector<std::unique_ptr<WebEngineBrowser>> browsers;
    std::vector<std::unique_ptr<QtTimer>> timers;

    Lanes(SearchSession& session, const CrawlOptions& o)
    {
        for (int i = 0; i < o.lanes; ++i) {
            browsers.push_back(i == 0 ? std::make_unique<WebEngineBrowser>(static_cast<QWebEnginePage*>(nullptr))
                                      : WebEngineBrowser::onProfile(browsers[0]->page()->profile()));
            if (i == 0 && !o.images)
                loadOnlyWhatTheHarvestReads(browsers[0]->page()->profile());
            browsers.back()->setMemoryCapMb(o.maxPageMb);
            browsers.back()->setSettleMs(o.settleMs);
            timers.push_back(std::make_unique<QtTimer>(kInitialPageTimerMs));
            timers.push_back(std::make_unique<QtTimer>(kInitialWatchdogMs));
            session.addLane(*browsers.back(), *timers[timers.size() - 2], *timers.back());
        }
    }
    ~Lanes()
    {
        // Lanes after lane 0 share its profile: they go first.
        while (!browsers.empty())
            browsers.pop_back();
    }
};

// SIGINT / SIGTERM: the first abandons the loading pages (not counted: the
// resume point stays before them) and saves; a second saves and quits at once.
void handleStops(os::StopRequests& stops, SearchSession& session, CliPrompts& prompts, CrawlOutput& output,
                 bool& stopping)
{
    QObject::connect(&stops, &os::StopRequests::requested, qApp, [&](int count) {
        output.endProgressLine();
        if (count >= 1 && !stopping) {
            stopping = true;
            std::fprintf(stderr, "vqharvest: stopping (a second signal saves and quits at once)\n");
            guarded(prompts, [&] { session.stopNow(); });
        }
        if (count >= 2) {
            guarded(prompts, [&] { session.saveProgress(); });
            std::fprintf(stderr, "vqharvest: stopped; resume with --from %d\n", session.position());
            std::fflush(stderr);
            std::_Exit(stops.exitCode());
        }
    });
}

// Starts the search, or resumes it after `from` lines; false when refused
// (the reason is on stderr) or when nothing is left to do.
bool begin(SearchSession& session, const SearchSettings& settings, const CrawlOptions& o, CliPrompts& prompts)
{
    bool running = false;
    guarded(prompts, [&] {
        if (!o.from) {
            running = session.start(settings);
        } else if (session.resumable(settings.listPath)) {
            running = session.resume(settings, *o.from) == SearchSession::Resumed::Running;
        }
    });
    return running;
}

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
    std::unique_ptr<CrawlReport> report = prepareOutput(o, outDir);

    prepareQt(o);
    QGuiApplication app(argc, argv);

    CliPrompts prompts;
    CrawlOutput output(!o.quiet, std::move(report));
    prompts.beforeMessage = [&] { output.endProgressLine(); };
    output.onFinished = [&] { QTimer::singleShot(0, &app, [&] { app.quit(); }); };

    InterfaceHostLookup interfaces;
    AlwaysOnline online;
    HostLookup& host = o.netCheck ? static_cast<HostLookup&>(interfaces) : online;
    QtTimer autosave(kAutosaveMs);
    SearchResults results;
    SearchSession session(prompts, host, autosave, results, outDir);
    Lanes lanes(session, o);
    session.setObserver(&output);
    UrlList::countLines(fs::absolute(o.list), session.stored().urlTotal);

    bool stopping = false;
    os::StopRequests stops;
    handleStops(stops, session, prompts, output, stopping);

    const SearchSettings settings = settingsFor(o, fs::absolute(o.list));
    const int failuresBefore = prompts.failures;
    const bool running = begin(session, settings, o, prompts);
    if (!running && (!output.hasFinished() || prompts.failures > failuresBefore))
        return kExitRuntime; // refused, or failed before any page: the reason is on stderr
    if (running && !output.hasFinished())
        app.exec();
    output.endProgressLine();
    const bool pagesReportedErrors = prompts.failures > failuresBefore;

    // The results and the state, whatever the autosave timer last wrote.
    const int before = prompts.failures;
    guarded(prompts, [&] { session.saveProgress(); });
    const bool saved = prompts.failures == before;
    const bool reportWritten = output.closeReport();
    output.printSummary(session.progress(), pagesReportedErrors);
    const bool stopped = stopping || session.stoppedForRenderFailures();
    if (stopped || session.position() < session.stored().urlTotal)
        std::fprintf(stderr, "vqharvest: stopped; resume with --from %d\n", session.position());
    if (!saved || !reportWritten || session.stoppedForRenderFailures())
        return kExitRuntime;
    return stopping ? stops.exitCode() : kExitOk;
}

} // namespace vq::cli
