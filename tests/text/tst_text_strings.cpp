// Integer text, code page 936 conversion, paths, the I/O error messages and
// case-insensitive replacement.
#include "text/ansi.h"
#include "text/errors.h"
#include "text/integer.h"
#include "text/paths.h"
#include "text/replace.h"

#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <climits>
#include <fstream>
#include <random>

using namespace vq;

namespace {
std::string bytes(const QByteArray& a) { return std::string(a.constData(), size_t(a.size())); }
QByteArray qbytes(const std::string& s) { return QByteArray(s.data(), qsizetype(s.size())); }

// Straightforward model of the replacement: walk the text character by
// character from the start, restart behind every match.
std::string referenceReplace(const std::string& text, const std::string& find, const std::string& with)
{
    if (find.empty())
        return text;
    auto letter = [](unsigned char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; };
    std::vector<bool> trail(find.size(), false);
    for (size_t k = 0; k < find.size(); ++k)
        if (isLeadByte(find[k]) && k + 1 < find.size())
            trail[++k] = true;
    auto matchesAt = [&](size_t p) {
        if (p + find.size() > text.size())
            return false;
        for (size_t k = 0; k < find.size(); ++k) {
            unsigned char a = text[p + k], b = find[k];
            bool fold = !trail[k] && letter(a) && letter(b);
            if (fold ? (a | 0x20) != (b | 0x20) : a != b)
                return false;
        }
        return true;
    };
    std::string out;
    size_t p = 0;
    while (p < text.size()) {
        if (matchesAt(p)) {
            out += with;
            p += find.size();
            continue;
        }
        size_t step = isLeadByte(text[p]) && p + 1 < text.size() ? 2 : 1;
        out.append(text, p, step);
        p += step;
    }
    return out;
}
} // namespace

class TextStringsTest : public QObject {
    Q_OBJECT
private slots:
    void strToIntValid_data();
    void strToIntValid();
    void strToIntInvalid_data();
    void strToIntInvalid();
    void intToStrPlainDecimal();
    void errnoMessages_data();
    void errnoMessages();
    void conversionRoundTrip_data();
    void conversionRoundTrip();
    void unmappableBecomesQuestionMark_data();
    void unmappableBecomesQuestionMark();
    void malformedAnsiNeverYieldsCtrlZ();
    void pathRoundTrip();
    void pathRefused_data();
    void pathRefused();
    void programDir();
    void installedProgramDir_data();
    void installedProgramDir();
    void classifyBytes_data();
    void classifyBytes();
    void replace_data();
    void replace();
    void replaceMatchesModel();
    void findBytes_data();
    void findBytes();
};

void TextStringsTest::strToIntValid_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("value");
    QTest::newRow("zero") << QByteArray("0") << 0;
    QTest::newRow("decimal") << QByteArray("123") << 123;
    QTest::newRow("leading zeros") << QByteArray("000000000000000042") << 42;
    QTest::newRow("leading spaces") << QByteArray("   42") << 42;
    QTest::newRow("plus") << QByteArray("+7") << 7;
    QTest::newRow("minus after spaces") << QByteArray("  -7") << -7;
    QTest::newRow("dollar hex") << QByteArray("$1F") << 31;
    QTest::newRow("dollar hex lower") << QByteArray("$ff") << 255;
    QTest::newRow("x hex") << QByteArray("x10") << 16;
    QTest::newRow("X hex") << QByteArray("X1a") << 26;
    QTest::newRow("0x hex") << QByteArray("0x10") << 16;
    QTest::newRow("0X hex") << QByteArray("0XaB") << 171;
    QTest::newRow("negative hex") << QByteArray(" -$10") << -16;
    QTest::newRow("max") << QByteArray("2147483647") << INT_MAX;
    QTest::newRow("min") << QByteArray("-2147483648") << INT_MIN;
    QTest::newRow("max hex") << QByteArray("$7FFFFFFF") << INT_MAX;
    QTest::newRow("min hex") << QByteArray("-0x80000000") << INT_MIN;
}

void TextStringsTest::strToIntValid()
{
    QFETCH(QByteArray, text);
    QFETCH(int, value);
    QCOMPARE(strToInt(bytes(text)), value);
}

