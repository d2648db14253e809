// The search's front door on fakes: what a front end hears of a search (the
// observer's events in order), what it answers when it cannot go, and the
// settings it takes from its setup.
#include "app/engine.h"
#include "search/saved_results.h"
#include "search/search_session.h"
#ifdef VQ_TEST_FRONTIER
#include "search/site_frontier.h"
#include "state/frontier_db.h"
#endif

#include "tests/support/engine_rig.h"
#include "tests/support/fakes.h"
#include "tests/support/files.h"
#include "text/atomic_file.h"
#include "text/paths.h"
#include "text/text_file.h"

#include <QTemporaryDir>
#include <QTest>

using namespace vq;

namespace {

AnsiString faxLine(int i) { return "\xB4\xAB\xD5\xE6\xA3\xBA" "0519-8888888" + std::to_string(i); } // 传真：

// Every event but progress as one line of text; the last progress kept whole.
class Log : public SearchObserver {
public:
    void started(const SearchProgress&) override { events << "started"; }
    void progress(const SearchProgress& p) override { last = p; }
    void pageDone(const PageRecord& r) override
    {
        events << QString("page %1 %2 %3").arg(r.line).arg(outcomeName(r.outcome)).arg(r.fax.size());
    }
    void status(const std::string& text) override { events << "status " + QString::fromStdString(text); }
    void finished(const SearchFinish& f) override
    {
        static const char* const how[] = {"completed", "stopped", "render failures"};
        events << QString("finished %1 %2").arg(how[int(f.how)]).arg(f.position);
        renderFailures = f.renderFailures;
    }
    void stepFailed(const std::exception& e) override { errors.push_back(e.what()); }
    QStringList events;
    std::vector<std::string> errors;
    int renderFailures = 0;
    SearchProgress last;
};

struct SessionRig {
    std::unique_ptr<QTemporaryDir> dir;
    std::filesystem::path programDir;
    fake::ManualClock clock;
    fake::FakeTimer& page = clock.newTimer();
    fake::FakeTimer& watchdog = clock.newTimer();
    fake::FakeTimer& autosave = clock.newTimer();
    fake::FakeBrowser browser;
    fake::FakeHostLookup host;
    SearchResults results;
    SearchSession session{host, autosave, results, programDir};
    SearchSetup& setup = session.setup();
    Log log;

    // Without a directory, a fresh temporary one.
    explicit SessionRig(int lines, std::filesystem::path in = {})
        : dir(in.empty() ? std::make_unique<QTemporaryDir>() : nullptr),
          programDir(in.empty() ? std::filesystem::path(dir->path().toStdString()) : in)
    {
        session.addLane(browser, page, watchdog);
        session.lanes().nowMs = [this] { return clock.now(); };
        session.setObserver(&log);
        std::vector<AnsiString> list;
        for (int i = 1; i <= lines; ++i) {
            const AnsiString url = "http://p" + std::to_string(i) + ".example/";
            list.push_back(url);
            browser.pages[url] = {url, {url + "a.html"}, faxLine(i)};
        }
        writeAllLines(programDir / "list.txt", list);
        setup.setUrlTotal(lines);
        browser.autoComplete = true;
        setup.setListPath(pathToAnsi(programDir / "list.txt"));
        setup.setChecked(Switch::Fax, true);
        setup.setSpeed(1);
    }
    // Line 2 of the state file.
    static int32_t statePosition(const std::filesystem::path& dir)
    {
        return std::stoi(readAllLines(dir / kSearchStateFileName).at(1));
    }
};

#ifdef VQ_TEST_FRONTIER
// A frontier on a real database whose disk fills up at the n-th page.
class FillingDisk : public Frontier {
public:
    FillingDisk(SiteFrontier& real, int fullAt) : real_(real), fullAt_(fullAt) {}
    Next next(SourceLine& line) override { return real_.next(line); }
    bool exhausted() override { return real_.exhausted(); }
    void commit(PageResult& page, bool dedup) override
    {
        if (++commits_ >= fullAt_)
            throw FrontierDbError("vqfrontier.db", "database or disk is full", FrontierDbError::Kind::DiskFull);
        real_.commit(page, dedup);
    }
    Written writeResultFiles(const std::filesystem::path& dir) override { return real_.writeResultFiles(dir); }
    FrontierCounts counts() const override { return real_.counts(); }
    void fillResults(SearchResults& results) override { real_.fillResults(results); }
    std::map<int, int64_t> pagesPerDepth() override { return real_.pagesPerDepth(); }

private:
    SiteFrontier& real_;
    int fullAt_;
    int commits_ = 0;
};
#endif

} // namespace

