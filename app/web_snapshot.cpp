// What the search reads of the page and when it hears of it: the snapshot
// one script call takes, the reads answered from it, its refresh while a page
// loads, the settle of a page whose scripts draw late, and the two events
// NavigateComplete2 and DocumentComplete.
#include "app/web_browser.h"

#include "app/qt_text.h"

#include "text/ansi.h"
#include "text/errors.h"

#include <QVariantMap>
#include <QWebEngineProfile>
#include <QWebEngineScript>

#include <algorithm>
#include <string_view>

namespace vq {

namespace {

// One call reads all the page offers to the scanners. It runs in the
// application's own script world, so the page's scripts cannot tamper with
// the built-ins it uses. A document without body or links collection (plain
// XML, an image) yields empty results rather than an error.
//
// With frames read, it walks the page's frames and iframes to any depth: the
// documents of its own origin it reads itself ("frames"); for the others it
// gives their addresses ("foreign"), which the frame reader loads. With
// pictures read, a mark (U+E000 + i) stands right after picture i while the
// text is read, so that the text shows where each picture is ("pictures":
// their addresses by index).
const QString kSnapshotScript = QStringLiteral(R"JS(
(function (readFrames, readPictures) {
  function walk(doc, r, level) {
    var els = [];
    try { els = doc.querySelectorAll('iframe, frame'); } catch (e) {}
    for (var i = 0; i < els.length; i++) {
      var el = els[i], d = null;
      try { d = el.contentDocument; } catch (e) {}
      if (!d) {
        if (el.src) r.foreign.push(String(el.src));
        continue;
      }
      var f = { href: '', links: [], text: '' };
      try { f.href = String(d.location.href); } catch (e) {}
      try { if (d.links) f.links = Array.from(d.links, function (a) { return String(a.href); }); } catch (e) {}
      try { if (d.body) f.text = String(d.body.outerText); } catch (e) {}
      r.frames.push(f);
      if (level < 8) walk(d, r, level + 1);
    }
  }
  var r = { href: String(location.href), links: [], text: '' };
  try {
    if (document.links)
      r.links = Array.from(document.links, function (a) { return String(a.href); });
  } catch (e) {}
  try {
    if (document.body && readPictures) {
      var pictures = Array.from(document.images).slice(0, 64), marks = [];
      r.pictures = [];
      for (var i = 0; i < pictures.length; i++) {
        r.pictures.push('');
        try {
          var mark = document.createTextNode(String.fromCharCode(0xE000 + i));
          pictures[i].after(mark);
          marks.push(mark);
          r.pictures[i] = String(pictures[i].src);
        } catch (e) {}
      }
      try { r.text = String(document.body.outerText); } finally { marks.forEach(function (m) { m.remove(); }); }
    } else if (document.body) {
      r.text = String(document.body.outerText);
    }
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
  r.parsed = document.readyState !== 'loading';
  if (readFrames) {
    r.frames = [];
    r.foreign = [];
    walk(document, r, 0);
  }
  return r;
})(%1, %2)
)JS");

// A settle whose mark in the page has not come yet is read again this much later.
constexpr int kSettlePollMs = 100;

} // namespace

QString WebEngineBrowser::snapshotScript(bool frames, bool pictures)
{
    const auto js = [](bool on) { return on ? QStringLiteral("true") : QStringLiteral("false"); };
    return kSnapshotScript.arg(js(frames), js(pictures));
}

// ---- the reads -----------------------------------------------------------------

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
    return toAnsi(readable().href);
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
    return toAnsi(s.links.at(index));
}

AnsiString WebEngineBrowser::bodyText()
{
    return toAnsi(readable().text);
}

std::vector<FrameDocument> WebEngineBrowser::frames()
{
    std::vector<FrameDocument> out;
    for (const FrameSnapshot& f : readable().frames) {
        FrameDocument d{toAnsi(f.href), toAnsi(f.text), {}};
        for (const QString& link : f.links)
            d.links.push_back(toAnsi(link));
        out.push_back(std::move(d));
    }
    return out;
}

void WebEngineBrowser::setReadFrames(bool on)
{
    if (on == readFrames_)
        return;
    readFrames_ = on;
    if (!on && frameReader_)
        frameReader_->cancel();
}

// ---- snapshots and events ------------------------------------------------------

void WebEngineBrowser::onRefreshTick()
{
    if (!page_ || !loading_ || !addressSeen_) {
        refresh_.stop();
        return;
    }
    if (!refreshInFlight_)
        takeSnapshot(Take::Refresh);
}

bool WebEngineBrowser::reportNavigateComplete(LoadState reached)
{
    // NavigateComplete2 comes once a load: when its document is there
    // (Committed), or when it ended without one (Ended). A load committed
    // stays so when it ends.
    const bool reported = state_ == LoadState::Committed || state_ == LoadState::Ended;
    if (reached == LoadState::Committed || !reported)
        state_ = reached;
    if (reported)
        return true;
    const std::uint64_t generation = generation_;
    if (onNavigateComplete2)
        onNavigateComplete2(topFrame(), page_ ? toAnsi(page_->url().toString()) : AnsiString());
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
    // Only the completion snapshot marks the pictures: it is the one read.
    const bool pictures = take == Take::Complete && !pictureMarkers_.empty();
    page_->runJavaScript(snapshotScript(readFrames_, pictures), QWebEngineScript::ApplicationWorld,
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
        snap_ = snapshotOf(m);
        waitForFrames(m, !snap_.frames.empty());
        return;
    }

    // The finished page, whatever it is (an error page included): this is
    // what the browser holds. A failed script makes the reads fail.
    if (valid) {
        const QVariantMap m = result.toMap();
        snap_ = snapshotOf(m);
        // A page with scripts may still draw after its load event: read it
        // again once the settle time since that event is over. What was read
        // now stands for the page meanwhile (a wait bound may end it).
        const double sinceLoad = m.value(QStringLiteral("sinceLoad")).toDouble();
        const bool settling = settleMs_ > 0 && result_ == LoadResult::Succeeded && load == load_ && sinceLoad >= 0 &&
                              m.value(QStringLiteral("scripts")).toInt() > 0;
        if (settling && settledLoad_ != load) {
            // The page's own timer queue marks the end of the settle, after
            // every timer the page set to fire before it, however late a
            // busy renderer runs them. That holds for a page first read after
            // its settle was over, too: a renderer busy since the load may
            // answer us before it runs the timers already due.
            settledLoad_ = load;
            const int left = std::max(1, int(settleMs_ - sinceLoad) + 1);
            page_->runJavaScript(QStringLiteral("setTimeout(function () { window.vqSettled = true; }, %1);").arg(left),
                                 QWebEngineScript::ApplicationWorld);
            settleThenComplete(left);
            if (settleWhenIdle_ && sinceLoad < settleMs_)
                askIdle(load);
            return;
        }
        if (settling && settledLoad_ == load && idleLoad_ != load && !m.value(QStringLiteral("settled")).toBool()) {
            settleThenComplete(kSettlePollMs);
            return;
        }
        if (load == load_) {
            finishSnapshot(m, load);
            return;
        }
    } else {
        snap_ = Snapshot{false, {}, {}, {}};
    }
    raiseDocumentComplete(load);
}

// The completion snapshot's pictures, then its frames of other origins, are
// read before the page counts as complete (the completion wait bounds both).
void WebEngineBrowser::finishSnapshot(const QVariantMap& m, std::uint64_t load)
{
    pictureLines_.clear();
    if (!completeWait_.isActive())
        completeWait_.start();
    const QStringList foreign = readFrames_ ? foreignFramesOf(m) : QStringList();
    const auto frames = [this, foreign, load] {
        if (!foreign.isEmpty())
            readForeignFrames(foreign, load);
        else
            raiseDocumentComplete(load);
    };
    const QStringList pictures = m.value(QStringLiteral("pictures")).toStringList();
    if (pictureMarkers_.empty() || pictures.isEmpty()) {
        frames();
        return;
    }
    if (!pictureReader_)
        pictureReader_ = std::make_unique<PictureReader>();
    const std::uint64_t generation = generation_;
    pictureReader_->read(snap_.text, pictures, pictureMarkers_, page_->url(), page_->profile()->httpUserAgent(),
                         [this, generation, load, frames](QString text, QStringList lines) {
                             if (generation != generation_ || load != load_ || completedLoad_ >= load)
                                 return;
                             snap_.text = std::move(text);
                             for (const QString& line : lines)
                                 pictureLines_.push_back(toAnsi(line));
                             frames();
                         });
}

std::vector<AnsiString> WebEngineBrowser::pictureLines()
{
    return pictureLines_;
}

void WebEngineBrowser::setPictureMarkers(const std::vector<AnsiString>& markers)
{
    pictureMarkers_ = markers;
    if (markers.empty() && pictureReader_)
        pictureReader_->cancel();
}

WebEngineBrowser::Snapshot WebEngineBrowser::snapshotOf(const QVariantMap& m)
{
    FrameSnapshot page = documentOf(m);
    return Snapshot{true, std::move(page.href), std::move(page.links), std::move(page.text), framesOf(m)};
}

void WebEngineBrowser::readForeignFrames(const QStringList& urls, std::uint64_t load)
{
    if (!frameReader_)
        frameReader_ = std::make_unique<FrameReader>(snapshotScript(true, false));
    const std::uint64_t generation = generation_;
    frameReader_->read(page_->profile(), urls, kFrameLevels, [this, generation, load](std::vector<FrameSnapshot> read) {
        if (generation != generation_ || load != load_ || completedLoad_ >= load)
            return;
        for (FrameSnapshot& f : read)
            snap_.frames.push_back(std::move(f));
        raiseDocumentComplete(load);
    });
}

void WebEngineBrowser::waitForFrames(const QVariantMap& m, bool readableFrames)
{
    // A frame that never ends keeps the page's load from ending: once the
    // page itself is parsed and has frames, it is read after a while anyway.
    if (!readFrames_ || frameWait_.isActive() || frameWaitLoad_ == load_ || !m.value(QStringLiteral("parsed")).toBool())
        return;
    if (!readableFrames && foreignFramesOf(m).isEmpty())
        return;
    frameWaitLoad_ = load_;
    frameWait_.start();
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
        if (generation != generation_ || load != load_ || completedLoad_ >= load || idleLoad_ == load)
            return;
        takeSnapshot(Take::Complete);
    });
}

