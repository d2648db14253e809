// How vqharvest shows itself to the sites: the user agent it sends, and the
// proxy every request goes through. The test's proxy is a page server that
// answers requests in proxy form ("GET http://site.test:PORT/... HTTP/1.1"),
// so it sees, and counts, every request that passes through it; "site.test"
// resolves nowhere else, so a request that went around the proxy would fail.
#include "tests/support/harvest_process.h"
#include "tests/support/files.h"
#include "tests/support/page_server.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

using vq::test::HarvestProcess;
using vq::test::PageServer;

class TestVisitor : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void throughTheProxy_data();
    void throughTheProxy();
    void deadProxyStops();
    void robots_data();
    void robots();

private:
    struct Run {
        int code = -1;
        QByteArray err;
        QByteArray fax;
    };
    Run crawl(const QStringList& lines, const QStringList& extra, const QProcessEnvironment& env = {});
    QString site(int i) const { return QStringLiteral("http://site.test:%1/p%2").arg(proxy_.port()).arg(i); }

    PageServer proxy_;
    PageServer site_; // a site with a robots.txt
    QElapsedTimer clock_;
    QList<qint64> servedAt_; // when each page of site_ was answered
    HarvestProcess harvest_;
};

void TestVisitor::initTestCase()
{
    QVERIFY(proxy_.listening());
    QVERIFY(site_.listening());
    clock_.start();
    site_.setGenerator([this](const QByteArray& path) -> std::optional<PageServer::Response> {
        if (path == "/robots.txt")
            return PageServer::Response{"200 OK", "text/plain",
                                        "User-agent: *\nDisallow: /private\nCrawl-delay: 1\n\n"
                                        "User-agent: VelqorBot\nDisallow: /co/2\n",
                                        {}, true};
        servedAt_ << clock_.elapsed();
        const QByteArray links = "<a href=\"/co/1\">1</a> <a href=\"/co/2\">2</a> <a href=\"/private/x\">p</a>";
        return PageServer::Response{"200 OK", "text/html; charset=utf-8",
                                    "<html><body><p>传真：0519-8811" + QByteArray::number(qHash(path) % 9000 + 1000) +
                                        "</p>" + (path == "/dir" ? links : QByteArray()) + "</body></html>",
                                    {}, true};
    });
    proxy_.setGenerator([this](const QByteArray& path) -> std::optional<PageServer::Response> {
        for (int i = 1; i <= 3; ++i)
            if (path == site(i).toUtf8())
                return PageServer::Response{"200 OK", "text/html; charset=utf-8",
                                            "<html><body><p>传真：0519-8800000" + QByteArray::number(i) + "</p></body></html>", {}, true};
        return std::nullopt;
    });
}

TestVisitor::Run TestVisitor::crawl(const QStringList& lines, const QStringList& extra, const QProcessEnvironment& more)
{
    QTemporaryDir dir;
    vq::test::writeFile(dir.filePath("list.txt"), (lines.join("\r\n") + "\r\n").toUtf8());
    QProcess p;
    QProcessEnvironment env = harvest_.environment();
    for (const QString& k : more.keys())
        env.insert(k, more.value(k));
    p.setProcessEnvironment(env);
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(HarvestProcess::program(), QStringList{"crawl", dir.filePath("list.txt"), "--out", dir.path(), "--speed", "0",
                                                   "--settle", "0", "--no-net-check", "--quiet", "--fax", "--retries", "0"} +
                                           extra);
    if (!HarvestProcess::waitForExit(p, 90000))
        return {};
    return {p.exitCode(), p.readAllStandardError(), vq::test::readFile(dir.filePath("autosave&fax.txt"))};
}

// Every page through the proxy, given with --proxy or in the environment,
// with the user agent given (or the browser's own).
void TestVisitor::throughTheProxy_data()
{
    QTest::addColumn<bool>("fromEnvironment");
    QTest::addColumn<QString>("agent"); // empty: none given
    QTest::newRow("--proxy, --user-agent") << false << "VelqorBot/2.0 (+http://www.velqor.example/bot)";
    QTest::newRow("http_proxy, the browser's agent") << true << "";
}

