// The merge-and-deduplicate tool: order and equality of entries, the whole-list
// reading of the inputs, the atomic output and the command's dialogs and panel.
#include "tests/support/files.h"
#include "app/list_commands.h"
#include "tools/merge.h"

#include "tests/support/fakes.h"
#include "text/ansi.h"
#include "text/errors.h"

#include <QTemporaryDir>
#include <QTest>

#include <unicode/ucol.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <random>
#include <memory>
#include <sstream>

using namespace vq;

using vq::test::readBytes;
using vq::test::writeBytes;

namespace {

// UTF-8 test text to the code page 936 bytes the files hold.
std::string gbk(const char* utf8) { return utf8ToAnsi(utf8); }

// The straightforward form of the merge: one binary search per entry in a list
// kept sorted by the collator, insertion when no equal entry is there.
std::vector<AnsiString> referenceMerge(const std::vector<AnsiString>& entries)
{
    UErrorCode status = U_ZERO_ERROR;
    UCollator* c = ucol_open("zh_CN", &status);
    ucol_setStrength(c, UCOL_SECONDARY);
    auto cmp = [c](const AnsiString& a, const AnsiString& b) {
        const std::u16string wa = ansiToUtf16(a), wb = ansiToUtf16(b);
        return ucol_strcoll(c, reinterpret_cast<const UChar*>(wa.data()), int32_t(wa.size()),
                            reinterpret_cast<const UChar*>(wb.data()), int32_t(wb.size()));
    };
    std::vector<AnsiString> sorted;
    for (const AnsiString& e : entries) {
        auto it = std::lower_bound(sorted.begin(), sorted.end(), e,
                                   [&](const AnsiString& a, const AnsiString& b) { return cmp(a, b) == UCOL_LESS; });
        if (it == sorted.end() || cmp(*it, e) != UCOL_EQUAL)
            sorted.insert(it, e);
    }
    ucol_close(c);
    return sorted;
}

class EnvGuard {
public:
    EnvGuard()
    {
        for (const char* v : names)
            if (const char* s = std::getenv(v))
                saved_.emplace_back(v, std::string(s));
    }
    ~EnvGuard()
    {
        for (const char* v : names)
            unsetenv(v);
        for (const auto& [k, v] : saved_)
            setenv(k.c_str(), v.c_str(), 1);
    }
    static constexpr const char* names[] = {"LC_ALL", "LC_COLLATE", "LANG"};

private:
    std::vector<std::pair<std::string, std::string>> saved_;
};

} // namespace

class MergeTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
    }

    void mergesFiles_data();
    void mergesFiles();
    void agreesWithOneByOneInsertion();
    void longSharedPrefixes();
    void collatorEqualButNotCaseVariants();
    void outputMayBeAnInput();
    void unreadableInputWritesNothing();
    void commandDialogsAndPanel();
    void commandCancelled_data();
    void commandCancelled();
    void commandFailureRestoresCursor();
    void collationLocaleFromEnvironment_data();
    void collationLocaleFromEnvironment();

private:
    std::filesystem::path path(const char* name) const { return std::filesystem::path(dir_->path().toStdString()) / name; }
    std::unique_ptr<QTemporaryDir> dir_;
};

