// The batch command's stand-ins for the main window and the message boxes: the
// switches and lists come from the command line, the status panels feed a
// progress line on stderr, and messages go to stderr.
#pragma once

#include "ports/main_view.h"
#include "ports/prompts.h"

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vq::cli {

class CliView : public MainView {
public:
    CliView();

    bool isChecked(Switch s) const override;
    void setChecked(Switch s, bool on) override { switches_[s] = on; }
    int speed() const override { return speed_; }
    void setSpeed(int seconds) override;
    AnsiString listPath() const override { return listPath_; }
    void setListPath(const AnsiString& path) override { listPath_ = path; }
    std::vector<AnsiString> memoLines(Memo m) const override;
    void setMemoLines(Memo m, const std::vector<AnsiString>& lines) override { memos_[m] = lines; }
    void setPanel(int index, const std::string& text) override;
    std::string panel(int index) const override;
    void applyButtonSet(ButtonSet) override {}
    void repaint() override {}
    void setBusyCursor(bool) override {}
    void pause(int ms) override;

    // Called when panel 8 reports that the search has ended.
    std::function<void()> onSearchEnded;
    // Draw the progress line (false: quiet).
    bool showProgress = true;
    // More to show at the end of the progress line (lanes, pace).
    std::function<std::string()> progressExtra;
    // Ends the progress line so that later output starts on a new line.
    void finishProgress();

private:
    void drawProgress();

    std::map<Switch, bool> switches_;
    int speed_ = 8;
    AnsiString listPath_;
    std::map<Memo, std::vector<AnsiString>> memos_;
    std::vector<std::string> panels_ = std::vector<std::string>(9);
    std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
    int startLine_ = -1;
    bool drawn_ = false;
    bool tty_ = false;
    std::string lastLine_;
};

// Messages on stderr; the input box answers with a preset value; no dialogs.
class CliPrompts : public Prompts {
public:
    void information(const std::string& text) override;
    bool confirm(const std::string& text) override;
    void message(const std::string& text) override;
    void error(const std::string& text) override;
    void fileError(const std::string& text, const std::filesystem::path& file) override;
    std::optional<std::string> inputBox(const std::string& caption, const std::string& prompt,
                                        const std::string& initial) override;
    std::optional<std::filesystem::path> openFile(const FileDialogSpec&) override { return std::nullopt; }
    std::vector<std::filesystem::path> openFiles(const FileDialogSpec&) override { return {}; }
    std::optional<std::filesystem::path> saveFile(const FileDialogSpec&) override { return std::nullopt; }

    std::optional<std::string> inputAnswer; // what the input box returns
    int failures = 0;                       // errors and refusals reported
    std::function<void()> beforeMessage;    // e.g. end the progress line first
};

} // namespace vq::cli