void TextStringsTest::strToIntInvalid_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("message");
    auto row = [](const char* name, const QByteArray& text) {
        QTest::newRow(name) << text << QStringLiteral("'%1' is not a valid integer value").arg(QString::fromLatin1(text));
    };
    row("empty", "");
    row("only spaces", "   ");
    row("trailing space", "12 ");
    row("inner space", "1 2");
    row("space after sign", "- 1");
    row("leading tab", "\t5");
    row("sign only", "-");
    row("two signs", "+-1");
    row("dollar only", "$");
    row("0x only", "0x");
    row("x only", "x");
    row("hex after decimal prefix", "1x5");
    row("bad hex digit", "0x1g");
    row("hex letters in decimal", "12a");
    row("exponent", "1e3");
    row("decimal point", "1.0");
    row("above max", "2147483648");
    row("below min", "-2147483649");
    row("hex above max", "$80000000");
    row("hex all ones", "$FFFFFFFF");
    row("very long", "99999999999999999999999999");
    QTest::newRow("embedded NUL") << QByteArray("1\0", 2) << QString(); // what() stops at the NUL
    QTest::newRow("chinese shown as UTF-8") << QByteArray("\xB4\xAB") << QStringLiteral("'传' is not a valid integer value");
}

void TextStringsTest::strToIntInvalid()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, message);
    try {
        strToInt(bytes(text));
        QFAIL("no exception");
    } catch (const EConvertError& e) {
        if (!message.isNull())
            QCOMPARE(QString::fromUtf8(e.what()), message);
    }
}

void TextStringsTest::intToStrPlainDecimal()
{
    QCOMPARE(intToStr(0), std::string("0"));
    QCOMPARE(intToStr(-42), std::string("-42"));
    QCOMPARE(intToStr(INT_MIN), std::string("-2147483648"));
    QCOMPARE(strToInt(intToStr(INT_MIN)), INT_MIN);
}

void TextStringsTest::errnoMessages_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");
    QTest::newRow("ENOENT") << ENOENT << "File not found";
    QTest::newRow("ENAMETOOLONG") << ENAMETOOLONG << "Invalid filename";
    QTest::newRow("EISDIR") << EISDIR << "Invalid filename";
    QTest::newRow("ENOTDIR") << ENOTDIR << "Invalid filename";
    QTest::newRow("EMFILE") << EMFILE << "Too many open files";
    QTest::newRow("ENFILE") << ENFILE << "Too many open files";
    QTest::newRow("EACCES") << EACCES << "File access denied";
    QTest::newRow("EPERM") << EPERM << "File access denied";
    QTest::newRow("EROFS") << EROFS << "File access denied";
    QTest::newRow("ENOSPC") << ENOSPC << "Disk full";
    QTest::newRow("EDQUOT") << EDQUOT << "Disk full";
    QTest::newRow("EIO") << EIO << "I/O error 5";
}

void TextStringsTest::errnoMessages()
{
    QFETCH(int, code);
    QFETCH(QString, message);
    EInOutError e = inOutError(code);
    QCOMPARE(QString::fromUtf8(e.what()), message);
    QCOMPARE(e.code(), code);
}

void TextStringsTest::conversionRoundTrip_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("ansi");
    QTest::newRow("ascii") << "http://a.b/?x=1" << QByteArray("http://a.b/?x=1");
    QTest::newRow("fax word") << "传真：" << QByteArray::fromHex("b4abd5e6a3ba");
    QTest::newRow("mixed") << "FAX：0519-8" << QByteArray::fromHex("464158a3ba303531392d38");
    QTest::newRow("euro sign is 0x80") << "€" << QByteArray("\x80");
    QTest::newRow("trail byte is a letter") << "丗乫" << QByteArray("\x81" "F" "\x81" "f");
    QTest::newRow("empty") << "" << QByteArray();
}

void TextStringsTest::conversionRoundTrip()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, ansi);
    const std::string utf8 = text.toStdString();
    QCOMPARE(qbytes(utf8ToAnsi(utf8)), ansi);
    QCOMPARE(QString::fromStdString(ansiToUtf8(bytes(ansi))), text);
    QCOMPARE(qbytes(utf16ToAnsi(text.toStdU16String())), ansi);
    QCOMPARE(QString::fromStdU16String(ansiToUtf16(bytes(ansi))), text);
    QVERIFY(representableInAnsi(utf8));
}

