// The batch command vqharvest, run as a process: extract against the fax line
// table, merge, urls, usage errors, and crawls over pages this test serves on
// 127.0.0.1, including a Ctrl-C and a resume with --from.

#include "tests/support/fax_cases.h"
#include "tests/support/harvest_process.h"
#include "tests/support/files.h"
#include "tests/support/page_server.h"
#include "app/version.h"
#include "text/ansi.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <functional>
#include <optional>

using namespace vq;
using vq::test::readFile;
using vq::test::writeFile;

namespace {

const QString kProgram = test::HarvestProcess::program();

QByteArray gbk(const char* utf8)
{
    const AnsiString text = utf8ToAnsi(utf8);
    return QByteArray(text.data(), qsizetype(text.size()));
}

// "@name" in an argument list stands for the file `name` in `dir`.
QStringList withPaths(const QStringList& args, const QTemporaryDir& dir)
{
    QStringList out;
    for (const QString& a : args)
        out << (a.startsWith('@') ? dir.filePath(a.mid(1)) : a);
    return out;
}

// Code page 936 pages by path on the test's page server, with each page
// request noted in arrival order.
class GbkPages {
public:
    GbkPages()
    {
        server_.setGenerator([this](const QByteArray& path) -> std::optional<test::PageServer::Response> {
            if (path.startsWith("/favicon"))
                return std::nullopt;
            requests_.append(path);
            const auto it = pages_.constFind(path);
            if (it == pages_.constEnd())
                return std::nullopt;
            if (onServed) // once the answer is on its way
                QTimer::singleShot(0, &server_, onServed);
            return test::PageServer::Response{"200 OK", "text/html; charset=gbk", *it, {}, true};
        });
    }

    bool listening() const { return server_.listening(); }
    QByteArray url(const QByteArray& path) const { return server_.url(QString::fromLatin1(path)).toLatin1(); }
    // A page whose body (UTF-8 here) is sent in code page 936.
    void setPage(const QByteArray& path, const QByteArray& bodyUtf8)
    {
        pages_[path] = gbk("<html><head><meta charset=\"gbk\"><title>页</title></head><body>") +
                       gbk(bodyUtf8.constData()) + "</body></html>";
    }
    // The requests so far, icons left out (they and unknown paths get a 404).
    QList<QByteArray> requests() const { return requests_; }
    std::function<void()> onServed; // after each page request

private:
    test::PageServer server_;
    QHash<QByteArray, QByteArray> pages_;
    QList<QByteArray> requests_;
};

struct Result {
    int code = -1;
    QByteArray out;
    QByteArray err;
};

} // namespace

class TestVqharvest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void extractLineTable_data();
    void extractLineTable();
    void extractInputs_data();
    void extractInputs();
    void merge_data();
    void merge();
    void urls_data();
    void urls();
    void usageErrors_data();
    void usageErrors();
    void help_data();
    void help();
    void outputFailure_data();
    void outputFailure();
    void crawlLocalPages_data();
    void crawlLocalPages();
    void interruptAndResume();

private:
    // Runs the command to its end without an event loop (nothing to serve meanwhile).
    Result run(const QStringList& args, const QByteArray& input = {});
    // Starts a crawl; the event loop keeps running (and the page server serving)
    // until it ends.
    void start(QProcess& p, const QStringList& args);
    bool waitForExit(QProcess& p, int timeoutMs);

    test::HarvestProcess harvest_;
};

void TestVqharvest::initTestCase()
{
    QVERIFY2(QFile::exists(kProgram), qPrintable(kProgram));
}

Result TestVqharvest::run(const QStringList& args, const QByteArray& input)
{
    QProcess p;
    p.setProcessEnvironment(harvest_.environment());
    p.start(kProgram, args);
    if (!p.waitForStarted(10000))
        return {};
    p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(30000)) {
        p.kill();
        p.waitForFinished(5000);
        return {};
    }
    if (p.exitStatus() != QProcess::NormalExit)
        return {};
    return {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
}

void TestVqharvest::start(QProcess& p, const QStringList& args)
{
    harvest_.start(p, args);
}

bool TestVqharvest::waitForExit(QProcess& p, int timeoutMs)
{
    return test::HarvestProcess::waitForExit(p, timeoutMs);
}

// ---- extract ------------------------------------------------------------------

// Every line of the extractor's own table, fed on standard input: the number
// (with a line break) or nothing.
void TestVqharvest::extractLineTable_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("expected");
    for (const test::FaxLineCase& c : test::faxLineCases())
        QTest::newRow(c.name) << QByteArray::fromStdString(c.line)
                              << (c.expected ? QByteArray(c.expected) : QByteArray());
}

