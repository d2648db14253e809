// Fax numbers: one line at a time (replacement order, normalisation, length
// bound), the quick line rejection against the step-by-step computation on
// random lines, and whole pages through the browser into the fax list.
#include "search/fax_extractor.h"
#include "search/search_results.h"

#include "tests/support/fakes.h"
#include "tests/support/fax_cases.h"
#include "text/ansi.h"

#include <QTest>

#include <random>

using namespace vq;

namespace {

std::string bytes(const QByteArray& a) { return std::string(a.constData(), size_t(a.size())); }
QByteArray qbytes(const std::string& s) { return QByteArray(s.data(), qsizetype(s.size())); }
QByteArray gbk(const char* utf8) { return qbytes(utf8ToAnsi(utf8)); }

std::vector<AnsiString> initialMarkers()
{
    return {utf8ToAnsi("传真："), utf8ToAnsi("FAX："), utf8ToAnsi("传真号：")};
}

// Pages read from a scripted browser into the fax list, as a search adds
// them: in page order, dedup as given, each number noted with its page.
struct Extraction {
    explicit Extraction(bool dedup, std::vector<AnsiString> markers = initialMarkers())
        : dedup(dedup), scan(std::move(markers))
    {
    }
    void extract(fake::FakeBrowser& from)
    {
        std::vector<AnsiString> numbers;
        ExtractFaxNumbers(from, scan, numbers);
        for (AnsiString& n : numbers)
            results.addFax(std::move(n), from.locationUrl(), dedup);
    }
    bool dedup;
    FaxLineScanner scan;
    fake::FakeBrowser browser;
    SearchResults results;
    ResultList& fax = results.fax;
};

QList<QByteArray> gbkList(std::initializer_list<const char*> utf8)
{
    QList<QByteArray> out;
    for (const char* s : utf8)
        out << gbk(s);
    return out;
}

std::vector<AnsiString> ansiLines(const QList<QByteArray>& list)
{
    std::vector<AnsiString> out;
    for (const QByteArray& a : list)
        out.push_back(bytes(a));
    return out;
}

const QList<QByteArray> kInitialMarkers = gbkList({"传真：", "FAX：", "传真号："});
const QByteArray kNone = QByteArray(); // "yields nothing" in the tables

// A browser whose body text read fails.
class FailingBrowser : public fake::FakeBrowser {
public:
    AnsiString bodyText() override { throw Exception("body not readable"); }
};

} // namespace

class TestFaxExtractor : public QObject {
    Q_OBJECT

private slots:
    void numberFromLine_data();
    void numberFromLine();
    void markerList_data();
    void markerList();
    void quickRejectionAgreesWithStepByStep();
    void extractPages_data();
    void extractPages();
    void extractKeepsCounterAndPanel();
    void originOfEachNumber_data();
    void originOfEachNumber();
    void readFailurePropagates();
};

void TestFaxExtractor::numberFromLine_data()
{
    QTest::addColumn<QByteArray>("line"); // code page 936
    QTest::addColumn<QByteArray>("expected");

    for (const test::FaxLineCase& c : test::faxLineCases())
        QTest::newRow(c.name) << QByteArray::fromStdString(c.line)
                              << (c.expected ? QByteArray(c.expected) : QByteArray());
}

void TestFaxExtractor::numberFromLine()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, expected);
    const std::vector<AnsiString> markers = ansiLines(kInitialMarkers);

    const std::optional<AnsiString> fast = faxNumberFromLine(bytes(line), markers);
    const std::optional<AnsiString> plain = faxNumberFromLineReference(bytes(line), markers);
    QCOMPARE(fast.has_value(), !expected.isNull());
    QCOMPARE(plain.has_value(), !expected.isNull());
    if (fast) {
        QCOMPARE(qbytes(*fast), expected);
        QCOMPARE(qbytes(*plain), expected);
    }
}

