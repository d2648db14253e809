// "继续": restoring the state, the position the user enters, and a crawl that is
// stopped and resumed visiting every line exactly once.
#include "search/saved_results.h"
#include "state/search_state.h"
#include "tests/support/engine_rig.h"
#include "text/integer.h"

#include <QTest>

using namespace vq;
using fake::EngineRig;
using fake::FakeMainView;

Q_DECLARE_METATYPE(std::string)

namespace {

std::vector<AnsiString> numberedLines(int n)
{
    std::vector<AnsiString> lines;
    for (int i = 1; i <= n; ++i)
        lines.push_back("http://h.example/" + intToStr(i) + " line " + intToStr(i));
    return lines;
}

AnsiString address(int i) { return "http://h.example/" + intToStr(i); }

// A saved search over an 8-line list: position `progress`, links on, autosave
// as given, speed 3.
void saveState(EngineRig& rig, int32_t progress, bool autosave = true)
{
    const int lines = 8;
    rig.writeUrlList(numberedLines(lines));
    StoredSearch saved;
    saved.listPath = rig.setup.listPath();
    saved.position = SearchPosition{progress, lines};
    saved.links = true;
    saved.autosave = autosave;
    saved.speed = 3;
    writeSearchState(rig.programDir, saved);
    rig.setup.setListPath({}); // the window knows nothing until the state is read
    rig.setup.setPosition(SearchPosition{});
}

void resume(EngineRig& rig)
{
    guarded(rig.prompts, [&] { rig.engine.N4Click(); });
}

// Runs the page timer one interval at a time until `done` holds (bounded).
template <class Pred>
void runUntil(EngineRig& rig, Pred done, int maxSteps = 1000)
{
    for (int i = 0; i < maxSteps && !done(); ++i)
        rig.clock.advance(1000);
}

} // namespace

class ResumeTest : public QObject {
    Q_OBJECT

private slots:
    void refusals_data()
    {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<std::string>("kind");
        QTest::addColumn<std::string>("text");
        QTest::newRow("no state file") << "nostate" << std::string("message") << std::string("您还没有搜索或上次搜索没有保存！");
        QTest::newRow("list gone") << "nolist" << std::string("information") << std::string("网址列表文件不存在！");
        QTest::newRow("loopback only") << "offline" << std::string("information") << std::string("您还没有连接到网上！");
    }
    void refusals()
    {
        QFETCH(QString, situation);
        EngineRig rig;
        if (situation != "nostate")
            saveState(rig, 2);
        if (situation == "nolist")
            std::filesystem::remove(rig.programDir / "list.txt");
        if (situation == "offline")
            rig.host.address = "127.0.0.1";
        resume(rig);
        QCOMPARE(rig.prompts.log.size(), size_t(1));
        QTEST(rig.prompts.log[0].kind, "kind");
        QTEST(rig.prompts.log[0].text, "text");
        QVERIFY(rig.view.buttonHistory.empty());
        QVERIFY(!rig.anyTimerRunning());
        QVERIFY(rig.browser.navigations.empty());
    }

    void unresolvableHostCountsAsConnected()
    {
        EngineRig rig;
        saveState(rig, 2);
        rig.host.address = "";
        resume(rig);
        QCOMPARE(rig.prompts.texts("input").size(), size_t(1));
    }

    // Everything up to the question, then a cancel.
    void cancelKeepsRestoredValues()
    {
        EngineRig rig;
        saveState(rig, 4);
        rig.engine.links.append("http://old.example/");
        rig.engine.fax.append("01012345678");
        rig.view.panels = {"", "x", "", "x", "", "x", "", "x", ""};
        ButtonSet duringInput = ButtonSet::AtStart;
        std::string panel8DuringInput;
        rig.prompts.whileInput = [&] {
            duringInput = rig.view.buttons;
            panel8DuringInput = rig.view.panel(8);
        };
        resume(rig);

        const auto& input = rig.prompts.log.back();
        QCOMPARE(input.kind, std::string("input"));
        QCOMPARE(input.text, std::string("继续搜索提示"));
        QCOMPARE(input.detail, std::string("请输入您上次搜索断点位置        |4"));
        QCOMPARE(duringInput, ButtonSet::Searching);
        QCOMPARE(panel8DuringInput, std::string("开始搜索..."));
        QCOMPARE(rig.view.pauses, std::vector<int>{1000});
        QCOMPARE(rig.timer1.interval(), 3000);
        // "放弃" leaves the result lists, their counts and the count panels as they were.
        QCOMPARE(rig.view.panels, (std::vector<std::string>{"", "8", "", "", "", "1", "", "1", "取消继续搜索..."}));
        QCOMPARE(rig.engine.links.items(), (std::deque<AnsiString>{"http://old.example/"}));
        QCOMPARE(rig.engine.fax.items(), (std::deque<AnsiString>{"01012345678"}));
        QCOMPARE(rig.engine.session.position(), 4);
        QCOMPARE(rig.engine.setup().position().urlTotal, 8);
        QCOMPARE(rig.setup.speed(), 3);
        QVERIFY(rig.setup.isChecked(Switch::Links) && rig.setup.isChecked(Switch::Autosave));
        QCOMPARE(rig.view.buttons, ButtonSet::Stopped);
        QVERIFY(!rig.anyTimerRunning());
        QVERIFY(!rig.engine.session.running());
        QVERIFY(rig.browser.navigations.empty());
    }

