// vqharvest's --fast on the shared page server: which way each page is read
// (the report's "read" and "why"), and the files, which must equal those of
// the same crawl read by the browser alone.
#include "tests/support/files.h"
#include "tests/support/harvest_process.h"
#include "tests/support/page_server.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using vq::test::HarvestProcess;
using vq::test::PageServer;

namespace {

// A company page: the things page text is made of, all of which the HTML
// reading must render as the browser does.
QByteArray companyPage(int i)
{
    const QByteArray n = QByteArray::number(i);
    return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>公司 " + n +
           "</title><link rel=stylesheet href=\"/s.css\"><script src=\"/plain.js\"></script></head><body>"
           "<div class=top><a href=\"/\">首页</a> | <a href=\"../about.html?x=1&amp;y=2\">关于</a>"
           " <a href='p" + QByteArray::number(i + 1) + "#top'>下一页</a> <a href=\"//127.0.0.9:1/far\">远</a>"
           " <a href=\"mailto:a@b.c\">信</a></div>"
           "<h2>联系 <span>我们</span></h2><table><tr><td>电话：</td><td>0519-1234567" + n + "</td></tr>"
           "<tr><td>传真：</td><td>0519-8765432" + n + "</td></tr></table>"
           "<p>地址：某路 " + n + " 号<br>FAX:&nbsp;021-5555000" + n + "<br>  传 真 ：(0512) 6666 000" + n + "</p>"
           "<ul><li>传真号：<b>0755</b>-<i>8888000" + n + "</i></li><li hidden>传真：0000-00000000</li></ul>"
           "<div style=\"display:none\">传真：0000-11111111</div><noscript>传真：0000-22222222</noscript>"
           "<pre>传真：  0371-7777000" + n + "\n第二行</pre>"
           "</body></html>";
}

} // namespace

class TestFastReading : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void waysOfReading_data();
    void waysOfReading();
    void silentServerTimesOutAtTheBound();

private:
    struct Run {
        int code = -1;
        QByteArray err, fax, web;
        QStringList reads; // "read/why" of each line, in list order
    };
    Run crawl(const QStringList& lines, bool fast, const QStringList& extra = {});
    QString on(const char* host, const QByteArray& path) const
    {
        return QStringLiteral("http://%1:%2%3").arg(QLatin1String(host)).arg(server_.port()).arg(QString::fromUtf8(path));
    }

    PageServer server_;
};

void TestFastReading::initTestCase()
{
    QVERIFY(server_.listening());
    server_.setGenerator([](const QByteArray& path) -> std::optional<PageServer::Response> {
        using R = PageServer::Response;
        if (path == "/s.css")
            return R{"200 OK", "text/css", "p{margin:1em} td{padding:2px}", {}, true};
        if (path == "/plain.js")
            return R{"200 OK", "text/javascript", "var seen = 1;", {}, true};
        if (path == "/draws.js") // a site's own script that adds to every page
            return R{"200 OK", "text/javascript",
                     "addEventListener('DOMContentLoaded', function () { var p = document.createElement('p');"
                     " p.textContent = '传真：0519-' + '99990000'; document.body.appendChild(p); });", {}, true};
        if (path.startsWith("/p"))
            return R{"200 OK", "text/html; charset=utf-8", companyPage(path.mid(2).toInt()), {}, true};
        if (path.startsWith("/drawn"))
            return R{"200 OK", "text/html; charset=utf-8",
                     "<html><head><script src=\"/draws.js\"></script></head><body><p>传真：0519-6000000" +
                         path.mid(6) + "</p></body></html>", {}, true};
        if (path == "/framed")
            return R{"200 OK", "text/html; charset=utf-8",
                     "<html><body><p>传真：0519-50000001</p><iframe src=\"/p1\"></iframe></body></html>", {}, true};
        if (path == "/undeclared") // GBK bytes, no charset anywhere
            return R{"200 OK", "text/html",
                     QByteArray("<html><body><p>\xB4\xAB\xD5\xE6\xA3\xBA" "0519-50000002</p></body></html>"), {}, true};
        if (path == "/inline")
            return R{"200 OK", "text/html; charset=utf-8",
                     "<html><body><p id=f></p><script>document.getElementById('f').textContent = '传真：' + "
                     "'0519-50000003';</script></body></html>", {}, true};
        if (path == "/silent")
            return R{"200 OK", "text/html", "<p>late</p>", {}, true, 60000};
        if (path == "/missing")
            return R{"404 Not Found", "text/html", "<html><body>传真：0519-50000004</body></html>", {}, true};
        return std::nullopt;
    });
}

