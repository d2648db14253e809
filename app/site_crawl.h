// The window's site crawl ("深度" above 0): the frontier in the program's
// directory, made afresh by "搜索" and gone on with by "继续", and the
// questions asked about a frontier that cannot be used as it is. Qt-free.
#pragma once

#include "app/prompts.h"
#include "search/search_session.h"
#include "search/site_frontier.h"
#include "state/frontier_db.h"

#include <filesystem>
#include <memory>

namespace vq {

class SiteCrawl {
public:
    SiteCrawl(Prompts& prompts, SearchSession& session, std::filesystem::path programDir);
    ~SiteCrawl();
    SiteCrawl(const SiteCrawl&) = delete;
    SiteCrawl& operator=(const SiteCrawl&) = delete;

    // "搜索": a new frontier seeded with the list's lines, the session's from
    // now on. A file in its place that is not a frontier of ours is replaced
    // only when `replaceAny` or when the user says "是"; false when kept.
    bool openFresh(bool replaceAny = false);

    // "继续": the frontier as the last site crawl left it.
    enum class Resume {
        Ready,      // the session has it
        Refused,    // nothing to go on with; the user was told
        StartAfresh // the user chose a new site crawl instead (replacing the file)
    };
    Resume openToResume();

    // The list crawl: the session has no frontier, and the file is let go.
    void close();

    SiteFrontier* frontier() { return frontier_.get(); }
    std::filesystem::path file() const;

private:
    Prompts& prompts_;
    SearchSession& session_;
    std::filesystem::path programDir_;
    std::unique_ptr<FrontierDb> db_;
    std::unique_ptr<SiteFrontier> frontier_;
};

// "深度 2、跟随本站": a site crawl's options as the window names them.
std::string siteCrawlText(const FrontierOptions& options);

} // namespace vq
