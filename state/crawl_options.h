// How a search's pages are visited: the lanes (pages at once and their
// politeness) and, for a crawl that follows links, its frontier. Plain values,
// part of the setup a search runs with.
#pragma once

#include <string>

namespace vq {

// How many pages at once, and how politely (vqharvest; the defaults are the
// window's one page at a time).
struct LaneOptions {
    int lanes = 1;              // pages in flight at once
    int perHost = 0;            // pages of one host in flight at once; 0: no cap
    int hostDelayMs = 0;        // least time between two navigations to one host
    int shardIndex = 0;         // visit only lines with (line - 1) % shardCount == shardIndex
    int shardCount = 1;
    int recycleAfter = 0;       // a lane's browser is recycled after this many pages; 0: never
    bool noPace = false;        // no pace ("speed 0"): a page is scanned as soon as it completes
    int pageTimeoutMs = 30000;  // no pace: how long a page may take to complete
    int pollMs = 50;            // no pace: period of the page tick
    int renderFailureLimit = 5; // render failures in a row that stop the search
    int proxyFailureLimit = 5;  // lines in a row that failed at the proxy: the search stops
    // Tries after the first for a line that ends as a timeout, or as a
    // navigation error without an HTTP answer (refused, reset, unreachable).
    // An HTTP answer (404, 500) is final.
    int retries = 0;
    int retryDelayMs = 1000;    // back-off before the first retry; doubles per attempt, never below hostDelayMs
    // No pace: the bound of a retry of a line that timed out without any
    // answer; a server silent for pageTimeoutMs seldom answers slowly the
    // next time: it answers at once or not at all. A page that arrived but
    // did not finish (a slow machine, slow pictures or scripts) keeps the
    // whole bound. 0: pageTimeoutMs.
    int retryTimeoutMs = 0;
    // A page lost with a renderer it shared with other pages (another page
    // may have hung, grown or crashed it) is tried again at once, up to this
    // many times, beyond `retries`; such a loss is no render failure in a row.
    int sharedRendererRetries = 3;
    // How long a page's scripts may still draw after its load event before
    // it is read (the browser waits; the wait bound grows by it). 0: read at once.
    int settleMs = 0;

    bool operator==(const LaneOptions&) const = default;
};

// A lane's page on the web, off screen (vqharvest's defaults, and the window's
// pages beyond the visible one): a line that timed out or failed without an
// HTTP answer is tried this many times more; a page with scripts is read this
// long after its load event.
inline constexpr int kRealWebRetries = 2;
inline constexpr int kRealWebSettleMs = 1200;

// How the crawl shows itself to the sites it visits: the user agent its pages
// send (empty: the browser's own) and the proxy every request goes through
// ("http://", "https://" or "socks5://", with "user:password@" if needed;
// empty: the environment's http_proxy / https_proxy / no_proxy).
enum class RobotsRule {
    Default, // a crawl that follows links obeys robots.txt; a list crawl (the user chose its pages) ignores it
    Obey,
    Ignore,
};

struct VisitorOptions {
    std::string userAgent;
    std::string proxy;
    RobotsRule robots = RobotsRule::Default;

    bool operator==(const VisitorOptions&) const = default;
};

// Which links a crawl on the frontier follows from a page.
enum class Follow {
    Site, // links of the page's own site (its registrable domain, as "只搜索本站")
    All,  // links of any site, at most FrontierOptions::maxPerSite pages a site
};
inline constexpr int kDefaultMaxPerSite = 1000;
inline constexpr int kMaxSiteDepth = 5; // the window's "深度"

// A crawl on a frontier: the list's lines are its seeds at depth 0, and links
// found on a page at depth d < depth join it at depth d + 1. The frontier
// keeps the results on disk rather than in the result lists.
struct FrontierOptions {
    bool on = false; // the search runs on the frontier the front end gives it
    int depth = 0;
    Follow follow = Follow::Site;
    int maxPerSite = kDefaultMaxPerSite;

    bool operator==(const FrontierOptions&) const = default;
};

} // namespace vq