void TestVqharvest::extractLineTable()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, expected);

    const Result r = run({"extract"}, line);
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, expected.isNull() ? QByteArray() : expected + "\n");
    QCOMPARE(r.err, QByteArray());
}

void TestVqharvest::extractInputs_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QStringList>("files"); // name, content, name, content...
    QTest::addColumn<QByteArray>("input");  // standard input
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QString>("err"); // a part of stderr ("" when none is expected); @ as above

    const QByteArray page = gbk("公司\r\n传真：0519-88888888\r\nFAX: 021-66666666\n传真：(0519)88888888\r");
    const QStringList pageFiles{"a.txt", QString::fromLatin1(page.toHex()), "b.txt",
                                QString::fromLatin1(gbk("电传：0571-87654321\r\n传真：021-66666666").toHex())};
    const QStringList markerFile{"m.txt", QString::fromLatin1(gbk("电传：\r\n").toHex())};

    QTest::newRow("standard input, CR, LF and CR LF lines")
        << QStringList{"extract"} << QStringList{} << page << 0
        << QByteArray("0519-88888888\n021-66666666\n0519-88888888\n") << "";
    QTest::newRow("--dedup") << QStringList{"extract", "--dedup"} << QStringList{} << page << 0
                             << QByteArray("0519-88888888\n021-66666666\n") << "";
    QTest::newRow("files in order, standard input not read")
        << QStringList{"extract", "@a.txt", "@b.txt"} << pageFiles << gbk("传真：010-12345678") << 0
        << QByteArray("0519-88888888\n021-66666666\n0519-88888888\n021-66666666\n") << "";
    QTest::newRow("--dedup across files")
        << QStringList{"extract", "--dedup", "@b.txt", "@a.txt"} << pageFiles << QByteArray() << 0
        << QByteArray("021-66666666\n0519-88888888\n") << "";
    QTest::newRow("marker in the file is recognised")
        << QStringList{"extract", "--markers", "@m.txt", "@b.txt"} << pageFiles + markerFile << QByteArray() << 0
        << QByteArray("0571-87654321\n021-66666666\n") << "";
    QTest::newRow("without the marker file it is not")
        << QStringList{"extract", "@b.txt"} << pageFiles << QByteArray() << 0 << QByteArray("021-66666666\n") << "";
    QTest::newRow("empty input") << QStringList{"extract"} << QStringList{} << QByteArray() << 0 << QByteArray()
                                 << "";
    QTest::newRow("missing file named, nothing printed")
        << QStringList{"extract", "@a.txt", "@gone.txt"} << pageFiles << QByteArray() << 1 << QByteArray()
        << "@gone.txt";
    QTest::newRow("missing marker file named")
        << QStringList{"extract", "--markers", "@nomarkers.txt", "@a.txt"} << pageFiles << QByteArray() << 1
        << QByteArray() << "@nomarkers.txt";
    QTest::newRow("a directory is not page text")
        << QStringList{"extract", "@"} << QStringList{} << QByteArray() << 1 << QByteArray() << "error";

    // --encoding: the same page in UTF-8 and in code page 936, and plain ASCII.
    const QByteArray utf8Page("公司\r\n传真：0519-88888888\r\nFAX: 021-66666666\n");
    const QByteArray gbkPage = gbk(utf8Page.constData());
    const QByteArray both("0519-88888888\n021-66666666\n");
    const QByteArray asciiPage("FAX: 021-66666666\r\n");
    const QByteArray asciiOut("021-66666666\n");
    for (const QString& e : {QString(), QStringLiteral("auto")}) {
        const QStringList args = e.isEmpty() ? QStringList{"extract"} : QStringList{"extract", "--encoding", e};
        const QString as = e.isEmpty() ? QStringLiteral("default") : e;
        QTest::addRow("%s: UTF-8 read as UTF-8", qPrintable(as)) << args << QStringList{} << utf8Page << 0 << both << "";
        QTest::addRow("%s: GBK read as GBK", qPrintable(as)) << args << QStringList{} << gbkPage << 0 << both << "";
        QTest::addRow("%s: ASCII", qPrintable(as)) << args << QStringList{} << asciiPage << 0 << asciiOut << "";
    }
    QTest::newRow("gbk: GBK") << QStringList{"extract", "--encoding", "gbk"} << QStringList{} << gbkPage << 0 << both
                              << "";
    QTest::newRow("gbk: UTF-8 bytes taken as GBK, the markers not found")
        << QStringList{"extract", "--encoding", "gbk"} << QStringList{} << utf8Page << 0 << asciiOut << "";
    QTest::newRow("gbk: ASCII") << QStringList{"extract", "--encoding", "gbk"} << QStringList{} << asciiPage << 0
                                << asciiOut << "";
    QTest::newRow("utf-8: UTF-8") << QStringList{"extract", "--encoding", "utf-8"} << QStringList{} << utf8Page << 0
                                  << both << "";
    QTest::newRow("utf-8: ASCII") << QStringList{"extract", "--encoding", "utf-8"} << QStringList{} << asciiPage << 0
                                  << asciiOut << "";
    QTest::newRow("utf-8: GBK input is an error, nothing printed")
        << QStringList{"extract", "--encoding", "utf-8"} << QStringList{} << gbkPage << 1 << QByteArray()
        << "standard input is not valid UTF-8";
    QTest::newRow("utf-8: the file that is not UTF-8 is named")
        << QStringList{"extract", "--encoding", "utf-8", "@u.txt", "@g.txt"}
        << QStringList{"u.txt", QString::fromLatin1(utf8Page.toHex()), "g.txt", QString::fromLatin1(gbkPage.toHex())}
        << QByteArray() << 1 << QByteArray() << "@g.txt is not valid UTF-8";
    QTest::newRow("auto: decided for each file")
        << QStringList{"extract", "--dedup", "@u.txt", "@g.txt"}
        << QStringList{"u.txt", QString::fromLatin1(utf8Page.toHex()), "g.txt",
                       QString::fromLatin1(gbk("传真：0571-87654321").toHex())}
        << QByteArray() << 0 << QByteArray("0519-88888888\n021-66666666\n0571-87654321\n") << "";
    QTest::newRow("auto: UTF-8 with a byte-order mark")
        << QStringList{"extract"} << QStringList{} << QByteArray("\xEF\xBB\xBF传真：0519-88888888") << 0
        << QByteArray("0519-88888888\n") << "";
    QTest::newRow("auto: UTF-8 with characters GBK lacks")
        << QStringList{"extract"} << QStringList{} << QByteArray("😀 한 传真：0519-88888888 😀") << 0
        << QByteArray("0519-88888888\n") << "";
}

