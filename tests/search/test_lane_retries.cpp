// Lines tried again without a pace, on fakes and a manual clock: which
// failures get another attempt and which are final, how each line ends, the
// back-off between attempts, and the resume point while a retry is pending.
#include "tests/support/lane_rig.h"

#include <QTest>

using namespace vq;

namespace {

// How a page answers one attempt: 'S' it arrives, 'R' refused (no HTTP
// answer), 'N' a 404, 'H' no answer at all.
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
                if (how == 'H')
                    continue;
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
    QTest::newRow("refused, then accepted") << 2 << QByteArray("RS") << S << 2 << 200;
    QTest::newRow("refused every time") << 2 << QByteArray("RRRS") << E << 3 << 0;
    QTest::newRow("no answer, then answered") << 2 << QByteArray("HS") << S << 2 << 200;
    QTest::newRow("no answer every time") << 1 << QByteArray("H") << T << 2 << 0;
    QTest::newRow("a 404 is final") << 2 << QByteArray("NS") << E << 1 << 404;
    QTest::newRow("no retries") << 0 << QByteArray("RS") << E << 1 << 0;
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
    QTest::addColumn<int>("hostDelayMs");
    QTest::addColumn<int>("firstGap");
    QTest::addColumn<int>("secondGap");
    QTest::newRow("no host delay") << 0 << 1000 << 2000;
    QTest::newRow("host delay 3 s") << 3000 << 3000 << 6000;
}

void LaneRetriesTest::backoff()
{
    QFETCH(int, hostDelayMs);
    QFETCH(int, firstGap);
    QFETCH(int, secondGap);

    LaneOptions o = retrying(2, 1);
    o.hostDelayMs = hostDelayMs;
    LaneRig r(0, o);
    r.list({"http://a/", "http://b/"});
    r.start();
    const Served s = serve(r, {{"http://a/", "RRS"}});
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

QTEST_GUILESS_MAIN(LaneRetriesTest)
#include "test_lane_retries.moc"
