// vqharvest crawl on a frontier, run as a process over a small site this test
// serves: depths, --follow and --max-per-site, lanes, kill -9 and --resume,
// a frontier file that is not one, shards by site, and --frontier on a list.

#include "tests/support/files.h"
#include "tests/support/harvest_process.h"
#include "tests/support/page_server.h"
#include "tests/support/site_pages.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

#include <csignal>
#include <optional>

using vq::test::readFile;
using vq::test::writeFile;

namespace {

using vq::test::Site;

struct Run {
    int code = -1;
    QByteArray err;
};

QStringList lines(const QByteArray& text)
{
    QStringList out;
    for (const QByteArray& l : text.split('\n')) {
        if (!l.trimmed().isEmpty())
            out << QString::fromUtf8(l.trimmed());
    }
    return out;
}

} // namespace

class TestSiteCrawl : public QObject {
    Q_OBJECT

private slots:
    void depthsAndFollow_data();
    void depthsAndFollow();
    void killAndResume();
    void notAFrontier_data();
    void notAFrontier();
    void shardsBySite();
    void frontierOnAList();
    void unrenderedThenResumed();

private:
    Run crawl(const QString& list, const QString& out, const QStringList& extra, int timeoutMs = 60000);
    // The three result files, the server's port left out.
    static QByteArray results(const QString& out, const Site& site)
    {
        QByteArray all = readFile(out + "/autosave&web.txt") + "|" + readFile(out + "/autosave&fax.txt") + "|" +
                         readFile(out + "/vqorigins.txt");
        return all.replace(site.port(), ":PORT/");
    }

    vq::test::HarvestProcess harvest_;
    QTemporaryDir dir_;
    QHash<QString, QByteArray> byRow_;
};

Run TestSiteCrawl::crawl(const QString& list, const QString& out, const QStringList& extra, int timeoutMs)
{
    QProcess p;
    harvest_.start(p, QStringList{"crawl", list, "--out", out, "--speed", "0", "--settle", "0", "--no-net-check",
                                  "--quiet", "--links", "--fax"} +
                          extra);
    if (!vq::test::HarvestProcess::waitForExit(p, timeoutMs))
        return {};
    return {p.exitCode(), p.readAllStandardError()};
}

// Which pages each crawl visits (every one once), and the numbers it finds in
// frontier order. "/moved" redirects to "/co/9": its results are that page's.
void TestSiteCrawl::depthsAndFollow_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QStringList>("fax");
    QTest::addColumn<QString>("sameAs"); // a row whose result files this row's equal

    const QStringList depth1{"010-10000000", "010-20000001", "010-20000002", "010-20000009"};
    const QStringList depth2 = depth1 + QStringList{"021-30000001", "021-30000002", "021-30000009"};
    QTest::newRow("depth 0") << QStringList{"--depth", "0", "--frontier"} << QStringList{"010-10000000"} << "";
    QTest::newRow("depth 1") << QStringList{"--depth", "1"} << depth1 << "";
    QTest::newRow("depth 2") << QStringList{"--depth", "2"} << depth2 << "";
    QTest::newRow("depth 2, 8 lanes") << QStringList{"--depth", "2", "--lanes", "8", "--per-host", "8"} << depth2
                                      << "depth 2";
    QTest::newRow("follow all") << QStringList{"--depth", "1", "--follow", "all"}
                                << depth1 + QStringList{"0755-5000000"} << "";
    QTest::newRow("follow all, 2 per site")
        << QStringList{"--depth", "1", "--follow", "all", "--max-per-site", "2"}
        << QStringList{"010-10000000", "010-20000001", "0755-5000000"} << "";
}

void TestSiteCrawl::depthsAndFollow()
{
    QFETCH(QStringList, args);
    QFETCH(QStringList, fax);
    QFETCH(QString, sameAs);
    Site site;
    const QString list = dir_.filePath("seed.txt");
    QVERIFY(writeFile(list, site.url("/dir") + "\n"));
    const QString out = dir_.filePath(QTest::currentDataTag());
    const Run r = crawl(list, out, args);
    QCOMPARE(r.code, 0);
    QCOMPARE(lines(readFile(out + "/autosave&fax.txt")), fax);
    const QHash<QByteArray, int> served = site.servedAll();
    for (auto it = served.begin(); it != served.end(); ++it)
        QVERIFY2(it.value() == 1, it.key().constData()); // each page once, whatever the links
    QVERIFY(!served.contains("/co/1/contact/more")); // beyond the depth
    const QStringList web = lines(readFile(out + "/autosave&web.txt"));
    QVERIFY(!web.isEmpty());
    byRow_[QTest::currentDataTag()] = results(out, site);
    if (!sameAs.isEmpty())
        QCOMPARE(results(out, site), byRow_.value(sameAs));
}