void TestVqharvest::extractInputs()
{
    QFETCH(QStringList, args);
    QFETCH(QStringList, files);
    QFETCH(QByteArray, input);
    QFETCH(int, code);
    QFETCH(QByteArray, out);
    QFETCH(QString, err);

    QTemporaryDir dir;
    for (qsizetype i = 0; i + 1 < files.size(); i += 2)
        QVERIFY(writeFile(dir.filePath(files[i]), QByteArray::fromHex(files[i + 1].toLatin1())));

    const Result r = run(withPaths(args, dir), input);
    QCOMPARE(r.code, code);
    QCOMPARE(r.out, out);
    if (err.isEmpty())
        QCOMPARE(r.err, QByteArray());
    else
        QVERIFY2(r.err.contains(withPaths({err}, dir).first().toUtf8()), r.err.constData());
}

// ---- merge --------------------------------------------------------------------

void TestVqharvest::merge_data()
{
    QTest::addColumn<QList<QByteArray>>("inputs"); // in0.txt, in1.txt, ...; out.txt holds "kept"
    QTest::addColumn<QStringList>("args");          // after "merge"
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("target");  // the file to look at afterwards
    QTest::addColumn<QByteArray>("data"); // what it holds
    QTest::addColumn<QString>("err");     // a part of stderr, "" for none

    QTest::newRow("letter case: the first met is kept")
        << QList<QByteArray>{"ABC\r\nb\r\n", "abc\na\r\nb"} << QStringList{"@out.txt", "@in0.txt", "@in1.txt"} << 0
        << "out.txt" << QByteArray("a\r\nABC\r\nb\r\n") << "";
    QTest::newRow("inputs the other way round")
        << QList<QByteArray>{"ABC\r\nb\r\n", "abc\na\r\nb"} << QStringList{"@out.txt", "@in1.txt", "@in0.txt"} << 0
        << "out.txt" << QByteArray("a\r\nabc\r\nb\r\n") << "";
    QTest::newRow("output is an input, written after reading")
        << QList<QByteArray>{"c\r\nb\r\nc\r\n", "a\r\nB\r\n"} << QStringList{"@in0.txt", "@in0.txt", "@in1.txt"}
        << 0 << "in0.txt" << QByteArray("a\r\nb\r\nc\r\n") << "";
    // LC_ALL=C.UTF-8 names no collation of its own: the Chinese one applies.
    QTest::newRow("code page 936 lines, Chinese order")
        << QList<QByteArray>{gbk("传真\r\nx\r\n北京\r\n"), gbk("传真\r\n")}
        << QStringList{"@out.txt", "@in0.txt", "@in1.txt"} << 0 << "out.txt" << gbk("北京\r\n传真\r\nx\r\n") << "";
    QTest::newRow("missing input: output untouched")
        << QList<QByteArray>{"a\r\n"} << QStringList{"@out.txt", "@in0.txt", "@missing.txt"} << 1 << "out.txt"
        << QByteArray("kept\r\n") << "@missing.txt";
    QTest::newRow("output in a missing folder")
        << QList<QByteArray>{"a\r\n"} << QStringList{"@no/out.txt", "@in0.txt"} << 1 << "in0.txt"
        << QByteArray("a\r\n") << "@no/out.txt";
}

