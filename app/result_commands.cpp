#include "app/result_commands.h"

#include "tools/result_export.h"

#include <algorithm>
#include <utility>

namespace vq {


ProgressSaver::ProgressSaver(MainView& view, Prompts& prompts, SearchSession& session,
                             std::filesystem::path programDir)
    : view_(view), prompts_(prompts), session_(session), links_(session.results().links),
      fax_(session.results().fax), programDir_(std::move(programDir))
{
}

// The session writes the state as the setup holds it, then the result lists;
// the window shows the busy cursor meanwhile (it hears the save).
void ProgressSaver::Button2Click()
{
    session_.saveProgress();
}

void ProgressSaver::SpeedButton8Click()
{
    Button2Click(); // a failure goes to the default handler, without the message below
    prompts_.message("已经保存当前网络搜索进程！");
}

void ProgressSaver::N5Click()
{
    view_.repaint();
    const std::optional<std::filesystem::path> chosen =
        prompts_.saveFile(textFileDialog("搜索结果保存为", programDir_, true));
    if (!chosen)
        return;
    BusyCursor busy(view_);
    writeBothLists(*chosen, fax_, links_);
}

void ProgressSaver::exportList(ResultListId which, std::vector<size_t> rows)
{
    const bool fax = which == ResultListId::Fax;
    ResultList& list = fax ? fax_ : links_;
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    rows.erase(std::remove_if(rows.begin(), rows.end(), [&](size_t r) { return r >= list.size(); }), rows.end());
    const bool selection = rows.size() > 1;
    std::string title = fax ? "导出传真号码表" : "导出网址链接表";
    if (selection)
        title = (fax ? "导出选中的传真号码（" : "导出选中的网址链接（") + std::to_string(rows.size()) + "项）";
    const std::optional<std::filesystem::path> chosen = prompts_.saveFile(textFileDialog(title, programDir_, true));
    if (!chosen)
        return;
    BusyCursor busy(view_);
    if (selection)
        writeRows(*chosen, list, rows);
    else
        writeList(*chosen, list);
}

void ProgressSaver::exportFailed(const std::vector<PageRecord>& failed)
{
    const std::optional<std::filesystem::path> chosen =
        prompts_.saveFile(textFileDialog("导出失败地址", programDir_, true));
    if (!chosen)
        return;
    BusyCursor busy(view_);
    writeFailedLines(*chosen, failed);
}

void ProgressSaver::clearList(ResultListId which)
{
    const bool fax = which == ResultListId::Fax;
    ResultList& list = fax ? fax_ : links_;
    if (list.empty())
        return;
    if (!prompts_.confirm(fax ? "确认清空传真号码表吗?" : "确认清空网址链接表吗?"))
        return;
    list.clear();
    view_.setPanel(fax ? kPanelFax : kPanelLinks, "");
}

} // namespace vq
