#include "search/lane_scheduler.h"

#include "search/address.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace vq {

LaneScheduler::LaneScheduler(LineSource& source, Listener& listener) : source_(&source), listener_(listener)
{
    nowMs = [] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    };
}

LaneScheduler::~LaneScheduler()
{
    for (auto& lane : lanes_) {
        lane->pageTimer->onTimer = nullptr;
        lane->watchdog->onTimer = nullptr;
    }
}

void LaneScheduler::addLane(Browser& page, Timer& pageTimer, Timer& watchdog, PageFetcher* fetcher)
{
    auto lane = std::make_unique<Lane>();
    if (fetcher)
        lane->fast = std::make_unique<FastReader>(page, *fetcher, trust_);
    Browser& browser = lane->fast ? *lane->fast : page;
    lane->browser = &browser;
    lane->pageTimer = &pageTimer;
    lane->watchdog = &watchdog;
    lane->rule.attach(browser);
    const size_t index = lanes_.size();
    // Without a pace a lane hears of the page's end rather than polling for it.
    browser.onDocumentComplete = [this, index, rule = browser.onDocumentComplete](FrameId f, const AnsiString& u) {
        rule(f, u);
        pageEvent(index);
    };
    browser.onRendererGone = [this, index] { pageEvent(index); };
    // A failing tick is reported and the program goes on; the tick itself
    // decides what state its timer is left in.
    pageTimer.onTimer = [this, index] { reporting([this, index] { tick(index); }); };
    watchdog.onTimer = [this, index] { reporting([this, index] { watchdogTick(index); }); };
    lanes_.push_back(std::move(lane));
}

size_t LaneScheduler::busyLanes() const
{
    size_t n = 0;
    for (const auto& l : lanes_)
        n += l->state == LaneState::Loading ? 1 : 0;
    return n;
}

int LaneScheduler::pageInterval() const
{
    const LaneOptions& o = settings_.lanes;
    return o.noPace ? std::max(1, o.pollMs) : pageIntervalMs(settings_.current().speed);
}

int64_t LaneScheduler::pageBoundMs(const Task& task) const
{
    const LaneOptions& o = settings_.lanes;
    const int timeout = task.silent && o.retryTimeoutMs > 0 ? std::min(o.retryTimeoutMs, o.pageTimeoutMs)
                                                               : o.pageTimeoutMs;
    return int64_t(timeout) + std::max(0, o.settleMs);
}

int LaneScheduler::watchdogInterval() const
{
    const LaneOptions& o = settings_.lanes;
    return o.noPace ? int(std::max<int64_t>(1000, pageBoundMs(Task{}))) : watchdogIntervalMs(settings_.current().speed);
}

int LaneScheduler::maxWaitTicks() const
{
    const LaneOptions& o = settings_.lanes;
    return o.noPace ? std::max(1, o.pageTimeoutMs / std::max(1, o.pollMs)) : kMaxWaitTicks;
}

bool LaneScheduler::lookahead() const
{
    // Reading ahead only helps to pass a host that must wait (for its
    // robots.txt too).
    return settings_.lanes.perHost > 0 || settings_.lanes.hostDelayMs > 0 || robots_;
}

// ---- a search -----------------------------------------------------------------

