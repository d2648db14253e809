#include "search/crawl_driver.h"

#include "search/saved_results.h"
#include "state/search_state.h"
#include "text/integer.h"
#include "text/paths.h"

#include <algorithm>
#include <chrono>
#include <string_view>
#include <exception>
#include <system_error>

namespace vq {

namespace {

// Whether a file (not a directory) exists at the list path.
bool listFileExists(const AnsiString& ansiPath)
{
    if (ansiPath.empty())
        return false;
    std::error_code ec;
    const auto status = std::filesystem::status(ansiToPath(ansiPath), ec);
    return !ec && std::filesystem::exists(status) && !std::filesystem::is_directory(status);
}

} // namespace

int CrawlDriver::clampedSpeed(int seconds)
{
    return std::clamp(seconds, kMinSpeed, kMaxSpeed);
}

int CrawlDriver::pageIntervalMs(int seconds)
{
    return clampedSpeed(seconds) * 1000;
}

int CrawlDriver::watchdogIntervalMs(int seconds)
{
    return clampedSpeed(seconds) * 15000;
}

// ---- addresses -------------------------------------------------------------

namespace {

bool isAsciiSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c | 0x20) : c;
}

bool isSchemeChar(char c, bool first)
{
    const bool alpha = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (first)
        return alpha;
    return alpha || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

} // namespace

bool isWebAddress(const AnsiString& address)
{
    size_t begin = 0;
    while (begin < address.size() && isAsciiSpace(address[begin]))
        ++begin;
    const std::string_view a = std::string_view(address).substr(begin);
    const size_t colon = a.find(':');
    if (colon == std::string_view::npos || colon == 0)
        return true; // no scheme: the browser takes it as http
    for (size_t i = 0; i < colon; ++i) {
        if (!isSchemeChar(a[i], i == 0))
            return true; // "a/b:c" and the like: no scheme either
    }
    std::string scheme(a.substr(0, colon));
    for (char& c : scheme)
        c = lowerAscii(c);
    if (scheme == "http" || scheme == "https")
        return true;
    // "host:port" or "host:port/path" is an address without a scheme.
    size_t i = colon + 1;
    size_t digits = 0;
    while (i < a.size() && a[i] >= '0' && a[i] <= '9') {
        ++i;
        ++digits;
    }
    return digits > 0 && (i == a.size() || a[i] == '/' || a[i] == '?' || a[i] == '#');
}

AnsiString hostOf(const AnsiString& address)
{
    std::string_view a(address);
    if (const size_t p = a.find("://"); p != std::string_view::npos)
        a.remove_prefix(p + 3);
    a = a.substr(0, a.find_first_of("/?#"));
    if (const size_t at = a.rfind('@'); at != std::string_view::npos)
        a.remove_prefix(at + 1);
    if (!a.empty() && a.front() == '[') {
        a = a.substr(0, a.find(']') + 1); // [v6]:port
    } else if (const size_t colon = a.find(':'); colon != std::string_view::npos) {
        a = a.substr(0, colon);
    }
    AnsiString host(a.empty() ? std::string_view(address) : a);
    for (char& c : host)
        c = lowerAscii(c);
    return host;
}

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

// ---- the driver ---------------------------------------------------------------

// One browser going through the per-page cycle. Lane 0 is the window's
// browser with its page-complete rule, Timer1, Timer3 and the search counters'
// WaitTicks and WatchdogIndex; further lanes have their own.
struct CrawlDriver::Lane {
    Browser* browser = nullptr;
    PageCompleteRule* rule = nullptr;
    Timer* pageTimer = nullptr;
    Timer* watchdog = nullptr;
    int32_t* waitTicks = nullptr;
    int32_t* watchdogMark = nullptr;

    std::unique_ptr<PageCompleteRule> ownRule;
    int32_t ownWaitTicks = 0;
    int32_t ownWatchdogMark = 0;

    int32_t started = 0;     // pages navigated in this search
    int32_t sinceRecycle = 0; // pages since the browser was last recycled
    std::optional<Task> task; // the line in flight
    bool waiting = false;     // for a host to become free
};

