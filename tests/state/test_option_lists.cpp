// The three option-list files: loaded only when present, saved each on its own.
#include "tests/support/files.h"
#include "state/option_lists.h"
#include "text/errors.h"

#include <QTemporaryDir>
#include <QTest>

#include <fstream>
#include <sstream>

using namespace vq;
namespace fs = std::filesystem;

Q_DECLARE_METATYPE(std::string)
Q_DECLARE_METATYPE(std::vector<vq::AnsiString>)

using vq::test::readBytes;
using vq::test::writeBytes;

namespace {

const char* const kFiles[] = {"vqwebfaxset.ini", "vqweblinkok.ini", "vqweblinkno.ini"};
const OptionList kMemos[] = {OptionList::FaxMarkers, OptionList::MustContain, OptionList::MustNotContain};

} // namespace

class OptionListsTest : public QObject {
    Q_OBJECT

    QTemporaryDir tmp;
    fs::path dir() const { return fs::path(tmp.path().toStdString()); }

private slots:
    void cleanup()
    {
        for (const auto& e : fs::directory_iterator(dir()))
            fs::remove_all(e.path());
    }

    void noFilesKeepInitialLinesAndSaveCreatesAll()
    {
        SearchSetup view;
        const SearchSetup initial;
        loadOptionLists(view, dir());
        for (OptionList m : kMemos)
            QCOMPARE(view.list(m), initial.list(m));
        saveOptionLists(view, dir());
        QCOMPARE(readBytes(dir() / "vqwebfaxset.ini"),
                 std::string("\xB4\xAB\xD5\xE6\xA3\xBA\r\nFAX\xA3\xBA\r\n\xB4\xAB\xD5\xE6\xBA\xC5\xA3\xBA\r\n"));
        QCOMPARE(readBytes(dir() / "vqweblinkok.ini"), std::string("http://\r\n.\r\n"));
        QCOMPARE(readBytes(dir() / "vqweblinkno.ini"), std::string("$\r\n#\r\n"));
    }

    // One file on disk: only its list changes, with the whole-list line rules.
    void loadOne_data()
    {
        QTest::addColumn<int>("which");
        QTest::addColumn<std::string>("content");
        QTest::addColumn<std::vector<AnsiString>>("lines");
        using V = std::vector<AnsiString>;
        QTest::newRow("markers CR LF") << 0 << std::string("\xB4\xAB\xD5\xE6:\r\nFax\r\n") << V{"\xB4\xAB\xD5\xE6:", "Fax"};
        QTest::newRow("must-contain mixed breaks") << 1 << std::string("a\rb\nc\n\rd") << V{"a", "b", "c", "", "d"};
        QTest::newRow("must-not-contain NUL ends") << 2 << std::string("x\r\ny\0z\r\n", 9) << V{"x", "y"};
        QTest::newRow("empty file empties the list") << 1 << std::string() << V{};
    }
    void loadOne()
    {
        QFETCH(int, which);
        QFETCH(std::string, content);
        writeBytes(dir() / kFiles[which], content);
        SearchSetup view;
        const SearchSetup initial;
        loadOptionLists(view, dir());
        for (int i = 0; i < 3; ++i) {
            if (i == which)
                QTEST(view.list(kMemos[i]), "lines");
            else
                QCOMPARE(view.list(kMemos[i]), initial.list(kMemos[i]));
        }
    }

    void roundTrip()
    {
        SearchSetup view;
        view.setList(OptionList::FaxMarkers, {"\xB4\xAB\xD5\xE6\xA3\xBA", "", "TEL/FAX"});
        view.setList(OptionList::MustContain, {});
        view.setList(OptionList::MustNotContain, {"javascript:", "mailto:"});
        saveOptionLists(view, dir());
        SearchSetup back;
        loadOptionLists(back, dir());
        for (OptionList m : kMemos)
            QCOMPARE(back.list(m), view.list(m));
    }

    // A file that cannot be written is skipped; the others are still written.
    void saveFailureSkipsOnlyThatFile_data()
    {
        QTest::addColumn<int>("blocked");
        QTest::newRow("first") << 0;
        QTest::newRow("middle") << 1;
        QTest::newRow("last") << 2;
    }
    void saveFailureSkipsOnlyThatFile()
    {
        QFETCH(int, blocked);
        fs::create_directory(dir() / kFiles[blocked]); // a file cannot replace it
        SearchSetup view;
        saveOptionLists(view, dir());
        QVERIFY(fs::is_directory(dir() / kFiles[blocked]));
        for (int i = 0; i < 3; ++i)
            if (i != blocked)
                QVERIFY(fs::is_regular_file(dir() / kFiles[i]));
        QVERIFY(fs::is_regular_file(dir() / "vqhttps.ini"));
        QVERIFY(fs::is_regular_file(dir() / "vqlanes.ini"));
        QVERIFY(fs::is_regular_file(dir() / "vqsite.ini"));
        QVERIFY(fs::is_regular_file(dir() / "vqfast.ini"));
        QVERIFY(fs::is_regular_file(dir() / "vqidle.ini"));
        // Nothing but the three names and the seven settings files: no temporary file left behind.
        QCOMPARE(std::distance(fs::directory_iterator(dir()), fs::directory_iterator()), 10);
    }
};

QTEST_GUILESS_MAIN(OptionListsTest)
#include "test_option_lists.moc"
