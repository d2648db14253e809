#include "tools/progress_save.h"

#include "search/saved_results.h"
#include "text/text_file.h"

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

ProgressSaver::ProgressSaver(MainView& view, Prompts& prompts, Timer& timer2, CrawlDriver& driver,
                             ResultList& links, ResultList& fax, SearchCounters& counters,
                             std::filesystem::path programDir)
    : view_(view), prompts_(prompts), timer2_(timer2), driver_(driver),
      links_(links), fax_(fax), counters_(counters), programDir_(std::move(programDir))
{
}

// The search state, then each result list that has items into its autosave
// file; an empty list leaves its file as it was. Every file is replaced
// atomically. The three writes are independent: one that fails does not keep
// the others from being written, and the first failure is reported afterwards.
// The search record then names this search as the owner of each file written
// (the autosave files keep exactly the list items).
void ProgressSaver::Button2Click()
{
    std::exception_ptr firstError;
    auto attempt = [&firstError](auto&& write) {
        try {
            write();
        } catch (...) {
            if (!firstError)
                firstError = std::current_exception();
        }
    };

    attempt([this] { driver_.writeSearchState(); });
    bool linksWritten = false;
    bool faxWritten = false;
    {
        BusyCursor busy(view_);
        if (!links_.empty()) {
            view_.repaint();
            attempt([&] {
                writeListFile(programDir_ / kAutosaveLinksName, links_);
                linksWritten = true;
            });
        }
        if (!fax_.empty()) {
            view_.repaint();
            attempt([&] {
                writeListFile(programDir_ / kAutosaveFaxName, fax_);
                faxWritten = true;
            });
        }
    }
    if (linksWritten || faxWritten) {
        attempt([&] {
            SearchRecord record = readSearchRecord(programDir_);
            if (linksWritten)
                record.links = counters_.searchId;
            if (faxWritten)
                record.fax = counters_.searchId;
            writeSearchRecord(programDir_, record);
        });
    }
    if (firstError)
        std::rethrow_exception(firstError);
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

void ProgressSaver::exportList(ResultListId which)
{
    const bool fax = which == ResultListId::Fax;
    const std::optional<std::filesystem::path> chosen =
        prompts_.saveFile(textFileSaveSpec(fax ? "导出传真号码表" : "导出网址链接表", programDir_));
    if (!chosen)
        return;
    BusyCursor busy(view_);
    writeListFile(*chosen, fax ? fax_ : links_);
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
    (fax ? counters_.faxCount : counters_.linkCount) = 0;
    view_.setPanel(fax ? kPanelFax : kPanelLinks, "");
}

} // namespace vq
