// A whole search through the real main window and the real Qt WebEngine, over
// pages served on 127.0.0.1: a GBK page and a UTF-8 page with fax numbers in
// several forms and links of every kind, a page with a frame, a 404 with a
// body, an address on a closed port, an empty line, and a server that never
// answers. The search runs once, at speed 1; the slots then check the exact
// result lists, the status bar, the completions seen per page and the state file.
#include "app/form1.h"
#include "app/qt_text.h"
#include "app/qt_timer.h"
#include "state/search_state.h"
#include "tests/support/event_wait.h"
#include "tests/support/fakes.h"
#include "tests/support/page_server.h"
#include "text/ansi.h"
#include "text/text_file.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

#include <unistd.h>

#include <map>
#include <memory>

using namespace vq;
using vq::test::PageServer;

namespace {

QStringList rows(const QAbstractItemModel* model)
{
    QStringList out;
    for (int i = 0; i < model->rowCount(); ++i)
        out << model->index(i, 0).data().toString();
    return out;
}

QByteArray gbkBytes(const QString& s)
{
    return QByteArray::fromStdString(utf8ToAnsi(s.toStdString()));
}

} // namespace

class TestE2eSearch : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void nothingReported();
    void faxList();
    void linkList();
    void completionsPerPage_data();
    void completionsPerPage();
    void panels_data();
    void panels();
    void windowIsStopped();
    void stateFile();

private:
    // One line of the URL list, in order, with what its page adds.
    struct PageCase {
        QString name;
        QString line;        // the list line (a comment may follow a space)
        int completions;     // DocumentComplete events while it was the current page
        QString location;    // the address the browser held at its completion
        int offered;         // links in the completed document; -1: not checked
        QStringList faxes;   // numbers it adds to the fax list
        QStringList links;   // links it adds to the link list
    };
    // What the browser held at each completion, by ProgressIndex.
    struct Seen {
        int completions = 0;
        QString location;
        int offered = 0;
    };

    PageServer server_;
    QTemporaryDir dir_;
    fake::FakePrompts prompts_;
    fake::FakeHostLookup host_; // a routable address: connected
    std::unique_ptr<TForm1> form_;
    std::vector<PageCase> cases_;
    std::map<int, Seen> seen_;
    QString listPath_;
    qint64 searchMs_ = 0;
};

