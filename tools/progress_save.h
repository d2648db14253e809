// Progress save and autosave of the results, and the save command.
#pragma once

#include "ports/main_view.h"
#include "ports/prompts.h"
#include "ports/timer.h"
#include "search/search_session.h"

#include <filesystem>

namespace vq {


enum class ResultListId { Links, Fax }; // ListView3 "网址链接表", ListView4 "传真号码表"

class ProgressSaver {
public:
    ProgressSaver(MainView& view, Prompts& prompts, Timer& timer2, SearchSession& session,
                  std::filesystem::path programDir);

    void Button2Click();      // state file (from the window), then "autosave&web.txt" and "autosave&fax.txt"
    void SpeedButton8Click(); // "进程"
    void Timer2Timer();       // autosave tick
    void N5Click();           // "保存": both lists to a file the user chooses

    // The result lists' context menu: "导出…" writes one list to a file the user
    // chooses (autosave layout); "清空" empties it after a confirmation.
    void exportList(ResultListId which);
    void clearList(ResultListId which);

private:
    MainView& view_;
    Prompts& prompts_;
    Timer& timer2_;
    SearchSession& session_;
    ResultList& links_;
    ResultList& fax_;
    std::filesystem::path programDir_;
};

} // namespace vq
