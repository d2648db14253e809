// The address form a crawl compares, the shard of a site, and the result
// files a frontier's saves bring up to date.
#include "search/address.h"
#include "search/saved_results.h"
#include "search/site_frontier.h"
#include "state/frontier_db.h"
#include "tests/support/files.h"
#include "text/atomic_file.h"
#include "text/text_file.h"

#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

#include <algorithm>
#include <array>

using namespace vq;
namespace fs = std::filesystem;

namespace {

using test::inodeOf;

AnsiString pageUrl(int row) { return "http://p" + std::to_string(row) + ".example/"; }

// Page `row` finds two links and one number.
PageResult pageOf(int row)
{
    PageResult page;
    page.row = row;
    page.record.address = pageUrl(row);
    page.record.finalUrl = pageUrl(row) + "home";
    page.links = {pageUrl(row) + "a", pageUrl(row) + "b"};
    page.fax = {"0519-8000" + std::to_string(row)};
    return page;
}

// The link, fax and origins files of a frontier holding `rows`, in frontier order.
using Files = std::array<std::vector<AnsiString>, 3>;

Files filesOf(std::vector<int> rows)
{
    std::sort(rows.begin(), rows.end());
    Files f;
    for (const int row : rows) {
        const PageResult page = pageOf(row);
        f[0].insert(f[0].end(), page.links.begin(), page.links.end());
        f[1].push_back(page.fax.front());
        f[2].push_back(page.record.finalUrl);
    }
    return f;
}

// A list crawl's frontier of ten seeds in a temporary directory.
struct Crawl {
    QTemporaryDir tmp;
    fs::path dir{tmp.path().toStdString()};
    std::array<fs::path, 3> files{dir / kAutosaveLinksName, dir / kAutosaveFaxName, dir / kFaxOriginsName};
    std::unique_ptr<FrontierDb> db;
    std::unique_ptr<SiteFrontier> frontier;
    std::vector<int> done;

    Crawl()
    {
        std::vector<AnsiString> seeds;
        for (int row = 1; row <= 10; ++row)
            seeds.push_back(pageUrl(row));
        writeAllLines(dir / "list.txt", seeds);
        db = std::make_unique<FrontierDb>(dir / kFrontierFileName, FrontierDb::Open::Fresh);
        frontier = std::make_unique<SiteFrontier>(*db, FrontierOptions{});
        frontier->seed((dir / "list.txt").string(), 0, 1);
    }
    void commit(const std::vector<int>& rows)
    {
        for (const int row : rows) {
            PageResult page = pageOf(row);
            frontier->commit(page, false);
            done.push_back(row);
        }
    }
    Frontier::Written save() { return frontier->writeResultFiles(dir); }
    Files read() const { return {readAllLines(files[0]), readAllLines(files[1]), readAllLines(files[2])}; }
};

} // namespace

class SiteFrontierTest : public QObject {
    Q_OBJECT

private slots:
    void normalised_data();
    void normalised();
    void shardIsStable();

    void cleanup() { testing::failWritesAfter(-1); }
    void secondSave_data();
    void secondSave();
    void failedSave_data();
    void failedSave();
};

void SiteFrontierTest::normalised_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("expected"); // empty: never joins the frontier
    QTest::newRow("case, default port, dots, fragment")
        << "HTTP://WWW.Example.COM:80/a/./b/../c#frag" << "http://www.example.com/a/c";
    QTest::newRow("https default port, no path") << "https://a.com:443" << "https://a.com/";
    QTest::newRow("other port and query kept") << "https://a.com:8443/x?q=1#f" << "https://a.com:8443/x?q=1";
    QTest::newRow("path case kept") << "http://a.com/Big/Page.HTML" << "http://a.com/Big/Page.HTML";
    QTest::newRow("no scheme") << "a.com/x" << "http://a.com/x";
    QTest::newRow("host and port, no scheme") << "a.com:8080/x" << "http://a.com:8080/x";
    QTest::newRow("trailing ..") << "http://a.com/a/b/.." << "http://a.com/a/";
    QTest::newRow(".. above the root") << "http://a.com/../../x" << "http://a.com/x";
    QTest::newRow("dots in the query untouched") << "http://a.com/x/?u=http://b.com/../y"
                                                 << "http://a.com/x/?u=http://b.com/../y";
    QTest::newRow("user part") << "http://user@A.com/" << "http://user@a.com/";
    QTest::newRow("IPv6 with default port") << "http://[::1]:80/x" << "http://[::1]/x";
    QTest::newRow("spaces around") << "  http://a.com/  " << "http://a.com/";
    QTest::newRow("mailto") << "mailto:x@y.z" << "";
    QTest::newRow("ftp") << "ftp://a.com/file" << "";
    QTest::newRow("javascript") << "javascript:void(0)" << "";
    QTest::newRow("no host") << "http:///x" << "";
}

void SiteFrontierTest::normalised()
{
    QFETCH(QString, address);
    QFETCH(QString, expected);
    const std::optional<AnsiString> got = normalisedAddress(address.toStdString());
    QCOMPARE(got ? QString::fromStdString(*got) : QString(), expected);
}

// Every machine of a sharded crawl must put a site in the same shard: FNV-1a.
void SiteFrontierTest::shardIsStable()
{
    QCOMPARE(shardOfSite("a", 1000), 996);
    QCOMPARE(shardOfSite("example.com", 1), 0);
}

