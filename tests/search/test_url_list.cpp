// The URL list source: choosing a list, counting its lines, and reading
// addresses from the open list.
#include "app/list_commands.h"
#include "search/url_list.h"
#include "state/search_state.h"

#include "tests/support/fakes.h"
#include "text/ansi.h"
#include "text/errors.h"

#include <QTemporaryDir>
#include <QTest>

#include <fstream>

using namespace vq;

Q_DECLARE_METATYPE(std::vector<std::string>)

namespace {

void writeBytes(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

} // namespace

class UrlListTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void readAddresses_data();
    void readAddresses();
    void chooseCountsAndShows();
    void cancelChangesNothing();
    void pathKeepsItsCapitals();
    void chineseNameIsKept();
    void chooseAgainRecounts();
    void unencodablePathIsRefused();
    void unreadableFileKeepsCountAndPanel();
    void notOpenIsAtEnd();

private:
    std::filesystem::path file(const std::string& name) const
    {
        return std::filesystem::path(dir_->path().toStdString()) / name;
    }

    std::unique_ptr<QTemporaryDir> dir_;
    fake::FakeMainView view_;
    fake::FakePrompts prompts_;
    SearchSetup setup_;
};

void UrlListTest::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    view_ = fake::FakeMainView();
    prompts_ = fake::FakePrompts();
    setup_.setPosition(SearchPosition{});
}

void UrlListTest::readAddresses_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<std::vector<std::string>>("addresses");

    using V = std::vector<std::string>;
    QTest::newRow("a, b c, empty line") << QByteArray("a\r\nb c\r\n\r\n") << V{"a", "b", ""};
    QTest::newRow("last line without a break") << QByteArray("x\r\ny z") << V{"x", "y"};
    QTest::newRow("empty file") << QByteArray() << V{};
    QTest::newRow("LF breaks") << QByteArray("a\nb\n") << V{"a", "b"};
    QTest::newRow("lone CR is dropped") << QByteArray("http://a\r.cn/ x\r\n") << V{"http://a.cn/"};
    QTest::newRow("Ctrl-Z at a line start ends the data")
        << QByteArray("a\r\n\x1A\r\nb\r\n") << V{"a"};
    QTest::newRow("Ctrl-Z inside a line is data") << QByteArray("a\x1A" "b\r\n") << V{"a\x1A" "b"};
    QTest::newRow("leading space gives the empty address") << QByteArray(" a b\r\n") << V{""};
    QTest::newRow("only the first space cuts") << QByteArray("u v w\r\n") << V{"u"};
    QTest::newRow("tab is not a space, nothing is trimmed") << QByteArray("\ta\tb c") << V{"\ta\tb"};
    QTest::newRow("space at the end") << QByteArray("a \r\n   \r\n") << V{"a", ""};
    QTest::newRow("GBK comment after the address")
        << QByteArray("http://x.cn/\xB4\xAB\xD5\xE6.htm \xCB\xB5\xC3\xF7\r\n")
        << V{"http://x.cn/\xB4\xAB\xD5\xE6.htm"};
}

void UrlListTest::readAddresses()
{
    QFETCH(QByteArray, content);
    QFETCH(std::vector<std::string>, addresses);

    const auto path = file("list.txt");
    writeBytes(path, content.toStdString());

    int32_t total = 0;
    UrlList::countLines(path, total);
    QCOMPARE(total, int32_t(addresses.size()));

    UrlListSource src(view_, prompts_, setup_, dir_->path().toStdString());
    UrlList list;
    setup_.setListPath(utf8ToAnsi(path.native()));
    list.open(setup_.listPath());
    QVERIFY(list.isOpen());
    std::vector<std::string> read;
    while (!list.atEnd())
        read.push_back(list.readAddress());
    QCOMPARE(read, addresses);
    // Past the end: no error, an empty line (or the Ctrl-Z that ended the data).
    const AnsiString past = list.readLine();
    QCOMPARE(past, AnsiString(content.contains("\n\x1A") ? "\x1A" : ""));
    list.close();
    QVERIFY(!list.isOpen());
    QVERIFY(list.atEnd());
}

void UrlListTest::chooseCountsAndShows()
{
    const auto path = file("urls.txt");
    writeBytes(path, "a\r\nb c\r\n\r\n");
    prompts_.fileAnswers.push_back(path);
    view_.panels[1] = "old";

    UrlListSource src(view_, prompts_, setup_, "/prog/dir");
    UrlList list;
    src.N1Click();

    QCOMPARE(prompts_.log.size(), size_t(1));
    QCOMPARE(prompts_.log[0].kind, std::string("open"));
    QCOMPARE(prompts_.log[0].text, std::string("选择网址列表文件"));
    QCOMPARE(prompts_.log[0].detail, std::string("Text files(*.txt)|*.txt|All files(*.*)|*.*|txt"));
    QCOMPARE(prompts_.lastDialog.initialDir, std::filesystem::path("/prog/dir"));
    QVERIFY(!prompts_.lastDialog.confirmOverwrite);
    QCOMPARE(view_.repaints, 1);
    QCOMPARE(setup_.listPath(), utf8ToAnsi(path.native()));
    QCOMPARE(setup_.position().urlTotal, 3);
    QCOMPARE(view_.panels[1], std::string("3"));
}

