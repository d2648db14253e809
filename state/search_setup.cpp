#include "state/search_setup.h"

#include <algorithm>

namespace vq {

SearchSetup::SearchSetup()
{
    // In code page 936: "传真：", "FAX：", "传真号：".
    lists_[static_cast<size_t>(OptionList::FaxMarkers)] = {
        "\xB4\xAB\xD5\xE6\xA3\xBA", "FAX\xA3\xBA", "\xB4\xAB\xD5\xE6\xBA\xC5\xA3\xBA"};
    lists_[static_cast<size_t>(OptionList::MustContain)] = {"http://", "."};
    lists_[static_cast<size_t>(OptionList::MustNotContain)] = {"$", "#"};
}

int SearchSetup::listen(Listener listener)
{
    const int id = nextId_++;
    listeners_.emplace_back(id, std::move(listener));
    return id;
}

void SearchSetup::unlisten(int id)
{
    listeners_.erase(std::remove_if(listeners_.begin(), listeners_.end(),
                                    [id](const auto& l) { return l.first == id; }),
                     listeners_.end());
}

void SearchSetup::changed(const Change& change)
{
    // A listener may add or remove listeners: the ones present now hear it.
    const auto listeners = listeners_;
    for (const auto& [id, listener] : listeners)
        listener(change);
}

void SearchSetup::setListPath(AnsiString path)
{
    if (path == listPath_)
        return;
    listPath_ = std::move(path);
    changed({Field::ListPath});
}

void SearchSetup::setProgressIndex(int32_t lines)
{
    if (lines == position_.progressIndex)
        return;
    position_.progressIndex = lines;
    changed({Field::Position});
}

void SearchSetup::setUrlTotal(int32_t lines)
{
    if (lines == position_.urlTotal)
        return;
    position_.urlTotal = lines;
    changed({Field::Position});
}

void SearchSetup::setChecked(Switch s, bool on)
{
    bool& value = switches_[static_cast<size_t>(s)];
    if (value == on)
        return;
    value = on;
    changed({Field::Switch, s});
}

void SearchSetup::setSpeed(int seconds)
{
    if (seconds == speed_)
        return;
    speed_ = seconds;
    changed({Field::Speed});
}

void SearchSetup::setList(OptionList l, std::vector<AnsiString> lines)
{
    std::vector<AnsiString>& value = lists_[static_cast<size_t>(l)];
    if (lines == value)
        return;
    value = std::move(lines);
    changed({Field::List, Switch::Dedup, l});
}

void SearchSetup::setPagesAtOnce(int pages)
{
    LaneOptions lanes = lanes_;
    lanes.lanes = std::clamp(pages, 1, kMaxPagesAtOnce);
    lanes.retries = lanes.lanes > 1 ? kRealWebRetries : 0;
    if (lanes == lanes_)
        return;
    lanes_ = lanes;
    changed({Field::PagesAtOnce});
}

void SearchSetup::setLanes(const LaneOptions& lanes)
{
    if (lanes == lanes_)
        return;
    lanes_ = lanes;
    changed({Field::Lanes});
}

void SearchSetup::setFrontier(const FrontierOptions& frontier)
{
    if (frontier == frontier_)
        return;
    frontier_ = frontier;
    changed({Field::Frontier});
}

void SearchSetup::setSiteCrawl(int depth, Follow follow)
{
    FrontierOptions f = frontier_;
    f.depth = std::clamp(depth, 0, kMaxSiteDepth);
    f.on = f.depth > 0;
    f.follow = follow;
    setFrontier(f);
}

void SearchSetup::setVisitor(const VisitorOptions& visitor)
{
    if (visitor == visitor_)
        return;
    visitor_ = visitor;
    changed({Field::Visitor});
}

void SearchSetup::setNetCheck(bool on)
{
    if (on == netCheck_)
        return;
    netCheck_ = on;
    changed({Field::NetCheck});
}

} // namespace vq