void LaneScheduler::begin(const SearchSettings& settings, int32_t linesDone)
{
    settings_ = settings;
    linkRules_ = LinkRules{settings.site, settings.filter, settings.https, {}, {}};
    if (settings.filter) {
        linkRules_.mustContain = settings.mustContain;
        linkRules_.mustNotContain = settings.mustNotContain;
    }
    followRules_ = linkRules_;
    followRules_.onlySite = false; // the frontier decides which sites it follows
    faxScan_ = std::make_unique<FaxLineScanner>(settings.markers);
    used_ = std::clamp<size_t>(static_cast<size_t>(std::max(1, settings.lanes.lanes)), 1, lanes_.size());
    trust_.clear();
    for (const std::unique_ptr<Lane>& lane : lanes_) {
        if (lane->fast) // a fetch outlasts the page's bound: the bound decides
            lane->fast->setOn(settings.fast, int(pageBoundMs(Task{})) + 1000);
        lane->browser->setReadFrames(settings.frames);
        lane->browser->setSettleWhenIdle(settings.settleIdle);
        lane->browser->setPictureMarkers(settings.ocr ? settings.markers : std::vector<AnsiString>{});
        lane->browser->setUserAgent(settings.userAgent);
    }
    run_ = Run::Running;
    renderFailuresInRow_ = 0;
    proxyFailuresInRow_ = 0;
    failedRunStart_ = 0;
    linesRead_ = linesDone;
    committed_ = linesDone;
    lastRead_ = LineSource::Next::Line;
    ahead_.clear();
    retry_.clear();
    done_.clear();
    inFlight_.clear();
    lastVisit_.clear();
    for (size_t i = 0; i < lanes_.size(); ++i) {
        Lane& l = *lanes_[i];
        l.task.reset();
        l.state = LaneState::Idle;
        l.readError = nullptr;
        l.started = 0;
        l.waitTicks = 0;
        l.watchdogMark = 0;
        l.pageTimer->setInterval(pageInterval());
        l.watchdog->setEnabled(i < used_);
    }
}

void LaneScheduler::firstAdvance()
{
    for (size_t i = 0; i < used_ && active(); ++i) {
        try {
            advance(i);
        } catch (...) {
            if (run_ == Run::Ended)
                throw;
        }
    }
}

void LaneScheduler::requestStop()
{
    if (run_ == Run::Running)
        run_ = Run::Stopping;
}

void LaneScheduler::setLive(const LiveSettings& live)
{
    settings_.apply(live);
}

void LaneScheduler::reporting(const std::function<void()>& step)
{
    try {
        step();
    } catch (const std::exception& e) {
        listener_.tickFailed(e);
    }
}

void LaneScheduler::halt()
{
    // The end, once reported, stays known: firstAdvance() raises its failure.
    if (run_ != Run::Ended)
        run_ = Run::Idle;
    for (auto& l : lanes_) {
        if (l->task)
            dropTask(*l);
        l->state = LaneState::Idle;
        l->pageTimer->setEnabled(false);
        l->watchdog->setEnabled(false);
    }
}

// ---- lines ----------------------------------------------------------------------

bool LaneScheduler::readTask(Task& task)
{
    for (;;) {
        SourceLine next;
        const LineSource::Next got = source_->next(next);
        lastRead_ = got;
        if (got != LineSource::Next::Line)
            return false;
        const int32_t line = ++linesRead_;
        listener_.lineRead(line, next.address);
        const int shards = std::max(1, settings_.lanes.shardCount);
        if ((line - 1) % shards != settings_.lanes.shardIndex) {
            // Another machine's line: done here without a visit.
            PageResult d;
            d.report = false;
            d.record.line = line;
            complete(std::move(d));
            continue;
        }
        task = Task{};
        task.line = line;
        task.host = hostOf(next.address);
        task.address = std::move(next.address);
        task.row = next.row;
        task.depth = next.depth;
        task.referrer = std::move(next.referrer);
        return true;
    }
}

LaneScheduler::Take LaneScheduler::takeLine(Task& task)
{
    // A retry whose back-off is over goes first: the resume point waits for it.
    for (auto it = retry_.begin(); it != retry_.end(); ++it) {
        if (it->dueMs <= nowMs() && hostFree(*it)) {
            task = std::move(*it);
            retry_.erase(it);
            return Take::Got;
        }
    }
    lastRead_ = LineSource::Next::Line;
    if (!lookahead()) {
        if (readTask(task))
            return Take::Got;
        return retry_.empty() && lastRead_ != LineSource::Next::Later ? Take::End : Take::Wait;
    }
    // A few lines ahead, so that a busy host does not hold up the others.
    const size_t limit = std::max<size_t>(8, 4 * used_);
    Task next;
    while (ahead_.size() < limit && readTask(next))
        ahead_.push_back(std::move(next));
    for (auto it = ahead_.begin(); it != ahead_.end(); ++it) {
        if (hostFree(*it)) {
            task = std::move(*it);
            ahead_.erase(it);
            return Take::Got;
        }
    }
    return ahead_.empty() && retry_.empty() && lastRead_ != LineSource::Next::Later ? Take::End : Take::Wait;
}

