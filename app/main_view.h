// What the window's controller shows on the main window: the status panels,
// the search buttons, the progress, and the busy cursor. Display only: what a
// search runs with lives in the search setup, which the window binds its
// controls to. Qt version: TForm1; tests use a fake.
#pragma once

#include "text/ansi.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace vq {

enum class ButtonSet { AtStart, Searching, Stopped };

// Status bar panels the controller writes (0, 2, 4 and 6 hold fixed labels;
// the merge tool writes its messages into 6).
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
    // A site crawl has reached pages at this depth (until the progress ends).
    virtual void showDepth(int depth) { (void)depth; }
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