void WebEngineBrowser::setSettleWhenIdle(bool on)
{
    settleWhenIdle_ = on;
    // A page read at once (no settle) needs no watching.
    if (on && settleMs_ > 0 && page_)
        watchPageIdleness(page_->profile());
}

void WebEngineBrowser::askIdle(std::uint64_t load)
{
    // The question is put to the page's own world, where the count is kept;
    // the page is read, as always, from ours. A page that cannot tell is read
    // at the end of its settle.
    if (!page_)
        return;
    const std::uint64_t generation = generation_;
    QPointer<WebEngineBrowser> self(this);
    page_->runJavaScript(idleQuery(settleMs_), QWebEngineScript::MainWorld, [self, generation, load](const QVariant& r) {
        if (!self || generation != self->generation_ || load != self->load_ || self->completedLoad_ >= load ||
            self->idleLoad_ == load)
            return;
        const auto answer = r.isValid() ? IdleAnswer(r.toInt()) : IdleAnswer::CannotTell;
        if (answer == IdleAnswer::Idle) {
            self->idleLoad_ = load;
            self->takeSnapshot(Take::Complete);
        } else if (answer == IdleAnswer::Busy) {
            QTimer::singleShot(kSettlePollMs, self, [self, generation, load] {
                if (self && generation == self->generation_ && load == self->load_)
                    self->askIdle(load);
            });
        }
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
        onDocumentComplete(topFrame(), toAnsi(snap_.href));
}

} // namespace vq
