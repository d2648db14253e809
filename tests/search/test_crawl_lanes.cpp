// The search beyond one page at a time, on fakes and a manual clock:
// which addresses are visited, how each line ends, the resume point while
// pages load, a run of render failures, lanes that finish out of order, the
// per-host cap, shards and an immediate stop.
#include "search/address.h"
#include "tests/support/lane_rig.h"

#include <QTest>

#include <memory>

using namespace vq;

class CrawlLanesTest : public QObject {
    Q_OBJECT

private slots:
    void addresses_data();
    void addresses();
    void addressKinds_data();
    void addressKinds();
    void outcomes_data();
    void outcomes();
    void resumePointWhilePagesLoad();
    void runOfRenderFailuresStops();
    void lanesAddInListOrder();
    void perHostCap_data();
    void perHostCap();
    void hostDelaySpacesVisits();
    void shardVisitsItsLines();
    void stopNowLeavesLoadingPagesUndone();
    void recycleAfterPages();
};

void CrawlLanesTest::addresses_data()
{
    QTest::addColumn<QByteArray>("address");
    QTest::addColumn<bool>("web");
    QTest::addColumn<QByteArray>("host");
    QTest::newRow("http") << QByteArray("http://WWW.Example.com/a?b#c") << true << QByteArray("www.example.com");
    QTest::newRow("https, port, user") << QByteArray("HTTPS://u:p@host.cn:8443/x") << true << QByteArray("host.cn");
    QTest::newRow("no scheme") << QByteArray("www.example.com/page.html") << true << QByteArray("www.example.com");
    QTest::newRow("host and port") << QByteArray("localhost:8080/x") << true << QByteArray("localhost");
    QTest::newRow("IPv6") << QByteArray("http://[::1]:80/") << true << QByteArray("[::1]");
    QTest::newRow("empty line") << QByteArray("") << true << QByteArray("");
    QTest::newRow("file") << QByteArray("file:///etc/passwd") << false << QByteArray();
    QTest::newRow("javascript") << QByteArray("javascript:while(1){}") << false << QByteArray();
    QTest::newRow("javascript, spaces first") << QByteArray("\tjavascript:alert(1)") << false << QByteArray();
    QTest::newRow("data") << QByteArray("data:text/html,<p>x") << false << QByteArray();
    QTest::newRow("about") << QByteArray("about:blank") << false << QByteArray();
    QTest::newRow("mailto") << QByteArray("mailto:a@b.cn") << false << QByteArray();
    QTest::newRow("ftp") << QByteArray("ftp://h/x") << false << QByteArray();
}

void CrawlLanesTest::addresses()
{
    QFETCH(QByteArray, address);
    QFETCH(bool, web);
    QFETCH(QByteArray, host);
    QCOMPARE(isWebAddress(address.toStdString()), web);
    if (web)
        QCOMPARE(QByteArray::fromStdString(hostOf(address.toStdString())), host);
}

