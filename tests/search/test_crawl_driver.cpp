// The search on a manual clock, as the window drives it: the pace of the page timer, the wait
// bound, the watchdog, stopping, the refusals of the start command, error
// paths, and what the window and the state file show.
#include "tests/support/files.h"
#include "app/engine.h"

#include "tests/support/fakes.h"
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
#include <tuple>

using namespace vq;

using vq::test::readBytes;
using vq::test::writeBytes;

namespace {

const std::string kSearching = "正在搜索...";
const std::string kStopping = "终止搜索...";
const std::string kFinished = "搜索已经结束!";

// "传真：" and a number, as visible page text in code page 936.
AnsiString faxLine(const std::string& number) { return "\xB4\xAB\xD5\xE6\xA3\xBA" + number; }

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

// The driver wired as the engine wires it: each tick under the default handler.
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
    Engine engine{EnginePorts{view, prompts, browser, host, timer1, timer2, timer3, programDir}};
    SearchSession& session = engine.session;
    SearchSetup& setup = engine.setup();
    ResultList& links = engine.links;
    ResultList& fax = engine.fax;

    // A list of `pages` addresses; `complete`: the browser loads each at once
    // with one link and one fax number.
    explicit Rig(int pages = 3, bool complete = true, const std::string& listName = "list.txt")
    {
        setup.setChecked(Switch::Links, true);
        setup.setChecked(Switch::Fax, true);
        browser.autoComplete = complete;
        std::ofstream out(programDir / listName, std::ios::binary);
        for (int i = 1; i <= pages; ++i) {
            const std::string url = "http://p" + std::to_string(i) + ".example/";
            browser.pages[url] = {url, {url + "next.html"}, faxLine("0519-8888888" + std::to_string(i))};
            out << url << (i == 1 ? " a comment" : "") << "\r\n";
        }
        out.close();
        setup.setListPath(pathToAnsi(programDir / listName));
        setup.setUrlTotal(pages);
    }
    // A document the browser holds but never completes.
    void hangingDocument() { browser.setPage({"http://slow.example/", {}, faxLine("0519-87654321")}); }
    bool finished() const { return view.panel(8) == kFinished; }
    bool allTimersOff() const { return !timer1.enabled() && !timer2.enabled() && !timer3.enabled(); }
    std::string stateFile() const { return readBytes(programDir / "vqdornavik.ini"); }
};

} // namespace

class CrawlDriverTest : public QObject {
    Q_OBJECT

private slots:
    void refusalsLeaveEverything_data();
    void refusalsLeaveEverything();
    void startState_data();
    void startState();
    void timeline_data();
    void timeline();
    void finishShowsAndStoresTheSearch();
    void readErrorLeavesPageTimerOff();
    void scannersAndAutosaveFollowTheSwitches_data();
    void scannersAndAutosaveFollowTheSwitches();
    void restartBeginsAtTheFirstLine_data();
    void restartBeginsAtTheFirstLine();
    void failedStateWriteStillEndsTheSearch_data();
    void failedStateWriteStillEndsTheSearch();
    void failedOpenLeavesTheWindowStopped();
    void engineWiresTheTimersToTheDriver();
};

void CrawlDriverTest::refusalsLeaveEverything_data()
{
    QTest::addColumn<bool>("links");
    QTest::addColumn<bool>("fax");
    QTest::addColumn<QString>("list"); // file, missing, empty, folder
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("text");

    const QString noItem = QString::fromUtf8("请至少选择一个搜索项目才可以开始");
    const QString noList = QString::fromUtf8("您还没有选择网址列表文件！");
    const QString offline = QString::fromUtf8("您还没有连接到网上！");
    QTest::newRow("no search item") << false << false << "file" << "192.0.2.7" << "message" << noItem;
    QTest::newRow("no item, no list, offline") << false << false << "missing" << "127.0.0.1" << "message" << noItem;
    QTest::newRow("list file missing") << true << false << "missing" << "192.0.2.7" << "information" << noList;
    QTest::newRow("list path empty") << false << true << "empty" << "192.0.2.7" << "information" << noList;
    QTest::newRow("list path is a folder") << true << true << "folder" << "192.0.2.7" << "information" << noList;
    QTest::newRow("no list, offline") << true << true << "missing" << "127.0.0.1" << "information" << noList;
    QTest::newRow("loopback only") << true << true << "file" << "127.0.0.1" << "information" << offline;
}

