// Result files that grow by appending: a save adds only what is new to a file
// that still holds what the last save wrote, writes any other file whole, and
// leaves on disk at every moment a whole prefix of the list.
#include "search/saved_results.h"
#include "tests/support/files.h"
#include "text/atomic_file.h"
#include "text/text_file.h"

#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace vq;
namespace fs = std::filesystem;

namespace {

using test::inodeOf;

void add(ResultList& list, int from, int to)
{
    for (int i = from; i <= to; ++i)
        list.append("0519-8000000" + std::to_string(i), "http://p" + std::to_string(i) + "/");
}

std::vector<AnsiString> numbers(int from, int to)
{
    ResultList l;
    add(l, from, to);
    return {l.items().begin(), l.items().end()};
}

} // namespace

class SavedResultsTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { testing::failWritesAfter(-1); }

    // What happens between two saves, and what the second save makes of it.
    void secondSave_data()
    {
        QTest::addColumn<QString>("between");
        QTest::addColumn<bool>("appended"); // the file kept its identity
        QTest::addColumn<std::vector<AnsiString>>("file");
        QTest::newRow("two more numbers") << "more" << true << numbers(1, 5);
        QTest::newRow("nothing new") << "nothing" << true << numbers(1, 3);
        QTest::newRow("list cleared and refilled") << "clear" << false << numbers(7, 8);
        QTest::newRow("file replaced by someone else") << "replaced" << false << numbers(1, 5);
        QTest::newRow("file gone") << "removed" << false << numbers(1, 5);
    }
    void secondSave()
    {
        QFETCH(QString, between);
        QFETCH(bool, appended);
        QFETCH(std::vector<AnsiString>, file);
        QTemporaryDir dir;
        const fs::path d(dir.path().toStdString());
        const fs::path fax = d / kAutosaveFaxName;
        SearchResults r;
        add(r.fax, 1, 3);
        saveSearch(d, StoredSearch{}, r);
        const ino_t first = inodeOf(fax);
        // Held, so that no file made later gets its number back and looks appended to.
        fs::create_hard_link(fax, d / "first-fax");
        if (between == "more")
            add(r.fax, 4, 5);
        if (between == "clear") {
            r.fax.clear();
            add(r.fax, 7, 8);
        }
        if (between == "replaced" || between == "removed") {
            add(r.fax, 4, 5);
            fs::remove(fax);
            if (between == "replaced")
                writeAllLines(fax, {"x", "y", "z"});
        }
        saveSearch(d, StoredSearch{}, r);
        QCOMPARE(readAllLines(fax), file);
        QCOMPARE(inodeOf(fax) == first, appended);
        // The pages go line for line with the numbers.
        QCOMPARE(readAllLines(d / kFaxOriginsName).size(), file.size());
        QVERIFY(!r.fax.hasUnsaved());
    }

    // An append that fails part-way leaves the file as the last save left it.
    void failedAppendLeavesTheFile()
    {
        QTemporaryDir dir;
        const fs::path d(dir.path().toStdString());
        SearchResults r;
        add(r.fax, 1, 3);
        saveSearch(d, StoredSearch{}, r);
        const std::string before = test::readBytes(d / kAutosaveFaxName);
        add(r.fax, 4, 9);
        testing::failWritesAfter(20); // inside the second new line
        QVERIFY_THROWS_EXCEPTION(SaveError, saveSearch(d, StoredSearch{}, r));
        testing::failWritesAfter(-1);
        QCOMPARE(test::readBytes(d / kAutosaveFaxName), before);
        QVERIFY(r.fax.hasUnsaved());
        saveSearch(d, StoredSearch{}, r); // room again: the rest goes on
        QCOMPARE(readAllLines(d / kAutosaveFaxName), numbers(1, 9));
    }

    // A restart takes the files back; a last line that a crash cut short is
    // not a result, and the next save writes the file whole without it.
    void restoreAfterACrash_data()
    {
        QTest::addColumn<std::string>("onDisk");
        QTest::addColumn<std::vector<AnsiString>>("restored");
        QTest::addColumn<std::vector<AnsiString>>("afterSave");
        using V = std::vector<AnsiString>;
        QTest::newRow("whole") << std::string("a\r\nb\r\n") << V{"a", "b"} << V{"a", "b", "c"};
        QTest::newRow("torn last line") << std::string("a\r\nb\r\n05") << V{"a", "b"} << V{"a", "b", "c"};
        QTest::newRow("only a torn line") << std::string("05") << V{} << V{"c"};
    }
    void restoreAfterACrash()
    {
        QFETCH(std::string, onDisk);
        QFETCH(std::vector<AnsiString>, restored);
        QFETCH(std::vector<AnsiString>, afterSave);
        QTemporaryDir dir;
        const fs::path d(dir.path().toStdString());
        test::writeBytes(d / kAutosaveFaxName, onDisk);
        SearchResults r;
        restoreSavedResults(d, readSearchRecord(d), r);
        QCOMPARE((std::vector<AnsiString>{r.fax.items().begin(), r.fax.items().end()}), restored);
        r.fax.append("c");
        saveSearch(d, StoredSearch{}, r);
        QCOMPARE(readAllLines(d / kAutosaveFaxName), afterSave);
    }

    // The files got ahead of the state file (its write failed after theirs, as
    // a crash there would leave it): a resume takes back what the files held
    // for the position it starts from, and finds the rest again.
    void resumeTakesWhatItsPositionCovers_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("taken");
        QTest::newRow("the state file's position") << 2 << 2;
        QTest::newRow("the position of the files") << 4 << 4;
        QTest::newRow("from the top") << 0 << 0;
        QTest::newRow("a position the record does not know") << 3 << 4;
    }
    void resumeTakesWhatItsPositionCovers()
    {
        QFETCH(int, from);
        QFETCH(int, taken);
        QTemporaryDir dir;
        const fs::path d(dir.path().toStdString());
        SearchResults r;
        r.searchId = "s1";
        StoredSearch state;
        add(r.fax, 1, 2);
        state.position = {2, 9};
        saveSearch(d, state, r);
        add(r.fax, 3, 4);
        state.position = {4, 9};
        fs::remove(d / kSearchStateFileName);
        fs::create_directory(d / kSearchStateFileName); // the state file cannot be replaced
        QVERIFY_THROWS_EXCEPTION(SaveError, saveSearch(d, state, r));
        QCOMPARE(readAllLines(d / kAutosaveFaxName).size(), size_t(4));

        SearchResults back;
        restoreSavedResults(d, readSearchRecord(d), back, from);
        QCOMPARE((std::vector<AnsiString>{back.fax.items().begin(), back.fax.items().end()}), numbers(1, taken));
        QCOMPARE(back.fax.origin(0), AnsiString(taken > 0 ? "http://p1/" : ""));
    }
};

QTEST_GUILESS_MAIN(SavedResultsTest)
#include "test_saved_results.moc"
