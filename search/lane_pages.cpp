// The lanes' pages once they end: tried again, or done and added to the
// results in list order.
#include "search/lane_scheduler.h"

#include <algorithm>
#include <utility>

namespace vq {

// ---- a page done ---------------------------------------------------------------

void LaneScheduler::releaseHost(const Task& task)
{
    const auto it = inFlight_.find(task.host);
    if (it != inFlight_.end() && --it->second <= 0)
        inFlight_.erase(it);
}

void LaneScheduler::dropTask(Lane& lane)
{
    releaseHost(*lane.task);
    lane.task.reset();
}

bool LaneScheduler::retryLater(Lane& lane, PageOutcome outcome)
{
    const LaneOptions& o = settings_.lanes;
    Task& task = *lane.task;
    if (run_ == Run::Stopping || task.skipped)
        return false;
    if (outcome == PageOutcome::RenderFailure && lane.browser->loadResult() == LoadResult::SharedRendererGone &&
        task.sharedLosses < o.sharedRendererRetries) {
        // Most likely another page's doing: at once, and not one of the
        // line's own retries.
        ++task.sharedLosses;
        queueRetry(lane, 0);
        return true;
    }
    if (task.attempts - task.sharedLosses > o.retries)
        return false;
    // A timeout, or a load that failed before any HTTP answer came, may pass;
    // an answer, even 404 or 500, is the server's word.
    const bool transient = outcome == PageOutcome::Timeout ||
                           (outcome == PageOutcome::NavigationError && lane.browser->httpStatus() == 0);
    if (!transient)
        return false;
    task.silent = task.silent || (outcome == PageOutcome::Timeout && !lane.browser->answered());
    const int64_t base = std::max(o.retryDelayMs, o.hostDelayMs);
    queueRetry(lane, base << std::min(task.attempts - task.sharedLosses - 1, 16));
    return true;
}

void LaneScheduler::queueRetry(Lane& lane, int64_t delayMs)
{
    Task& task = *lane.task;
    task.dueMs = nowMs() + delayMs;
    releaseHost(task);
    retry_.push_back(std::move(task));
    lane.task.reset();
    lane.state = LaneState::Idle;
}

void LaneScheduler::finishTask(Lane& lane, PageOutcome outcome, bool scan)
{
    if (retryLater(lane, outcome))
        return;
    Task task = std::move(*lane.task);
    lane.task.reset();
    lane.state = LaneState::Idle;
    releaseHost(task);

    PageResult d;
    d.record.line = task.line;
    d.record.address = task.address;
    d.record.outcome = outcome;
    d.record.attempts = std::max(1, task.attempts);
    d.record.depth = task.depth;
    d.record.referrer = task.referrer;
    d.row = task.row;
    if (!task.skipped && outcome != PageOutcome::RenderFailure) {
        d.record.httpStatus = lane.browser->httpStatus();
        try {
            d.record.finalUrl = lane.browser->locationUrl();
        } catch (...) {
        }
    }
    if (scan) {
        try {
            scanPage(*lane.browser, task, d);
            if (lane.fast)
                compareReadings(lane, task, d);
        } catch (...) {
            lane.readError = std::current_exception();
            d.record.outcome = PageOutcome::RenderFailure;
        }
    }
    d.record.ms = nowMs() - task.startedMs;
    const PageOutcome final = d.record.outcome;
    const bool atProxy = !task.skipped && final == PageOutcome::NavigationError && lane.browser->proxyFailed();
    complete(std::move(d));
    countRenderFailure(final);
    countProxyFailure(final, atProxy);
}

void LaneScheduler::scanPage(Browser& page, const Task& task, PageResult& d)
{
    // Read now, added when every earlier line is done. A read that fails
    // part-way keeps what was read before it.
    const LiveSettings live = settings_.current();
    if (live.links)
        HarvestLinks(page, linkRules_, d.links);
    if (live.fax)
        ExtractFaxNumbers(page, *faxScan_, d.fax, settings_.ocr ? &d.pictureFax : nullptr);
    const FrontierOptions& f = settings_.frontier;
    if (f.on && task.depth >= 0 && task.depth < f.depth) {
        // Without "本站" the links kept are the links to follow: one walk
        // over the page's links serves both.
        if (live.links && !linkRules_.onlySite)
            d.follow = d.links;
        else
            HarvestLinks(page, followRules_, d.follow);
    }
}

void LaneScheduler::compareReadings(Lane& lane, const Task& task, PageResult& d)
{
    FastReader& fast = *lane.fast;
    d.record.leftToBrowser = fast.leftToBrowser();
    switch (fast.way()) {
    case FastTrust::Way::Browser:
        return;
    case FastTrust::Way::Fast:
        d.record.reading = PageReading::Fast;
        return;
    case FastTrust::Way::Both:
        break;
    }
    if (d.record.outcome != PageOutcome::Scanned)
        return; // the browser did not read it whole: nothing to compare
    PageResult html;
    try {
        scanPage(fast.htmlReading(), task, html);
    } catch (...) {
        return;
    }
    const bool matched = html.fax == d.fax && html.links == d.links && html.follow == d.follow;
    trust_.record(fast.site(), matched);
    d.record.reading = matched ? PageReading::Checked : PageReading::Differed;
}

void LaneScheduler::complete(PageResult done)
{
    const int32_t line = done.record.line;
    done_[line] = std::move(done);
    while (!done_.empty() && done_.begin()->first == committed_ + 1) {
        PageResult d = std::move(done_.begin()->second);
        done_.erase(done_.begin());
        ++committed_;
        if (d.report) {
            if (d.record.outcome != PageOutcome::RenderFailure)
                failedRunStart_ = 0;
            else if (failedRunStart_ == 0)
                failedRunStart_ = committed_;
        }
        listener_.commit(d);
    }
}

void LaneScheduler::countProxyFailure(PageOutcome outcome, bool atProxy)
{
    // Lines that failed at the proxy, after their retries: a proxy that is
    // gone would fail every line, and the crawl is not a list of failures.
    if (!atProxy) {
        if (outcome != PageOutcome::SkippedScheme && outcome != PageOutcome::NotAnAddress)
            proxyFailuresInRow_ = 0;
        return;
    }
    if (++proxyFailuresInRow_ == settings_.lanes.proxyFailureLimit && run_ == Run::Running)
        listener_.proxyFailuresInRow(proxyFailuresInRow_);
}

void LaneScheduler::countRenderFailure(PageOutcome outcome)
{
    if (outcome == PageOutcome::Scanned || outcome == PageOutcome::NavigationError)
        renderFailuresInRow_ = 0;
    if (outcome != PageOutcome::RenderFailure)
        return;
    ++renderFailuresInRow_;
    if (renderFailuresInRow_ < settings_.lanes.renderFailureLimit || !active() || run_ == Run::RenderFailed)
        return;
    // The browser no longer renders anything: a run of empty pages would be
    // reported as a search. The pages that failed last added nothing: the
    // resume point goes back before them, so that a resume visits them again.
    run_ = Run::RenderFailed;
    if (failedRunStart_ > 0)
        committed_ = std::min(committed_, failedRunStart_ - 1);
}

} // namespace vq
