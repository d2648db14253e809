#include "tests/support/fakes.h"

#include "text/integer.h"

#include <algorithm>

namespace vq::fake {

// ---- time -----------------------------------------------------------------
void FakeTimer::setEnabled(bool on)
{
    if (on == enabled_)
        return;
    enabled_ = on;
    if (on)
        due_ = clock_.now() + interval_;
}

void FakeTimer::setInterval(int ms)
{
    interval_ = ms;
    if (enabled_)
        due_ = clock_.now() + interval_;
}

FakeTimer& ManualClock::newTimer(int intervalMs)
{
    timers_.push_back(std::make_unique<FakeTimer>(*this, intervalMs));
    return *timers_.back();
}

void ManualClock::advance(int64_t ms)
{
    const int64_t end = now_ + ms;
    for (;;) {
        FakeTimer* next = nullptr;
        for (auto& t : timers_)
            if (t->enabled_ && t->due_ <= end && (!next || t->due_ < next->due_))
                next = t.get();
        if (!next)
            break;
        now_ = std::max(now_, next->due_);
        next->due_ = now_ + std::max(1, next->interval_);
        ++next->ticks;
        if (next->onTimer)
            next->onTimer();
    }
    now_ = end;
}

// ---- browser ----------------------------------------------------------------
void FakeBrowser::navigate(const AnsiString& url)
{
    navigations.push_back(url);
    if (failNavigate)
        throw Exception("navigation failed");
    result = LoadResult::Succeeded;
    if (std::find(renderFailures.begin(), renderFailures.end(), url) != renderFailures.end()) {
        result = LoadResult::RendererGone;
        if (onRendererGone)
            onRendererGone();
        return;
    }
    if (autoComplete) {
        auto it = pages.find(url);
        completeTop(it != pages.end() ? it->second : FakePage{url, {}, {}});
    }
}

AnsiString FakeBrowser::locationUrl()
{
    if (failReads || !document)
        throw Exception("document not readable");
    return document->location;
}

int FakeBrowser::linkCount()
{
    if (failReads || !document)
        throw Exception("document not readable");
    return static_cast<int>(document->links.size());
}

AnsiString FakeBrowser::link(int index)
{
    if (failReads || !document || index < 0 || index >= static_cast<int>(document->links.size()))
        throw Exception("link not readable");
    return document->links[index];
}

AnsiString FakeBrowser::bodyText()
{
    if (failReads || !document)
        throw Exception("document not readable");
    return document->text;
}

void FakeBrowser::completeTop(FakePage page)
{
    const AnsiString url = page.location;
    fireNavigateComplete2(top(), url);
    document = std::move(page);
    fireDocumentComplete(top(), url);
}

// ---- prompts ----------------------------------------------------------------
bool FakePrompts::confirm(const std::string& text)
{
    log.push_back({"confirm", text, {}});
    if (confirmAnswers.empty())
        return false;
    bool a = confirmAnswers.front();
    confirmAnswers.pop_front();
    return a;
}

std::optional<std::string> FakePrompts::inputBox(const std::string& caption, const std::string& prompt,
                                                 const std::string& initial)
{
    log.push_back({"input", caption, prompt + "|" + initial});
    if (inputAnswers.empty())
        return std::nullopt;
    auto a = inputAnswers.front();
    inputAnswers.pop_front();
    return a;
}

std::optional<std::filesystem::path> FakePrompts::openFile(const FileDialogSpec& dialogSpec)
{
    log.push_back({"open", dialogSpec.title, dialogSpec.filter + "|" + dialogSpec.defaultExt});
    lastDialog = dialogSpec;
    if (fileAnswers.empty())
        return std::nullopt;
    auto a = fileAnswers.front();
    fileAnswers.pop_front();
    return a;
}

std::vector<std::filesystem::path> FakePrompts::openFiles(const FileDialogSpec& dialogSpec)
{
    log.push_back({"openMany", dialogSpec.title, dialogSpec.filter + "|" + dialogSpec.defaultExt});
    lastDialog = dialogSpec;
    if (multiFileAnswers.empty())
        return {};
    auto a = multiFileAnswers.front();
    multiFileAnswers.pop_front();
    return a;
}

std::optional<std::filesystem::path> FakePrompts::saveFile(const FileDialogSpec& dialogSpec)
{
    log.push_back({"save", dialogSpec.title, dialogSpec.filter + "|" + dialogSpec.defaultExt});
    lastDialog = dialogSpec;
    if (fileAnswers.empty())
        return std::nullopt;
    auto a = fileAnswers.front();
    fileAnswers.pop_front();
    return a;
}

std::vector<std::string> FakePrompts::texts(const std::string& kind) const
{
    std::vector<std::string> out;
    for (const auto& r : log)
        if (r.kind == kind)
            out.push_back(r.text);
    return out;
}

// ---- window -------------------------------------------------------------------

} // namespace vq::fake
