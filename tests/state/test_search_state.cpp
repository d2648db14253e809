// The search-state file: stored form, round trips, reading short or damaged
// files, and replacement that never leaves a partial file behind.
#include "tests/support/files.h"
#include "state/search_state.h"
#include "tests/support/fakes.h"
#include "text/atomic_file.h"
#include "text/errors.h"

#include <QTemporaryDir>
#include <QTest>

#include <dirent.h>

#include <fstream>
#include <sstream>

using namespace vq;
using fake::FakeMainView;
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
QString switchPattern(const FakeMainView& v)
{
    QString s;
    for (Switch sw : kAllSwitches)
        s += v.isChecked(sw) ? 'y' : 'n';
    return s;
}

void setSwitches(FakeMainView& v, const QString& pattern)
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
        FakeMainView view;
        view.edit5 = "c:\\\xCD\xF8\xD6\xB7.txt"; // a GBK path is kept as its bytes
        view.speedText = "7";
        setSwitches(view, switches);
        SearchPosition c;
        c.progressIndex = 12;
        c.urlTotal = 345;
        writeSearchState(dir(), storedFromView(view, c));
        QCOMPARE(readBytes(dir() / "vqdornavik.ini"), expected);
        QCOMPARE(entryCount(dir()), size_t(1)); // no temporary file left

        FakeMainView back;
        SearchPosition r;
        readSearchState(dir(), back, r);
        QCOMPARE(back.edit5, view.edit5);
        QCOMPARE(r.progressIndex, 12);
        QCOMPARE(r.urlTotal, 345);
        QCOMPARE(switchPattern(back), switches);
        QCOMPARE(back.speed(), 7);
    }

    void negativeAndEmptyValuesRoundTrip()
    {
        FakeMainView view; // empty path, as before any list was chosen
        SearchPosition c;
        c.progressIndex = -3;
        c.urlTotal = 2147483647;
        writeSearchState(dir(), storedFromView(view, c));
        FakeMainView back;
        back.edit5 = "old";
        SearchPosition r;
        readSearchState(dir(), back, r);
        QCOMPARE(back.edit5, AnsiString());
        QCOMPARE(r.progressIndex, -3);
        QCOMPARE(r.urlTotal, 2147483647);
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
        FakeMainView view;
        view.edit5 = "prev";
        view.speedText = "9";
        setSwitches(view, "yyyyyy");
        SearchPosition c;
        c.progressIndex = 77;
        c.urlTotal = 88;

        const int fdsBefore = openDescriptors();
        QString raised;
        try {
            readSearchState(dir(), view, c);
        } catch (const EConvertError& e) {
            raised = QString::fromUtf8(e.what());
        }
        QCOMPARE(raised, error);
        QCOMPARE(openDescriptors(), fdsBefore); // closed on both paths
        QTEST(view.edit5, "path");
        QTEST(int(c.progressIndex), "progress");
        QTEST(int(c.urlTotal), "total");
        QTEST(switchPattern(view), "switches");
        QTEST(view.speed(), "speed");
    }

    void missingFile()
    {
        QVERIFY(!searchStateExists(dir()));
        fs::create_directory(dir() / "vqdornavik.ini"); // a directory is not a state file
        QVERIFY(!searchStateExists(dir()));
        FakeMainView view;
        SearchPosition c;
        QVERIFY_THROWS_EXCEPTION(EInOutError, readSearchState(dir() / "nowhere", view, c));
    }

    void writingTwiceKeepsTheSecond()
    {
        FakeMainView view;
        SearchPosition c;
        view.edit5 = "a-much-longer-first-path.txt";
        c.progressIndex = 123456;
        writeSearchState(dir(), storedFromView(view, c));
        view.edit5 = "b";
        c.progressIndex = 2;
        writeSearchState(dir(), storedFromView(view, c));
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
        FakeMainView view;
        SearchPosition c;
        view.edit5 = "old";
        writeSearchState(dir(), storedFromView(view, c));
        const std::string old = readBytes(dir() / "vqdornavik.ini");

        view.edit5 = AnsiString(1949, 'n'); // the new file is 2000 bytes
        testing::failWritesAfter(allowed);
        QVERIFY_THROWS_EXCEPTION(EInOutError, writeSearchState(dir(), storedFromView(view, c)));
        testing::failWritesAfter(-1);
        QCOMPARE(readBytes(dir() / "vqdornavik.ini"), old);
        QCOMPARE(entryCount(dir()), size_t(1));
    }
};

QTEST_GUILESS_MAIN(SearchStateTest)
#include "test_search_state.moc"
