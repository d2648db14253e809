// A search: the engine's one front door. It owns the setup a search runs with
// (state/search_setup.h), which the front ends fill and bind to; a front end
// gives it lanes (a browser with a page timer and a watchdog each) and an
// observer that hears what happens. The window and vqharvest are the two
// front ends. The session starts a search (fresh, or from a line), stops it,
// finishes it, and saves its state and results: at autosave, at a stop and at
// the end. It never talks to a user: what it cannot do it answers in types,
// and what goes wrong while a search runs goes to the observer.
#pragma once

#include "ports/browser.h"
#include "ports/host_lookup.h"
#include "ports/search_observer.h"
#include "ports/timer.h"
#include "search/frontier.h"
#include "search/lane_scheduler.h"
#include "search/search_results.h"
#include "search/search_settings.h"
#include "search/url_list.h"
#include "state/search_setup.h"

#include <cstdint>
#include <filesystem>
#include <memory>

namespace vq {

class SearchSession : private LaneScheduler::Listener {
public:
    SearchSession(HostLookup& host, Timer& autosave, SearchResults& results, std::filesystem::path programDir);
    ~SearchSession() override;

    // What a search runs with. Changes to the speed and to "搜索链接",
    // "搜索传真" and "自动保存" reach a running search at its next page.
    SearchSetup& setup() { return setup_; }
    const SearchSetup& setup() const { return setup_; }

    // The first lane added is lane 0 (the window's visible browser).
    void addLane(Browser& browser, Timer& pageTimer, Timer& watchdog, PageFetcher* fetcher = nullptr)
    {
        lanes_.addLane(browser, pageTimer, watchdog, fetcher);
    }
    void setObserver(SearchObserver* observer) { observer_ = observer ? observer : &silent_; }
    // The frontier a search with FrontierOptions::on runs on: its lines, and
    // where its results go instead of the result lists.
    void setFrontier(Frontier* frontier) { frontier_ = frontier; }
    // On a frontier, whether the result lists show its results too (the
    // window): a page's results join them as it is committed, and a resume
    // fills them from the frontier. Off, the frontier alone holds them.
    void setListsFollowFrontier(bool on) { listsFollowFrontier_ = on; }
    // How robots.txt files are fetched; without one, robots.txt is never obeyed.
    void setRobotsFetcher(RobotsFetcher* fetcher) { robotsFetcher_ = fetcher; }

    // What a command came to: the search runs, there was nothing left to do,
    // or why it was refused (nothing changed then).
    enum class Answer {
        Running,
        AtEnd,          // resume: the list has no line left; nothing runs
        NoSearchItem,   // neither links nor fax numbers are searched
        NoListFile,     // start: no file at the list path
        ListMissing,    // resume: the list file is gone
        Offline,        // the machine's only address is 127.0.0.1 (with the net check on)
        UnsavedResults, // start: the result lists hold results no file has
    };
    static bool refused(Answer a) { return a != Answer::Running && a != Answer::AtEnd; }

    // "搜索": a new search from the first line, with empty result lists.
    // Results not yet written to any file are kept (UnsavedResults) unless
    // `discardUnsaved`. A failure opening the list is raised, the search ended.
    Answer start(bool discardUnsaved = false);
    // Whether start() would run (Running), or why it would refuse.
    Answer startable(bool discardUnsaved = false);

    // Whether a resume may go on (Running), or why not: the list file exists
    // and the machine is connected.
    Answer resumable();
    // Goes on after `linesDone` lines of the list, with the results of the
    // search it resumes: the lists as they are when they belong to it (the
    // same run), otherwise its saved result files. When the list has no line
    // left, nothing runs (AtEnd). Until the search runs, a failure leaves
    // nothing running and is raised.
    Answer resume(int32_t linesDone);

    void stop();    // "终止": the search ends at the next page tick or advance
    void stopNow(); // every page still loading is abandoned (not done); finish at once
    void finish();  // timers off, list closed, state (or all) saved

    // The state file from the setup and the position.
    void writeState();
    // The state file and both result lists (progress save, autosave).
    void saveProgress();
    // The latest save did not reach the disk (the state file keeps the position before it).
    bool lastSaveFailed() const { return saveFailed_; }
    // The position the state file holds since this session last wrote it.
    int32_t savedPosition() const { return savedPosition_; }
    bool hasUnsavedResults() const { return results_.links.hasUnsaved() || results_.fax.hasUnsaved(); }

    bool running() const { return running_; }
    // The resume point: lines from the top of the list that are all done.
    int32_t position() const { return setup_.position().progressIndex; }
    bool stoppedForRenderFailures() const { return end_ == SearchEnd::RenderFailures && !running_; }
    bool stoppedForProxyFailures() const { return end_ == SearchEnd::ProxyFailures && !running_; }
    // A page's results could not be written to the frontier (a full disk): the
    // search stopped; what was committed before is kept.
    bool storeFailed() const { return storeFailed_; }
    SearchResults& results() { return results_; }
    LaneScheduler& lanes() { return lanes_; }
    SearchProgress progress() const;

private:
    // LaneScheduler::Listener
    void lineRead(int32_t line, const AnsiString& address) override;
    void commit(PageResult& page) override;
    void pageTicked() override;
    void lanesIdle() override;
    void renderFailuresInRow(int count) override;
    void proxyFailuresInRow(int count) override;
    void tickFailed(const std::exception& e) override { observer_->stepFailed(e); }

    Answer checkCanGo(bool resuming);
    void liveChanged();
    void autosaveTick();
    void begin(int32_t linesDone);
    void takeBackResults();
    void ended(); // the search ends before any page: timers off, list closed
    bool onFrontier() const { return settings_.frontier.on && frontier_; }
    void commitToFrontier(PageResult& page);
    void saveFrontierSearch();

    SearchSetup setup_;
    int setupListener_ = 0;
    HostLookup& host_;
    Timer& autosave_;
    SearchResults& results_;
    std::filesystem::path programDir_;
    SearchObserver silent_;
    SearchObserver* observer_ = &silent_;
    UrlList list_;
    Frontier* frontier_ = nullptr;
    bool listsFollowFrontier_ = false;
    RobotsFetcher* robotsFetcher_ = nullptr;
    std::unique_ptr<RobotsPolicy> robots_; // of the search running, when it obeys robots.txt
    bool storeFailed_ = false;
    bool saveFailed_ = false;
    int32_t savedPosition_ = 0;
    LaneScheduler lanes_;
    SearchSettings settings_; // fixed at the start, but for the live values
    AnsiString lastAddress_;
    bool running_ = false;
    SearchEnd end_ = SearchEnd::Completed;
    int32_t pagesDone_ = 0;
    int renderFailures_ = 0; // in a row, when they stopped the search
    int proxyFailures_ = 0;  // the same for lines that failed at the proxy
    int64_t startedMs_ = 0;
};

} // namespace vq
