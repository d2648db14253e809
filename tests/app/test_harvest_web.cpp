// vqharvest crawl at speed 0 against what the web does to a page, on the
// shared page server: pictures it need not load, numbers a script draws
// after the load event, and a host that refuses, then accepts.
#include "tests/support/files.h"
#include "tests/support/harvest_process.h"
#include "tests/support/page_server.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

using namespace vq;
using vq::test::readFile;
using vq::test::writeFile;

namespace {

test::PageServer::Response html(const QByteArray& body)
{
    return {"200 OK", "text/html; charset=utf-8",
            "<html><head><meta charset=\"utf-8\"><link rel=\"stylesheet\" href=\"/style.css\"></head><body>" + body +
                "</body></html>",
            {}, true};
}

struct Run {
    int code = -1;
    QByteArray err;
    QByteArray fax;
    QList<QJsonObject> report;
};

} // namespace

class TestHarvestWeb : public QObject {
    Q_OBJECT

private slots:
    void pictures_data();
    void pictures();
    void lateNumbers_data();
    void lateNumbers();
    void refusedThenAccepted();
    void screenWide();
    void settleIdle();

private:
    Run crawl(const QList<QString>& urls, const QStringList& extra);

    test::HarvestProcess harvest_;
    QTemporaryDir dir_;
    int runs_ = 0;
};

Run TestHarvestWeb::crawl(const QList<QString>& urls, const QStringList& extra)
{
    const QString base = dir_.filePath(QString::number(++runs_));
    QDir().mkpath(base);
    writeFile(base + "/list.txt", urls.join("\r\n").toUtf8() + "\r\n");
    QProcess p;
    harvest_.start(p, QStringList{"crawl", base + "/list.txt", "--speed", "0", "--fax", "--no-net-check", "--quiet",
                                  "--out", base + "/out", "--report", base + "/report.json"} + extra);
    Run r;
    if (!test::HarvestProcess::waitForExit(p, 60000))
        return r;
    r.code = p.exitCode();
    r.err = p.readAllStandardError();
    r.fax = readFile(base + "/out/autosave&fax.txt");
    for (const QByteArray& line : readFile(base + "/report.json").split('\n'))
        if (!line.isEmpty())
            r.report << QJsonDocument::fromJson(line).object();
    return r;
}

// Pictures, fonts and media are not fetched unless asked for; stylesheets
// and scripts always are, and the page is read either way.
void TestHarvestWeb::pictures_data()
{
    QTest::addColumn<QStringList>("extra");
    QTest::addColumn<bool>("pictures");
    QTest::newRow("by default") << QStringList{} << false;
    QTest::newRow("--images") << QStringList{"--images"} << true;
}

void TestHarvestWeb::pictures()
{
    QFETCH(QStringList, extra);
    QFETCH(bool, pictures);

    test::PageServer server;
    server.set("/p.html", html("<style>@font-face{font-family:F;src:url(/f.woff)} p{font-family:F}</style>"
                               "<img src=\"/a.png\"><video src=\"/v.mp4\" autoplay></video>"
                               "<script src=\"/s.js\"></script><p>传真：0519-88888888</p>"));
    server.set("/style.css", {"200 OK", "text/css", "p{color:black}", {}, true});
    server.set("/s.js", {"200 OK", "text/javascript", "var x = 1;", {}, true});
    const Run r = crawl({server.url("/p.html")}, extra + QStringList{"--settle", "0"});
    QVERIFY2(r.code == 0, r.err.constData());
    QCOMPARE(r.fax, QByteArray("0519-88888888\r\n"));
    QCOMPARE(server.requested("/a.png"), pictures);
    QCOMPARE(server.requested("/f.woff"), pictures);
    QVERIFY(server.requested("/style.css"));
    QVERIFY(server.requested("/s.js"));
}

