// Link harvesting: the loaded page's outgoing links that pass the filters.
#pragma once

#include "ports/browser.h"
#include "ports/main_view.h"
#include "search/counters.h"
#include "search/result_list.h"

#include <unordered_set>

namespace vq {

// The site key of a page address: its registrable domain (Public Suffix List),
// a numeric IPv4 or IPv6 host kept whole, empty when the address has no "/"
// behind the host name. The host is the text behind "//" (at most 255 bytes)
// up to the first "/", without user part and port; a host that is a public
// suffix itself or whose top-level label the list does not know is kept whole.
// The key keeps the host's own spelling (letter case).
AnsiString SiteKey(const AnsiString& address);

class LinkHarvester {
public:
    LinkHarvester(Browser& browser, MainView& view, ResultList& linkList, SearchCounters& counters);

    void HarvestLinks();

private:
    Browser& browser_;
    MainView& view_;
    ResultList& links_;
    SearchCounters& counters_;
    std::unordered_set<AnsiString> pageLinks_; // links taken from this page, ASCII letters in lower case
};

} // namespace vq
