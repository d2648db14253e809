// The program's logic, put together: every subsystem object, wired to the ports
// it talks to. Free of Qt, so that the window (TForm1), the batch command and the
// tests build the same engine. TForm1's handlers forward to these members.
#pragma once

#include "ports/browser.h"
#include "ports/host_lookup.h"
#include "ports/main_view.h"
#include "ports/prompts.h"
#include "ports/timer.h"
#include "search/counters.h"
#include "search/crawl_driver.h"
#include "search/fax_extractor.h"
#include "search/link_harvester.h"
#include "search/page_complete.h"
#include "search/result_list.h"
#include "search/resume.h"
#include "search/url_list.h"
#include "tools/merge.h"
#include "tools/progress_save.h"

#include <filesystem>

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
};

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

    EnginePorts ports;
    SearchCounters counters;
    ResultList links; // ListView3 "网址链接表"
    ResultList fax;   // ListView4 "传真号码表"
    UrlListSource urlList;
    PageCompleteRule page;
    LinkHarvester harvester;
    FaxExtractor extractor;
    CrawlDriver driver;
    ResumeCommand resume;
    ProgressSaver progress;
    MergeTool merge;
};

} // namespace vq
