// Whether a line's host may be visited now: its pages in flight, the delay
// between two visits (the site's Crawl-delay raising it), and, obeying
// robots.txt, whether its origin's robots.txt has come.
#include "search/lane_scheduler.h"

#include <algorithm>

namespace vq {

bool LaneScheduler::hostFree(const Task& task)
{
    const LaneOptions& o = settings_.lanes;
    if (o.perHost > 0) {
        const auto it = inFlight_.find(task.host);
        if (it != inFlight_.end() && it->second >= o.perHost)
            return false;
    }
    int delayMs = o.hostDelayMs;
    if (robots_) {
        // The line waits for its robots.txt (asked for now, once per origin).
        if (robots_->check(task.address) == RobotsPolicy::Verdict::Unknown)
            return false;
        delayMs = std::max(delayMs, robots_->crawlDelayMs(task.address));
    }
    if (delayMs > 0) {
        const auto it = lastVisit_.find(task.host);
        if (it != lastVisit_.end() && nowMs() - it->second < delayMs)
            return false;
    }
    return true;
}

} // namespace vq
