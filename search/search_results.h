// The results of a search: the link list and the fax list, and which search
// they belong to. One owner for both lists; the window shows them, the search
// adds to them, the save commands write them.
#pragma once

#include "search/result_list.h"

#include <cstddef>
#include <filesystem>
#include <string>

namespace vq {

// What a result file holds of its list since the list's last save: its first
// `items` items, `bytes` long, as written at `time`. A save appends to a file
// whose mark still holds; any other file is written whole.
struct FileMark {
    size_t items = 0;
    long long bytes = -1; // -1: unknown, the next save writes the file whole
    unsigned long long clears = 0; // the list's clears() when it was written
    std::filesystem::file_time_type time{};
};

struct SearchResults {
    ResultList links; // ListView3 "网址链接表"
    ResultList fax;   // ListView4 "传真号码表"
    std::string searchId; // the search the lists belong to (saved_results.h); empty: none yet
    // The result files as last saved (saved_results.h).
    FileMark linksFile, faxFile, originsFile;

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
