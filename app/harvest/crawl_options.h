// The options of vqharvest crawl: parsed, checked, and the help that names them.
#pragma once

#include "search/search_settings.h"
#include "text/ansi.h"

#include <optional>
#include <string>
#include <vector>

namespace vq::cli {

extern const char* const kCrawlHelp;

struct CrawlOptions {
    std::string list;
    int speed = kDefaultSpeed;
    bool noPace = false;
    int pageTimeout = 30;
    bool links = false, fax = false, dedup = false, filter = false, site = false, https = false;
    bool frames = false; // "含框架页"
    bool ocr = false;    // "识别图片号码"
    bool fast = false;   // "快速读取": pages read from their HTML where that proves the same
    bool settleIdle = false; // "空闲即读": a page's settle ends once its scripts have nothing left
    std::vector<AnsiString> contains, excludes, markers;
    std::optional<int32_t> from;
    std::string out = ".";
    std::string report;
    std::string userAgent; // empty: the browser's own
    std::string proxy;     // empty: the environment's
    RobotsRule robots = RobotsRule::Default;
    int lanes = 1;
    int perHost = 2;
    double hostDelay = 0;
    int recycle = 100;
    int maxPageMb = 1024;
    int shardIndex = 0, shardCount = 1;
    int retries = kRealWebRetries;
    std::optional<int> retryTimeout;
    std::optional<int> renderers;
    int settleMs = kRealWebSettleMs;
    bool images = false;
    bool netCheck = true;
    bool quiet = false;
    // The frontier: a crawl that follows links, or a list crawl on disk.
    std::optional<int> depth;
    Follow follow = Follow::Site;
    int maxPerSite = kDefaultMaxPerSite;
    bool frontier = false;
    bool resume = false;
    bool fresh = false;
    bool followGiven = false;
    bool maxPerSiteGiven = false;

    bool onFrontier() const { return frontier || depth.value_or(0) > 0; }
};

// Raises UsageError for an unknown option, a bad value or a combination that
// makes no sense.
CrawlOptions parseCrawl(const std::vector<std::string>& args);

} // namespace vq::cli