// Numbers a script draws at DOMContentLoaded, and 1 s after the load event,
// on an idle page or one whose scripts keep it busy past the settle: from
// 0.9 s to 1.7 s after the load, or from the load itself to 1.5 s after it,
// so that the page is first read after the settle is over.
void TestHarvestWeb::lateNumbers_data()
{
    QTest::addColumn<QStringList>("extra");
    QTest::addColumn<QByteArray>("busy"); // the page's thread is held from, to (ms after the load)
    QTest::addColumn<QByteArray>("fax");
    const QByteArray both = "021-66666666\r\n010-12345678\r\n";
    QTest::newRow("by default") << QStringList{} << QByteArray() << both;
    QTest::newRow("busy page") << QStringList{} << QByteArray("900, 800") << both;
    QTest::newRow("busy past the settle") << QStringList{} << QByteArray("0, 1500") << both;
    QTest::newRow("busy past the settle, idle") << QStringList{"--settle-idle"} << QByteArray("0, 1500") << both;
    QTest::newRow("--settle 0") << QStringList{"--settle", "0"} << QByteArray() << QByteArray("021-66666666\r\n");
}

void TestHarvestWeb::lateNumbers()
{
    QFETCH(QStringList, extra);
    QFETCH(QByteArray, busy);
    QFETCH(QByteArray, fax);

    test::PageServer server;
    const QByteArray hold = busy.isEmpty() ? QByteArray()
                                           : "function hold(from, ms) { addEventListener('load', function () { setTimeout(function () {"
                                             "  var t = performance.now(); while (performance.now() - t < ms) {} }, from); }); }"
                                             "hold(" + busy + ");";
    server.set("/late.html", html("<p id=\"a\"></p><p id=\"b\"></p><script>"
                                  "document.addEventListener('DOMContentLoaded', function () {"
                                  "  document.getElementById('a').textContent = '传真：021-66666666'; });" +
                                  hold +
                                  "addEventListener('load', function () { setTimeout(function () {"
                                  "  document.getElementById('b').textContent = '传真：010-12345678'; }, 1000); });"
                                  "</script>"));
    const Run r = crawl({server.url("/late.html")}, extra);
    QVERIFY2(r.code == 0, r.err.constData());
    QCOMPARE(r.fax, fax);
    QCOMPARE(r.report.value(0).value("outcome").toString(), QString("scanned"));
    QVERIFY2(r.report.value(0).value("ms").toInt() < 5000, qPrintable(r.report.value(0).value("ms").toVariant().toString()));
}

// One lane: line 1's host refuses, line 2 is a 404 on another host, and the
// first host accepts again once line 2 is asked for. Line 1 is done on its
// second attempt; the 404 is asked for once.
void TestHarvestWeb::refusedThenAccepted()
{
    test::PageServer refusing, other;
    refusing.set("/p.html", html("<p>传真：0519-88888888</p>"));
    other.setGenerator([&](const QByteArray& path) -> std::optional<test::PageServer::Response> {
        if (path == "/missing")
            refusing.accept();
        return std::nullopt; // a 404
    });
    refusing.refuse();
    const Run r = crawl({refusing.url("/p.html"), other.url("/missing")}, {"--settle", "0"});
    QVERIFY2(r.code == 0, r.err.constData());
    QCOMPARE(r.fax, QByteArray("0519-88888888\r\n"));
    QCOMPARE(r.report.size(), 2);
    const QJsonObject first = r.report[0], second = r.report[1];
    QCOMPARE(first.value("line").toInt(), 1);
    QCOMPARE(first.value("outcome").toString(), QString("scanned"));
    QCOMPARE(first.value("attempts").toInt(), 2);
    QCOMPARE(first.value("status").toInt(), 200);
    QCOMPARE(second.value("outcome").toString(), QString("navigation error"));
    QCOMPARE(second.value("attempts").toInt(), 1);
    QCOMPARE(second.value("status").toInt(), 404);
    QCOMPARE(other.requestCount("/missing"), 1);
    QVERIFY2(r.err.contains("1 scanned on a retry"), r.err.constData());
}


// A page with no view is laid out a screen wide (a 0-pixel width wraps text
// at every character, at a great cost in memory), while its viewport, which
// media queries and the page's scripts see, is left as it was.
void TestHarvestWeb::screenWide()
{
    test::PageServer server;
    server.set("/w.html", html("<p id=\"w\"></p><script>addEventListener('load', function () {"
                               "  var wide = document.body.getBoundingClientRect().width >= 1200;"
                               "  document.getElementById('w').textContent ="
                               "    '传真：0519-' + (wide ? '1' : '2') + (innerWidth === 0 ? '1' : '2') + '000000'; });"
                               "</script>"));
    const Run r = crawl({server.url("/w.html")}, {"--settle", "0"});
    QVERIFY2(r.code == 0, r.err.constData());
    QCOMPARE(r.fax, QByteArray("0519-11000000\r\n"));
}