void TestE2eSearch::initTestCase()
{
    QVERIFY(server_.listening());
    QVERIFY(dir_.isValid());
    const QString base = server_.url("");
    const QByteArray port = QByteArray::number(server_.port());

    // The first page carries the "FAX:" form, the only source of 0519-88888888
    // on it, so the first fax item proves that form is read; the GBK page's
    // "传真：0519-88888888" is then a duplicate.
    server_.set("/utf8.html", {"200 OK", "text/html; charset=utf-8",
        QStringLiteral("<html><head><meta charset=\"utf-8\"><title>u</title></head><body>"
                       "<p>FAX: +86-519-8888 8888</p>"
                       "<p>传真号：0731-2222333</p>"
                       "<p>传真：021-55556666</p>"
                       "<p><a href=\"http://127.0.0.1:%1/common.html\">absolute</a> "
                       "<a href=\"https://127.0.0.1:%1/secure.html\">https</a> "
                       "<a href=\"rel/a.html\">relative</a> "
                       "<a href=\"/common.html\">again</a> "
                       "<a href=\"page.html#part\">fragment</a> "
                       "<a href=\"/buy?item=$5\">dollar</a> "
                       "<a href=\"/中文.html\">中文</a> "
                       "<a name=\"here\">no href</a> "
                       "<a href=\"mailto:someone@example.com\">mail</a></p>"
                       "</body></html>").arg(server_.port()).toUtf8(), {}, true});
    server_.set("/gbk.html", {"200 OK", "text/html; charset=gbk",
        gbkBytes(QStringLiteral("<html><head><title>g</title></head><body>"
                                "<p>传真：0519-88888888</p>"
                                "<p>传真：(010)12345678</p>"
                                "<p>传真：0510-12345</p>"
                                "<p>传真：021-55556666</p>"
                                "<p><a href=\"/common.html\">again, on another page</a> "
                                "<a href=\"HTTP://127.0.0.1:%1/COMMON.html\">upper case</a> "
                                "<a href=\"sub/b.html\">relative</a> "
                                "<a href=\"http://localhost:%1/nodot\">no dot</a> "
                                "<a href=\"javascript:void(0)\">script</a></p>"
                                "</body></html>").arg(server_.port())), {}, true});
    server_.set("/framed.html", {"200 OK", "text/html; charset=utf-8",
        QStringLiteral("<html><body><p>传真：0571-77778888</p><a href=\"/outer.html\">outer</a>"
                       "<iframe src=\"/inner.html\"></iframe></body></html>").toUtf8(), {}, true});
    server_.set("/inner.html", {"200 OK", "text/html; charset=utf-8",
        QStringLiteral("<html><body><p>传真：0755-99998888</p><a href=\"/inner-link.html\">inner</a>"
                       "</body></html>").toUtf8(), {}, true});
    server_.set("/missing.html", {"404 Not Found", "text/html; charset=utf-8",
        QStringLiteral("<html><body><p>传真：0411-3333444</p><a href=\"/home.html\">home</a>"
                       "</body></html>").toUtf8(), {}, true});
    server_.set("/last.html", {"200 OK", "text/html; charset=utf-8",
        QStringLiteral("<html><body><p>传真：0898-66665555</p><a href=\"/end.html\">end</a>"
                       "</body></html>").toUtf8(), {}, true});

    quint16 closedPort = 0;
    {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
        closedPort = closed.serverPort();
    }

    // The server that never answers costs what the watchdog takes: its first
    // tick, 15 s after the start, only notes the position; the second, at 30 s,
    // forces the advance (the page timer's bound of 30 extra ticks would come
    // a little later). So it must be reached before 15 s, that is after only a
    // few pages, and it cannot cost less than about 30 s from the start
    // wherever it stands. One page follows it to show that the search goes on
    // after a forced advance.
    // Columns: name, list line, completions, location at completion, links
    // offered, numbers added, links added.
    const QString closed = QStringLiteral("http://127.0.0.1:%1/closed.html").arg(closedPort);
    cases_ = {
        // Offered: the <a> without href is not a link. Taken: the first
        // absolute link, the relative one (the browser hands it back absolute)
        // and the non-ASCII one (percent-encoded); not https, the repeat on the
        // same page, "#", "$" or mailto.
        {"utf-8 page", base + "/utf8.html", 1, base + "/utf8.html", 8,
         {"0519-88888888", "0731-2222333", "021-55556666"},
         {base + "/common.html", base + "/rel/a.html", base + "/%E4%B8%AD%E6%96%87.html"}},
        // 0519-88888888 and 021-55556666 are repeats, 0510-12345 has 10 bytes.
        // common.html is listed again (once per page); its upper-case spelling
        // is the same link; localhost has no "."; javascript: is not http.
        {"gbk page, comment after the address", base + "/gbk.html 第二页", 1, base + "/gbk.html", 5,
         {"010-12345678"},
         {base + "/common.html", base + "/sub/b.html"}},
        // The frame's number and link stay out.
        {"frame", base + "/framed.html", 1, base + "/framed.html", 1,
         {"0571-77778888"}, {base + "/outer.html"}},
        // The server's body of a 404 is the page shown, and it is read.
        {"404 with a body", base + "/missing.html", 1, base + "/missing.html", 1,
         {"0411-3333444"}, {base + "/home.html"}},
        // The browser's error page: its own link is chrome-error://, not http.
        {"closed port", closed, 1, "chrome-error://chromewebdata/", -1, {}, {}},
        {"empty line", "", 1, "about:blank", 0, {}, {}},
        {"never answers", base + "/never/hang.html", 0, "", 0, {}, {}},
        {"after the forced advance", base + "/last.html", 1, base + "/last.html", 1,
         {"0898-66665555"}, {base + "/end.html"}},
    };

    std::vector<AnsiString> lines;
    for (const PageCase& c : cases_)
        lines.push_back(toAnsi(c.line));
    listPath_ = dir_.filePath(QStringLiteral("网址列表.txt"));
    writeAllLines(toPath(listPath_), lines);

    TForm1::Options options;
    options.prompts = &prompts_;
    options.host = &host_;
    options.programDir = toPath(dir_.path());
    form_ = std::make_unique<TForm1>(options);
    TForm1& f = *form_;
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));

    // Note each completion of the browser, ahead of the page rule.
    Browser& browser = f.engine().ports.browser;
    auto rule = browser.onDocumentComplete;
    browser.onDocumentComplete = [this, &browser, rule](FrameId frame, const AnsiString& url) {
        Seen& seen = seen_[form_->engine().counters.progressIndex];
        ++seen.completions;
        seen.location = toQString(browser.locationUrl());
        seen.offered = browser.linkCount();
        rule(frame, url);
    };

    // The list is chosen through the "网址" command and its open dialog.
    prompts_.fileAnswers = {toPath(listPath_)};
    f.N1Click();
    QCOMPARE(f.Edit5->text(), listPath_);
    QCOMPARE(f.panel(1), std::to_string(cases_.size()));

    f.setSpeed(1);
    f.setChecked(Switch::Links, true);
    f.setChecked(Switch::Fax, true);
    f.setChecked(Switch::Dedup, true);
    f.setChecked(Switch::LinkFilter, true); // default lines: "http://" and "." in, "$" and "#" out

    QElapsedTimer clock;
    clock.start();
    f.N2Click();
    QCOMPARE(f.panel(8), std::string("正在搜索..."));
    QVERIFY(!f.SpeedButton2->isEnabled());
    const bool finished = vq::test::waitFor([&f] { return f.panel(8) == "搜索已经结束!"; }, 120000);
    searchMs_ = clock.elapsed();
    qInfo("search over %d lines took %lld ms", int(cases_.size()), searchMs_);
    qInfo() << "fax list:" << rows(f.ListView4->model());
    qInfo() << "link list:" << rows(f.ListView3->model());
    QVERIFY2(finished, f.panel(8).c_str());
    QVERIFY(server_.requested("/inner.html")); // the frame was loaded, just not read
    QVERIFY(server_.requested("/never/hang.html"));
}

