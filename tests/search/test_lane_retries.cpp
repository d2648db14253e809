// Lines tried again without a pace, on fakes and a manual clock: which
// failures get another attempt and which are final, how each line ends, the
// back-off between attempts, and the resume point while a retry is pending.
#include "tests/support/lane_rig.h"

#include <QTest>

#include <algorithm>

using namespace vq;

namespace {

// How a page answers one attempt: 'S' it arrives, 'R' refused (no HTTP
// answer), 'N' a 404, 'H' no answer at all, 'G' its renderer ends, 'X' a
// renderer it shared with other pages ends.
using Script = std::map<AnsiString, std::string>;

struct Served {
    std::map<AnsiString, std::vector<int64_t>> at; // navigation times per address
};

// Answers every new navigation of every lane by the script, 50 ms of clock
// at a time, until the search ends or `untilMs` has passed.
Served serve(LaneRig& r, const Script& script, int64_t untilMs = 120000)
{
    Served s;
    std::vector<size_t> seen(r.browsers.size(), 0);
    while (r.session().running() && r.rig.clock.now() < untilMs) {
        for (size_t lane = 0; lane < r.browsers.size(); ++lane) {
            fake::FakeBrowser& b = r.browser(lane);
            for (; seen[lane] < b.navigations.size(); ++seen[lane]) {
                const AnsiString& url = b.navigations[seen[lane]];
                std::vector<int64_t>& times = s.at[url];
                times.push_back(r.rig.clock.now());
                const auto it = script.find(url);
                const char how = it == script.end() ? 'S' : it->second.at(std::min(times.size(), it->second.size()) - 1);
                b.serverAnswered = how != 'H';
                if (how == 'H')
                    continue;
                if (how == 'G' || how == 'X') {
                    b.result = how == 'G' ? LoadResult::RendererGone : LoadResult::SharedRendererGone;
                    b.status = 0;
                    if (b.onRendererGone)
                        b.onRendererGone();
                    continue;
                }
                b.result = how == 'S' ? LoadResult::Succeeded : LoadResult::Failed;
                b.status = how == 'S' ? 200 : how == 'N' ? 404 : 0;
                b.completeTop(how == 'S' ? b.pages[url] : fake::FakePage{url, {}, {}});
            }
        }
        r.rig.clock.advance(50);
    }
    return s;
}

LaneOptions retrying(int retries, int lanes = 2)
{
    LaneOptions o;
    o.noPace = true;
    o.pageTimeoutMs = 5000;
    o.retries = retries;
    o.perHost = lanes;
    return o;
}

} // namespace

class LaneRetriesTest : public QObject {
    Q_OBJECT

private slots:
    void lineOutcomes_data();
    void lineOutcomes();
    void backoff_data();
    void backoff();
    void resumePointWaitsForRetry();
    void renderFailuresInRow_data();
    void renderFailuresInRow();
};

// Three lines on two lanes; the first answers by the script, the others at
// once. Lines end in list order whatever the retries.
void LaneRetriesTest::lineOutcomes_data()
{
    QTest::addColumn<int>("retries");
    QTest::addColumn<QByteArray>("answers");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<int>("attempts");
    QTest::addColumn<int>("status");

    const int S = int(PageOutcome::Scanned), E = int(PageOutcome::NavigationError), T = int(PageOutcome::Timeout);
    const int F = int(PageOutcome::RenderFailure);
    QTest::newRow("refused, then accepted") << 2 << QByteArray("RS") << S << 2 << 200;
    QTest::newRow("refused every time") << 2 << QByteArray("RRRS") << E << 3 << 0;
    QTest::newRow("no answer, then answered") << 2 << QByteArray("HS") << S << 2 << 200;
    QTest::newRow("no answer every time") << 1 << QByteArray("H") << T << 2 << 0;
    QTest::newRow("a 404 is final") << 2 << QByteArray("NS") << E << 1 << 404;
    QTest::newRow("no retries") << 0 << QByteArray("RS") << E << 1 << 0;
    // A loss with a shared renderer is not one of the line's retries.
    QTest::newRow("lost with a shared renderer, then served") << 0 << QByteArray("XS") << S << 2 << 200;
    QTest::newRow("lost with shared renderers every time") << 2 << QByteArray("XXXXS") << F << 4 << 0;
    QTest::newRow("its own renderer gone is final") << 2 << QByteArray("GS") << F << 1 << 0;
}

void LaneRetriesTest::lineOutcomes()
{
    QFETCH(int, retries);
    QFETCH(QByteArray, answers);
    QFETCH(int, outcome);
    QFETCH(int, attempts);
    QFETCH(int, status);

    LaneRig r(1, retrying(retries));
    r.list({"http://a/", "http://b/", "http://c/"});
    r.start();
    const Served s = serve(r, {{"http://a/", answers.toStdString()}});

    QVERIFY(!r.session().running());
    QCOMPARE(int(s.at.at("http://a/").size()), attempts);
    QCOMPARE(int(r.records.size()), 3);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(r.records[i].line, i + 1);
    QCOMPARE(int(r.records[0].outcome), outcome);
    QCOMPARE(r.records[0].attempts, attempts);
    QCOMPARE(r.records[0].httpStatus, status);
    QCOMPARE(r.records[1].attempts, 1);
    std::vector<AnsiString> fax{"0519-10000002", "0519-10000003"};
    if (outcome == int(PageOutcome::Scanned))
        fax.insert(fax.begin(), "0519-10000001");
    QCOMPARE(r.fax(), fax); // in list order
    QCOMPARE(r.statePosition(), 3);
}

