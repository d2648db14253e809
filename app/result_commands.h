// The window's commands on the results: "进程" (save the search's progress),
// "保存" (both lists to a file the user chooses), and the result lists' context
// menu ("导出…", "导出失败地址…", "清空"). Qt-free; the dialogs come through
// Prompts, the saving itself is the search session's.
#pragma once

#include "app/main_view.h"
#include "app/prompts.h"
#include "search/search_session.h"

#include <filesystem>
#include <vector>

namespace vq {

enum class ResultListId { Links, Fax }; // ListView3 "网址链接表", ListView4 "传真号码表"

class ProgressSaver {
public:
    ProgressSaver(MainView& view, Prompts& prompts, SearchSession& session, std::filesystem::path programDir);

    void Button2Click();      // the state file, then "autosave&web.txt" and "autosave&fax.txt"
    void SpeedButton8Click(); // "进程"
    void N5Click();           // "保存": both lists to a file the user chooses

    // "导出…" writes one list to a file the user chooses (autosave layout);
    // "清空" empties it after a confirmation. With several items selected
    // (`rows`, in any order), only those are written, in list order, and the
    // dialog's title says so.
    void exportList(ResultListId which, std::vector<size_t> rows = {});
    // "导出失败地址…": the lines of the search that did not end scanned, one per
    // line: line number, kind and address, separated by a tab.
    void exportFailed(const std::vector<PageRecord>& failed);
    void clearList(ResultListId which);

private:
    MainView& view_;
    Prompts& prompts_;
    SearchSession& session_;
    ResultList& links_;
    ResultList& fax_;
    std::filesystem::path programDir_;
};

// Shows the busy cursor for its lifetime; on the way out, also on failure, the
// window is repainted and the normal cursor comes back.
class BusyCursor {
public:
    explicit BusyCursor(MainView& view) : view_(view) { view_.setBusyCursor(true); }
    ~BusyCursor()
    {
        view_.repaint();
        view_.setBusyCursor(false);
    }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

private:
    MainView& view_;
};

} // namespace vq
