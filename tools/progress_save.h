// Progress save and autosave of the results, and the save command.
#pragma once

#include "ports/main_view.h"
#include "ports/prompts.h"
#include "ports/search_observer.h"
#include "ports/timer.h"
#include "search/search_session.h"

#include <filesystem>
#include <vector>

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
    // With several items selected (`rows`, in any order), only those are
    // written, in list order, and the dialog's title says so.
    void exportList(ResultListId which, std::vector<size_t> rows = {});
    // "导出失败地址…": the lines of the search that did not end scanned, one per
    // line: line number, kind and address, separated by a tab.
    void exportFailed(const std::vector<PageRecord>& failed);
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