TestFastReading::Run TestFastReading::crawl(const QStringList& lines, bool fast, const QStringList& extra)
{
    QTemporaryDir dir;
    vq::test::writeFile(dir.filePath("list.txt"), (lines.join("\r\n") + "\r\n").toUtf8());
    QProcess p;
    p.setProcessEnvironment(HarvestProcess().environment());
    p.setStandardInputFile(QProcess::nullDevice());
    QStringList args{"crawl", dir.filePath("list.txt"), "--out", dir.path(), "--speed", "0", "--no-net-check",
                     "--quiet", "--fax", "--links", "--https", "--retries", "0", "--report", dir.filePath("r.json")};
    if (fast)
        args << "--fast";
    args << extra;
    p.start(HarvestProcess::program(), args);
    if (!HarvestProcess::waitForExit(p, 120000))
        return {};
    Run r{p.exitCode(), p.readAllStandardError(), vq::test::readFile(dir.filePath("autosave&fax.txt")),
          vq::test::readFile(dir.filePath("autosave&web.txt")), {}};
    for (const QByteArray& line : vq::test::readFile(dir.filePath("r.json")).split('\n')) {
        if (line.isEmpty())
            continue;
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        const QString why = o.value("why").toString();
        r.reads << o.value("read").toString() + (why.isEmpty() ? QString() : "/" + why);
    }
    return r;
}

void TestFastReading::waysOfReading_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QStringList>("reads");
    QStringList site, reads;
    for (int i = 1; i <= 14; ++i) {
        site << on("127.0.0.1", "/p" + QByteArray::number(i));
        // Two pages prove the site; then every tenth is checked again.
        reads << (i <= 2 || i == 12 ? "checked" : "fast");
    }
    QTest::newRow("a site that reads the same goes fast") << site << reads;
    QTest::newRow("one page that differs sends the site back")
        << QStringList{on("localhost", "/drawn1"), on("localhost", "/drawn2"), on("localhost", "/drawn3")}
        << QStringList{"differed", "browser/site", "browser/site"};
    QStringList proven = site.mid(0, 3), provenReads = reads.mid(0, 3);
    for (const char* path : {"/framed", "/undeclared", "/inline", "/missing"})
        proven << on("127.0.0.1", path);
    provenReads << "browser/frames" << "browser/charset" << "browser/script" << "browser/answer";
    QTest::newRow("frames, an undecided charset, page scripts: the browser, trusted site or not")
        << proven << provenReads;
}

void TestFastReading::waysOfReading()
{
    QFETCH(QStringList, lines);
    QFETCH(QStringList, reads);
    const Run fast = crawl(lines, true);
    QVERIFY2(fast.code == 0, fast.err.constData());
    QCOMPARE(fast.reads, reads);
    const Run browser = crawl(lines, false);
    QVERIFY2(browser.code == 0, browser.err.constData());
    QVERIFY(!browser.fax.isEmpty());
    QCOMPARE(fast.fax, browser.fax);
    QCOMPARE(fast.web, browser.web);
}

// A server that never answers the fetch: the line ends at the page's bound,
// as it would in the browser, not at the watchdog's.
void TestFastReading::silentServerTimesOutAtTheBound()
{
    QElapsedTimer clock;
    clock.start();
    const Run r = crawl({on("127.0.0.1", "/p1"), on("127.0.0.1", "/p2"), on("127.0.0.1", "/p3"), on("127.0.0.1", "/silent")},
                        true, {"--page-timeout", "10", "--settle", "0"});
    QVERIFY2(r.code == 0, r.err.constData());
    QCOMPARE(r.reads.size(), 4);
    QCOMPARE(r.reads.last(), QString()); // never read either way
    QVERIFY2(clock.elapsed() < 18000, qPrintable(QString::number(clock.elapsed())));
}

QTEST_GUILESS_MAIN(TestFastReading)
#include "test_fast_reading.moc"