void TextStringsTest::unmappableBecomesQuestionMark_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("ansi");
    QTest::newRow("emoji") << "a😀b" << QByteArray("a?b");
    QTest::newRow("hangul") << "한국" << QByteArray("??");
    QTest::newRow("between chinese") << "传😀真" << QByteArray::fromHex("b4ab3fd5e6");
}

void TextStringsTest::unmappableBecomesQuestionMark()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, ansi);
    QCOMPARE(qbytes(utf8ToAnsi(text.toStdString())), ansi);
    QCOMPARE(qbytes(utf16ToAnsi(text.toStdU16String())), ansi);
    QVERIFY(!representableInAnsi(text.toStdString()));
}

void TextStringsTest::malformedAnsiNeverYieldsCtrlZ()
{
    // A lone lead byte must not turn into U+001A, the end mark of line files.
    for (const char* s : {"a\x81", "\x81 z", "\x81\x7F"}) {
        std::u16string wide = ansiToUtf16(s);
        QVERIFY(!wide.empty());
        QVERIFY(wide.find(u'\x1A') == std::u16string::npos);
        QCOMPARE(wide.front(), s[0] == 'a' ? u'a' : u'\xFFFD');
    }
}

void TextStringsTest::pathRoundTrip()
{
    const std::string ansi = "/tmp/\xB4\xAB\xD5\xE6.txt";
    QCOMPARE(ansiToPath(ansi), std::filesystem::path("/tmp/传真.txt"));
    QCOMPARE(pathToAnsi(std::filesystem::path("/tmp/传真.txt")), ansi);
}

void TextStringsTest::pathRefused_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::newRow("emoji") << QByteArray("/tmp/a😀.txt");
    QTest::newRow("hangul") << QByteArray("/tmp/한.txt");
    QTest::newRow("malformed UTF-8") << QByteArray("/tmp/\xFF.txt");
}

void TextStringsTest::pathRefused()
{
    QFETCH(QByteArray, path);
    try {
        pathToAnsi(std::filesystem::path(bytes(path)));
        QFAIL("no exception");
    } catch (const EPathEncodingError& e) {
        const std::string message = e.what();
        QVERIFY(message.find("路径含有无法用GBK编码表示的字符") != std::string::npos);
        QVERIFY(message.find(bytes(path)) != std::string::npos);
    }
}

void TextStringsTest::programDir()
{
    QTemporaryDir tmp;
    const std::filesystem::path root = tmp.path().toStdString();
    QCOMPARE(chooseProgramDir(root, root / "user"), root);
    QVERIFY(!std::filesystem::exists(root / "user"));

    const std::filesystem::path user = root / "data" / "velqordornavik";
    QCOMPARE(chooseProgramDir(root / "missing", user), user);
    QVERIFY(std::filesystem::is_directory(user));

    { std::ofstream(root / "file") << "x"; }
    QVERIFY_THROWS_EXCEPTION(EInOutError, chooseProgramDir(root / "missing", root / "file" / "sub"));
}

// An installed copy (its menu entry in PREFIX/share/applications) keeps its
// files per user even when its bin/ is writable, as it is for root.
void TextStringsTest::installedProgramDir_data()
{
    QTest::addColumn<QString>("exe");      // the executable's directory, under the temporary root
    QTest::addColumn<QStringList>("files"); // files to create under the root
    QTest::addColumn<bool>("own");         // true: its own directory; false: the per-user one

    const QString entry = QStringLiteral("share/applications/example.test.app.desktop");
    QTest::newRow("installed in a prefix") << "usr/bin" << QStringList{"usr/" + entry} << false;
    QTest::newRow("installed, directory given with a slash") << "usr/bin/" << QStringList{"usr/" + entry} << false;
    QTest::newRow("a build folder") << "build/app" << QStringList{} << true;
    QTest::newRow("another program's entry") << "usr/bin"
                                             << QStringList{"usr/share/applications/other.desktop"} << true;
    QTest::newRow("the entry in the executable's own folder") << "usr/bin" << QStringList{"usr/bin/" + entry}
                                                              << true;
}

