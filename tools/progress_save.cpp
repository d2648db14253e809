#include "tools/progress_save.h"

#include "search/saved_results.h"
#include "text/ansi.h"
#include "text/integer.h"
#include "text/text_file.h"

#include <algorithm>

#include <exception>
#include <utility>

namespace vq {

namespace {

// Section headers of the file written by the save command, in code page 936:
// "[传真号码表]" and "[网址链接表]".
constexpr const char* kFaxSectionHeader = "[\xB4\xAB\xD5\xE6\xBA\xC5\xC2\xEB\xB1\xED]";
constexpr const char* kLinkSectionHeader = "[\xCD\xF8\xD6\xB7\xC1\xB4\xBD\xD3\xB1\xED]";

void writeItems(TextWriter& writer, const ResultList& list)
{
    for (const AnsiString& item : list.items())
        writer.writeLine(item);
}

// Replaces the file, atomically, with the list's items.
void writeListFile(const std::filesystem::path& path, ResultList& list)
{
    TextWriter writer(path);
    writeItems(writer, list);
    writer.commit();
    list.markSaved();
}

// A save dialog for a text file, asking before an existing file is replaced.
FileDialogSpec textFileSaveSpec(const char* title, const std::filesystem::path& initialDir)
{
    FileDialogSpec dialogSpec;
    dialogSpec.title = title;
    dialogSpec.filter = kTextFileFilter;
    dialogSpec.defaultExt = "txt";
    dialogSpec.initialDir = initialDir;
    dialogSpec.confirmOverwrite = true;
    return dialogSpec;
}

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

} // namespace

ProgressSaver::ProgressSaver(MainView& view, Prompts& prompts, Timer& timer2, SearchSession& session,
                             std::filesystem::path programDir)
    : view_(view), prompts_(prompts), timer2_(timer2), session_(session), links_(session.results().links),
      fax_(session.results().fax), programDir_(std::move(programDir))
{
}

// The search state as the window shows it, then the result lists into their
// autosave files (saveSearch).
void ProgressSaver::Button2Click()
{
    BusyCursor busy(view_);
    saveSearch(programDir_, storedFromView(view_, session_.stored()), session_.results(),
               [this] { view_.repaint(); });
}

void ProgressSaver::SpeedButton8Click()
{
    Button2Click(); // a failure goes to the default handler, without the message below
    prompts_.message("已经保存当前网络搜索进程！");
}

void ProgressSaver::Timer2Timer()
{
    // A failing save leaves the timer off; the next scanned page switches it on
    // again when autosave is checked.
    timer2_.setEnabled(false);
    Button2Click();
    if (view_.isChecked(Switch::Autosave))
        timer2_.setEnabled(true);
}

// "保存": both result lists into one file the user chooses, CR LF after every line:
//
//   [传真号码表]
//   <each fax number, in list order>
//   <an empty line>
//   [网址链接表]
//   <each link, in list order>
//
// Both headers are always written, also for an empty list. The file is replaced
// atomically.
void ProgressSaver::N5Click()
{
    view_.repaint();
    const std::optional<std::filesystem::path> chosen =
        prompts_.saveFile(textFileSaveSpec("搜索结果保存为", programDir_));
    if (!chosen)
        return;

    BusyCursor busy(view_);
    TextWriter writer(*chosen);
    writer.writeLine(kFaxSectionHeader);
    writeItems(writer, fax_);
    writer.writeLine("");
    writer.writeLine(kLinkSectionHeader);
    writeItems(writer, links_);
    writer.commit();
    fax_.markSaved();
    links_.markSaved();
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
    const std::optional<std::filesystem::path> chosen = prompts_.saveFile(textFileSaveSpec(title.c_str(), programDir_));
    if (!chosen)
        return;
    BusyCursor busy(view_);
    if (!selection) {
        writeListFile(*chosen, list);
        return;
    }
    TextWriter writer(*chosen);
    for (size_t r : rows)
        writer.writeLine(list.at(r));
    writer.commit();
}

void ProgressSaver::exportFailed(const std::vector<PageRecord>& failed)
{
    const std::optional<std::filesystem::path> chosen =
        prompts_.saveFile(textFileSaveSpec("导出失败地址", programDir_));
    if (!chosen)
        return;
    BusyCursor busy(view_);
    TextWriter writer(*chosen);
    for (const PageRecord& r : failed)
        writer.writeLine(intToStr(r.line) + "\t" + utf8ToAnsi(outcomeText(r.outcome)) + "\t" + r.address);
    writer.commit();
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