CrawlDriver::CrawlDriver(MainView& view, Prompts& prompts, Browser& browser, HostLookup& host,
                         Timer& timer1, Timer& timer2, Timer& timer3,
                         UrlListSource& urlList, PageCompleteRule& page,
                         LinkHarvester& harvester, FaxExtractor& extractor,
                         ResultList& links, ResultList& fax, SearchCounters& counters,
                         std::filesystem::path programDir)
    : view_(view), prompts_(prompts), browser_(browser), host_(host),
      timer1_(timer1), timer2_(timer2), timer3_(timer3),
      urlList_(urlList), page_(page), harvester_(harvester), extractor_(extractor),
      links_(links), fax_(fax), counters_(counters), programDir_(std::move(programDir))
{
    auto lane = std::make_unique<Lane>();
    lane->browser = &browser_;
    lane->rule = &page_;
    lane->pageTimer = &timer1_;
    lane->watchdog = &timer3_;
    lane->waitTicks = &counters_.waitTicks;
    lane->watchdogMark = &counters_.watchdogIndex;
    lanes_.push_back(std::move(lane));
    nowMs = [] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    };
}

CrawlDriver::~CrawlDriver()
{
    for (size_t i = 1; i < lanes_.size(); ++i) {
        lanes_[i]->pageTimer->onTimer = nullptr;
        lanes_[i]->watchdog->onTimer = nullptr;
    }
}

void CrawlDriver::addLane(Browser& browser, Timer& pageTimer, Timer& watchdog)
{
    auto lane = std::make_unique<Lane>();
    lane->browser = &browser;
    lane->ownRule = std::make_unique<PageCompleteRule>();
    lane->ownRule->attach(browser);
    lane->rule = lane->ownRule.get();
    lane->pageTimer = &pageTimer;
    lane->watchdog = &watchdog;
    lane->waitTicks = &lane->ownWaitTicks;
    lane->watchdogMark = &lane->ownWatchdogMark;
    Lane* l = lane.get();
    pageTimer.setEnabled(false);
    watchdog.setEnabled(false);
    pageTimer.onTimer = [this, l] { guarded(prompts_, [this, l] { laneTick(*l); }); };
    watchdog.onTimer = [this, l] { guarded(prompts_, [this, l] { laneWatchdog(*l); }); };
    lanes_.push_back(std::move(lane));
}

size_t CrawlDriver::busyLanes() const
{
    size_t n = 0;
    for (const auto& l : lanes_)
        n += l->task.has_value() ? 1 : 0;
    return n;
}

int CrawlDriver::pageInterval() const
{
    return options_.noPace ? std::max(1, options_.pollMs) : pageIntervalMs(view_.speed());
}

int CrawlDriver::watchdogInterval() const
{
    return options_.noPace ? std::max(1000, options_.pageTimeoutMs) : watchdogIntervalMs(view_.speed());
}

int CrawlDriver::maxWaitTicks() const
{
    if (!options_.noPace)
        return kMaxWaitTicks;
    return std::max(1, options_.pageTimeoutMs / std::max(1, options_.pollMs));
}

int32_t CrawlDriver::position() const
{
    return ranOnce_ ? committed_ : counters_.progressIndex;
}

bool CrawlDriver::lookahead() const
{
    return lanes_.size() > 1 || options_.perHost > 0 || options_.hostDelayMs > 0;
}

int32_t CrawlDriver::laneProgress(const Lane& lane) const
{
    // One lane: the search counters, as the watchdog has always compared them.
    return single() ? counters_.progressIndex : lane.started;
}

