// Link harvesting: the loaded page's outgoing links that pass the filters.
#pragma once

#include "ports/browser.h"
#include <vector>

namespace vq {

// The site key of a page address: its registrable domain (Public Suffix List),
// a numeric IPv4 or IPv6 host kept whole, empty when the address has no "/"
// behind the host name. The host is the text behind "//" (at most 255 bytes)
// up to the first "/", without user part and port; a host that is a public
// suffix itself or whose top-level label the list does not know is kept whole.
// The key keeps the host's own spelling (letter case).
AnsiString SiteKey(const AnsiString& address);

// The link filters of a search.
struct LinkRules {
    bool onlySite = false;                  // "只搜索本站"
    bool filter = false;                    // "启用链接筛选"
    bool https = false;                     // "含https链接"
    std::vector<AnsiString> mustContain;    // used with `filter`
    std::vector<AnsiString> mustNotContain;
};

// Appends to `out` each link of the page `browser` holds that passes the rules,
// once per page, in page order, then those of the frames read with it (a
// frame's own address deciding "只搜索本站"). A read that fails part-way
// throws, with the links read before it already in `out`.
void HarvestLinks(Browser& browser, const LinkRules& rules, std::vector<AnsiString>& out);

} // namespace vq