class TestSearchSession : public QObject {
    Q_OBJECT

private slots:
    void events_data();
    void events();
    void setupGivesTheSettings();
    void refusals_data();
    void refusals();
    void mergeMessageGivesWay();
    void failedLinesShownAndExported();
    void originsSurviveARestart_data();
    void originsSurviveARestart();
    void fullDiskThenResume();
    void saveFailsThenResumes_data();
    void saveFailsThenResumes();
};

void TestSearchSession::events_data()
{
    QTest::addColumn<int>("lines");
    QTest::addColumn<QString>("how");  // fresh, resume N, refuse, stop, stop now, render
    QTest::addColumn<QStringList>("expected");

    const QString searching = "status 正在搜索...";
    const QString ended = "status 搜索已经结束!";
    QTest::newRow("to the end") << 2 << "fresh"
        << QStringList{"started", searching, "page 1 scanned 1", "page 2 scanned 1", ended, "finished completed 2"};
    QTest::newRow("empty list") << 0 << "fresh" << QStringList{"started", searching, ended, "finished completed 0"};
    QTest::newRow("refused: nothing to search") << 2 << "refuse" << QStringList{};
    // A stop is seen after the page loading at that moment has been scanned.
    QTest::newRow("stop") << 3 << "stop"
        << QStringList{"started", searching, "page 1 scanned 1", "status 终止搜索...", "page 2 scanned 1", ended,
                       "finished stopped 2"};
    // At once: the loading page is not done.
    QTest::newRow("stop at once") << 3 << "stop now"
        << QStringList{"started", searching, "page 1 scanned 1", ended, "finished stopped 1"};
    QTest::newRow("resume from line 2") << 3 << "resume 1"
        << QStringList{"started", "status 继续搜索...", "page 2 scanned 1", "page 3 scanned 1", ended,
                       "finished completed 3"};
    QTest::newRow("resume past the end") << 3 << "resume 5"
        << QStringList{"status 网址列表搜索完毕...", "finished completed 5"};
    QTest::newRow("render failures") << 6 << "render"
        << QStringList{"started", searching, "page 1 render failure 0", "page 2 render failure 0",
                       "page 3 render failure 0", "page 4 render failure 0", "page 5 render failure 0", ended,
                       "finished render failures 0"};
}

void TestSearchSession::events()
{
    QFETCH(int, lines);
    QFETCH(QString, how);
    QFETCH(QStringList, expected);
    SessionRig r(lines);
    if (how == "refuse")
        r.setup.setChecked(Switch::Fax, false);
    if (how == "render") {
        for (const auto& [url, page] : r.browser.pages)
            r.browser.renderFailures.push_back(url);
    }

    SearchSession::Answer answer = how.startsWith("resume") ? r.session.resume(how.section(' ', 1).toInt())
                                                             : r.session.start();
    if (how == "stop" || how == "stop now") {
        r.clock.advance(1000); // page 1 scanned, page 2 loading
        r.browser.autoComplete = false;
        r.browser.document.reset();
        r.clock.advance(500);
        how == "stop" ? r.session.stop() : r.session.stopNow();
        r.browser.completeTop(r.browser.pages["http://p2.example/"]);
    }
    r.clock.advance(60000);

    QCOMPARE(r.log.events, expected);
    QVERIFY(!r.session.running());
    QVERIFY(!r.page.enabled() && !r.watchdog.enabled() && !r.autosave.enabled());
    if (how == "refuse") {
        QCOMPARE(answer, SearchSession::Answer::NoSearchItem);
        return;
    }
    QCOMPARE(answer, how == "resume 5" ? SearchSession::Answer::AtEnd : SearchSession::Answer::Running);
    // The last progress agrees with the lists and the position saved.
    QCOMPARE(r.log.last.fax, int32_t(r.results.fax.size()));
    QCOMPARE(r.log.last.position, r.session.position());
    QCOMPARE(r.log.last.total, lines);
    QCOMPARE(r.log.renderFailures, how == "render" ? 5 : 0);
    QVERIFY(r.log.errors.empty());
}