void MergeTest::mergesFiles_data()
{
    QTest::addColumn<std::vector<std::string>>("inputs"); // raw bytes of each input file
    QTest::addColumn<std::string>("expected");            // raw bytes of the output

    QTest::newRow("a file with itself")
        << std::vector<std::string>{"pear\r\napple\r\npear\r\nfig\r\n", "pear\r\napple\r\npear\r\nfig\r\n"}
        << std::string("apple\r\nfig\r\npear\r\n");
    QTest::newRow("ABC then abc keeps ABC")
        << std::vector<std::string>{"ABC\r\n", "abc\r\n"} << std::string("ABC\r\n");
    QTest::newRow("abc then ABC keeps abc")
        << std::vector<std::string>{"abc\r\nAbC\r\n", "ABC\r\n"} << std::string("abc\r\n");
    QTest::newRow("case variants of URLs")
        << std::vector<std::string>{"HTTP://A.COM/X\r\nhttp://b.com\r\n", "http://a.com/x\r\nHttp://B.com\r\n"}
        << std::string("HTTP://A.COM/X\r\nhttp://b.com\r\n");
    QTest::newRow("an empty line sorts first, once")
        << std::vector<std::string>{"b\r\n\r\na\r\n", "\r\nc\r\n"} << std::string("\r\na\r\nb\r\nc\r\n");
    QTest::newRow("digits before letters, char by char")
        << std::vector<std::string>{"b1\r\n9\r\na\r\n10\r\nZ\r\n"} << std::string("10\r\n9\r\na\r\nb1\r\nZ\r\n");
    QTest::newRow("Chinese in pinyin order")
        << std::vector<std::string>{gbk("张三\r\n李四\r\n王五\r\n阿福\r\n")}
        << gbk("阿福\r\n李四\r\n王五\r\n张三\r\n");
    QTest::newRow("Chinese duplicates across files")
        << std::vector<std::string>{gbk("传真\r\n电话\r\n"), gbk("电话\r\n传真\r\n地址\r\n")}
        << gbk("传真\r\n地址\r\n电话\r\n");
    QTest::newRow("CR, LF, CR LF and LF CR")
        << std::vector<std::string>{"d\re\nc\r\nb\n\ra"} << std::string("\r\na\r\nb\r\nc\r\nd\r\ne\r\n");
    QTest::newRow("a NUL byte ends the data")
        << std::vector<std::string>{std::string("b\r\na\r\n\0z\r\n", 10)} << std::string("a\r\nb\r\n");
    // Pinyin order puts the toned vowel before the plain one.
    QTest::newRow("accents are not case")
        << std::vector<std::string>{gbk("e\r\né\r\nE\r\n")} << gbk("é\r\ne\r\n");
    QTest::newRow("full-width letters are not case")
        << std::vector<std::string>{gbk("ＡＢＣ\r\nABC\r\nａｂｃ\r\n")} << gbk("ＡＢＣ\r\nABC\r\n");
    QTest::newRow("empty inputs") << std::vector<std::string>{"", ""} << std::string();
    QTest::newRow("no trailing break")
        << std::vector<std::string>{"y", "x"} << std::string("x\r\ny\r\n");
}

void MergeTest::mergesFiles()
{
    QFETCH(std::vector<std::string>, inputs);
    QFETCH(std::string, expected);

    std::vector<std::filesystem::path> paths;
    for (size_t i = 0; i < inputs.size(); ++i) {
        paths.push_back(path(("in" + std::to_string(i) + ".txt").c_str()));
        writeBytes(paths.back(), inputs[i]);
    }
    // "A file with itself": the same path twice.
    if (inputs.size() == 2 && inputs[0] == inputs[1])
        paths[1] = paths[0];

    const auto out = path("out.txt");
    mergeFiles(paths, out);
    QCOMPARE(readBytes(out), expected);
}

void MergeTest::agreesWithOneByOneInsertion()
{
    // Random entries with many case variants and repeats, a few Chinese words.
    std::mt19937 rng(7);
    const std::vector<std::string> words = {"a", "B", "c", "Ab", "aB", "1", "10", "9", gbk("中"), gbk("文"),
                                            "-", ".", "/", "http://x", "HTTP://X", gbk("传真"), " ", ""};
    std::vector<AnsiString> entries;
    for (int i = 0; i < 3000; ++i) {
        std::string e;
        const int parts = int(rng() % 4);
        for (int k = 0; k < parts; ++k)
            e += words[rng() % words.size()];
        entries.push_back(e);
    }
    const std::vector<AnsiString> expected = referenceMerge(entries);
    QCOMPARE(distinctSorted(entries), expected);
}