// Lines that are no address at all, next to lines that look odd but are.
void CrawlLanesTest::addressKinds_data()
{
    QTest::addColumn<QByteArray>("address");
    QTest::addColumn<int>("kind");
    const int W = int(AddressKind::Web), O = int(AddressKind::OtherScheme), N = int(AddressKind::NotAnAddress);
    QTest::newRow("host") << QByteArray("www.abc.com") << W;
    QTest::newRow("host and path") << QByteArray("abc.com/x") << W;
    QTest::newRow("host, port, path") << QByteArray("host:8080/p") << W;
    QTest::newRow("one-word host") << QByteArray("localhost") << W;
    QTest::newRow("Chinese host, GBK") << QByteArray("\xD6\xD0\xCE\xC4.cn") << W;
    QTest::newRow("host, GBK path") << QByteArray("abc.com/\xD6\xD0?q=\xFF") << W;
    QTest::newRow("percent-encoded host") << QByteArray("%E4%B8%AD.cn/") << W;
    QTest::newRow("underscore, user part") << QByteArray("u@a_b.abc.com/x") << W;
    QTest::newRow("IPv6 and port") << QByteArray("[::1]:8080/x") << W;
    QTest::newRow("white space around") << QByteArray(" \twww.abc.com\t") << W;
    QTest::newRow("http, odd host") << QByteArray("http://~/") << W;
    QTest::newRow("empty line") << QByteArray("") << W;
    QTest::newRow("white space only") << QByteArray("\t") << W;
    QTest::newRow("mailto") << QByteArray("mailto:a@b.cn") << O;
    QTest::newRow("javascript") << QByteArray("javascript:alert(1)") << O;
    QTest::newRow("binary junk") << QByteArray("\x01\x02\xFF\xFE") << N;
    QTest::newRow("escape sequence") << QByteArray("\x1B[31mwww.abc.com") << N;
    QTest::newRow("DEL at the end") << QByteArray("www.abc.com\x7F") << N;
    QTest::newRow("tab inside") << QByteArray("www.abc.com\tx") << N;
    QTest::newRow("NUL after http") << QByteArray("http://a.cn/\0x", 14) << N;
    QTest::newRow("control byte after javascript") << QByteArray("javascript:\x02") << N;
    QTest::newRow("no code page 936 text") << QByteArray("\xFF\xFE") << N;
    QTest::newRow("lead byte alone") << QByteArray("abc\xD6.cn") << N;
    QTest::newRow("trail byte below 0x40") << QByteArray("\xD6\x30.cn") << N;
    QTest::newRow("dots") << QByteArray("...") << N;
    QTest::newRow("dash") << QByteArray("-") << N;
    QTest::newRow("home folder") << QByteArray("~/x") << N;
    QTest::newRow("local path") << QByteArray("/etc/passwd") << N;
    QTest::newRow("query only") << QByteArray("?q=1") << N;
    QTest::newRow("port only") << QByteArray(":80/x") << N;
    QTest::newRow("comma in the host") << QByteArray("abc.com,def.com") << N;
    QTest::newRow("backslash") << QByteArray("abc.com\\x") << N;
    QTest::newRow("bracket not closed") << QByteArray("[::1/x") << N;
    QTest::newRow("user part, no host") << QByteArray("u@/x") << N;
}

void CrawlLanesTest::addressKinds()
{
    QFETCH(QByteArray, address);
    QFETCH(int, kind);
    QCOMPARE(int(addressKind(address.toStdString())), kind);
    QCOMPARE(isWebAddress(address.toStdString()), kind == int(AddressKind::Web));
}

// One lane at 1 s a page: each line ends within one interval of what decides it.
void CrawlLanesTest::outcomes_data()
{
    QTest::addColumn<QList<QByteArray>>("lines");
    QTest::addColumn<QList<QByteArray>>("renderFailures");
    QTest::addColumn<QList<QByteArray>>("navigated");
    QTest::addColumn<QList<int>>("outcomes");
    QTest::addColumn<int>("faxFound");

    using B = QList<QByteArray>;
    const int S = int(PageOutcome::Scanned), K = int(PageOutcome::SkippedScheme), R = int(PageOutcome::RenderFailure);
    const int N = int(PageOutcome::NotAnAddress);
    QTest::newRow("schemes that are not the web")
        << B{"http://a/", "file:///etc/passwd", "javascript:while(1){}", "http://c/"} << B{}
        << B{"http://a/", "http://c/"} << QList<int>{S, K, K, S} << 2;
    QTest::newRow("lines that are no address")
        << B{"http://a/", "\x01\x02\xFF\xFE", "\x1B\x7F\x03", "...", "http://c/"} << B{}
        << B{"http://a/", "http://c/"} << QList<int>{S, N, N, N, S} << 2;
    QTest::newRow("a renderer that dies")
        << B{"http://a/", "http://b/", "http://c/"} << B{"http://b/"}
        << B{"http://a/", "http://b/", "http://c/"} << QList<int>{S, R, S} << 2;
}

void CrawlLanesTest::outcomes()
{
    QFETCH(QList<QByteArray>, lines);
    QFETCH(QList<QByteArray>, renderFailures);
    QFETCH(QList<QByteArray>, navigated);
    QFETCH(QList<int>, outcomes);
    QFETCH(int, faxFound);

    LaneRig r;
    std::vector<AnsiString> list;
    for (const auto& l : lines)
        list.push_back(l.toStdString());
    r.list(list);
    r.rig.browser.autoComplete = true;
    for (const auto& f : renderFailures)
        r.rig.browser.renderFailures.push_back(f.toStdString());
    r.start();
    r.rig.clock.advance(1000 * lines.size());
    QCOMPARE(r.rig.view.panel(kPanelStatus), std::string("搜索已经结束!"));

    QList<QByteArray> visited;
    for (const auto& n : r.rig.browser.navigations)
        visited << QByteArray::fromStdString(n);
    QCOMPARE(visited, navigated);
    QList<int> got;
    for (PageOutcome o : r.outcomes())
        got << int(o);
    QCOMPARE(got, outcomes);
    QCOMPARE(int(r.fax().size()), faxFound);
    QVERIFY(r.rig.prompts.log.empty());
}

