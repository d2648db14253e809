// The frontier of a crawl as the search sees it: the lines the lanes take,
// and where a page's results go when it is committed. The front end makes it
// (site_frontier.h, on the frontier database) and gives it to the session.
#pragma once

#include "search/line_source.h"
#include "search/page_result.h"
#include "search/robots.h"
#include "search/search_results.h"

#include <cstdint>
#include <filesystem>
#include <map>

namespace vq {

struct FrontierCounts {
    int64_t done = 0;    // pages done
    int64_t queued = 0;  // pages waiting, in flight included
    int64_t links = 0;   // items of the link file
    int64_t fax = 0;     // items of the fax file
    int depthReached = 0;
};

class Frontier : public LineSource {
public:
    // The page's results (its links, the fax numbers not yet seen when
    // `dedup` is set), the links it adds to the frontier and its done mark,
    // in one transaction. The record's counts are filled in. Raises when the
    // page could not be written; the page then stays to do.
    virtual void commit(PageResult& page, bool dedup) = 0;
    // The link file, the fax file and the origins file brought up to the
    // frontier: a file still as the last call left it gets the results added
    // since, any other is replaced whole, atomically; a list without items
    // leaves its file as it is. Which of the two lists the files now hold.
    struct Written {
        bool links = false;
        bool fax = false;
    };
    virtual Written writeResultFiles(const std::filesystem::path& dir) = 0;
    virtual FrontierCounts counts() const = 0;
    // The results committed so far appended to the result lists, in frontier
    // order, the fax numbers with the page they were found on.
    virtual void fillResults(SearchResults& results) = 0;
    virtual std::map<int, int64_t> pagesPerDepth() = 0;
    // Links whose robots.txt is known and forbids them do not join (nullptr: all may).
    virtual void setRobots(const RobotsPolicy* robots) { (void)robots; }
};

} // namespace vq
