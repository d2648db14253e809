// The window's side of the engine, free of Qt: the search session with its
// setup, the window's commands, and the mapping from what a search answers and
// reports to what the window shows (boxes, panels, buttons). The window
// (TForm1) is the MainView and binds its controls to the setup; its handlers
// forward to these members. Tests build the same object on fakes.
#pragma once

#include "app/list_commands.h"
#include "app/main_view.h"
#include "app/prompts.h"
#include "app/result_commands.h"
#include "app/site_crawl.h"
#include "ports/browser.h"
#include "ports/host_lookup.h"
#include "ports/page_fetcher.h"
#include "ports/search_observer.h"
#include "ports/timer.h"
#include "search/search_results.h"
#include "search/search_session.h"

#include <array>
#include <filesystem>
#include <functional>
#include <vector>

namespace vq {

struct EnginePorts {
    MainView& view;
    Prompts& prompts;
    Browser& browser;
    HostLookup& host;
    Timer& timer1; // page timer, initially disabled, 8000 ms
    Timer& timer2; // autosave timer, disabled, 300000 ms
    Timer& timer3; // watchdog, disabled, 300000 ms
    std::filesystem::path programDir;
    // Makes sure the session has this many lanes (the visible browser is lane
    // 0; the window adds pages off screen). Unset: the one visible browser.
    std::function<void(SearchSession&, int lanes)> provideLanes = {};
    // How robots.txt files are fetched (a site crawl obeys them); unset: never obeyed.
    RobotsFetcher* robots = nullptr;
    // The visible browser's fetcher for "快速读取" (it outlives the engine); unset: none.
    PageFetcher* fetcher = nullptr;
};

// The box and text the window shows for a refused command.
void showRefusal(Prompts& prompts, SearchSession::Answer answer);

class Engine {
public:
    explicit Engine(EnginePorts ports);
    // The timers' handlers and the browser's events point into this object.
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // FormCreate: the option lists, then the search state (each when present).
    void loadSettings();
    // FormDestroy: the option lists (a failing file does not stop the next).
    void saveSettings();

    void N2Click(); // "搜索"
    void N3Click(); // "终止"
    void N4Click(); // "继续": the saved state, the position asked for, then on

    SearchSetup& setup() { return session.setup(); }

    EnginePorts ports;
    SearchResults results;
    ResultList& links = results.links; // ListView3 "网址链接表"
    ResultList& fax = results.fax;     // ListView4 "传真号码表"
    SearchSession session;
    UrlListSource urlList;
    ProgressSaver progress;
    MergeTool merge;
    SiteCrawl siteCrawl; // "深度" above 0: the frontier "搜索" and "继续" run on

    // What the window shows of a search, as the session's observer.
    SearchObserver& shown() { return shown_; }
    // The lines of the latest search that did not end scanned, in list order.
    const std::vector<PageRecord>& failedLines() const { return shown_.failed; }
    void exportFailedLines() { progress.exportFailed(shown_.failed); } // "导出失败地址…"

private:
    // The lanes the setup asks for, in place before a search.
    void provideLanes();
    // "搜索" once the user has been asked about unsaved results; a site
    // crawl's file that is not ours is replaced when `replaceAny`.
    void startSearch(bool discardUnsaved, bool replaceAny);
    void resumeSiteCrawl();

    // What the window shows of a search: the panels, the buttons, the
    // progress bar, the busy cursor while it saves, and its failures in boxes.
    class Shown : public SearchObserver {
    public:
        Shown(MainView& view, Prompts& prompts) : view_(view), prompts_(prompts) {}
        void started(const SearchProgress& p) override;
        void progress(const SearchProgress& p) override;
        void status(const std::string& text) override;
        void finished(const SearchFinish& f) override;
        void pageDone(const PageRecord& record) override;
        void stepFailed(const std::exception& e) override;
        void saving(bool on) override;
        void showCounts(const SearchProgress& p);
        void showFrontier(const SearchProgress& p);

        std::vector<PageRecord> failed;
        std::array<int, kPageOutcomeCount> byKind{}; // of `failed`

    private:
        MainView& view_;
        Prompts& prompts_;
        bool busy_ = false;
    };
    Shown shown_;
};

} // namespace vq
