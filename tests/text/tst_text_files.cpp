// Line-by-line and whole-list files, and atomic replacement of files.
#include "tests/support/files.h"
#include "text/atomic_file.h"
#include "text/errors.h"
#include "text/text_file.h"

#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

#include <cerrno>
#include <fstream>
#include <sstream>

using namespace vq;
namespace fs = std::filesystem;

using vq::test::readBytes;
using vq::test::writeBytes;

namespace {
constexpr int kChunk = 64 * 1024; // the reader's buffer size: rows probe its edges

std::string bytes(const QByteArray& a) { return std::string(a.constData(), size_t(a.size())); }

QByteArrayList toList(const std::vector<AnsiString>& v)
{
    QByteArrayList out;
    for (const auto& s : v)
        out << QByteArray(s.data(), qsizetype(s.size()));
    return out;
}

std::vector<AnsiString> fromList(const QByteArrayList& l)
{
    std::vector<AnsiString> out;
    for (const auto& s : l)
        out.push_back(bytes(s));
    return out;
}

// Names in the directory, so a leftover temporary file shows.
QStringList entries(const fs::path& dir)
{
    QStringList names;
    for (const auto& e : fs::directory_iterator(dir))
        names << QString::fromStdString(e.path().filename().string());
    names.sort();
    return names;
}

struct FaultOff {
    ~FaultOff() { testing::failWritesAfter(-1); }
};
} // namespace

class TextFilesTest : public QObject {
    Q_OBJECT
private slots:
    void init() { QVERIFY(tmp_.isValid()); dir_ = fs::path(tmp_.path().toStdString()); }
    void cleanup()
    {
        testing::failWritesAfter(-1);
        for (const auto& e : fs::directory_iterator(dir_))
            fs::remove_all(e.path());
    }

    void readLines_data();
    void readLines();
    void readingPastTheEnd_data();
    void readingPastTheEnd();
    void openErrors_data();
    void openErrors();
    void movedReaderKeepsPosition();
    void writeLinesEndsEveryLine();
    void splitAndLoadList_data();
    void splitAndLoadList();
    void loadListErrors();
    void saveList();
    void commitReplacesFile();
    void abandonedWriteLeavesOldFile();
    void failedWriteKeepsOldFile_data();
    void failedWriteKeepsOldFile();
    void failedWriteThroughHelpers();
    void newFileMode_data();
    void newFileMode();
    void createErrors();

private:
    QTemporaryDir tmp_;
    fs::path dir_;
};

void TextFilesTest::readLines_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArrayList>("lines");
    QTest::newRow("empty file") << QByteArray() << QByteArrayList{};
    QTest::newRow("CR LF") << QByteArray("a\r\nb\r\n") << QByteArrayList{"a", "b"};
    QTest::newRow("LF") << QByteArray("a\nb\n") << QByteArrayList{"a", "b"};
    QTest::newRow("last line without break") << QByteArray("a\r\nb") << QByteArrayList{"a", "b"};
    QTest::newRow("lone CR dropped") << QByteArray("a\rb\r\nc") << QByteArrayList{"ab", "c"};
    QTest::newRow("CR at end of data") << QByteArray("a\r") << QByteArrayList{"a"};
    QTest::newRow("CR CR LF") << QByteArray("a\r\r\n") << QByteArrayList{"a"};
    QTest::newRow("LF CR") << QByteArray("a\n\rb\n") << QByteArrayList{"a", "b"};
    QTest::newRow("empty lines") << QByteArray("\r\n\r\n") << QByteArrayList{"", ""};
    QTest::newRow("Ctrl-Z at line start ends data") << QByteArray("a\r\n\x1A" "b\r\nc\r\n") << QByteArrayList{"a"};
    QTest::newRow("Ctrl-Z at file start") << QByteArray("\x1A" "a") << QByteArrayList{};
    QTest::newRow("Ctrl-Z inside a line kept") << QByteArray("a\x1A" "b\r\n") << QByteArrayList{"a\x1A" "b"};
    QTest::newRow("NUL kept") << QByteArray("a\0b\r\n", 5) << QByteArrayList{QByteArray("a\0b", 3)};
    QTest::newRow("GBK bytes") << QByteArray("\xB4\xAB\xD5\xE6\r\n") << QByteArrayList{"\xB4\xAB\xD5\xE6"};
    QTest::newRow("CR LF split by the buffer") << QByteArray(kChunk - 1, 'a') + "\r\nb"
                                              << QByteArrayList{QByteArray(kChunk - 1, 'a'), "b"};
    QTest::newRow("lone CR at the buffer edge") << QByteArray(kChunk - 1, 'a') + "\rb\n"
                                               << QByteArrayList{QByteArray(kChunk - 1, 'a') + "b"};
    QTest::newRow("Ctrl-Z after the buffer edge") << QByteArray(kChunk - 2, 'a') + "\r\n\x1A"
                                                 << QByteArrayList{QByteArray(kChunk - 2, 'a')};
    QTest::newRow("line longer than the buffer") << QByteArray(3 * kChunk + 5, 'x') + "\r\ny"
                                                << QByteArrayList{QByteArray(3 * kChunk + 5, 'x'), "y"};
}

