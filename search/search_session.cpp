#include "search/search_session.h"

#include "search/saved_results.h"
#include "text/ansi.h"
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

constexpr const char* kSearchEnded = "搜索已经结束!";

// Follows the page's address in "vqorigins.txt" for a number read from a picture.
const AnsiString kPictureOrigin = " (" + utf8ToAnsi("图片") + ")";

bool fromPicture(const PageResult& page, const AnsiString& number)
{
    return std::find(page.pictureFax.begin(), page.pictureFax.end(), number) != page.pictureFax.end();
}

// Runs a save between the observer's two saving() events.
template <class F>
void announcedSave(SearchObserver& observer, F&& save)
{
    observer.saving(true);
    try {
        save();
    } catch (...) {
        observer.saving(false);
        throw;
    }
    observer.saving(false);
}

} // namespace

SearchSession::SearchSession(HostLookup& host, Timer& autosave, SearchResults& results,
                             std::filesystem::path programDir)
    : host_(host), autosave_(autosave), results_(results), programDir_(std::move(programDir)),
      lanes_(list_, *this)
{
    autosave_.onTimer = [this] {
        try {
            autosaveTick();
        } catch (const std::exception& e) {
            observer_->stepFailed(e);
        }
    };
    setupListener_ = setup_.listen([this](const SearchSetup::Change& c) {
        const bool live = c.field == SearchSetup::Field::Speed ||
                          (c.field == SearchSetup::Field::Switch &&
                           (c.which == Switch::Links || c.which == Switch::Fax || c.which == Switch::Autosave));
        if (live && running_)
            liveChanged();
    });
}

SearchSession::~SearchSession()
{
    autosave_.onTimer = nullptr;
    setup_.unlisten(setupListener_);
}

void SearchSession::liveChanged()
{
    settings_.apply(liveOf(setup_));
    lanes_.setLive(settings_.current());
}

