// What the logic needs of the main window's controls. The controls own these
// values (switch states, speed field, list path, memo lines, panels); the logic
// reads and writes them through this interface. Qt version: TForm1 (app/).
#pragma once

#include "text/ansi.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vq {

enum class Switch {
    Dedup,      // CheckBox1 "去重"
    Links,      // CheckBox3 "搜索链接"
    Fax,        // CheckBox5 "搜索传真"
    LinkFilter, // CheckBox6 "启用链接筛选"
    OnlySite,   // CheckBox7 "只搜索本站"
    Autosave,   // CheckBox8 "自动保存"
    Https,      // CheckBox9 "含https链接" (not in the search-state file)
};

enum class ButtonSet { AtStart, Searching, Stopped };

enum class Memo {
    FaxMarkers,      // Memo1, fax marker words
    MustContain,     // Memo4 "链接必须包含："
    MustNotContain,  // Memo5 "链接必须不含："
};

// Status bar panels the logic writes (0, 2, 4 and 6 hold fixed labels; the
// merge tool writes its messages into 6).
inline constexpr int kPanelUrlTotal = 1;
inline constexpr int kPanelProgress = 3;
inline constexpr int kPanelLinks = 5;
inline constexpr int kPanelMerge = 6;
inline constexpr const char* kPanelMergeLabel = "传真："; // panel 6's own text
inline constexpr int kPanelFax = 7;
inline constexpr int kPanelStatus = 8;

class MainView {
public:
    virtual ~MainView() = default;

    virtual bool isChecked(Switch s) const = 0;
    virtual void setChecked(Switch s, bool on) = 0;

    // SpinEdit1: reading gives the integer written in the field, or 1 when the
    // text is not an integer, without clamping; setting clamps to 1..60.
    virtual int speed() const = 0;
    virtual void setSpeed(int seconds) = 0;

    // SpinEdit2 "同时打开": pages loaded at once (1..16); setting clamps.
    virtual int pagesAtOnce() const { return 1; }
    virtual void setPagesAtOnce(int pages) { (void)pages; }

    // Edit5: the URL list path, ANSI text.
    virtual AnsiString listPath() const = 0;
    virtual void setListPath(const AnsiString& path) = 0;

    // Memo lines, ANSI, in order.
    virtual std::vector<AnsiString> memoLines(Memo m) const = 0;
    virtual void setMemoLines(Memo m, const std::vector<AnsiString>& lines) = 0;

    // Status bar panel 0..8, UTF-8 text.
    virtual void setPanel(int index, const std::string& text) = 0;
    virtual std::string panel(int index) const = 0;

    // The four search buttons "网址", "搜索", "终止", "继续".
    virtual void applyButtonSet(ButtonSet set) = 0;

    // The search is at line `index` of `total`, loading `address`; it has
    // ended (finished or stopped). For progress shown beside the panels.
    virtual void showProgress(int32_t index, int32_t total, const AnsiString& address)
    {
        (void)index, (void)total, (void)address;
    }
    virtual void progressEnded() {}
    // How many of the search's pages are loading now, of how many at once.
    virtual void showLanes(size_t busy, size_t lanes) { (void)busy, (void)lanes; }
    // Lines of the search that did not end scanned: how many, and by kind
    // ("超时 2，打开失败 1", UTF-8).
    virtual void showFailures(int total, const std::string& byKind) { (void)total, (void)byKind; }

    virtual void repaint() = 0;
    virtual void setBusyCursor(bool busy) = 0;
    virtual void pause(int ms) = 0; // blocking pause
};

} // namespace vq
