// The lanes of a search: each lane is a browser with a page timer and a
// watchdog going through the same per-page cycle (navigate, wait for the page
// within the wait bound, read it). The lanes take the next lines of one open
// URL list, a few lines ahead so that a busy host does not hold up the
// others; the pages they read are added in list order. The window runs one
// lane, its visible browser; vqharvest runs as many as it is told.
//
// Paced, a lane's page tick polls the page every interval. Without a pace the
// page tick is a single shot: at the wait bound, or at once when the browser
// reports the page complete or its renderer gone. A line that ends in a
// transient failure may be tried again after a back-off (LaneOptions::retries);
// until then the resume point stays before it.
#pragma once

#include "ports/browser.h"
#include "ports/search_observer.h"
#include "ports/timer.h"
#include "search/robots.h"
#include "search/fast_reader.h"
#include "search/fax_extractor.h"
#include "search/link_harvester.h"
#include "search/page_complete.h"
#include "search/page_result.h"
#include "search/search_settings.h"
#include "search/line_source.h"

#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace vq {

class LaneScheduler {
public:
    // What the scheduler tells the search it belongs to.
    class Listener {
    public:
        virtual ~Listener() = default;
        virtual void lineRead(int32_t line, const AnsiString& address) = 0;
        virtual void commit(PageResult& page) = 0; // in list order
        virtual void pageTicked() = 0;             // a lane has done with a page at its tick
        virtual void lanesIdle() = 0;              // no line left and none in flight
        virtual void renderFailuresInRow(int count) = 0; // the browser is broken: stop
        virtual void proxyFailuresInRow(int count) = 0;  // the proxy does not answer: stop
        virtual void tickFailed(const std::exception& e) = 0; // a lane's tick raised; the program goes on
    };

    LaneScheduler(LineSource& source, Listener& listener);
    ~LaneScheduler();
    LaneScheduler(const LaneScheduler&) = delete;
    LaneScheduler& operator=(const LaneScheduler&) = delete;

    // A lane: its browser, page timer and watchdog. The scheduler takes over
    // the timers' handlers. The first lane added is lane 0. With a fetcher
    // the lane can read pages from their HTML (SearchSettings::fast).
    void addLane(Browser& browser, Timer& pageTimer, Timer& watchdog, PageFetcher* fetcher = nullptr);
    size_t laneCount() const { return lanes_.size(); }
    // Lanes the current search runs: as many as its settings ask for, of those added.
    size_t usedLanes() const { return used_; }
    size_t busyLanes() const;

    // Where the next search takes its lines from.
    void useSource(LineSource& source) { source_ = &source; }
    // A search begins with `linesDone` lines of the open list already read.
    void begin(const SearchSettings& settings, int32_t linesDone);
    // Every lane takes its first line. A failed read or navigation is left to
    // the watchdog; a failure of the end of the search (an empty list) is raised.
    void firstAdvance();
    // No new line is given out; a lane that looks for one ends instead.
    void requestStop();
    // The speed and the switches the page tick reads, changed while the search runs.
    void setLive(const LiveSettings& live);
    // robots.txt obeyed from now on (nullptr: not): a line waits for its
    // origin's, and one it forbids ends as PageOutcome::Robots, never fetched.
    void setRobots(RobotsPolicy* robots) { robots_ = robots; }
    // Every lane: its page abandoned (not done), its timers off. The search
    // is no longer active.
    void halt();
    bool active() const { return run_ == Run::Running || run_ == Run::Stopping || run_ == Run::RenderFailed; }

    // The lane's three steps: its page tick, its watchdog tick, and moving it
    // on to the next line (the watchdog's, also the first line of a search).
    void tick(size_t lane);
    void watchdogTick(size_t lane);
    void advance(size_t lane);

    // Lines from the top of the list that are all done (scanned, given up on
    // or skipped): the resume point. A line still loading is not done.
    int32_t position() const { return committed_; }
    int32_t linesRead() const { return linesRead_; }

    // Lines waiting for a retry.
    size_t retriesPending() const { return retry_.size(); }

    // The intervals at the current speed; without a pace a lane waiting for a
    // host looks again every pollMs, and a page's wait is bounded by
    // pageTimeoutMs plus settleMs.
    int pageInterval() const;
    int watchdogInterval() const;
    int maxWaitTicks() const;