// The setup as a search's settings: everything is taken once at the start,
// but the speed and three switches reach the running search.
void TestSearchSession::setupGivesTheSettings()
{
    SessionRig r(3);
    SearchSetup& setup = r.setup;
    setup.setChecked(Switch::Links, true);
    setup.setChecked(Switch::Dedup, true);
    setup.setChecked(Switch::OnlySite, true);
    setup.setChecked(Switch::Https, true);
    setup.setSpeed(75);
    setup.setList(OptionList::MustContain, {"a"});
    setup.setList(OptionList::MustNotContain, {"b", "c"});
    setup.setList(OptionList::FaxMarkers, {"m"});
    setup.setPagesAtOnce(4);

    const SearchSettings s = settingsOf(setup);
    QCOMPARE(s.listPath, pathToAnsi(r.programDir / "list.txt"));
    QCOMPARE((std::vector<bool>{s.links, s.fax, s.dedup, s.filter, s.site, s.https, s.autosave}),
             (std::vector<bool>{true, true, true, false, true, true, false}));
    QCOMPARE(s.speed, 75); // read as written; the pace keeps it within 1..60
    QCOMPARE(s.mustContain, std::vector<AnsiString>{"a"});
    QCOMPARE(s.mustNotContain, (std::vector<AnsiString>{"b", "c"}));
    QCOMPARE(s.markers, std::vector<AnsiString>{"m"});
    // Pages off screen are on the web: retried as vqharvest's.
    QCOMPARE(s.lanes.lanes, 4);
    QCOMPARE(s.lanes.retries, kRealWebRetries);
    setup.setPagesAtOnce(1);

    // A running search hears the live values at its next page.
    setup.setSpeed(1);
    QCOMPARE(r.session.start(), SearchSession::Answer::Running);
    QCOMPARE(r.session.lanes().pageInterval(), 1000);
    setup.setSpeed(3);
    setup.setChecked(Switch::Autosave, true);
    QCOMPARE(r.session.lanes().pageInterval(), 3000);
    r.clock.advance(1000); // page 1 scanned at the old pace, page 2 loading
    QVERIFY(r.autosave.enabled());
    setup.setChecked(Switch::Autosave, false);
    r.clock.advance(2999);
    QCOMPARE(r.session.position(), 1);
    r.clock.advance(1); // page 2 at the new pace
    QCOMPARE(r.session.position(), 2);
    QVERIFY(!r.autosave.enabled());
    r.session.stopNow();
    // The state file is the setup's, at the position reached.
    QCOMPARE(test::readBytes(r.programDir / "vqdornavik.ini"),
             pathToAnsi(r.programDir / "list.txt") + "\r\n2\r\n3\r\nqcyes\r\nwebyes\r\nfaxyes\r\nsxno\r\n"
                                                      "bzyes\r\nsaveno\r\n3\r\n");
}

