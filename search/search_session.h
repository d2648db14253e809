// A search: the engine's one front door. A front end gives it lanes (a browser
// with a page timer and a watchdog each), settings fixed at the start, and an
// observer that hears what happens. The window and vqharvest are the two
// front ends; the session starts a search (fresh, or from a line), stops it,
// stops it at once, finishes it and writes its state.
#pragma once

#include "ports/browser.h"
#include "ports/host_lookup.h"
#include "ports/prompts.h"
#include "ports/search_observer.h"
#include "ports/timer.h"
#include "search/frontier.h"
#include "search/lane_scheduler.h"
#include "search/search_results.h"
#include "search/search_settings.h"
#include "search/url_list.h"
#include "state/search_state.h"

#include <cstdint>
#include <filesystem>
#include <functional>

namespace vq {

class SearchSession : private LaneScheduler::Listener {
public:
    SearchSession(Prompts& prompts, HostLookup& host, Timer& autosave, SearchResults& results,
                  std::filesystem::path programDir);

    // The first lane added is lane 0 (the window's visible browser).
    void addLane(Browser& browser, Timer& pageTimer, Timer& watchdog) { lanes_.addLane(browser, pageTimer, watchdog); }
    void setObserver(SearchObserver* observer) { observer_ = observer ? observer : &silent_; }
    // The frontier a search with SearchSettings::frontier.on runs on: its
    // lines, and where its results go instead of the result lists.
    void setFrontier(Frontier* frontier) { frontier_ = frontier; }

    // "搜索": a new search from the first line, with empty result lists.
    // Refused, with a message and nothing changed, when neither links nor fax
    // numbers are searched, when no list file exists, or when the machine is
    // not connected; false then. When the lists hold results not yet written
    // to any file, the user is asked first; No leaves everything as it is.
    bool start(const SearchSettings& settings);

    // The checks before a resume: the list file exists and the machine is
    // connected. False, with a message, when refused.
    bool resumable(const AnsiString& listPath);
    enum class Resumed { Running, AtEnd };
    // Goes on after `linesDone` lines of the list, with the results of the
    // search it resumes: the lists as they are when they belong to it (the
    // same run), otherwise its saved result files. When the list has no line
    // left, nothing runs (AtEnd). Until the search runs, a failure leaves
    // nothing running and is raised.
    Resumed resume(const SearchSettings& settings, int32_t linesDone);

    void stop();    // "终止": the search ends at the next page tick or advance
    void stopNow(); // every page still loading is abandoned (not done); finish at once
    void finish();  // BitBtn1Click: timers off, list closed, state (or all) saved

    // The state file from the settings and the position.
    void writeState();
    // The state file and both result lists (progress save, autosave).
    void saveProgress();
    // The autosave timer's tick.
    void autosaveTick();
    // With autosave on, what runs at "终止" and at the end in place of
    // writeState(): saveProgress() unless set.
    std::function<void()> saveResults;

    bool running() const { return running_; }
    // The resume point: lines from the top of the list that are all done.
    int32_t position() const { return stored_.progressIndex; }
    // The position and the list's line count as the state file stores them.
    SearchPosition& stored() { return stored_; }
    bool stoppedForRenderFailures() const { return end_ == SearchEnd::RenderFailures && !running_; }
    // A page's results could not be written to the frontier (a full disk): the
    // search stopped; what was committed before is kept.
    bool storeFailed() const { return storeFailed_; }
    SearchResults& results() { return results_; }
    LaneScheduler& lanes() { return lanes_; }
    SearchProgress progress() const;

    // Lane 0's steps, by the window's names.
    void Timer1Timer() { lanes_.tick(0); }
    void Timer3Timer() { lanes_.watchdogTick(0); }
    void Button1Click() { lanes_.advance(0); }

private:
    // LaneScheduler::Listener
    void lineRead(int32_t line, const AnsiString& address) override;
    void commit(PageResult& page) override;
    void pageTicked() override;
    void lanesIdle() override;
    void renderFailuresInRow(int count) override;

    StoredSearch storedState() const;
    void begin(const SearchSettings& settings, int32_t linesDone);
    void takeBackResults();
    void ended(); // the search ends before any page: timers off, list closed
    bool onFrontier() const { return settings_.frontier.on && frontier_; }
    void commitToFrontier(PageResult& page);
    void saveFrontierSearch();

    Prompts& prompts_;
    HostLookup& host_;
    Timer& autosave_;
    SearchResults& results_;
    std::filesystem::path programDir_;
    SearchObserver silent_;
    SearchObserver* observer_ = &silent_;
    UrlList list_;
    Frontier* frontier_ = nullptr;
    bool storeFailed_ = false;
    LaneScheduler lanes_;
    SearchSettings settings_;
    SearchPosition stored_;
    AnsiString lastAddress_;
    bool running_ = false;
    SearchEnd end_ = SearchEnd::Completed;
    int32_t pagesDone_ = 0;
    int64_t startedMs_ = 0;
};

} // namespace vq
