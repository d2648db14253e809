// The frontier database of a crawl ("vqfrontier.db", SQLite in WAL mode, held
// by one process at a time):
// the addresses to visit in frontier order (the row id), each with its depth,
// referrer and state, the results of the pages done, and the keys that tell
// whether an address is known already. It stores strings and numbers; which
// links join and how addresses are compared is the search's business.
//
// The file is marked as ours (application_id and user_version). A file that
// is not a frontier, or is damaged, is refused with an error naming it, and
// is replaced only when the caller says so.
#pragma once

#include "text/ansi.h"
#include "text/errors.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace vq {

inline constexpr const char* kFrontierFileName = "vqfrontier.db";

// A database error; the message names the file.
class FrontierDbError : public Exception {
public:
    enum class Kind {
        Other,
        NotAFrontier, // a file that is not a sound frontier: replaced only when told to
        InUse,        // another crawl holds it
        OtherOptions, // made with other options than those it is resumed with
        DiskFull,
    };
    FrontierDbError(const std::filesystem::path& file, const std::string& what, Kind kind = Kind::Other);
    Kind kind() const { return kind_; }

private:
    Kind kind_;
};

// A row of the frontier as it is handed out.
struct FrontierRow {
    int64_t id = 0;
    AnsiString url;
    int depth = 0;
    AnsiString referrer;
};

// The place of a result in frontier order: its page, then its place among
// the page's results. The default key comes before every result.
struct ResultKey {
    int64_t page = 0;
    int64_t seq = -1;
    auto operator<=>(const ResultKey&) const = default;
};

// A page done, as it is written.
struct FrontierPageDone {
    int64_t id = 0;
    bool rendered = true; // false: done for now, visited again by a resume
    AnsiString finalUrl;
    int outcome = 0;
    int64_t ms = 0;
    int attempts = 1;
    int httpStatus = 0;
};

class FrontierDb {
public:
    enum class Open {
        Fresh,        // a new, empty frontier; an existing frontier of ours is replaced
        FreshForcing, // as Fresh, and any file at the path is replaced (--fresh)
        Resume,       // the existing frontier; refused when there is none
    };
    FrontierDb(const std::filesystem::path& file, Open mode);
    ~FrontierDb();
    FrontierDb(const FrontierDb&) = delete;
    FrontierDb& operator=(const FrontierDb&) = delete;

    const std::filesystem::path& file() const { return file_; }

    // A transaction: everything between begin() and commit() is written
    // together or not at all. rollback() is harmless without one.
    void begin();
    void commit();
    void rollback();

    // A key not seen before is remembered: true. Known already: false.
    bool remember(const AnsiString& key);
    // Appends a row in state pending; its id.
    int64_t addRow(const AnsiString& url, const AnsiString& site, int depth, const AnsiString& referrer);
    // Rows on a site so far.
    int64_t sitePages(const AnsiString& site);
    // A fax number not seen before is remembered: true.
    bool rememberFax(const AnsiString& number);
    void addLink(int64_t page, int seq, const AnsiString& link);
    void addFax(int64_t page, int seq, const AnsiString& number);
    void markDone(const FrontierPageDone& page);

    // The pages that could not be rendered become pending again (a resume).
    void requeueUnrendered();
    // Pending rows after `afterId`, in frontier order, at most `limit`.
    std::vector<FrontierRow> pending(int64_t afterId, int limit);

    int64_t countDone();
    int64_t countPending();
    int64_t countLinks();
    int64_t countFax();
    std::map<int, int64_t> doneByDepth();

    // The results after `after` in frontier order, each page's in the order
    // found; a fax number comes with the page it was found on.
    void eachLinkAfter(const ResultKey& after, const std::function<void(const ResultKey&, const AnsiString&)>& f);
    void eachFaxAfter(const ResultKey& after,
                      const std::function<void(const ResultKey&, const AnsiString& number, const AnsiString& origin)>& f);

    // Small settings of the crawl (its search id and the like).
    std::optional<AnsiString> setting(const AnsiString& name);
    void setSetting(const AnsiString& name, const AnsiString& value);

private:
    class Statement;
    void open(Open mode);
    void close();
    void openExisting(bool check);
    void lockForThisProcess();
    void create();
    void exec(const char* sql);
    [[noreturn]] void fail(const std::string& what);
    Statement& prepared(const char* sql);
    int64_t scalar(const char* sql);

    std::filesystem::path file_;
    sqlite3* db_ = nullptr;
    std::map<const char*, std::unique_ptr<Statement>> statements_;
};

} // namespace vq
