// The crawl driver on a manual clock: the pace of the page timer, the wait
// bound, the watchdog, stopping, the refusals of the start command, error
// paths, and what the window and the state file show at each stage.
#include "search/crawl_driver.h"

#include "tests/support/fakes.h"
#include "text/ansi.h"
#include "text/atomic_file.h"
#include "text/errors.h"
#include "text/paths.h"

#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

using namespace vq;

namespace {

const char* const kSearching = "正在搜索...";
const char* const kStopping = "终止搜索...";
const char* const kFinished = "搜索已经结束!";

// "传真：" followed by a number, as a page's visible text in code page 936.
AnsiString faxLine(const std::string& number) { return "\xB4\xAB\xD5\xE6\xA3\xBA" + number; }

std::string readBytes(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeBytes(const std::filesystem::path& p, const std::string& bytes)
{
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// Records when each navigation happened.
class TimedBrowser : public fake::FakeBrowser {
public:
    explicit TimedBrowser(fake::ManualClock& clock) : clock_(clock) {}
    void navigate(const AnsiString& url) override
    {
        times.push_back(clock_.now());
        FakeBrowser::navigate(url);
    }
    QList<qint64> times;

private:
    fake::ManualClock& clock_;
};

// The driver with every collaborator it talks to, wired as the engine wires
// them: each tick runs under the default handler.
struct Rig {
    QTemporaryDir dir;
    std::filesystem::path programDir{dir.path().toStdString()};
    fake::ManualClock clock;
    fake::FakeTimer& timer1 = clock.newTimer(8000);
    fake::FakeTimer& timer2 = clock.newTimer(300000);
    fake::FakeTimer& timer3 = clock.newTimer(300000);
    TimedBrowser browser{clock};
    fake::FakeMainView view;
    fake::FakePrompts prompts;
    fake::FakeHostLookup host;
    SearchCounters counters;
    ResultList links;
    ResultList fax;
    UrlListSource urlList{view, prompts, counters, programDir};
    PageCompleteRule page;
    LinkHarvester harvester{browser, view, links, counters};
    FaxExtractor extractor{browser, view, fax, counters};
    CrawlDriver driver{view, prompts, browser, host, timer1, timer2, timer3, urlList, page,
                       harvester, extractor, links, fax, counters, programDir};

    Rig()
    {
        page.attach(browser);
        timer1.onTimer = [this] { guarded(prompts, [this] { driver.Timer1Timer(); }); };
        timer3.onTimer = [this] { guarded(prompts, [this] { driver.Timer3Timer(); }); };
        view.setChecked(Switch::Links, true);
        view.setChecked(Switch::Fax, true);
    }

    // Writes the list (each line ended by CR LF), puts it into Edit5 and counts it.
    std::filesystem::path writeList(const std::vector<std::string>& lines,
                                    const std::string& name = "list.txt")
    {
        std::string bytes;
        for (const auto& l : lines)
            bytes += l + "\r\n";
        return writeListBytes(bytes, name);
    }
    std::filesystem::path writeListBytes(const std::string& bytes, const std::string& name = "list.txt")
    {
        const auto path = programDir / name;
        writeBytes(path, bytes);
        view.setListPath(pathToAnsi(path));
        counters.urlTotal = 0;
        UrlListSource::countLines(path, counters.urlTotal);
        return path;
    }

    // Pages the browser completes as soon as it is sent there, each with one
    // link and one fax number.
    void autoPages(int count)
    {
        browser.autoComplete = true;
        for (int i = 1; i <= count; ++i) {
            const std::string url = "http://p" + std::to_string(i) + ".example/";
            browser.pages[url] = fake::FakePage{url, {url + "next.html"}, faxLine("0519-8888888" + std::to_string(i))};
        }
    }
    std::vector<std::string> pageUrls(int count) const
    {
        std::vector<std::string> out;
        for (int i = 1; i <= count; ++i)
            out.push_back("http://p" + std::to_string(i) + ".example/");
        return out;
    }

    // A document that stays loading: the browser holds it but never completes it.
    void hangingDocument() { browser.setPage({"http://slow.example/", {}, faxLine("0519-87654321")}); }

    bool finished() const { return view.panel(8) == kFinished; }
    std::string stateFile() const { return readBytes(programDir / "vqdornavik.ini"); }
    bool stateFileExists() const { return std::filesystem::exists(programDir / "vqdornavik.ini"); }
    void advanceTo(qint64 t) { clock.advanceTo(t); }
};

} // namespace

class CrawlDriverTest : public QObject {
    Q_OBJECT

private slots:
    void refusalsLeaveEverything_data();
    void refusalsLeaveEverything();
    void startAccepted_data();
    void startAccepted();
    void startState_data();
    void startState();
    void walkScansEveryPageAndWritesTheState();
    void emptyListFinishesAtOnce_data();
    void emptyListFinishesAtOnce();
    void waitBoundScansAHangingPage_data();
    void waitBoundScansAHangingPage();
    void watchdogAbandonsHangingPages_data();
    void watchdogAbandonsHangingPages();
    void speedChangedDuringSearch_data();
    void speedChangedDuringSearch();
    void noDocumentCountsNoWaitTick();
    void stopDuringSlowPage_data();
    void stopDuringSlowPage();
    void stopMidListFinishesAfterTheScan();
    void navigationErrorsAreSwallowed();
    void readErrorLeavesPageTimerOff();
    void scannersFollowTheSwitches_data();
    void scannersFollowTheSwitches();
    void autosaveTimerFollowsItsSwitch();
    void restartBeginsAtTheFirstLine_data();
    void restartBeginsAtTheFirstLine();
    void failedStateWriteStillEndsTheSearch();
    void failedOpenLeavesTheWindowStopped();
};

// ---- start command ---------------------------------------------------------

void CrawlDriverTest::refusalsLeaveEverything_data()
{
    QTest::addColumn<bool>("links");
    QTest::addColumn<bool>("fax");
    QTest::addColumn<QString>("list"); // file, missing, empty, folder
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("hostCalls");

    const QString noItem = QString::fromUtf8("请至少选择一个搜索项目才可以开始");
    const QString noList = QString::fromUtf8("您还没有选择网址列表文件！");
    const QString offline = QString::fromUtf8("您还没有连接到网上！");
    QTest::newRow("no search item") << false << false << "file" << "192.0.2.7" << "message" << noItem << 0;
    QTest::newRow("no search item before no list") << false << false << "missing" << "127.0.0.1" << "message" << noItem << 0;
    QTest::newRow("list file missing") << true << false << "missing" << "192.0.2.7" << "information" << noList << 0;
    QTest::newRow("list path empty") << false << true << "empty" << "192.0.2.7" << "information" << noList << 0;
    QTest::newRow("list path is a folder") << true << true << "folder" << "192.0.2.7" << "information" << noList << 0;
    QTest::newRow("no list before offline") << true << true << "missing" << "127.0.0.1" << "information" << noList << 0;
    QTest::newRow("loopback only") << true << true << "file" << "127.0.0.1" << "information" << offline << 1;
}

void CrawlDriverTest::refusalsLeaveEverything()
{
    QFETCH(bool, links);
    QFETCH(bool, fax);
    QFETCH(QString, list);
    QFETCH(QString, host);
    QFETCH(QString, kind);
    QFETCH(QString, text);
    QFETCH(int, hostCalls);

    Rig r;
    r.writeList({"http://p1.example/"});
    if (list == "missing")
        r.view.setListPath(pathToAnsi(r.programDir / "none.txt"));
    else if (list == "empty")
        r.view.setListPath("");
    else if (list == "folder")
        r.view.setListPath(pathToAnsi(r.programDir));
    r.view.setChecked(Switch::Links, links);
    r.view.setChecked(Switch::Fax, fax);
    r.host.address = host.toStdString();

    // Values of an earlier search that a refusal must keep.
    r.counters = SearchCounters{5, 9, 2, 3, 4, 7, true};
    r.links.append("http://kept.example/");
    r.fax.append("0519-11111111");
    for (int i = 0; i < 9; ++i)
        r.view.setPanel(i, "p" + std::to_string(i));

    r.driver.N2Click();

    QCOMPARE(r.prompts.log.size(), size_t(1));
    QCOMPARE(QString::fromStdString(r.prompts.log[0].kind), kind);
    QCOMPARE(QString::fromStdString(r.prompts.log[0].text), text);
    QCOMPARE(r.host.calls, hostCalls);

    QCOMPARE(r.counters.progressIndex, 5);
    QCOMPARE(r.counters.urlTotal, 9);
    QCOMPARE(r.counters.linkCount, 2);
    QCOMPARE(r.counters.faxCount, 3);
    QCOMPARE(r.counters.watchdogIndex, 4);
    QCOMPARE(r.counters.waitTicks, 7);
    QVERIFY(r.counters.stopRequested);
    QCOMPARE(r.links.size(), size_t(1));
    QCOMPARE(r.fax.size(), size_t(1));
    for (int i = 0; i < 9; ++i)
        QCOMPARE(r.view.panel(i), "p" + std::to_string(i));
    QVERIFY(r.view.buttonHistory.empty());
    QVERIFY(!r.timer1.enabled() && !r.timer2.enabled() && !r.timer3.enabled());
    QVERIFY(!r.urlList.isOpen());
    QVERIFY(r.browser.navigations.empty());
    QVERIFY(!r.stateFileExists());
}

void CrawlDriverTest::startAccepted_data()
{
    QTest::addColumn<bool>("links");
    QTest::addColumn<bool>("fax");
    QTest::addColumn<QString>("host");

    QTest::newRow("links only") << true << false << "192.0.2.7";
    QTest::newRow("fax only") << false << true << "192.0.2.7";
    QTest::newRow("host name not resolved") << true << true << "";
    QTest::newRow("other loopback text") << true << true << "127.0.1.1";
    QTest::newRow("IPv6 address") << true << true << "2001:db8::7";
}

void CrawlDriverTest::startAccepted()
{
    QFETCH(bool, links);
    QFETCH(bool, fax);
    QFETCH(QString, host);

    Rig r;
    r.writeList({"http://p1.example/"});
    r.view.setChecked(Switch::Links, links);
    r.view.setChecked(Switch::Fax, fax);
    r.host.address = host.toStdString();

    r.driver.N2Click();

    QVERIFY(r.prompts.log.empty());
    QCOMPARE(r.browser.navigations, std::vector<AnsiString>{"http://p1.example/"});
    QCOMPARE(r.view.panel(8), std::string(kSearching));
}

void CrawlDriverTest::startState_data()
{
    QTest::addColumn<QString>("speed");
    QTest::addColumn<bool>("autosave");
    QTest::addColumn<int>("pageMs");
    QTest::addColumn<int>("watchdogMs");

    QTest::newRow("8 s") << "8" << false << 8000 << 120000;
    QTest::newRow("1 s, autosave") << "1" << true << 1000 << 15000;
    QTest::newRow("60 s") << "60" << false << 60000 << 900000;
    // Typed values outside 1..60 run at the nearest end of the range.
    QTest::newRow("0 typed") << "0" << true << 1000 << 15000;
    QTest::newRow("-3 typed") << "-3" << false << 1000 << 15000;
    QTest::newRow("75 typed") << "75" << false << 60000 << 900000;
    QTest::newRow("not a number") << "abc" << true << 1000 << 15000;
}

void CrawlDriverTest::startState()
{
    QFETCH(QString, speed);
    QFETCH(bool, autosave);
    QFETCH(int, pageMs);
    QFETCH(int, watchdogMs);

    Rig r;
    r.writeList({"http://p1.example/ a comment", "http://p2.example/", "http://p3.example/"});
    r.counters.urlTotal = 42; // shown as last counted, not recounted
    r.counters.progressIndex = 17;
    r.counters.watchdogIndex = 17;
    r.counters.linkCount = 4;
    r.counters.faxCount = 5;
    r.counters.stopRequested = true;
    r.links.append("http://old.example/");
    r.fax.append("0519-11111111");
    r.view.setPanel(5, "4");
    r.view.setPanel(7, "5");
    r.view.speedText = speed.toStdString();
    r.view.setChecked(Switch::Autosave, autosave);

    r.driver.N2Click();

    QCOMPARE(r.view.buttons, ButtonSet::Searching);
    QCOMPARE(r.view.panel(1), std::string("42"));
    QCOMPARE(r.view.panel(3), std::string("1"));
    QCOMPARE(r.view.panel(5), std::string());
    QCOMPARE(r.view.panel(7), std::string());
    QCOMPARE(r.view.panel(8), std::string(kSearching));
    QCOMPARE(r.counters.progressIndex, 1);
    QCOMPARE(r.counters.watchdogIndex, 0);
    QCOMPARE(r.counters.linkCount, 0);
    QCOMPARE(r.counters.faxCount, 0);
    QVERIFY(!r.counters.stopRequested);
    QVERIFY(r.links.empty());
    QVERIFY(r.fax.empty());
    QCOMPARE(r.browser.navigations, std::vector<AnsiString>{"http://p1.example/"});

    QVERIFY(r.timer1.enabled());
    QCOMPARE(r.timer1.interval(), pageMs);
    QVERIFY(r.timer3.enabled());
    QCOMPARE(r.timer3.interval(), watchdogMs);
    QCOMPARE(r.timer2.enabled(), autosave);
    QCOMPARE(r.timer1.due(), qint64(pageMs));
    QCOMPARE(r.timer3.due(), qint64(watchdogMs));
}

// ---- the walk through a list -------------------------------------------------

void CrawlDriverTest::walkScansEveryPageAndWritesTheState()
{
    Rig r;
    r.autoPages(3);
    r.writeList({"http://p1.example/ first", "http://p2.example/", "http://p3.example/"},
                "网址列表.txt");
    r.view.setChecked(Switch::Dedup, true);
    r.view.setChecked(Switch::OnlySite, false);

    r.driver.N2Click();
    r.advanceTo(8000);
    QCOMPARE(r.view.panel(3), std::string("2"));
    QCOMPARE(r.fax.size(), size_t(1));
    QCOMPARE(r.view.panel(5), std::string("1"));
    QCOMPARE(r.view.panel(7), std::string("1"));
    QVERIFY(!r.finished());

    r.advanceTo(23999);
    QVERIFY(!r.finished());
    r.advanceTo(24000);
    QVERIFY(r.finished());

    QCOMPARE(r.browser.times, (QList<qint64>{0, 8000, 16000}));
    QCOMPARE(r.browser.navigations,
             (std::vector<AnsiString>{"http://p1.example/", "http://p2.example/", "http://p3.example/"}));
    QCOMPARE(r.fax.items(), (std::deque<AnsiString>{"0519-88888881", "0519-88888882", "0519-88888883"}));
    QCOMPARE(r.links.size(), size_t(3));
    QCOMPARE(r.counters.linkCount, 3);
    QCOMPARE(r.counters.faxCount, 3);
    QCOMPARE(r.counters.progressIndex, 3);
    QCOMPARE(r.view.panel(3), std::string("3"));

    QCOMPARE(r.view.buttonHistory, (std::vector<ButtonSet>{ButtonSet::Searching, ButtonSet::Stopped}));
    QVERIFY(r.view.repaints >= 1);
    QVERIFY(!r.timer1.enabled() && !r.timer2.enabled() && !r.timer3.enabled());
    QVERIFY(!r.urlList.isOpen());
    QVERIFY(r.prompts.log.empty());

    // The state file: the list path in code page 936, the counters, the
    // switches and the speed, each line ended by CR LF.
    const std::string expected = pathToAnsi(r.programDir / "网址列表.txt") +
                                 "\r\n3\r\n3\r\nqcyes\r\nwebyes\r\nfaxyes\r\nsxno\r\nbzno\r\nsaveno\r\n8\r\n";
    QCOMPARE(r.stateFile(), expected);
    QVERIFY(r.stateFile().find(utf8ToAnsi("网址列表")) != std::string::npos);

    // Nothing runs after the finish.
    r.advanceTo(1000000);
    QCOMPARE(r.browser.navigations.size(), size_t(3));
}

void CrawlDriverTest::emptyListFinishesAtOnce_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("Ctrl-Z only") << QByteArray("\x1A");
    QTest::newRow("Ctrl-Z before the lines") << QByteArray("\x1A\r\nhttp://p1.example/\r\n");
}

void CrawlDriverTest::emptyListFinishesAtOnce()
{
    QFETCH(QByteArray, bytes);
    Rig r;
    r.writeListBytes(bytes.toStdString());
    QCOMPARE(r.counters.urlTotal, 0);

    r.driver.N2Click();

    QVERIFY(r.finished());
    QCOMPARE(r.counters.progressIndex, 0);
    QCOMPARE(r.view.panel(3), std::string());
    QVERIFY(r.browser.navigations.empty());
    QCOMPARE(r.view.buttonHistory, (std::vector<ButtonSet>{ButtonSet::Searching, ButtonSet::Stopped}));
    QVERIFY(!r.timer1.enabled() && !r.timer2.enabled() && !r.timer3.enabled());
    QCOMPARE(r.stateFile(), r.view.listPath() + "\r\n0\r\n0\r\nqcno\r\nwebyes\r\nfaxyes\r\nsxno\r\nbzno\r\nsaveno\r\n8\r\n");
}

// ---- waiting for a page ----------------------------------------------------

void CrawlDriverTest::waitBoundScansAHangingPage_data()
{
    // The speed is lowered right after the start, so that the page timer runs
    // fast while the watchdog keeps the slow interval of the start.
    QTest::addColumn<int>("startSpeed");
    QTest::addColumn<int>("laterSpeed");
    QTest::newRow("60 s then 1 s") << 60 << 1;
    QTest::newRow("20 s then 2 s") << 20 << 2;
    QTest::newRow("30 s then 3 s") << 30 << 3;
}

void CrawlDriverTest::waitBoundScansAHangingPage()
{
    QFETCH(int, startSpeed);
    QFETCH(int, laterSpeed);
    Rig r;
    r.writeList({"http://slow.example/", "http://p2.example/"});
    r.hangingDocument();
    r.view.setSpeed(startSpeed);
    r.driver.N2Click();
    r.view.setSpeed(laterSpeed);

    // The first tick comes at the old pace; the 30 waits that follow at the new one.
    const qint64 scanAt = startSpeed * 1000 + 30 * laterSpeed * 1000;
    r.advanceTo(scanAt - 1);
    QCOMPARE(r.counters.waitTicks, 30);
    QCOMPARE(r.counters.faxCount, 0);
    QCOMPARE(r.browser.navigations.size(), size_t(1));
    QVERIFY(r.timer1.enabled());

    r.advanceTo(scanAt);
    // Scanned with what the browser holds, then on to the next address.
    QCOMPARE(r.counters.faxCount, 1);
    QCOMPARE(r.fax.at(0), AnsiString("0519-87654321"));
    QCOMPARE(r.counters.waitTicks, 0);
    QCOMPARE(r.browser.times, (QList<qint64>{0, scanAt}));
    QCOMPARE(r.counters.progressIndex, 2);
    QCOMPARE(r.timer1.interval(), laterSpeed * 1000);
}

void CrawlDriverTest::watchdogAbandonsHangingPages_data()
{
    QTest::addColumn<int>("speed");
    QTest::newRow("1 s") << 1;
    QTest::newRow("8 s") << 8;
    QTest::newRow("60 s") << 60;
}

void CrawlDriverTest::watchdogAbandonsHangingPages()
{
    QFETCH(int, speed);
    const qint64 interval = speed * 1000;
    Rig r;
    r.writeList({"http://h1.example/", "http://h2.example/", "http://h3.example/"});
    r.hangingDocument();
    r.view.setSpeed(speed);
    r.driver.N2Click();

    // The first watchdog tick (15 intervals) sees progress and notes it; the
    // second, 15 intervals later, finds none and forces the next address.
    r.advanceTo(15 * interval);
    QCOMPARE(r.counters.watchdogIndex, 1);
    QCOMPARE(r.browser.navigations.size(), size_t(1));
    r.advanceTo(30 * interval - 1);
    QCOMPARE(r.browser.navigations.size(), size_t(1));
    r.advanceTo(90 * interval - 1);
    QVERIFY(!r.finished());
    r.advanceTo(90 * interval);
    QVERIFY(r.finished());

    QCOMPARE(r.browser.times, (QList<qint64>{0, 30 * interval, 60 * interval}));
    // Abandoned pages are never scanned.
    QCOMPARE(r.counters.faxCount, 0);
    QVERIFY(r.fax.empty());
    QCOMPARE(r.counters.progressIndex, 3);
    QVERIFY(r.prompts.log.empty());
    QVERIFY(r.stateFile().find("\r\n3\r\n3\r\n") != std::string::npos);
}

void CrawlDriverTest::speedChangedDuringSearch_data()
{
    QTest::addColumn<bool>("completes");  // pages complete at once; otherwise no document at all
    QTest::addColumn<int>("startSpeed");
    QTest::addColumn<int>("laterSpeed");  // typed one second after the start
    QTest::addColumn<QList<qint64>>("navigations");
    QTest::addColumn<qint64>("finishAt");

    // The page timer takes the new speed from its next tick.
    QTest::newRow("page timer, faster") << true << 8 << 2 << QList<qint64>{0, 8000, 10000} << qint64(12000);
    QTest::newRow("page timer, slower") << true << 2 << 5 << QList<qint64>{0, 2000, 7000} << qint64(12000);
    // The watchdog keeps the interval of the last advance it was set by; each
    // forced advance takes the speed of that moment.
    QTest::newRow("watchdog, faster") << false << 8 << 2 << QList<qint64>{0, 240000, 300000} << qint64(360000);
    QTest::newRow("watchdog, slower") << false << 2 << 8 << QList<qint64>{0, 60000, 300000} << qint64(540000);
}

void CrawlDriverTest::speedChangedDuringSearch()
{
    QFETCH(bool, completes);
    QFETCH(int, startSpeed);
    QFETCH(int, laterSpeed);
    QFETCH(QList<qint64>, navigations);
    QFETCH(qint64, finishAt);

    Rig r;
    if (completes)
        r.autoPages(3);
    r.writeList(r.pageUrls(3));
    r.view.setSpeed(startSpeed);
    r.driver.N2Click();
    r.advanceTo(1000);
    r.view.setSpeed(laterSpeed);

    r.advanceTo(finishAt - 1);
    QVERIFY(!r.finished());
    r.advanceTo(finishAt);
    QVERIFY(r.finished());
    QCOMPARE(r.browser.times, navigations);
    QCOMPARE(r.counters.faxCount, completes ? 3 : 0);
}

void CrawlDriverTest::noDocumentCountsNoWaitTick()
{
    Rig r;
    r.writeList({"http://p1.example/", "http://p2.example/"});
    r.driver.N2Click();

    // Twelve ticks without a document: no wait counted, the timer keeps running.
    r.advanceTo(100000);
    QCOMPARE(r.timer1.ticks, 12);
    QCOMPARE(r.counters.waitTicks, 0);
    QVERIFY(r.timer1.enabled());
    QCOMPARE(r.browser.navigations.size(), size_t(1));

    // Once the page arrives, the next tick scans it and moves on.
    r.browser.completeTop({"http://p1.example/", {}, faxLine("0519-88888881")});
    r.advanceTo(104000);
    QCOMPARE(r.counters.faxCount, 1);
    QCOMPARE(r.browser.times, (QList<qint64>{0, 104000}));
}

// ---- stopping ----------------------------------------------------------------

void CrawlDriverTest::stopDuringSlowPage_data()
{
    QTest::addColumn<qint64>("completeAt"); // -1: the page never completes
    QTest::addColumn<int>("startSpeed");
    QTest::addColumn<int>("laterSpeed");
    QTest::addColumn<qint64>("finishAt");
    QTest::addColumn<int>("scanned");

    // The page completes while stopping: the next tick scans it, then finishes.
    QTest::newRow("page completes") << qint64(60000) << 8 << 8 << qint64(64000) << 1;
    // The tick that ends the wait bound scans what has loaded, then finishes.
    QTest::newRow("wait bound first") << qint64(-1) << 60 << 1 << qint64(90000) << 1;
    // The watchdog comes first: it finishes without scanning the page.
    QTest::newRow("watchdog first") << qint64(-1) << 8 << 8 << qint64(240000) << 0;
}

void CrawlDriverTest::stopDuringSlowPage()
{
    QFETCH(qint64, completeAt);
    QFETCH(int, startSpeed);
    QFETCH(int, laterSpeed);
    QFETCH(qint64, finishAt);
    QFETCH(int, scanned);

    Rig r;
    r.writeList({"http://slow.example/", "http://p2.example/", "http://p3.example/"});
    r.hangingDocument();
    r.view.setSpeed(startSpeed);
    r.driver.N2Click();
    r.view.setSpeed(laterSpeed);

    r.advanceTo(50000);
    r.driver.N3Click();
    QVERIFY(r.counters.stopRequested);
    QCOMPARE(r.view.panel(8), std::string(kStopping));
    QCOMPARE(r.view.buttons, ButtonSet::Stopped);
    QVERIFY(r.timer1.enabled() && r.timer3.enabled()); // the timers run until a tick sees the flag

    if (completeAt >= 0) {
        r.advanceTo(completeAt);
        r.browser.completeTop({"http://slow.example/", {}, faxLine("0519-87654321")});
    }
    r.advanceTo(finishAt - 1);
    QCOMPARE(r.view.panel(8), std::string(kStopping));
    r.advanceTo(finishAt);
    QVERIFY(r.finished());

    QCOMPARE(r.counters.faxCount, scanned);
    QCOMPARE(r.browser.navigations.size(), size_t(1));
    QCOMPARE(r.counters.progressIndex, 1);
    QVERIFY(!r.timer1.enabled() && !r.timer2.enabled() && !r.timer3.enabled());
    QCOMPARE(r.view.buttonHistory,
             (std::vector<ButtonSet>{ButtonSet::Searching, ButtonSet::Stopped, ButtonSet::Stopped}));
    QVERIFY(r.stateFile().find("\r\n1\r\n3\r\n") != std::string::npos);
}

void CrawlDriverTest::stopMidListFinishesAfterTheScan()
{
    Rig r;
    r.autoPages(5);
    r.writeList(r.pageUrls(5));
    r.driver.N2Click();
    r.advanceTo(8000); // page 1 scanned, page 2 loading
    r.driver.N3Click();
    r.advanceTo(16000); // page 2 scanned, then the flag is seen
    QVERIFY(r.finished());
    QCOMPARE(r.counters.progressIndex, 2);
    QCOMPARE(r.counters.faxCount, 2);
    QCOMPARE(r.browser.navigations.size(), size_t(2));
}

// ---- failures ----------------------------------------------------------------

void CrawlDriverTest::navigationErrorsAreSwallowed()
{
    Rig r;
    r.writeList({"http://p1.example/", "http://p2.example/"});
    r.hangingDocument();
    r.browser.failNavigate = true;

    r.driver.N2Click(); // must not throw
    QVERIFY(r.timer1.enabled());
    QCOMPARE(r.view.panel(3), std::string("1"));

    r.advanceTo(480000);
    QVERIFY(r.finished());
    QCOMPARE(r.browser.times, (QList<qint64>{0, 240000}));
    QVERIFY(r.prompts.log.empty());
}

void CrawlDriverTest::readErrorLeavesPageTimerOff()
{
    Rig r;
    r.autoPages(3);
    r.writeList(r.pageUrls(3));
    r.browser.failReads = true;
    r.driver.N2Click();

    // The scan fails: reported through the default handler, page timer off.
    r.advanceTo(8000);
    QCOMPARE(r.prompts.texts("error"), std::vector<std::string>{"document not readable."});
    QVERIFY(!r.timer1.enabled());
    QVERIFY(r.timer3.enabled());
    QCOMPARE(r.browser.navigations.size(), size_t(1));

    // The watchdog moves on: first it notes the progress, then forces the advance,
    // which starts the page timer again.
    r.browser.failReads = false;
    r.advanceTo(239999);
    QCOMPARE(r.browser.navigations.size(), size_t(1));
    r.advanceTo(240000);
    QCOMPARE(r.browser.navigations.size(), size_t(2));
    QVERIFY(r.timer1.enabled());
    r.advanceTo(248000);
    QCOMPARE(r.counters.faxCount, 1);
    QCOMPARE(r.fax.at(0), AnsiString("0519-88888882"));

    // Called directly, the error leaves the handler.
    Rig d;
    d.autoPages(1);
    d.writeList(d.pageUrls(1));
    d.browser.failReads = true;
    d.driver.N2Click();
    QVERIFY_THROWS_EXCEPTION(vq::Exception, d.driver.Timer1Timer());
    QVERIFY(!d.timer1.enabled());
    QVERIFY(!d.finished());
}

void CrawlDriverTest::scannersFollowTheSwitches_data()
{
    QTest::addColumn<bool>("links");
    QTest::addColumn<bool>("fax");
    QTest::addColumn<int>("linkCount");
    QTest::addColumn<int>("faxCount");
    QTest::newRow("links only") << true << false << 2 << 0;
    QTest::newRow("fax only") << false << true << 0 << 2;
    QTest::newRow("both") << true << true << 2 << 2;
}

void CrawlDriverTest::scannersFollowTheSwitches()
{
    QFETCH(bool, links);
    QFETCH(bool, fax);
    QFETCH(int, linkCount);
    QFETCH(int, faxCount);
    Rig r;
    r.autoPages(2);
    r.writeList(r.pageUrls(2));
    r.view.setChecked(Switch::Links, links);
    r.view.setChecked(Switch::Fax, fax);
    r.driver.N2Click();
    r.advanceTo(16000);
    QVERIFY(r.finished());
    QCOMPARE(r.counters.linkCount, linkCount);
    QCOMPARE(int(r.links.size()), linkCount);
    QCOMPARE(r.counters.faxCount, faxCount);
    QCOMPARE(int(r.fax.size()), faxCount);
}

void CrawlDriverTest::autosaveTimerFollowsItsSwitch()
{
    Rig r;
    r.autoPages(4);
    r.writeList(r.pageUrls(4));
    r.view.setChecked(Switch::Autosave, true);
    r.driver.N2Click();
    QVERIFY(r.timer2.enabled());

    // Switched off: the next scanned page turns the timer off.
    r.view.setChecked(Switch::Autosave, false);
    QVERIFY(r.timer2.enabled());
    r.advanceTo(8000);
    QVERIFY(!r.timer2.enabled());

    // And on again at the next page.
    r.view.setChecked(Switch::Autosave, true);
    r.advanceTo(16000);
    QVERIFY(r.timer2.enabled());
    const qint64 due = r.timer2.due();
    r.advanceTo(24000);
    QCOMPARE(r.timer2.due(), due); // an enabled timer keeps its period

    r.advanceTo(32000);
    QVERIFY(r.finished());
    QVERIFY(!r.timer2.enabled());
}

void CrawlDriverTest::restartBeginsAtTheFirstLine_data()
{
    QTest::addColumn<bool>("finishFirst");
    QTest::newRow("after the finish") << true;
    QTest::newRow("after a stop, before the next tick") << false;
}

void CrawlDriverTest::restartBeginsAtTheFirstLine()
{
    QFETCH(bool, finishFirst);
    Rig r;
    r.autoPages(3);
    r.writeList(r.pageUrls(3));
    r.driver.N2Click();
    r.advanceTo(8000);
    r.driver.N3Click();
    if (finishFirst) {
        r.advanceTo(16000);
        QVERIFY(r.finished());
    }

    const qint64 start = r.clock.now();
    r.browser.times.clear();
    r.browser.navigations.clear();
    r.driver.N2Click();
    QVERIFY(!r.counters.stopRequested);
    QCOMPARE(r.counters.progressIndex, 1);
    QCOMPARE(r.browser.navigations, std::vector<AnsiString>{"http://p1.example/"});
    QVERIFY(r.fax.empty());

    r.advanceTo(start + 24000);
    QVERIFY(r.finished());
    QCOMPARE(r.counters.progressIndex, 3);
    QCOMPARE(r.counters.faxCount, 3);
    QCOMPARE(r.browser.navigations.size(), size_t(3));
}

void CrawlDriverTest::failedStateWriteStillEndsTheSearch()
{
    Rig r;
    r.autoPages(1);
    r.writeList(r.pageUrls(1));
    writeBytes(r.programDir / "vqdornavik.ini", "old state\r\n");
    r.driver.N2Click();

    vq::testing::failWritesAfter(0);
    r.advanceTo(8000);
    vq::testing::failWritesAfter(-1);

    // Reported, and the window shows the search as ended; the old file is intact.
    QCOMPARE(r.prompts.texts("error"), std::vector<std::string>{"Disk full."});
    QVERIFY(r.finished());
    QCOMPARE(r.view.buttons, ButtonSet::Stopped);
    QVERIFY(!r.timer1.enabled() && !r.timer2.enabled() && !r.timer3.enabled());
    QVERIFY(!r.urlList.isOpen());
    QCOMPARE(r.stateFile(), std::string("old state\r\n"));
}

void CrawlDriverTest::failedOpenLeavesTheWindowStopped()
{
    Rig r;
    r.writeList(r.pageUrls(2));

    // Leave no file descriptor free, so that opening the list fails.
    rlimit saved{};
    QCOMPARE(getrlimit(RLIMIT_NOFILE, &saved), 0);
    const int lowest = ::open("/dev/null", O_RDONLY);
    QVERIFY(lowest >= 0);
    ::close(lowest);
    rlimit tight = saved;
    tight.rlim_cur = static_cast<rlim_t>(lowest);
    QCOMPARE(setrlimit(RLIMIT_NOFILE, &tight), 0);
    bool threw = false;
    std::string message;
    try {
        r.driver.N2Click();
    } catch (const EInOutError& e) {
        threw = true;
        message = e.what();
    }
    setrlimit(RLIMIT_NOFILE, &saved);

    QVERIFY(threw);
    QCOMPARE(message, std::string("Too many open files"));
    QCOMPARE(r.view.buttons, ButtonSet::Stopped);
    QCOMPARE(r.view.panel(8), std::string(kFinished));
    QVERIFY(!r.timer1.enabled() && !r.timer2.enabled() && !r.timer3.enabled());
    QVERIFY(r.browser.navigations.empty());
    QVERIFY(!r.stateFileExists());
}

QTEST_GUILESS_MAIN(CrawlDriverTest)
#include "test_crawl_driver.moc"
