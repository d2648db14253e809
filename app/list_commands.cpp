#include "app/list_commands.h"

#include "search/url_list.h"
#include "text/errors.h"
#include "text/integer.h"
#include "text/paths.h"
#include "tools/merge.h"

#include <utility>

namespace vq {

UrlListSource::UrlListSource(MainView& view, Prompts& prompts, SearchSetup& setup, std::filesystem::path programDir)
    : view_(view), prompts_(prompts), setup_(setup), programDir_(std::move(programDir))
{
}

void UrlListSource::N1Click()
{
    view_.repaint();
    const std::optional<std::filesystem::path> chosen = prompts_.openFile(textFileDialog("选择网址列表文件", programDir_));
    if (!chosen)
        return;

    // The path is kept as ANSI text (Edit5, the search-state file). A name that
    // code page 936 cannot write would come back as a different file, so it is
    // refused before anything changes.
    AnsiString path;
    try {
        path = pathToAnsi(*chosen);
    } catch (const EPathEncodingError& e) {
        prompts_.information(std::string(e.what()) + "\n请将文件改名或移到其他文件夹后再选择。");
        return;
    }

    // Kept exactly as chosen: file names are case-sensitive here.
    setup_.setListPath(path);

    // A read failure keeps the count reached; the panel is not updated then.
    int32_t total = 0;
    try {
        UrlList::countLines(ansiToPath(path), total);
    } catch (...) {
        setup_.setUrlTotal(total);
        throw;
    }
    setup_.setUrlTotal(total);
    view_.setPanel(kPanelUrlTotal, intToStr(total));
}

MergeTool::MergeTool(MainView& view, Prompts& prompts, std::filesystem::path programDir)
    : view_(view), prompts_(prompts), programDir_(std::move(programDir))
{
}

void MergeTool::SpeedButton11Click()
{
    const std::vector<std::filesystem::path> inputs =
        prompts_.openFiles(textFileDialog("选择一个或多个待合并去重的文件", programDir_));
    if (inputs.empty())
        return;
    const std::optional<std::filesystem::path> output =
        prompts_.saveFile(textFileDialog("合并去重复后的数据文件保存为", programDir_, true));
    if (!output)
        return;

    const std::string panelBefore = view_.panel(kPanelMerge);
    view_.setBusyCursor(true);
    view_.setPanel(kPanelMerge, "数据正处理中...");
    view_.repaint();
    try {
        mergeFiles(inputs, *output, userCollationLocale());
    } catch (...) {
        // No success message; the panel gets its text back and the error goes on
        // to the default handler.
        view_.setBusyCursor(false);
        view_.setPanel(kPanelMerge, panelBefore);
        throw;
    }
    view_.setBusyCursor(false);
    view_.setPanel(kPanelMerge, "文件合并去重整理完毕！");
}

} // namespace vq
