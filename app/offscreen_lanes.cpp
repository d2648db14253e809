#include "app/offscreen_lanes.h"

#include "state/pace.h"
#include "search/search_settings.h"

#include <QWebEnginePage>
#include <QWebEngineProfile>

namespace vq {

OffscreenLanes::~OffscreenLanes()
{
    // The pages on the first lane's profile go before it.
    while (!browsers_.empty())
        browsers_.pop_back();
}

PageFetcher* OffscreenLanes::fetcherFor(QWebEnginePage* page)
{
    fetchers_.push_back(std::make_unique<QtPageFetcher>(net_, page->profile()->httpUserAgent()));
    return fetchers_.back().get();
}

void OffscreenLanes::provide(SearchSession& session, int lanes)
{
    while (session.lanes().laneCount() < static_cast<size_t>(std::max(lanes, 1))) {
        if (browsers_.empty()) {
            browsers_.push_back(std::make_unique<WebEngineBrowser>(static_cast<QWebEnginePage*>(nullptr)));
            // Off screen, nobody sees the pictures, and no view gives the
            // pages a width.
            QWebEngineProfile* profile = browsers_.front()->page()->profile();
            loadOnlyWhatTheHarvestReads(profile);
            layOutHiddenPagesScreenWide(profile);
        } else {
            browsers_.push_back(WebEngineBrowser::onProfile(browsers_.front()->page()->profile()));
        }
        browsers_.back()->setSettleMs(kRealWebSettleMs);
        timers_.push_back(std::make_unique<QtTimer>(kInitialPageTimerMs));
        QtTimer& page = *timers_.back();
        timers_.push_back(std::make_unique<QtTimer>(kInitialWatchdogMs));
        session.addLane(*browsers_.back(), page, *timers_.back(), fetcherFor(browsers_.back()->page()));
    }
}

} // namespace vq