// What happens between two saves, and what the second save makes of the
// files: appended to (the same file) or written whole (a new one).
void SiteFrontierTest::secondSave_data()
{
    QTest::addColumn<std::vector<int>>("first"); // pages committed before the first save
    QTest::addColumn<std::vector<int>>("then");  // and before the second
    QTest::addColumn<QString>("between");        // what else happens
    QTest::addColumn<bool>("faxAppended");
    QTest::addColumn<bool>("othersAppended"); // the links and origins files
    using V = std::vector<int>;
    QTest::newRow("more pages") << V{1, 2} << V{3, 4, 5} << "" << true << true;
    QTest::newRow("nothing new") << V{1, 2} << V{} << "" << true << true;
    QTest::newRow("pages skipped, done later in order") << V{1, 3} << V{5, 7} << "" << true << true;
    QTest::newRow("a lower page done late") << V{1, 3} << V{2, 4} << "" << false << false;
    QTest::newRow("a lower page alone, nothing after") << V{1, 3} << V{2} << "" << false << false;
    QTest::newRow("fax file replaced by someone else") << V{1, 2} << V{3} << "replace" << false << true;
    QTest::newRow("fax file grown by someone else") << V{1, 2} << V{3} << "grow" << false << true;
    QTest::newRow("fax file overwritten in place, same size") << V{1, 2} << V{3} << "overwrite" << false << true;
    QTest::newRow("fax file gone") << V{1, 2} << V{3} << "remove" << false << true;
    QTest::newRow("a new frontier on the database (restart)") << V{1, 2} << V{3} << "restart" << false << false;
}

void SiteFrontierTest::secondSave()
{
    QFETCH(std::vector<int>, first);
    QFETCH(std::vector<int>, then);
    QFETCH(QString, between);
    QFETCH(bool, faxAppended);
    QFETCH(bool, othersAppended);
    Crawl c;
    c.commit(first);
    c.save();
    QCOMPARE(c.read(), filesOf(c.done));
    std::array<ino_t, 3> inodes;
    for (int i = 0; i < 3; ++i) {
        inodes[i] = inodeOf(c.files[i]);
        // Held by a second name, no file written later can get its number.
        fs::create_hard_link(c.files[i], fs::path(c.files[i]) += ".held");
    }
    c.commit(then);
    const fs::path& fax = c.files[1];
    if (between == "replace")
        writeAllLines(fax, {"x", "y"});
    if (between == "grow")
        test::writeBytes(fax, test::readBytes(fax) + "0519-1\r\n");
    if (between == "overwrite")
        test::writeBytes(fax, std::string(test::readBytes(fax).size(), 'x'));
    if (between == "remove")
        fs::remove(fax);
    if (between == "restart")
        c.frontier = std::make_unique<SiteFrontier>(*c.db, FrontierOptions{});
    const Frontier::Written written = c.save();
    QVERIFY(written.links && written.fax);
    QCOMPARE(c.read(), filesOf(c.done));
    QCOMPARE(inodeOf(c.files[0]) == inodes[0], othersAppended);
    QCOMPARE(inodeOf(c.files[1]) == inodes[1], faxAppended);
    QCOMPARE(inodeOf(c.files[2]) == inodes[2], othersAppended);
}

// A save that fails part-way leaves every file a whole prefix of what it is
// brought up to, the failing one as it was; the next save completes them.
void SiteFrontierTest::failedSave_data()
{
    QTest::addColumn<int>("failing"); // 0 the link file, 1 the fax file, 2 the origins file
    QTest::addColumn<bool>("whole");  // the save writes the files whole
    QTest::newRow("appending the links") << 0 << false;
    QTest::newRow("appending the numbers") << 1 << false;
    QTest::newRow("appending their pages") << 2 << false;
    QTest::newRow("writing the links whole") << 0 << true;
    QTest::newRow("writing the numbers whole") << 1 << true;
    QTest::newRow("writing their pages whole") << 2 << true;
}

void SiteFrontierTest::failedSave()
{
    QFETCH(int, failing);
    QFETCH(bool, whole);
    Crawl c;
    c.commit({1, 3});
    c.save();
    std::array<std::string, 3> before;
    for (int i = 0; i < 3; ++i)
        before[i] = test::readBytes(c.files[i]);
    c.commit(whole ? std::vector<int>{2, 4} : std::vector<int>{4, 5});
    const Files after = filesOf(c.done);
    // The bytes the save writes to the files ahead of the failing one, and a few more.
    const size_t kept = whole ? 0 : 2; // pages whose results stay in the files
    long long allowance = 5;
    for (int i = 0; i < failing; ++i)
        for (size_t line = kept * (i == 0 ? 2 : 1); line < after[i].size(); ++line)
            allowance += static_cast<long long>(after[i][line].size()) + 2;
    testing::failWritesAfter(allowance);
    QVERIFY_THROWS_EXCEPTION(EInOutError, c.save());
    testing::failWritesAfter(-1);
    QCOMPARE(test::readBytes(c.files[failing]), before[failing]);
    for (int i = 0; i < 3; ++i)
        QVERIFY(test::readBytes(c.files[i]) == before[i] || readAllLines(c.files[i]) == after[i]);
    c.save();
    QCOMPARE(c.read(), filesOf(c.done));
}

QTEST_GUILESS_MAIN(SiteFrontierTest)
#include "test_site_frontier.moc"
