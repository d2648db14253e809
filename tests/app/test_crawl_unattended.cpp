// vqharvest crawl left alone with hostile pages and faults: scripts that never
// return, renderers that die or grow, schemes that are not the web, signals,
// output that cannot be written, lists that are not files; and lanes that
// read many pages at once. Pages come from the shared page server.
#include "tests/support/files.h"
#include "tests/support/harvest_process.h"
#include "tests/support/page_server.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/stat.h>
#include <sys/types.h>

using namespace vq;
using vq::test::readFile;
using vq::test::writeFile;

namespace {

QByteArray faxNumber(int i) { return "0519-8" + QByteArray::number(1000000 + i); }

// Hostile and ordinary pages by name: "good<i>" carries fax number i.
class Pages {
public:
    Pages()
    {
        const QByteArray head = "<html><head><meta charset=\"utf-8\"></head><body>";
        server_.setGenerator([this, head](const QByteArray& path) -> std::optional<test::PageServer::Response> {
            if (path.startsWith("/favicon"))
                return std::nullopt;
            QByteArray body;
            if (path.startsWith("/good"))
                body = "<p>传真：" + faxNumber(path.mid(5).toInt()) + "</p><a href=\"/x" + path + "\">x</a>";
            else if (path == "/hang")
                body = "<script>while (true) {}</script>";
            else if (path == "/alerts")
                body = "<script>while (true) { alert(1); confirm(2); prompt(3); }</script>";
            else if (path == "/memory")
                body = "<script>var a = []; while (true) a.push(new Float64Array(1 << 20).fill(1));</script>";
            else
                return std::nullopt;
            test::PageServer::Response r{"200 OK", "text/html; charset=utf-8", head + body + "</body></html>", {}, true};
            r.delayMs = delayMs;
            return r;
        });
    }
    QString url(const QByteArray& name) const { return server_.url("/" + QString::fromLatin1(name)); }
    // The list's text: names become addresses, anything with ':' or a
    // control byte first stays as it is.
    QByteArray list(const QList<QByteArray>& lines) const
    {
        QByteArray text;
        for (const QByteArray& l : lines)
            text += (l.contains(':') || (!l.isEmpty() && uchar(l[0]) < 0x20) ? l : url(l).toLatin1()) + "\r\n";
        return text;
    }
    test::PageServer& server() { return server_; }
    int delayMs = 0;

private:
    test::PageServer server_;
};

struct Crawl {
    int code = -1;
    QByteArray err;
    qint64 ms = 0;
    QList<QByteArray> outcomes; // from the report, in list order
    QByteArray fax;             // "autosave&fax.txt"
    int position = -1;          // line 2 of the state file
};

// The processes below `pid` (its QtWebEngineProcess helpers and theirs).
QList<qint64> descendants(qint64 pid)
{
    QHash<qint64, qint64> parent;
    QDirIterator it("/proc");
    while (it.hasNext()) {
        const QString dir = it.next();
        bool ok = false;
        const qint64 p = QFileInfo(dir).fileName().toLongLong(&ok);
        if (!ok)
            continue;
        const QByteArray stat = readFile(dir + "/stat");
        const QList<QByteArray> f = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
        if (f.size() > 1)
            parent[p] = f[1].toLongLong();
    }
    QList<qint64> out;
    for (auto i = parent.cbegin(); i != parent.cend(); ++i) {
        for (qint64 up = i.value(); up > 1; up = parent.value(up, 0)) {
            if (up == pid) {
                out << i.key();
                break;
            }
        }
    }
    return out;
}

// Renderers are the zygotes' children; with `helpers`, the zygotes that start
// them go too.
void killBrowserProcesses(qint64 pid, bool helpers)
{
    const QList<qint64> below = descendants(pid);
    for (qint64 p : below) {
        const bool zygote = readFile(QStringLiteral("/proc/%1/cmdline").arg(p)).contains("--type=zygote");
        const qint64 parentPid = readFile(QStringLiteral("/proc/%1/stat").arg(p)).split(' ').value(3).toLongLong();
        const bool childOfZygote = below.contains(parentPid) &&
                                   readFile(QStringLiteral("/proc/%1/cmdline").arg(parentPid)).contains("--type=zygote");
        if (childOfZygote || (helpers && zygote))
            ::kill(pid_t(p), SIGKILL);
    }
}

} // namespace