void TestVqharvest::merge()
{
    QFETCH(QList<QByteArray>, inputs);
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QFETCH(QString, target);
    QFETCH(QByteArray, data);
    QFETCH(QString, err);

    QTemporaryDir dir;
    for (qsizetype i = 0; i < inputs.size(); ++i)
        QVERIFY(writeFile(dir.filePath(QStringLiteral("in%1.txt").arg(i)), inputs[i]));
    QVERIFY(writeFile(dir.filePath("out.txt"), "kept\r\n"));

    const Result r = run(QStringList{"merge"} + withPaths(args, dir));
    QCOMPARE(r.code, code);
    QCOMPARE(r.out, QByteArray());
    if (err.isEmpty())
        QCOMPARE(r.err, QByteArray());
    else
        QVERIFY2(r.err.contains(withPaths({err}, dir).first().toUtf8()), r.err.constData());

    QCOMPARE(readFile(dir.filePath(target)), data);
    if (target != "out.txt")
        QCOMPARE(readFile(dir.filePath("out.txt")), QByteArray("kept\r\n"));
    // No temporary file is left behind.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot).size(),
             inputs.size() + 1);
}

// ---- urls ---------------------------------------------------------------------

void TestVqharvest::urls_data()
{
    QTest::addColumn<QStringList>("args"); // after "urls"
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QByteArray>("err"); // a part of stderr, empty for none

    QTest::newRow("step 20") << QStringList{"P", "1", "3", "S", "--step", "20"} << 0
                             << QByteArray("P20S\r\nP40S\r\nP60S\r\n") << QByteArray();
    QTest::newRow("step first") << QStringList{"--step", "20", "P", "1", "3", "S"} << 0
                                << QByteArray("P20S\r\nP40S\r\nP60S\r\n") << QByteArray();
    QTest::newRow("step 1 by default") << QStringList{"http://a.example/?p=", "9", "11", ".html"} << 0
                                       << QByteArray("http://a.example/?p=9.html\r\nhttp://a.example/?p=10.html\r\n"
                                                     "http://a.example/?p=11.html\r\n")
                                       << QByteArray();
    QTest::newRow("negative values") << QStringList{"P", "-1", "1", "S"} << 0
                                     << QByteArray("P-1S\r\nP0S\r\nP1S\r\n") << QByteArray();
    QTest::newRow("suffix starting with a hyphen")
        << QStringList{"http://bbs.example/thread-", "7", "8", "-1-1.html"} << 0
        << QByteArray("http://bbs.example/thread-7-1-1.html\r\nhttp://bbs.example/thread-8-1-1.html\r\n")
        << QByteArray();
    QTest::newRow("step 0 repeats a line") << QStringList{"P", "1", "2", "S", "--step", "0"} << 0
                                           << QByteArray("P0S\r\nP0S\r\n") << QByteArray();
    QTest::newRow("last below first: nothing") << QStringList{"P", "3", "1", "S"} << 0 << QByteArray() << QByteArray();
    QTest::newRow("empty suffix") << QStringList{"P", "5", "5", ""} << 0 << QByteArray("P5\r\n") << QByteArray();
    QTest::newRow("Chinese text in code page 936")
        << QStringList{QStringLiteral("页"), "1", "1", QStringLiteral("号")} << 0 << gbk("页1号\r\n") << QByteArray();

    QTest::newRow("FIRST not a number") << QStringList{"P", "a", "3", "S"} << 2 << QByteArray()
                                        << QByteArray("FIRST must be an integer, not 'a'");
    QTest::newRow("LAST with a trailing space") << QStringList{"P", "1", "3 ", "S"} << 2 << QByteArray()
                                                << QByteArray("LAST must be an integer");
    QTest::newRow("LAST empty") << QStringList{"P", "1", "", "S"} << 2 << QByteArray()
                                << QByteArray("LAST must be an integer");
    QTest::newRow("FIRST beyond 32 bits") << QStringList{"P", "2147483648", "2147483649", "S"} << 2 << QByteArray()
                                          << QByteArray("FIRST must be an integer");
    QTest::newRow("step not a number") << QStringList{"P", "1", "3", "S", "--step", "x"} << 2 << QByteArray()
                                       << QByteArray("--step must be an integer");
    QTest::newRow("step without a value") << QStringList{"P", "1", "3", "S", "--step"} << 2 << QByteArray()
                                          << QByteArray("option --step needs a value");
    QTest::newRow("three fields") << QStringList{"P", "1", "3"} << 2 << QByteArray()
                                  << QByteArray("urls needs PREFIX FIRST LAST SUFFIX");
    QTest::newRow("five fields") << QStringList{"P", "1", "3", "S", "T"} << 2 << QByteArray()
                                 << QByteArray("urls needs PREFIX FIRST LAST SUFFIX");
}