void CrawlDriverTest::refusalsLeaveEverything()
{
    QFETCH(bool, links);
    QFETCH(bool, fax);
    QFETCH(QString, list);
    QFETCH(QString, host);
    QFETCH(QString, kind);
    QFETCH(QString, text);

    Rig r;
    if (list == "missing")
        r.setup.setListPath(pathToAnsi(r.programDir / "none.txt"));
    else if (list == "empty")
        r.setup.setListPath("");
    else if (list == "folder")
        r.setup.setListPath(pathToAnsi(r.programDir));
    r.setup.setChecked(Switch::Links, links);
    r.setup.setChecked(Switch::Fax, fax);
    r.host.address = host.toStdString();
    // What an earlier search left, which a refusal must keep.
    r.setup.setPosition(SearchPosition{5, 9});
    r.links.append("http://kept.example/");
    r.fax.append("0519-11111111");
    for (int i = 0; i < 9; ++i)
        r.view.setPanel(i, "p" + std::to_string(i));

    r.engine.N2Click();

    QCOMPARE(r.prompts.log.size(), size_t(1));
    QCOMPARE(QString::fromStdString(r.prompts.log[0].kind), kind);
    QCOMPARE(QString::fromStdString(r.prompts.log[0].text), text);
    QCOMPARE(r.host.calls, text == QString::fromUtf8("您还没有连接到网上！") ? 1 : 0); // asked last
    QVERIFY(r.session.position() == 5 && r.setup.position().urlTotal == 9);
    QCOMPARE(r.links.size() + r.fax.size(), size_t(2));
    for (int i = 0; i < 9; ++i)
        QCOMPARE(r.view.panel(i), "p" + std::to_string(i));
    QVERIFY(r.view.buttonHistory.empty());
    QVERIFY(r.allTimersOff());
    QVERIFY(r.browser.navigations.empty());
    QVERIFY(!std::filesystem::exists(r.programDir / "vqdornavik.ini"));
}

void CrawlDriverTest::startState_data()
{
    QTest::addColumn<QString>("speed");
    QTest::addColumn<bool>("autosave");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("pageMs");
    QTest::addColumn<int>("watchdogMs");

    QTest::newRow("8 s") << "8" << false << "192.0.2.7" << 8000 << 120000;
    QTest::newRow("1 s, autosave") << "1" << true << "192.0.2.7" << 1000 << 15000;
    QTest::newRow("60 s, host not resolved") << "60" << false << "" << 60000 << 900000;
    QTest::newRow("other loopback text") << "8" << false << "127.0.1.1" << 8000 << 120000;
    // Typed values outside 1..60 run at the nearest end of the range.
    QTest::newRow("0 typed") << "0" << true << "192.0.2.7" << 1000 << 15000;
    QTest::newRow("75 typed") << "75" << false << "192.0.2.7" << 60000 << 900000;
    QTest::newRow("not a number") << "abc" << true << "192.0.2.7" << 1000 << 15000;
}

void CrawlDriverTest::startState()
{
    QFETCH(QString, speed);
    QFETCH(bool, autosave);
    QFETCH(QString, host);
    QFETCH(int, pageMs);
    QFETCH(int, watchdogMs);

    Rig r;
    r.setup.setPosition(SearchPosition{17, 42}); // total shown as last counted
    r.links.append("http://old.example/");
    r.fax.append("0519-11111111");
    r.links.markSaved(); // written by that search: no question before they go
    r.fax.markSaved();
    r.view.setPanel(5, "4");
    r.view.setPanel(7, "5");
    r.setup.setSpeed(fake::fieldSpeed(speed.toStdString()));
    r.setup.setChecked(Switch::Autosave, autosave);
    r.host.address = host.toStdString();

    r.engine.N2Click();

    QVERIFY(r.prompts.log.empty());
    QCOMPARE(r.view.buttons, ButtonSet::Searching);
    const std::vector<std::string> panels{r.view.panel(1), r.view.panel(3), r.view.panel(5),
                                          r.view.panel(7), r.view.panel(8)};
    QCOMPARE(panels, (std::vector<std::string>{"42", "1", "", "", kSearching}));
    QCOMPARE(r.session.lanes().linesRead(), 1);
    QCOMPARE(r.session.position(), 0);
    QVERIFY(r.links.empty() && r.fax.empty());
    QCOMPARE(r.browser.navigations, std::vector<AnsiString>{"http://p1.example/"}); // cut at the space
    QVERIFY(r.timer1.enabled() && r.timer3.enabled());
    QCOMPARE(r.timer1.interval(), pageMs);
    QCOMPARE(r.timer3.interval(), watchdogMs);
    QCOMPARE(r.timer3.due(), qint64(watchdogMs));
    QCOMPARE(r.timer2.enabled(), autosave);
}

