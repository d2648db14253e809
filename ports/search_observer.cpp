#include "ports/search_observer.h"

#include <cstddef>
#include <string>

namespace vq {

namespace {

// By outcome, in the enum's order: the report's name and the window's words.
struct OutcomeWords {
    const char* name;
    const char* text;
};
constexpr OutcomeWords kOutcomeWords[kPageOutcomeCount] = {
    {"scanned", "已搜索"},
    {"timeout", "超时"},
    {"navigation error", "打开失败"},
    {"render failure", "无法显示"},
    {"skipped scheme", "非网页地址"},
    {"not an address", "非网址"},
    {"robots", "robots.txt禁止"},
};

const OutcomeWords* wordsOf(PageOutcome outcome)
{
    const auto i = static_cast<size_t>(outcome);
    return i < kPageOutcomeCount ? &kOutcomeWords[i] : nullptr;
}

} // namespace

const char* outcomeName(PageOutcome outcome)
{
    const OutcomeWords* w = wordsOf(outcome);
    return w ? w->name : "unknown";
}

const char* outcomeText(PageOutcome outcome)
{
    const OutcomeWords* w = wordsOf(outcome);
    return w ? w->text : "未知";
}

std::string renderFailuresText(int count)
{
    return "连续" + std::to_string(count) + "个网页无法显示，浏览器已不能正常工作，搜索已停止。";
}

} // namespace vq