// An autosave while a page loads names only the lines before it.
void CrawlLanesTest::resumePointWhilePagesLoad()
{
    LaneRig r;
    r.list({"http://a/", "http://b/", "http://c/"});
    r.start();
    r.rig.browser.completeTop(r.rig.browser.pages["http://a/"]);
    r.rig.clock.advance(1000); // a scanned, b loading
    QCOMPARE(r.session().lanes().linesRead(), 2);
    r.rig.engine.progress.Button2Click();
    QCOMPARE(r.statePosition(), 1);
    QCOMPARE(r.session().position(), 1);
}

// Five pages in a row that cannot render: the search stops, says why, and
// the resume point is before them.
void CrawlLanesTest::runOfRenderFailuresStops()
{
    LaneRig r;
    std::vector<AnsiString> list;
    for (int i = 1; i <= 9; ++i)
        list.push_back("http://p" + std::to_string(i) + "/");
    r.list(list);
    r.rig.browser.autoComplete = true;
    for (int i = 3; i <= 9; ++i)
        r.rig.browser.renderFailures.push_back(list[i - 1]);
    r.start();
    r.rig.clock.advance(20000);

    QCOMPARE(r.rig.view.panel(kPanelStatus), std::string("搜索已经结束!"));
    QVERIFY(r.session().stoppedForRenderFailures());
    QCOMPARE(int(r.rig.browser.navigations.size()), 7); // 2 good, then 5 failures
    QCOMPARE(r.rig.prompts.texts("message"),
             std::vector<std::string>{"连续5个网页无法显示，浏览器已不能正常工作，搜索已停止。"});
    QCOMPARE(r.statePosition(), 2);
    QVERIFY(!r.rig.anyTimerRunning());
}

// Three lanes finish in reverse order: the fax list still follows the list,
// and with dedup the number belongs to the first line that has it.
void CrawlLanesTest::lanesAddInListOrder()
{
    LaneOptions o;
    o.noPace = true;
    LaneRig r(2, o);
    r.rig.setup.setChecked(Switch::Dedup, true);
    r.list({"http://a/", "http://b/", "http://c/"}, {{"http://a/", "0519-11111111"}, {"http://b/", "0519-22222222"},
                                                     {"http://c/", "0519-11111111"}});
    r.start();
    QCOMPARE(r.session().lanes().busyLanes(), size_t(3));
    for (size_t lane : {2, 1, 0}) {
        fake::FakeBrowser& b = r.browser(lane);
        b.completeTop(b.pages[b.navigations.back()]);
        r.rig.clock.advance(50);
    }
    QCOMPARE(r.fax(), (std::vector<AnsiString>{"0519-11111111", "0519-22222222"}));
    QCOMPARE(int(r.records.size()), 3);
    QCOMPARE(r.records[0].fax, std::vector<AnsiString>{"0519-11111111"});
    QCOMPARE(r.records[2].fax, std::vector<AnsiString>{});
    QCOMPARE(r.rig.view.panel(kPanelStatus), std::string("搜索已经结束!"));
    QCOMPARE(r.statePosition(), 3);
}

void CrawlLanesTest::perHostCap_data()
{
    QTest::addColumn<int>("perHost");
    QTest::addColumn<QList<QByteArray>>("lines");
    QTest::addColumn<int>("busyAtStart");
    QTest::newRow("one host, cap 1") << 1 << QList<QByteArray>{"http://h/1", "http://h/2", "http://h/3"} << 1;
    QTest::newRow("one host, cap 2") << 2 << QList<QByteArray>{"http://h/1", "http://H/2", "http://h:81/3"} << 2;
    QTest::newRow("two hosts, cap 1") << 1 << QList<QByteArray>{"http://h/1", "http://h/2", "http://g/3"} << 2;
}