// One search from start to finish; the clock is stepped to one millisecond
// before the expected finish and then onto it.
void CrawlDriverTest::timeline_data()
{
    QTest::addColumn<int>("pages");
    QTest::addColumn<QString>("mode");      // complete, hang (document never completes), none (no document)
    QTest::addColumn<int>("startSpeed");
    QTest::addColumn<int>("laterSpeed");    // typed right after the start
    QTest::addColumn<qint64>("stopAt");     // -1: no stop
    QTest::addColumn<qint64>("completeAt"); // -1: never; the hanging page completes then
    QTest::addColumn<bool>("failNavigate");
    QTest::addColumn<QList<qint64>>("navigations");
    QTest::addColumn<qint64>("finishAt");
    QTest::addColumn<int>("scanned");
    QTest::addColumn<int>("unsaved"); // lines read whose page was left unscanned by a stop

    using L = QList<qint64>;
    QTest::newRow("pages at the set pace") << 3 << "complete" << 8 << 8 << -1LL << -1LL << false << L{0, 8000, 16000} << 24000LL << 3 << 0;
    QTest::newRow("empty list") << 0 << "complete" << 8 << 8 << -1LL << -1LL << false << L{} << 0LL << 0 << 0;
    // The page timer takes a new speed from its next tick.
    QTest::newRow("faster page timer") << 3 << "complete" << 8 << 2 << -1LL << -1LL << false << L{0, 8000, 10000} << 12000LL << 3 << 0;
    QTest::newRow("slower page timer") << 3 << "complete" << 2 << 5 << -1LL << -1LL << false << L{0, 2000, 7000} << 12000LL << 3 << 0;
    // Never complete: the watchdog notes progress after 15 intervals and forces
    // the next address after 15 more, without a scan.
    QTest::newRow("watchdog at 1 s") << 3 << "hang" << 1 << 1 << -1LL << -1LL << false << L{0, 30000, 60000} << 90000LL << 0 << 0;
    QTest::newRow("watchdog at 8 s") << 3 << "hang" << 8 << 8 << -1LL << -1LL << false << L{0, 240000, 480000} << 720000LL << 0 << 0;
    QTest::newRow("watchdog at 60 s") << 2 << "hang" << 60 << 60 << -1LL << -1LL << false << L{0, 1800000} << 3600000LL << 0 << 0;
    QTest::newRow("navigation errors") << 2 << "hang" << 8 << 8 << -1LL << -1LL << true << L{0, 240000} << 480000LL << 0 << 0;
    // Without a document no wait is counted; the watchdog keeps the interval of
    // the advance that set it.
    QTest::newRow("no document, faster") << 3 << "none" << 8 << 2 << -1LL << -1LL << false << L{0, 240000, 300000} << 360000LL << 0 << 0;
    QTest::newRow("no document, slower") << 3 << "none" << 2 << 8 << -1LL << -1LL << false << L{0, 60000, 300000} << 540000LL << 0 << 0;
    // A fast page timer under a slow watchdog reaches the 30-tick wait bound:
    // the page is scanned as far as it loaded.
    QTest::newRow("wait bound 60 s then 1 s") << 2 << "hang" << 60 << 1 << -1LL << -1LL << false << L{0, 90000} << 121000LL << 2 << 0;
    QTest::newRow("wait bound 20 s then 2 s") << 1 << "hang" << 20 << 2 << -1LL << -1LL << false << L{0} << 80000LL << 1 << 0;
    // Stop during a slow page: whichever comes first ends the search.
    QTest::newRow("stop, page completes") << 3 << "hang" << 8 << 8 << 50000LL << 60000LL << false << L{0} << 64000LL << 1 << 0;
    QTest::newRow("stop, wait bound first") << 3 << "hang" << 60 << 1 << 50000LL << -1LL << false << L{0} << 90000LL << 1 << 0;
    QTest::newRow("stop, watchdog first") << 3 << "hang" << 8 << 8 << 50000LL << -1LL << false << L{0} << 240000LL << 0 << 1;
    QTest::newRow("stop between pages") << 5 << "complete" << 8 << 8 << 8000LL << -1LL << false << L{0, 8000} << 16000LL << 2 << 0;
}

