// The frames of a page ("含框架页" / --frames) against a real Qt WebEngine:
// frames and iframes of the page's own origin, of another origin, nested,
// framesets, a frame that never finishes, and nothing read when it is off;
// then the scanners on what was read.
#include "app/web_browser.h"
#include "search/fax_extractor.h"
#include "search/link_harvester.h"
#include "text/ansi.h"
#include "tests/support/event_wait.h"
#include "tests/support/page_server.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>

using namespace vq;
using test::PageServer;

namespace {

QByteArray html(const QByteArray& body)
{
    return "<html><head><meta charset=\"utf-8\"></head><body>" + body + "</body></html>";
}

} // namespace

class TestWebFrames : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void framesRead_data();
    void framesRead();

private:
    QByteArray other(const QByteArray& path) const // the same server as another origin
    {
        return "http://localhost:" + QByteArray::number(server_.port()) + path;
    }
    PageServer server_;
};

void TestWebFrames::initTestCase()
{
    QVERIFY(server_.listening());
    const auto page = [this](const QByteArray& path, const QByteArray& body, int delayMs = 0) {
        server_.set(path, {"200 OK", "text/html; charset=utf-8", html(body), {}, true, delayMs});
    };
    page("/a", "<p>甲 传真：010-22220001</p><a href=\"/from-a\">a</a>");
    page("/b", "<p>乙 FAX：021-33330002</p><a href=\"/from-b\">b</a>");
    page("/same", "<p>本页 传真：0519-11110000</p><iframe src=\"/a\"></iframe>");
    page("/other", "<p>本页</p><iframe src=\"" + other("/b") + "\"></iframe>");
    page("/nested", "<p>本页</p><iframe src=\"/inner\"></iframe>");
    page("/inner", "<p>内层</p><iframe src=\"" + other("/b") + "\"></iframe><iframe src=\"/a\"></iframe>");
    page("/hang", "<p>永远</p>", 60000);
    page("/hanging", "<p>本页</p><iframe src=\"/hang\"></iframe><iframe src=\"/a\"></iframe>");
    server_.set("/frameset", {"200 OK", "text/html; charset=utf-8",
                              "<html><frameset cols=\"50%,50%\"><frame src=\"/a\"><frame src=\"" + other("/b") +
                                  "\"></frameset></html>",
                              {}, true});
}

void TestWebFrames::framesRead_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<bool>("on");
    QTest::addColumn<QStringList>("frames"); // each frame's first line, in the order read
    QTest::addColumn<QStringList>("fax");    // what the fax scan finds, in order
    QTest::addColumn<int>("withinMs");

    const QString a = QStringLiteral("甲 传真：010-22220001"), b = QStringLiteral("乙 FAX：021-33330002");
    QTest::newRow("own origin") << QByteArray("/same") << true << QStringList{a}
                                << QStringList{"0519-11110000", "010-22220001"} << 8000;
    QTest::newRow("another origin") << QByteArray("/other") << true << QStringList{b}
                                    << QStringList{"021-33330002"} << 8000;
    QTest::newRow("nested, both kinds") << QByteArray("/nested") << true
                                        << QStringList{QStringLiteral("内层"), a, b}
                                        << QStringList{"010-22220001", "021-33330002"} << 8000;
    QTest::newRow("frameset") << QByteArray("/frameset") << true << QStringList{a, b}
                              << QStringList{"010-22220001", "021-33330002"} << 8000;
    // The page's load never ends: it is read anyway, well within its bound.
    QTest::newRow("a frame that never ends") << QByteArray("/hanging") << true << QStringList{QString(), a}
                                             << QStringList{"010-22220001"} << 9000;
    QTest::newRow("off") << QByteArray("/same") << false << QStringList{} << QStringList{"0519-11110000"} << 8000;
}

void TestWebFrames::framesRead()
{
    QFETCH(QByteArray, path);
    QFETCH(bool, on);
    QFETCH(QStringList, frames);
    QFETCH(QStringList, fax);
    QFETCH(int, withinMs);

    WebEngineBrowser browser(static_cast<QWebEnginePage*>(nullptr));
    browser.setReadFrames(on);
    int completes = 0;
    browser.onDocumentComplete = [&](FrameId, const AnsiString&) { ++completes; };
    QElapsedTimer clock;
    clock.start();
    browser.navigate(server_.url(QString::fromLatin1(path)).toStdString());
    QVERIFY(test::waitFor([&] { return completes > 0; }, 20000));
    QVERIFY2(clock.elapsed() < withinMs, qPrintable(QString::number(clock.elapsed())));

    QStringList read;
    for (const FrameDocument& f : browser.frames())
        read << QString::fromStdString(ansiToUtf8(f.text)).section(QLatin1Char('\n'), 0, 0).trimmed();
    QCOMPARE(read, frames);

    std::vector<AnsiString> numbers;
    ExtractFaxNumbers(browser, FaxLineScanner({utf8ToAnsi("传真："), "FAX："}), numbers);
    QStringList found;
    for (const AnsiString& n : numbers)
        found << QString::fromStdString(n);
    QCOMPARE(found, fax);

    // A frame's links are harvested with its own address deciding "只搜索本站":
    // the other origin's link is of its own site.
    std::vector<AnsiString> links;
    LinkRules rules;
    rules.onlySite = true;
    HarvestLinks(browser, rules, links);
    for (const FrameDocument& f : browser.frames())
        for (const AnsiString& link : f.links)
            if (link.find("/from-") != AnsiString::npos)
                QVERIFY2(std::find(links.begin(), links.end(), link) != links.end(), link.c_str());
}

int main(int argc, char** argv)
{
    vq::prepareWebEngine();
    QApplication app(argc, argv);
    TestWebFrames test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_web_frames.moc"