void TestFaxExtractor::markerList_data()
{
    QTest::addColumn<QList<QByteArray>>("markers");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("expected");

    const QList<QByteArray> withoutThird = gbkList({"传真：", "FAX："});
    QTest::newRow("传真号： through the list") << kInitialMarkers << gbk("传真号：0519-88888888") << QByteArray("0519-88888888");
    QTest::newRow("传真号： not without it") << withoutThird << gbk("传真号：0519-88888888") << kNone;
    QTest::newRow("no markers, fixed forms still work") << QList<QByteArray>() << gbk("传真：0519-88888888") << QByteArray("0519-88888888");
    QTest::newRow("empty marker changes nothing") << QList<QByteArray>{QByteArray("")} << gbk("电传0519-88888888") << kNone;
    QTest::newRow("empty marker beside others") << QList<QByteArray>{QByteArray(""), gbk("电传")} << gbk("电传0519-88888888") << QByteArray("0519-88888888");
    QTest::newRow("own marker") << gbkList({"电传："}) << gbk("电传：0519-88888888") << QByteArray("0519-88888888");
    QTest::newRow("own marker, other letter case") << gbkList({"Facsimile:"}) << gbk("FACSIMILE:0519-88888888") << QByteArray("0519-88888888");
    QTest::newRow("own marker, spaced text") << gbkList({"Tel/F"}) << gbk("Tel/F 0519-88888888") << QByteArray("0519-88888888");
    QTest::newRow("own marker only on a character start") << gbkList({"@F"}) << QByteArray("\x81@F0519-88888888") << kNone;
    QTest::newRow("own marker on a character start") << gbkList({"@F"}) << QByteArray("\x81\x40@F0519-88888888") << QByteArray("0519-88888888");
    QTest::newRow("marker before fixed replacements") << gbkList({"传真"}) << gbk("传真：0519-88888888") << kNone;
    QTest::newRow("markers in list order") << gbkList({"AB", "真:C"}) << gbk("ABC0519-88888888") << QByteArray("0519-88888888");
    QTest::newRow("later marker sees the earlier one") << gbkList({"真:C", "AB"}) << gbk("ABC0519-88888888") << kNone;
    QTest::newRow("marker made of a single digit") << gbkList({"7"}) << gbk("7051988888888") << QByteArray("051988888888");
}

void TestFaxExtractor::markerList()
{
    QFETCH(QList<QByteArray>, markers);
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, expected);

    const std::optional<AnsiString> fast = faxNumberFromLine(bytes(line), ansiLines(markers));
    const std::optional<AnsiString> plain = faxNumberFromLineReference(bytes(line), ansiLines(markers));
    QCOMPARE(fast.has_value(), !expected.isNull());
    QCOMPARE(plain.has_value(), !expected.isNull());
    if (fast) {
        QCOMPARE(qbytes(*fast), expected);
        QCOMPARE(qbytes(*plain), expected);
    }
}

