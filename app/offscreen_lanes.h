// The window's pages beyond the visible one: with "同时打开" above 1, a search
// runs further lanes, each an off-screen page with a page timer and a
// watchdog, all on one off-the-record profile of their own.
#pragma once

#include "app/qt_page_fetcher.h"
#include "app/qt_timer.h"
#include "app/web_browser.h"
#include "search/search_session.h"

#include <QNetworkAccessManager>

#include <memory>
#include <vector>

namespace vq {

class OffscreenLanes {
public:
    OffscreenLanes() = default;
    ~OffscreenLanes();
    OffscreenLanes(const OffscreenLanes&) = delete;
    OffscreenLanes& operator=(const OffscreenLanes&) = delete;

    // Adds lanes to the session until it has `lanes` (lane 0 is the visible
    // browser, already there). Lanes once made stay for later searches.
    void provide(SearchSession& session, int lanes);
    size_t count() const { return browsers_.size(); }
    // A fetcher for "快速读取" on a page of the window (the lanes' own get theirs).
    PageFetcher* fetcherFor(QWebEnginePage* page);

private:
    QNetworkAccessManager net_; // the fast reading's
    std::vector<std::unique_ptr<QtPageFetcher>> fetchers_;
    std::vector<std::unique_ptr<WebEngineBrowser>> browsers_; // the first makes the profile
    std::vector<std::unique_ptr<QtTimer>> timers_;
};

} // namespace vq
