// The window's site crawl ("深度" above 0) against vqharvest crawl --depth on
// the same site: the same result files at 1 and at 4 pages at once, "继续"
// after "终止" and after kill -9 of the window, and a frontier that cannot be
// gone on with (other options, not ours) refused until the user says "是".
#include "app/form1.h"
#include "app/web_browser.h"
#include "tests/support/files.h"
#include "tests/support/harvest_process.h"
#include "tests/support/search_window.h"
#include "tests/support/site_pages.h"

#include <QApplication>
#include <QLabel>
#include <QProcess>
#include <QTest>

#include <csignal>
#include <map>

using namespace vq;
using vq::test::SearchWindow;
using vq::test::Site;

namespace {

constexpr int kCrawlMs = 90000;

// A window's site crawl set up as a user would: speed 1, links, fax, dedup and
// the link filter on, autosave on, "深度" and "同时打开" as given.
void setUp(SearchWindow& w, int depth, int pages, const QString& list)
{
    w.setSearchOptions();
    w.form->setChecked(Switch::Autosave, true);
    w.form->setPagesAtOnce(pages);
    w.form->setSiteCrawl(depth, Follow::Site);
    w.prompts.fileAnswers = {toPath(list)};
    w.form->N1Click();
}

QByteArray resultFiles(const QString& dir)
{
    return test::readFile(dir + "/autosave&web.txt") + "|" + test::readFile(dir + "/autosave&fax.txt") + "|" +
           test::readFile(dir + "/vqorigins.txt");
}

// The lists the window shows, as the files would hold them.
QByteArray shownLists(const SearchWindow& w)
{
    QByteArray links, fax;
    for (const QString& row : w.linkRows())
        links += row.toUtf8() + "\r\n";
    for (const QString& row : w.faxRows())
        fax += row.toUtf8() + "\r\n";
    return links + "|" + fax;
}

bool waitForEnd(SearchWindow& w) { return w.waitForEnd(kCrawlMs); }

// The boxes the window showed (file dialogs left out), for a failure's message.
QString boxes(const SearchWindow& w)
{
    QStringList shown;
    for (const char* kind : {"error", "information", "message", "confirm"})
        for (const std::string& text : w.prompts.texts(kind))
            shown << QString::fromStdString(text);
    return shown.join(" | ");
}

} // namespace

class TestWindowSiteCrawl : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void sameFilesAsVqharvest_data();
    void sameFilesAsVqharvest();
    void goesOnAfterAnEnd_data();
    void goesOnAfterAnEnd();
    void frontierThatCannotGoOn_data();
    void frontierThatCannotGoOn();

private:
    // vqharvest crawl --depth 2 of the list with as many lanes: its result files.
    QByteArray reference(int lanes);
    QString list(const QString& dir) const
    {
        const QString path = dir + "/list.txt";
        test::writeFile(path, site_.url("/dir") + "\r\n");
        return path;
    }

    Site site_{3};
    std::map<int, QByteArray> reference_;
};

void TestWindowSiteCrawl::initTestCase()
{
    QVERIFY(!site_.url("/dir").isEmpty());
}

QByteArray TestWindowSiteCrawl::reference(int lanes)
{
    if (reference_.count(lanes))
        return reference_[lanes];
    QTemporaryDir out;
    test::HarvestProcess harvest;
    QProcess p;
    harvest.start(p, {"crawl", list(out.path()), "--depth", "2", "--follow", "site", "--speed", "1", "--lanes",
                      QString::number(lanes), "--per-host", QString::number(lanes), "--links", "--fax", "--dedup",
                      "--filter", "--no-net-check", "--quiet", "--out", out.path()});
    if (!test::HarvestProcess::waitForExit(p, kCrawlMs) || p.exitCode() != 0)
        return "vqharvest failed: " + p.readAllStandardError();
    return reference_[lanes] = resultFiles(out.path());
}

void TestWindowSiteCrawl::sameFilesAsVqharvest_data()
{
    QTest::addColumn<int>("pages");
    QTest::newRow("1 at once") << 1;
    QTest::newRow("4 at once") << 4;
}

void TestWindowSiteCrawl::sameFilesAsVqharvest()
{
    QFETCH(int, pages);
    SearchWindow w;
    setUp(w, 2, pages, list(w.dir.path()));
    bool sawDepth = false;
    w.start();
    QVERIFY(test::waitFor([&] {
        sawDepth = sawDepth || w.form->EtaLabel->text().startsWith(QStringLiteral("深度 2"));
        return w.form->panel(8) == "搜索已经结束!";
    }, kCrawlMs));
    QVERIFY2(boxes(w).isEmpty(), qPrintable(boxes(w)));
    QVERIFY(sawDepth);
    const QByteArray files = resultFiles(w.dir.path());
    QVERIFY(files.contains("021-30000003"));
    QCOMPARE(files, reference(pages));
    // The lists show what the files hold, in the same order.
    QVERIFY(files.startsWith(shownLists(w)));
    // Panels 1 and 3: pages known and pages done, all done.
    QCOMPARE(w.form->panel(1), w.form->panel(3));
    // The site crawl's options come back at the next start; the state file keeps its ten lines.
    const std::filesystem::path dir = toPath(w.dir.path());
    w.form.reset();
    QCOMPARE(test::readFile(w.dir.filePath("vqsite.ini")), QByteArray("2\r\nsite\r\n"));
    QCOMPARE(test::readFile(w.dir.filePath("vqdornavik.ini")).count('\n'), 10);
    SearchWindow again(dir);
    QCOMPARE(again.form->depth(), 2);
    QCOMPARE(again.form->follow(), Follow::Site);
}

