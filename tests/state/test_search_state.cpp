// The search-state file: stored form, round trips, reading short or damaged
// files, and replacement that never leaves a partial file behind.
#include "tests/support/files.h"
#include "state/search_state.h"
#include "text/atomic_file.h"
#include "text/errors.h"

#include <QTemporaryDir>
#include <QTest>

#include <dirent.h>

#include <fstream>
#include <sstream>

using namespace vq;
namespace fs = std::filesystem;

Q_DECLARE_METATYPE(std::string)

using vq::test::readBytes;
using vq::test::writeBytes;

namespace {

const Switch kAllSwitches[] = {Switch::Dedup, Switch::Links, Switch::Fax,
                               Switch::LinkFilter, Switch::OnlySite, Switch::Autosave};

int openDescriptors()
{
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d))
            ++n;
        closedir(d);
    }
    return n;
}

size_t entryCount(const fs::path& dir)
{
    return static_cast<size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

// Switch states as a six-letter pattern in file order, "y" or "n".
QString switchPattern(const SearchSetup& v)
{
    QString s;
    for (Switch sw : kAllSwitches)
        s += v.isChecked(sw) ? 'y' : 'n';
    return s;
}

void setSwitches(SearchSetup& v, const QString& pattern)
{
    for (int i = 0; i < 6; ++i)
        v.setChecked(kAllSwitches[i], pattern[i] == 'y');
}

} // namespace

class SearchStateTest : public QObject {
    Q_OBJECT

    QTemporaryDir tmp;
    fs::path dir() const { return fs::path(tmp.path().toStdString()); }

private slots:
    void cleanup()
    {
        testing::failWritesAfter(-1);
        for (const auto& e : fs::directory_iterator(dir()))
            fs::remove_all(e.path());
    }

    void storedForm_data()
    {
        QTest::addColumn<QString>("switches");
        QTest::addColumn<std::string>("expected");
        QTest::newRow("all off") << "nnnnnn"
            << std::string("c:\\\xCD\xF8\xD6\xB7.txt\r\n12\r\n345\r\nqcno\r\nwebno\r\nfaxno\r\nsxno\r\nbzno\r\nsaveno\r\n7\r\n");
        QTest::newRow("all on") << "yyyyyy"
            << std::string("c:\\\xCD\xF8\xD6\xB7.txt\r\n12\r\n345\r\nqcyes\r\nwebyes\r\nfaxyes\r\nsxyes\r\nbzyes\r\nsaveyes\r\n7\r\n");
        QTest::newRow("mixed") << "ynynyn"
            << std::string("c:\\\xCD\xF8\xD6\xB7.txt\r\n12\r\n345\r\nqcyes\r\nwebno\r\nfaxyes\r\nsxno\r\nbzyes\r\nsaveno\r\n7\r\n");
    }
    void storedForm()
    {
        QFETCH(QString, switches);
        QFETCH(std::string, expected);
        SearchSetup setup;
        setup.setListPath("c:\\\xCD\xF8\xD6\xB7.txt"); // a GBK path is kept as its bytes
        setup.setSpeed(7);
        setSwitches(setup, switches);
        writeSearchState(dir(), storedOf(setup, SearchPosition{12, 345}));
        QCOMPARE(readBytes(dir() / "vqdornavik.ini"), expected);
        QCOMPARE(entryCount(dir()), size_t(1)); // no temporary file left

        SearchSetup back;
        readSearchState(dir(), back);
        QCOMPARE(back.listPath(), setup.listPath());
        QCOMPARE(back.position().progressIndex, 12);
        QCOMPARE(back.position().urlTotal, 345);
        QCOMPARE(switchPattern(back), switches);
        QCOMPARE(back.speed(), 7);
    }

    void negativeAndEmptyValuesRoundTrip()
    {
        SearchSetup setup; // empty path, as before any list was chosen
        writeSearchState(dir(), storedOf(setup, SearchPosition{-3, 2147483647}));
        SearchSetup back;
        back.setListPath("old");
        readSearchState(dir(), back);
        QCOMPARE(back.listPath(), AnsiString());
        QCOMPARE(back.position().progressIndex, -3);
        QCOMPARE(back.position().urlTotal, 2147483647);
        QCOMPARE(back.speed(), 8);
    }