void CrawlDriverTest::timeline()
{
    QFETCH(int, pages);
    QFETCH(QString, mode);
    QFETCH(int, startSpeed);
    QFETCH(int, laterSpeed);
    QFETCH(qint64, stopAt);
    QFETCH(qint64, completeAt);
    QFETCH(bool, failNavigate);
    QFETCH(QList<qint64>, navigations);
    QFETCH(qint64, finishAt);
    QFETCH(int, scanned);
    QFETCH(int, unsaved);

    Rig r(pages, mode == "complete");
    if (mode == "hang")
        r.hangingDocument();
    r.browser.failNavigate = failNavigate;
    r.setup.setSpeed(startSpeed);
    r.engine.N2Click();
    r.setup.setSpeed(laterSpeed);

    if (stopAt >= 0) {
        r.clock.advanceTo(stopAt);
        r.engine.N3Click();
        QCOMPARE(r.view.panel(8), kStopping);
        QCOMPARE(r.view.buttons, ButtonSet::Stopped);
        QVERIFY(r.timer3.enabled()); // running until a tick sees the flag
    }
    if (completeAt >= 0) {
        r.clock.advanceTo(completeAt);
        r.browser.completeTop({"http://slow.example/", {}, faxLine("0519-87654321")});
    }
    if (finishAt > 0) {
        r.clock.advanceTo(finishAt - 1);
        QVERIFY(!r.finished());
        r.clock.advanceTo(finishAt);
    }
    QVERIFY(r.finished());
    QVERIFY(r.allTimersOff());
    QCOMPARE(r.browser.times, navigations);
    QCOMPARE(int(r.fax.size()), scanned);
    QCOMPARE(r.session.lanes().linesRead(), int(navigations.size()));
    QCOMPARE(r.view.buttons, ButtonSet::Stopped);
    QVERIFY(r.prompts.log.empty());
    // The resume point names only lines that are done.
    QCOMPARE(r.stateFile(), r.setup.listPath() + "\r\n" + std::to_string(navigations.size() - unsaved) + "\r\n" +
                                std::to_string(pages) + "\r\nqcno\r\nwebyes\r\nfaxyes\r\nsxno\r\nbzno\r\nsaveno\r\n" +
                                std::to_string(laterSpeed) + "\r\n");
    r.clock.advance(10000000); // nothing runs after the finish
    QCOMPARE(r.browser.times, navigations);
}

void CrawlDriverTest::finishShowsAndStoresTheSearch()
{
    Rig r(3, true, "网址列表.txt");
    r.setup.setChecked(Switch::Dedup, true);
    r.setup.setChecked(Switch::Autosave, true);
    r.engine.N2Click();
    r.clock.advanceTo(8000);
    QCOMPARE(r.view.panel(3), std::string("2"));
    QCOMPARE(r.view.panel(5) + "/" + r.view.panel(7), std::string("1/1"));
    r.clock.advanceTo(24000);

    QVERIFY(r.finished());
    QCOMPARE(r.fax.items(), (std::deque<AnsiString>{"0519-88888881", "0519-88888882", "0519-88888883"}));
    QCOMPARE(r.links.size(), size_t(3));
    QCOMPARE(r.view.buttonHistory, (std::vector<ButtonSet>{ButtonSet::Searching, ButtonSet::Stopped}));
    QVERIFY(r.view.repaints >= 1);
    QVERIFY(!r.session.running());
    // The list path in code page 936, then the counters, switches and speed.
    QCOMPARE(r.stateFile(), utf8ToAnsi(r.programDir.string() + "/网址列表.txt") +
                                "\r\n3\r\n3\r\nqcyes\r\nwebyes\r\nfaxyes\r\nsxno\r\nbzno\r\nsaveyes\r\n8\r\n");
}

