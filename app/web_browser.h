// The embedded browser on Qt WebEngine, seen by the search engine through
// vq::Browser.
//
// WebEngine reads the DOM asynchronously, the vq::Browser reads are
// synchronous. The adapter therefore keeps a snapshot of the page (address,
// links, body text), taken by one script call, and answers the reads from it.
// DocumentComplete for the top-level window is raised only once the snapshot
// of the finished page has arrived, so whoever reacts to it reads a complete,
// consistent page. While a page is loading the snapshot is refreshed now and
// then, so a page that never finishes is read as far as it has loaded.
#pragma once

#include "app/web_frames.h"
#include "app/web_pictures.h"

#include <algorithm>
#include <string>

class QAuthenticator;

#include "ports/browser.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QUrl>
#include <QWebEnginePage>

#include <cstdint>
#include <memory>
#include <vector>

class QWebEngineProfile;
class QWebEngineLoadingInfo;

namespace vq {

// Settings Qt WebEngine needs before the QApplication is created: shared OpenGL
// contexts, and, when running as root, its sandbox switched off (it refuses to
// start otherwise).
void prepareWebEngine();

// Chromium lets the timers of hidden pages fire only once a second, and
// lowers their renderers' priority; pages harvested off screen are hidden. To
// be called before prepareWebEngine().
void keepHiddenPagesOnTime();

// Off-screen lanes on many sites share render processes, this many lanes to a
// process: one costs some 40-70 MB before any page is in it, and each page in
// it still has its own frame tree.
inline constexpr int kLanesPerRenderer = 4;
inline int renderersForLanes(int lanes) { return (std::max(lanes, 0) + kLanesPerRenderer - 1) / kLanesPerRenderer; }
// Every page's requests through `proxy` ("http://", "https://" or
// "socks5://", "user:password@" for its log-in), or, when it is empty,
// through the environment's http_proxy / https_proxy (no_proxy names what goes
// around them). Before the first page. Raises for a value that is no proxy.
// The proxy as messages name it (no password); empty: none.
std::string useProxy(const std::string& proxy);
// Fills a proxy's log-in request with the user and password given to useProxy.
void answerProxyLogIn(QAuthenticator* authenticator);

// The window's: the visible browser's own, and those its off-screen lanes share.
inline int windowRenderers(int pagesAtOnce) { return 1 + renderersForLanes(pagesAtOnce - 1); }
// Caps the render processes of the program at `renderers` (a page on another
// profile, as the window's visible browser, still gets one of its own). To be
// called before the first page is made (the last limit given holds); 0 or
// less: no cap.
void limitRenderProcesses(int renderers);

// Pages on `profile` no longer load what the harvest never reads: images,
// fonts, media, prefetches and icons. Stylesheets and scripts still load,
// since they decide what text a page shows. For the profile of off-screen
// lanes; a browser somebody looks at keeps loading everything.
void loadOnlyWhatTheHarvestReads(QWebEngineProfile* profile);

// Pages on `profile` are laid out at least a screen wide. A page without a
// view has a viewport of 0 x 0, so its text wraps at every character: a
// 3 MB page of Chinese text then takes over 500 MB and seconds of layout. The
// text read is the same at any width, and the viewport itself (what media
// queries and scripts see) stays as it was. For profiles whose pages no view
// shows.
void layOutHiddenPagesScreenWide(QWebEngineProfile* profile);

// A script of ours that runs in every top-level document of pages on
// `profile` from the moment it is made, in script world `world` (once: a
// script of that name already there stays).
void addDocumentScript(QWebEngineProfile* profile, const QString& name, quint32 world, const QString& source);

// Pages on `profile` keep count, in their own script world, of the work their
// scripts still have before them (timers, requests, callbacks), so that a
// settle can end once a page has none left (setSettleWhenIdle).
void watchPageIdleness(QWebEngineProfile* profile);
// How long an idle page must have done nothing at all before it is read.
inline constexpr int kIdleStillMs = 100;

// A page that refuses, silently, whatever would wait for somebody at the
// screen: script dialogs, new windows, downloads, permission requests,
// log-in requests, certificate errors and file choosers. A crawl runs
// unattended; none of these may stop it.
class QuietWebPage : public QWebEnginePage {
    Q_OBJECT
public:
    explicit QuietWebPage(QWebEngineProfile* profile, QObject* parent = nullptr);

protected:
    QWebEnginePage* createWindow(WebWindowType type) override;
    QStringList chooseFiles(FileSelectionMode mode, const QStringList& oldFiles,
                            const QStringList& acceptedMimeTypes) override;
    void javaScriptAlert(const QUrl& securityOrigin, const QString& msg) override;
    bool javaScriptConfirm(const QUrl& securityOrigin, const QString& msg) override;
    bool javaScriptPrompt(const QUrl& securityOrigin, const QString& msg,
                          const QString& defaultValue, QString* result) override;
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message,
                                  int lineNumber, const QString& sourceID) override;
};

