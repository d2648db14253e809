// The crawl driver: walks the open URL list one address at a time on the page
// timer, waits for each page within the wait bound, hands it to the scanners,
// and forces progress through the watchdog when a page hangs.
//
// The window's browser with Timer1 (page) and Timer3 (watchdog) is lane 0. The
// batch command may add lanes, each a browser with its own page timer and
// watchdog going through the same per-page cycle; they take the next lines of
// the same list, and their results are added to the lists in list order.
#pragma once

#include "ports/browser.h"
#include "ports/host_lookup.h"
#include "ports/main_view.h"
#include "ports/prompts.h"
#include "ports/timer.h"
#include "search/counters.h"
#include "search/fax_extractor.h"
#include "search/link_harvester.h"
#include "search/page_complete.h"
#include "search/result_list.h"
#include "search/url_list.h"

#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vq {

// How the crawl left one line of the list.
enum class PageOutcome {
    Scanned,         // the page completed and was scanned
    Timeout,         // the wait bound ran out (scanned as far as loaded) or the watchdog moved on
    NavigationError, // the load failed; what the browser showed was scanned
    RenderFailure,   // the page's renderer died or could not be read
    SkippedScheme,   // not an http or https address: not navigated
};
const char* outcomeName(PageOutcome outcome);

// One line done, reported in list order.
struct PageRecord {
    int32_t line = 0;           // counted from 1
    AnsiString address;         // as read from the list
    AnsiString finalUrl;        // where the browser ended up (empty when unknown)
    PageOutcome outcome = PageOutcome::Scanned;
    int64_t ms = 0;             // from navigation to done
    std::vector<AnsiString> fax; // numbers this line added to the fax list
    int32_t links = 0;          // links this line added to the link list
};

// Whether the crawl navigates to an address: http and https addresses, and
// addresses without a scheme (the browser puts "http://" in front). Anything
// else (file:, javascript:, data:, about:, mailto: ...) is not navigated.
bool isWebAddress(const AnsiString& address);
// The host of an address, ASCII letters in lower case, without user part and
// port; the address itself when it has no recognisable host.
AnsiString hostOf(const AnsiString& address);

// Options of the batch command; the defaults are the window's behaviour.
struct LaneOptions {
    int perHost = 0;            // pages of one host in flight at once; 0: no cap
    int hostDelayMs = 0;        // least time between two navigations to one host
    int shardIndex = 0;         // visit only lines with (line - 1) % shardCount == shardIndex
    int shardCount = 1;
    int recycleAfter = 0;       // a lane's browser is recycled after this many pages; 0: never
    bool noPace = false;        // no pace ("speed 0"): a page is scanned as soon as it completes
    int pageTimeoutMs = 30000;  // no pace: how long a page may take to complete
    int pollMs = 50;            // no pace: period of the page tick
    int renderFailureLimit = 5; // render failures in a row that stop the search
};

class CrawlDriver {
public:
    CrawlDriver(MainView& view, Prompts& prompts, Browser& browser, HostLookup& host,
                Timer& timer1, Timer& timer2, Timer& timer3,
                UrlListSource& urlList, PageCompleteRule& page,
                LinkHarvester& harvester, FaxExtractor& extractor,
                ResultList& links, ResultList& fax, SearchCounters& counters,
                std::filesystem::path programDir);
    ~CrawlDriver();

    void N2Click();      // "搜索": start a search from the first line
    void N3Click();      // "终止": request a stop
    void Button1Click(); // advance to the next address
    void Timer1Timer();  // page tick
    void Timer3Timer();  // watchdog tick
    void BitBtn1Click(); // finish the search
    void ScanPage();     // run the scanners on the loaded page

    // The first advance of a start or a resume: a read or navigation error is
    // swallowed (the watchdog retries), but a failure to finish the search
    // (e.g. the state file cannot be written) is raised.
    void firstAdvance();

    // Writes the search-state file from the window and the counters, with
    // position() as the line reached, and notes in the search record that the
    // state file describes this search.
    void writeSearchState();

    // Lines from the top of the list that are all done (scanned, given up on
    // or skipped): the resume point. A line whose page is still loading is
    // not done. Before any search has run, ProgressIndex as loaded.
    int32_t position() const;
    bool running() const { return running_; }

    // Abandons every page still loading (not scanned, not counted as done)
    // and finishes the search at once.
    void stopNow();
    // Whether the last search was stopped because pages could no longer be
    // rendered (the browser is broken).
    bool stoppedForRenderFailures() const { return renderStop_; }