void CrawlDriverTest::readErrorLeavesPageTimerOff()
{
    Rig r;
    r.browser.failReads = true;
    r.engine.N2Click();
    r.clock.advanceTo(8000);
    QCOMPARE(r.prompts.texts("error"), std::vector<std::string>{"document not readable."});
    QVERIFY(!r.timer1.enabled() && r.timer3.enabled());

    // The watchdog notes the progress, then forces the advance, which starts
    // the page timer again.
    r.browser.failReads = false;
    r.clock.advanceTo(239999);
    QCOMPARE(r.browser.navigations.size(), size_t(1));
    r.clock.advanceTo(248000);
    QCOMPARE(r.browser.times, (QList<qint64>{0, 240000, 248000}));
    QCOMPARE(r.fax.items(), std::deque<AnsiString>{"0519-88888882"});

    // Called directly, the error leaves the handler.
    Rig d(1);
    d.browser.failReads = true;
    d.engine.N2Click();
    QVERIFY_THROWS_EXCEPTION(vq::Exception, d.session.lanes().tick(0));
    QVERIFY(!d.timer1.enabled() && !d.finished());
}

void CrawlDriverTest::scannersAndAutosaveFollowTheSwitches_data()
{
    QTest::addColumn<bool>("links");
    QTest::addColumn<bool>("fax");
    QTest::addColumn<int>("linkCount");
    QTest::addColumn<int>("faxCount");
    QTest::newRow("links only") << true << false << 4 << 0;
    QTest::newRow("fax only") << false << true << 0 << 4;
    QTest::newRow("both") << true << true << 4 << 4;
}

void CrawlDriverTest::scannersAndAutosaveFollowTheSwitches()
{
    QFETCH(bool, links);
    QFETCH(bool, fax);
    QFETCH(int, linkCount);
    QFETCH(int, faxCount);
    Rig r(4);
    r.setup.setChecked(Switch::Links, links);
    r.setup.setChecked(Switch::Fax, fax);
    r.setup.setChecked(Switch::Autosave, true);
    r.engine.N2Click();
    QVERIFY(r.timer2.enabled());

    // Each scanned page sets the autosave timer to the switch.
    r.setup.setChecked(Switch::Autosave, false);
    r.clock.advanceTo(8000);
    QVERIFY(!r.timer2.enabled());
    r.setup.setChecked(Switch::Autosave, true);
    r.clock.advanceTo(16000);
    const qint64 due = r.timer2.due();
    r.clock.advanceTo(24000);
    QVERIFY(r.timer2.enabled());
    QCOMPARE(r.timer2.due(), due); // an enabled timer keeps its period

    r.clock.advanceTo(32000);
    QVERIFY(r.finished());
    QCOMPARE(int(r.links.size()), linkCount);
    QCOMPARE(int(r.fax.size()), faxCount);
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
    r.engine.N2Click();
    r.clock.advanceTo(8000);
    r.engine.N3Click();
    if (finishFirst)
        r.clock.advanceTo(16000);

    const qint64 start = r.clock.now();
    r.browser.navigations.clear();
    r.prompts.confirmAnswers = {true}; // the first search's results are in no file: asked, and Yes
    r.engine.N2Click();
    QCOMPARE(r.prompts.texts("confirm").size(), size_t(1));
    QCOMPARE(r.browser.navigations, std::vector<AnsiString>{"http://p1.example/"});
    QCOMPARE(r.session.lanes().linesRead(), 1);
    QVERIFY(r.session.running() && r.fax.empty());
    r.clock.advanceTo(start + 24000);
    QVERIFY(r.finished());
    QCOMPARE(int(r.fax.size()), 3);
    QCOMPARE(r.browser.navigations.size(), size_t(3));
}