void CrawlDriver::N2Click()
{
    // The refusals come first and touch nothing.
    if (!view_.isChecked(Switch::Links) && !view_.isChecked(Switch::Fax)) {
        prompts_.message("请至少选择一个搜索项目才可以开始");
        return;
    }
    if (!listFileExists(view_.listPath())) {
        prompts_.information("您还没有选择网址列表文件！");
        return;
    }
    if (host_.localAddress() == "127.0.0.1") {
        prompts_.information("您还没有连接到网上！");
        return;
    }

    counters_.stopRequested = false;
    counters_.progressIndex = 0;
    counters_.watchdogIndex = 0;
    counters_.faxCount = 0;
    counters_.linkCount = 0;
    counters_.searchId = newSearchId();
    links_.clear();
    fax_.clear();

    view_.applyButtonSet(ButtonSet::Searching);
    timer1_.setInterval(pageInterval());

    // Panel 1 shows the total as last counted; the list is not recounted here.
    view_.setPanel(kPanelUrlTotal, intToStr(counters_.urlTotal));
    view_.setPanel(kPanelLinks, "");
    view_.setPanel(kPanelFax, "");
    view_.setPanel(kPanelStatus, "正在搜索...");
    view_.setPanel(kPanelProgress, "");

    if (view_.isChecked(Switch::Autosave))
        timer2_.setEnabled(true);
    timer3_.setEnabled(true);

    try {
        urlList_.open();
    } catch (...) {
        // Nothing was read: leave the window in the stopped state instead of
        // showing a search that only the watchdog would end, then report.
        timer1_.setEnabled(false);
        timer2_.setEnabled(false);
        timer3_.setEnabled(false);
        try {
            urlList_.close(); // a list still open from a search that was stopping
        } catch (...) {
        }
        view_.setPanel(kPanelStatus, "搜索已经结束!");
        view_.applyButtonSet(ButtonSet::Stopped);
        throw;
    }

    // A failed first advance is dropped: the watchdog retries it. A failed
    // finish (an empty list whose state cannot be written) is reported, since
    // the window already shows the search as ended.
    firstAdvance();
}

void CrawlDriver::beginRun()
{
    ranOnce_ = true;
    running_ = true;
    renderStop_ = false;
    renderFailuresInRow_ = 0;
    failedRunStart_ = 0;
    linesRead_ = counters_.progressIndex;
    committed_ = counters_.progressIndex;
    ahead_.clear();
    done_.clear();
    inFlight_.clear();
    lastVisit_.clear();
    for (size_t i = 0; i < lanes_.size(); ++i) {
        Lane& l = *lanes_[i];
        l.task.reset();
        l.waiting = false;
        l.started = 0;
        if (i > 0) {
            *l.waitTicks = 0;
            *l.watchdogMark = 0;
            l.pageTimer->setInterval(pageInterval());
            l.watchdog->setEnabled(true);
        }
    }
}

void CrawlDriver::firstAdvance()
{
    beginRun();
    for (size_t i = 0; i < lanes_.size() && running_; ++i) {
        bool finishing = false;
        try {
            advance(*lanes_[i], finishing);
        } catch (...) {
            if (finishing)
                throw;
        }
    }
}

void CrawlDriver::N3Click()
{
    counters_.stopRequested = true;
    view_.setPanel(kPanelStatus, "终止搜索...");
    view_.applyButtonSet(ButtonSet::Stopped);
    // What was found so far is on disk before the current page ends.
    if (view_.isChecked(Switch::Autosave) && saveResults)
        saveResults();
}

void CrawlDriver::haltLanes()
{
    for (auto& l : lanes_) {
        if (l->task)
            dropTask(*l);
        l->waiting = false;
        l->pageTimer->setEnabled(false);
        l->watchdog->setEnabled(false);
    }
}

void CrawlDriver::stopNow()
{
    counters_.stopRequested = true;
    haltLanes();
    if (running_)
        BitBtn1Click();
}

void CrawlDriver::navigateTo(Lane& lane, const AnsiString& address)
{
    lane.rule->reset();
    try {
        lane.browser->navigate(address);
    } catch (...) {
        // A failed navigation leaves the marker at 0; the wait bound or the
        // watchdog moves the search on.
    }
}

bool CrawlDriver::readTask(Task& task)
{
    for (;;) {
        if (urlList_.atEnd())
            return false;
        AnsiString address = urlList_.readAddress();
        const int32_t line = ++linesRead_;
        ++counters_.progressIndex;
        view_.setPanel(kPanelProgress, intToStr(counters_.progressIndex));
        view_.showProgress(counters_.progressIndex, counters_.urlTotal, address);
        const int shards = std::max(1, options_.shardCount);
        if ((line - 1) % shards != options_.shardIndex) {
            // Another machine's line: done here without a visit.
            Done d;
            d.report = false;
            d.record.line = line;
            complete(line, std::move(d));
            continue;
        }
        task = Task{};
        task.line = line;
        task.host = hostOf(address);
        task.address = std::move(address);
        return true;
    }
}

