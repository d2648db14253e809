#include "app/harvest/crawl_command.h"

#include "app/harvest/cli_args.h"
#include "app/harvest/crawl_options.h"
#include "app/harvest/crawl_output.h"
#include "app/os.h"
#include "app/qt_page_fetcher.h"
#include "app/qt_timer.h"
#include "app/robots_fetch.h"
#include "app/web_browser.h"
#include "search/host_lookup.h"
#include "search/saved_results.h"
#include "search/search_session.h"
#include "search/site_frontier.h"
#include "state/frontier_db.h"
#include "text/errors.h"
#include "text/paths.h"
#include "text/text_file.h"

#include <QGuiApplication>
#include <QNetworkAccessManager>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineProfile>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <cstdlib>

namespace fs = std::filesystem;

namespace vq::cli {

namespace {

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
// on a terminal; everything else goes through. (The offscreen platform offers
// WebEngine neither GLX nor EGL: it says "No suitable graphics backend found",
// once, and draws in software, which is all a crawl needs.)
void quietMessages(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtDebugMsg || type == QtInfoMsg)
        return;
    if (context.category && std::strcmp(context.category, "qt.webenginecontext") == 0)
        return;
    if (message.startsWith(QLatin1String("WebEngineContext used before")) ||
        message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR")) ||
        message.trimmed() == QLatin1String("No suitable graphics backend found"))
        return;
    std::fprintf(stderr, "%s\n", qPrintable(message));
}

// ---- the steps of a crawl -------------------------------------------------------

// The crawl's arguments as the setup of its search.
void fillSetup(SearchSetup& setup, const CrawlOptions& o, const fs::path& list)
{
    setup.setListPath(pathToAnsi(list));
    setup.setChecked(Switch::Links, o.links);
    setup.setChecked(Switch::Fax, o.fax);
    setup.setChecked(Switch::Dedup, o.dedup);
    setup.setChecked(Switch::LinkFilter, o.filter);
    setup.setChecked(Switch::OnlySite, o.site);
    setup.setChecked(Switch::Https, o.https);
    setup.setChecked(Switch::Frames, o.frames);
    setup.setChecked(Switch::Ocr, o.ocr);
    setup.setChecked(Switch::Fast, o.fast);
    setup.setChecked(Switch::SettleIdle, o.settleIdle);
    setup.setChecked(Switch::Autosave, true); // results and state every five minutes and at the end
    setup.setSpeed(o.noPace ? kMinSpeed : o.speed);
    setup.setList(OptionList::FaxMarkers, o.markers);
    setup.setList(OptionList::MustContain, o.contains);
    setup.setList(OptionList::MustNotContain, o.excludes);
    LaneOptions lanes;
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
    setup.setLanes(lanes);
    FrontierOptions frontier;
    frontier.on = o.onFrontier();
    frontier.depth = o.depth.value_or(0);
    frontier.follow = o.follow;
    frontier.maxPerSite = o.maxPerSite;
    setup.setFrontier(frontier);
    setup.setNetCheck(o.netCheck);
    setup.setVisitor({o.userAgent, o.proxy, o.robots});
}

// Why a search could not start or go on, for a terminal.
std::string refusalText(SearchSession::Answer answer)
{
    using Answer = SearchSession::Answer;
    switch (answer) {
    case Answer::NoSearchItem:
        return "nothing to search: give --links, --fax or both";
    case Answer::NoListFile:
    case Answer::ListMissing:
        return "the URL list is gone";
    case Answer::Offline:
        return "this machine is not connected (its only address is 127.0.0.1); --no-net-check skips the check";
    case Answer::UnsavedResults:
        return "the result lists hold results not yet saved";
    case Answer::Running:
    case Answer::AtEnd:
        break;
    }
    return {};
}

// The output must take files before any page is visited. A fresh crawl starts
// its result files empty, so that at the end they hold exactly its own
// results; a resumed one keeps them (the resume reads them back).
std::unique_ptr<CrawlReport> prepareOutput(const CrawlOptions& o, const fs::path& outDir)
{
    if (!o.from && !o.resume) {
        writeAllLines(outDir / kAutosaveLinksName, {});
        writeAllLines(outDir / kAutosaveFaxName, {});
    }
    if (o.report.empty())
        return nullptr;
    return std::make_unique<CrawlReport>(o.report, o.from.has_value() || o.resume);
}

// Qt WebEngine headless: the offscreen platform, quiet logging, timers of
// hidden pages on time, the page memory cap as the script heap's cap too.
// Returns the proxy as messages name it (empty: none).
std::string prepareQt(const CrawlOptions& o)
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
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags.trimmed());
    limitRenderProcesses(o.renderers.value_or(renderersForLanes(o.lanes)));
    const std::string proxy = useProxy(o.proxy);
    qInstallMessageHandler(quietMessages);
    vq::prepareWebEngine();
    return proxy;
}