void CrawlDriverTest::failedStateWriteStillEndsTheSearch_data()
{
    QTest::addColumn<int>("pages");
    QTest::newRow("finish on a page tick") << 1;
    QTest::newRow("finish at the start, empty list") << 0;
}

void CrawlDriverTest::failedStateWriteStillEndsTheSearch()
{
    QFETCH(int, pages);
    Rig r(pages);
    std::ofstream(r.programDir / "vqdornavik.ini", std::ios::binary) << "old state\r\n";
    if (pages == 0)
        vq::testing::failWritesAfter(0);
    guarded(r.prompts, [&] { r.engine.N2Click(); }); // as the window runs it
    vq::testing::failWritesAfter(0);
    r.clock.advanceTo(8000);
    vq::testing::failWritesAfter(-1);

    // Reported; the window shows the search as ended; the old file is intact.
    QCOMPARE(r.prompts.texts("error"), std::vector<std::string>{"Disk full."});
    QVERIFY(r.finished() && r.allTimersOff() && !r.session.running());
    QCOMPARE(r.view.buttons, ButtonSet::Stopped);
    QCOMPARE(r.stateFile(), std::string("old state\r\n"));
}

void CrawlDriverTest::failedOpenLeavesTheWindowStopped()
{
    Rig r;
    // Leave no file descriptor free, so that opening the list fails.
    rlimit saved{};
    QCOMPARE(getrlimit(RLIMIT_NOFILE, &saved), 0);
    const int lowest = ::open("/dev/null", O_RDONLY);
    QVERIFY(lowest >= 0);
    ::close(lowest);
    rlimit tight = saved;
    tight.rlim_cur = static_cast<rlim_t>(lowest);
    QCOMPARE(setrlimit(RLIMIT_NOFILE, &tight), 0);
    std::string message;
    try {
        r.engine.N2Click();
    } catch (const EInOutError& e) {
        message = e.what();
    }
    setrlimit(RLIMIT_NOFILE, &saved);

    QCOMPARE(message, std::string("Too many open files"));
    QCOMPARE(r.view.buttons, ButtonSet::Stopped);
    QCOMPARE(r.view.panel(8), kFinished);
    QVERIFY(r.allTimersOff());
    QVERIFY(r.browser.navigations.empty());
    QVERIFY(!std::filesystem::exists(r.programDir / "vqdornavik.ini"));
}

// The composed engine: timers start off at their initial intervals, ticks reach
// the driver under the default handler, and the settings are loaded in order.
void CrawlDriverTest::engineWiresTheTimersToTheDriver()
{
    Rig r(2); // its list, browser pages and fakes; the engine takes over the timers and events
    Engine& engine = r.engine;
    QVERIFY(r.allTimersOff());
    QCOMPARE((std::vector<int>{r.timer1.interval(), r.timer2.interval(), r.timer3.interval()}),
             (std::vector<int>{8000, 300000, 300000}));

    // A failing page tick is reported; the watchdog tick still runs later.
    r.browser.failReads = true;
    engine.setup().setUrlTotal(2);
    engine.N2Click();
    r.clock.advanceTo(8000);
    QCOMPARE(r.prompts.texts("error"), std::vector<std::string>{"document not readable."});
    r.browser.failReads = false;
    r.clock.advanceTo(248000); // forced advance at 240000, page 2 scanned at 248000
    QVERIFY(r.view.panel(8) == kFinished);
    QCOMPARE(engine.session.position(), 2);
    QCOMPARE(engine.fax.items(), std::deque<AnsiString>{"0519-88888882"});

    // The state just written comes back at the next start.
    r.setup.setChecked(Switch::Dedup, true);
    r.setup.setSpeed(30);
    engine.setup().setPosition(SearchPosition{});
    engine.loadSettings();
    QVERIFY(!r.setup.isChecked(Switch::Dedup));
    QCOMPARE(r.setup.speed(), 8);
    QCOMPARE(engine.session.position(), 2);
    QCOMPARE(engine.setup().position().urlTotal, 2);
}

QTEST_GUILESS_MAIN(CrawlDriverTest)
#include "test_crawl_driver.moc"