bool LaneScheduler::listDone()
{
    return ahead_.empty() && retry_.empty() && source_->exhausted();
}

void LaneScheduler::startTask(Lane& lane, Task task)
{
    task.startedMs = nowMs();
    ++task.attempts;
    ++lane.started;
    if (lookahead()) {
        ++inFlight_[task.host];
        lastVisit_[task.host] = task.startedMs;
    }
    lane.waitTicks = 0;
    lane.state = LaneState::Loading;
    lane.rule.reset();
    const AddressKind kind = addressKind(task.address);
    task.skipped = kind != AddressKind::Web;
    task.skippedAs = kind == AddressKind::NotAnAddress ? PageOutcome::NotAnAddress : PageOutcome::SkippedScheme;
    if (!task.skipped && robots_ && robots_->known(task.address) == RobotsPolicy::Verdict::Disallowed) {
        task.skipped = true; // never fetched
        task.skippedAs = PageOutcome::Robots;
    }
    const bool navigate = !task.skipped; // local files, scripts and junk are not pages of the web
    const AnsiString address = task.address;
    lane.task = std::move(task);
    if (settings_.lanes.noPace)
        armPage(lane, navigate ? pageBoundMs(*lane.task) : 0); // before navigate(): its end may come at once
    if (!navigate)
        return;
    if (settings_.lanes.recycleAfter > 0 && lane.sinceRecycle >= settings_.lanes.recycleAfter)
        letGo(lane);
    ++lane.sinceRecycle;
    try {
        lane.browser->navigate(address);
    } catch (...) {
        // A failed navigation leaves the marker at 0; the wait bound or the
        // watchdog moves the search on.
    }
}

void LaneScheduler::assignNext(Lane& lane)
{
    Task task;
    switch (takeLine(task)) {
    case Take::End:
        laneEnd(lane);
        return;
    case Take::Wait:
        if (ahead_.empty())
            letGo(lane); // nothing but retries' back-off or pages yet to bring links
        lane.state = LaneState::Waiting;
        if (settings_.lanes.noPace)
            lane.pageTimer->setInterval(pageInterval()); // look again soon
        return;
    case Take::Got:
        startTask(lane, std::move(task));
        return;
    }
}

// ---- the per-page cycle ----------------------------------------------------------

void LaneScheduler::advance(size_t index)
{
    Lane& lane = *lanes_.at(index);
    if (lane.task) {
        // The watchdog gives up on the page: done, without a scan (or tried
        // again later). One left because of a stop is not done, so a resume
        // visits it again.
        if (run_ == Run::Stopping)
            dropTask(lane);
        else
            finishTask(lane, PageOutcome::Timeout, false);
    }
    if (endForRenderFailures())
        return;
    if (listDone() || run_ == Run::Stopping) {
        laneEnd(lane);
        return;
    }
    assignNext(lane);
    if (lane.state == LaneState::Idle)
        return;
    lane.pageTimer->setEnabled(true);
    // Setting the interval restarts the watchdog's period.
    lane.watchdog->setInterval(watchdogInterval());
}