class TestCrawlUnattended : public QObject {
    Q_OBJECT

private slots:
    void hostilePages_data();
    void hostilePages();
    void brokenRenderers_data();
    void brokenRenderers();
    void stopOnSignals_data();
    void stopOnSignals();
    void outputProblems_data();
    void outputProblems();
    void badLists_data();
    void badLists();
    void lanesMatchOneLane();
    void perHostCapHolds();
    void stopWithLanesBusyThenResume();

private:
    // Runs a crawl of `lines` to its end; `during` runs once the server has
    // answered `after` page requests, with the child's pid.
    Crawl crawl(Pages& pages, const QList<QByteArray>& lines, const QStringList& extra,
                int after = -1, const std::function<void(qint64)>& during = {});

    test::HarvestProcess harvest_;
    QTemporaryDir dir_;
    int runs_ = 0;
};

Crawl TestCrawlUnattended::crawl(Pages& pages, const QList<QByteArray>& lines, const QStringList& extra, int after,
                                 const std::function<void(qint64)>& during)
{
    const QString base = dir_.filePath(QString::number(++runs_));
    QDir().mkpath(base);
    writeFile(base + "/list.txt", pages.list(lines));
    QStringList args{"crawl", base + "/list.txt", "--fax", "--no-net-check", "--quiet", "--out", base + "/out",
                     "--report", base + "/report.json"};
    for (const QString& e : extra)
        args << (e.startsWith('@') ? base + "/" + e.mid(1) : e);

    QProcess p;
    bool fired = false;
    QTimer poll;
    if (during) {
        QObject::connect(&poll, &QTimer::timeout, &p, [&] {
            int n = 0;
            for (const QByteArray& l : lines)
                n += pages.server().requestCount("/" + l) > 0 ? 1 : 0;
            if (n >= after && !fired && p.processId() > 0) {
                fired = true;
                QTimer::singleShot(300, &p, [&] { during(p.processId()); });
            }
        });
        poll.start(20);
    }
    QElapsedTimer clock;
    clock.start();
    harvest_.start(p, args);
    Crawl c;
    if (!test::HarvestProcess::waitForExit(p, 120000))
        return c;
    c.ms = clock.elapsed();
    c.code = p.exitCode();
    c.err = p.readAllStandardError();
    for (const QByteArray& line : readFile(base + "/report.json").split('\n')) {
        if (!line.isEmpty())
            c.outcomes << QJsonDocument::fromJson(line).object().value("outcome").toString().toUtf8();
    }
    c.fax = readFile(base + "/out/autosave&fax.txt");
    const QList<QByteArray> state = readFile(base + "/out/vqdornavik.ini").split('\n');
    if (state.size() > 1)
        c.position = state[1].trimmed().toInt();
    return c;
}

// Every good page after a hostile one is still read (items 1, 7, 8).
void TestCrawlUnattended::hostilePages_data()
{
    QTest::addColumn<QList<QByteArray>>("lines");
    QTest::addColumn<QStringList>("extra");
    QTest::addColumn<QList<QByteArray>>("outcomes");
    using B = QList<QByteArray>;
    const QStringList fast{"--speed", "0", "--page-timeout", "3"};
    QTest::newRow("script that never returns")
        << B{"good1", "hang", "good2", "good3", "good4"} << fast
        << B{"scanned", "timeout", "scanned", "scanned", "scanned"};
    QTest::newRow("dialogs in a loop") << B{"good1", "alerts", "good2"} << fast << B{"scanned", "timeout", "scanned"};
    QTest::newRow("never returns, at speed 1") << B{"good1", "hang", "good2"} << QStringList{"--speed", "1"}
                                               << B{"scanned", "timeout", "scanned"};
    QTest::newRow("local file and script lines")
        << B{"good1", "file:///etc/passwd", "javascript:while(1){}", "good2"} << fast
        << B{"scanned", "skipped scheme", "skipped scheme", "scanned"};
    QTest::newRow("binary junk") << B{"good1", "\x01\x02\xFF\xFE garbage", "\x1B\x7F", "good2"} << fast
                                 << B{"scanned", "not an address", "not an address", "scanned"};
    QTest::newRow("memory beyond the cap") << B{"memory", "good1"} << (fast + QStringList{"--max-page-mb", "300"})
                                           << B{"render failure", "scanned"};
}

void TestCrawlUnattended::hostilePages()
{
    QFETCH(QList<QByteArray>, lines);
    QFETCH(QStringList, extra);
    QFETCH(QList<QByteArray>, outcomes);

    Pages pages;
    const Crawl c = crawl(pages, lines, extra);
    QVERIFY2(c.code == 0, c.err.constData());
    QCOMPARE(c.outcomes, outcomes);
    const QByteArray junk = QByteArray::number(outcomes.count("not an address")) + " not an address,";
    QVERIFY2(c.err.contains(junk), c.err.constData());
    QByteArray expected;
    for (const QByteArray& l : lines)
        if (l.startsWith("good"))
            expected += faxNumber(l.mid(4).toInt()) + "\r\n";
    QCOMPARE(c.fax, expected);
    QCOMPARE(pages.server().requestCount("/etc/passwd"), 0);
}