void MergeTest::longSharedPrefixes()
{
    // Page addresses that agree on long stretches and differ late, at every
    // length around multiples of eight key bytes, with case variants.
    std::mt19937 rng(11);
    std::vector<AnsiString> entries;
    for (int i = 0; i < 4000; ++i) {
        std::string e = rng() % 2 ? "http://www.example.com/bbs/" : "HTTP://WWW.EXAMPLE.COM/BBS/";
        const int tail = int(rng() % 40);
        for (int k = 0; k < tail; ++k)
            e += "aAbB0/"[rng() % 6];
        if (rng() % 5 == 0)
            e += gbk("论坛");
        entries.push_back(e);
    }
    QCOMPARE(distinctSorted(entries), referenceMerge(entries));
}

void MergeTest::collatorEqualButNotCaseVariants()
{
    // Control characters are ignored by the collation, but lines that differ in
    // them are different lines: every one is kept, in the order met.
    const std::string controls = "\x01\x02\x03\x04\x05\x06\x07\x08\x0E\x0F\x10\x11\x12\x13\x14\x15";
    std::vector<AnsiString> entries;
    for (char c1 : controls)
        for (char c2 : controls)
            for (char c3 : controls)
                entries.push_back(std::string("a") + c1 + "b" + c2 + c3);
    entries.push_back("AB");
    entries.push_back("ab");
    // All sort alike, so they stay in input order; "ab" is "AB" apart from letter case.
    std::vector<AnsiString> expected = entries;
    expected.pop_back();
    QCOMPARE(distinctSorted(entries), expected);
}

void MergeTest::outputMayBeAnInput()
{
    const auto a = path("a.txt"), b = path("b.txt");
    writeBytes(a, "b\r\nA\r\n");
    writeBytes(b, "c\r\na\r\n");
    mergeFiles({a, b}, a);
    QCOMPARE(readBytes(a), std::string("A\r\nb\r\nc\r\n"));
    QCOMPARE(readBytes(b), std::string("c\r\na\r\n"));
}

void MergeTest::unreadableInputWritesNothing()
{
    const auto a = path("a.txt"), out = path("out.txt");
    writeBytes(a, "x\r\n");
    writeBytes(out, "old\r\n");
    const auto missing = path("missing.txt");
    try {
        mergeFiles({a, missing}, out);
        QFAIL("no error for a missing input");
    } catch (const EFOpenError& e) {
        QCOMPARE(std::string(e.what()), "Cannot open file " + missing.string());
    }
    QCOMPARE(readBytes(out), std::string("old\r\n"));
    QCOMPARE(std::distance(std::filesystem::directory_iterator(dir_->path().toStdString()),
                           std::filesystem::directory_iterator()),
             2); // no temporary file left behind
}

void MergeTest::commandDialogsAndPanel()
{
    fake::FakeMainView view;
    fake::FakePrompts prompts;
    view.panels[6] = "传真：";
    const auto a = path("a.txt"), b = path("b.txt"), out = path("out.txt");
    writeBytes(a, "b\r\nB\r\n");
    writeBytes(b, "a\r\n");
    prompts.multiFileAnswers.push_back({a, b});
    prompts.fileAnswers.push_back(out);

    MergeTool tool(view, prompts, dir_->path().toStdString());
    tool.SpeedButton11Click();

    QCOMPARE(readBytes(out), std::string("a\r\nb\r\n"));
    QCOMPARE(prompts.log.size(), size_t(2));
    QCOMPARE(prompts.log[0].kind, std::string("openMany"));
    QCOMPARE(prompts.log[0].text, std::string("选择一个或多个待合并去重的文件"));
    QCOMPARE(prompts.log[0].detail, std::string("Text files(*.txt)|*.txt|All files(*.*)|*.*|txt"));
    QCOMPARE(prompts.log[1].kind, std::string("save"));
    QCOMPARE(prompts.log[1].text, std::string("合并去重复后的数据文件保存为"));
    QCOMPARE(prompts.log[1].detail, std::string("Text files(*.txt)|*.txt|All files(*.*)|*.*|txt"));
    QCOMPARE(view.busyHistory, (std::vector<bool>{true, false}));
    QVERIFY(view.repaints >= 1);
    QCOMPARE(view.panels[6], std::string("文件合并去重整理完毕！"));
}