    // Milliseconds of a steady clock; tests may set their own.
    std::function<int64_t()> nowMs;

private:
    struct Task {
        int32_t line = 0;
        AnsiString address;
        AnsiString host;
        int64_t startedMs = 0;
        bool skipped = false; // not a web address: never navigated
        PageOutcome skippedAs = PageOutcome::SkippedScheme; // how a skipped line ends
        int attempts = 0;     // navigations so far
        int sharedLosses = 0; // of them, lost with a renderer other pages shared
        bool silent = false;  // an earlier attempt timed out without any answer
        int64_t dueMs = 0;    // a retry: not before this time
        int64_t row = 0;      // on a frontier: its row, depth and referrer
        int depth = -1;
        AnsiString referrer;
    };
    enum class LaneState {
        Idle,    // no line
        Waiting, // for a host to become free
        Loading, // a page in flight
        Stalled, // its page could not be read; the watchdog moves it on
    };
    struct Lane {
        Browser* browser = nullptr;         // the fast reader when there is one
        std::unique_ptr<FastReader> fast;   // in front of the lane's browser
        Timer* pageTimer = nullptr;
        Timer* watchdog = nullptr;
        PageCompleteRule rule;
        LaneState state = LaneState::Idle;
        std::optional<Task> task; // with Loading
        int32_t waitTicks = 0;    // page ticks spent waiting for completion
        int32_t started = 0;      // pages navigated in this search
        int32_t watchdogMark = 0; // `started` at the previous watchdog tick
        int32_t sinceRecycle = 0; // pages since the browser was last recycled
        std::exception_ptr readError;
    };
    enum class Take { Got, Wait, End };
    // Where the search is in its life.
    enum class Run {
        Idle,         // no search, or one halted
        Running,      // lines are given out
        Stopping,     // a stop was asked for: no new line; each lane ends when it looks for one
        RenderFailed, // render failures in a row reached the limit: the search ends at its next step
        Ended,        // the end was reported to the listener (its failure is raised by firstAdvance)
    };

    bool lookahead() const;
    Take takeLine(Task& task);
    bool readTask(Task& task); // false at the end of the list
    bool hostFree(const Task& task); // lane_hosts.cpp
    bool listDone();
    void startTask(Lane& lane, Task task);
    void assignNext(Lane& lane);  // the next line, a wait for a host, or the lane's end
    void afterPage(Lane& lane);   // the tail of a tick that finished a page
    void laneEnd(Lane& lane);     // no further line for this lane
    void letGo(Lane& lane);       // the lane's page makes way for a fresh one
    bool endForRenderFailures();  // true when the search has been stopped
    void finishTask(Lane& lane, PageOutcome outcome, bool scan);
    void scanPage(Browser& page, const Task& task, PageResult& d); // lane_pages.cpp
    void compareReadings(Lane& lane, const Task& task, PageResult& d);
    bool retryLater(Lane& lane, PageOutcome outcome); // true: the line is queued again
    void queueRetry(Lane& lane, int64_t delayMs);
    void pageEvent(size_t lane);  // without a pace: the browser says the page has ended
    void armPage(Lane& lane, int64_t ms); // without a pace: the page tick once, after ms
    int64_t pageBoundMs(const Task& task) const; // the wait bound of the task's attempt
    void dropTask(Lane& lane);    // abandoned and not counted
    void releaseHost(const Task& task);
    void complete(PageResult done);
    void countRenderFailure(PageOutcome outcome);
    void countProxyFailure(PageOutcome outcome, bool atProxy);
    void reporting(const std::function<void()>& step); // a timer's step; its failure goes to the listener

    LineSource* source_;
    Listener& listener_;

    SearchSettings settings_;
    LinkRules linkRules_;
    LinkRules followRules_; // on a frontier: the links a page adds to it
    std::unique_ptr<FaxLineScanner> faxScan_;
    RobotsPolicy* robots_ = nullptr;
    FastTrust trust_; // which way each site's pages are read
    std::vector<std::unique_ptr<Lane>> lanes_;
    size_t used_ = 1;
    std::deque<Task> ahead_;                  // lines read, not yet given to a lane
    std::deque<Task> retry_;                  // lines to try again, each after its back-off
    std::map<int32_t, PageResult> done_;      // done out of list order, waiting for earlier lines
    std::map<AnsiString, int> inFlight_;      // pages in flight per host
    std::map<AnsiString, int64_t> lastVisit_; // last navigation per host
    int32_t linesRead_ = 0;                   // the list's cursor
    int32_t committed_ = 0;                   // lines up to here are done and added
    LineSource::Next lastRead_ = LineSource::Next::Line; // the source's last answer (Later: it may grow)
    Run run_ = Run::Idle;
    int renderFailuresInRow_ = 0;
    int proxyFailuresInRow_ = 0; // lines done that failed at the proxy, in a row
    int32_t failedRunStart_ = 0; // first line of the render failures at the end of the added lines
};

} // namespace vq
