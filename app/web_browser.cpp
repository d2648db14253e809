// The adapter's page and the life of its loads: navigate(), the page's load
// events and what they make of the current load, a fresh page on recycle()
// and the end of its renderer. The reads and the completion events are in
// web_snapshot.cpp.
#include "app/web_browser.h"

#include "app/qt_text.h"

#include "text/ansi.h"
#include "text/errors.h"

#include <QWebEngineDownloadRequest>
#include <QWebEngineLoadingInfo>
#include <QWebEngineProfile>

#include <utility>
#include <vector>

namespace vq {

namespace {

// A navigation that starts no load at all (the same address with the same
// #fragment again) is taken as complete after this long.
constexpr int kQuietMs = 5000;
// A completion snapshot that has not arrived after this long (a renderer
// that hangs in a script) no longer holds up DocumentComplete.
constexpr int kCompleteWaitMs = 10000;
constexpr int kDefaultRefreshMs = 500;
// A killed renderer, or a stopped load, whose end has not been reported after
// this long no longer holds up the next load.
constexpr int kRestartWaitMs = 2000;
constexpr int kMemoryCheckMs = 200;
// A page whose renderer has not answered a script call for this long when the
// crawl leaves it is stuck in a script of its own.
constexpr int kUnresponsiveMs = 3000;

// Ends of renderers the adapters have heard of so far.
std::uint64_t& renderersEnded()
{
    static std::uint64_t count = 0;
    return count;
}

} // namespace

// ---- the adapter -------------------------------------------------------------

WebEngineBrowser::WebEngineBrowser(QWebEnginePage* page, QObject* parent) : QObject(parent)
{
    if (!page) {
        ownProfile_ = new QWebEngineProfile(); // no storage name: off the record
        page = new QuietWebPage(ownProfile_);
        ownsPage_ = true;
    }
    init(page);
}

std::unique_ptr<WebEngineBrowser> WebEngineBrowser::onProfile(QWebEngineProfile* profile)
{
    auto browser = std::make_unique<WebEngineBrowser>(new QuietWebPage(profile));
    browser->ownsPage_ = true;
    return browser;
}

WebEngineBrowser::~WebEngineBrowser()
{
    // Nothing is reported any more: a page being deleted still answers its
    // outstanding script calls, and whoever listened may be gone already.
    onNavigateComplete2 = nullptr;
    onDocumentComplete = nullptr;
    onRendererGone = nullptr;
    std::erase(adapters(), this);
    ++generation_;
    stopLoadTimers();
    restartWait_.stop();
    memoryCheck_.stop();
    if (page_) {
        disconnect(page_, nullptr, this, nullptr);
        if (page_->profile())
            disconnect(page_->profile(), nullptr, this, nullptr);
    }
    // The pages go before their profile (the page unbinds itself from the view), or
    // WebEngine is left with a page on a profile that no longer exists.
    frameReader_.reset();
    if (ownsPage_)
        delete page_.data();
    delete ownProfile_;
}

void WebEngineBrowser::init(QWebEnginePage* page)
{
    page_ = page;
    shownUrl_ = page->url();
    adapters().push_back(this);
    if (ownProfile_) {
        ownProfile_->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
        // Bounded: a long crawl would otherwise keep every page it visited.
        ownProfile_->setHttpCacheMaximumSize(kHttpCacheBytes);
        ownProfile_->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
        ownProfile_->setSpellCheckEnabled(false);
    }

    refresh_.setInterval(kDefaultRefreshMs);
    connect(&refresh_, &QTimer::timeout, this, &WebEngineBrowser::onRefreshTick);
    quiet_.setSingleShot(true);
    quiet_.setInterval(kQuietMs);
    connect(&quiet_, &QTimer::timeout, this, &WebEngineBrowser::onQuiet);
    completeWait_.setSingleShot(true);
    completeWait_.setInterval(kCompleteWaitMs);
    connect(&completeWait_, &QTimer::timeout, this, [this] {
        if (frameReader_)
            frameReader_->cancel(); // what the page's own script read stands
        if (pictureReader_)
            pictureReader_->cancel(); // and its pictures go unread
        snap_.text = withoutPictureMarks(snap_.text);
        raiseDocumentComplete(load_);
    });
    frameWait_.setSingleShot(true);
    frameWait_.setInterval(kFrameWaitMs);
    connect(&frameWait_, &QTimer::timeout, this, [this] {
        if (page_ && completedLoad_ < load_ && frameWaitLoad_ == load_ && addressSeen_)
            complete();
    });
    restartWait_.setSingleShot(true);
    restartWait_.setInterval(kRestartWaitMs);
    connect(&restartWait_, &QTimer::timeout, this, [this] {
        restartPending_ = false;
        startLoad();
    });
    memoryCheck_.setInterval(kMemoryCheckMs);
    connect(&memoryCheck_, &QTimer::timeout, this, &WebEngineBrowser::checkMemory);

    // Downloads of this page are cancelled; with a profile of our own, all.
    connect(page->profile(), &QWebEngineProfile::downloadRequested, this,
            [this](QWebEngineDownloadRequest* d) {
                if (ownProfile_ || d->page() == page_.data())
                    d->cancel();
            }, Qt::DirectConnection);
    connectPage();
}

void WebEngineBrowser::connectPage()
{
    QWebEnginePage* page = page_;
    connect(page, &QWebEnginePage::loadingChanged, this, &WebEngineBrowser::onLoadingChanged);
    connect(page, &QWebEnginePage::urlChanged, this, &WebEngineBrowser::onUrlChanged);
    connect(page, &QWebEnginePage::renderProcessTerminated, this,
            &WebEngineBrowser::onRenderProcessTerminated);
    connect(page, &QWebEnginePage::renderProcessPidChanged, this, &WebEngineBrowser::noteRenderer);
    noteRenderer();
    refuseRequests();
}

void WebEngineBrowser::setUserAgent(const std::string& userAgent)
{
    if (!page_)
        return;
    // The profile is the lanes' own; its agent is what every page on it sends.
    // The profile keeps its own agent, as first seen, for every adapter on it.
    QWebEngineProfile* profile = page_->profile();
    static const char* const kOwn = "vqOwnUserAgent";
    if (!profile->property(kOwn).isValid())
        profile->setProperty(kOwn, profile->httpUserAgent());
    const QString wanted = userAgent.empty() ? profile->property(kOwn).toString() : QString::fromStdString(userAgent);
    if (profile->httpUserAgent() != wanted)
        profile->setHttpUserAgent(wanted);
}

void WebEngineBrowser::recycle()
{
    if (!ownsPage_ || !page_ || restartPending_)
        return;
    // Nothing the old page still reports may reach the new one.
    ++generation_;
    stopLoadTimers();
    unanswered_ = 0;
    QWebEnginePage* old = page_;
    disconnect(old, nullptr, this, nullptr);
    page_ = new QuietWebPage(old->profile()); // the profile may be shared with other lanes

    delete old;
    loading_ = false;
    state_ = LoadState::Idle;
    shownUrl_ = page_->url();
    snap_ = Snapshot{};
    completedLoad_ = load_;
    connectPage();
}

void WebEngineBrowser::onRenderProcessTerminated()
{
    ++renderersEnded();
    // The renderer ended for the page left before, reported only now: on a
    // busy machine its end may come after the next page has started in it.
    const bool endedForTheLast = killedPid_ > 0 && killedPid_ == rendererPid_;
    killedPid_ = 0;
    if (restartPending_) {
        // The renderer of a page the crawl left; the next page may load now.
        restartPending_ = false;
        restartWait_.stop();
        startLoad();
        return;
    }
    // What the snapshot shows is gone with the renderer, and the page will
    // not complete. It was this page's doing only if the renderer was its
    // alone.
    snap_ = Snapshot{false, {}, {}, {}};
    result_ = endedForTheLast || sharesRenderer() ? LoadResult::SharedRendererGone : LoadResult::RendererGone;
    unanswered_ = 0;
    httpStatus_ = 0;
    stopLoadTimers();
    loading_ = false;
    if (onRendererGone)
        onRendererGone();
}

void WebEngineBrowser::startLoad()
{
    if (!loadDeferred_ || !page_)
        return;
    loadDeferred_ = false;
    quiet_.start();
    page_->load(target_);
}

void WebEngineBrowser::setRefreshInterval(int ms)
{
    refresh_.setInterval(ms > 0 ? ms : kDefaultRefreshMs);
}

void WebEngineBrowser::navigate(const AnsiString& url)
{
    if (!page_)
        throw Exception("The browser page is gone");

    // A page left unfinished with its renderer stuck in a script (a call of
    // ours unanswered for long) would hand that renderer to the next page of
    // the same site, or to other pages sharing it: it is ended, and the next
    // page gets a fresh one. A page left waiting for its server, or still
    // loading with a renderer that answers, costs nothing to leave, and its
    // renderer may be rendering other pages too.
    const bool abandoned = state_ != LoadState::Idle && completedLoad_ < load_ && !rendererGone(result_);
    const bool stuck = abandoned && unanswered_ > 0 && asked_.elapsed() >= kUnresponsiveMs;
    unanswered_ = 0;
    // A page of our own left loading is replaced by a fresh one (its
    // renderer stays for whatever else it renders): loaded over a stop still
    // under way, the next address may never start.
    if (loading_ && !stuck)
        recycle();

    // A new address: nothing of the old page may be reported or read for it.
    ++generation_;
    beginLoad(LoadState::Requested);
    refresh_.stop();
    target_ = QUrl::fromUserInput(toQString(url));
    snap_ = Snapshot{true, target_.toString(QUrl::FullyEncoded), {}, {}};
    result_ = LoadResult::Pending;
    httpStatus_ = 0;
    proxyFailed_ = false;
    endedAtNavigate_ = renderersEnded();

    // A load still running (a server that never answers) is stopped first:
    // otherwise WebEngine merges it with the next one and reports neither
    // start nor end properly. Its end, when it comes, is dropped.
    stopEndDue_ = false;
    if (loading_) {
        page_->triggerAction(QWebEnginePage::Stop);
        stopEndDue_ = true;
    }
    if (stuck && !restartPending_)
        killRenderer();
    loadDeferred_ = true;
    if (restartPending_)
        return; // the load starts once the renderer's end is reported
    if (stopEndDue_) {
        // Loaded at once over a stop still under way, a page of the same
        // site may never start; it starts once the stop has ended.
        restartWait_.start();
        return;
    }
    startLoad();
}

bool WebEngineBrowser::hasDocument()
{
    return state_ != LoadState::Idle && !page_.isNull();
}

bool WebEngineBrowser::answered()
{
    return state_ == LoadState::Committed || result_ != LoadResult::Pending;
}

void WebEngineBrowser::beginLoad(LoadState state)
{
    ++load_;
    state_ = state;
    addressSeen_ = false;
    refreshInFlight_ = false;
    stopCompletion();
}

void WebEngineBrowser::stopLoadTimers()
{
    refresh_.stop();
    quiet_.stop();
    stopCompletion();
}

void WebEngineBrowser::stopCompletion()
{
    completeWait_.stop();
    frameWait_.stop();
    if (frameReader_)
        frameReader_->cancel();
    if (pictureReader_)
        pictureReader_->cancel();
    pictureLines_.clear();
}

// ---- page events -------------------------------------------------------------

// What WebEngine reports of a top-level load, as measured on 6.4:
//  - loadStarted comes before the new document is there; until then scripts
//    still see the previous document and url() is still the old address;
//  - urlChanged comes when the new document commits, or, when load() is
//    called while another load runs, at once with the address asked for;
//  - a load stopped by navigate() may report its end after the next load's
//    urlChanged, and a load stopped after its document arrived may report
//    no end at all: the next load then reports its end but not its start.
void WebEngineBrowser::onLoadingChanged(const QWebEngineLoadingInfo& info)
{
    noteRenderer();
    if (info.status() == QWebEngineLoadingInfo::LoadStartedStatus) {
        loading_ = true;
        onLoadStarted();
        return;
    }
    loading_ = false;
    if (state_ == LoadState::Idle)
        return;
    if (state_ == LoadState::Requested) {
        // An end before this navigation's start is the end of the load that
        // navigate() stopped, unless the two loads were merged into one: then
        // it is this navigation's end and carries its address. When the
        // stopped load had the same address (a page tried again), the first
        // such end is the stopped load's.
        const bool stale = std::exchange(stopEndDue_, false);
        if (stale && loadDeferred_ && !restartPending_) {
            restartWait_.stop();
            startLoad();
            return;
        }
        if (!info.url().matches(target_, QUrl::StripTrailingSlash) || stale)
            return;
        state_ = LoadState::Started;
    }
    onLoadEnded(info);
}

void WebEngineBrowser::onLoadStarted()
{
    quiet_.stop();
    stopEndDue_ = false;
    if (state_ == LoadState::Idle)
        return;
    if (state_ == LoadState::Requested)
        state_ = LoadState::Started;
    else
        // A further load without navigate(): a meta refresh, a script or a
        // click sending the page elsewhere. It is a navigation of its own.
        beginLoad(LoadState::Started);
}

void WebEngineBrowser::onUrlChanged(const QUrl& url)
{
    const QUrl previous = shownUrl_;
    shownUrl_ = url;
    if (state_ == LoadState::Idle)
        return;
    quiet_.stop();
    if (loading_) {
        // From here on the page's address is the new one, so a refresh that
        // still reads the previous document is recognised by its address.
        addressSeen_ = true;
        if (state_ != LoadState::Requested && !reportNavigateComplete(LoadState::Committed))
            return;
        if (!refresh_.isActive())
            refresh_.start();
        return;
    }
    // An address change without a load: a navigation within the document
    // (#fragment). No load will end it, so it completes here.
    if (!url.matches(previous, QUrl::RemoveFragment))
        return;
    beginLoad(LoadState::Started);
    addressSeen_ = true;
    if (reportNavigateComplete(LoadState::Committed))
        complete();
}

void WebEngineBrowser::onLoadEnded(const QWebEngineLoadingInfo& info)
{
    refresh_.stop();
    if (!rendererGone(result_)) {
        // A load stopped before its document came is a download, or, when
        // a renderer ended meanwhile, most likely a navigation given up
        // because the process it was to commit in ended under it.
        const bool stoppedEmpty =
            info.status() == QWebEngineLoadingInfo::LoadStoppedStatus && state_ != LoadState::Committed;
        const bool failed = info.status() == QWebEngineLoadingInfo::LoadFailedStatus ||
                            (stoppedEmpty && renderersEnded() != endedAtNavigate_);
        result_ = failed ? LoadResult::Failed : LoadResult::Succeeded;
        // An HTTP error answer names its status; a document that arrived
        // over HTTP had a 2xx answer, and a failure of any other kind had none.
        const bool http = info.url().scheme() == QLatin1String("http") || info.url().scheme() == QLatin1String("https");
        // Chromium's errors of a proxy: -111 tunnel, -115/-127 its log-in,
        // -120/-121 SOCKS, -130 refused or unreachable, -131 its configuration.
        const int code = info.errorCode();
        proxyFailed_ = failed && info.errorDomain() == QWebEngineLoadingInfo::ConnectionErrorDomain &&
                       (code == -111 || code == -115 || code == -120 || code == -121 || code == -127 ||
                        code == -130 || code == -131);
        if (info.errorDomain() == QWebEngineLoadingInfo::HttpStatusCodeDomain)
            httpStatus_ = info.errorCode();
        else
            httpStatus_ = !failed && http && info.status() == QWebEngineLoadingInfo::LoadSucceededStatus ? 200 : 0;
    }
    if (!reportNavigateComplete(LoadState::Ended))
        return;
    // Stopped before its document arrived (a download, a stop): the page
    // still shows the previous document, which is not this address's; the
    // empty page set up by navigate() stays.
    if (info.status() == QWebEngineLoadingInfo::LoadStoppedStatus && state_ != LoadState::Committed) {
        raiseDocumentComplete(load_);
        return;
    }
    complete();
}

void WebEngineBrowser::onQuiet()
{
    // navigate() started nothing. For the very address and fragment shown
    // the document shown is the page. Otherwise the empty page set up by
    // navigate() stays, and the load counts as failed without an answer:
    // WebEngine would not load the address, or, on a machine too busy, has
    // not even begun to; either way nothing of the page was read.
    if (state_ != LoadState::Requested || !page_)
        return;
    const bool shown = page_->url() == target_;
    if (!shown && !rendererGone(result_)) {
        result_ = LoadResult::Failed;
        httpStatus_ = 0;
    }
    if (!reportNavigateComplete(LoadState::Committed))
        return;
    if (shown)
        complete();
    else
        raiseDocumentComplete(load_);
}

} // namespace vq
