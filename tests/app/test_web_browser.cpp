// The WebEngine browser adapter against a real Qt WebEngine, loading pages
// from a small HTTP server of the test's own on 127.0.0.1.

#include "app/web_browser.h"
#include "search/page_complete.h"
#include "text/ansi.h"
#include "text/errors.h"
#include "tests/support/event_wait.h"
#include "tests/support/page_server.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHash>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <unistd.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace vq;

namespace {

using test::PageServer;
using test::pump;
using test::waitFor;

AnsiString ansi(const QString& s)
{
    return utf8ToAnsi(s.toStdString());
}

std::vector<AnsiString> links(Browser& b)
{
    std::vector<AnsiString> out;
    const int n = b.linkCount();
    for (int i = 0; i < n; ++i)
        out.push_back(b.link(i));
    return out;
}

} // namespace

class TestWebBrowser : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init() { recordEvents(); }
    void cleanup() { recordEvents(); }
    void noDocumentBeforeFirstNavigation();
    void pageContents_data();
    void pageContents();
    void linkIndexOutOfRangeThrows();
    void largePageArrivesWhole();
    void addressesThatLoadNothing_data();
    void addressesThatLoadNothing();
    void serverThatNeverAnswersDoesNotHoldUpTheNext();
    void unfinishedPageIsReadAsFarAsLoaded();
    void dialogsAndPopupsAreRefusedSilently();
    void framesGiveOneTopLevelCompletion();
    void fragmentNavigationCompletes();
    void metaRefreshEndsOnTheTarget();
    void downloadDoesNotShowThePreviousPage();
    void refusedPortShowsTheErrorPage();
    void adapterOnAViewCanGoFirst();
    void viewCanGoFirst();

private:
    void recordEvents()
    {
        events_.clear();
        browser_->onNavigateComplete2 = [this](FrameId f, const AnsiString&) { events_.push_back({'N', f}); };
        browser_->onDocumentComplete = [this](FrameId f, const AnsiString&) { events_.push_back({'D', f}); };
    }
    // Navigates and waits for the DocumentComplete of this navigation.
    bool load(const QString& url, int timeoutMs = 10000);

    struct Event {
        char kind; // 'N' NavigateComplete2, 'D' DocumentComplete
        FrameId frame;
    };

    PageServer server_;
    std::unique_ptr<WebEngineBrowser> browser_;
    std::vector<Event> events_;
    int documentCompletes() const
    {
        int n = 0;
        for (const Event& e : events_)
            n += e.kind == 'D';
        return n;
    }
};

bool TestWebBrowser::load(const QString& url, int timeoutMs)
{
    events_.clear();
    browser_->navigate(ansi(url));
    return waitFor([this] { return documentCompletes() > 0; }, timeoutMs);
}

void TestWebBrowser::initTestCase()
{
    QVERIFY(server_.listening());

    // A page in GBK: the adapter must hand back the same code page 936 bytes.
    const QByteArray gbkBody = QByteArray::fromStdString(utf8ToAnsi(
        "<html><head><title>t</title></head><body>"
        "<p>联系我们</p><p>传真：0519-88888888</p>"
        "<a href=\"sub/list.html?a=1&amp;b=2\">相对</a> "
        "<a href=\"/top\">根</a> "
        "<a href=\"http://127.0.0.1:1/abs\">绝对</a>"
        "<div style=\"display:none\">隐藏文字</div>"
        "</body></html>"));
    server_.set("/gbk/page.html", {"200 OK", "text/html; charset=gbk", gbkBody, {}, true});

    server_.set("/utf8", {"200 OK", "text/html; charset=utf-8",
                          "<html><body>电话 传真 FAX: 021-1234567 ©"
                          "<a href=\"x?p=%E4%B8%AD&amp;q=1\">x</a></body></html>",
                          {}, true});
    // No charset declared, neither in the header nor in the document.
    const QByteArray undeclared = "<html><head><title>t</title></head><body><p>联系我们</p><p>传真：0512-66668888</p></body></html>";
    server_.set("/undeclared/utf8", {"200 OK", "text/html", undeclared, {}, true});
    server_.set("/undeclared/gbk", {"200 OK", "text/html",
                                    QByteArray::fromStdString(utf8ToAnsi(undeclared.toStdString())), {}, true});
    server_.set("/undeclared/gbk-short", {"200 OK", "text/html", QByteArray::fromStdString(utf8ToAnsi("<p>传真：0512-66668888</p>")), {}, true});
    server_.set("/404", {"404 Not Found", "text/html; charset=utf-8",
                         "<html><body>NOT HERE <a href=\"/home\">home</a></body></html>", {}, true});
    server_.set("/svg", {"200 OK", "image/svg+xml",
                         "<svg xmlns=\"http://www.w3.org/2000/svg\"><text>svg</text></svg>", {}, true});
    server_.set("/empty", {"200 OK", "text/html", "", {}, true});

    browser_ = std::make_unique<WebEngineBrowser>(static_cast<QWebEnginePage*>(nullptr));
    browser_->setRefreshInterval(100);
    QVERIFY(browser_->page());
    QVERIFY(browser_->page()->profile()->isOffTheRecord());
}

