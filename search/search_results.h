// The results of a search: the link list and the fax list, and which search
// they belong to. One owner for both lists; the window shows them, the search
// adds to them, the save commands write them.
#pragma once

#include "search/result_list.h"

#include <string>

namespace vq {

struct SearchResults {
    ResultList links; // ListView3 "网址链接表"
    ResultList fax;   // ListView4 "传真号码表"
    std::string searchId; // the search the lists belong to (saved_results.h); empty: none yet

    void addLink(AnsiString link) { links.append(std::move(link)); }
    // Skipped when `dedup` is set and the list has the number already.
    bool addFax(AnsiString number, AnsiString origin, bool dedup)
    {
        if (dedup && fax.contains(number))
            return false;
        fax.append(std::move(number), std::move(origin));
        return true;
    }
    void clear()
    {
        links.clear();
        fax.clear();
    }
};

} // namespace vq