// What start() and resume() answer when they cannot go; a refusal changes
// nothing: no page, no file, the lists and the position as they were.
void TestSearchSession::refusals_data()
{
    QTest::addColumn<QString>("setup"); // what differs from a search that would go
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("answer");
    using A = SearchSession::Answer;
    QTest::newRow("nothing to search") << "no items" << "start" << int(A::NoSearchItem);
    QTest::newRow("no list file") << "no list" << "start" << int(A::NoListFile);
    QTest::newRow("list is a folder") << "folder" << "start" << int(A::NoListFile);
    QTest::newRow("offline") << "offline" << "start" << int(A::Offline);
    QTest::newRow("offline, no net check") << "offline unchecked" << "start" << int(A::Running);
    QTest::newRow("unsaved results") << "unsaved" << "start" << int(A::UnsavedResults);
    QTest::newRow("unsaved results, discarded") << "unsaved" << "start discard" << int(A::Running);
    QTest::newRow("resume: list gone") << "no list" << "resume" << int(A::ListMissing);
    QTest::newRow("resume: offline") << "offline" << "resume" << int(A::Offline);
    QTest::newRow("resume: at the end") << "" << "resume 9" << int(A::AtEnd);
}

void TestSearchSession::refusals()
{
    QFETCH(QString, setup);
    QFETCH(QString, command);
    QFETCH(int, answer);
    SessionRig r(3);
    r.setup.setProgressIndex(2);
    r.results.fax.append("0519-11111111");
    r.results.fax.markSaved();
    if (setup == "no items")
        r.setup.setChecked(Switch::Fax, false);
    if (setup == "no list")
        r.setup.setListPath(pathToAnsi(r.programDir / "none.txt"));
    if (setup == "folder")
        r.setup.setListPath(pathToAnsi(r.programDir));
    if (setup.startsWith("offline"))
        r.host.address = "127.0.0.1";
    if (setup == "offline unchecked")
        r.setup.setNetCheck(false);
    if (setup == "unsaved")
        r.results.links.append("http://unsaved.example/");

    const SearchSession::Answer got = command == "start"           ? r.session.start()
                                      : command == "start discard" ? r.session.start(true)
                                      : command == "resume"        ? r.session.resume(1)
                                                                   : r.session.resume(9);
    QCOMPARE(int(got), answer);
    QCOMPARE(r.session.running(), got == SearchSession::Answer::Running);
    if (!SearchSession::refused(got))
        return;
    QCOMPARE(r.session.position(), 2);
    QCOMPARE(r.results.fax.size(), size_t(1));
    QVERIFY(r.log.events.isEmpty());
    QVERIFY(r.browser.navigations.empty());
    QVERIFY(!std::filesystem::exists(r.programDir / "vqdornavik.ini"));
}

// The merge tool writes into the fax label's panel; the next search puts the
// label back.
void TestSearchSession::mergeMessageGivesWay()
{
    fake::EngineRig rig;
    rig.writeUrlList({"http://a.example/"});
    rig.setup.setChecked(Switch::Fax, true);
    rig.view.setPanel(kPanelMerge, "文件合并去重整理完毕！");
    rig.engine.N2Click();
    QCOMPARE(rig.view.panel(kPanelMerge), std::string(kPanelMergeLabel));
}

// Lines that did not end scanned are counted by kind and can be written out.
void TestSearchSession::failedLinesShownAndExported()
{
    fake::EngineRig rig;
    rig.writeUrlList(
        {"http://a.example/", "javascript:void(0)", "http://dead.example/", "\x01\xFF\xFE junk", "http://b.example/"});
    rig.setup.setChecked(Switch::Fax, true);
    rig.setup.setSpeed(1);
    rig.browser.autoComplete = true;
    rig.browser.renderFailures = {"http://dead.example/"};
    rig.engine.N2Click();
    rig.clock.advance(60000);
    QCOMPARE(rig.view.panel(kPanelStatus), std::string("搜索已经结束!"));
    QCOMPARE(rig.view.failures, (std::pair<int, std::string>{3, "无法显示 1，非网页地址 1，非网址 1"}));

    const std::filesystem::path out = rig.programDir / "failed.txt";
    rig.prompts.fileAnswers = {out};
    rig.engine.exportFailedLines();
    QCOMPARE(rig.prompts.lastDialog.title, std::string("导出失败地址"));
    QCOMPARE(test::readBytes(out), "2\t" + utf8ToAnsi("非网页地址") + "\tjavascript:void(0)\r\n3\t" +
                                       utf8ToAnsi("无法显示") + "\thttp://dead.example/\r\n4\t" +
                                       utf8ToAnsi("非网址") + "\t\x01\xFF\xFE\r\n");

    // A new search starts counting afresh.
    rig.engine.N2Click();
    QCOMPARE(rig.view.failures.first, 0);
}

