// The crawl driver: walks the open URL list one address at a time on the page
// timer, waits for each page within the wait bound, hands it to the scanners,
// and forces progress through the watchdog when a page hangs.
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

#include <filesystem>
#include <functional>

namespace vq {

class CrawlDriver {
public:
    CrawlDriver(MainView& view, Prompts& prompts, Browser& browser, HostLookup& host,
                Timer& timer1, Timer& timer2, Timer& timer3,
                UrlListSource& urlList, PageCompleteRule& page,
                LinkHarvester& harvester, FaxExtractor& extractor,
                ResultList& links, ResultList& fax, SearchCounters& counters,
                std::filesystem::path programDir);

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

    // Writes the search-state file from the window and the counters, and notes
    // in the search record that the state file describes this search.
    void writeSearchState();

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

private:
    // Reads the next address, counts it, shows it, and navigates there with the
    // page-complete marker and the wait count reset.
    void readAndNavigate();
    // Button1Click; `finishing` is set once the end of the list or a stop was
    // seen, before the search is finished.
    void advance(bool& finishing);
    // Clears the marker and navigates; a navigation error is dropped.
    void navigateTo(const AnsiString& address);

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
};

} // namespace vq
