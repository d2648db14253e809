// What pages of the off-screen lanes may fetch.
#include "app/web_browser.h"

#include <QWebEngineProfile>
#include <QWebEngineUrlRequestInterceptor>

namespace vq {

namespace {

// Blocks by resource type what no harvest reads: the text and the links of a
// page do not depend on its pictures, fonts, media or icons, and a prefetch
// is for a page not yet visited. Half of a page's time on the web goes on
// pictures.
class HarvestRequestFilter : public QWebEngineUrlRequestInterceptor {
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;

    void interceptRequest(QWebEngineUrlRequestInfo& info) override
    {
        switch (info.resourceType()) {
        case QWebEngineUrlRequestInfo::ResourceTypeImage:
        case QWebEngineUrlRequestInfo::ResourceTypeFontResource:
        case QWebEngineUrlRequestInfo::ResourceTypeMedia:
        case QWebEngineUrlRequestInfo::ResourceTypePrefetch:
        case QWebEngineUrlRequestInfo::ResourceTypeFavicon:
            info.block(true);
            break;
        default:
            break;
        }
    }
};

} // namespace

void loadOnlyWhatTheHarvestReads(QWebEngineProfile* profile)
{
    if (!profile)
        return;
    // The profile owns the filter; one filter per profile is enough.
    if (profile->findChild<HarvestRequestFilter*>())
        return;
    profile->setUrlRequestInterceptor(new HarvestRequestFilter(profile));
}

} // namespace vq