// Gaps between the attempts of a line refused twice: the back-off doubles and
// is never shorter than the host delay.
void LaneRetriesTest::backoff_data()
{
    QTest::addColumn<QByteArray>("answers");
    QTest::addColumn<int>("hostDelayMs");
    QTest::addColumn<int>("retryTimeoutMs");
    QTest::addColumn<int>("firstGap");
    QTest::addColumn<int>("secondGap");
    QTest::newRow("no host delay") << QByteArray("RRS") << 0 << 0 << 1000 << 2000;
    QTest::newRow("host delay 3 s") << QByteArray("RRS") << 3000 << 0 << 3000 << 6000;
    // The first attempt waits the whole 5 s bound, its retries 2 s.
    QTest::newRow("timed out: the retries' bound") << QByteArray("HHS") << 0 << 2000 << 5000 + 1000 << 2000 + 2000;
    QTest::newRow("refused, then timed out") << QByteArray("RHS") << 0 << 2000 << 1000 << 5000 + 2000;
}

void LaneRetriesTest::backoff()
{
    QFETCH(QByteArray, answers);
    QFETCH(int, hostDelayMs);
    QFETCH(int, retryTimeoutMs);
    QFETCH(int, firstGap);
    QFETCH(int, secondGap);

    LaneOptions o = retrying(2, 1);
    o.hostDelayMs = hostDelayMs;
    o.retryTimeoutMs = retryTimeoutMs;
    LaneRig r(0, o);
    r.list({"http://a/", "http://b/"});
    r.browser(0).setPage({"about:blank", {}, {}}); // as a real browser holds before its first page
    r.start();
    const Served s = serve(r, {{"http://a/", answers.toStdString()}});
    const std::vector<int64_t>& t = s.at.at("http://a/");
    QCOMPARE(int(t.size()), 3);
    QVERIFY2(t[1] - t[0] >= firstGap && t[1] - t[0] < firstGap + 100, std::to_string(t[1] - t[0]).c_str());
    QVERIFY2(t[2] - t[1] >= secondGap && t[2] - t[1] < secondGap + 100, std::to_string(t[2] - t[1]).c_str());
    QCOMPARE(r.records[0].outcome, PageOutcome::Scanned);
}

// While line 1 waits for its retry the lines after it are done, but the
// resume point stays before line 1; a stop then leaves it for the resume.
void LaneRetriesTest::resumePointWaitsForRetry()
{
    LaneRig r(1, retrying(2));
    r.list({"http://a/", "http://b/", "http://c/"});
    r.start();
    serve(r, {{"http://a/", "RS"}}, 500);
    QVERIFY(r.session().running());
    QCOMPARE(r.session().lanes().retriesPending(), size_t(1));
    QCOMPARE(r.session().position(), 0);
    QCOMPARE(int(r.records.size()), 0);
    r.session().stopNow();
    QCOMPARE(r.statePosition(), 0);
    QVERIFY(r.fax().empty());
}

// Six lines on two lanes, each answering by the script: pages lost with
// shared renderers are no render failures in a row; pages whose own renderer
// ends are, and five of them stop the search.
void LaneRetriesTest::renderFailuresInRow_data()
{
    QTest::addColumn<QByteArray>("answers");
    QTest::addColumn<bool>("stopped");
    QTest::addColumn<int>("scanned");
    QTest::newRow("each lost once with a shared renderer") << QByteArray("XS") << false << 6;
    QTest::newRow("each lost twice with a shared renderer") << QByteArray("XXS") << false << 6;
    QTest::newRow("each page's own renderer ends") << QByteArray("GS") << true << 0;
}

void LaneRetriesTest::renderFailuresInRow()
{
    QFETCH(QByteArray, answers);
    QFETCH(bool, stopped);
    QFETCH(int, scanned);

    LaneRig r(1, retrying(2));
    const std::vector<AnsiString> lines{"http://a/", "http://b/", "http://c/", "http://d/", "http://e/", "http://f/"};
    r.list(lines);
    r.start();
    Script script;
    for (const AnsiString& l : lines)
        script[l] = answers.toStdString();
    serve(r, script);
    QVERIFY(!r.session().running());
    QCOMPARE(r.session().stoppedForRenderFailures(), stopped);
    const std::vector<PageOutcome> outcomes = r.outcomes();
    QCOMPARE(int(std::count(outcomes.begin(), outcomes.end(), PageOutcome::Scanned)), scanned);
    QCOMPARE(r.statePosition(), stopped ? 0 : 6);
}

QTEST_GUILESS_MAIN(LaneRetriesTest)
#include "test_lane_retries.moc"