    // Reading applies each line as it comes; a bad number stops there.
    void read_data()
    {
        QTest::addColumn<std::string>("content");
        QTest::addColumn<QString>("error");   // empty: none expected
        QTest::addColumn<std::string>("path");
        QTest::addColumn<int>("progress");
        QTest::addColumn<int>("total");
        QTest::addColumn<QString>("switches");
        QTest::addColumn<int>("speed");
        // The window starts from: path "prev", progress 77, total 88, switches "yyyyyy", speed 9.
        const std::string tail = "qcyes\r\nwebno\r\nfaxyes\r\nsxno\r\nbzyes\r\nsaveno\r\n";
        QTest::newRow("complete") << "p\r\n1\r\n2\r\n" + tail + "30\r\n" << "" << std::string("p") << 1 << 2 << "ynynyn" << 30;
        QTest::newRow("LF only, no final break") << std::string("p\n1\n2\nqcyes\nwebyes\nfaxyes\nsxyes\nbzyes\nsaveyes\n5")
            << "" << std::string("p") << 1 << 2 << "yyyyyy" << 5;
        QTest::newRow("capital yes-words") << std::string("p\r\n1\r\n2\r\nQCYES\r\nWebyes\r\nfaxyes \r\n sxyes\r\nbzyes\r\nsaveyes\r\n8\r\n")
            << "" << std::string("p") << 1 << 2 << "nnnnyy" << 8;
        QTest::newRow("hex and spaces") << "p\r\n$10\r\n  0x20\r\n" + tail + "x3\r\n" << "" << std::string("p") << 16 << 32 << "ynynyn" << 3;
        QTest::newRow("speed clamped high") << "p\r\n1\r\n2\r\n" + tail + "99\r\n" << "" << std::string("p") << 1 << 2 << "ynynyn" << 60;
        QTest::newRow("speed clamped low") << "p\r\n1\r\n2\r\n" + tail + "-5\r\n" << "" << std::string("p") << 1 << 2 << "ynynyn" << 1;
        QTest::newRow("bad line 2") << "p\r\nabc\r\n2\r\n" + tail + "30\r\n"
            << "'abc' is not a valid integer value" << std::string("p") << 77 << 88 << "yyyyyy" << 9;
        QTest::newRow("bad line 3") << "p\r\n1\r\n2 \r\n" + tail + "30\r\n"
            << "'2 ' is not a valid integer value" << std::string("p") << 1 << 88 << "yyyyyy" << 9;
        QTest::newRow("bad line 10") << "p\r\n1\r\n2\r\n" + tail + "3.5\r\n"
            << "'3.5' is not a valid integer value" << std::string("p") << 1 << 2 << "ynynyn" << 9;
        QTest::newRow("overflow") << std::string("p\r\n2147483648\r\n") << "'2147483648' is not a valid integer value"
            << std::string("p") << 77 << 88 << "yyyyyy" << 9;
        QTest::newRow("five lines") << std::string("p\r\n1\r\n2\r\nqcyes\r\nwebyes\r\n")
            << "'' is not a valid integer value" << std::string("p") << 1 << 2 << "yynnnn" << 9;
        QTest::newRow("Ctrl-Z ends the data") << std::string("p\r\n1\r\n2\r\nqcyes\r\n\x1Awebyes\r\n")
            << "'\x1A' is not a valid integer value" << std::string("p") << 1 << 2 << "ynnnnn" << 9;
        QTest::newRow("empty file") << std::string() << "'' is not a valid integer value"
            << std::string() << 77 << 88 << "yyyyyy" << 9;
    }
    void read()
    {
        QFETCH(std::string, content);
        QFETCH(QString, error);
        writeBytes(dir() / "vqdornavik.ini", content);
        SearchSetup setup;
        setup.setListPath("prev");
        setup.setSpeed(9);
        setSwitches(setup, "yyyyyy");
        setup.setPosition(SearchPosition{77, 88});

        const int fdsBefore = openDescriptors();
        QString raised;
        try {
            readSearchState(dir(), setup);
        } catch (const EConvertError& e) {
            raised = QString::fromUtf8(e.what());
        }
        QCOMPARE(raised, error);
        QCOMPARE(openDescriptors(), fdsBefore); // closed on both paths
        QTEST(setup.listPath(), "path");
        QTEST(int(setup.position().progressIndex), "progress");
        QTEST(int(setup.position().urlTotal), "total");
        QTEST(switchPattern(setup), "switches");
        QTEST(setup.speed(), "speed");
    }

    void missingFile()
    {
        QVERIFY(!searchStateExists(dir()));
        fs::create_directory(dir() / "vqdornavik.ini"); // a directory is not a state file
        QVERIFY(!searchStateExists(dir()));
        SearchSetup setup;
        QVERIFY_THROWS_EXCEPTION(EInOutError, readSearchState(dir() / "nowhere", setup));
    }

    void writingTwiceKeepsTheSecond()
    {
        SearchSetup setup;
        setup.setListPath("a-much-longer-first-path.txt");
        writeSearchState(dir(), storedOf(setup, SearchPosition{123456, 0}));
        setup.setListPath("b");
        writeSearchState(dir(), storedOf(setup, SearchPosition{2, 0}));
        QCOMPARE(readBytes(dir() / "vqdornavik.ini"),
                 std::string("b\r\n2\r\n0\r\nqcno\r\nwebno\r\nfaxno\r\nsxno\r\nbzno\r\nsaveno\r\n8\r\n"));
        QCOMPARE(entryCount(dir()), size_t(1));
    }

    // A write that fails part-way leaves the previous complete state.
    void failedWriteKeepsOldFile_data()
    {
        QTest::addColumn<int>("allowed");
        QTest::newRow("nothing written") << 0;
        QTest::newRow("after three lines") << 10;
        QTest::newRow("one byte short") << 1999;
    }
    void failedWriteKeepsOldFile()
    {
        QFETCH(int, allowed);
        SearchSetup setup;
        setup.setListPath("old");
        writeSearchState(dir(), storedOf(setup));
        const std::string old = readBytes(dir() / "vqdornavik.ini");

        setup.setListPath(AnsiString(1949, 'n')); // the new file is 2000 bytes
        testing::failWritesAfter(allowed);
        QVERIFY_THROWS_EXCEPTION(EInOutError, writeSearchState(dir(), storedOf(setup)));
        testing::failWritesAfter(-1);
        QCOMPARE(readBytes(dir() / "vqdornavik.ini"), old);
        QCOMPARE(entryCount(dir()), size_t(1));
    }
};

QTEST_GUILESS_MAIN(SearchStateTest)
#include "test_search_state.moc"