// kill -9 in the middle of a crawl, then --resume: the same files as a crawl
// that ran through, and no page fetched twice but those in flight at the kill.
void TestSiteCrawl::killAndResume()
{
    const QString list = dir_.filePath("kill.txt");
    const QStringList args{"--depth", "2", "--lanes", "2", "--per-host", "2", "--report", "@report"};
    auto withReport = [](QStringList a, const QString& out) {
        a.replaceInStrings("@report", out + "/report.json");
        return a;
    };
    QByteArray whole;
    {
        Site site(8, 60);
        QVERIFY(writeFile(list, site.url("/dir") + "\n"));
        const QString out = dir_.filePath("whole");
        QCOMPARE(crawl(list, out, withReport(args, out)).code, 0);
        whole = results(out, site);
    }
    Site site(8, 60);
    QVERIFY(writeFile(list, site.url("/dir") + "\n"));
    const QString out = dir_.filePath("killed");
    QDir().mkpath(out);
    QProcess p;
    int count = 0;
    site.onServed = [&] {
        if (++count == 9)
            ::kill(pid_t(p.processId()), SIGKILL);
    };
    harvest_.start(p, QStringList{"crawl", list, "--out", out, "--speed", "0", "--settle", "0", "--no-net-check",
                                  "--quiet", "--links", "--fax"} +
                          withReport(args, out));
    vq::test::HarvestProcess::waitForExit(p, 60000);
    QCOMPARE(p.exitStatus(), QProcess::CrashExit);
    const QHash<QByteArray, int> before = site.servedAll();
    QCOMPARE(crawl(list, out, withReport(args, out) << "--resume").code, 0);
    QCOMPARE(results(out, site), whole);
    const QHash<QByteArray, int> after = site.servedAll();
    int twice = 0;
    for (auto it = after.begin(); it != after.end(); ++it)
        twice += it.value() > 1 ? 1 : 0;
    QVERIFY2(twice <= 2, qPrintable(QString::number(twice))); // at most the two lanes' pages
    QVERIFY(before.size() < after.size());
    // Resumed with another depth, the frontier would mix two crawls: refused.
    const Run other = crawl(list, out, {"--depth", "1", "--resume"});
    QCOMPARE(other.code, 1);
    QVERIFY(other.err.contains("vqfrontier.db"));
}

// A file in the frontier's place that is not a sound frontier is refused,
// named, and left as it was; --fresh replaces it.
void TestSiteCrawl::notAFrontier_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("truncate"); // a real frontier cut short
    QTest::newRow("text") << QByteArray("a list of addresses\n") << false;
    QTest::newRow("another SQLite file") << QByteArray() << false;
    QTest::newRow("damaged frontier") << QByteArray() << true;
}

void TestSiteCrawl::notAFrontier()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, truncate);
    Site site;
    const QString list = dir_.filePath("one.txt");
    QVERIFY(writeFile(list, site.url("/dir") + "\n"));
    const QString out = dir_.filePath(QString("bad ") + QTest::currentDataTag());
    QDir().mkpath(out);
    const QString db = out + "/vqfrontier.db";
    if (truncate) {
        QCOMPARE(crawl(list, out, {"--depth", "1"}).code, 0);
        QByteArray bytes = readFile(db);
        QVERIFY(bytes.size() > 8192);
        bytes.replace(4096, 4096, QByteArray(4096, '\xff')); // the first table's page
        QVERIFY(writeFile(db, bytes));
    } else if (content.isEmpty()) {
        sqlite3* other = nullptr;
        QCOMPARE(sqlite3_open(db.toUtf8().constData(), &other), SQLITE_OK);
        QCOMPARE(sqlite3_exec(other, "CREATE TABLE notes(text); INSERT INTO notes VALUES('mine');", nullptr,
                              nullptr, nullptr),
                 SQLITE_OK);
        sqlite3_close(other);
    } else {
        QVERIFY(writeFile(db, content));
    }
    const QByteArray original = readFile(db);
    for (const QStringList& args : {QStringList{"--depth", "1"}, QStringList{"--depth", "1", "--resume"}}) {
        const Run r = crawl(list, out, args);
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains(db.toUtf8()), r.err.constData());
        QCOMPARE(readFile(db), original);
    }
    QCOMPARE(crawl(list, out, {"--depth", "1", "--fresh"}).code, 0);
    QCOMPARE(lines(readFile(out + "/autosave&fax.txt")).size(), 4);
}

