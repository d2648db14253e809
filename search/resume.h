// Resume from a breakpoint ("继续").
#pragma once

#include "ports/host_lookup.h"
#include "ports/main_view.h"
#include "ports/prompts.h"
#include "ports/timer.h"
#include "search/counters.h"
#include "search/crawl_driver.h"
#include "search/result_list.h"
#include "search/url_list.h"

#include <filesystem>

namespace vq {

class ResumeCommand {
public:
    ResumeCommand(MainView& view, Prompts& prompts, HostLookup& host,
                  Timer& timer1, Timer& timer2, Timer& timer3,
                  UrlListSource& urlList, CrawlDriver& driver,
                  ResultList& links, ResultList& fax, SearchCounters& counters,
                  std::filesystem::path programDir);

    void N4Click();

private:
    // A confirmed resume goes on with the results of the search it resumes: the
    // lists as they are when they belong to it (the same run), otherwise its
    // saved result files.
    void takeBackResults();
    void showResultCounts();

    MainView& view_;
    Prompts& prompts_;
    HostLookup& host_;
    Timer& timer1_;
    Timer& timer2_;
    Timer& timer3_;
    UrlListSource& urlList_;
    CrawlDriver& driver_;
    ResultList& links_;
    ResultList& fax_;
    SearchCounters& counters_;
    std::filesystem::path programDir_;
};

} // namespace vq
