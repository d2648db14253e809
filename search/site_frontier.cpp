#include "search/site_frontier.h"

#include "search/address.h"
#include "search/link_harvester.h"
#include "search/saved_results.h"
#include "search/url_list.h"
#include "state/frontier_db.h"
#include "text/atomic_file.h"
#include "text/paths.h"
#include "text/text_file.h"

#include <algorithm>
#include <cstdio>
#include <memory>

namespace vq {

namespace {

constexpr int kBatch = 64; // rows read from the database at a time

// A result file of a list and the column of the list's rows it holds (the
// fax file the numbers, the origins file their pages).
struct ResultTarget {
    std::filesystem::path path;
    FrontierFile* file;
    int column;
};

// The list's rows after a key, in frontier order, with one or two columns.
using EachRow = std::function<void(const ResultKey& after,
                                   const std::function<void(const ResultKey&, const AnsiString&, const AnsiString&)>&)>;

// Brings the files of a list of `total` rows up to date. A file still as
// written last gets the rows after the last one it holds, appended, when
// those are all it lacks; a row committed before that last one (a page with a
// lower id done late, as a retried page is) leaves it out of frontier order,
// and it is written whole, as is any file that is not as written last. A file
// on disk is at every moment a whole prefix of what it is brought up to; one
// whose writing failed is written whole at the next save.
void writeList(std::vector<ResultTarget> targets, int64_t total, const EachRow& rows)
{
    std::vector<ResultTarget> whole;
    std::vector<ResultTarget> appending;
    for (const ResultTarget& t : targets)
        (stillAsMarked(t.path, t.file->mark) ? appending : whole).push_back(t);
    if (!appending.empty()) {
        ResultKey from = appending.front().file->last;
        for (const ResultTarget& t : appending)
            from = std::min(from, t.file->last);
        std::vector<std::string> bytes(appending.size());
        std::vector<int64_t> added(appending.size(), 0);
        std::vector<ResultKey> last(appending.size());
        rows(from, [&](const ResultKey& key, const AnsiString& first, const AnsiString& second) {
            for (size_t i = 0; i < appending.size(); ++i) {
                if (key <= appending[i].file->last)
                    continue;
                bytes[i] += appending[i].column == 0 ? first : second;
                bytes[i] += "\r\n";
                ++added[i];
                last[i] = key;
            }
        });
        for (size_t i = 0; i < appending.size(); ++i) {
            const ResultTarget& t = appending[i];
            const FileMark before = t.file->mark;
            if (static_cast<int64_t>(before.items) + added[i] != total) {
                whole.push_back(t);
                continue;
            }
            if (added[i] == 0)
                continue;
            t.file->mark = FileMark{};
            if (appendChecked(t.path, before.bytes, bytes[i]) < 0) {
                whole.push_back(t);
                continue;
            }
            *t.file = {markFile(t.path, static_cast<size_t>(total)), last[i]};
        }
    }
    if (whole.empty())
        return;
    std::vector<std::unique_ptr<TextWriter>> writers;
    for (const ResultTarget& t : whole) {
        *t.file = FrontierFile{};
        writers.push_back(std::make_unique<TextWriter>(t.path));
    }
    ResultKey last;
    int64_t written = 0;
    rows(ResultKey{}, [&](const ResultKey& key, const AnsiString& first, const AnsiString& second) {
        for (size_t i = 0; i < whole.size(); ++i)
            writers[i]->writeLine(whole[i].column == 0 ? first : second);
        last = key;
        ++written;
    });
    for (size_t i = 0; i < whole.size(); ++i) {
        writers[i]->commit();
        *whole[i].file = {markFile(whole[i].path, static_cast<size_t>(written)), last};
    }
}

} // namespace

int shardOfSite(const AnsiString& siteKey, int shardCount)
{
    uint64_t h = 14695981039346656037ull;
    for (const unsigned char c : siteKey) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return static_cast<int>(h % static_cast<uint64_t>(std::max(1, shardCount)));
}

SiteFrontier::SiteFrontier(FrontierDb& db, const FrontierOptions& options) : db_(db), options_(options)
{
    counts_.done = db_.countDone();
    counts_.queued = db_.countPending();
    counts_.links = db_.countLinks();
    counts_.fax = db_.countFax();
    const std::map<int, int64_t> byDepth = db_.doneByDepth();
    counts_.depthReached = byDepth.empty() ? 0 : byDepth.rbegin()->first;
}

void SiteFrontier::seed(const AnsiString& listPath, int shardIndex, int shardCount)
{
    const bool following = options_.depth > 0;
    UrlList list;
    list.open(listPath);
    db_.begin();
    try {
        for (int64_t line = 1; !list.atEnd(); ++line) {
            const AnsiString address = list.readAddress();
            const std::optional<AnsiString> normal = normalisedAddress(address);
            const AnsiString site = normal ? SiteKey(*normal) : AnsiString();
            if (shardCount > 1) {
                const int shard = following ? shardOfSite(site, shardCount) : int((line - 1) % shardCount);
                if (shard != shardIndex)
                    continue;
            }
            if (following && !db_.remember(normal ? *normal : address))
                continue;
            // A list crawl visits the line as written; a crawl that follows
            // links visits the form it compares.
            db_.addRow(following && normal ? *normal : address, site, 0, {});
            ++counts_.queued;
        }
        db_.commit();
    } catch (...) {
        db_.rollback();
        list.close();
        throw;
    }
    list.close();
}

namespace {

AnsiString shapeOf(const FrontierOptions& o)
{
    return "depth " + std::to_string(o.depth) + ", follow " + (o.follow == Follow::All ? "all" : "site") +
           ", max per site " + std::to_string(o.maxPerSite);
}

} // namespace

void SiteFrontier::keepOptions(bool fresh)
{
    const AnsiString shape = shapeOf(options_);
    if (fresh) {
        db_.begin();
        db_.setSetting("shape", shape);
        db_.commit();
        return;
    }
    const std::optional<AnsiString> made = db_.setting("shape");
    if (made && *made != shape)
        throw FrontierDbError(db_.file(),
                              "this frontier was made with " + *made + ", not " + shape +
                                  "; resume it with the same --depth, --follow and --max-per-site",
                              FrontierDbError::Kind::OtherOptions);
}

std::optional<FrontierOptions> SiteFrontier::madeWith(FrontierDb& db, FrontierOptions base)
{
    const std::optional<AnsiString> made = db.setting("shape");
    if (!made)
        return std::nullopt;
    FrontierOptions o = base;
    char follow[8] = {};
    if (std::sscanf(made->c_str(), "depth %d, follow %7[a-z], max per site %d", &o.depth, follow, &o.maxPerSite) != 3)
        return std::nullopt;
    o.follow = std::string(follow) == "all" ? Follow::All : Follow::Site;
    return o;
}

void SiteFrontier::fillResults(SearchResults& results)
{
    db_.eachLinkAfter(ResultKey{}, [&](const ResultKey&, const AnsiString& link) { results.addLink(link); });
    db_.eachFaxAfter(ResultKey{}, [&](const ResultKey&, const AnsiString& number, const AnsiString& origin) {
        results.fax.append(number, origin);
    });
}

void SiteFrontier::refill()
{
    if (!batch_.empty() || !maybeMore_)
        return;
    std::vector<FrontierRow> rows = db_.pending(cursor_, kBatch);
    maybeMore_ = rows.size() == static_cast<size_t>(kBatch);
    for (FrontierRow& r : rows)
        batch_.push_back(std::move(r));
}

LineSource::Next SiteFrontier::next(SourceLine& line)
{
    refill();
    if (batch_.empty())
        return handedOut_ > committed_ ? Next::Later : Next::End;
    FrontierRow row = std::move(batch_.front());
    batch_.pop_front();
    cursor_ = row.id;
    ++handedOut_;
    line = SourceLine{std::move(row.url), row.id, row.depth, std::move(row.referrer)};
    return Next::Line;
}

bool SiteFrontier::exhausted()
{
    refill();
    return batch_.empty() && handedOut_ == committed_;
}

void SiteFrontier::commit(PageResult& page, bool dedup)
{
    PageRecord& r = page.record;
    const FrontierCounts before = counts_;
    db_.begin();
    try {
        // Following links, a redirect that ends at a known address adds nothing.
        bool known = false;
        if (options_.depth > 0 && !r.finalUrl.empty()) {
            const std::optional<AnsiString> final = normalisedAddress(r.finalUrl);
            const std::optional<AnsiString> own = normalisedAddress(r.address);
            if (final && final != own)
                known = !db_.remember(*final);
        }
        if (!known) {
            int seq = 0;
            for (const AnsiString& link : page.links)
                db_.addLink(page.row, seq++, link);
            r.links = seq;
            counts_.links += seq;
            seq = 0;
            for (const AnsiString& number : page.fax) {
                if (!db_.rememberFax(number) && dedup)
                    continue;
                db_.addFax(page.row, seq++, number);
                r.fax.push_back(number);
            }
            counts_.fax += seq;
            follow(page);
        }
        // A page the browser could not render is done for this run; a resume
        // tries it again, as a list crawl's resume does after such a stop.
        db_.markDone({page.row, r.outcome != PageOutcome::RenderFailure, r.finalUrl, static_cast<int>(r.outcome),
                      r.ms, r.attempts, r.httpStatus});
        db_.commit();
    } catch (...) {
        db_.rollback();
        counts_ = before;
        r.links = 0;
        r.fax.clear();
        throw;
    }
    ++committed_;
    ++counts_.done;
    --counts_.queued;
    counts_.depthReached = std::max(counts_.depthReached, std::max(0, r.depth));
}

void SiteFrontier::follow(const PageResult& page)
{
    if (page.follow.empty())
        return;
    const PageRecord& r = page.record;
    const AnsiString from = r.finalUrl.empty() ? r.address : r.finalUrl;
    const std::optional<AnsiString> fromNormal = normalisedAddress(from);
    const AnsiString fromSite = fromNormal ? SiteKey(*fromNormal) : AnsiString();
    for (const AnsiString& link : page.follow) {
        const std::optional<AnsiString> normal = normalisedAddress(link);
        if (!normal)
            continue; // only http and https join
        const AnsiString site = SiteKey(*normal);
        if (options_.follow == Follow::Site && site != fromSite)
            continue;
        if (options_.follow == Follow::All && db_.sitePages(site) >= options_.maxPerSite)
            continue;
        if (robots_ && robots_->known(*normal) == RobotsPolicy::Verdict::Disallowed)
            continue; // its site's robots.txt forbids it
        if (!db_.remember(*normal))
            continue;
        db_.addRow(*normal, site, r.depth + 1, from);
        ++counts_.queued;
        maybeMore_ = true;
    }
}

Frontier::Written SiteFrontier::writeResultFiles(const std::filesystem::path& dir)
{
    Written written;
    if (counts_.links > 0) {
        writeList({{dir / kAutosaveLinksName, &linksFile_, 0}}, counts_.links, [this](const ResultKey& after, auto& f) {
            db_.eachLinkAfter(after, [&](const ResultKey& key, const AnsiString& link) { f(key, link, link); });
        });
        written.links = true;
    }
    if (counts_.fax > 0) {
        writeList({{dir / kAutosaveFaxName, &faxFile_, 0}, {dir / kFaxOriginsName, &originsFile_, 1}}, counts_.fax,
                  [this](const ResultKey& after, auto& f) { db_.eachFaxAfter(after, f); });
        written.fax = true;
    }
    return written;
}

std::map<int, int64_t> SiteFrontier::pagesPerDepth()
{
    return db_.doneByDepth();
}

} // namespace vq