    // The number entered is the count of lines already done.
    void position_data()
    {
        QTest::addColumn<std::string>("entered");
        QTest::addColumn<int>("firstLine"); // 0: nothing left to visit
        QTest::newRow("0 starts at line 1") << std::string("0") << 1;
        QTest::newRow("negative starts at line 1") << std::string("-4") << 1;
        QTest::newRow("1") << std::string("1") << 2;
        QTest::newRow("5 of 8") << std::string("5") << 6;
        QTest::newRow("7 of 8") << std::string("7") << 8;
        QTest::newRow("hex") << std::string("$2") << 3;
        QTest::newRow("leading spaces") << std::string("  3") << 4;
        QTest::newRow("8 of 8") << std::string("8") << 0;
        QTest::newRow("beyond the list") << std::string("100") << 0;
    }
    void position()
    {
        QFETCH(std::string, entered);
        QFETCH(int, firstLine);
        EngineRig rig;
        saveState(rig, 8);
        rig.prompts.inputAnswers.push_back(entered);
        resume(rig);
        QCOMPARE(rig.prompts.texts("error"), std::vector<std::string>{});
        if (firstLine == 0) {
            QCOMPARE(rig.view.panel(8), std::string("网址列表搜索完毕..."));
            QCOMPARE(rig.view.buttons, ButtonSet::Stopped);
            QVERIFY(!rig.anyTimerRunning());
            QVERIFY(!rig.engine.session.running());
            QVERIFY(rig.browser.navigations.empty());
            QCOMPARE(rig.engine.session.position(), strToInt(entered));
            return;
        }
        QCOMPARE(rig.browser.navigations, std::vector<AnsiString>{address(firstLine)});
        QCOMPARE(rig.view.panel(3), intToStr(firstLine));
        QCOMPARE(rig.engine.session.lanes().linesRead(), firstLine);
        QCOMPARE(rig.engine.session.position(), firstLine - 1);
        QCOMPARE(rig.view.panel(8), std::string("继续搜索..."));
        QCOMPARE(rig.view.buttons, ButtonSet::Searching);
        QVERIFY(rig.timer1.enabled() && rig.timer2.enabled() && rig.timer3.enabled());
        QCOMPARE(rig.timer3.interval(), 45000);
    }

    // A confirmed resume goes on with the results of the search it resumes: the
    // lists when this run's lists belong to it, else the result files the search
    // record gives to it (files of unknown origin count as its own).
    void resultsOfTheResumedSearch_data()
    {
        QTest::addColumn<QString>("listsOf");     // the search the lists belong to ("" none: a restart)
        QTest::addColumn<QStringList>("record");  // the search record's lines; empty: no record
        QTest::addColumn<QStringList>("links");
        QTest::addColumn<QStringList>("fax");
        const QStringList mine = {"in list"};
        const QStringList file = {"from file 1", "from file 2"};
        QTest::newRow("restart, no record") << "" << QStringList{} << file << file;
        QTest::newRow("restart, files of this search") << "" << QStringList{"S", "S", "S"} << file << file;
        QTest::newRow("restart, fax file of another search") << "" << QStringList{"S", "S", "T"} << file << QStringList{};
        QTest::newRow("restart, both of another search") << "" << QStringList{"S", "T", "T"} << QStringList{} << QStringList{};
        QTest::newRow("restart, state of unknown search") << "" << QStringList{"", "T", "T"} << file << file;
        QTest::newRow("same run") << "S" << QStringList{"S", "T", "T"} << mine << mine;
        QTest::newRow("lists of another search") << "R" << QStringList{"S", "S", "S"} << file << file;
    }
    void resultsOfTheResumedSearch()
    {
        QFETCH(QString, listsOf);
        QFETCH(QStringList, record);
        QFETCH(QStringList, links);
        QFETCH(QStringList, fax);
        EngineRig rig;
        saveState(rig, 2);
        writeAllLines(rig.programDir / kAutosaveLinksName, {"from file 1", "from file 2"});
        writeAllLines(rig.programDir / kAutosaveFaxName, {"from file 1", "from file 2"});
        if (!record.isEmpty())
            writeSearchRecord(rig.programDir, {record[0].toStdString(), record[1].toStdString(), record[2].toStdString()});
        if (!listsOf.isEmpty()) {
            rig.engine.results.searchId = listsOf.toStdString();
            rig.engine.links.append("in list");
            rig.engine.fax.append("in list");
        }
        rig.prompts.inputAnswers.push_back("2");
        resume(rig);
        QCOMPARE(rig.view.panel(8), std::string("继续搜索..."));
        const auto items = [](const ResultList& list) {
            QStringList out;
            for (const AnsiString& item : list.items())
                out << QString::fromStdString(item);
            return out;
        };
        QCOMPARE(items(rig.engine.links), links);
        QCOMPARE(items(rig.engine.fax), fax);
        QCOMPARE(rig.view.panel(7), fax.isEmpty() ? std::string() : std::to_string(fax.size()));
        // Restored items are on disk already: nothing unsaved.
        QCOMPARE(rig.engine.fax.hasUnsaved(), listsOf == "S");

        // The files then belong to the resumed search.
        rig.engine.progress.Button2Click();
        const SearchRecord after = readSearchRecord(rig.programDir);
        QCOMPARE(after.state, rig.engine.results.searchId);
        if (!record.isEmpty() && !record[0].isEmpty())
            QCOMPARE(after.state, record[0].toStdString());
        if (!links.isEmpty())
            QCOMPARE(after.links, after.state);
    }