void TestWebBrowser::cleanupTestCase()
{
    browser_.reset();
}

void TestWebBrowser::noDocumentBeforeFirstNavigation()
{
    QVERIFY(!browser_->hasDocument());
    QVERIFY(load(server_.url("/empty")));
    QVERIFY(browser_->hasDocument());
    QCOMPARE(browser_->linkCount(), 0);
    QCOMPARE(browser_->bodyText(), AnsiString());
}

void TestWebBrowser::pageContents_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("location");
    QTest::addColumn<QStringList>("links");
    QTest::addColumn<QString>("text");      // UTF-8; compared after conversion to code page 936
    QTest::addColumn<QString>("notInText"); // must not appear

    QTest::newRow("gbk page")
        << "/gbk/page.html" << server_.url("/gbk/page.html")
        << QStringList{server_.url("/gbk/sub/list.html?a=1&b=2"), server_.url("/top"),
                       "http://127.0.0.1:1/abs"}
        << QString::fromUtf8("联系我们\n\n传真：0519-88888888\n\n相对 根 绝对")
        << QString::fromUtf8("隐藏文字");
    QTest::newRow("utf-8 page")
        << "/utf8" << server_.url("/utf8") << QStringList{server_.url("/x?p=%E4%B8%AD&q=1")}
        << QString::fromUtf8("电话 传真 FAX: 021-1234567 ©x") << QString();
    // Chromium does not guess UTF-8 over http; undeclared GBK it guesses.
    QTest::newRow("utf-8 undeclared")
        << "/undeclared/utf8" << server_.url("/undeclared/utf8") << QStringList{}
        << QString::fromUtf8("联系我们\n\n传真：0512-66668888") << QString();
    QTest::newRow("gbk undeclared")
        << "/undeclared/gbk" << server_.url("/undeclared/gbk") << QStringList{}
        << QString::fromUtf8("联系我们\n\n传真：0512-66668888") << QString();
    QTest::newRow("gbk undeclared, short")
        << "/undeclared/gbk-short" << server_.url("/undeclared/gbk-short") << QStringList{}
        << QString::fromUtf8("传真：0512-66668888") << QString();
    QTest::newRow("404 keeps the server's body")
        << "/404" << server_.url("/404") << QStringList{server_.url("/home")}
        << QString::fromUtf8("NOT HERE home") << QString();
    QTest::newRow("document without body")
        << "/svg" << server_.url("/svg") << QStringList{} << QString() << QString();
}

void TestWebBrowser::pageContents()
{
    QFETCH(QString, path);
    QFETCH(QString, location);
    QFETCH(QStringList, links);
    QFETCH(QString, text);
    QFETCH(QString, notInText);

    QVERIFY(load(server_.url(path)));
    // One NavigateComplete2 before one DocumentComplete, both for the top level.
    QCOMPARE(events_.size(), size_t(2));
    QCOMPARE(events_[0].kind, 'N');
    QCOMPARE(events_[1].kind, 'D');
    QCOMPARE(events_[0].frame, browser_->topFrame());
    QCOMPARE(events_[1].frame, browser_->topFrame());

    QCOMPARE(browser_->locationUrl(), ansi(location));
    std::vector<AnsiString> expected;
    for (const QString& l : links)
        expected.push_back(ansi(l));
    QCOMPARE(::links(*browser_), expected);
    QCOMPARE(browser_->bodyText(), ansi(text));
    if (!notInText.isEmpty())
        QVERIFY(browser_->bodyText().find(ansi(notInText)) == AnsiString::npos);
}