void TestVqharvest::urls()
{
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, err);

    const Result r = run(QStringList{"urls"} + args);
    QCOMPARE(r.code, code);
    QCOMPARE(r.out, out);
    if (err.isEmpty())
        QCOMPARE(r.err, QByteArray());
    else
        QVERIFY2(r.err.contains(err), r.err.constData());
}

// ---- usage --------------------------------------------------------------------

void TestVqharvest::usageErrors_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("err"); // a part of stderr

    QTest::newRow("no command") << QStringList{} << 2 << QByteArray("usage: vqharvest COMMAND");
    QTest::newRow("unknown command") << QStringList{"harvest"} << 2 << QByteArray("unknown command 'harvest'");
    QTest::newRow("extract: unknown option") << QStringList{"extract", "--fast"} << 2
                                             << QByteArray("unknown option --fast");
    QTest::newRow("crawl: unknown option") << QStringList{"crawl", "list.txt", "-x"} << 2
                                           << QByteArray("unknown option -x");
    QTest::newRow("merge: unknown option") << QStringList{"merge", "--sort", "out.txt", "in.txt"} << 2
                                           << QByteArray("unknown option --sort");
    QTest::newRow("urls: unknown option") << QStringList{"urls", "P", "1", "3", "S", "--by", "2"} << 2
                                          << QByteArray("unknown option --by");
    QTest::newRow("urls: unknown option first") << QStringList{"urls", "-v", "P", "1", "3", "S"} << 2
                                                << QByteArray("unknown option -v");
    QTest::newRow("extract: --markers without a value") << QStringList{"extract", "--markers"} << 2
                                                        << QByteArray("option --markers needs a value");
    QTest::newRow("extract: --encoding without a value") << QStringList{"extract", "--encoding"} << 2
                                                         << QByteArray("option --encoding needs a value");
    QTest::newRow("extract: unknown encoding") << QStringList{"extract", "--encoding", "latin1"} << 2
                                               << QByteArray("--encoding must be auto, gbk or utf-8, not 'latin1'");
    for (const char* option : {"--speed", "--contains", "--excludes", "--markers", "--from", "--out"})
        QTest::addRow("crawl: %s without a value", option)
            << QStringList{"crawl", "list.txt", option} << 2
            << QByteArray("option ") + option + " needs a value";
    QTest::newRow("--speed -1") << QStringList{"crawl", "list.txt", "--speed", "-1"} << 2
                                << QByteArray("--speed must be between 0 and 60");
    QTest::newRow("--speed 61") << QStringList{"crawl", "list.txt", "--speed", "61"} << 2
                                << QByteArray("--speed must be between 0 and 60");
    QTest::newRow("--lanes 65") << QStringList{"crawl", "list.txt", "--lanes", "65"} << 2
                                << QByteArray("--lanes must be between 1 and 64");
    QTest::newRow("--shard 4/3") << QStringList{"crawl", "list.txt", "--shard", "4/3"} << 2
                                 << QByteArray("--shard K must be between 1 and 3");
    QTest::newRow("--shard 2") << QStringList{"crawl", "list.txt", "--shard", "2"} << 2
                               << QByteArray("--shard must be K/N, not '2'");
    QTest::newRow("--host-delay x") << QStringList{"crawl", "list.txt", "--host-delay", "x"} << 2
                                    << QByteArray("--host-delay must be seconds between 0 and 3600, not 'x'");
    QTest::newRow("--speed not a number") << QStringList{"crawl", "list.txt", "--speed", "fast"} << 2
                                          << QByteArray("--speed must be an integer, not 'fast'");
    QTest::newRow("--from not a number") << QStringList{"crawl", "list.txt", "--from", "3x"} << 2
                                         << QByteArray("--from must be an integer, not '3x'");
    QTest::newRow("--follow x") << QStringList{"crawl", "list.txt", "--depth", "1", "--follow", "x"} << 2
                                << QByteArray("--follow must be site or all, not 'x'");
    QTest::newRow("--follow without --depth") << QStringList{"crawl", "list.txt", "--follow", "all"} << 2
                                              << QByteArray("--follow and --max-per-site need --depth 1 or more");
    QTest::newRow("--resume on a list") << QStringList{"crawl", "list.txt", "--resume"} << 2
                                        << QByteArray("--resume and --fresh need --depth or --frontier");
    QTest::newRow("--from on a frontier") << QStringList{"crawl", "list.txt", "--frontier", "--from", "3"} << 2
                                          << QByteArray("--from is for a list crawl");
    QTest::newRow("crawl without a list") << QStringList{"crawl", "--links"} << 2
                                          << QByteArray("crawl needs a LIST file");
    QTest::newRow("crawl with two lists") << QStringList{"crawl", "a.txt", "b.txt"} << 2
                                          << QByteArray("crawl takes one LIST, not 'b.txt' as well");
    QTest::newRow("merge without inputs") << QStringList{"merge", "out.txt"} << 2
                                          << QByteArray("merge needs an output file and at least one input file");
    QTest::newRow("merge alone") << QStringList{"merge"} << 2
                                 << QByteArray("merge needs an output file and at least one input file");

    // Runtime errors, told apart from usage errors.
    QTest::newRow("crawl: missing list") << QStringList{"crawl", "/nonexistent/list.txt", "--no-net-check"} << 1
                                         << QByteArray("URL list not found: /nonexistent/list.txt");
    QTest::newRow("crawl: missing marker file")
        << QStringList{"crawl", "list.txt", "--markers", "/nonexistent/m.txt"} << 1
        << QByteArray("marker file not found: /nonexistent/m.txt");
}

