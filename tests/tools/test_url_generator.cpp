// The URL list generators: the lines of both forms, large and negative values,
// the checks of the number fields before the file is touched, and progress.
#include "tests/support/files.h"
#include "tools/url_generator.h"

#include "text/ansi.h"
#include "text/errors.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <fstream>
#include <memory>
#include <sstream>

using namespace vq;

using vq::test::readBytes;
using vq::test::writeBytes;

namespace {

// Lines (UTF-8 in the test) as the file holds them: code page 936, CR LF each.
std::string fileOf(const QStringList& lines)
{
    std::string out;
    for (const QString& l : lines)
        out += utf8ToAnsi(l.toStdString()) + "\r\n";
    return out;
}

AnsiString a(const QString& s) { return utf8ToAnsi(s.toStdString()); }

} // namespace

class UrlGeneratorTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
    }

    void oneCounter_data();
    void oneCounter();
    void twoCounters_data();
    void twoCounters();
    void badFieldLeavesFileUntouched_data();
    void badFieldLeavesFileUntouched();
    void progressIsPacedAndEndsWithTheCount();
    void millionLinesQuickly();

private:
    std::filesystem::path path(const char* name) const { return std::filesystem::path(dir_->path().toStdString()) / name; }
    std::unique_ptr<QTemporaryDir> dir_;
};

void UrlGeneratorTest::oneCounter_data()
{
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("last");
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QString>("multiplier");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("P20S P40S P60S") << "P" << "1" << "3" << "S" << "20" << QStringList{"P20S", "P40S", "P60S"};
    QTest::newRow("multiplier 0 repeats the line") << "P" << "1" << "3" << "S" << "0" << QStringList{"P0S", "P0S", "P0S"};
    QTest::newRow("last below first: empty file") << "P" << "5" << "4" << "S" << "1" << QStringList{};
    QTest::newRow("one line when first = last") << "http://x/" << "7" << "7" << ".html" << "1"
                                                 << QStringList{"http://x/7.html"};
    QTest::newRow("negative values") << "p" << "-2" << "1" << "" << "1" << QStringList{"p-2", "p-1", "p0", "p1"};
    QTest::newRow("negative multiplier") << "" << "0" << "2" << "" << "-5" << QStringList{"0", "-5", "-10"};
    QTest::newRow("64-bit products, loop ends at the maximum")
        << "u" << "2147483646" << "2147483647" << "" << "3" << QStringList{"u6442450938", "u6442450941"};
    QTest::newRow("minimum times -1")
        << "" << "-2147483648" << "-2147483647" << "" << "-1" << QStringList{"2147483648", "2147483647"};
    QTest::newRow("integer text: spaces, sign, hex") << "" << " +1" << "$3" << "" << "0x10"
                                                      << QStringList{"16", "32", "48"};
    QTest::newRow("Chinese prefix and suffix") << "http://bbs.cn/论坛?p=" << "1" << "2" << "页" << "1"
                                               << QStringList{"http://bbs.cn/论坛?p=1页", "http://bbs.cn/论坛?p=2页"};
}

void UrlGeneratorTest::oneCounter()
{
    QFETCH(QString, prefix);
    QFETCH(QString, first);
    QFETCH(QString, last);
    QFETCH(QString, suffix);
    QFETCH(QString, multiplier);
    QFETCH(QStringList, lines);

    OneCounterFields f;
    f.prefix = a(prefix);
    f.first = a(first);
    f.last = a(last);
    f.suffix = a(suffix);
    f.multiplier = a(multiplier);
    const auto out = path("list.txt");
    writeBytes(out, "old contents\r\n");
    const int64_t count = generateOneCounter(out, f);
    QCOMPARE(count, int64_t(lines.size()));
    QCOMPARE(readBytes(out), fileOf(lines));
}

void UrlGeneratorTest::twoCounters_data()
{
    QTest::addColumn<QString>("front");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("last");
    QTest::addColumn<QString>("middle");
    QTest::addColumn<QString>("second");
    QTest::addColumn<QString>("back");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("1..3 with 10") << "f" << "1" << "3" << "m" << "10" << "b" << QStringList{"f1m10b", "f2m11b", "f3m12b"};
    QTest::newRow("last below first") << "f" << "3" << "1" << "m" << "10" << "b" << QStringList{};
    QTest::newRow("negatives") << "" << "-1" << "1" << "/" << "-5" << "" << QStringList{"-1/-5", "0/-4", "1/-3"};
    QTest::newRow("second counter passes the 32-bit maximum")
        << "" << "1" << "3" << "," << "2147483647" << "" << QStringList{"1,2147483647", "2,2147483648", "3,2147483649"};
    QTest::newRow("first counter ends at the maximum")
        << "t" << "2147483646" << "2147483647" << "_" << "0" << ".htm" << QStringList{"t2147483646_0.htm", "t2147483647_1.htm"};
    QTest::newRow("typical board pages")
        << "http://bbs.x.cn/forum-" << "1" << "2" << "-" << "1" << ".html"
        << QStringList{"http://bbs.x.cn/forum-1-1.html", "http://bbs.x.cn/forum-2-2.html"};
}