void TestWebBrowser::linkIndexOutOfRangeThrows()
{
    QVERIFY(load(server_.url("/utf8")));
    QCOMPARE(browser_->linkCount(), 1);
    QVERIFY_THROWS_EXCEPTION(vq::Exception, browser_->link(1));
    QVERIFY_THROWS_EXCEPTION(vq::Exception, browser_->link(-1));
}

void TestWebBrowser::largePageArrivesWhole()
{
    const int n = 5000;
    QByteArray body = "<html><body>";
    for (int i = 0; i < n; ++i)
        body += "<p>\xE4\xBC\xA0\xE7\x9C\x9F\xEF\xBC\x9A" "0519-" + QByteArray::number(10000000 + i) +
                " <a href=\"/l" + QByteArray::number(i) + "\">l</a></p>";
    body += "</body></html>";
    server_.set("/large", {"200 OK", "text/html; charset=utf-8", body, {}, true});

    QElapsedTimer t;
    t.start();
    QVERIFY(load(server_.url("/large")));
    qInfo("%d links, %d KB of page: DocumentComplete after %lld ms", n, int(body.size() / 1024),
          t.elapsed());
    QCOMPARE(browser_->linkCount(), n);
    QCOMPARE(browser_->link(0), ansi(server_.url("/l0")));
    QCOMPARE(browser_->link(n - 1), ansi(server_.url("/l%1").arg(n - 1)));
    const AnsiString text = browser_->bodyText();
    QVERIFY(text.find(utf8ToAnsi("传真：0519-10000000 l")) == 0);
    QVERIFY(text.find(utf8ToAnsi("传真：0519-10004999 l")) != AnsiString::npos);
}

void TestWebBrowser::addressesThatLoadNothing_data()
{
    QTest::addColumn<QByteArray>("address");
    QTest::addColumn<QByteArray>("location");
    // An empty line of the list gives an empty address: a blank page.
    QTest::newRow("empty") << QByteArray() << QByteArray("about:blank");
    // An address WebEngine cannot load gives its error page, not the previous page.
    QTest::newRow("malformed") << QByteArray("http://[x") << QByteArray("chrome-error://chromewebdata/");
}

void TestWebBrowser::addressesThatLoadNothing()
{
    QFETCH(QByteArray, address);
    QFETCH(QByteArray, location);
    QVERIFY(load(server_.url("/gbk/page.html")));
    events_.clear();
    browser_->navigate(address.toStdString());
    waitFor([&] { return documentCompletes() == 1; }, 8000);
    QCOMPARE(documentCompletes(), 1);
    QCOMPARE(browser_->locationUrl(), location.toStdString());
    for (const AnsiString& l : ::links(*browser_))
        QVERIFY(l.find(ansi(server_.url("/"))) == AnsiString::npos);
    QVERIFY(browser_->bodyText().find(utf8ToAnsi("联系我们")) == AnsiString::npos);
}

void TestWebBrowser::serverThatNeverAnswersDoesNotHoldUpTheNext()
{
    QVERIFY(load(server_.url("/gbk/page.html")));
    events_.clear();
    browser_->navigate(ansi(server_.url("/never")));
    QVERIFY(waitFor([&] { return server_.requested("/never"); }, 5000));
    pump(300);
    QCOMPARE(documentCompletes(), 0);
    // Nothing of the previous page is read for the new address.
    QCOMPARE(browser_->locationUrl(), ansi(server_.url("/never")));
    QCOMPARE(browser_->linkCount(), 0);
    QCOMPARE(browser_->bodyText(), AnsiString());

    // The stopped load ends without completing the next address early.
    QVERIFY(load(server_.url("/utf8")));
    QCOMPARE(documentCompletes(), 1);
    QCOMPARE(browser_->locationUrl(), ansi(server_.url("/utf8")));
    QCOMPARE(browser_->linkCount(), 1);
}