void TextFilesTest::readLines()
{
    QFETCH(QByteArray, data);
    QFETCH(QByteArrayList, lines);
    writeBytes(dir_ / "list.txt", bytes(data));
    QCOMPARE(toList(readAllLines(dir_ / "list.txt")), lines);
}

void TextFilesTest::readingPastTheEnd_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("pastEnd");
    QTest::newRow("end of bytes") << QByteArray("a\r\n") << QByteArray();
    QTest::newRow("no final break") << QByteArray("a") << QByteArray();
    QTest::newRow("at a Ctrl-Z") << QByteArray("a\r\n\x1A" "zz\r\n") << QByteArray("\x1A");
}

void TextFilesTest::readingPastTheEnd()
{
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, pastEnd);
    writeBytes(dir_ / "list.txt", bytes(data));
    TextReader r(dir_ / "list.txt");
    QVERIFY(!r.eof());
    QCOMPARE(r.readLine(), std::string("a"));
    for (int i = 0; i < 3; ++i) { // no error, and nothing is consumed
        QVERIFY(r.eof());
        QCOMPARE(r.readLine(), bytes(pastEnd));
    }
    r.close();
}

void TextFilesTest::openErrors_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing") << "missing.txt" << ENOENT << "File not found";
    QTest::newRow("directory") << "sub" << EISDIR << "Invalid filename";
    QTest::newRow("file as directory") << "plain/x.txt" << ENOTDIR << "Invalid filename";
    QTest::newRow("name too long") << QString(300, 'n') << ENAMETOOLONG << "Invalid filename";
}

void TextFilesTest::openErrors()
{
    QFETCH(QString, name);
    QFETCH(int, code);
    QFETCH(QString, message);
    fs::create_directory(dir_ / "sub");
    writeBytes(dir_ / "plain", "x");
    try {
        TextReader r(dir_ / name.toStdString());
        QFAIL("no exception");
    } catch (const EInOutError& e) {
        QCOMPARE(e.code(), code);
        QCOMPARE(QString::fromUtf8(e.what()), message);
    }
}

void TextFilesTest::movedReaderKeepsPosition()
{
    writeBytes(dir_ / "list.txt", "a\r\nb\r\nc\r\n");
    TextReader first(dir_ / "list.txt");
    QCOMPARE(first.readLine(), std::string("a"));
    TextReader second(std::move(first));
    QVERIFY(!first.isOpen());
    QCOMPARE(second.readLine(), std::string("b"));
    first = std::move(second);
    QCOMPARE(first.readLine(), std::string("c"));
    QVERIFY(first.eof());
}

void TextFilesTest::writeLinesEndsEveryLine()
{
    writeAllLines(dir_ / "out.txt", {"a", "", "\xB4\xAB"});
    QCOMPARE(readBytes(dir_ / "out.txt"), std::string("a\r\n\r\n\xB4\xAB\r\n"));
    writeAllLines(dir_ / "out.txt", {});
    QCOMPARE(readBytes(dir_ / "out.txt"), std::string());
}