// The quick rejection must never change a result. Random lines are built from
// pieces that come close to every way a line can turn into a number: the fax
// word and its halves, letters of "fax" in any case, both kinds of space and
// the lone 0xA1 byte between them, colons, brackets, digits, prefixes, other
// double-byte characters, stray lead bytes and random bytes; the marker lists
// vary too, including markers the fixed patterns do not cover.
void TestFaxExtractor::quickRejectionAgreesWithStepByStep()
{
    // A line is noise, then often a fax word or marker spelt with gaps of the
    // bytes the replacements delete (sometimes with a wrong unit), a colon or
    // bracket form, and pieces of a number, then noise again.
    const std::vector<std::vector<std::string>> words = {
        {"\xB4\xAB", "\xD5\xE6"}, {"F", "a", "x"}, {"f", "A", "X"}, {"\xB5\xE7", "\xB4\xAB"}, {"T", "e", "l"},
    };
    const std::vector<std::string> units = {"\xB4", "\xAB", "\xD5", "\xE6", "F", "x", "\xA1", "\x81", "a"};
    const std::vector<std::string> gaps = {"", "", "", "", " ", "  ", "\xA1\xA1", "\xA1", "\xA1 ", " \xA1"};
    const std::vector<std::string> tails = {
        "", ":", "\xA3\xBA", ")", "):", ")\xA3\xBA", "\xA3\xA9\xA3\xBA", "\xBA\xC5\xC2\xEB:",
        "\xBA\xC5\xC2\xEB\xA3\xBA", "\xBA\xC5\xA3\xBA", " ", " :", "\xA3\xBA\xA3\xBA",
    };
    const std::vector<std::string> number = {
        "0", "5", "86", "0086", "086", "0519", "88888888", "021-6666666", "13912345678", "(0519)",
        "-", "--", "+", " ", "((", ")", "\xA1\xA1", "8888 8888",
    };
    const std::vector<std::string> other = {
        "\xB5\xE7", "\xBB\xB0", "\xB4\xF3", "\xB0\xB4", "\xCE\xD2", "a", "e", "F", "tel", "@", "/", ".",
        "\x81", "\x81\x40", "\xFE", "\x80", "\xFF", " ", "\xA1", "\xB4",
    };
    const std::vector<std::vector<std::string>> markerSets = {
        ansiLines(kInitialMarkers),
        {},
        {""},
        {"\xB5\xE7\xB4\xAB"},                 // 电传
        {"Tel", "\xB5\xE7\xB4\xAB\xA3\xBA"},  // Tel, 电传：
        {"x:", "\xD5\xE6:"},                  // markers that finish a fax word
        {"a", ""},
        {"\xA1", "\x81"},
        {"\xB4\xAB", "\xB4\xAB\xD5\xE6"},     // 传, 传真
        {"8", "-"},
        {"f a", "\xA1\xA1"},
        {"Fax"},                              // "fax" without a colon as a marker
        {"FAX", "tel", "\xB4\xAB\xD5\xE6\xA3\xBA"},
    };

    std::mt19937 rng(20261208);
    auto pick = [&rng](size_t n) { return size_t(std::uniform_int_distribution<size_t>(0, n - 1)(rng)); };

    const int lines = 240000;
    int yielded = 0, rejected = 0, joinedByDeletion = 0;
    for (int round = 0; round < lines; ++round) {
        const std::vector<std::string>& markers = markerSets[size_t(round / 1000) % markerSets.size()];
        const FaxLineScanner scan(markers);

        std::string line;
        auto add = [&](const std::vector<std::string>& from, size_t most) {
            for (size_t k = pick(most + 1); k > 0; --k)
                line += pick(10) == 0 ? std::string(1, char(pick(256))) : from[pick(from.size())];
        };
        add(other, 4);
        if (pick(3) != 0) {
            for (const std::string& unit : words[pick(words.size())]) {
                line += pick(8) == 0 ? units[pick(units.size())] : unit;
                line += gaps[pick(gaps.size())];
            }
            line += tails[pick(tails.size())];
            line += gaps[pick(gaps.size())];
            line += number[pick(number.size())];
            add(number, 5);
        }
        add(other, 3);

        const std::optional<AnsiString> plain = faxNumberFromLineReference(line, markers);
        const std::optional<AnsiString> fast = scan(line);
        if (plain != fast) {
            QFAIL(qPrintable(QString("lines differ at %1: %2 (markers set %3)")
                                 .arg(round)
                                 .arg(QString::fromLatin1(qbytes(line).toHex()))
                                 .arg((round / 1000) % markerSets.size())));
        }
        if (plain) {
            ++yielded;
            // Lines whose fax word, "fax" or marker only forms once spaces are gone.
            const QByteArray lower = QByteArray::fromStdString(line).toLower();
            bool literal = lower.contains("\xB4\xAB\xD5\xE6") || lower.contains("fax");
            for (const std::string& marker : markers)
                literal = literal || (!marker.empty() && lower.contains(QByteArray::fromStdString(marker).toLower()));
            if (!literal)
                ++joinedByDeletion;
        }
        if (!scan.mayYield(line))
            ++rejected;
    }
    // The corpus must exercise both sides and the subtle joins.
    QVERIFY2(yielded > lines / 100, qPrintable(QString::number(yielded)));
    QVERIFY2(rejected > lines / 4, qPrintable(QString::number(rejected)));
    QVERIFY2(joinedByDeletion > 100, qPrintable(QString::number(joinedByDeletion)));
}