// The browsers and timers of the lanes: quiet pages on one off-the-record
// profile, which lane 0's adapter makes and the others share.
struct Lanes {
    QNetworkAccessManager net; // the fast reading's
    std::vector<std::unique_ptr<QtPageFetcher>> fetchers;
    std::vector<std::unique_ptr<WebEngineBrowser>> browsers;
    std::vector<std::unique_ptr<QtTimer>> timers;

    Lanes(SearchSession& session, const CrawlOptions& o)
    {
        for (int i = 0; i < o.lanes; ++i) {
            browsers.push_back(i == 0 ? std::make_unique<WebEngineBrowser>(static_cast<QWebEnginePage*>(nullptr))
                                      : WebEngineBrowser::onProfile(browsers[0]->page()->profile()));
            if (i == 0) {
                QWebEngineProfile* profile = browsers[0]->page()->profile();
                layOutHiddenPagesScreenWide(profile);
                if (!o.images)
                    loadOnlyWhatTheHarvestReads(profile);
            }
            browsers.back()->setMemoryCapMb(o.maxPageMb);
            browsers.back()->setSettleMs(o.settleMs);
            timers.push_back(std::make_unique<QtTimer>(kInitialPageTimerMs));
            timers.push_back(std::make_unique<QtTimer>(kInitialWatchdogMs));
            fetchers.push_back(std::make_unique<QtPageFetcher>(
                net, browsers[0]->page()->profile()->httpUserAgent()));
            session.addLane(*browsers.back(), *timers[timers.size() - 2], *timers.back(), fetchers.back().get());
        }
    }
    ~Lanes()
    {
        // Lanes after lane 0 share its profile: they go first.
        while (!browsers.empty())
            browsers.pop_back();
    }
};

// Runs a step; its failure is reported. False when it failed.
template <class F>
bool reporting(CrawlOutput& output, F&& step)
{
    try {
        step();
        return true;
    } catch (const std::exception& e) {
        output.stepFailed(e);
        return false;
    }
}

// SIGINT / SIGTERM: the first abandons the loading pages (not counted: the
// resume point stays before them) and saves; a second saves and quits at once.
void handleStops(os::StopRequests& stops, SearchSession& session, CrawlOutput& output, bool& stopping,
                 bool onFrontier)
{
    QObject::connect(&stops, &os::StopRequests::requested, qApp, [&](int count) {
        output.endProgressLine();
        if (count >= 1 && !stopping) {
            stopping = true;
            std::fprintf(stderr, "vqharvest: stopping (a second signal saves and quits at once)\n");
            reporting(output, [&] { session.stopNow(); });
        }
        if (count >= 2) {
            reporting(output, [&] { session.saveProgress(); });
            if (onFrontier)
                std::fprintf(stderr, "vqharvest: stopped; resume with --resume\n");
            else
                std::fprintf(stderr, "vqharvest: stopped; resume with --from %d\n", session.savedPosition());
            std::fflush(stderr);
            std::_Exit(stops.exitCode());
        }
    });
}

// The crawl's frontier database in the output directory: a fresh one, or the
// one to resume. A file that is not a sound frontier is left alone.
std::unique_ptr<FrontierDb> openFrontier(const CrawlOptions& o, const fs::path& outDir)
{
    if (!o.onFrontier())
        return nullptr;
    const FrontierDb::Open mode = o.resume ? FrontierDb::Open::Resume
                                  : o.fresh ? FrontierDb::Open::FreshForcing
                                            : FrontierDb::Open::Fresh;
    try {
        auto db = std::make_unique<FrontierDb>(outDir / kFrontierFileName, mode);
        if (o.resume)
            db->requeueUnrendered();
        return db;
    } catch (const FrontierDbError& e) {
        if (o.resume || e.kind() != FrontierDbError::Kind::NotAFrontier)
            throw;
        throw Exception(std::string(e.what()) + "; left as it is (--fresh replaces it)");
    }
}

// How the crawl began: it runs, there was nothing left to do, it was refused,
// or it failed before any page (the reason of the last two is on stderr).
enum class Begun { Running, AtEnd, Refused, Failed };