void TestVqharvest::usageErrors()
{
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QFETCH(QByteArray, err);

    const Result r = run(args);
    QCOMPARE(r.code, code);
    QCOMPARE(r.out, QByteArray());
    QVERIFY2(r.err.startsWith("vqharvest: ") || r.err.startsWith("usage: "), r.err.constData());
    QVERIFY2(r.err.contains(err), r.err.constData());
    if (code == 2 && !args.isEmpty())
        QVERIFY2(r.err.contains("vqharvest --help"), r.err.constData());
}

void TestVqharvest::help_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("first"); // the first line of the help text

    QTest::newRow("--help") << QStringList{"--help"} << QByteArray("usage: vqharvest COMMAND [ARGS]");
    QTest::newRow("-h") << QStringList{"-h"} << QByteArray("usage: vqharvest COMMAND [ARGS]");
    QTest::newRow("help") << QStringList{"help"} << QByteArray("usage: vqharvest COMMAND [ARGS]");
    QTest::newRow("--version") << QStringList{"--version"} << QByteArray("vqharvest " VQ_VERSION);
    QTest::newRow("crawl") << QStringList{"crawl", "--help"} << QByteArray("usage: vqharvest crawl LIST [options]");
    QTest::newRow("crawl, help after options") << QStringList{"crawl", "list.txt", "--speed", "0", "-h"}
                                               << QByteArray("usage: vqharvest crawl LIST [options]");
    QTest::newRow("extract") << QStringList{"extract", "--help"}
                             << QByteArray("usage: vqharvest extract [--markers FILE] [--dedup] [--encoding E] [FILE...]");
    QTest::newRow("merge") << QStringList{"merge", "--help"} << QByteArray("usage: vqharvest merge OUT IN...");
    QTest::newRow("urls") << QStringList{"urls", "--help"}
                          << QByteArray("usage: vqharvest urls PREFIX FIRST LAST SUFFIX [--step K]");
}

void TestVqharvest::help()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, first);

    const Result r = run(args);
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out.left(r.out.indexOf('\n')), first);
    QVERIFY(r.out.endsWith('\n'));
    QCOMPARE(r.err, QByteArray());
}

// Standard output on a full disk: an error, never a silent success.
void TestVqharvest::outputFailure_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("input");

    QTest::newRow("extract") << QStringList{"extract"} << gbk("传真：0519-88888888");
    QTest::newRow("--version") << QStringList{"--version"} << QByteArray();
    QTest::newRow("urls") << QStringList{"urls", "P", "1", "3", "S"} << QByteArray();
    QTest::newRow("urls, many lines") << QStringList{"urls", "P", "1", "100000", "S"} << QByteArray();
}

void TestVqharvest::outputFailure()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, input);
    if (!QFile::exists("/dev/full"))
        QSKIP("no /dev/full");

    QProcess p;
    p.setProcessEnvironment(harvest_.environment());
    p.setStandardOutputFile("/dev/full");
    p.start(kProgram, args);
    QVERIFY(p.waitForStarted(10000));
    p.write(input);
    p.closeWriteChannel();
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 1);
    const QByteArray err = p.readAllStandardError();
    QVERIFY2(err.contains("vqharvest: error: cannot write the output"), err.constData());
}

// ---- crawl --------------------------------------------------------------------