void TestWebBrowser::unfinishedPageIsReadAsFarAsLoaded()
{
    server_.set("/part", {"200 OK", "text/html; charset=utf-8",
                          "<html><body><p>EARLY 传真：010-5555555</p><a href=\"/more\">more</a>"
                          + QByteArray(2048, ' '),
                          {}, false});
    QVERIFY(load(server_.url("/utf8")));
    events_.clear();
    browser_->navigate(ansi(server_.url("/part")));
    QVERIFY(waitFor([&] { return browser_->bodyText().find("EARLY") != AnsiString::npos; }, 8000));
    QCOMPARE(documentCompletes(), 0);
    QCOMPARE(browser_->locationUrl(), ansi(server_.url("/part")));
    QCOMPARE(::links(*browser_), std::vector<AnsiString>{ansi(server_.url("/more"))});
    QVERIFY(browser_->bodyText().find(utf8ToAnsi("传真：010-5555555")) != AnsiString::npos);
}

void TestWebBrowser::dialogsAndPopupsAreRefusedSilently()
{
    server_.set("/popup",
                {"200 OK", "text/html; charset=utf-8",
                 "<html><body><p id=p>before</p><script>"
                 "alert('a'); var c = confirm('c'); var p = prompt('p', 'x');"
                 "var w = window.open('/opened', '_blank');"
                 "document.getElementById('p').textContent = 'after ' + c + ' ' + p + ' ' + (w === null);"
                 "window.onbeforeunload = function (e) { e.returnValue = 'stay'; return 'stay'; };"
                 "</script></body></html>",
                 {}, true});
    QVERIFY(load(server_.url("/popup")));
    QCOMPARE(browser_->bodyText(), AnsiString("after false null true"));
    pump(200);
    QVERIFY(!server_.requested("/opened"));
    // A beforeunload handler does not keep the browser on the page.
    QVERIFY(load(server_.url("/utf8")));
    QCOMPARE(browser_->locationUrl(), ansi(server_.url("/utf8")));
}

void TestWebBrowser::framesGiveOneTopLevelCompletion()
{
    server_.set("/framed", {"200 OK", "text/html; charset=utf-8",
                            "<html><body>outer <a href=\"/o\">o</a>"
                            "<iframe src=\"/inner\"></iframe><iframe src=\"/inner2\"></iframe>"
                            "</body></html>",
                            {}, true});
    server_.set("/inner", {"200 OK", "text/html", "<html><body>inner <a href=\"/i\">i</a></body></html>", {}, true});
    server_.set("/inner2", {"200 OK", "text/html", "<html><body>inner2</body></html>", {}, true});

    PageCompleteRule rule;
    rule.attach(*browser_);
    rule.reset();
    browser_->navigate(ansi(server_.url("/framed")));
    QVERIFY(waitFor([&] { return rule.complete(); }, 10000));
    QCOMPARE(rule.topFrameDispatch(), FrameId(nullptr));
    QVERIFY(server_.requested("/inner") && server_.requested("/inner2"));
    // The frames' documents are not part of the top-level page.
    QCOMPARE(::links(*browser_), std::vector<AnsiString>{ansi(server_.url("/o"))});
    QVERIFY(browser_->bodyText().find("inner") == AnsiString::npos);

    // No further completion arrives later (one per page).
    recordEvents();
    QVERIFY(load(server_.url("/framed")));
    pump(300);
    QCOMPARE(documentCompletes(), 1);
}

void TestWebBrowser::fragmentNavigationCompletes()
{
    server_.set("/frag", {"200 OK", "text/html", "<html><body><a href=\"#b\">b</a><p id=b>B</p></body></html>", {}, true});
    QVERIFY(load(server_.url("/frag")));
    // Only the address changes; no load runs, yet the navigation completes.
    QVERIFY(load(server_.url("/frag#b"), 5000));
    QCOMPARE(browser_->locationUrl(), ansi(server_.url("/frag#b")));
    QCOMPARE(browser_->bodyText(), AnsiString("b\n\nB"));
    // The very same address again reloads the page; it completes too.
    QVERIFY(load(server_.url("/frag#b"), 6000));
    QCOMPARE(browser_->locationUrl(), ansi(server_.url("/frag#b")));
}