void LaneScheduler::tick(size_t index)
{
    Lane& lane = *lanes_.at(index);
    if (lane.state == LaneState::Waiting) {
        // Waiting for a host to become free: try again.
        assignNext(lane);
        if (lane.state == LaneState::Loading)
            lane.watchdog->setInterval(watchdogInterval());
        return;
    }
    if (lane.state != LaneState::Loading)
        return;

    if (lane.task->skipped || rendererGone(lane.browser->loadResult())) {
        // Nothing to wait for and nothing to read: on to the next line.
        lane.pageTimer->setEnabled(false);
        lane.pageTimer->setInterval(pageInterval());
        lane.waitTicks = 0;
        finishTask(lane, lane.task->skipped ? lane.task->skippedAs : PageOutcome::RenderFailure, false);
        afterPage(lane);
        return;
    }

    // Without a document no wait tick is counted; only the watchdog moves on.
    if (!lane.browser->hasDocument()) {
        if (settings_.lanes.noPace)
            lane.pageTimer->setEnabled(false);
        return;
    }

    if (settings_.lanes.noPace) {
        // The page's end or its wait bound, whichever comes first.
        const int64_t left = lane.task->startedMs + pageBoundMs(*lane.task) - nowMs();
        if (!lane.rule.complete() && left > 0) {
            armPage(lane, left);
            return;
        }
        lane.pageTimer->setEnabled(false);
        lane.pageTimer->setInterval(pageInterval());
        const PageOutcome outcome = !lane.rule.complete() ? PageOutcome::Timeout
                                    : lane.browser->loadResult() == LoadResult::Failed ? PageOutcome::NavigationError
                                                                                        : PageOutcome::Scanned;
        finishTask(lane, outcome, true);
        afterPage(lane);
        return;
    }

    lane.pageTimer->setEnabled(false);
    lane.pageTimer->setInterval(pageInterval()); // a changed speed takes effect here

    if (!lane.rule.complete() && lane.waitTicks < maxWaitTicks()) {
        ++lane.waitTicks;
        lane.pageTimer->setEnabled(true);
        return;
    }

    lane.waitTicks = 0;
    PageOutcome outcome = PageOutcome::Timeout;
    if (lane.rule.complete())
        outcome = lane.browser->loadResult() == LoadResult::Failed ? PageOutcome::NavigationError
                                                                    : PageOutcome::Scanned;
    finishTask(lane, outcome, true);
    afterPage(lane);
}

void LaneScheduler::afterPage(Lane& lane)
{
    std::exception_ptr readError = std::exchange(lane.readError, nullptr);
    if (endForRenderFailures()) {
        if (readError)
            std::rethrow_exception(readError);
        return;
    }
    listener_.pageTicked();
    if (readError) {
        // The page could not be read: its page timer stays off, and the
        // watchdog moves the lane on.
        lane.state = LaneState::Stalled;
        std::rethrow_exception(readError);
    }
    if (listDone() || run_ == Run::Stopping) {
        laneEnd(lane);
        return;
    }
    assignNext(lane);
    if (lane.state != LaneState::Idle)
        lane.pageTimer->setEnabled(true);
}

void LaneScheduler::armPage(Lane& lane, int64_t ms)
{
    // An interval of 1 ms: a timer of 0 ms stays silent.
    lane.pageTimer->setInterval(int(std::clamp<int64_t>(ms, 1, 1 << 30)));
    lane.pageTimer->setEnabled(true);
}

void LaneScheduler::pageEvent(size_t index)
{
    Lane& lane = *lanes_.at(index);
    if (!active() || !settings_.lanes.noPace || lane.state != LaneState::Loading)
        return;
    // Read on the next turn of the event loop, not inside the browser's own
    // report (reading moves the lane on to its next page).
    if (lane.rule.complete() || rendererGone(lane.browser->loadResult()))
        armPage(lane, 0);
}

void LaneScheduler::watchdogTick(size_t index)
{
    Lane& lane = *lanes_.at(index);
    if (lane.started == lane.watchdogMark)
        advance(index); // the current page is abandoned without a scan
    else
        lane.watchdogMark = lane.started;
}

// The lane's page is replaced by a fresh one, and what it held in its render
// process goes with it: every `recycleAfter` pages, and when the lane has
// nothing left to do, so that a heavy last page (hundreds of MB) is not kept
// while the other lanes finish. The browser decides: a page somebody looks at
// stays.
void LaneScheduler::letGo(Lane& lane)
{
    if (lane.sinceRecycle == 0)
        return;
    lane.browser->recycle();
    lane.sinceRecycle = 0;
}

void LaneScheduler::laneEnd(Lane& lane)
{
    letGo(lane);
    lane.state = LaneState::Idle;
    lane.pageTimer->setEnabled(false);
    lane.watchdog->setEnabled(false);
    for (const auto& l : lanes_) {
        if (l->state == LaneState::Loading || l->state == LaneState::Waiting)
            return;
    }
    if (active()) {
        run_ = Run::Ended;
        listener_.lanesIdle();
    }
}

bool LaneScheduler::endForRenderFailures()
{
    if (run_ != Run::RenderFailed)
        return false;
    run_ = Run::Ended;
    listener_.renderFailuresInRow(renderFailuresInRow_);
    return true;
}

} // namespace vq