void TextFilesTest::splitAndLoadList_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArrayList>("lines");
    QTest::newRow("empty") << QByteArray() << QByteArrayList{};
    QTest::newRow("single") << QByteArray("a") << QByteArrayList{"a"};
    QTest::newRow("trailing CR LF adds nothing") << QByteArray("a\r\n") << QByteArrayList{"a"};
    QTest::newRow("CR LF") << QByteArray("a\r\nb") << QByteArrayList{"a", "b"};
    QTest::newRow("CR") << QByteArray("a\rb\r") << QByteArrayList{"a", "b"};
    QTest::newRow("LF") << QByteArray("a\nb\n") << QByteArrayList{"a", "b"};
    QTest::newRow("LF CR gives an empty line") << QByteArray("a\n\rb") << QByteArrayList{"a", "", "b"};
    QTest::newRow("CR CR LF") << QByteArray("a\r\r\nb") << QByteArrayList{"a", "", "b"};
    QTest::newRow("LF LF") << QByteArray("a\n\n") << QByteArrayList{"a", ""};
    QTest::newRow("only a break") << QByteArray("\r\n") << QByteArrayList{""};
    QTest::newRow("NUL ends the data") << QByteArray("a\r\nb\0c\r\nd", 9) << QByteArrayList{"a", "b"};
    QTest::newRow("NUL first") << QByteArray("\0a", 2) << QByteArrayList{};
    QTest::newRow("Ctrl-Z is data") << QByteArray("\x1A" "a\r\n\x1A") << QByteArrayList{"\x1A" "a", "\x1A"};
    QTest::newRow("GBK with letter trail bytes") << QByteArray("\x81" "F\r\n\x81" "f") << QByteArrayList{"\x81" "F", "\x81" "f"};
}

void TextFilesTest::splitAndLoadList()
{
    QFETCH(QByteArray, data);
    QFETCH(QByteArrayList, lines);
    QCOMPARE(toList(splitList(bytes(data))), lines);
    writeBytes(dir_ / "set.ini", bytes(data));
    QCOMPARE(toList(loadList(dir_ / "set.ini")), lines);
}

void TextFilesTest::loadListErrors()
{
    fs::create_directory(dir_ / "sub");
    for (const fs::path& p : {dir_ / "missing.ini", dir_ / "sub"}) {
        try {
            loadList(p);
            QFAIL("no exception");
        } catch (const EFOpenError& e) {
            QCOMPARE(std::string(e.what()), "Cannot open file " + p.string());
        }
    }
}

void TextFilesTest::saveList()
{
    const QByteArrayList lines{"http://", ".", "", "\xB4\xAB\xD5\xE6\xA3\xBA"};
    vq::saveList(dir_ / "set.ini", fromList(lines));
    QCOMPARE(readBytes(dir_ / "set.ini"), std::string("http://\r\n.\r\n\r\n\xB4\xAB\xD5\xE6\xA3\xBA\r\n"));
    QCOMPARE(toList(loadList(dir_ / "set.ini")), lines);

    const fs::path bad = dir_ / "missing" / "set.ini";
    try {
        vq::saveList(bad, {"a"});
        QFAIL("no exception");
    } catch (const EFCreateError& e) {
        QCOMPARE(std::string(e.what()), "Cannot create file " + bad.string());
    }
}

void TextFilesTest::commitReplacesFile()
{
    writeBytes(dir_ / "out.txt", std::string(100000, 'o'));
    {
        AtomicFile f(dir_ / "out.txt");
        f.write("new");
        f.write(std::string(200000, 'n')); // larger than the buffer
        f.write("end");
        QCOMPARE(readBytes(dir_ / "out.txt"), std::string(100000, 'o')); // untouched until commit
        f.commit();
    }
    QCOMPARE(readBytes(dir_ / "out.txt"), "new" + std::string(200000, 'n') + "end");
    QCOMPARE(entries(dir_), QStringList{"out.txt"});
}

void TextFilesTest::abandonedWriteLeavesOldFile()
{
    writeBytes(dir_ / "old.txt", "old");
    {
        AtomicFile f(dir_ / "old.txt");
        f.write(std::string(300000, 'n'));
        AtomicFile g(dir_ / "fresh.txt");
        g.write("x");
    }
    QCOMPARE(readBytes(dir_ / "old.txt"), std::string("old"));
    QCOMPARE(entries(dir_), QStringList{"old.txt"});
}

