// The embedded browser on Qt WebEngine, seen by the search engine through
// vq::Browser. WebEngine reads the DOM asynchronously; this adapter keeps a
// snapshot of the page (address, links, body text) taken by one script call
// and answers the synchronous reads from it. DocumentComplete for the
// top-level window is raised only once the snapshot of the finished page has
// arrived, so whoever reacts to it reads a complete, consistent page.
#pragma once

#include "ports/browser.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QUrl>
#include <QPointer>

#include <cstdint>

class QWebEngineView;
class QWebEnginePage;
class QWebEngineProfile;

namespace vq {

class WebEngineBrowser : public QObject, public Browser {
    Q_OBJECT
public:
    // Drives the page shown in `view` (the main window's visible browser).
    // The view gets a fresh quiet page on an off-the-record profile.
    explicit WebEngineBrowser(QWebEngineView* view, QObject* parent = nullptr);
    // Drives `page` without a view (headless use). When `page` is nullptr the
    // adapter creates and owns a quiet page of its own.
    explicit WebEngineBrowser(QWebEnginePage* page, QObject* parent = nullptr);
    ~WebEngineBrowser() override;

    void navigate(const AnsiString& url) override;
    bool hasDocument() override;
    AnsiString locationUrl() override;
    int linkCount() override;
    AnsiString link(int index) override;
    AnsiString bodyText() override;

    // The page driven (owned by the adapter or by the caller).
    QWebEnginePage* page() const { return page_; }
    // The identity passed with events of the top-level window.
    FrameId topFrame() const { return this; }

    // Period of the snapshot refresh while a page is loading.
    void setRefreshInterval(int ms);

private:
    void connectPage();
    void onLoadStarted();
    void onUrlChanged(const QUrl& url);
    void onLoadFinished(bool ok);
    void takeSnapshot(bool completing);
    void applySnapshot(std::uint64_t generation, bool completing, const QVariant& result);
    void commitNavigation();
    void checkPage() const;

    QPointer<QWebEnginePage> page_;
    QWebEngineProfile* ownProfile_ = nullptr; // deleted after the page
    bool ownsPage_ = false;

    QTimer refresh_;
    std::uint64_t generation_ = 0;   // bumped by every navigate()
    bool navigated_ = false;         // navigate() called at least once
    bool loading_ = false;           // a load of the current generation is running
    bool committed_ = false;         // the current navigation has committed
    bool completed_ = false;         // DocumentComplete raised for this load
    bool snapshotPending_ = false;   // a refresh script is in flight
    bool snapshotOk_ = false;
    QString href_;
    QStringList links_;
    QString text_;
};

} // namespace vq
