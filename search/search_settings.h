// Everything a search runs with, taken from the setup when it starts. The
// speed and the switches "搜索链接", "搜索传真" and "自动保存" stay live: a
// change to them in the setup reaches the running search at its next page.
#pragma once

#include "state/crawl_options.h"
#include "state/pace.h"
#include "state/search_setup.h"
#include "text/ansi.h"

#include <vector>

namespace vq {

// What the page tick reads again at every page.
struct LiveSettings {
    int speed = kDefaultSpeed;
    bool links = false;
    bool fax = false;
    bool autosave = false;
};

struct SearchSettings {
    AnsiString listPath;       // the URL list
    bool links = false;        // "搜索链接"
    bool fax = false;          // "搜索传真"
    bool dedup = false;        // "去重"
    bool filter = false;       // "启用链接筛选"
    bool site = false;         // "只搜索本站"
    bool https = false;        // "含https链接"
    bool frames = false;       // "含框架页": the page's frames are read with it
    bool ocr = false;          // "识别图片号码": numbers drawn as pictures are read
    bool fast = false;         // "快速读取": pages read from their HTML where that proves the same
    bool settleIdle = false;   // "空闲即读": a page's settle ends once its scripts have nothing left
    std::string userAgent;     // the pages' user agent; empty: the browser's own
    bool robots = false;       // robots.txt is obeyed
    bool autosave = false;     // "自动保存"
    int speed = kDefaultSpeed; // seconds per page (read as given, kept within 1..60 when used)
    std::vector<AnsiString> markers;        // fax marker words
    std::vector<AnsiString> mustContain;    // "链接必须包含："
    std::vector<AnsiString> mustNotContain; // "链接必须不含："
    LaneOptions lanes;
    FrontierOptions frontier;

    LiveSettings current() const { return LiveSettings{speed, links, fax, autosave}; }
    void apply(const LiveSettings& live)
    {
        speed = live.speed;
        links = live.links;
        fax = live.fax;
        autosave = live.autosave;
    }
};

// The settings of a search on this setup.
SearchSettings settingsOf(const SearchSetup& setup);
LiveSettings liveOf(const SearchSetup& setup);

} // namespace vq
