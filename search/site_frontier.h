// The frontier on its database: the seeds in list order, the links a page
// adds when it is committed, each address once.
//
// Order: a row's id is its place. Seeds take the first ids in list order; a
// page's links take the next ids when the page is committed, and pages are
// committed in frontier order, so any number of lanes builds the same
// frontier and writes the same files. Pages done form a prefix of what was
// handed out: what was in flight at a crash is simply still to do.
//
// Addresses are compared in their normalised form (address.h). Following
// links (depth 1 or more), a redirect counts as its final address: when that
// address is already known (a row of the frontier, or the end of an earlier
// redirect), the page adds no results and follows no links, so that its
// content is harvested once. A crawl of depth 0 is the list crawl on disk:
// every line is visited and kept, as the list crawl does.
//
// The result files: a save appends to each file the results committed since
// the last save, when the file is still what that save left and no page
// before its last result was done since (a page done again by a resume);
// otherwise it writes the file whole, in frontier order.
#pragma once

#include "search/frontier.h"
#include "search/search_results.h"
#include "search/search_settings.h"
#include "state/frontier_db.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <string>

namespace vq {

// The shard of a site key: FNV-1a of its bytes, so that every machine and
// every build agrees.
int shardOfSite(const AnsiString& siteKey, int shardCount);

// A result file as this process last wrote it from the frontier.
struct FrontierFile {
    FileMark mark;  // items: the results it holds; bytes -1: written whole at the next save
    ResultKey last; // the last result it holds
};

class SiteFrontier : public Frontier {
public:
    SiteFrontier(FrontierDb& db, const FrontierOptions& options);

    // A fresh frontier's seeds: the lines of the list, of this shard. Following
    // links, the shards split the seeds by their site; otherwise by line, as
    // the list crawl does. Following links, a repeated seed is left out.
    void seed(const AnsiString& listPath, int shardIndex, int shardCount);

    // A fresh frontier records the options that shape it; a resumed one
    // must be given the same, or links would have been followed by other
    // rules than the rest: raises (FrontierDbError::Kind::OtherOptions),
    // naming the file and the options.
    void keepOptions(bool fresh);
    // The options the frontier in `db` was made with, when it recorded them
    // (those it does not record as in `base`).
    static std::optional<FrontierOptions> madeWith(FrontierDb& db, FrontierOptions base);

    // LineSource
    Next next(SourceLine& line) override;
    bool exhausted() override;

    // Frontier
    void commit(PageResult& page, bool dedup) override;
    Written writeResultFiles(const std::filesystem::path& dir) override;
    FrontierCounts counts() const override { return counts_; }
    void fillResults(SearchResults& results) override;
    void setRobots(const RobotsPolicy* robots) override { robots_ = robots; }
    std::map<int, int64_t> pagesPerDepth() override;

private:
    void refill();
    void follow(const PageResult& page);

    FrontierDb& db_;
    FrontierOptions options_;
    const RobotsPolicy* robots_ = nullptr;
    std::deque<FrontierRow> batch_; // rows read ahead, in order
    int64_t cursor_ = 0;            // the last row read
    bool maybeMore_ = true;         // rows may wait beyond the cursor
    int64_t handedOut_ = 0;
    int64_t committed_ = 0;
    FrontierCounts counts_;
    FrontierFile linksFile_, faxFile_, originsFile_;
};

} // namespace vq