// The page of each fax number comes back with the numbers after a restart,
// when the origins file matches the fax file line for line.
void TestSearchSession::originsSurviveARestart_data()
{
    QTest::addColumn<QString>("origins"); // kept, missing, short
    QTest::addColumn<bool>("back");
    QTest::newRow("kept") << "kept" << true;
    QTest::newRow("missing") << "missing" << false;
    QTest::newRow("a line short") << "short" << false;
}

void TestSearchSession::originsSurviveARestart()
{
    QFETCH(QString, origins);
    QFETCH(bool, back);
    QTemporaryDir dir;
    const std::filesystem::path programDir(dir.path().toStdString());
    SearchResults saved;
    saved.searchId = "s1";
    saved.fax.append("0519-81111111", "http://p1.example/");
    saved.fax.append("0519-82222222", "http://p2.example/");
    saveSearch(programDir, StoredSearch{}, saved);
    if (origins == "missing")
        std::filesystem::remove(programDir / kFaxOriginsName);
    if (origins == "short")
        writeAllLines(programDir / kFaxOriginsName, {"http://p1.example/"});

    SearchResults restored;
    restoreSavedResults(programDir, readSearchRecord(programDir), restored);
    QCOMPARE(restored.fax.size(), size_t(2));
    QCOMPARE(restored.fax.origin(1), AnsiString(back ? "http://p2.example/" : ""));
    QVERIFY(!restored.fax.hasUnsaved());
}

#ifdef VQ_TEST_FRONTIER
// A full disk stops a crawl on a frontier with what was committed, and says
// so; a resume goes on from there, and the files end up whole.
void TestSearchSession::fullDiskThenResume()
{
    SessionRig r(5);
    FrontierOptions on;
    on.on = true;
    r.setup.setFrontier(on);
    const std::filesystem::path file = r.programDir / "vqfrontier.db";
    const std::filesystem::path faxFile = r.programDir / kAutosaveFaxName;
    const std::vector<AnsiString> all{"0519-88888881", "0519-88888882", "0519-88888883", "0519-88888884",
                                      "0519-88888885"};
    {
        FrontierDb db(file, FrontierDb::Open::Fresh);
        SiteFrontier frontier(db, r.setup.frontier());
        frontier.keepOptions(true);
        frontier.seed(r.setup.listPath(), 1, 1);
        FillingDisk full(frontier, 3);
        r.session.setFrontier(&full);
        QCOMPARE(r.session.start(), SearchSession::Answer::Running);
        r.clock.advance(60000);
        QVERIFY(!r.session.running());
        QVERIFY(r.session.storeFailed());
        QCOMPARE(r.log.events.last(), QString("finished stopped 2"));
        QCOMPARE(r.log.errors.size(), size_t(1));
        QVERIFY(QString::fromStdString(r.log.errors.front()).contains("disk is full"));
        r.session.saveProgress();
        QCOMPARE(readAllLines(faxFile), (std::vector<AnsiString>(all.begin(), all.begin() + 2)));
    }
    // The next run of the program, once there is room again.
    FrontierDb db(file, FrontierDb::Open::Resume);
    SiteFrontier frontier(db, r.setup.frontier());
    frontier.keepOptions(false);
    QCOMPARE(frontier.counts().done, int64_t(2));
    r.session.setFrontier(&frontier);
    QCOMPARE(r.session.resume(2), SearchSession::Answer::Running);
    r.clock.advance(60000);
    QVERIFY(!r.session.storeFailed());
    QCOMPARE(r.log.events.last(), QString("finished completed 5"));
    r.session.saveProgress();
    QCOMPARE(readAllLines(faxFile), all);
}
#else
void TestSearchSession::fullDiskThenResume()
{
    QSKIP("built without the frontier database");
}
#endif