void TextStringsTest::installedProgramDir()
{
    QFETCH(QString, exe);
    QFETCH(QStringList, files);
    QFETCH(bool, own);

    QTemporaryDir tmp;
    const std::filesystem::path root = tmp.path().toStdString();
    std::filesystem::create_directories(root / exe.toStdString());
    for (const QString& f : files) {
        const std::filesystem::path file = root / f.toStdString();
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file) << "[Desktop Entry]\n";
    }
    const std::filesystem::path user = root / "data" / "app";
    const std::filesystem::path chosen = chooseProgramDir(root / exe.toStdString(), user, "example.test.app.desktop");
    QCOMPARE(chosen, own ? root / exe.toStdString() : user);
    QCOMPARE(std::filesystem::is_directory(user), !own);
}

void TextStringsTest::classifyBytes_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("kind");
    const int ascii = int(ByteText::Ascii), utf8 = int(ByteText::Utf8), other = int(ByteText::NotUtf8);
    QTest::newRow("empty") << QByteArray() << ascii;
    QTest::newRow("ASCII with controls") << QByteArray("FAX: 1\r\n\t\x01") << ascii;
    QTest::newRow("Chinese in UTF-8") << QByteArray("传真：0519") << utf8;
    QTest::newRow("four-byte character") << QByteArray("\xF0\x9F\x98\x80") << utf8;
    QTest::newRow("largest code point") << QByteArray("\xF4\x8F\xBF\xBF") << utf8;
    QTest::newRow("Chinese in GBK") << QByteArray("\xB4\xAB\xD5\xE6\xA3\xBA") << other;
    QTest::newRow("UTF-8, then one GBK character") << QByteArray("传真\xB4\xAB") << other;
    QTest::newRow("cut off at the end") << QByteArray("传\xE7\x9C") << other;
    QTest::newRow("overlong slash") << QByteArray("\xC0\xAF") << other;
    QTest::newRow("surrogate") << QByteArray("\xED\xA0\x80") << other;
    QTest::newRow("above U+10FFFF") << QByteArray("\xF4\x90\x80\x80") << other;
    QTest::newRow("lone continuation byte") << QByteArray("a\x80" "b") << other;
}

void TextStringsTest::classifyBytes()
{
    QFETCH(QByteArray, text);
    QFETCH(int, kind);
    QCOMPARE(int(vq::classifyBytes(bytes(text))), kind);
}

void TextStringsTest::replace_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("find");
    QTest::addColumn<QByteArray>("with");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("case folded") << QByteArray("FAX:1 fax:2 Fax:3") << QByteArray("fAx:") << QByteArray("F") << QByteArray("F1 F2 F3");
    QTest::newRow("no match") << QByteArray("abc") << QByteArray("xyz") << QByteArray("-") << QByteArray("abc");
    QTest::newRow("empty find") << QByteArray("abc") << QByteArray() << QByteArray("-") << QByteArray("abc");
    QTest::newRow("find longer than text") << QByteArray("ab") << QByteArray("abc") << QByteArray("-") << QByteArray("ab");
    QTest::newRow("whole text") << QByteArray("FAX") << QByteArray("fax") << QByteArray() << QByteArray();
    QTest::newRow("left to right, no overlap") << QByteArray("aaa") << QByteArray("aa") << QByteArray("b") << QByteArray("ba");
    QTest::newRow("inserted text not rescanned") << QByteArray("aa") << QByteArray("a") << QByteArray("aa") << QByteArray("aaaa");
    QTest::newRow("inserted lead byte does not hide next match") << QByteArray("xx") << QByteArray("x") << QByteArray("\x81") << QByteArray("\x81\x81");
    QTest::newRow("only letters fold: [ vs {") << QByteArray("{[") << QByteArray("[") << QByteArray("!") << QByteArray("{!");
    QTest::newRow("only letters fold: @ vs `") << QByteArray("`@") << QByteArray("@") << QByteArray("!") << QByteArray("`!");
    QTest::newRow("trail byte F is no match") << QByteArray("\x81" "FAX:") << QByteArray("fax:") << QByteArray("#") << QByteArray("\x81" "FAX:");
    QTest::newRow("trail byte f is no match") << QByteArray("\x81" "fax:") << QByteArray("FAX:") << QByteArray("#") << QByteArray("\x81" "fax:");
    QTest::newRow("after a trail byte match") << QByteArray("\x81" "FAX FAX") << QByteArray("FAX") << QByteArray("#") << QByteArray("\x81" "FAX #");
    QTest::newRow("even run of lead bytes") << QByteArray("\xB4\xAB\xD5\xE6" "FAX") << QByteArray("fax") << QByteArray("#") << QByteArray("\xB4\xAB\xD5\xE6#");
    QTest::newRow("odd run of lead bytes") << QByteArray("\xB4\xAB\x81" "FAX") << QByteArray("fax") << QByteArray("#") << QByteArray("\xB4\xAB\x81" "FAX");
    QTest::newRow("0xFF is a single byte") << QByteArray("\xFF" "FAX") << QByteArray("fax") << QByteArray("#") << QByteArray("\xFF#");
    QTest::newRow("chinese pattern across two characters") << QByteArray("\xB4\xAB\xD5\xE6") << QByteArray("\xAB\xD5") << QByteArray("#") << QByteArray("\xB4\xAB\xD5\xE6");
    QTest::newRow("chinese pattern") << QByteArray("\xB4\xAB\xD5\xE6\xA3\xBA" "1") << QByteArray("\xB4\xAB\xD5\xE6\xA3\xBA") << QByteArray("FAX:") << QByteArray("FAX:1");
    QTest::newRow("trail byte of pattern compared exactly") << QByteArray("\x81" "f" "\x81" "F") << QByteArray("\x81" "F") << QByteArray("#") << QByteArray("\x81" "f#");
}