void TestVqharvest::crawlLocalPages_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QByteArrayList>("fax");   // autosave&fax.txt lines; empty: no file
    QTest::addColumn<QByteArrayList>("links"); // autosave&web.txt lines ("P" the server); empty: no file
    QTest::addColumn<QByteArrayList>("state"); // vqdornavik.ini lines 4 to 9

    const QByteArrayList allFax{"0519-88888888", "021-66666666", "010-12345678", "0519-88888888"};
    const QByteArrayList allLinks{"P/p2.html", "P/p3.html#top", "http://127.0.0.2/x.html", "P/p1.html"};

    QTest::newRow("links and fax") << QStringList{} << allFax << allLinks
                                   << QByteArrayList{"qcno", "webyes", "faxyes", "sxno", "bzno", "saveyes"};
    QTest::newRow("dedup, own exclusion replaces the defaults")
        << QStringList{"--dedup", "--filter", "--excludes", "127.0.0.2"} << allFax.mid(0, 3)
        << QByteArrayList{"P/p2.html", "P/p3.html#top", "P/p1.html"}
        << QByteArrayList{"qcyes", "webyes", "faxyes", "sxyes", "bzno", "saveyes"};
    QTest::newRow("default filter drops the fragment link")
        << QStringList{"--links", "--filter"} << QByteArrayList{}
        << QByteArrayList{"P/p2.html", "http://127.0.0.2/x.html", "P/p1.html"}
        << QByteArrayList{"qcno", "webyes", "faxno", "sxyes", "bzno", "saveyes"};
    QTest::newRow("https links, the default filter's http:// takes them too")
        << QStringList{"--links", "--filter", "--https"} << QByteArrayList{}
        << QByteArrayList{"P/p2.html", "https://127.0.0.1/s", "http://127.0.0.2/x.html", "P/p1.html"}
        << QByteArrayList{"qcno", "webyes", "faxno", "sxyes", "bzno", "saveyes"};
    QTest::newRow("fax only, own marker list")
        << QStringList{"--fax", "--dedup", "--markers", "@markers.txt"}
        << QByteArrayList{"0519-88888888", "021-66666666", "010-12345678", "0571-87654321"} << QByteArrayList{}
        << QByteArrayList{"qcyes", "webno", "faxyes", "sxno", "bzno", "saveyes"};
}

void TestVqharvest::crawlLocalPages()
{
    QFETCH(QStringList, options);
    QFETCH(QByteArrayList, fax);
    QFETCH(QByteArrayList, links);
    QFETCH(QByteArrayList, state);

    GbkPages server;
    QVERIFY(server.listening());
    server.setPage("/p1.html", "<p>传真：0519-88888888</p><p>FAX: +86-21-6666 6666</p>"
                               "<a href=\"/p2.html\">下一页</a> <a href=\"/p3.html#top\">三</a> "
                               "<a href=\"mailto:a@b.example\">信</a> <a href=\"https://127.0.0.1/s\">s</a>");
    server.setPage("/p2.html", "<div>地址：常州 传真：(010)12345678</div><p>传真：0519-88888888</p>"
                               "<p>电传：0571-87654321</p><a href=\"http://127.0.0.2/x.html\">外站</a>");
    server.setPage("/p3.html", "<p>没有号码</p><a href=\"/p1.html\">首页</a>");

    QTemporaryDir dir;
    const QString list = dir.filePath("list.txt");
    QVERIFY(writeFile(list, server.url("/p1.html") + " " + gbk("第一页") + "\r\n" + server.url("/p2.html") +
                                "\r\n" + server.url("/p3.html") + "\r\n"));
    QVERIFY(writeFile(dir.filePath("markers.txt"), gbk("电传：\r\n传真：\r\n")));
    const QString out = dir.filePath("out");

    QProcess p;
    start(p, QStringList{"crawl", list, "--speed", "1", "--no-net-check", "--out", out} + withPaths(options, dir));
    QVERIFY(waitForExit(p, 60000));
    const QByteArray err = p.readAllStandardError();
    QVERIFY2(p.exitCode() == 0, err.constData());
    // Only the command's own lines (progress bars and "vqharvest: ..."): no
    // start-up noise of Qt or Chromium, no empty line.
    for (const QByteArray& line : err.chopped(err.endsWith('\n') ? 1 : 0).split('\n'))
        QVERIFY2(line.startsWith("vqharvest: ") || line.startsWith("["), err.constData());
    QCOMPARE(p.readAllStandardOutput(), QByteArray());
    QCOMPARE(server.requests(), (QList<QByteArray>{"/p1.html", "/p2.html", "/p3.html"}));

    auto file = [](const QByteArrayList& lines) { return lines.isEmpty() ? QByteArray() : lines.join("\r\n") + "\r\n"; };
    // A fresh crawl's files hold exactly its results, none at all included.
    QCOMPARE(readFile(out + "/autosave&fax.txt"), file(fax));
    QVERIFY(QFile::exists(out + "/autosave&fax.txt"));
    QByteArrayList expectedLinks;
    for (const QByteArray& link : links)
        expectedLinks << (link.startsWith("P/") ? server.url(link.mid(1)) : link);
    QCOMPARE(readFile(out + "/autosave&web.txt"), file(expectedLinks));
    QVERIFY(QFile::exists(out + "/autosave&web.txt"));
    const QByteArrayList ini = QByteArrayList{list.toUtf8(), "3", "3"} + state + QByteArrayList{"1"};
    QCOMPARE(readFile(out + "/vqdornavik.ini"), file(ini));
    QVERIFY2(err.contains(QStringLiteral("vqharvest: 3 of 3 lines done, %1 links, %2 fax numbers\n")
                              .arg(links.size())
                              .arg(fax.size())
                              .toUtf8()),
             err.constData());
    // Only the results, the state, the search record and the pages of the fax
    // numbers are written into DIR.
    QStringList written = QDir(out).entryList(QDir::Files);
    written.sort();
    QStringList expected{"autosave&fax.txt", "autosave&web.txt", "vqdornavik.ini", "vqresults.ini"};
    if (!fax.isEmpty())
        expected << "vqorigins.txt";
    expected.sort();
    QCOMPARE(written, expected);
}