// A renderer killed under a hung page is noticed within a page interval; when
// no renderer can start any more, the crawl stops, saved, with an error (item 2).
void TestCrawlUnattended::brokenRenderers_data()
{
    QTest::addColumn<bool>("helpers");
    QTest::addColumn<int>("code");
    QTest::addColumn<QList<QByteArray>>("outcomes");
    QTest::addColumn<int>("position");
    using B = QList<QByteArray>;
    const QByteArray f = "render failure";
    QTest::newRow("renderer killed") << false << 0 << B{"scanned", f, "scanned"} << 3;
    // The pages that failed are left for the resume.
    QTest::newRow("helpers killed") << true << 1 << B{"scanned", f, f, f, f, f} << 1;
}

void TestCrawlUnattended::brokenRenderers()
{
    QFETCH(bool, helpers);
    QFETCH(int, code);
    QFETCH(QList<QByteArray>, outcomes);
    QFETCH(int, position);

    Pages pages;
    QList<QByteArray> lines{"good1", "hang"};
    for (int i = 2; i <= 9; ++i)
        lines << "good" + QByteArray::number(i);
    if (!helpers)
        lines = {"good1", "hang", "good2"};
    const Crawl c = crawl(pages, lines, {"--speed", "1"}, 2, [helpers](qint64 pid) { killBrowserProcesses(pid, helpers); });
    QVERIFY2(c.code == code, c.err.constData());
    QCOMPARE(c.outcomes, outcomes);
    QCOMPARE(c.position, position);
    QVERIFY2(c.ms < 20000, QByteArray::number(c.ms).constData());
    if (helpers)
        QVERIFY2(c.err.contains("连续5个网页无法显示"), c.err.constData());
}

// A signal on a hung page stops within 2 s, saves, and leaves the hung line
// for the resume (item 6).
void TestCrawlUnattended::stopOnSignals_data()
{
    QTest::addColumn<QList<int>>("sent");
    QTest::addColumn<int>("code");
    QTest::newRow("SIGTERM") << QList<int>{SIGTERM} << 143;
    QTest::newRow("SIGINT") << QList<int>{SIGINT} << 130;
    QTest::newRow("SIGINT twice") << QList<int>{SIGINT, SIGINT} << 130;
}

void TestCrawlUnattended::stopOnSignals()
{
    QFETCH(QList<int>, sent);
    QFETCH(int, code);

    Pages pages;
    QElapsedTimer sinceSignal;
    const Crawl c = crawl(pages, {"good1", "hang", "good2"}, {"--speed", "4"}, 2, [&](qint64 pid) {
        sinceSignal.start();
        for (int s : sent)
            ::kill(pid_t(pid), s);
    });
    QVERIFY2(c.code == code, c.err.constData());
    QVERIFY2(sinceSignal.elapsed() < 2000, QByteArray::number(sinceSignal.elapsed()).constData());
    QCOMPARE(c.position, 1);
    QCOMPARE(c.fax, faxNumber(1) + "\r\n");
    QVERIFY2(c.err.contains("--from 1"), c.err.constData());
}

// Stale results are not kept, and output that cannot be written is found
// before any page is visited, naming the file (items 4, 5).
void TestCrawlUnattended::outputProblems_data()
{
    QTest::addColumn<QStringList>("extra");
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<int>("requests");
    QTest::newRow("stale results replaced") << QStringList{} << 0 << QByteArray() << 1;
    QTest::newRow("output not writable") << QStringList{"--out", "/proc/1"} << 1
                                         << QByteArray("/proc/1/autosave&web.txt") << 0;
    QTest::newRow("report on a full disk") << QStringList{"--report", "/dev/full"} << 1
                                           << QByteArray("/dev/full: the report could not be written") << 1;
}

void TestCrawlUnattended::outputProblems()
{
    QFETCH(QStringList, extra);
    QFETCH(int, code);
    QFETCH(QByteArray, message);
    QFETCH(int, requests);

    Pages pages;
    const QString out = dir_.filePath(QString::number(runs_ + 1)) + "/out";
    QDir().mkpath(out);
    QVERIFY(writeFile(out + "/autosave&fax.txt", "0519-12345678\r\n"));
    const Crawl c = crawl(pages, {"x1"}, QStringList{"--speed", "0"} + extra);
    QVERIFY2(c.code == code, c.err.constData());
    QVERIFY2(c.err.contains(message), c.err.constData());
    QCOMPARE(pages.server().requestCount("/x1"), requests);
    if (code == 0)
        QCOMPARE(c.fax, QByteArray()); // the page has no number: the file is empty
}