class WebEngineBrowser : public QObject, public Browser {
    Q_OBJECT
public:
    // Drives `page`. With nullptr the adapter makes and owns a quiet page on an
    // off-the-record profile (which a view may show); a page given here stays
    // the caller's and should outlive the adapter.
    explicit WebEngineBrowser(QWebEnginePage* page, QObject* parent = nullptr);
    ~WebEngineBrowser() override;
    // A quiet page of the adapter's own on `profile`, which other adapters
    // share and which must outlive them all (the batch command's lanes).
    static std::unique_ptr<WebEngineBrowser> onProfile(QWebEngineProfile* profile);

    void navigate(const AnsiString& url) override;
    bool hasDocument() override;
    AnsiString locationUrl() override;
    int linkCount() override;
    AnsiString link(int index) override;
    AnsiString bodyText() override;
    void setReadFrames(bool on) override;
    std::vector<FrameDocument> frames() override;
    void setPictureMarkers(const std::vector<AnsiString>& markers) override;
    std::vector<AnsiString> pictureLines() override;
    LoadResult loadResult() override { return result_; }
    int httpStatus() override { return httpStatus_; }
    bool proxyFailed() override { return proxyFailed_; }
    void setUserAgent(const std::string& userAgent) override;
    bool answered() override;
    // A page of the adapter's own is replaced by a fresh one on the same
    // profile (what the old one held in memory goes with it).
    void recycle() override;

    QWebEnginePage* page() const { return page_; }
    // The object named in the events of the top-level window; the same for
    // the whole life of the adapter. Frames raise no events of their own.
    FrameId topFrame() const { return static_cast<const Browser*>(this); }

    // Period of the snapshot refresh while a page loads (500 ms unless set).
    void setRefreshInterval(int ms);
    // Ends the page's render process when its memory (resident set) grows
    // beyond `mb` megabytes; the page then counts as a render failure. 0: no cap.
    void setMemoryCapMb(int mb);
    // Late content: a page that has scripts is read only once `ms` have passed
    // since its load event (measured on the page's own clock), so what its
    // scripts draw in that time is read too. 0 (the default): read at once.
    void setSettleMs(int ms) { settleMs_ = ms > 0 ? ms : 0; }
    // The settle ends early once the page has nothing left before its end: no
    // timer due, no request, callback or added script pending, and nothing
    // done for kIdleStillMs. From the next navigation on.
    void setSettleWhenIdle(bool on) override;
    // Size of the profile's in-memory HTTP cache (profiles of the adapter's own).
    static constexpr int kHttpCacheBytes = 4 * 1024 * 1024;

private:
    struct Snapshot {
        bool readable = true; // false: the last script failed; reads throw
        QString href;
        QStringList links;
        QString text;
        std::vector<FrameSnapshot> frames; // read with the page, when frames are read
    };
    static QString snapshotScript(bool frames, bool pictures);
    static Snapshot snapshotOf(const QVariantMap& snapshot);
    void finishSnapshot(const QVariantMap& snapshot, std::uint64_t load);
    void readForeignFrames(const QStringList& urls, std::uint64_t load);
    void waitForFrames(const QVariantMap& snapshot, bool readableFrames);
    // Frames of frames read by the frame reader, below those the page's script found.
    static constexpr int kFrameLevels = 3;
    // A parsed page with frames whose load has not ended is read after this long.
    static constexpr int kFrameWaitMs = 5000;
    enum class Take { Refresh, Complete };
    // Where the page's current load (the one load_ counts) is in its life, as
    // far as the page's events have told.
    enum class LoadState {
        Idle,      // nothing asked for since the page was made or recycled
        Requested, // navigate() asked for target_; no start of its load seen yet
        Started,   // the load started; the page still shows the previous document
        Committed, // its document is there; NavigateComplete2 raised
        Ended,     // it ended before any document came; NavigateComplete2 raised
    };