void TestFaxExtractor::extractPages_data()
{
    QTest::addColumn<QList<QByteArray>>("pages"); // body texts, one page after the other
    QTest::addColumn<bool>("dedup");
    QTest::addColumn<QList<QByteArray>>("expected");

    const QByteArray a = gbk("传真：0519-88888888");
    const QByteArray b = gbk("FAX: 021-66666666");
    const QByteArray c = gbk("传真：(010)12345678");
    const QList<QByteArray> twoPages = {a + "\r\n" + b + "\r\n" + a, gbk("页二\n") + a + "\n" + c};

    QTest::newRow("dedup on across pages") << twoPages << true
                                           << QList<QByteArray>{"0519-88888888", "021-66666666", "010-12345678"};
    QTest::newRow("dedup off across pages")
        << twoPages << false
        << QList<QByteArray>{"0519-88888888", "021-66666666", "0519-88888888", "0519-88888888", "010-12345678"};
    QTest::newRow("CR, LF and CR LF end lines")
        << QList<QByteArray>{a + "\r" + b + "\n" + c + "\r\n" + a} << false
        << QList<QByteArray>{"0519-88888888", "021-66666666", "010-12345678", "0519-88888888"};
    QTest::newRow("one number per line")
        << QList<QByteArray>{a + " " + b} << false << QList<QByteArray>{"0519-88888888"};
    QTest::newRow("NUL ends the text")
        << QList<QByteArray>{a + "\r\n" + QByteArray(1, '\0') + b, c} << false
        << QList<QByteArray>{"0519-88888888", "010-12345678"};
    QTest::newRow("NUL inside a line")
        << QList<QByteArray>{gbk("传真：0519-888") + QByteArray(1, '\0') + "88888"} << false << QList<QByteArray>{};
    QTest::newRow("empty page") << QList<QByteArray>{QByteArray()} << true << QList<QByteArray>{};
    QTest::newRow("spaced marker split over lines")
        << QList<QByteArray>{gbk("传真：\r\n0519-88888888")} << false << QList<QByteArray>{};
}

void TestFaxExtractor::extractPages()
{
    QFETCH(QList<QByteArray>, pages);
    QFETCH(bool, dedup);
    QFETCH(QList<QByteArray>, expected);

    Extraction x(dedup);

    for (const QByteArray& page : pages) {
        x.browser.setPage({"http://a.example/", {}, bytes(page)});
        x.extract(x.browser);
    }

    QList<QByteArray> got;
    for (const AnsiString& item : x.fax.items())
        got << qbytes(item);
    QCOMPARE(got, expected);
}

// Every number is noted with the page it was found on; with dedup a number
// keeps the first page. The origin is never part of the item.
void TestFaxExtractor::originOfEachNumber_data()
{
    QTest::addColumn<bool>("dedup");
    QTest::addColumn<QList<QByteArray>>("origins");
    QTest::newRow("dedup on: the first page") << true << QList<QByteArray>{"http://p1/", "http://p1/", "http://p2/"};
    QTest::newRow("dedup off: each page")
        << false << QList<QByteArray>{"http://p1/", "http://p1/", "http://p2/", "http://p2/"};
}

void TestFaxExtractor::originOfEachNumber()
{
    QFETCH(bool, dedup);
    QFETCH(QList<QByteArray>, origins);
    Extraction x(dedup);
    x.browser.setPage({"http://p1/", {}, bytes(gbk("传真：0519-88888888\nFAX: 021-66666666"))});
    x.extract(x.browser);
    x.browser.setPage({"http://p2/", {}, bytes(gbk("传真：0519-88888888\n传真：(010)12345678"))});
    x.extract(x.browser);
    QList<QByteArray> got;
    for (size_t i = 0; i < x.fax.size(); ++i)
        got << qbytes(x.fax.origin(i));
    QCOMPARE(got, origins);
    QCOMPARE(qbytes(x.fax.items().back()), QByteArray("010-12345678"));
}

// Numbers already in the list count as duplicates; the marker list is the
// search's own.
void TestFaxExtractor::extractKeepsCounterAndPanel()
{
    Extraction x(true, {utf8ToAnsi("电传：")});
    for (int i = 0; i < 1000; ++i)
        x.fax.append("0519-8" + std::to_string(1000000 + i));

    x.browser.setPage({"http://a.example/", {},
                       utf8ToAnsi("电传：0519-81000007\r\n电传：0519-88888888\r\n传真号：0519-87777777")});
    x.extract(x.browser);

    QCOMPARE(x.fax.size(), size_t(1001));
    QCOMPARE(qbytes(x.fax.at(1000)), QByteArray("0519-88888888"));
}

void TestFaxExtractor::readFailurePropagates()
{
    FailingBrowser browser;
    Extraction x(false);
    x.fax.append("0519-88888888");

    QVERIFY_THROWS_EXCEPTION(Exception, x.extract(browser));
    QCOMPARE(x.fax.size(), size_t(1));
}

QTEST_APPLESS_MAIN(TestFaxExtractor)
#include "test_fax_extractor.moc"
