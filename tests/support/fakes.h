// Test doubles of the ports: a scripted browser, a manual clock with timers,
// scripted prompts, a window model, and a chosen host address.
#pragma once

#include "ports/browser.h"
#include "ports/host_lookup.h"
#include "app/main_view.h"
#include "app/prompts.h"
#include "ports/timer.h"
#include "text/errors.h"
#include "text/integer.h"

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vq::fake {

// ---- time -----------------------------------------------------------------
class ManualClock;

class FakeTimer : public Timer {
public:
    explicit FakeTimer(ManualClock& clock, int intervalMs = 1000) : clock_(clock), interval_(intervalMs) {}
    void setEnabled(bool on) override;
    bool enabled() const override { return enabled_; }
    void setInterval(int ms) override;
    int interval() const override { return interval_; }

    int64_t due() const { return due_; }
    int ticks = 0; // how often onTimer ran

private:
    friend class ManualClock;
    ManualClock& clock_;
    bool enabled_ = false;
    int interval_;
    int64_t due_ = 0;
};

// Time moves only when a test says so; due timers fire in order of due time.
class ManualClock {
public:
    FakeTimer& newTimer(int intervalMs = 1000);
    int64_t now() const { return now_; }
    void advance(int64_t ms);           // fires every tick due up to now + ms
    void advanceTo(int64_t t) { advance(t - now_); }

private:
    friend class FakeTimer;
    std::vector<std::unique_ptr<FakeTimer>> timers_;
    int64_t now_ = 0;
};

// ---- browser ----------------------------------------------------------------
struct FakePage {
    AnsiString location;
    std::vector<AnsiString> links;
    AnsiString text;
};

// navigate() records the address; the test decides when events arrive. The
// document is whatever page the test put there with setPage().
class FakeBrowser : public Browser {
public:
    void navigate(const AnsiString& url) override;
    bool hasDocument() override { return document.has_value(); }
    AnsiString locationUrl() override;
    int linkCount() override;
    AnsiString link(int index) override;
    AnsiString bodyText() override;
    LoadResult loadResult() override { return result; }
    int httpStatus() override { return status; }
    bool answered() override { return serverAnswered; }
    void recycle() override { ++recycled; }

    // Test side.
    void setPage(FakePage page) { document = std::move(page); }
    void fireNavigateComplete2(FrameId f, const AnsiString& url = {}) { if (onNavigateComplete2) onNavigateComplete2(f, url); }
    void fireDocumentComplete(FrameId f, const AnsiString& url = {}) { if (onDocumentComplete) onDocumentComplete(f, url); }
    // Both top-level events for the page (NavigateComplete2 then DocumentComplete).
    void completeTop(FakePage page);

    std::optional<FakePage> document;
    std::vector<AnsiString> navigations; // every address given to navigate()
    bool failNavigate = false;           // navigate() throws
    bool failReads = false;              // every read throws
    // Pages the browser "loads" by itself: when set, navigate(url) completes at
    // once with pages[url] (or an empty page) through completeTop().
    bool autoComplete = false;
    std::map<AnsiString, FakePage> pages;
    // What loadResult() says; navigate() sets RendererGone for these
    // addresses (and completes nothing), Succeeded for any other.
    LoadResult result = LoadResult::Succeeded;
    std::vector<AnsiString> renderFailures;
    int status = 0; // what httpStatus() says
    bool serverAnswered = true; // what answered() says
    int recycled = 0;

    static inline const int topObject = 1;
    static FrameId top() { return &topObject; }
};

// ---- prompts ----------------------------------------------------------------
struct PromptRecord {
    std::string kind; // "information", "confirm", "message", "error", "input", "open", "openMany", "save"
    std::string text; // message, or the dialog title / input caption
    std::string detail; // input prompt and initial value as "prompt|initial"; dialog filter|ext
};

class FakePrompts : public Prompts {
public:
    void information(const std::string& text) override { log.push_back({"information", text, {}}); }
    bool confirm(const std::string& text) override;
    void message(const std::string& text) override { log.push_back({"message", text, {}}); }
    void error(const std::string& text) override { log.push_back({"error", text, {}}); }
    std::optional<std::string> inputBox(const std::string& caption, const std::string& prompt,
                                        const std::string& initial) override;
    std::optional<std::filesystem::path> openFile(const FileDialogSpec& dialogSpec) override;
    std::vector<std::filesystem::path> openFiles(const FileDialogSpec& dialogSpec) override;
    std::optional<std::filesystem::path> saveFile(const FileDialogSpec& dialogSpec) override;

    // Scripted answers, used in order; when a queue is empty: confirm answers
    // No, inputs and dialogs are cancelled.
    std::deque<bool> confirmAnswers;
    std::deque<std::optional<std::string>> inputAnswers;
    std::deque<std::optional<std::filesystem::path>> fileAnswers;
    std::deque<std::vector<std::filesystem::path>> multiFileAnswers;

    std::vector<PromptRecord> log;
    std::vector<std::string> texts(const std::string& kind) const;
    FileDialogSpec lastDialog; // what the latest file dialog shown was asked for
};

// ---- window -------------------------------------------------------------------
// The window as the engine shows on it: panels, buttons, cursor, pauses.
class FakeMainView : public MainView {
public:
    void setPanel(int index, const std::string& text) override { panels.at(index) = text; }
    std::string panel(int index) const override { return panels.at(index); }
    void applyButtonSet(ButtonSet set) override { buttons = set; buttonHistory.push_back(set); }
    void repaint() override { ++repaints; }
    void setBusyCursor(bool busy) override { busyHistory.push_back(busy); }
    void pause(int ms) override { pauses.push_back(ms); }
    void showFailures(int total, const std::string& byKind) override { failures = {total, byKind}; }

    std::vector<std::string> panels = std::vector<std::string>(9);
    ButtonSet buttons = ButtonSet::AtStart;
    std::vector<ButtonSet> buttonHistory;
    std::vector<bool> busyHistory;
    std::vector<int> pauses;
    std::pair<int, std::string> failures{0, {}};
    int repaints = 0;
};

// The speed a field with this text reads: the integer written, or 1.
inline int fieldSpeed(const std::string& text)
{
    try {
        return strToInt(text);
    } catch (const Exception&) {
        return 1;
    }
}

class FakeHostLookup : public HostLookup {
public:
    std::string localAddress() override { ++calls; return address; }
    std::string address = "192.0.2.7";
    int calls = 0;
};

} // namespace vq::fake