// Lists that are not files are refused at once with what is wrong (item 9).
void TestCrawlUnattended::badLists_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("message");
    QTest::newRow("directory") << "dir" << QByteArray("is a directory");
    QTest::newRow("named pipe") << "fifo" << QByteArray("is not a regular file");
    QTest::newRow("device") << "/dev/zero" << QByteArray("/dev/zero is not a regular file");
}

void TestCrawlUnattended::badLists()
{
    QFETCH(QString, kind);
    QFETCH(QByteArray, message);

    QString list = kind;
    if (kind == "dir") {
        list = dir_.filePath("a-directory");
        QDir().mkpath(list);
    } else if (kind == "fifo") {
        list = dir_.filePath("a-fifo");
        QVERIFY(::mkfifo(list.toLocal8Bit().constData(), 0600) == 0);
    }
    QProcess p;
    harvest_.start(p, {"crawl", list, "--no-net-check", "--out", dir_.filePath("bad-out")});
    QVERIFY(test::HarvestProcess::waitForExit(p, 20000));
    const QByteArray err = p.readAllStandardError();
    QCOMPARE(p.exitCode(), 1);
    QVERIFY2(err.contains(message), err.constData());
}

// Eight lanes without a pace write the same files, byte for byte, as one lane.
void TestCrawlUnattended::lanesMatchOneLane()
{
    Pages pages;
    pages.delayMs = 20;
    QList<QByteArray> lines;
    for (int i = 1; i <= 40; ++i)
        lines << "good" + QByteArray::number(i % 13 + 1); // numbers and pages repeat
    const QStringList common{"--speed", "0", "--links", "--dedup"};
    const Crawl one = crawl(pages, lines, common + QStringList{"--lanes", "1"});
    const Crawl eight = crawl(pages, lines, common + QStringList{"--lanes", "8", "--per-host", "8"});
    QVERIFY2(one.code == 0 && eight.code == 0, (one.err + eight.err).constData());
    QCOMPARE(eight.fax, one.fax);
    QCOMPARE(readFile(dir_.filePath(QString::number(runs_)) + "/out/autosave&web.txt"),
             readFile(dir_.filePath(QString::number(runs_ - 1)) + "/out/autosave&web.txt"));
    QCOMPARE(eight.outcomes, one.outcomes);
    QCOMPARE(one.fax.count("\r\n"), 13);
}

// One host never has more than --per-host pages in flight.
void TestCrawlUnattended::perHostCapHolds()
{
    Pages pages;
    pages.delayMs = 300;
    QList<QByteArray> lines;
    for (int i = 1; i <= 16; ++i)
        lines << "good" + QByteArray::number(i);
    const Crawl c = crawl(pages, lines, {"--speed", "0", "--lanes", "8", "--per-host", "2"});
    QVERIFY2(c.code == 0, c.err.constData());
    QCOMPARE(pages.server().maxConcurrent("127.0.0.1"), 2);
    QCOMPARE(c.outcomes.count("scanned"), 16);
}

// SIGINT with lanes busy, then --from the saved position: every line's
// number is in the results exactly once, in list order.
void TestCrawlUnattended::stopWithLanesBusyThenResume()
{
    Pages pages;
    pages.delayMs = 150;
    QList<QByteArray> lines;
    QByteArray all;
    for (int i = 1; i <= 30; ++i) {
        lines << "good" + QByteArray::number(i);
        all += faxNumber(i) + "\r\n";
    }
    const QStringList lanes{"--speed", "0", "--lanes", "4", "--per-host", "4"};
    const Crawl first = crawl(pages, lines, lanes, 12, [](qint64 pid) { ::kill(pid_t(pid), SIGINT); });
    QVERIFY2(first.code == 130, first.err.constData());
    QVERIFY2(first.position >= 4 && first.position < 30, QByteArray::number(first.position).constData());
    QCOMPARE(first.outcomes.size(), first.position);

    // The second run continues in the first one's folder.
    const QString base = dir_.filePath(QString::number(runs_));
    QProcess p;
    harvest_.start(p, QStringList{"crawl", base + "/list.txt", "--fax", "--no-net-check", "--quiet", "--out",
                                  base + "/out", "--from", QString::number(first.position)} + lanes);
    QVERIFY(test::HarvestProcess::waitForExit(p, 60000));
    QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
    QCOMPARE(readFile(base + "/out/autosave&fax.txt"), all);
}

QTEST_GUILESS_MAIN(TestCrawlUnattended)
#include "test_crawl_unattended.moc"