// Starts the search, or resumes it after `from` lines (or where its frontier is).
Begun begin(SearchSession& session, const CrawlOptions& o, CrawlOutput& output, Frontier* frontier)
{
    SearchSession::Answer answer = SearchSession::Answer::AtEnd;
    const bool ran = reporting(output, [&] {
        if (o.resume)
            answer = session.resume(static_cast<int32_t>(frontier->counts().done));
        else if (!o.from)
            answer = session.start(true); // a fresh crawl starts its result files empty
        else
            answer = session.resume(*o.from);
    });
    if (!ran)
        return Begun::Failed;
    if (SearchSession::refused(answer)) {
        output.message(refusalText(answer));
        return Begun::Refused;
    }
    return answer == SearchSession::Answer::Running ? Begun::Running : Begun::AtEnd;
}

void printPagesPerDepth(Frontier& frontier)
{
    std::string text;
    for (const auto& [depth, pages] : frontier.pagesPerDepth())
        text += (text.empty() ? "" : ", ") + std::to_string(pages) + " at depth " + std::to_string(depth);
    std::fprintf(stderr, "vqharvest: pages per depth: %s\n", text.empty() ? "none" : text.c_str());
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
    std::unique_ptr<FrontierDb> db = openFrontier(o, outDir);
    std::unique_ptr<CrawlReport> report = prepareOutput(o, outDir);

    const std::string proxy = prepareQt(o);
    QGuiApplication app(argc, argv);

    CrawlOutput output(!o.quiet, std::move(report));
    output.proxy = proxy;
    output.onFinished = [&] { QTimer::singleShot(0, &app, [&] { app.quit(); }); };

    InterfaceHostLookup host;
    QtTimer autosave(kAutosaveMs);
    SearchResults results;
    SearchSession session(host, autosave, results, outDir);
    SearchSetup& setup = session.setup();
    fillSetup(setup, o, fs::absolute(o.list));
    std::unique_ptr<SiteFrontier> frontier;
    if (db) {
        frontier = std::make_unique<SiteFrontier>(*db, setup.frontier());
        frontier->keepOptions(!o.resume);
        if (!o.resume)
            frontier->seed(setup.listPath(), setup.lanes().shardIndex, setup.lanes().shardCount);
    }
    Lanes lanes(session, o);
    session.setObserver(&output);
    QtRobotsFetcher robots;
    robots.timeoutMs = o.pageTimeout * 1000;
    session.setRobotsFetcher(&robots);
    session.setFrontier(frontier.get());
    int32_t total = 0;
    UrlList::countLines(fs::absolute(o.list), total);
    setup.setUrlTotal(total);

    bool stopping = false;
    os::StopRequests stops;
    handleStops(stops, session, output, stopping, frontier != nullptr);

    const int errorsBefore = output.errors();
    const Begun begun = begin(session, o, output, frontier.get());
    if (begun == Begun::Refused || begun == Begun::Failed)
        return kExitRuntime; // the reason is on stderr
    const bool running = begun == Begun::Running;
    if (running && !output.hasFinished())
        app.exec();
    output.endProgressLine();
    const bool pagesReportedErrors = output.errors() > errorsBefore;

    // The end of the search saved its results and state; a search that did not
    // run (nothing left to do) saves its state here, and a save that failed
    // is tried once more.
    bool saved = !running || session.lastSaveFailed()
                     ? reporting(output, [&] { session.saveProgress(); })
                     : true;
    saved = saved && !session.lastSaveFailed();
    const bool reportWritten = output.closeReport();
    output.printSummary(session.progress(), pagesReportedErrors, saved);
    const bool stopped = stopping || session.stoppedForRenderFailures() || session.stoppedForProxyFailures() ||
                         session.storeFailed();
    if (frontier) {
        printPagesPerDepth(*frontier);
        if (stopped || frontier->counts().queued > 0)
            std::fprintf(stderr, "vqharvest: stopped; resume with --resume\n");
    } else if (!saved || stopped || session.position() < setup.position().urlTotal) {
        // From what the state file holds, which a failed save did not move.
        std::fprintf(stderr, "vqharvest: stopped; resume with --from %d\n", session.savedPosition());
    }
    if (!saved || !reportWritten || session.stoppedForRenderFailures() || session.stoppedForProxyFailures() ||
        session.storeFailed())
        return kExitRuntime;
    return stopping ? stops.exitCode() : kExitOk;
}

} // namespace vq::cli
