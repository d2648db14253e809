#include "state/frontier_db.h"

#include "text/paths.h"

#include <sqlite3.h>

#include <system_error>

namespace vq {

namespace {

// "VQFr": the mark of a frontier file, and the layout of its tables.
constexpr int kApplicationId = 0x56514672;
constexpr int kLayoutVersion = 1;

const char* const kSchema = R"sql(
CREATE TABLE page(
  id INTEGER PRIMARY KEY,   -- frontier order
  url TEXT NOT NULL,        -- the address visited
  site TEXT NOT NULL,       -- its site key
  depth INTEGER NOT NULL,
  referrer TEXT NOT NULL,   -- the page it was found on; empty for a seed
  state INTEGER NOT NULL DEFAULT 0, -- 0 pending, 1 done, 2 not rendered (pending again on a resume)
  final TEXT, outcome INTEGER, ms INTEGER, attempts INTEGER, status INTEGER);
CREATE TABLE known(key TEXT PRIMARY KEY) WITHOUT ROWID;
CREATE TABLE site(key TEXT PRIMARY KEY, pages INTEGER NOT NULL) WITHOUT ROWID;
CREATE TABLE link(page INTEGER, seq INTEGER, text TEXT NOT NULL, PRIMARY KEY(page, seq)) WITHOUT ROWID;
CREATE TABLE fax(page INTEGER, seq INTEGER, number TEXT NOT NULL, PRIMARY KEY(page, seq)) WITHOUT ROWID;
CREATE TABLE faxseen(number TEXT PRIMARY KEY) WITHOUT ROWID;
CREATE TABLE setting(name TEXT PRIMARY KEY, value TEXT NOT NULL) WITHOUT ROWID;
)sql";

void removeDatabaseFiles(const std::filesystem::path& file)
{
    std::error_code ec;
    for (const char* suffix : {"", "-wal", "-shm"}) {
        std::filesystem::path part = file;
        part += suffix;
        std::filesystem::remove(part, ec);
    }
}

} // namespace

FrontierDbError::FrontierDbError(const std::filesystem::path& file, const std::string& what, Kind kind)
    : Exception(pathToUtf8(file) + ": " + what), kind_(kind)
{
}

// A prepared statement, reset after each use.
class FrontierDb::Statement {
public:
    Statement(FrontierDb& db, const char* sql) : db_(db)
    {
        if (sqlite3_prepare_v2(db.db_, sql, -1, &s_, nullptr) != SQLITE_OK)
            db.fail(sqlite3_errmsg(db.db_));
    }
    ~Statement() { sqlite3_finalize(s_); }

    Statement& bind(int i, int64_t v)
    {
        sqlite3_bind_int64(s_, i, v);
        return *this;
    }
    Statement& bind(int i, const AnsiString& v)
    {
        sqlite3_bind_text(s_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    // True while there is a row.
    bool step()
    {
        const int rc = sqlite3_step(s_);
        if (rc == SQLITE_ROW)
            return true;
        sqlite3_reset(s_);
        if (rc != SQLITE_DONE)
            db_.fail(sqlite3_errmsg(db_.db_));
        sqlite3_clear_bindings(s_);
        return false;
    }
    void run()
    {
        while (step()) {
        }
    }
    void done()
    {
        sqlite3_reset(s_);
        sqlite3_clear_bindings(s_);
    }
    int64_t integer(int col) { return sqlite3_column_int64(s_, col); }
    AnsiString text(int col)
    {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(s_, col));
        return p ? AnsiString(p, static_cast<size_t>(sqlite3_column_bytes(s_, col))) : AnsiString();
    }

private:
    FrontierDb& db_;
    sqlite3_stmt* s_ = nullptr;
};

FrontierDb::FrontierDb(const std::filesystem::path& file, Open mode) : file_(file)
{
    try {
        open(mode);
    } catch (...) {
        close();
        throw;
    }
}

void FrontierDb::close()
{
    statements_.clear(); // finalized before the connection closes
    if (db_)
        sqlite3_close(db_);
    db_ = nullptr;
}

void FrontierDb::open(Open mode)
{
    const std::filesystem::path& file = file_;
    std::error_code ec;
    const bool exists = std::filesystem::exists(file, ec);
    if (mode == Open::Resume) {
        if (!exists)
            throw FrontierDbError(file, "no frontier to resume");
        openExisting(true);
        return;
    }
    if (exists && mode == Open::Fresh) {
        // Only a sound frontier of ours is replaced without being told to.
        openExisting(true);
        close();
    }
    removeDatabaseFiles(file);
    create();
}

FrontierDb::~FrontierDb()
{
    close();
}

void FrontierDb::fail(const std::string& what)
{
    const int code = db_ ? sqlite3_errcode(db_) & 0xff : SQLITE_ERROR;
    throw FrontierDbError(file_, what, code == SQLITE_FULL ? FrontierDbError::Kind::DiskFull
                                                           : FrontierDbError::Kind::Other);
}

void FrontierDb::exec(const char* sql)
{
    char* error = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string what = error ? error : "database error";
        sqlite3_free(error);
        fail(what);
    }
}