bool CrawlDriver::hostFree(const AnsiString& host) const
{
    if (options_.perHost > 0) {
        const auto it = inFlight_.find(host);
        if (it != inFlight_.end() && it->second >= options_.perHost)
            return false;
    }
    if (options_.hostDelayMs > 0) {
        const auto it = lastVisit_.find(host);
        if (it != lastVisit_.end() && nowMs() - it->second < options_.hostDelayMs)
            return false;
    }
    return true;
}

CrawlDriver::Take CrawlDriver::takeLine(Task& task)
{
    if (!lookahead())
        return readTask(task) ? Take::Got : Take::End;
    // A few lines ahead, so that a busy host does not hold up the others.
    const size_t limit = std::max<size_t>(8, 4 * lanes_.size());
    Task next;
    while (ahead_.size() < limit && readTask(next))
        ahead_.push_back(std::move(next));
    for (auto it = ahead_.begin(); it != ahead_.end(); ++it) {
        if (hostFree(it->host)) {
            task = std::move(*it);
            ahead_.erase(it);
            return Take::Got;
        }
    }
    return ahead_.empty() ? Take::End : Take::Wait;
}

bool CrawlDriver::listDone()
{
    return ahead_.empty() && urlList_.atEnd();
}

void CrawlDriver::startTask(Lane& lane, Task task)
{
    lane.waiting = false;
    task.startedMs = nowMs();
    ++lane.started;
    if (lookahead()) {
        ++inFlight_[task.host];
        lastVisit_[task.host] = task.startedMs;
    }
    *lane.waitTicks = 0;
    const bool web = isWebAddress(task.address);
    task.skipped = !web;
    const AnsiString address = task.address;
    lane.task = std::move(task);
    if (!web) {
        // Local files and scripts are not pages of the web: no navigation.
        lane.rule->reset();
        return;
    }
    if (options_.recycleAfter > 0 && lane.sinceRecycle >= options_.recycleAfter) {
        lane.browser->recycle();
        lane.sinceRecycle = 0;
    }
    ++lane.sinceRecycle;
    navigateTo(lane, address);
}

void CrawlDriver::Button1Click()
{
    bool finishing = false;
    advance(*lanes_[0], finishing);
}

void CrawlDriver::advance(Lane& lane, bool& finishing)
{
    if (listDone() || counters_.stopRequested) {
        // A page the watchdog leaves at the end of the list is done; one left
        // because of a stop is not, so a resume visits it again.
        if (lane.task) {
            if (counters_.stopRequested)
                dropTask(lane);
            else
                finishTask(lane, lane.task->readFailed ? PageOutcome::RenderFailure : PageOutcome::Timeout, false);
        }
        finishing = true;
        laneIdle(lane);
        return;
    }
    if (lane.task) {
        // The watchdog gives up on the page: done, without a scan.
        finishTask(lane, lane.task->readFailed ? PageOutcome::RenderFailure : PageOutcome::Timeout, false);
        if (!running_)
            return;
    }
    if (!assignNext(lane, &finishing))
        return;
    lane.pageTimer->setEnabled(true);
    // Setting the interval restarts the watchdog's period.
    lane.watchdog->setInterval(watchdogInterval());
}

void CrawlDriver::Timer1Timer()
{
    laneTick(*lanes_[0]);
}