void TestWebBrowser::metaRefreshEndsOnTheTarget()
{
    server_.set("/meta", {"200 OK", "text/html",
                          "<html><head><meta http-equiv=\"refresh\" content=\"0;url=/utf8\"></head>"
                          "<body>moving</body></html>",
                          {}, true});
    QVERIFY(load(server_.url("/meta")));
    // Each of the two loads is reported; what is held in the end is the target.
    waitFor([&] { return browser_->locationUrl() == ansi(server_.url("/utf8")); }, 8000);
    QCOMPARE(browser_->locationUrl(), ansi(server_.url("/utf8")));
    waitFor([&] { return documentCompletes() == 2; }, 5000);
    QCOMPARE(documentCompletes(), 2);
    QCOMPARE(browser_->linkCount(), 1);
}

void TestWebBrowser::downloadDoesNotShowThePreviousPage()
{
    server_.set("/file.zip", {"200 OK", "application/zip", "PK\x03\x04zipdata",
                              "Content-Disposition: attachment; filename=file.zip\r\n", true});
    QVERIFY(load(server_.url("/gbk/page.html")));
    QVERIFY(load(server_.url("/file.zip")));
    QCOMPARE(browser_->loadResult(), LoadResult::Succeeded); // nothing to read, nothing failed
    QCOMPARE(browser_->locationUrl(), ansi(server_.url("/file.zip")));
    QCOMPARE(browser_->linkCount(), 0);
    QCOMPARE(browser_->bodyText(), AnsiString());
}

void TestWebBrowser::refusedPortShowsTheErrorPage()
{
    quint16 port = 0;
    {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
        port = closed.serverPort();
    }
    QVERIFY(load(QStringLiteral("http://127.0.0.1:%1/x").arg(port)));
    QCOMPARE(browser_->locationUrl(), AnsiString("chrome-error://chromewebdata/"));
    // And the browser goes on with the next address.
    QVERIFY(load(server_.url("/utf8")));
    QCOMPARE(browser_->locationUrl(), ansi(server_.url("/utf8")));
}

void TestWebBrowser::adapterOnAViewCanGoFirst()
{
    // The main window's arrangement: the adapter drives the view's page and
    // may be destroyed before the view.
    auto view = std::make_unique<QWebEngineView>();
    auto b = std::make_unique<WebEngineBrowser>(static_cast<QWebEnginePage*>(nullptr));
    view->setPage(b->page());
    QCOMPARE(view->page(), b->page());
    int completes = 0;
    b->onDocumentComplete = [&](FrameId f, const AnsiString&) { completes += f == b->topFrame(); };
    b->navigate(ansi(server_.url("/utf8")));
    waitFor([&] { return completes == 1; }, 10000);
    QCOMPARE(completes, 1);
    QCOMPARE(b->locationUrl(), ansi(server_.url("/utf8")));
    // Destroyed while a load is still running.
    b->navigate(ansi(server_.url("/never2")));
    b.reset();
    pump(100);
    view.reset();
}

void TestWebBrowser::viewCanGoFirst()
{
    auto view = std::make_unique<QWebEngineView>();
    WebEngineBrowser b(static_cast<QWebEnginePage*>(nullptr));
    view->setPage(b.page());
    int completes = 0;
    b.onDocumentComplete = [&](FrameId, const AnsiString&) { ++completes; };
    b.navigate(ansi(server_.url("/utf8")));
    waitFor([&] { return completes == 1; }, 10000);
    QCOMPARE(completes, 1);
    view.reset();
    // The page outlives the view; the adapter still reads and drives it.
    QCOMPARE(b.locationUrl(), ansi(server_.url("/utf8")));
    b.navigate(ansi(server_.url("/404")));
    waitFor([&] { return completes == 2; }, 10000);
    QCOMPARE(completes, 2);
    QCOMPARE(b.locationUrl(), ansi(server_.url("/404")));
}

int main(int argc, char* argv[])
{
    vq::prepareWebEngine();
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TestWebBrowser test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_web_browser.moc"
