#include "app/harvest/cli_view.h"

#include "app/os.h"

#include "text/errors.h"
#include "text/integer.h"
#include "text/paths.h"

#include <algorithm>
#include <cstdio>
#include <thread>

namespace vq::cli {

namespace {
int panelNumber(const std::string& text)
{
    try {
        return text.empty() ? 0 : strToInt(text);
    } catch (const Exception&) {
        return 0;
    }
}

std::string clockText(long long seconds)
{
    char buf[32];
    if (seconds >= 3600)
        std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60, seconds % 60);
    else
        std::snprintf(buf, sizeof buf, "%02lld:%02lld", seconds / 60, seconds % 60);
    return buf;
}
} // namespace

CliView::CliView() : tty_(os::stderrIsTerminal())
{
    for (Switch s : {Switch::Dedup, Switch::Links, Switch::Fax, Switch::LinkFilter, Switch::OnlySite,
                     Switch::Autosave, Switch::Https})
        switches_[s] = false;
}

bool CliView::isChecked(Switch s) const
{
    return switches_.at(s);
}

void CliView::setSpeed(int seconds)
{
    speed_ = std::clamp(seconds, 1, 60);
}

std::vector<AnsiString> CliView::memoLines(Memo m) const
{
    auto it = memos_.find(m);
    return it == memos_.end() ? std::vector<AnsiString>{} : it->second;
}

std::string CliView::panel(int index) const
{
    return panels_.at(index);
}

void CliView::setPanel(int index, const std::string& text)
{
    panels_.at(index) = text;
    // A terminal gets one line redrawn on every change; a log gets a line per page.
    if (index == 3 || (tty_ && (index == 5 || index == 7)))
        drawProgress();
    if (index == 8 && (text == "搜索已经结束!" || text == "网址列表搜索完毕..." || text == "取消继续搜索...")) {
        if (onSearchEnded)
            onSearchEnded();
    }
}

void CliView::pause(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void CliView::drawProgress()
{
    if (!showProgress)
        return;
    const int total = panelNumber(panels_[1]);
    const int line = panelNumber(panels_[3]);
    if (line <= 0)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (startLine_ < 0 || line < startLine_) {
        startLine_ = line;
        started_ = now;
    }
    std::string eta = "--:--";
    const int done = line - startLine_;
    if (done > 0 && total >= line) {
        const double perLine = std::chrono::duration<double>(now - started_).count() / done;
        eta = clockText(static_cast<long long>(perLine * (total - line) + 0.5));
    }
    const int width = 24;
    const int filled = total > 0 ? std::min(width, static_cast<int>(static_cast<long long>(line) * width / total)) : 0;
    std::string text = "[" + std::string(filled, '#') + std::string(width - filled, '.') + "] line " +
                       std::to_string(line) + "/" + std::to_string(total) + "  links " +
                       std::to_string(panelNumber(panels_[5])) + "  fax " + std::to_string(panelNumber(panels_[7])) +
                       "  ETA " + eta + (progressExtra ? progressExtra() : std::string());
    if (text == lastLine_)
        return;
    lastLine_ = text;
    if (tty_)
        std::fprintf(stderr, "\r%s\x1b[K", text.c_str());
    else
        std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
    drawn_ = tty_;
}

void CliView::finishProgress()
{
    if (drawn_) {
        std::fputc('\n', stderr);
        drawn_ = false;
    }
}

void CliPrompts::information(const std::string& text)
{
    message(text);
}

bool CliPrompts::confirm(const std::string& text)
{
    if (beforeMessage)
        beforeMessage();
    std::fprintf(stderr, "vqharvest: %s (answered no)\n", text.c_str());
    return false;
}

void CliPrompts::message(const std::string& text)
{
    if (beforeMessage)
        beforeMessage();
    std::fprintf(stderr, "vqharvest: %s\n", text.c_str());
    ++failures;
}

void CliPrompts::error(const std::string& text)
{
    if (beforeMessage)
        beforeMessage();
    std::fprintf(stderr, "vqharvest: error: %s\n", text.c_str());
    ++failures;
}

void CliPrompts::fileError(const std::string& text, const std::filesystem::path& file)
{
    error(pathToUtf8(file) + ": " + text);
}

std::optional<std::string> CliPrompts::inputBox(const std::string&, const std::string&, const std::string& initial)
{
    return inputAnswer ? inputAnswer : std::optional<std::string>(initial);
}

} // namespace vq::cli