SearchProgress SearchSession::progress() const
{
    SearchProgress p;
    p.line = lanes_.linesRead();
    p.position = position();
    p.total = setup_.position().urlTotal;
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

// ---- starting --------------------------------------------------------------------

SearchSession::Answer SearchSession::checkCanGo(bool resuming)
{
    if (!listFileExists(setup_.listPath()))
        return resuming ? Answer::ListMissing : Answer::NoListFile;
    if (setup_.netCheck() && host_.localAddress() == "127.0.0.1")
        return Answer::Offline;
    return Answer::Running;
}

SearchSession::Answer SearchSession::startable(bool discardUnsaved)
{
    if (!setup_.isChecked(Switch::Links) && !setup_.isChecked(Switch::Fax))
        return Answer::NoSearchItem;
    if (const Answer a = checkCanGo(false); refused(a))
        return a;
    // A new search empties the lists: results not yet in any file are not
    // thrown away unless the front end says so.
    if (hasUnsavedResults() && !discardUnsaved)
        return Answer::UnsavedResults;
    return Answer::Running;
}

SearchSession::Answer SearchSession::start(bool discardUnsaved)
{
    // The refusals come first and touch nothing.
    if (const Answer a = startable(discardUnsaved); refused(a))
        return a;

    const SearchSettings settings = settingsOf(setup_);
    if (settings.frontier.on && !frontier_)
        throw Exception("a crawl on a frontier needs its frontier");
    results_.clear();
    results_.searchId = newSearchId();
    setup_.setProgressIndex(0);
    // On a frontier, the state names the search at once: after a crash the
    // frontier holds what was done, and "继续" needs the list and switches.
    if (settings.frontier.on)
        writeState();
    lanes_.useSource(settings.frontier.on ? static_cast<LineSource&>(*frontier_) : list_);
    settings_ = settings;
    begin(0);
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
    return Answer::Running;
}

void SearchSession::begin(int32_t linesDone)
{
    running_ = true;
    storeFailed_ = false;
    end_ = SearchEnd::Completed;
    pagesDone_ = 0;
    lastAddress_.clear();
    lanes_.begin(settings_, linesDone);
    // robots.txt, each fetched once per crawl: the lanes wait for an
    // origin's before its first page, and the frontier leaves out the links
    // it forbids.
    robots_.reset();
    if (settings_.robots && robotsFetcher_)
        robots_ = std::make_unique<RobotsPolicy>(*robotsFetcher_, settings_.userAgent);
    lanes_.setRobots(robots_.get());
    if (frontier_)
        frontier_->setRobots(robots_.get());
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

SearchSession::Answer SearchSession::resumable()
{
    return checkCanGo(true);
}

SearchSession::Answer SearchSession::resume(int32_t linesDone)
{
    if (const Answer a = resumable(); refused(a))
        return a;
    const SearchSettings settings = settingsOf(setup_);
    // The number is the count of lines done: n >= 1 skips n lines, so the first
    // page visited is line n + 1; 0 or less skips nothing.
    setup_.setProgressIndex(std::max<int32_t>(linesDone, 0));
    settings_ = settings;
    if (settings.frontier.on) {
        // The frontier holds the results and what is left to do.
        if (!frontier_)
            throw Exception("a crawl on a frontier needs its frontier");
        if (results_.searchId.empty())
            results_.searchId = readSearchRecord(programDir_).state;
        if (results_.searchId.empty())
            results_.searchId = newSearchId();
        if (listsFollowFrontier_) {
            results_.clear();
            frontier_->fillResults(results_);
        }
        lanes_.useSource(*frontier_);
        if (frontier_->exhausted()) {
            observer_->status("网址列表搜索完毕...");
            observer_->finished({SearchEnd::Completed, position(), {}});
            return Answer::AtEnd;
        }
        begin(position());
        observer_->status("继续搜索...");
        lanes_.firstAdvance();
        return Answer::Running;
    }
    lanes_.useSource(list_);
    try {
        takeBackResults();
        list_.open(settings.listPath);
        for (int32_t skipped = 0; skipped < position() && !list_.atEnd(); ++skipped)
            list_.readLine();
        if (list_.atEnd()) {
            list_.close();
            observer_->status("网址列表搜索完毕...");
            observer_->finished({SearchEnd::Completed, position(), {}});
            return Answer::AtEnd;
        }
    } catch (...) {
        ended();
        observer_->progress(progress());
        observer_->status("取消继续搜索...");
        observer_->finished({SearchEnd::Stopped, position(), {}});
        throw;
    }
    begin(position());
    observer_->status("继续搜索...");
    lanes_.firstAdvance();
    return Answer::Running;
}

void SearchSession::takeBackResults()
{
    const SearchRecord record = readSearchRecord(programDir_);
    if (results_.searchId.empty() || results_.searchId != record.state) {
        results_.clear();
        restoreSavedResults(programDir_, record, results_, position());
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
    if (settings_.current().autosave)
        saveProgress();
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
        setup_.setProgressIndex(lanes_.position());
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
        // A frontier's result files are written at its end whatever autosave
        // says: they are what its database holds, and cost no results.
        if (settings_.current().autosave || onFrontier())
            saveProgress();
        else
            writeState();
    } catch (const std::exception& e) {
        writeError = std::current_exception();
        error = e.what();
    }

    observer_->progress(progress());
    observer_->status(kSearchEnded);
    observer_->finished({end_, position(), error, end_ == SearchEnd::RenderFailures ? renderFailures_ : 0,
                         end_ == SearchEnd::ProxyFailures ? proxyFailures_ : 0});

    if (writeError)
        std::rethrow_exception(writeError);
    if (closeError)
        std::rethrow_exception(closeError);
}

void SearchSession::writeState()
{
    const int32_t at = position();
    writeStateOf(programDir_, storedOf(setup_), results_.searchId);
    savedPosition_ = at;
}

void SearchSession::saveProgress()
{
    saveFailed_ = true;
    const int32_t at = position();
    announcedSave(*observer_, [this] {
        if (onFrontier())
            saveFrontierSearch();
        else
            saveSearch(programDir_, storedOf(setup_), results_);
    });
    saveFailed_ = false;
    savedPosition_ = at;
}

void SearchSession::saveFrontierSearch()
{
    // The result files first, the state last: the frontier's database keeps
    // every result whatever happens to the files, and the next save writes them.
    const Frontier::Written written = frontier_->writeResultFiles(programDir_);
    recordResultFilesOf(programDir_, results_.searchId, written.links, written.fax);
    writeStateOf(programDir_, storedOf(setup_), results_.searchId);
    // The lists that follow the frontier are what its files now hold.
    results_.links.markSaved();
    results_.fax.markSaved();
}

void SearchSession::autosaveTick()
{
    // A failing save leaves the timer off; the next page switches it on again
    // when autosave is on.
    autosave_.setEnabled(false);
    saveProgress();
    if (setup_.isChecked(Switch::Autosave))
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
        observer_->stepFailed(e);
    }
}

void SearchSession::commit(PageResult& page)
{
    if (onFrontier()) {
        commitToFrontier(page);
        // Pages that could not be written are not done: the count stays at
        // what the frontier holds.
        if (!storeFailed_) {
            for (const AnsiString& number : page.record.fax)
                if (fromPicture(page, number))
                    page.record.ocr.push_back(number);
            if (listsFollowFrontier_) {
                for (AnsiString& link : page.links)
                    results_.addLink(std::move(link));
                for (const AnsiString& number : page.record.fax)
                    results_.fax.append(number, page.record.finalUrl);
            }
            setup_.setProgressIndex(lanes_.position());
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
        const bool picture = fromPicture(page, kept);
        // A number read from a picture says so where it was found.
        AnsiString origin = picture ? page.record.finalUrl + kPictureOrigin : page.record.finalUrl;
        if (results_.addFax(std::move(number), std::move(origin), settings_.dedup)) {
            page.record.fax.push_back(kept);
            if (picture)
                page.record.ocr.push_back(kept);
        }
    }
    setup_.setProgressIndex(lanes_.position());
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

void SearchSession::proxyFailuresInRow(int count)
{
    // The proxy is gone: stop with what is done (the pages in flight end
    // first), saved, and say why.
    end_ = SearchEnd::ProxyFailures;
    proxyFailures_ = count;
    lanes_.requestStop();
}

void SearchSession::renderFailuresInRow(int count)
{
    // The browser no longer renders anything: stop where the search is, saved,
    // and say why.
    end_ = SearchEnd::RenderFailures;
    renderFailures_ = count;
    stopNow();
}

} // namespace vq
