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

} // namespace vq