void MergeTest::commandCancelled_data()
{
    QTest::addColumn<bool>("chooseInputs");
    QTest::newRow("open dialog cancelled") << false;
    QTest::newRow("save dialog cancelled") << true;
}

void MergeTest::commandCancelled()
{
    QFETCH(bool, chooseInputs);
    fake::FakeMainView view;
    fake::FakePrompts prompts;
    const auto a = path("a.txt");
    writeBytes(a, "b\r\na\r\n");
    if (chooseInputs)
        prompts.multiFileAnswers.push_back({a});

    MergeTool tool(view, prompts, dir_->path().toStdString());
    tool.SpeedButton11Click();

    QCOMPARE(prompts.log.size(), size_t(chooseInputs ? 2 : 1));
    QVERIFY(view.busyHistory.empty());
    QCOMPARE(view.panels[6], std::string());
    QCOMPARE(readBytes(a), std::string("b\r\na\r\n"));
}

void MergeTest::commandFailureRestoresCursor()
{
    fake::FakeMainView view;
    fake::FakePrompts prompts;
    view.panels[6] = "传真：";
    const auto a = path("a.txt"), out = path("out.txt");
    writeBytes(a, "x\r\n");
    writeBytes(out, "old\r\n");
    prompts.multiFileAnswers.push_back({a, path("gone.txt")});
    prompts.fileAnswers.push_back(out);

    MergeTool tool(view, prompts, dir_->path().toStdString());
    // The error goes on to the caller's default handler.
    guarded(prompts, [&] { tool.SpeedButton11Click(); });

    QCOMPARE(prompts.texts("error"), std::vector<std::string>{"Cannot open file " + path("gone.txt").string() + "."});
    QCOMPARE(view.busyHistory, (std::vector<bool>{true, false}));
    QCOMPARE(view.panels[6], std::string("传真："));
    QCOMPARE(readBytes(out), std::string("old\r\n"));
}

void MergeTest::collationLocaleFromEnvironment_data()
{
    QTest::addColumn<QString>("lcAll");
    QTest::addColumn<QString>("lcCollate");
    QTest::addColumn<QString>("lang");
    QTest::addColumn<QString>("expected");

    QTest::newRow("nothing set") << "" << "" << "" << "zh_CN";
    QTest::newRow("C.UTF-8") << "C.UTF-8" << "" << "" << "zh_CN";
    QTest::newRow("POSIX") << "" << "" << "POSIX" << "zh_CN";
    QTest::newRow("LANG zh_CN.GBK") << "" << "" << "zh_CN.GBK" << "zh_CN";
    QTest::newRow("LANG de_DE.UTF-8") << "" << "" << "de_DE.UTF-8" << "de_DE";
    QTest::newRow("LC_COLLATE before LANG") << "" << "fr_FR.UTF-8" << "de_DE.UTF-8" << "fr_FR";
    QTest::newRow("LC_ALL before all") << "en_US.UTF-8" << "fr_FR.UTF-8" << "de_DE.UTF-8" << "en_US";
    QTest::newRow("unknown language") << "" << "" << "qq_ZZ.UTF-8" << "zh_CN";
    QTest::newRow("garbage") << "" << "" << "!!!" << "zh_CN";
}

void MergeTest::collationLocaleFromEnvironment()
{
    QFETCH(QString, lcAll);
    QFETCH(QString, lcCollate);
    QFETCH(QString, lang);
    QFETCH(QString, expected);

    EnvGuard guard;
    const std::pair<const char*, QString> vars[] = {{"LC_ALL", lcAll}, {"LC_COLLATE", lcCollate}, {"LANG", lang}};
    for (const auto& [name, value] : vars) {
        if (value.isEmpty())
            unsetenv(name);
        else
            setenv(name, value.toStdString().c_str(), 1);
    }
    QCOMPARE(QString::fromStdString(userCollationLocale()), expected);
}

QTEST_GUILESS_MAIN(MergeTest)
#include "test_merge.moc"