// A list crawl whose disk fills up at its first save, at a later save or at
// its end: the state file never says more than the result files hold, the
// results stay in memory, and once there is room again a resume ends with
// every number once.
void TestSearchSession::saveFailsThenResumes_data()
{
    QTest::addColumn<int>("goodSaves"); // saves that succeed before the disk is full
    QTest::addColumn<int>("kept");      // lines the state file says are done
    QTest::newRow("at the first save") << 0 << -1;
    QTest::newRow("at a later save") << 1 << 2;
    QTest::newRow("at the end") << 2 << 4;
}

void TestSearchSession::saveFailsThenResumes()
{
    QFETCH(int, goodSaves);
    QFETCH(int, kept);
    const std::filesystem::path state(kSearchStateFileName);
    std::vector<AnsiString> all;
    for (int i = 1; i <= 6; ++i)
        all.push_back("0519-8888888" + std::to_string(i));
    QTemporaryDir dir;
    const std::filesystem::path programDir(dir.path().toStdString());
    {
        SessionRig r(6, programDir);
        r.autosave.setInterval(kAutosaveMs); // the saves here are the test's own, and the end's
        r.setup.setChecked(Switch::Autosave, true);
        QCOMPARE(r.session.start(), SearchSession::Answer::Running);
        for (int save = 0; save < 2; ++save) {
            r.clock.advance(2000); // two more pages
            if (save == goodSaves)
                testing::failWritesAfter(0); // the disk is full from here on
            try {
                r.session.saveProgress();
                QVERIFY(save < goodSaves);
            } catch (const SaveError& e) {
                QVERIFY(save >= goodSaves);
                QVERIFY(QString::fromUtf8(e.what()).contains("Disk full"));
            }
        }
        if (goodSaves == 2)
            testing::failWritesAfter(0);
        r.clock.advance(60000);
        testing::failWritesAfter(-1);
        QVERIFY(!r.session.running());
        QVERIFY(r.session.lastSaveFailed());
        QCOMPARE(r.log.errors.size(), size_t(1)); // the save at the end
        QCOMPARE(r.results.fax.size(), size_t(6)); // kept in memory
        QVERIFY(r.session.hasUnsavedResults());
        QCOMPARE(r.session.savedPosition(), std::max(kept, 0));
        // What is on disk agrees with itself.
        if (kept < 0) {
            QVERIFY(!std::filesystem::exists(programDir / state));
        } else {
            QCOMPARE(SessionRig::statePosition(programDir), kept);
            QCOMPARE(readAllLines(programDir / kAutosaveFaxName), (std::vector<AnsiString>(all.begin(), all.begin() + kept)));
        }
        // Room again: the next save writes everything.
        if (goodSaves == 2) {
            r.session.saveProgress();
            QCOMPARE(readAllLines(programDir / kAutosaveFaxName), all);
            return;
        }
    }
    // The program again, with room: on from the line the state file keeps.
    SessionRig r(6, programDir);
    r.setup.setChecked(Switch::Autosave, true);
    const int32_t from = kept < 0 ? 0 : SessionRig::statePosition(programDir);
    QCOMPARE(r.session.resume(from), SearchSession::Answer::Running);
    r.clock.advance(60000);
    QVERIFY(!r.session.lastSaveFailed());
    QCOMPARE(readAllLines(programDir / kAutosaveFaxName), all);
    QCOMPARE(SessionRig::statePosition(programDir), 6);
}

QTEST_GUILESS_MAIN(TestSearchSession)
#include "test_search_session.moc"