void TextStringsTest::replace()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, find);
    QFETCH(QByteArray, with);
    QFETCH(QByteArray, expected);
    std::string s = bytes(text);
    replaceAllIgnoreCase(s, bytes(find), bytes(with));
    QCOMPARE(qbytes(s), expected);
}

void TextStringsTest::replaceMatchesModel()
{
    // Random texts over an alphabet rich in lead bytes, letters that are also
    // trail bytes, and the pattern's own bytes.
    const unsigned char alphabet[] = {'F', 'f', 'A', 'a', 'X', ':', ' ', 0x81, 0xB4, 0xAB, 0xD5, 0xFF, 0x40};
    std::mt19937 rng(1234);
    const std::string finds[] = {"fax", "FAX:", "\x81" "F", "\xB4\xAB", "a", "\xAB" "a", "x\x81"};
    for (int round = 0; round < 20000; ++round) {
        std::string text(rng() % 40, ' ');
        for (char& c : text)
            c = char(alphabet[rng() % sizeof alphabet]);
        const std::string& find = finds[round % std::size(finds)];
        const std::string with = round % 3 == 0 ? "" : (round % 3 == 1 ? "#" : "\x81");
        std::string actual = text;
        replaceAllIgnoreCase(actual, find, with);
        const std::string expected = referenceReplace(text, find, with);
        if (actual != expected)
            QFAIL(qPrintable(QStringLiteral("text %1 find %2").arg(QString::fromLatin1(qbytes(text).toHex()),
                                                                   QString::fromLatin1(qbytes(find).toHex()))));
    }
}

void TextStringsTest::findBytes_data()
{
    QTest::addColumn<QByteArray>("haystack");
    QTest::addColumn<QByteArray>("needle");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("expected");
    QTest::newRow("found") << QByteArray("abcabc") << QByteArray("ca") << 0 << 2;
    QTest::newRow("from") << QByteArray("abcabc") << QByteArray("abc") << 1 << 3;
    QTest::newRow("case matters") << QByteArray("ABC") << QByteArray("b") << 0 << -1;
    QTest::newRow("empty needle") << QByteArray("abc") << QByteArray() << 0 << -1;
    QTest::newRow("from past end") << QByteArray("abc") << QByteArray("c") << 7 << -1;
    QTest::newRow("byte search across characters") << QByteArray("\xB4\xAB\xD5\xE6") << QByteArray("\xAB\xD5") << 0 << 1;
}

void TextStringsTest::findBytes()
{
    QFETCH(QByteArray, haystack);
    QFETCH(QByteArray, needle);
    QFETCH(int, from);
    QFETCH(int, expected);
    size_t r = vq::findBytes(bytes(haystack), bytes(needle), size_t(from));
    QCOMPARE(r == std::string_view::npos ? -1 : int(r), expected);
}

QTEST_APPLESS_MAIN(TextStringsTest)
#include "tst_text_strings.moc"