void CrawlDriver::laneTick(Lane& lane)
{
    if (lane.waiting) {
        // Waiting for a host to become free: try again.
        if (assignNext(lane) && !lane.waiting)
            lane.watchdog->setInterval(watchdogInterval());
        return;
    }

    if (lane.task && (lane.task->skipped || lane.browser->loadResult() == LoadResult::RendererGone)) {
        // Nothing to wait for and nothing to read: on to the next line.
        lane.pageTimer->setEnabled(false);
        lane.pageTimer->setInterval(pageInterval());
        *lane.waitTicks = 0;
        finishTask(lane, lane.task->skipped ? PageOutcome::SkippedScheme : PageOutcome::RenderFailure, false);
        if (!running_)
            return;
        timer2_.setEnabled(view_.isChecked(Switch::Autosave));
        next(lane);
        return;
    }

    // Without a document no wait tick is counted; only the watchdog moves on.
    if (!lane.browser->hasDocument())
        return;

    lane.pageTimer->setEnabled(false);
    lane.pageTimer->setInterval(pageInterval());

    if (!lane.rule->complete() && *lane.waitTicks < maxWaitTicks()) {
        ++*lane.waitTicks;
        lane.pageTimer->setEnabled(true);
        return;
    }

    *lane.waitTicks = 0;
    if (lane.task) {
        PageOutcome outcome = PageOutcome::Timeout;
        if (lane.rule->complete())
            outcome = lane.browser->loadResult() == LoadResult::Failed ? PageOutcome::NavigationError
                                                                        : PageOutcome::Scanned;
        finishTask(lane, outcome, true); // a read error leaves here with the page timer off
        if (!running_)
            return;
    } else {
        ScanPage();
    }

    timer2_.setEnabled(view_.isChecked(Switch::Autosave));
    next(lane);
}

void CrawlDriver::next(Lane& lane)
{
    if (listDone() || counters_.stopRequested) {
        laneIdle(lane);
        return;
    }
    if (assignNext(lane))
        lane.pageTimer->setEnabled(true);
}

bool CrawlDriver::assignNext(Lane& lane, bool* finishing)
{
    Task task;
    switch (takeLine(task)) {
    case Take::End:
        if (finishing)
            *finishing = true;
        laneIdle(lane);
        return false;
    case Take::Wait:
        lane.waiting = true;
        return true;
    case Take::Got:
        startTask(lane, std::move(task));
        return true;
    }
    return true;
}

void CrawlDriver::laneIdle(Lane& lane)
{
    if (single()) {
        BitBtn1Click();
        return;
    }
    lane.waiting = false;
    lane.pageTimer->setEnabled(false);
    lane.watchdog->setEnabled(false);
    for (const auto& l : lanes_) {
        if (l->task || l->waiting)
            return;
    }
    if (running_)
        BitBtn1Click();
}

void CrawlDriver::Timer3Timer()
{
    laneWatchdog(*lanes_[0]);
}

void CrawlDriver::laneWatchdog(Lane& lane)
{
    if (laneProgress(lane) == *lane.watchdogMark) {
        bool finishing = false;
        advance(lane, finishing); // the current page is abandoned without a scan
    } else {
        *lane.watchdogMark = laneProgress(lane);
    }
}

void CrawlDriver::ScanPage()
{
    if (view_.isChecked(Switch::Links))
        harvester_.HarvestLinks();
    if (view_.isChecked(Switch::Fax))
        extractor_.ExtractFaxNumbers();
}

void CrawlDriver::releaseHost(const Task& task)
{
    const auto it = inFlight_.find(task.host);
    if (it != inFlight_.end() && --it->second <= 0)
        inFlight_.erase(it);
}

void CrawlDriver::dropTask(Lane& lane)
{
    releaseHost(*lane.task);
    lane.task.reset();
}

void CrawlDriver::finishTask(Lane& lane, PageOutcome outcome, bool scan)
{
    Task task = std::move(*lane.task);
    lane.task.reset();
    releaseHost(task);

    Done d;
    d.record.line = task.line;
    d.record.address = task.address;
    d.record.outcome = task.readFailed ? PageOutcome::RenderFailure : outcome;
    if (!task.skipped && outcome != PageOutcome::RenderFailure) {
        try {
            d.record.finalUrl = lane.browser->locationUrl();
        } catch (...) {
        }
    }

    std::exception_ptr readError;
    if (scan && single()) {
        // The window's way: straight into the lists; a read error goes to the
        // default handler after what was read before it has been added.
        const size_t faxBefore = fax_.size();
        const size_t linksBefore = links_.size();
        try {
            ScanPage();
        } catch (...) {
            readError = std::current_exception();
            d.record.outcome = PageOutcome::RenderFailure;
        }
        for (size_t i = faxBefore; i < fax_.size(); ++i)
            d.record.fax.push_back(fax_.at(i));
        d.record.links = static_cast<int32_t>(links_.size() - linksBefore);
    } else if (scan) {
        // Read now, added when every earlier line is done.
        try {
            if (view_.isChecked(Switch::Links))
                d.links = harvester_.collect(*lane.browser);
            if (view_.isChecked(Switch::Fax))
                d.fax = extractor_.collect(*lane.browser);
        } catch (...) {
            d.links.clear();
            d.fax.clear();
            d.record.outcome = PageOutcome::RenderFailure;
        }
    }
    d.record.ms = nowMs() - task.startedMs;
    const PageOutcome final = d.record.outcome;
    complete(task.line, std::move(d));
    checkRenderFailures(final);
    if (readError)
        std::rethrow_exception(readError);
}

