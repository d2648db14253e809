#include "app/site_crawl.h"

#include "state/option_lists.h"
#include "state/search_state.h"
#include "text/ansi.h"
#include "text/paths.h"

namespace vq {

namespace {

std::string fileText(const std::filesystem::path& file)
{
    return ansiToUtf8(pathToAnsi(file));
}

std::string notOurs(const std::filesystem::path& file)
{
    return "文件 " + fileText(file) + " 不是本程序的站点搜索记录，或者已经损坏。";
}

} // namespace

std::string siteCrawlText(const FrontierOptions& o)
{
    std::string text = "深度 " + std::to_string(o.depth) + "、跟随" + (o.follow == Follow::All ? "全部" : "本站");
    if (o.maxPerSite != kDefaultMaxPerSite)
        text += "、每站最多 " + std::to_string(o.maxPerSite) + " 页";
    return text;
}

SiteCrawl::SiteCrawl(Prompts& prompts, SearchSession& session, std::filesystem::path programDir)
    : prompts_(prompts), session_(session), programDir_(std::move(programDir))
{
}

SiteCrawl::~SiteCrawl()
{
    session_.setFrontier(nullptr);
}

std::filesystem::path SiteCrawl::file() const
{
    return programDir_ / kFrontierFileName;
}

void SiteCrawl::close()
{
    session_.setFrontier(nullptr);
    frontier_.reset();
    db_.reset();
}

bool SiteCrawl::openFresh(bool replaceAny)
{
    close();
    const SearchSetup& setup = session_.setup();
    try {
        db_ = std::make_unique<FrontierDb>(file(), replaceAny ? FrontierDb::Open::FreshForcing : FrontierDb::Open::Fresh);
    } catch (const FrontierDbError& e) {
        if (e.kind() != FrontierDbError::Kind::NotAFrontier)
            throw;
        if (!prompts_.confirm(notOurs(file()) + "\n替换它并开始新的站点搜索吗?"))
            return false;
        db_ = std::make_unique<FrontierDb>(file(), FrontierDb::Open::FreshForcing);
    }
    try {
        frontier_ = std::make_unique<SiteFrontier>(*db_, setup.frontier());
        frontier_->keepOptions(true);
        frontier_->seed(setup.listPath(), 0, 1);
        // After a crash, "继续" must find the site crawl's options as they were.
        saveSiteCrawl(setup, programDir_);
    } catch (...) {
        close();
        throw;
    }
    session_.setFrontier(frontier_.get());
    return true;
}

SiteCrawl::Resume SiteCrawl::openToResume()
{
    close();
    if (!fileExists(file())) {
        prompts_.information("没有可以继续的站点搜索（找不到 " + fileText(file()) + "）。\n请用“搜索”开始新的站点搜索。");
        return Resume::Refused;
    }
    try {
        db_ = std::make_unique<FrontierDb>(file(), FrontierDb::Open::Resume);
    } catch (const FrontierDbError& e) {
        if (e.kind() != FrontierDbError::Kind::NotAFrontier)
            throw;
        return prompts_.confirm(notOurs(file()) + "\n替换它并开始新的站点搜索吗?") ? Resume::StartAfresh
                                                                                  : Resume::Refused;
    }
    const FrontierOptions wanted = session_.setup().frontier();
    try {
        const std::optional<FrontierOptions> made = SiteFrontier::madeWith(*db_, wanted);
        if (made && *made != wanted) {
            close();
            const std::string text = "上次的站点搜索是按" + siteCrawlText(*made) + "进行的，与现在的设置（" +
                                     siteCrawlText(wanted) + "）不同，不能继续。\n按现在的设置开始新的站点搜索吗?";
            return prompts_.confirm(text) ? Resume::StartAfresh : Resume::Refused;
        }
        // Untouched until here: the pages that could not be rendered are to do again.
        db_->requeueUnrendered();
        frontier_ = std::make_unique<SiteFrontier>(*db_, wanted);
    } catch (...) {
        close();
        throw;
    }
    session_.setFrontier(frontier_.get());
    return Resume::Ready;
}

} // namespace vq