// Shards by site: together they do the unsharded crawl, and never overlap.
void TestSiteCrawl::shardsBySite()
{
    Site site;
    const QString list = dir_.filePath("sites.txt");
    QVERIFY(writeFile(list, site.url("/dir") + "\n" + site.url("/other", true) + "\n" + site.url("/co/3") + "\n"));
    const QStringList args{"--depth", "1"};
    QCOMPARE(crawl(list, dir_.filePath("all"), args).code, 0);
    const QStringList all = lines(readFile(dir_.filePath("all") + "/autosave&fax.txt"));
    QStringList merged;
    for (int k = 1; k <= 2; ++k) {
        const QString out = dir_.filePath("shard" + QString::number(k));
        QCOMPARE(crawl(list, out, args + QStringList{"--shard", QString("%1/2").arg(k)}).code, 0);
        merged += lines(readFile(out + "/autosave&fax.txt"));
    }
    QCOMPARE(merged.size(), all.size());
    merged.sort();
    QStringList sorted = all;
    sorted.sort();
    QCOMPARE(merged, sorted);
    const Run refused = crawl(list, dir_.filePath("refused"), {"--depth", "1", "--follow", "all", "--shard", "1/2"});
    QCOMPARE(refused.code, 2);
    QVERIFY(refused.err.contains("--follow all"));
}

// --frontier on a plain list: the files of the list crawl, byte for byte,
// repeated lines, other schemes and missing pages included.
void TestSiteCrawl::frontierOnAList()
{
    Site site;
    const QString list = dir_.filePath("list.txt");
    QVERIFY(writeFile(list, site.url("/co/1") + "\n" + site.url("/nothing") + "\nmailto:a@b.c\n" +
                                site.url("/co/2#x") + "\n" + site.url("/co/1") + "\n" + site.url("/moved") + "\n"));
    const QStringList args{"--dedup", "--lanes", "3"};
    QCOMPARE(crawl(list, dir_.filePath("plain"), args).code, 0);
    QCOMPARE(crawl(list, dir_.filePath("frontier"), args + QStringList{"--frontier"}).code, 0);
    QVERIFY(!readFile(dir_.filePath("plain") + "/autosave&fax.txt").isEmpty());
    QCOMPARE(results(dir_.filePath("frontier"), site), results(dir_.filePath("plain"), site));
}

// A page whose renderer had to be ended stays to do: --resume visits it again,
// and its results take their place in frontier order.
void TestSiteCrawl::unrenderedThenResumed()
{
    Site site;
    const QString list = dir_.filePath("hog.txt");
    QVERIFY(writeFile(list, site.url("/co/1") + "\n" + site.url("/hog") + "\n" + site.url("/co/2") + "\n"));
    const QString out = dir_.filePath("hog");
    const QStringList args{"--frontier", "--max-page-mb", "300"};
    const Run first = crawl(list, out, args);
    QVERIFY2(first.code == 0, first.err.constData());
    QCOMPARE(lines(readFile(out + "/autosave&fax.txt")), (QStringList{"010-20000001", "010-20000002"}));
    const Run resumed = crawl(list, out, args + QStringList{"--resume"});
    QVERIFY2(resumed.code == 0, resumed.err.constData());
    QCOMPARE(lines(readFile(out + "/autosave&fax.txt")), (QStringList{"010-20000001", "0571-60000000", "010-20000002"}));
    QCOMPARE(site.servedAll().value("/co/1"), 1);
}

QTEST_GUILESS_MAIN(TestSiteCrawl)
#include "test_site_crawl.moc"