// With --settle-idle, a page is read once its scripts have nothing left to
// do: every number drawn late is still read, the pages with nothing left are
// read long before the settle is over, and pages whose work cannot be told
// (an interval, a timer of code text, a socket) wait it out.
void TestHarvestWeb::settleIdle()
{
    struct Case {
        const char* name;
        const char* script; // draw(n) shows "传真：" + n
        bool early;
    };
    const Case cases[] = {
        {"nothing left", "draw('0510-1000000' + 1);", true},
        {"a timer", "addEventListener('load', function () { setTimeout(function () { draw('0510-1000000' + 2); }, 800); });",
         true},
        {"timers in a chain",
         "addEventListener('load', function () { setTimeout(function () {"
         "  setTimeout(function () { draw('0510-1000000' + 3); }, 400); }, 400); });",
         true},
        {"a fetch and its body",
         "addEventListener('load', function () {"
         "  fetch('/d.json').then(function (r) { return r.json(); }).then(function (d) { draw(d.n); }); });",
         true},
        {"an XMLHttpRequest",
         "addEventListener('load', function () { var x = new XMLHttpRequest(); x.open('GET', '/d.txt');"
         "  x.onload = function () { draw(x.responseText); }; x.send(); });",
         true},
        {"a script added after the load",
         "addEventListener('load', function () { var s = document.createElement('script'); s.src = '/d.js';"
         "  document.head.appendChild(s); });",
         true},
        {"work in message chunks",
         "addEventListener('load', function () { var c = new MessageChannel(), left = 40;"
         "  c.port1.onmessage = function () { var t = performance.now(); while (performance.now() - t < 10) {}"
         "    if (--left > 0) c.port2.postMessage(0); else draw('0510-1000000' + 7); };"
         "  c.port2.postMessage(0); });",
         true},
        {"an interval",
         "var ticks = 0; setInterval(function () { if (++ticks === 3) draw('0510-1000000' + 8); }, 300);", false},
        {"a timer of code text", "setTimeout(\"draw('0510-1000000' + 9)\", 500);", false},
        {"a socket",
         "try { new WebSocket('ws://127.0.0.1:9/'); } catch (e) {}"
         "setTimeout(function () { draw('0510-2000000' + 0); }, 300);",
         false},
    };
    constexpr int kSettleMs = 4000;

    test::PageServer server;
    server.set("/d.json", {"200 OK", "application/json", "{\"n\": \"0510-10000004\"}", {}, true, 600});
    server.set("/d.txt", {"200 OK", "text/plain", "0510-10000005", {}, true, 600});
    server.set("/d.js", {"200 OK", "text/javascript", "draw('0510-1000000' + 6);", {}, true, 600});
    QList<QString> urls;
    for (int i = 0; i < int(std::size(cases)); ++i) {
        const QByteArray path = "/" + QByteArray::number(i) + ".html";
        server.set(path, html(QByteArray("<p id=\"f\"></p><script>function draw(n) {"
                                         " document.getElementById('f').textContent = '传真：' + n; }") +
                              cases[i].script + "</script>"));
        urls << server.url(path);
    }
    const Run r = crawl(urls, {"--settle", QString::number(kSettleMs), "--settle-idle"});
    QVERIFY2(r.code == 0, r.err.constData());
    QByteArray fax;
    for (int n = 1; n <= 9; ++n)
        fax += "0510-1000000" + QByteArray::number(n) + "\r\n";
    QCOMPARE(r.fax, fax + "0510-20000000\r\n");
    QCOMPARE(r.report.size(), int(std::size(cases)));
    for (const QJsonObject& page : r.report) {
        const Case& c = cases[page.value("line").toInt() - 1];
        const int ms = page.value("ms").toInt();
        QVERIFY2(c.early ? ms < kSettleMs - 1000 : ms >= kSettleMs, qPrintable(QString("%1: %2 ms").arg(c.name).arg(ms)));
    }
}

QTEST_GUILESS_MAIN(TestHarvestWeb)
#include "test_harvest_web.moc"
