#include "app/web_browser.h"

#include "text/ansi.h"
#include "text/errors.h"

#include <QVariantMap>
#include <QWebEngineDownloadRequest>
#include <QWebEngineLoadingInfo>
#include <QWebEngineProfile>
#include <QWebEngineScript>

#include <algorithm>
#include <string_view>
#include <vector>
#include <utility>

namespace vq {

namespace {

// One call reads all the page offers to the scanners. It runs in the
// application's own script world, so the page's scripts cannot tamper with
// the built-ins it uses. A document without body or links collection (plain
// XML, an image) yields empty results rather than an error.
const QString kSnapshotScript = QStringLiteral(R"JS(
(function () {
  var r = { href: String(location.href), links: [], text: '' };
  try {
    if (document.links)
      r.links = Array.from(document.links, function (a) { return String(a.href); });
  } catch (e) {}
  try {
    if (document.body)
      r.text = String(document.body.outerText);
  } catch (e) {}
  r.sinceLoad = -1;
  r.scripts = 0;
  r.settled = window.vqSettled === true;
  try {
    var n = performance.getEntriesByType('navigation')[0];
    if (n && n.loadEventEnd > 0)
      r.sinceLoad = performance.now() - n.loadEventEnd;
    r.scripts = document.scripts.length;
  } catch (e) {}
  return r;
})()
)JS");

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
// A settle whose mark in the page has not come yet is read again this much later.
constexpr int kSettlePollMs = 100;
// A page whose renderer has not answered a script call for this long when the
// crawl leaves it is stuck in a script of its own.
constexpr int kUnresponsiveMs = 3000;

// Ends of renderers the adapters have heard of so far.
std::uint64_t& renderersEnded()
{
    static std::uint64_t count = 0;
    return count;
}


AnsiString toAnsiText(const QString& s)
{
    return utf16ToAnsi(std::u16string_view(reinterpret_cast<const char16_t*>(s.utf16()),
                                           static_cast<size_t>(s.size())));
}

QString fromAnsiText(const AnsiString& s)
{
    const std::u16string wide = ansiToUtf16(s);
    return QString::fromStdU16String(wide);
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
    refresh_.stop();
    quiet_.stop();
    completeWait_.stop();
    restartWait_.stop();
    memoryCheck_.stop();
    if (page_) {
        disconnect(page_, nullptr, this, nullptr);
        if (page_->profile())
            disconnect(page_->profile(), nullptr, this, nullptr);
    }
    // The page goes before its profile (it unbinds itself from the view), or
    // WebEngine is left with a page on a profile that no longer exists.
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
    connect(&completeWait_, &QTimer::timeout, this, [this] { raiseDocumentComplete(load_); });
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

void WebEngineBrowser::recycle()
{
    if (!ownsPage_ || !page_ || restartPending_)
        return;
    // Nothing the old page still reports may reach the new one.
    ++generation_;
    refresh_.stop();
    quiet_.stop();
    completeWait_.stop();
    unanswered_ = 0;
    QWebEnginePage* old = page_;
    disconnect(old, nullptr, this, nullptr);
    page_ = new QuietWebPage(old->profile()); // the profile may be shared with other lanes

    delete old;
    loading_ = false;
    navigated_ = false;
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
    refresh_.stop();
    quiet_.stop();
    completeWait_.stop();
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
    const bool abandoned = navigated_ && completedLoad_ < load_ && !rendererGone(result_);
    const bool stuck = abandoned && unanswered_ > 0 && asked_.elapsed() >= kUnresponsiveMs;
    unanswered_ = 0;
    // A page of our own left loading is replaced by a fresh one (its
    // renderer stays for whatever else it renders): loaded over a stop still
    // under way, the next address may never start.
    if (loading_ && !stuck)
        recycle();

    // A new address: nothing of the old page may be reported or read for it.
    ++generation_;
    ++load_;
    navigated_ = true;
    started_ = false;
    committed_ = false;
    reported_ = false;
    addressSeen_ = false;
    refreshInFlight_ = false;
    refresh_.stop();
    completeWait_.stop();
    target_ = QUrl::fromUserInput(fromAnsiText(url));
    snap_ = Snapshot{true, target_.toString(QUrl::FullyEncoded), {}, {}};
    result_ = LoadResult::Pending;
    httpStatus_ = 0;
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
    return navigated_ && !page_.isNull();
}

const WebEngineBrowser::Snapshot& WebEngineBrowser::readable() const
{
    if (!page_)
        throw Exception("The browser page is gone");
    if (!snap_.readable)
        throw Exception("The page could not be read");
    return snap_;
}

AnsiString WebEngineBrowser::locationUrl()
{
    return toAnsiText(readable().href);
}

int WebEngineBrowser::linkCount()
{
    return static_cast<int>(readable().links.size());
}

AnsiString WebEngineBrowser::link(int index)
{
    const Snapshot& s = readable();
    if (index < 0 || index >= s.links.size())
        throw Exception("Link index out of range");
    return toAnsiText(s.links.at(index));
}

AnsiString WebEngineBrowser::bodyText()
{
    return toAnsiText(readable().text);
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
    if (!navigated_)
        return;
    if (!started_) {
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
        started_ = true;
    }
    onLoadEnded(info);
}

void WebEngineBrowser::onLoadStarted()
{
    quiet_.stop();
    stopEndDue_ = false;
    if (!navigated_)
        return;
    if (started_) {
        // A further load without navigate(): a meta refresh, a script or a
        // click sending the page elsewhere. It is a navigation of its own.
        ++load_;
        committed_ = false;
        reported_ = false;
        addressSeen_ = false;
        refreshInFlight_ = false;
        completeWait_.stop();
    }
    started_ = true;
}

void WebEngineBrowser::onUrlChanged(const QUrl& url)
{
    const QUrl previous = shownUrl_;
    shownUrl_ = url;
    if (!navigated_)
        return;
    quiet_.stop();
    if (loading_) {
        // From here on the page's address is the new one, so a refresh that
        // still reads the previous document is recognised by its address.
        addressSeen_ = true;
        if (started_) {
            committed_ = true;
            if (!reportNavigateComplete())
                return;
        }
        if (!refresh_.isActive())
            refresh_.start();
        return;
    }
    // An address change without a load: a navigation within the document
    // (#fragment). No load will end it, so it completes here.
    if (!url.matches(previous, QUrl::RemoveFragment))
        return;
    ++load_;
    started_ = true;
    committed_ = true;
    addressSeen_ = true;
    reported_ = false;
    refreshInFlight_ = false;
    if (reportNavigateComplete())
        complete();
}

void WebEngineBrowser::onLoadEnded(const QWebEngineLoadingInfo& info)
{
    refresh_.stop();
    if (!rendererGone(result_)) {
        // A load stopped before its document came is a download, or, when
        // a renderer ended meanwhile, most likely a navigation given up
        // because the process it was to commit in ended under it.
        const bool failed = info.status() == QWebEngineLoadingInfo::LoadFailedStatus ||
                            (info.status() == QWebEngineLoadingInfo::LoadStoppedStatus && !committed_ &&
                             renderersEnded() != endedAtNavigate_);
        result_ = failed ? LoadResult::Failed : LoadResult::Succeeded;
        // An HTTP error answer names its status; a document that arrived
        // over HTTP had a 2xx answer, and a failure of any other kind had none.
        const bool http = info.url().scheme() == QLatin1String("http") || info.url().scheme() == QLatin1String("https");
        if (info.errorDomain() == QWebEngineLoadingInfo::HttpStatusCodeDomain)
            httpStatus_ = info.errorCode();
        else
            httpStatus_ = !failed && http && info.status() == QWebEngineLoadingInfo::LoadSucceededStatus ? 200 : 0;
    }
    if (!reportNavigateComplete())
        return;
    // Stopped before its document arrived (a download, a stop): the page
    // still shows the previous document, which is not this address's; the
    // empty page set up by navigate() stays.
    if (info.status() == QWebEngineLoadingInfo::LoadStoppedStatus && !committed_) {
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
    if (!navigated_ || started_ || !page_)
        return;
    started_ = true;
    committed_ = true;
    const bool shown = page_->url() == target_;
    if (!shown && !rendererGone(result_)) {
        result_ = LoadResult::Failed;
        httpStatus_ = 0;
    }
    if (!reportNavigateComplete())
        return;
    if (shown)
        complete();
    else
        raiseDocumentComplete(load_);
}

void WebEngineBrowser::onRefreshTick()
{
    if (!page_ || !loading_ || !addressSeen_) {
        refresh_.stop();
        return;
    }
    if (!refreshInFlight_)
        takeSnapshot(Take::Refresh);
}

bool WebEngineBrowser::reportNavigateComplete()
{
    if (reported_)
        return true;
    reported_ = true;
    const std::uint64_t generation = generation_;
    if (onNavigateComplete2)
        onNavigateComplete2(topFrame(), page_ ? toAnsiText(page_->url().toString()) : AnsiString());
    // A listener that navigated elsewhere has made the rest moot.
    return generation == generation_;
}

void WebEngineBrowser::complete()
{
    completeWait_.start();
    takeSnapshot(Take::Complete);
}

void WebEngineBrowser::takeSnapshot(Take take)
{
    if (!page_)
        return;
    if (take == Take::Refresh)
        refreshInFlight_ = true;
    noteRenderer();
    if (unanswered_++ == 0)
        asked_.start();
    const std::uint64_t generation = generation_;
    const std::uint64_t load = load_;
    QPointer<WebEngineBrowser> self(this);
    page_->runJavaScript(kSnapshotScript, QWebEngineScript::ApplicationWorld,
                         [self, generation, load, take](const QVariant& result) {
                             if (self)
                                 self->snapshotArrived(generation, load, take, result);
                         });
}

void WebEngineBrowser::snapshotArrived(std::uint64_t generation, std::uint64_t load, Take take,
                                       const QVariant& result)
{
    if (take == Take::Refresh && load == load_)
        refreshInFlight_ = false;
    // Anything asked for before the latest navigate() belongs to a page the
    // crawl has left.
    if (generation != generation_ || !page_)
        return;
    // The renderer answers: any call still open is timed from now.
    unanswered_ = std::max(0, unanswered_ - 1);
    if (unanswered_ > 0)
        asked_.start();
    else
        asked_.invalidate();

    const bool valid = result.typeId() == QMetaType::QVariantMap;
    if (take == Take::Refresh) {
        // A refresh only ever improves on what is held: it is dropped when it
        // failed, when its load is no longer current or complete, or when it
        // still read the previous document (its address is not the page's).
        if (!valid || load != load_ || completedLoad_ == load_)
            return;
        const QVariantMap m = result.toMap();
        const QUrl href(m.value(QStringLiteral("href")).toString());
        if (!href.matches(page_->url(), QUrl::RemoveFragment))
            return;
        snap_ = Snapshot{true, m.value(QStringLiteral("href")).toString(),
                         m.value(QStringLiteral("links")).toStringList(),
                         m.value(QStringLiteral("text")).toString()};
        return;
    }

    // The finished page, whatever it is (an error page included): this is
    // what the browser holds. A failed script makes the reads fail.
    if (valid) {
        const QVariantMap m = result.toMap();
        snap_ = Snapshot{true, m.value(QStringLiteral("href")).toString(),
                         m.value(QStringLiteral("links")).toStringList(),
                         m.value(QStringLiteral("text")).toString()};
        // A page with scripts may still draw after its load event: read it
        // again once the settle time since that event is over. What was read
        // now stands for the page meanwhile (a wait bound may end it).
        const double sinceLoad = m.value(QStringLiteral("sinceLoad")).toDouble();
        const bool settling = settleMs_ > 0 && result_ == LoadResult::Succeeded && load == load_ && sinceLoad >= 0 &&
                              m.value(QStringLiteral("scripts")).toInt() > 0;
        if (settling && settledLoad_ != load && sinceLoad < settleMs_) {
            // The page's own timer queue marks the end of the settle, after
            // every timer the page set to fire before it, however late a
            // busy renderer runs them.
            settledLoad_ = load;
            const int left = int(settleMs_ - sinceLoad) + 1;
            page_->runJavaScript(QStringLiteral("setTimeout(function () { window.vqSettled = true; }, %1);").arg(left),
                                 QWebEngineScript::ApplicationWorld);
            settleThenComplete(left);
            return;
        }
        if (settling && settledLoad_ == load && !m.value(QStringLiteral("settled")).toBool()) {
            settleThenComplete(kSettlePollMs);
            return;
        }
    } else {
        snap_ = Snapshot{false, {}, {}, {}};
    }
    raiseDocumentComplete(load);
}

void WebEngineBrowser::settleThenComplete(int ms)
{
    // The wait for the completion snapshot runs on, so a page whose settle
    // never ends is still completed in time.
    if (!completeWait_.isActive())
        completeWait_.start();
    const std::uint64_t generation = generation_;
    const std::uint64_t load = load_;
    QTimer::singleShot(ms, this, [this, generation, load] {
        if (generation != generation_ || load != load_ || completedLoad_ >= load)
            return;
        takeSnapshot(Take::Complete);
    });
}

void WebEngineBrowser::raiseDocumentComplete(std::uint64_t load)
{
    if (load <= completedLoad_)
        return;
    completedLoad_ = load;
    if (load == load_)
        completeWait_.stop();
    if (onDocumentComplete)
        onDocumentComplete(topFrame(), toAnsiText(snap_.href));
}

} // namespace vq