void UrlGeneratorTest::twoCounters()
{
    QFETCH(QString, front);
    QFETCH(QString, first);
    QFETCH(QString, last);
    QFETCH(QString, middle);
    QFETCH(QString, second);
    QFETCH(QString, back);
    QFETCH(QStringList, lines);

    TwoCounterFields f;
    f.front = a(front);
    f.first = a(first);
    f.last = a(last);
    f.middle = a(middle);
    f.secondStart = a(second);
    f.back = a(back);
    const auto out = path("list.txt");
    const int64_t count = generateTwoCounters(out, f);
    QCOMPARE(count, int64_t(lines.size()));
    QCOMPARE(readBytes(out), fileOf(lines));
}

void UrlGeneratorTest::badFieldLeavesFileUntouched_data()
{
    QTest::addColumn<bool>("twoCounters");
    QTest::addColumn<QString>("field"); // which field gets the bad text
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("fileExists");

    QTest::newRow("one: first not a number") << false << "first" << "abc" << true;
    QTest::newRow("one: last empty") << false << "last" << "" << true;
    QTest::newRow("one: last with a trailing space") << false << "last" << "5 " << false;
    QTest::newRow("one: multiplier a fraction") << false << "multiplier" << "1.5" << true;
    QTest::newRow("one: multiplier too large") << false << "multiplier" << "2147483648" << false;
    QTest::newRow("one: Chinese digits") << false << "first" << "十" << true;
    QTest::newRow("two: second start") << true << "second" << "x" << true;
    QTest::newRow("two: first") << true << "first" << "-" << true;
    QTest::newRow("two: last") << true << "last" << "" << false;
}

void UrlGeneratorTest::badFieldLeavesFileUntouched()
{
    QFETCH(bool, twoCounters);
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(bool, fileExists);

    const auto out = path("list.txt");
    if (fileExists)
        writeBytes(out, "keep me\r\n");
    QByteArray message;
    try {
        if (twoCounters) {
            TwoCounterFields f;
            f.last = "3";
            (field == "second" ? f.secondStart : field == "first" ? f.first : f.last) = a(text);
            generateTwoCounters(out, f);
        } else {
            OneCounterFields f;
            f.last = "3";
            (field == "first" ? f.first : field == "last" ? f.last : f.multiplier) = a(text);
            generateOneCounter(out, f);
        }
        QFAIL("no error for a bad number field");
    } catch (const EConvertError& e) {
        message = e.what();
    }
    QCOMPARE(QString::fromUtf8(message), "'" + text + "' is not a valid integer value");
    QCOMPARE(std::filesystem::exists(out), fileExists);
    if (fileExists)
        QCOMPARE(readBytes(out), std::string("keep me\r\n"));
    // Nothing else was left in the folder either.
    QCOMPARE(std::distance(std::filesystem::directory_iterator(dir_->path().toStdString()),
                           std::filesystem::directory_iterator()),
             fileExists ? 1 : 0);
}

void UrlGeneratorTest::progressIsPacedAndEndsWithTheCount()
{
    for (bool two : {false, true}) {
        std::vector<int64_t> reports;
        auto record = [&](int64_t n) { reports.push_back(n); };
        const auto out = path("list.txt");
        const int64_t total = 300000;
        if (two) {
            TwoCounterFields f;
            f.first = "1";
            f.last = std::to_string(total);
            generateTwoCounters(out, f, record);
        } else {
            OneCounterFields f;
            f.first = "1";
            f.last = std::to_string(total);
            generateOneCounter(out, f, record);
        }
        QVERIFY(!reports.empty());
        QCOMPARE(reports.back(), total);
        QVERIFY2(reports.size() < 100, "progress reported far too often");
        QVERIFY(std::is_sorted(reports.begin(), reports.end()));
    }

    // An empty range still reports its count.
    std::vector<int64_t> reports;
    OneCounterFields f;
    f.first = "2";
    f.last = "1";
    generateOneCounter(path("empty.txt"), f, [&](int64_t n) { reports.push_back(n); });
    QCOMPARE(reports, std::vector<int64_t>{0});
}

void UrlGeneratorTest::millionLinesQuickly()
{
    OneCounterFields f;
    f.prefix = "http://bbs.example.com/viewthread.php?tid=";
    f.first = "1";
    f.last = "1000000";
    f.suffix = "&page=1";
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(generateOneCounter(path("big.txt"), f), int64_t(1000000));
    // Generous bound for a loaded test machine; the benchmark measures it properly.
    QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed()) + " ms"));
    QCOMPARE(std::filesystem::file_size(path("big.txt")),
             uintmax_t(1000000) * (f.prefix.size() + f.suffix.size() + 2) + 5888896);
}

QTEST_GUILESS_MAIN(UrlGeneratorTest)
#include "test_url_generator.moc"