void TestVisitor::throughTheProxy()
{
    QFETCH(bool, fromEnvironment);
    QFETCH(QString, agent);
    proxy_.clearRequested();
    const QString address = QStringLiteral("http://127.0.0.1:%1").arg(proxy_.port());
    QStringList extra;
    QProcessEnvironment env;
    if (fromEnvironment)
        env.insert("http_proxy", address);
    else
        extra << "--proxy" << address;
    if (!agent.isEmpty())
        extra << "--user-agent" << agent;
    const Run r = crawl({site(1), site(2), site(3)}, extra, env);
    QVERIFY2(r.code == 0, r.err.constData());
    QCOMPARE(r.fax, QByteArray("0519-88000001\r\n0519-88000002\r\n0519-88000003\r\n"));
    for (int i = 1; i <= 3; ++i)
        QVERIFY2(proxy_.requested(site(i).toUtf8()), qPrintable(site(i)));
    QVERIFY(!proxy_.userAgents().isEmpty());
    for (const QByteArray& sent : proxy_.userAgents()) {
        if (agent.isEmpty())
            QVERIFY2(sent.contains("Mozilla/"), sent.constData());
        else
            QCOMPARE(QString::fromUtf8(sent), agent);
    }
}

// A proxy that refuses: the crawl stops after five lines with an error naming
// it, saved, exit 1; the lines after them are not tried.
void TestVisitor::deadProxyStops()
{
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    const quint16 port = closed.serverPort();
    closed.close(); // refuses from now on
    QStringList lines;
    for (int i = 1; i <= 12; ++i)
        lines << QStringLiteral("http://site.test:%1/p%2").arg(port).arg(i);
    const QString dead = QStringLiteral("http://127.0.0.1:%1").arg(port);
    const Run r = crawl(lines, {"--proxy", dead, "--lanes", "1"});
    QCOMPARE(r.code, 1);
    QVERIFY2(r.err.contains(("the proxy " + dead).toUtf8()), r.err.constData());
    QVERIFY2(r.err.contains("resume with --from 5"), r.err.constData());
}

// robots.txt: a site crawl obeys it by default (the group of our product
// token, else "*"), a list crawl does not unless told; Crawl-delay spaces the
// site's pages.
void TestVisitor::robots_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QStringList>("extra");
    QTest::addColumn<QStringList>("fetched");
    QTest::addColumn<QStringList>("notFetched");
    QTest::addColumn<int>("robotsLines"); // lines ended as "robots"

    const QString dir = site_.url("/dir");
    QTest::newRow("site crawl, * group")
        << QStringList{dir} << QStringList{"--depth", "1"} << QStringList{"/co/1", "/co/2"}
        << QStringList{"/private/x"} << 0;
    QTest::newRow("site crawl, our agent's group")
        << QStringList{dir} << QStringList{"--depth", "1", "--user-agent", "VelqorBot/2.0"}
        << QStringList{"/co/1", "/private/x"} << QStringList{"/co/2"} << 0;
    QTest::newRow("site crawl, --robots ignore")
        << QStringList{dir} << QStringList{"--depth", "1", "--robots", "ignore"}
        << QStringList{"/co/1", "/co/2", "/private/x"} << QStringList{} << 0;
    QTest::newRow("list crawl") << QStringList{site_.url("/private/y")} << QStringList{}
                                << QStringList{"/private/y"} << QStringList{} << 0;
    QTest::newRow("list crawl, --robots obey") << QStringList{site_.url("/private/y"), site_.url("/co/3")}
                                               << QStringList{"--robots", "obey"} << QStringList{"/co/3"}
                                               << QStringList{"/private/y"} << 1;
}

void TestVisitor::robots()
{
    QFETCH(QStringList, lines);
    QFETCH(QStringList, extra);
    QFETCH(QStringList, fetched);
    QFETCH(QStringList, notFetched);
    QFETCH(int, robotsLines);
    site_.clearRequested();
    servedAt_.clear();
    const Run r = crawl(lines, extra + QStringList{"--lanes", "4", "--per-host", "4"});
    QVERIFY2(r.code == 0, r.err.constData());
    for (const QString& path : fetched)
        QVERIFY2(site_.requested(path.toUtf8()), qPrintable(path));
    for (const QString& path : notFetched)
        QVERIFY2(!site_.requested(path.toUtf8()), qPrintable(path));
    QVERIFY2(r.err.contains(QByteArray::number(robotsLines) + " robots\n"), r.err.constData());
    // Crawl-delay: 1 of the "*" group, with four lanes on one host.
    const bool delayed = !extra.contains("ignore") && !extra.contains("VelqorBot/2.0") &&
                         (extra.contains("obey") || extra.contains("--depth"));
    if (delayed) {
        for (int i = 1; i < servedAt_.size(); ++i)
            QVERIFY2(servedAt_[i] - servedAt_[i - 1] >= 950, qPrintable(QString::number(servedAt_[i] - servedAt_[i - 1])));
    }
}

QTEST_GUILESS_MAIN(TestVisitor)
#include "test_visitor.moc"
