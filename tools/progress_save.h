// Progress save and autosave of the results, and the save command.
#pragma once

#include "ports/main_view.h"
#include "ports/prompts.h"
#include "ports/timer.h"
#include "search/counters.h"
#include "search/crawl_driver.h"
#include "search/result_list.h"

#include <filesystem>

namespace vq {

// The autosave files: the base name "autosave.txt" with "&web" or "&fax" before
// its extension. One line per list item, in list order, each ended by CR LF.
inline constexpr const char* kAutosaveLinksName = "autosave&web.txt";
inline constexpr const char* kAutosaveFaxName = "autosave&fax.txt";

class ProgressSaver {
public:
    ProgressSaver(MainView& view, Prompts& prompts, Timer& timer2, CrawlDriver& driver,
                  ResultList& links, ResultList& fax, std::filesystem::path programDir);

    void Button2Click();      // state file, then "autosave&web.txt" and "autosave&fax.txt"
    void SpeedButton8Click(); // "进程"
    void Timer2Timer();       // autosave tick
    void N5Click();           // "保存": both lists to a file the user chooses

private:
    MainView& view_;
    Prompts& prompts_;
    Timer& timer2_;
    CrawlDriver& driver_;
    ResultList& links_;
    ResultList& fax_;
    std::filesystem::path programDir_;
};

} // namespace vq