    void autosaveOffLeavesItsTimerOff()
    {
        EngineRig rig;
        saveState(rig, 0, false);
        rig.prompts.inputAnswers.push_back("0");
        resume(rig);
        QVERIFY(rig.timer1.enabled() && rig.timer3.enabled());
        QVERIFY(!rig.timer2.enabled());
    }

    // A non-number is reported, and the window is left stopped with nothing open.
    void notANumber_data()
    {
        QTest::addColumn<std::string>("entered");
        QTest::addColumn<std::string>("message");
        QTest::newRow("letters") << std::string("abc") << std::string("'abc' is not a valid integer value.");
        QTest::newRow("empty") << std::string("") << std::string("'' is not a valid integer value.");
        QTest::newRow("trailing space") << std::string("5 ") << std::string("'5 ' is not a valid integer value.");
        QTest::newRow("fraction") << std::string("1.5") << std::string("'1.5' is not a valid integer value.");
        QTest::newRow("Chinese") << std::string("五") << std::string("'五' is not a valid integer value.");
    }
    void notANumber()
    {
        QFETCH(std::string, entered);
        QFETCH(std::string, message);
        EngineRig rig;
        saveState(rig, 3);
        rig.prompts.inputAnswers.push_back(entered);
        resume(rig);
        QCOMPARE(rig.prompts.texts("error"), std::vector<std::string>{message});
        QCOMPARE(rig.view.buttons, ButtonSet::Stopped);
        QVERIFY(!rig.anyTimerRunning());
        QVERIFY(!rig.engine.session.running());
        QVERIFY(rig.browser.navigations.empty());
        QCOMPARE(rig.engine.session.position(), 3);
        rig.clock.advance(600000); // and nothing starts later
        QVERIFY(rig.browser.navigations.empty());
    }

    // Crawl, stop after k pages, resume with the offered value, run to the end:
    // every line is visited exactly once, in order.
    void stopThenResume_data()
    {
        QTest::addColumn<int>("stopAfter");
        QTest::newRow("after 1") << 1;
        QTest::newRow("after 4") << 4;
        QTest::newRow("after 9") << 9;
        QTest::newRow("after the last") << 10;
    }
    void stopThenResume()
    {
        QFETCH(int, stopAfter);
        const int lines = 10;
        EngineRig rig;
        rig.writeUrlList(numberedLines(lines));
        rig.setup.setChecked(Switch::Links, true);
        rig.setup.setSpeed(fake::fieldSpeed("1"));
        rig.browser.autoComplete = true;

        rig.engine.N2Click();
        runUntil(rig, [&] { return rig.browser.navigations.size() == size_t(stopAfter); });
        rig.engine.N3Click();
        runUntil(rig, [&] { return !rig.anyTimerRunning(); });
        QCOMPARE(rig.view.panel(8), std::string("搜索已经结束!"));

        // The offered value is whatever the state file restored.
        std::string offered;
        rig.prompts.whileInput = [&] {
            offered = intToStr(rig.engine.session.position());
            rig.prompts.inputAnswers.push_back(offered);
        };
        resume(rig);
        QCOMPARE(offered, intToStr(stopAfter));
        runUntil(rig, [&] { return !rig.anyTimerRunning(); });

        std::vector<AnsiString> expected;
        for (int i = 1; i <= lines; ++i)
            expected.push_back(address(i));
        QCOMPARE(rig.browser.navigations, expected);
        QCOMPARE(rig.prompts.texts("error"), std::vector<std::string>{});
        QCOMPARE(rig.view.panel(8), std::string(stopAfter == lines ? "网址列表搜索完毕..." : "搜索已经结束!"));
        QCOMPARE(rig.view.buttons, ButtonSet::Stopped);
    }
};

QTEST_GUILESS_MAIN(ResumeTest)
#include "test_resume.moc"
