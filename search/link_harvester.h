// Link harvesting: the loaded page's outgoing links that pass the filters.
#pragma once

#include "ports/browser.h"
#include "ports/main_view.h"
#include "search/counters.h"
#include "search/result_list.h"

#include <functional>
#include <vector>

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

    // The two halves of HarvestLinks, also for pages held by other browsers
    // than the window's: each link of the page `browser` holds that passes the
    // filters (once per page) goes to `take` as soon as it is read; commit()
    // adds links to the link list.
    void collect(Browser& browser, const std::function<void(AnsiString)>& take);
    std::vector<AnsiString> collect(Browser& browser);
    void commit(AnsiString link);

private:
    Browser& browser_;
    MainView& view_;
    ResultList& links_;
    SearchCounters& counters_;
};

} // namespace vq