// However pages complete, no host ever has more pages in flight than the cap.
void CrawlLanesTest::perHostCap()
{
    QFETCH(int, perHost);
    QFETCH(QList<QByteArray>, lines);
    QFETCH(int, busyAtStart);

    LaneOptions o;
    o.noPace = true;
    o.perHost = perHost;
    LaneRig r(2, o);
    std::vector<AnsiString> list;
    for (const auto& l : lines)
        list.push_back(l.toStdString());
    r.list(list);
    r.start();
    QCOMPARE(int(r.session().lanes().busyLanes()), busyAtStart);
    for (int step = 0; step < 10 && r.session().running(); ++step) {
        for (size_t lane = 0; lane < 3; ++lane) {
            fake::FakeBrowser& b = r.browser(lane);
            if (!b.navigations.empty() && !b.document)
                b.completeTop(b.pages[b.navigations.back()]);
        }
        r.rig.clock.advance(50);
        for (size_t lane = 0; lane < 3; ++lane)
            r.browser(lane).document.reset();
        QVERIFY(int(r.session().lanes().busyLanes()) <= busyAtStart);
    }
    QVERIFY(!r.session().running());
    QCOMPARE(int(r.records.size()), 3);
}

// Two lanes, one host, 1 s between visits: the second page waits its turn
// while the other host's page goes at once.
void CrawlLanesTest::hostDelaySpacesVisits()
{
    LaneOptions o;
    o.noPace = true;
    o.hostDelayMs = 1000;
    LaneRig r(1, o);
    r.list({"http://h/1", "http://h/2", "http://g/3"});
    for (size_t lane = 0; lane < 2; ++lane)
        r.browser(lane).autoComplete = true;
    std::vector<std::pair<int64_t, AnsiString>> visits;
    r.recorder.onPageDone = [&](const PageRecord& rec) { visits.emplace_back(rec.ms, rec.address); };
    r.start();
    QCOMPARE(r.browser(1).navigations, std::vector<AnsiString>{"http://g/3"});
    r.rig.clock.advance(900);
    QCOMPARE(r.browser(0).navigations, std::vector<AnsiString>{"http://h/1"});
    r.rig.clock.advance(200);
    QCOMPARE(r.browser(0).navigations.size() + r.browser(1).navigations.size(), size_t(3));
    r.rig.clock.advance(1000);
    QVERIFY(!r.session().running());
    QCOMPARE(int(visits.size()), 3);
}

// Shard 2 of 3: lines 2 and 5 of 7; the position still counts every line.
void CrawlLanesTest::shardVisitsItsLines()
{
    LaneOptions o;
    o.shardIndex = 1;
    o.shardCount = 3;
    LaneRig r(0, o);
    std::vector<AnsiString> list;
    for (int i = 1; i <= 7; ++i)
        list.push_back("http://p" + std::to_string(i) + "/");
    r.list(list);
    r.rig.browser.autoComplete = true;
    r.start();
    r.rig.clock.advance(10000);
    QCOMPARE(r.rig.browser.navigations, (std::vector<AnsiString>{"http://p2/", "http://p5/"}));
    QCOMPARE(r.fax(), (std::vector<AnsiString>{"0519-10000002", "0519-10000005"}));
    QCOMPARE(r.statePosition(), 7);
}

// A stop "now" with lanes busy: what is loading is left undone, and lines
// done after it are not added, so a resume from the position adds each once.
void CrawlLanesTest::stopNowLeavesLoadingPagesUndone()
{
    LaneOptions o;
    o.noPace = true;
    LaneRig r(2, o);
    r.list({"http://a/", "http://b/", "http://c/", "http://d/"});
    r.start();
    r.browser(0).completeTop(r.browser(0).pages["http://a/"]);
    r.browser(2).completeTop(r.browser(2).pages["http://c/"]);
    r.rig.clock.advance(50); // a and c done, b loading
    r.session().stopNow();
    QCOMPARE(r.rig.view.panel(kPanelStatus), std::string("搜索已经结束!"));
    QCOMPARE(r.session().position(), 1);
    QCOMPARE(r.statePosition(), 1);
    QCOMPARE(r.fax(), std::vector<AnsiString>{"0519-10000001"});
    QVERIFY(!r.rig.anyTimerRunning());
}

void CrawlLanesTest::recycleAfterPages()
{
    LaneOptions o;
    o.recycleAfter = 2;
    LaneRig r(0, o);
    r.list({"http://a/", "http://b/", "http://c/", "http://d/", "http://e/"});
    r.rig.browser.autoComplete = true;
    r.start();
    r.rig.clock.advance(10000);
    QCOMPARE(int(r.records.size()), 5);
    // Before the 3rd and the 5th page, and once the lane has no line left (its
    // last page is not kept).
    QCOMPARE(r.rig.browser.recycled, 3);
}

QTEST_GUILESS_MAIN(CrawlLanesTest)
#include "test_crawl_lanes.moc"