// Ctrl-C after the third page, then a second run resumed at the position the
// state file holds: every line is scanned once, in order (a page still loading
// at the signal is left and visited again), and the results of both runs end
// up in the result file.
void TestVqharvest::interruptAndResume()
{
    const int pages = 8;
    GbkPages server;
    QVERIFY(server.listening());
    QByteArray listText;
    QByteArrayList allFax;
    QList<QByteArray> allPaths;
    for (int i = 1; i <= pages; ++i) {
        const QByteArray path = "/r" + QByteArray::number(i) + ".html";
        const QByteArray number = "0519-8000000" + QByteArray::number(i);
        server.setPage(path, "<p>第" + QByteArray::number(i) + "页</p><p>传真：" + number + "</p>");
        listText += server.url(path) + "\r\n";
        allFax << number;
        allPaths << path;
    }
    QTemporaryDir dir;
    const QString list = dir.filePath("list.txt");
    QVERIFY(writeFile(list, listText));
    const QString out = dir.filePath("out");
    const QStringList common{"crawl", list, "--speed", "1", "--no-net-check", "--out", out};

    QProcess first;
    bool interrupted = false;
    server.onServed = [&] {
        if (!interrupted && server.requests().size() == 3) {
            interrupted = true;
            ::kill(first.processId(), SIGINT);
        }
    };
    start(first, common);
    QVERIFY(waitForExit(first, 60000));
    server.onServed = nullptr;
    QVERIFY(interrupted);
    const QByteArray firstErr = first.readAllStandardError();
    QVERIFY2(first.exitCode() == 130, firstErr.constData());

    const QByteArrayList state = readFile(out + "/vqdornavik.ini").split('\n');
    QVERIFY(state.size() > 2);
    bool ok = false;
    const int position = state[1].trimmed().toInt(&ok);
    QVERIFY(ok);
    QVERIFY2(position >= 2 && position < pages, state[1].constData());
    QVERIFY2(firstErr.contains("--from " + QByteArray::number(position)), firstErr.constData());
    QVERIFY2(firstErr.contains(QByteArray::number(position) + " of 8 lines done"), firstErr.constData());
    // The pages done, and at most the one that was loading at the signal.
    const QList<QByteArray> firstRequests = server.requests();
    QVERIFY(firstRequests == allPaths.mid(0, position) || firstRequests == allPaths.mid(0, position + 1));
    QCOMPARE(readFile(out + "/autosave&fax.txt"), allFax.mid(0, position).join("\r\n") + "\r\n");

    QProcess second;
    start(second, common + QStringList{"--from", QString::number(position)});
    QVERIFY(waitForExit(second, 60000));
    const QByteArray secondErr = second.readAllStandardError();
    QVERIFY2(second.exitCode() == 0, secondErr.constData());
    QVERIFY2(!secondErr.contains("--from"), secondErr.constData());
    QVERIFY2(secondErr.contains("8 of 8 lines done, 0 links, 8 fax numbers"), secondErr.constData());

    QCOMPARE(server.requests(), firstRequests + allPaths.mid(position));
    QCOMPARE(readFile(out + "/vqdornavik.ini").split('\n').value(1), QByteArray("8\r"));
    QCOMPARE(readFile(out + "/autosave&fax.txt"), allFax.join("\r\n") + "\r\n");
}

QTEST_GUILESS_MAIN(TestVqharvest)
#include "test_vqharvest.moc"
