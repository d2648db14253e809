#include "ports/search_observer.h"

namespace vq {

const char* outcomeName(PageOutcome outcome)
{
    switch (outcome) {
    case PageOutcome::Scanned:
        return "scanned";
    case PageOutcome::Timeout:
        return "timeout";
    case PageOutcome::NavigationError:
        return "navigation error";
    case PageOutcome::RenderFailure:
        return "render failure";
    case PageOutcome::SkippedScheme:
        return "skipped scheme";
    }
    return "unknown";
}

const char* outcomeText(PageOutcome outcome)
{
    switch (outcome) {
    case PageOutcome::Scanned:
        return "已搜索";
    case PageOutcome::Timeout:
        return "超时";
    case PageOutcome::NavigationError:
        return "打开失败";
    case PageOutcome::RenderFailure:
        return "无法显示";
    case PageOutcome::SkippedScheme:
        return "非网页地址";
    }
    return "未知";
}

} // namespace vq