void TestE2eSearch::cleanupTestCase()
{
    form_.reset();
}

void TestE2eSearch::nothingReported()
{
    // Only the scripted open dialog; no box about any page.
    QCOMPARE(prompts_.log.size(), size_t(1));
    QCOMPARE(prompts_.log[0].kind, std::string("open"));
    // Well inside the watchdog's second tick plus the last page.
    QVERIFY2(searchMs_ < 45000, qPrintable(QString::number(searchMs_)));
}

void TestE2eSearch::faxList()
{
    QStringList expected;
    for (const PageCase& c : cases_)
        expected += c.faxes;
    QCOMPARE(rows(form_->ListView4->model()), expected);
    QCOMPARE(form_->engine().fax.size(), size_t(expected.size()));
}

void TestE2eSearch::linkList()
{
    QStringList expected;
    for (const PageCase& c : cases_)
        expected += c.links;
    QCOMPARE(rows(form_->ListView3->model()), expected);
}

void TestE2eSearch::completionsPerPage_data()
{
    QTest::addColumn<int>("progress");
    for (size_t i = 0; i < cases_.size(); ++i)
        QTest::newRow(qPrintable(cases_[i].name)) << int(i + 1);
}

void TestE2eSearch::completionsPerPage()
{
    QFETCH(int, progress);
    const PageCase& c = cases_.at(size_t(progress - 1));
    const Seen seen = seen_[progress];
    QCOMPARE(seen.completions, c.completions);
    QCOMPARE(seen.location, c.location);
    if (c.offered >= 0)
        QCOMPARE(seen.offered, c.offered);
}

void TestE2eSearch::panels_data()
{
    int faxes = 0;
    int links = 0;
    for (const PageCase& c : cases_) {
        faxes += int(c.faxes.size());
        links += int(c.links.size());
    }
    const QString lines = QString::number(cases_.size());
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("text");
    QTest::newRow("1 total") << 1 << lines;
    QTest::newRow("3 progress") << 3 << lines;
    QTest::newRow("5 links") << 5 << QString::number(links);
    QTest::newRow("7 fax") << 7 << QString::number(faxes);
    QTest::newRow("8 status") << 8 << QStringLiteral("搜索已经结束!");
}

void TestE2eSearch::panels()
{
    QFETCH(int, index);
    QFETCH(QString, text);
    QCOMPARE(QString::fromStdString(form_->panel(index)), text);
}

void TestE2eSearch::windowIsStopped()
{
    TForm1& f = *form_;
    QVERIFY(!f.Timer1->enabled() && !f.Timer2->enabled() && !f.Timer3->enabled());
    QVERIFY(f.SpeedButton1->isEnabled() && f.SpeedButton2->isEnabled());
    QVERIFY(!f.SpeedButton3->isEnabled());
    QVERIFY(f.SpeedButton4->isEnabled());
    QVERIFY(!f.engine().urlList.isOpen());
}

void TestE2eSearch::stateFile()
{
    QFile file(dir_.filePath(QString::fromUtf8(kSearchStateFileName)));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray n = QByteArray::number(qsizetype(cases_.size()));
    const QByteArray expected = gbkBytes(listPath_) + "\r\n" + n + "\r\n" + n +
                                "\r\nqcyes\r\nwebyes\r\nfaxyes\r\nsxyes\r\nbzno\r\nsaveno\r\n1\r\n";
    QCOMPARE(file.readAll(), expected);
}

int main(int argc, char** argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    if (::geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QApplication app(argc, argv);
    TestE2eSearch test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_e2e_search.moc"
