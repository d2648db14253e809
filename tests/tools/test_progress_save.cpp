// Progress save and autosave: which files are written, that an empty list keeps
// its old file, the save command's layout, and that no failure or crash ever
// leaves a partial result file.
//
// The crash test runs this same executable as a child ("--autosave-writer DIR")
// that saves large lists in a loop, and kills it with SIGKILL at random moments.
#include "state/search_state.h"
#include "tests/support/engine_rig.h"
#include "tests/support/files.h"
#include "text/atomic_file.h"
#include "text/integer.h"

#include <QTest>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <thread>

using namespace vq;
using fake::EngineRig;
namespace fs = std::filesystem;

Q_DECLARE_METATYPE(std::string)
Q_DECLARE_METATYPE(std::vector<vq::AnsiString>)

namespace {

using Lines = std::vector<AnsiString>;
const std::string kNoFile = "<none>";

using vq::test::writeBytes;

// The file's bytes, or kNoFile when there is none.
std::string readRaw(const fs::path& p)
{
    return fs::exists(p) ? vq::test::readBytes(p) : kNoFile;
}

std::string joined(const Lines& lines)
{
    std::string s;
    for (const auto& l : lines)
        s += l + "\r\n";
    return s;
}

void fill(ResultList& list, const Lines& lines)
{
    for (const auto& l : lines)
        list.append(l);
}

std::set<std::string> names(const fs::path& dir)
{
    std::set<std::string> out;
    for (const auto& e : fs::directory_iterator(dir))
        out.insert(e.path().filename().string());
    return out;
}

// ---- the crash test's two generations of results ------------------------------
constexpr int kGenerationSize[2] = {40000, 60000};
constexpr int32_t kGenerationProgress[2] = {111, 222};

Lines generationLinks(int g)
{
    Lines out;
    for (int i = 0; i < kGenerationSize[g]; ++i)
        out.push_back("http://gen" + intToStr(g) + ".example/page/" + intToStr(i));
    return out;
}

Lines generationFax(int g)
{
    Lines out;
    for (int i = 0; i < kGenerationSize[g]; ++i)
        out.push_back(intToStr(g) + "10-" + intToStr(10000000 + i));
    return out;
}

void prepareGeneration(EngineRig& rig, int g)
{
    fill(rig.engine.links, generationLinks(g));
    fill(rig.engine.fax, generationFax(g));
    rig.setup.setProgressIndex(kGenerationProgress[g]);
}

// Child side: saves both generations alternately for ever, one byte to stdout
// after each complete save.
int runAutosaveWriter(const char* dir)
{
    EngineRig rig[2] = {EngineRig(dir), EngineRig(dir)};
    for (int g = 0; g < 2; ++g)
        prepareGeneration(rig[g], g);
    for (;;) {
        for (int g = 0; g < 2; ++g) {
            rig[g].engine.progress.Button2Click();
            const char mark = char('0' + g);
            if (::write(1, &mark, 1) != 1)
                return 1;
        }
    }
}

} // namespace

class ProgressSaveTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { testing::failWritesAfter(-1); }

    void progressWithNoSearch()
    {
        EngineRig rig;
        rig.engine.progress.SpeedButton8Click();
        QCOMPARE(readRaw(rig.programDir / "vqdornavik.ini"),
                 std::string("\r\n0\r\n0\r\nqcno\r\nwebno\r\nfaxno\r\nsxno\r\nbzno\r\nsaveno\r\n8\r\n"));
        QCOMPARE(names(rig.programDir), (std::set<std::string>{"vqdornavik.ini"}));
        QCOMPARE(rig.prompts.texts("message"), std::vector<std::string>{"已经保存当前网络搜索进程！"});
        QCOMPARE(rig.view.busyHistory, (std::vector<bool>{true, false}));
    }

    // Each list with items replaces its file; an empty list leaves it alone.
    void autosaveFiles_data()
    {
        QTest::addColumn<Lines>("links");
        QTest::addColumn<Lines>("fax");
        QTest::addColumn<std::string>("oldWeb");
        QTest::addColumn<std::string>("oldFax");
        QTest::addColumn<std::string>("web");
        QTest::addColumn<std::string>("faxFile");
        const std::string old = "old-1\r\nold-2\r\nold-3\r\nold-4\r\n";
        QTest::newRow("three numbers") << Lines{} << Lines{"01011111111", "02122222222", "07553333333"}
            << kNoFile << kNoFile << kNoFile << std::string("01011111111\r\n02122222222\r\n07553333333\r\n");
        QTest::newRow("empty lists keep old files") << Lines{} << Lines{} << old << old << old << old;
        QTest::newRow("links replace, empty fax keeps") << Lines{"http://a/", "http://b/"} << Lines{}
            << old << old << std::string("http://a/\r\nhttp://b/\r\n") << old;
        QTest::newRow("fax replaces, empty links keep") << Lines{} << Lines{"1"} << old << old << old << std::string("1\r\n");
        QTest::newRow("GBK bytes kept") << Lines{"http://x/\xD6\xD0"} << Lines{"\xB4\xAB"} << kNoFile << old
            << std::string("http://x/\xD6\xD0\r\n") << std::string("\xB4\xAB\r\n");
    }
    void autosaveFiles()
    {
        QFETCH(Lines, links);
        QFETCH(Lines, fax);
        QFETCH(std::string, oldWeb);
        QFETCH(std::string, oldFax);
        EngineRig rig;
        if (oldWeb != kNoFile)
            writeBytes(rig.programDir / "autosave&web.txt", oldWeb);
        if (oldFax != kNoFile)
            writeBytes(rig.programDir / "autosave&fax.txt", oldFax);
        fill(rig.engine.links, links);
        fill(rig.engine.fax, fax);
        rig.engine.progress.Button2Click();
        QTEST(readRaw(rig.programDir / "autosave&web.txt"), "web");
        QTEST(readRaw(rig.programDir / "autosave&fax.txt"), "faxFile");
        QVERIFY(fs::exists(rig.programDir / "vqdornavik.ini"));
        for (const auto& n : names(rig.programDir))
            QVERIFY2(n.find(".tmp-") == std::string::npos, n.c_str());
    }

    void secondSaveReplacesWholeFile()
    {
        EngineRig rig;
        fill(rig.engine.fax, {"111", "222", "333"});
        rig.engine.progress.Button2Click();
        rig.engine.fax.clear();
        fill(rig.engine.fax, {"9"});
        rig.engine.progress.Button2Click();
        QCOMPARE(readRaw(rig.programDir / "autosave&fax.txt"), std::string("9\r\n"));
    }

    // A write that fails part-way: the error is shown instead of the success
    // message, every file is its old or its new complete self, the cursor is back.
    void failurePartWay_data()
    {
        QTest::addColumn<bool>("intoFax"); // the fault strikes inside the fax file, else the link file
        QTest::newRow("inside the link file") << false;
        QTest::newRow("inside the fax file") << true;
    }
    void failurePartWay()
    {
        QFETCH(bool, intoFax);
        EngineRig rig;
        const std::string old = "old\r\n";
        writeBytes(rig.programDir / "autosave&web.txt", old);
        writeBytes(rig.programDir / "autosave&fax.txt", old);
        Lines big;
        for (int i = 0; i < 5000; ++i)
            big.push_back("http://example.com/a/fairly/long/path/" + intToStr(i)); // ~ 220 KB
        fill(rig.engine.links, big);
        fill(rig.engine.fax, big);
        writeSearchState(rig.programDir, storedOf(rig.setup));
        const auto stateSize = static_cast<long long>(fs::file_size(rig.programDir / "vqdornavik.ini"));
        const auto webSize = static_cast<long long>(joined(big).size());
        testing::failWritesAfter(stateSize + (intoFax ? webSize : 0) + 50000);
        guarded(rig.prompts, [&] { rig.engine.progress.SpeedButton8Click(); });
        testing::failWritesAfter(-1);
        // The box names the file and what was not saved.
        const std::vector<std::string> errors = rig.prompts.texts("error");
        QCOMPARE(errors.size(), size_t(1));
        const std::string file = (rig.programDir / (intoFax ? "autosave&fax.txt" : "autosave&web.txt")).string();
        QCOMPARE(errors[0].substr(0, file.size() + 13), file + ": Disk full. ");
        QVERIFY2(errors[0].find(intoFax ? "Not saved: 5000 fax numbers" : "Not saved: 5000 links and 5000 fax numbers") !=
                     std::string::npos,
                 errors[0].c_str());
        QVERIFY(rig.prompts.texts("message").empty());
        QCOMPARE(readRaw(rig.programDir / "autosave&web.txt"), intoFax ? joined(big) : old);
        QCOMPARE(readRaw(rig.programDir / "autosave&fax.txt"), old);
        QCOMPARE(names(rig.programDir),
                 (std::set<std::string>{"vqdornavik.ini", "autosave&web.txt", "autosave&fax.txt"}));
        QCOMPARE(rig.view.busyHistory.back(), false);
    }

    // The results are still written when the state file cannot be.
    void stateFailureStillSavesResults()
    {
        EngineRig rig;
        fs::create_directory(rig.programDir / "vqdornavik.ini");
        fill(rig.engine.links, {"http://a/"});
        fill(rig.engine.fax, {"1"});
        guarded(rig.prompts, [&] { rig.engine.progress.SpeedButton8Click(); });
        QCOMPARE(rig.prompts.texts("error").size(), size_t(1));
        QVERIFY(rig.prompts.texts("message").empty());
        QCOMPARE(readRaw(rig.programDir / "autosave&web.txt"), std::string("http://a/\r\n"));
        QCOMPARE(readRaw(rig.programDir / "autosave&fax.txt"), std::string("1\r\n"));
    }

    void autosaveTick_data()
    {
        QTest::addColumn<bool>("autosave");
        QTest::addColumn<bool>("fail");
        QTest::addColumn<bool>("enabledAfter");
        QTest::newRow("autosave on") << true << false << true;
        QTest::newRow("autosave off") << false << false << false;
        QTest::newRow("failing save") << true << true << false;
    }
    void autosaveTick()
    {
        QFETCH(bool, autosave);
        QFETCH(bool, fail);
        EngineRig rig;
        rig.setup.setChecked(Switch::Autosave, autosave);
        fill(rig.engine.fax, {"1"});
        if (fail)
            fs::create_directory(rig.programDir / "autosave&fax.txt");
        rig.timer2.setEnabled(true);
        rig.clock.advance(300000); // the session's autosave tick
        QCOMPARE(rig.timer2.ticks, 1);
        QTEST(rig.timer2.enabled(), "enabledAfter");
        QCOMPARE(rig.prompts.texts("error").size(), size_t(fail ? 1 : 0));
        // The state file never says more than the result files hold.
        QCOMPARE(fs::exists(rig.programDir / "vqdornavik.ini"), !fail);
    }

    void saveCommand_data()
    {
        QTest::addColumn<Lines>("links");
        QTest::addColumn<Lines>("fax");
        QTest::addColumn<std::string>("expected");
        // "[传真号码表]" and "[网址链接表]" in code page 936.
        const std::string faxHeader = "[\xB4\xAB\xD5\xE6\xBA\xC5\xC2\xEB\xB1\xED]\r\n";
        const std::string linkHeader = "[\xCD\xF8\xD6\xB7\xC1\xB4\xBD\xD3\xB1\xED]\r\n";
        QTest::newRow("both") << Lines{"http://a/", "http://b/"} << Lines{"010-1", "020-2"}
            << faxHeader + "010-1\r\n020-2\r\n\r\n" + linkHeader + "http://a/\r\nhttp://b/\r\n";
        QTest::newRow("empty") << Lines{} << Lines{} << faxHeader + "\r\n" + linkHeader;
    }
    void saveCommand()
    {
        QFETCH(Lines, links);
        QFETCH(Lines, fax);
        EngineRig rig;
        const fs::path out = rig.programDir / "results.txt";
        writeBytes(out, std::string(100000, 'x')); // an older, longer file is replaced whole
        fill(rig.engine.links, links);
        fill(rig.engine.fax, fax);
        rig.prompts.fileAnswers.push_back(out);
        rig.engine.progress.N5Click();
        QTEST(readRaw(out), "expected");
        const FileDialogSpec& dialogSpec = *rig.prompts.lastSaveSpec;
        QCOMPARE(dialogSpec.title, std::string("搜索结果保存为"));
        QCOMPARE(dialogSpec.filter, std::string("Text files(*.txt)|*.txt|All files(*.*)|*.*"));
        QCOMPARE(dialogSpec.defaultExt, std::string("txt"));
        QVERIFY(dialogSpec.confirmOverwrite);
        QCOMPARE(rig.view.busyHistory.back(), false);
    }

    void saveCommandCancelled()
    {
        EngineRig rig;
        fill(rig.engine.fax, {"1"});
        rig.engine.progress.N5Click();
        QCOMPARE(names(rig.programDir), std::set<std::string>{});
    }

    // Killed at random moments while saving, the files are always the complete
    // old or the complete new ones; a leftover temporary file never takes a
    // result's name.
    void killedWhileSaving()
    {
        QTemporaryDir tmp;
        const fs::path dir = tmp.path().toStdString();
        std::set<std::string> allowed[5]; // web, fax, state, search record, origins: each generation's exact bytes
        // Twice round: the search record also keeps what the files held for
        // the other generation's position.
        for (int g : {0, 1, 0, 1}) {
            EngineRig rig(dir);
            prepareGeneration(rig, g);
            rig.engine.progress.Button2Click();
            allowed[0].insert(readRaw(dir / "autosave&web.txt"));
            allowed[1].insert(readRaw(dir / "autosave&fax.txt"));
            allowed[2].insert(readRaw(dir / "vqdornavik.ini"));
            allowed[3].insert(readRaw(dir / "vqresults.ini"));
            allowed[4].insert(readRaw(dir / "vqorigins.txt"));
        }
        QCOMPARE(*allowed[0].begin(), joined(generationLinks(0)));

        const char* const results[] = {"autosave&web.txt", "autosave&fax.txt", "vqdornavik.ini", "vqresults.ini",
                                       "vqorigins.txt"};
        std::mt19937 rng(std::random_device{}());
        int killedMidWrite = 0;
        std::set<std::string> tempsSeen;
        const int rounds = 10;
        for (int round = 0; round < rounds; ++round) {
            int pipeFd[2];
            QVERIFY(::pipe(pipeFd) == 0);
            const pid_t child = ::fork();
            if (child == 0) {
                ::dup2(pipeFd[1], 1);
                ::close(pipeFd[0]);
                ::close(pipeFd[1]);
                ::execl("/proc/self/exe", "test_progress_save", "--autosave-writer", dir.c_str(),
                        static_cast<char*>(nullptr));
                ::_exit(127);
            }
            QVERIFY(child > 0);
            ::close(pipeFd[1]);
            char mark;
            // At least one complete save, then a kill somewhere in the loop.
            QVERIFY(::read(pipeFd[0], &mark, 1) == 1);
            std::this_thread::sleep_for(std::chrono::microseconds(
                std::uniform_int_distribution<int>(0, 60000)(rng)));
            ::kill(child, SIGKILL);
            int status = 0;
            ::waitpid(child, &status, 0);
            ::close(pipeFd[0]);
            QVERIFY(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);

            bool tempLeft = false;
            for (const std::string& n : names(dir)) {
                if (std::find(std::begin(results), std::end(results), n) != std::end(results))
                    continue;
                // Anything else is a hidden temporary file that no reader takes for a result.
                QVERIFY2(n[0] == '.' && n.find(".tmp-") != std::string::npos, n.c_str());
                QVERIFY2(n.size() < 4 || n.compare(n.size() - 4, 4, ".txt") != 0, n.c_str());
                tempLeft |= tempsSeen.insert(n).second;
            }
            killedMidWrite += tempLeft;
            for (int f = 0; f < 5; ++f)
                QVERIFY2(allowed[f].count(readRaw(dir / results[f])) == 1,
                         qPrintable(QString("round %1: %2 is partial").arg(round).arg(results[f])));
        }
        qInfo("%d of %d kills landed while a file was being written", killedMidWrite, rounds);
    }
};

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--autosave-writer") == 0)
        return runAutosaveWriter(argv[2]);
    QCoreApplication app(argc, argv);
    ProgressSaveTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_progress_save.moc"
