#include "search/search_session.h"

#include "search/saved_results.h"
#include "text/errors.h"
#include "text/paths.h"

#include <algorithm>
#include <exception>
#include <string>

namespace vq {

namespace {

// Whether a file (not a directory) exists at the list path.
bool listFileExists(const AnsiString& ansiPath)
{
    return !ansiPath.empty() && fileExists(ansiToPath(ansiPath));
}

constexpr const char* kOffline = "您还没有连接到网上！";
constexpr const char* kSearchEnded = "搜索已经结束!";

} // namespace

SearchSession::SearchSession(Prompts& prompts, HostLookup& host, Timer& autosave, SearchResults& results,
                             std::filesystem::path programDir)
    : prompts_(prompts), host_(host), autosave_(autosave), results_(results),
      programDir_(std::move(programDir)), lanes_(prompts, list_, *this)
{
    autosave_.onTimer = [this] { guarded(prompts_, [this] { autosaveTick(); }); };
}

SearchProgress SearchSession::progress() const
{
    SearchProgress p;
    p.line = lanes_.linesRead();
    p.position = position();
    p.total = stored_.urlTotal;
    p.links = static_cast<int32_t>(results_.links.size());
    p.fax = static_cast<int32_t>(results_.fax.size());
    p.busyLanes = lanes_.busyLanes();
    p.lanes = lanes_.usedLanes();
    const int64_t ms = lanes_.nowMs() - startedMs_;
    p.pagesPerSecond = ms > 0 ? pagesDone_ * 1000.0 / ms : 0;
    p.address = lastAddress_;
    if (onFrontier()) {
        const FrontierCounts c = frontier_->counts();
        p.frontier = true;
        p.position = static_cast<int32_t>(c.done); // what the frontier holds as done
        p.links = static_cast<int32_t>(c.links);
        p.fax = static_cast<int32_t>(c.fax);
        p.queued = c.queued;
        p.depthReached = c.depthReached;
    }
    return p;
}

StoredSearch SearchSession::storedState() const
{
    const LiveSettings live = settings_.current();
    StoredSearch s;
    s.listPath = settings_.listPath;
    s.position = stored_;
    s.dedup = settings_.dedup;
    s.links = live.links;
    s.fax = live.fax;
    s.filter = settings_.filter;
    s.site = settings_.site;
    s.autosave = live.autosave;
    s.speed = live.speed;
    return s;
}

// ---- starting --------------------------------------------------------------------

bool SearchSession::start(const SearchSettings& settings)
{
    // The refusals come first and touch nothing.
    if (!settings.links && !settings.fax) {
        prompts_.message("请至少选择一个搜索项目才可以开始");
        return false;
    }
    if (!listFileExists(settings.listPath)) {
        prompts_.information("您还没有选择网址列表文件！");
        return false;
    }
    if (host_.localAddress() == "127.0.0.1") {
        prompts_.information(kOffline);
        return false;
    }
    // A new search empties the lists: results not yet in any file are not
    // thrown away without asking.
    if ((results_.links.hasUnsaved() || results_.fax.hasUnsaved()) &&
        !prompts_.confirm("当前有尚未保存的搜索结果，开始新的搜索将清空结果列表。\n确认开始新的搜索吗?"))
        return false;

    results_.clear();
    results_.searchId = newSearchId();
    stored_.progressIndex = 0;
    if (settings.frontier.on && !frontier_)
        throw Exception("a crawl on a frontier needs its frontier");
    lanes_.useSource(settings.frontier.on ? static_cast<LineSource&>(*frontier_) : list_);
    begin(settings, 0);
    observer_->status("正在搜索...");

    try {
        if (!onFrontier())
            list_.open(settings.listPath);
    } catch (...) {
        // Nothing was read: leave the search ended instead of one that only
        // the watchdog would end, then report.
        ended();
        observer_->status(kSearchEnded);
        observer_->finished({SearchEnd::Stopped, position(), {}});
        throw;
    }
    // A failed first advance is left to the watchdog. A failed finish (an
    // empty list whose state cannot be written) is raised, since the search
    // is already shown as ended.
    lanes_.firstAdvance();
    return true;
}

void SearchSession::begin(const SearchSettings& settings, int32_t linesDone)
{
    settings_ = settings;
    running_ = true;
    storeFailed_ = false;
    end_ = SearchEnd::Completed;
    pagesDone_ = 0;
    lastAddress_.clear();
    lanes_.begin(settings_, linesDone);
    startedMs_ = lanes_.nowMs();
    observer_->started(progress());
    if (settings_.current().autosave)
        autosave_.setEnabled(true);
}

void SearchSession::ended()
{
    running_ = false;
    lanes_.halt();
    autosave_.setEnabled(false);
    try {
        list_.close(); // a list still open from a search that was stopping
    } catch (...) {
        // The first error is the one worth reporting.
    }
}

bool SearchSession::resumable(const AnsiString& listPath)
{
    if (!listFileExists(listPath)) {
        prompts_.information("网址列表文件不存在！");
        return false;
    }
    if (host_.localAddress() == "127.0.0.1") {
        prompts_.information(kOffline);
        return false;
    }
    return true;
}

SearchSession::Resumed SearchSession::resume(const SearchSettings& settings, int32_t linesDone)
{
    // The number is the count of lines done: n >= 1 skips n lines, so the first
    // page visited is line n + 1; 0 or less skips nothing.
    stored_.progressIndex = std::max<int32_t>(linesDone, 0);
    if (settings.frontier.on) {
        // The frontier holds the results and what is left to do.
        if (!frontier_)
            throw Exception("a crawl on a frontier needs its frontier");
        settings_ = settings;
        if (results_.searchId.empty())
            results_.searchId = readSearchRecord(programDir_).state;
        if (results_.searchId.empty())
            results_.searchId = newSearchId();
        lanes_.useSource(*frontier_);
        if (frontier_->exhausted()) {
            observer_->status("网址列表搜索完毕...");
            observer_->finished({SearchEnd::Completed, position(), {}});
            return Resumed::AtEnd;
        }
        begin(settings, stored_.progressIndex);
        observer_->status("继续搜索...");
        lanes_.firstAdvance();
        return Resumed::Running;
    }
    lanes_.useSource(list_);
    try {
        takeBackResults();
        list_.open(settings.listPath);
        for (int32_t skipped = 0; skipped < stored_.progressIndex && !list_.atEnd(); ++skipped)
            list_.readLine();
        if (list_.atEnd()) {
            list_.close();
            observer_->status("网址列表搜索完毕...");
            observer_->finished({SearchEnd::Completed, position(), {}});
            return Resumed::AtEnd;
        }
    } catch (...) {
        ended();
        observer_->progress(progress());
        observer_->status("取消继续搜索...");
        observer_->finished({SearchEnd::Stopped, position(), {}});
        throw;
    }
    begin(settings, stored_.progressIndex);
    observer_->status("继续搜索...");
    lanes_.firstAdvance();
    return Resumed::Running;
}

void SearchSession::takeBackResults()
{
    const SearchRecord record = readSearchRecord(programDir_);
    if (results_.searchId.empty() || results_.searchId != record.state) {
        results_.clear();
        restoreSavedResults(programDir_, record, results_.links, results_.fax);
        results_.searchId = record.state.empty() ? newSearchId() : record.state;
    }
    observer_->progress(progress());
}

// ---- stopping and the end ---------------------------------------------------------

void SearchSession::stop()
{
    lanes_.requestStop();
    if (running_)
        end_ = SearchEnd::Stopped;
    observer_->status("终止搜索...");
    // What was found so far is on disk before the current page ends.
    if (settings_.current().autosave && saveResults)
        saveResults();
}

void SearchSession::stopNow()
{
    lanes_.requestStop();
    lanes_.halt();
    if (running_) {
        if (end_ == SearchEnd::Completed)
            end_ = SearchEnd::Stopped;
        finish();
    }
}

void SearchSession::finish()
{
    if (running_ && !storeFailed_)
        stored_.progressIndex = lanes_.position();
    running_ = false;
    lanes_.halt();
    autosave_.setEnabled(false);

    std::exception_ptr closeError;
    try {
        list_.close();
    } catch (...) {
        closeError = std::current_exception();
    }

    // The search ends even when the state cannot be written; the write error
    // is reported in preference to a close error, since it means the resume
    // point was not saved. With autosave on, the result lists go with it.
    std::exception_ptr writeError;
    std::string error;
    try {
        if (settings_.current().autosave)
            saveResults ? saveResults() : saveProgress();
        else
            writeState();
    } catch (const std::exception& e) {
        writeError = std::current_exception();
        error = e.what();
    }

    observer_->progress(progress());
    observer_->status(kSearchEnded);
    observer_->finished({end_, position(), error});

    if (writeError)
        std::rethrow_exception(writeError);
    if (closeError)
        std::rethrow_exception(closeError);
}

void SearchSession::writeState()
{
    writeStateOf(programDir_, storedState(), results_.searchId);
}

void SearchSession::saveProgress()
{
    if (onFrontier())
        saveFrontierSearch();
    else
        saveSearch(programDir_, storedState(), results_);
}

void SearchSession::saveFrontierSearch()
{
    // As saveSearch(): the writes are independent, the first failure raised.
    std::exception_ptr firstError;
    try {
        writeStateOf(programDir_, storedState(), results_.searchId);
    } catch (...) {
        firstError = std::current_exception();
    }
    try {
        const Frontier::Written written = frontier_->writeResultFiles(programDir_);
        recordResultFilesOf(programDir_, results_.searchId, written.links, written.fax);
    } catch (...) {
        if (!firstError)
            firstError = std::current_exception();
    }
    if (firstError)
        std::rethrow_exception(firstError);
}

void SearchSession::autosaveTick()
{
    // A failing save leaves the timer off; the next page switches it on again
    // when autosave is on.
    autosave_.setEnabled(false);
    saveResults ? saveResults() : saveProgress();
    if (settings_.current().autosave)
        autosave_.setEnabled(true);
}

// ---- what the lanes report ----------------------------------------------------------

void SearchSession::lineRead(int32_t, const AnsiString& address)
{
    lastAddress_ = address;
    observer_->progress(progress());
}

void SearchSession::commitToFrontier(PageResult& page)
{
    if (storeFailed_)
        return; // stopping: the page stays to do
    try {
        frontier_->commit(page, settings_.dedup);
    } catch (const std::exception& e) {
        // Nothing more can be written: stop with what is committed, which a
        // resume goes on from.
        storeFailed_ = true;
        end_ = SearchEnd::Stopped;
        lanes_.requestStop();
        prompts_.error(e.what());
    }
}

void SearchSession::commit(PageResult& page)
{
    if (onFrontier()) {
        commitToFrontier(page);
        // Pages that could not be written are not done: the count stays at
        // what the frontier holds.
        if (!storeFailed_) {
            stored_.progressIndex = lanes_.position();
            if (page.report) {
                ++pagesDone_;
                observer_->pageDone(page.record);
            }
        }
        observer_->progress(progress());
        return;
    }
    for (AnsiString& link : page.links) {
        results_.addLink(std::move(link));
        ++page.record.links;
    }
    for (AnsiString& number : page.fax) {
        const AnsiString kept = number;
        if (results_.addFax(std::move(number), page.record.finalUrl, settings_.dedup))
            page.record.fax.push_back(kept);
    }
    stored_.progressIndex = lanes_.position();
    if (page.report) {
        ++pagesDone_;
        observer_->pageDone(page.record);
    }
    observer_->progress(progress());
}

void SearchSession::pageTicked()
{
    autosave_.setEnabled(settings_.current().autosave);
}

void SearchSession::lanesIdle()
{
    finish();
}

void SearchSession::renderFailuresInRow(int count)
{
    // The browser no longer renders anything: stop where the search is, saved,
    // and say why.
    end_ = SearchEnd::RenderFailures;
    std::exception_ptr finishError;
    try {
        stopNow();
    } catch (...) {
        finishError = std::current_exception();
    }
    prompts_.message("连续" + std::to_string(count) + "个网页无法显示，浏览器已不能正常工作，搜索已停止。");
    if (finishError)
        std::rethrow_exception(finishError);
}

} // namespace vq