void TextFilesTest::failedWriteKeepsOldFile_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("failAfter");
    QTest::newRow("nothing written") << 1000 << 0;
    QTest::newRow("small file, fails at commit") << 1000 << 500;
    QTest::newRow("at the buffer edge") << 3 * kChunk << kChunk;
    QTest::newRow("halfway") << 500000 << 250000;
    QTest::newRow("one byte short") << 500000 << 499999;
}

void TextFilesTest::failedWriteKeepsOldFile()
{
    QFETCH(int, size);
    QFETCH(int, failAfter);
    FaultOff off;
    writeBytes(dir_ / "state.ini", "old\r\n");
    bool thrown = false;
    {
        AtomicFile f(dir_ / "state.ini");
        testing::failWritesAfter(failAfter);
        try {
            for (int i = 0; i < size / 100; ++i)
                f.write(std::string(100, 'n'));
            f.commit();
        } catch (const EInOutError& e) {
            thrown = true;
            QCOMPARE(e.code(), ENOSPC);
            QCOMPARE(std::string(e.what()), std::string("Disk full"));
        }
        QVERIFY(thrown);
        // Once a write has failed, the file must not be committed half written.
        QVERIFY_THROWS_EXCEPTION(EInOutError, f.commit());
    }
    QCOMPARE(readBytes(dir_ / "state.ini"), std::string("old\r\n"));
    QCOMPARE(entries(dir_), QStringList{"state.ini"});
}

void TextFilesTest::failedWriteThroughHelpers()
{
    FaultOff off;
    writeBytes(dir_ / "autosave.txt", "old\r\n");
    writeBytes(dir_ / "set.ini", "old\r\n");
    const std::vector<AnsiString> lines(20000, "http://127.0.0.1/page");
    testing::failWritesAfter(100000);
    QVERIFY_THROWS_EXCEPTION(EInOutError, writeAllLines(dir_ / "autosave.txt", lines));
    testing::failWritesAfter(100000);
    QVERIFY_THROWS_EXCEPTION(EFCreateError, vq::saveList(dir_ / "set.ini", lines));
    QCOMPARE(readBytes(dir_ / "autosave.txt"), std::string("old\r\n"));
    QCOMPARE(readBytes(dir_ / "set.ini"), std::string("old\r\n"));
    QCOMPARE(entries(dir_), (QStringList{"autosave.txt", "set.ini"}));
}

void TextFilesTest::newFileMode_data()
{
    QTest::addColumn<int>("mask");
    QTest::addColumn<int>("mode");
    QTest::newRow("022") << 022 << 0644;
    QTest::newRow("077") << 077 << 0600;
    QTest::newRow("000") << 0 << 0644;
}

void TextFilesTest::newFileMode()
{
    QFETCH(int, mask);
    QFETCH(int, mode);
    const mode_t old = ::umask(mode_t(mask));
    writeAllLines(dir_ / "out.txt", {"a"});
    ::umask(old);
    struct stat st;
    QCOMPARE(::stat((dir_ / "out.txt").c_str(), &st), 0);
    QCOMPARE(int(st.st_mode & 07777), mode);
}

void TextFilesTest::createErrors()
{
    fs::create_directory(dir_ / "sub");
    try {
        AtomicFile f(dir_ / "missing" / "out.txt");
        QFAIL("no exception");
    } catch (const EInOutError& e) {
        QCOMPARE(std::string(e.what()), std::string("File not found"));
    }
    // Renaming over a directory fails; the directory stays and no temporary remains.
    {
        AtomicFile f(dir_ / "sub");
        f.write("x");
        QVERIFY_THROWS_EXCEPTION(EInOutError, f.commit());
    }
    QVERIFY(fs::is_directory(dir_ / "sub"));
    QCOMPARE(entries(dir_), QStringList{"sub"});
}

QTEST_APPLESS_MAIN(TextFilesTest)
#include "tst_text_files.moc"