void CrawlDriver::complete(int32_t line, Done done)
{
    done_[line] = std::move(done);
    flushDone();
}

void CrawlDriver::flushDone()
{
    while (!done_.empty() && done_.begin()->first == committed_ + 1) {
        Done d = std::move(done_.begin()->second);
        done_.erase(done_.begin());
        for (AnsiString& link : d.links) {
            harvester_.commit(std::move(link));
            ++d.record.links;
        }
        for (AnsiString& number : d.fax) {
            const AnsiString kept = number;
            if (extractor_.commit(std::move(number), d.record.finalUrl))
                d.record.fax.push_back(kept);
        }
        ++committed_;
        if (d.report) {
            if (d.record.outcome != PageOutcome::RenderFailure)
                failedRunStart_ = 0;
            else if (failedRunStart_ == 0)
                failedRunStart_ = committed_;
        }
        if (d.report && onPageDone)
            onPageDone(d.record);
    }
}

void CrawlDriver::checkRenderFailures(PageOutcome outcome)
{
    if (outcome == PageOutcome::Scanned || outcome == PageOutcome::NavigationError)
        renderFailuresInRow_ = 0;
    if (outcome != PageOutcome::RenderFailure)
        return;
    ++renderFailuresInRow_;
    if (renderFailuresInRow_ < options_.renderFailureLimit || !running_)
        return;
    // The browser no longer renders anything: a run of empty pages would be
    // reported as a search. Stop where the search is, saved, and say why.
    renderStop_ = true;
    // The pages that failed last added nothing: the resume point goes back
    // before them, so that a resume visits them again.
    if (failedRunStart_ > 0)
        committed_ = std::min(committed_, failedRunStart_ - 1);
    std::exception_ptr finishError;
    try {
        stopNow();
    } catch (...) {
        finishError = std::current_exception();
    }
    prompts_.message("连续" + std::to_string(renderFailuresInRow_) +
                     "个网页无法显示，浏览器已不能正常工作，搜索已停止。");
    if (finishError)
        std::rethrow_exception(finishError);
}

void CrawlDriver::BitBtn1Click()
{
    running_ = false;
    haltLanes();
    timer1_.setEnabled(false);
    timer2_.setEnabled(false);
    timer3_.setEnabled(false);

    std::exception_ptr closeError;
    try {
        urlList_.close();
    } catch (...) {
        closeError = std::current_exception();
    }

    // The window shows the search as ended even when the state cannot be
    // written; the write error is reported in preference to a close error,
    // since it means the resume point was not saved. With autosave on, the
    // result lists are written with the state.
    std::exception_ptr writeError;
    try {
        if (view_.isChecked(Switch::Autosave) && saveResults)
            saveResults();
        else
            writeSearchState();
    } catch (...) {
        writeError = std::current_exception();
    }

    view_.progressEnded();
    view_.setPanel(kPanelStatus, "搜索已经结束!");
    view_.repaint();
    view_.applyButtonSet(ButtonSet::Stopped);

    if (writeError)
        std::rethrow_exception(writeError);
    if (closeError)
        std::rethrow_exception(closeError);
}

void CrawlDriver::writeSearchState()
{
    SearchCounters saved = counters_;
    saved.progressIndex = position();
    vq::writeSearchState(programDir_, view_, saved);
    SearchRecord record = readSearchRecord(programDir_);
    if (record.state != counters_.searchId) {
        record.state = counters_.searchId;
        writeSearchRecord(programDir_, record);
    }
}

} // namespace vq
