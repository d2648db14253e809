// What a search runs with: the list, the switches, the speed, the marker and
// filter lists, the lanes and the frontier options, with the position of the
// last search in its list. One model, owned by the search session: the window
// binds its controls to it both ways, vqharvest fills it from its arguments,
// and the state file and the option lists load into it and save from it.
// Every setter tells the listeners when a value changes (and only then).
#pragma once

#include "state/crawl_options.h"
#include "state/pace.h"
#include "text/ansi.h"

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

namespace vq {

enum class Switch {
    Dedup,      // "去重"
    Links,      // "搜索链接"
    Fax,        // "搜索传真"
    LinkFilter, // "启用链接筛选"
    OnlySite,   // "只搜索本站"
    Autosave,   // "自动保存"
    Https,      // "含https链接" (kept outside the search-state file)
    Frames,     // "含框架页": the text and links of the page's frames too (kept outside it)
    Ocr,        // "识别图片号码": numbers drawn as pictures (kept outside it)
    Fast,       // "快速读取": pages read from their HTML where that proves the same (kept outside it)
    SettleIdle, // "空闲即读": a page's settle ends once its scripts have nothing left (kept outside it)
};
inline constexpr int kSwitchCount = 11;

enum class OptionList {
    FaxMarkers,     // the fax marker words
    MustContain,    // "链接必须包含："
    MustNotContain, // "链接必须不含："
};
inline constexpr int kOptionListCount = 3;

// The two numbers of the state file: the lines done (the resume point) and the
// lines counted in the list.
struct SearchPosition {
    int32_t progressIndex = 0; // ProgressIndex
    int32_t urlTotal = 0;      // UrlTotal
};

class SearchSetup {
public:
    enum class Field { ListPath, Position, Switch, Speed, PagesAtOnce, List, Lanes, Frontier, NetCheck, Visitor };
    struct Change {
        Field field;
        Switch which = Switch::Dedup;           // with Field::Switch
        OptionList list = OptionList::FaxMarkers; // with Field::List
    };
    using Listener = std::function<void(const Change&)>;

    // All switches off, speed 8, one page at once, the initial lists: markers
    // "传真：", "FAX：", "传真号："; links must contain "http://" and "."; links
    // must not contain "$" and "#".
    SearchSetup();
    SearchSetup(const SearchSetup&) = delete;
    SearchSetup& operator=(const SearchSetup&) = delete;

    // A listener stays until it is removed with the number it was given.
    int listen(Listener listener);
    void unlisten(int id);

    const AnsiString& listPath() const { return listPath_; }
    void setListPath(AnsiString path);

    SearchPosition position() const { return position_; }
    void setProgressIndex(int32_t lines);
    void setUrlTotal(int32_t lines);
    void setPosition(SearchPosition p)
    {
        setProgressIndex(p.progressIndex);
        setUrlTotal(p.urlTotal);
    }

    bool isChecked(Switch s) const { return switches_[static_cast<size_t>(s)]; }
    void setChecked(Switch s, bool on);

    // Seconds per page as the speed field reads; kept as given (the window's
    // field clamps when it is set or left, a search keeps it within 1..60 when
    // it uses it).
    int speed() const { return speed_; }
    void setSpeed(int seconds);

    const std::vector<AnsiString>& list(OptionList l) const { return lists_[static_cast<size_t>(l)]; }
    void setList(OptionList l, std::vector<AnsiString> lines);

    // "同时打开": the window's pages at once, 1..16 (setting clamps). The pages
    // beyond the visible one are off screen on the web, retried as vqharvest's.
    int pagesAtOnce() const { return lanes_.lanes; }
    void setPagesAtOnce(int pages);

    // The lanes and the frontier, as vqharvest sets them.
    const LaneOptions& lanes() const { return lanes_; }
    void setLanes(const LaneOptions& lanes);
    const FrontierOptions& frontier() const { return frontier_; }
    void setFrontier(const FrontierOptions& frontier);
    // The window's "深度" (0..kMaxSiteDepth, setting clamps) and "跟随": above
    // depth 0, "搜索" crawls the sites of the list's lines on the frontier.
    void setSiteCrawl(int depth, Follow follow);

    // The user agent and the proxy (UTF-8).
    const VisitorOptions& visitor() const { return visitor_; }
    void setVisitor(const VisitorOptions& visitor);

    // Whether "搜索" and "继续" refuse on a machine whose only address is 127.0.0.1.
    bool netCheck() const { return netCheck_; }
    void setNetCheck(bool on);

private:
    void changed(const Change& change);

    AnsiString listPath_;
    SearchPosition position_;
    bool switches_[kSwitchCount] = {};
    int speed_ = kDefaultSpeed;
    std::vector<AnsiString> lists_[kOptionListCount];
    LaneOptions lanes_;
    FrontierOptions frontier_;
    VisitorOptions visitor_;
    bool netCheck_ = true;
    std::vector<std::pair<int, Listener>> listeners_;
    int nextId_ = 1;
};

} // namespace vq