FrontierDb::Statement& FrontierDb::prepared(const char* sql)
{
    auto& s = statements_[sql];
    if (!s)
        s = std::make_unique<Statement>(*this, sql);
    return *s;
}

void FrontierDb::openExisting(bool check)
{
    if (sqlite3_open_v2(pathToUtf8(file_).c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
        fail(std::string("cannot open the frontier: ") + sqlite3_errmsg(db_));
    lockForThisProcess();
    int64_t id = 0, version = 0;
    try {
        Statement app(*this, "PRAGMA application_id");
        if (app.step())
            id = app.integer(0);
        app.done();
        Statement user(*this, "PRAGMA user_version");
        if (user.step())
            version = user.integer(0);
        user.done();
    } catch (const FrontierDbError&) {
        if ((sqlite3_errcode(db_) & 0xff) == SQLITE_BUSY)
            throw FrontierDbError(file_, "the frontier is in use by another crawl", FrontierDbError::Kind::InUse);
        throw FrontierDbError(file_, "not a frontier database (not an SQLite database, or damaged)",
                              FrontierDbError::Kind::NotAFrontier);
    }
    if (id != kApplicationId)
        throw FrontierDbError(file_, "not a frontier database", FrontierDbError::Kind::NotAFrontier);
    if (version != kLayoutVersion)
        throw FrontierDbError(file_, "a frontier of another version (" + std::to_string(version) + ")",
                              FrontierDbError::Kind::NotAFrontier);
    if (check) {
        AnsiString verdict;
        try {
            Statement quick(*this, "PRAGMA quick_check");
            verdict = quick.step() ? quick.text(0) : AnsiString("no answer");
            quick.done();
        } catch (const FrontierDbError&) {
            verdict = sqlite3_errmsg(db_);
        }
        if (verdict != "ok")
            throw FrontierDbError(file_, "the frontier database is damaged (" + verdict + ")",
                                  FrontierDbError::Kind::NotAFrontier);
    }
    exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;");
}

void FrontierDb::lockForThisProcess()
{
    // One crawl at a time, and its write-ahead log without shared memory, so
    // that the frontier also works on a network volume.
    exec("PRAGMA locking_mode=EXCLUSIVE");
}

void FrontierDb::create()
{
    if (sqlite3_open_v2(pathToUtf8(file_).c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK)
        fail(std::string("cannot create the frontier: ") + sqlite3_errmsg(db_));
    lockForThisProcess();
    exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;");
    begin();
    exec(kSchema);
    exec(("PRAGMA application_id=" + std::to_string(kApplicationId) + "; PRAGMA user_version=" +
          std::to_string(kLayoutVersion) + ";")
             .c_str());
    commit();
}

void FrontierDb::begin() { exec("BEGIN IMMEDIATE"); }
void FrontierDb::commit() { exec("COMMIT"); }

void FrontierDb::rollback()
{
    if (db_ && !sqlite3_get_autocommit(db_))
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
}

bool FrontierDb::remember(const AnsiString& key)
{
    prepared("INSERT OR IGNORE INTO known(key) VALUES(?)").bind(1, key).run();
    return sqlite3_changes(db_) > 0;
}

int64_t FrontierDb::addRow(const AnsiString& url, const AnsiString& site, int depth, const AnsiString& referrer)
{
    prepared("INSERT INTO page(url, site, depth, referrer) VALUES(?, ?, ?, ?)")
        .bind(1, url)
        .bind(2, site)
        .bind(3, depth)
        .bind(4, referrer)
        .run();
    const int64_t id = sqlite3_last_insert_rowid(db_);
    prepared("INSERT INTO site(key, pages) VALUES(?, 1) ON CONFLICT(key) DO UPDATE SET pages = pages + 1")
        .bind(1, site)
        .run();
    return id;
}

int64_t FrontierDb::sitePages(const AnsiString& site)
{
    Statement& s = prepared("SELECT pages FROM site WHERE key = ?").bind(1, site);
    const int64_t n = s.step() ? s.integer(0) : 0;
    s.done();
    return n;
}

bool FrontierDb::rememberFax(const AnsiString& number)
{
    prepared("INSERT OR IGNORE INTO faxseen(number) VALUES(?)").bind(1, number).run();
    return sqlite3_changes(db_) > 0;
}

void FrontierDb::addLink(int64_t page, int seq, const AnsiString& link)
{
    prepared("INSERT INTO link(page, seq, text) VALUES(?, ?, ?)").bind(1, page).bind(2, seq).bind(3, link).run();
}

void FrontierDb::addFax(int64_t page, int seq, const AnsiString& number)
{
    prepared("INSERT INTO fax(page, seq, number) VALUES(?, ?, ?)").bind(1, page).bind(2, seq).bind(3, number).run();
}

void FrontierDb::markDone(const FrontierPageDone& p)
{
    prepared("UPDATE page SET state = ?, final = ?, outcome = ?, ms = ?, attempts = ?, status = ? WHERE id = ?")
        .bind(1, p.rendered ? 1 : 2)
        .bind(2, p.finalUrl)
        .bind(3, p.outcome)
        .bind(4, p.ms)
        .bind(5, p.attempts)
        .bind(6, p.httpStatus)
        .bind(7, p.id)
        .run();
}

void FrontierDb::requeueUnrendered()
{
    exec("UPDATE page SET state = 0 WHERE state = 2");
}

std::vector<FrontierRow> FrontierDb::pending(int64_t afterId, int limit)
{
    std::vector<FrontierRow> rows;
    Statement& s =
        prepared("SELECT id, url, depth, referrer FROM page WHERE id > ? AND state = 0 ORDER BY id LIMIT ?")
            .bind(1, afterId)
            .bind(2, limit);
    while (s.step())
        rows.push_back({s.integer(0), s.text(1), static_cast<int>(s.integer(2)), s.text(3)});
    return rows;
}

int64_t FrontierDb::scalar(const char* sql)
{
    Statement& s = prepared(sql);
    const int64_t n = s.step() ? s.integer(0) : 0;
    s.done();
    return n;
}

int64_t FrontierDb::countDone() { return scalar("SELECT count(*) FROM page WHERE state <> 0"); }
int64_t FrontierDb::countPending() { return scalar("SELECT count(*) FROM page WHERE state = 0"); }
int64_t FrontierDb::countLinks() { return scalar("SELECT count(*) FROM link"); }
int64_t FrontierDb::countFax() { return scalar("SELECT count(*) FROM fax"); }

std::map<int, int64_t> FrontierDb::doneByDepth()
{
    std::map<int, int64_t> byDepth;
    Statement& s = prepared("SELECT depth, count(*) FROM page WHERE state <> 0 GROUP BY depth");
    while (s.step())
        byDepth[static_cast<int>(s.integer(0))] = s.integer(1);
    return byDepth;
}

void FrontierDb::eachLinkAfter(const ResultKey& after,
                               const std::function<void(const ResultKey&, const AnsiString&)>& f)
{
    // A statement of its own: a callback that raises leaves no cached
    // statement half-stepped.
    Statement s(*this, "SELECT page, seq, text FROM link WHERE (page, seq) > (?, ?) ORDER BY page, seq");
    s.bind(1, after.page).bind(2, after.seq);
    while (s.step())
        f({s.integer(0), s.integer(1)}, s.text(2));
}

void FrontierDb::eachFaxAfter(const ResultKey& after,
                              const std::function<void(const ResultKey&, const AnsiString&, const AnsiString&)>& f)
{
    Statement s(*this, "SELECT fax.page, fax.seq, fax.number, page.final FROM fax JOIN page ON page.id = fax.page "
                       "WHERE (fax.page, fax.seq) > (?, ?) ORDER BY fax.page, fax.seq");
    s.bind(1, after.page).bind(2, after.seq);
    while (s.step())
        f({s.integer(0), s.integer(1)}, s.text(2), s.text(3));
}

std::optional<AnsiString> FrontierDb::setting(const AnsiString& name)
{
    Statement& s = prepared("SELECT value FROM setting WHERE name = ?").bind(1, name);
    std::optional<AnsiString> value;
    if (s.step())
        value = s.text(0);
    s.done();
    return value;
}

void FrontierDb::setSetting(const AnsiString& name, const AnsiString& value)
{
    prepared("INSERT OR REPLACE INTO setting(name, value) VALUES(?, ?)").bind(1, name).bind(2, value).run();
}

} // namespace vq