    void init(QWebEnginePage* page);
    void connectPage();
    void refuseRequests();
    void onRenderProcessTerminated();
    void killRenderer(); // the renderer of a page left hung in a script
    static std::vector<const WebEngineBrowser*>& adapters(); // every adapter of the program
    void noteRenderer();         // keeps the page's render process id while it runs
    bool sharesRenderer() const; // another adapter's page is on this one's renderer
    void beginLoad(LoadState state); // a new current load: load_ bumped, its facts afresh
    void stopLoadTimers();
    void stopCompletion(); // the completion's waits and readers of the current load
    void startLoad();
    void checkMemory();
    void onLoadingChanged(const QWebEngineLoadingInfo& info);
    void onLoadStarted();
    void onLoadEnded(const QWebEngineLoadingInfo& info);
    void onUrlChanged(const QUrl& url);
    void onRefreshTick();
    void onQuiet();
    // The load has reached `reached` (Committed or Ended); false when a
    // listener navigated meanwhile.
    bool reportNavigateComplete(LoadState reached);
    void complete();
    void takeSnapshot(Take take);
    void snapshotArrived(std::uint64_t generation, std::uint64_t load, Take take,
                         const QVariant& result);
    void raiseDocumentComplete(std::uint64_t load);
    void settleThenComplete(int ms); // the completion snapshot again after ms
    // What the page's idle watcher answers (idleQuery).
    enum class IdleAnswer { CannotTell = -1, Idle = 0, Busy = 1, SettleOver = 2 };
    static QString idleQuery(int settleMs);
    void askIdle(std::uint64_t load); // the completion snapshot once the settling page is idle
    const Snapshot& readable() const;

    QPointer<QWebEnginePage> page_;
    QWebEngineProfile* ownProfile_ = nullptr; // deleted after the page
    bool ownsPage_ = false;

    QTimer refresh_;      // snapshot refresh while a committed page loads
    QTimer quiet_;        // a navigation that starts no load at all
    QTimer completeWait_; // a completion snapshot that does not arrive
    QTimer restartWait_;  // a killed renderer, or a stopped load, whose end is not reported
    QTimer memoryCheck_;  // the render process's memory against the cap
    QTimer frameWait_;    // a parsed page with frames whose load does not end
    std::uint64_t frameWaitLoad_ = 0; // the load frameWait_ was started for
    bool readFrames_ = false;
    std::unique_ptr<FrameReader> frameReader_; // the frames of other origins
    std::vector<AnsiString> pictureMarkers_;   // pictures read after these markers; empty: none
    std::unique_ptr<PictureReader> pictureReader_;
    std::vector<AnsiString> pictureLines_;     // lines of the text that hold a picture's reading
    QElapsedTimer asked_; // since the renderer last answered, while calls of ours are unanswered
    int unanswered_ = 0;  // script calls of the current navigation not answered yet
    qint64 rendererPid_ = 0; // the page's latest render process, kept after its end
    qint64 killedPid_ = 0;   // the render process ended for the page left last

    std::uint64_t generation_ = 0; // bumped by every navigate()
    std::uint64_t load_ = 0;       // bumped by every top-level load of the page
    std::uint64_t completedLoad_ = 0; // the last load DocumentComplete was raised for
    std::uint64_t settledLoad_ = 0;   // the last load whose settle was marked in the page
    std::uint64_t idleLoad_ = 0;      // the last load read early, once idle
    LoadState state_ = LoadState::Idle;
    // Facts of the current load besides its state, reset by beginLoad().
    bool addressSeen_ = false;     // the page's address is the current load's
    bool refreshInFlight_ = false; // a refresh snapshot of it is under way
    // The page's own word, whichever load it is about.
    bool loading_ = false; // the page reports a load in progress
    // What holds the requested address back from the page. The page's events
    // meanwhile still count for the current load.
    bool loadDeferred_ = false;   // target_ is still to be handed to the page
    bool restartPending_ = false; // a renderer was killed; the next load waits for its end
    bool stopEndDue_ = false;     // navigate() stopped a load whose end has not come yet
    qint64 capBytes_ = 0;
    int settleMs_ = 0;
    bool settleWhenIdle_ = false;
    int httpStatus_ = 0;
    bool proxyFailed_ = false;
    std::uint64_t endedAtNavigate_ = 0; // renderers ended before the latest navigate()
    LoadResult result_ = LoadResult::Pending;
    QUrl target_;             // the address given to the latest navigate()
    QUrl shownUrl_;           // the page's address as last reported
    Snapshot snap_;
};

} // namespace vq