// "继续" after "终止", and after the window was killed, ends with the files of
// a crawl that was never interrupted.
void TestWindowSiteCrawl::goesOnAfterAnEnd_data()
{
    QTest::addColumn<bool>("kill");
    QTest::addColumn<int>("pages");
    QTest::newRow("终止, 1 at once") << false << 1;
    QTest::newRow("kill -9, 4 at once") << true << 4;
}

void TestWindowSiteCrawl::goesOnAfterAnEnd()
{
    QFETCH(bool, kill);
    QFETCH(int, pages);
    QTemporaryDir dir;
    const QString listPath = list(dir.path());
    int served = 0;
    site_.onServed = [&] { ++served; };
    if (kill) {
        // The window in a process of its own, killed while pages are in flight.
        test::HarvestProcess env;
        QProcess child;
        QProcessEnvironment e = env.environment();
        e.insert("VQ_WINDOW_CHILD", dir.path());
        e.insert("VQ_WINDOW_PAGES", QString::number(pages));
        child.setProcessEnvironment(e);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(test::waitFor([&] { return served >= 4; }, kCrawlMs));
        QTest::qWait(300);
        QCOMPARE(child.state(), QProcess::Running);
        ::kill(static_cast<pid_t>(child.processId()), SIGKILL);
        QVERIFY(child.waitForFinished(10000));
        QVERIFY(!resultFiles(dir.path()).contains("021-30000003"));
    } else {
        SearchWindow w(toPath(dir.path()));
        setUp(w, 2, pages, listPath);
        w.start();
        QVERIFY(test::waitFor([&] { return w.form->engine().session.progress().position >= 3; }, kCrawlMs));
        w.form->N3Click();
        QVERIFY(waitForEnd(w));
        QVERIFY(!resultFiles(dir.path()).contains("021-30000003"));
    }
    site_.onServed = nullptr;

    // A new start of the window: "继续" asks for no position and goes on.
    SearchWindow w(toPath(dir.path()));
    QCOMPARE(w.form->depth(), 2);
    w.form->N4Click();
    QVERIFY(waitForEnd(w));
    QVERIFY(w.prompts.texts("input").empty());
    QVERIFY2(boxes(w).isEmpty(), qPrintable(boxes(w)));
    QCOMPARE(resultFiles(dir.path()), reference(pages));
    QVERIFY(resultFiles(dir.path()).startsWith(shownLists(w)));
}

// A frontier made with other options, or a file that is not one: "继续" (or
// "搜索") names the trouble and asks; "否" leaves everything as it is, "是"
// starts afresh.
void TestWindowSiteCrawl::frontierThatCannotGoOn_data()
{
    QTest::addColumn<bool>("notOurs");
    QTest::addColumn<bool>("resume"); // "继续"; else "搜索"
    QTest::addColumn<bool>("yes");
    QTest::addColumn<QString>("asked"); // a part of the question
    QTest::newRow("other depth, 否") << false << true << false << QStringLiteral("深度 1、跟随本站");
    QTest::newRow("other depth, 是") << false << true << true << QStringLiteral("深度 2、跟随本站");
    QTest::newRow("not ours, 继续, 否") << true << true << false << QStringLiteral("vqfrontier.db");
    QTest::newRow("not ours, 搜索, 是") << true << false << true << QStringLiteral("不是本程序的站点搜索记录");
}

void TestWindowSiteCrawl::frontierThatCannotGoOn()
{
    QFETCH(bool, notOurs);
    QFETCH(bool, resume);
    QFETCH(bool, yes);
    QFETCH(QString, asked);
    SearchWindow w;
    // A finished crawl at depth 1 leaves its state and frontier.
    setUp(w, 1, 1, list(w.dir.path()));
    w.start();
    QVERIFY(waitForEnd(w));
    w.form->engine().siteCrawl.close(); // as a new start of the window finds it
    const QString frontier = w.dir.filePath("vqfrontier.db");
    if (notOurs)
        QVERIFY(test::writeFile(frontier, "not a frontier\n"));
    const QByteArray before = test::readFile(frontier);
    const QByteArray filesBefore = resultFiles(w.dir.path());

    w.form->setSiteCrawl(2, Follow::Site);
    w.prompts.confirmAnswers = {yes};
    w.prompts.log.clear();
    w.form->engine().links.markSaved();
    w.form->engine().fax.markSaved();
    resume ? w.form->N4Click() : w.form->N2Click();
    const std::vector<std::string> questions = w.prompts.texts("confirm");
    QCOMPARE(questions.size(), size_t(1));
    QVERIFY2(QString::fromStdString(questions[0]).contains(asked), questions[0].c_str());
    if (!yes) {
        QVERIFY(!w.form->engine().session.running());
        QCOMPARE(test::readFile(frontier), before);
        QCOMPARE(resultFiles(w.dir.path()), filesBefore);
        return;
    }
    QVERIFY(waitForEnd(w));
    QCOMPARE(resultFiles(w.dir.path()), reference(1));
}

// The window of the kill -9 case, in a process of its own: a site crawl at
// depth 2 of the list in VQ_WINDOW_CHILD, run until it is killed.
static int runChildWindow()
{
    const QString dir = qEnvironmentVariable("VQ_WINDOW_CHILD");
    SearchWindow w(toPath(dir));
    setUp(w, 2, qEnvironmentVariableIntValue("VQ_WINDOW_PAGES"), dir + "/list.txt");
    w.start();
    test::waitFor([] { return false; }, kCrawlMs);
    return 0;
}

int main(int argc, char** argv)
{
    vq::prepareWebEngine();
    QApplication app(argc, argv);
    if (qEnvironmentVariableIsSet("VQ_WINDOW_CHILD"))
        return runChildWindow();
    TestWindowSiteCrawl test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_window_site_crawl.moc"