void UrlListTest::cancelChangesNothing()
{
    setup_.setListPath("/old/list.txt");
    view_.panels[1] = "7";
    setup_.setUrlTotal(7);
    setup_.setProgressIndex(4);
    UrlListSource src(view_, prompts_, setup_, "/prog");
    UrlList list;
    src.N1Click(); // no scripted answer: cancelled
    QCOMPARE(setup_.listPath(), AnsiString("/old/list.txt"));
    QCOMPARE(view_.panels[1], std::string("7"));
    QCOMPARE(setup_.position().urlTotal, 7);
    QCOMPARE(setup_.position().progressIndex, 4);
}

void UrlListTest::pathKeepsItsCapitals()
{
    // Two lists that differ only in letter case are two different files here.
    const auto upper = file("MyList.TXT");
    writeBytes(upper, "a\r\nb\r\n");
    writeBytes(file("mylist.txt"), "only one\r\n");
    prompts_.fileAnswers.push_back(upper);

    UrlListSource src(view_, prompts_, setup_, "/prog");
    UrlList list;
    src.N1Click();
    QCOMPARE(setup_.listPath(), utf8ToAnsi(upper.native()));
    QCOMPARE(setup_.position().urlTotal, 2);
    list.open(setup_.listPath());
    QCOMPARE(list.readAddress(), AnsiString("a"));
    list.close();
}

void UrlListTest::chineseNameIsKept()
{
    const auto path = file("网址列表.txt");
    writeBytes(path, "http://a.cn/\r\n");
    prompts_.fileAnswers.push_back(path);
    UrlListSource src(view_, prompts_, setup_, "/prog");
    UrlList list;
    src.N1Click();
    QCOMPARE(setup_.listPath(), utf8ToAnsi(path.native()));
    QVERIFY(setup_.listPath().find("\xCD\xF8\xD6\xB7") != AnsiString::npos); // 网址 in code page 936
    QCOMPARE(setup_.position().urlTotal, 1);
    list.open(setup_.listPath());
    QCOMPARE(list.readAddress(), AnsiString("http://a.cn/"));
    list.close();
}

void UrlListTest::chooseAgainRecounts()
{
    const auto path = file("urls.txt");
    writeBytes(path, "a\r\n");
    UrlListSource src(view_, prompts_, setup_, "/prog");
    UrlList list;
    prompts_.fileAnswers.push_back(path);
    src.N1Click();
    QCOMPARE(setup_.position().urlTotal, 1);

    writeBytes(path, "a\r\nb\r\nc\r\nd");
    prompts_.fileAnswers.push_back(path);
    src.N1Click();
    QCOMPARE(setup_.position().urlTotal, 4);
    QCOMPARE(view_.panels[1], std::string("4"));
}

void UrlListTest::unencodablePathIsRefused()
{
    // U+1F600 has no code page 936 form; a "?" in its place would name another file.
    const auto path = file("list\xF0\x9F\x98\x80.txt");
    writeBytes(path, "a\r\n");
    setup_.setListPath("/old/list.txt");
    view_.panels[1] = "7";
    setup_.setUrlTotal(7);
    prompts_.fileAnswers.push_back(path);

    UrlListSource src(view_, prompts_, setup_, "/prog");
    UrlList list;
    src.N1Click();
    QCOMPARE(prompts_.texts("information").size(), size_t(1));
    QVERIFY(prompts_.texts("error").empty());
    QCOMPARE(setup_.listPath(), AnsiString("/old/list.txt"));
    QCOMPARE(view_.panels[1], std::string("7"));
    QCOMPARE(setup_.position().urlTotal, 7);
}

void UrlListTest::unreadableFileKeepsCountAndPanel()
{
    view_.panels[1] = "7";
    setup_.setUrlTotal(7);
    UrlListSource src(view_, prompts_, setup_, "/prog");
    UrlList list;

    // A name that is gone by the time it is counted, and a folder.
    for (const auto& path : {file("missing.txt"), std::filesystem::path(dir_->path().toStdString())}) {
        prompts_.fileAnswers.push_back(path);
        QVERIFY_THROWS_EXCEPTION(EInOutError, src.N1Click());
        QCOMPARE(setup_.listPath(), utf8ToAnsi(path.native()));
        QCOMPARE(setup_.position().urlTotal, 0);
        QCOMPARE(view_.panels[1], std::string("7"));
    }
}

void UrlListTest::notOpenIsAtEnd()
{
    UrlListSource src(view_, prompts_, setup_, "/prog");
    UrlList list;
    QVERIFY(!list.isOpen());
    QVERIFY(list.atEnd());
    list.close(); // closing a list that is not open is harmless
    setup_.setListPath(utf8ToAnsi(file("none.txt").native()));
    QVERIFY_THROWS_EXCEPTION(EInOutError, list.open(setup_.listPath()));
    QVERIFY(list.atEnd());
}

QTEST_GUILESS_MAIN(UrlListTest)
#include "test_url_list.moc"