    // Another lane: its browser, page timer and watchdog (the batch command).
    // The driver takes over the timers' handlers.
    void addLane(Browser& browser, Timer& pageTimer, Timer& watchdog);
    size_t laneCount() const { return lanes_.size(); }
    size_t busyLanes() const;
    void setLaneOptions(const LaneOptions& options) { options_ = options; }
    const LaneOptions& laneOptions() const { return options_; }

    // Called for each line done, in list order (lines outside the shard are
    // not reported).
    std::function<void(const PageRecord&)> onPageDone;
    // Milliseconds of a steady clock; tests may set their own.
    std::function<int64_t()> nowMs;

    // Saves the progress and both result lists (Button2Click); set by the engine.
    // With "自动保存" checked it runs at "终止" and at the end of a search, in
    // place of the state file alone.
    std::function<void()> saveResults;

    // A page gets at most this many extra ticks to complete.
    static constexpr int kMaxWaitTicks = 30;
    // The timers run at the speed field's value, kept within 1..60 seconds.
    static constexpr int kMinSpeed = 1;
    static constexpr int kMaxSpeed = 60;
    static int clampedSpeed(int seconds);
    static int pageIntervalMs(int seconds);     // speed x 1000
    static int watchdogIntervalMs(int seconds); // speed x 15000: fifteen page intervals
    // The intervals at the current speed; without a pace (batch only) the
    // page tick comes every pollMs and the wait is bounded by pageTimeoutMs.
    int pageInterval() const;
    int watchdogInterval() const;
    int maxWaitTicks() const;

private:
    struct Task {
        int32_t line = 0;
        AnsiString address;
        AnsiString host;
        int64_t startedMs = 0;
        bool skipped = false;    // not a web address: never navigated
        bool readFailed = false; // the scan raised a read error
    };
    struct Lane;
    struct Done {
        PageRecord record;
        bool report = true;
        std::vector<AnsiString> links; // still to be added (lanes)
        std::vector<AnsiString> fax;
    };
    enum class Take { Got, Wait, End };

    bool single() const { return lanes_.size() == 1; }
    bool lookahead() const;
    void beginRun();
    Take takeLine(Task& task);
    bool readTask(Task& task); // false at the end of the list
    bool hostFree(const AnsiString& host) const;
    void startTask(Lane& lane, Task task);
    void navigateTo(Lane& lane, const AnsiString& address);
    void advance(Lane& lane, bool& finishing);
    void laneTick(Lane& lane);
    void laneWatchdog(Lane& lane);
    void next(Lane& lane);            // after a page: the next line, or idle
    // Gives the lane its next line, or has it wait for a host; at the end of
    // the list the lane goes idle (false), `finishing` set first.
    bool assignNext(Lane& lane, bool* finishing = nullptr);
    bool listDone();                  // no line left to give out
    void laneIdle(Lane& lane);        // no further line for this lane
    void finishTask(Lane& lane, PageOutcome outcome, bool scan);
    void dropTask(Lane& lane);        // abandoned and not counted
    void haltLanes();                 // every lane: its page dropped, its timers off
    void releaseHost(const Task& task);
    void complete(int32_t line, Done done);
    void flushDone();
    int32_t laneProgress(const Lane& lane) const;
    void checkRenderFailures(PageOutcome outcome);

    MainView& view_;
    Prompts& prompts_;
    Browser& browser_;
    HostLookup& host_;
    Timer& timer1_;
    Timer& timer2_;
    Timer& timer3_;
    UrlListSource& urlList_;
    PageCompleteRule& page_;
    LinkHarvester& harvester_;
    FaxExtractor& extractor_;
    ResultList& links_;
    ResultList& fax_;
    SearchCounters& counters_;
    std::filesystem::path programDir_;

    LaneOptions options_;
    std::vector<std::unique_ptr<Lane>> lanes_; // lane 0: the window's browser, Timer1, Timer3
    std::deque<Task> ahead_;                   // lines read, not yet given to a lane
    std::map<int32_t, Done> done_;             // done out of list order, waiting for earlier lines
    std::map<AnsiString, int> inFlight_;       // pages in flight per host
    std::map<AnsiString, int64_t> lastVisit_;  // last navigation per host
    int32_t linesRead_ = 0;
    int32_t committed_ = 0;                    // lines up to here are done and added
    bool ranOnce_ = false;
    bool running_ = false;
    bool renderStop_ = false;
    int renderFailuresInRow_ = 0;
    int32_t failedRunStart_ = 0; // first line of the render failures at the end of the added lines
};

} // namespace vq
