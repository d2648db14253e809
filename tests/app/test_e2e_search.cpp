// A whole search through the real main window and the real Qt WebEngine, over
// pages served on 127.0.0.1: a GBK page and a UTF-8 page with fax numbers in
// several forms and links of every kind, a page with a frame, a 404 with a
// body, an address on a closed port, an empty line, and a server that never
// answers. The search runs once, at speed 1; the slots then check the exact
// result lists, the status bar, the completions seen per page and the state file.
#include "app/web_browser.h"
#include "app/form1.h"
#include "app/qt_text.h"
#include "app/qt_timer.h"
#include "state/search_state.h"
#include "tests/support/page_server.h"
#include "tests/support/search_window.h"
#include "text/ansi.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>

#include <unistd.h>

#include <memory>

using namespace vq;
using vq::test::PageServer;
using vq::test::SearchWindow;

namespace {

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
    PageServer server_;
    std::unique_ptr<SearchWindow> w_;
    std::vector<PageCase> cases_;
    QString listPath_;
};

void TestE2eSearch::initTestCase()
{
    QVERIFY(server_.listening());
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

    QStringList lines;
    for (const PageCase& c : cases_)
        lines << c.line;
    w_ = std::make_unique<SearchWindow>();
    TForm1& f = *w_->form;
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    // The list is chosen through the "网址" command and its open dialog.
    listPath_ = w_->chooseList(QStringLiteral("网址列表.txt"), lines);
    QCOMPARE(f.Edit5->text(), listPath_);
    QCOMPARE(f.panel(1), std::to_string(cases_.size()));
    w_->setSearchOptions(); // the link filter's lines: "http://" and "." in, "$" and "#" out

    w_->start();
    QCOMPARE(f.panel(8), std::string("正在搜索..."));
    QVERIFY(!f.SpeedButton2->isEnabled());
    const bool finished = w_->waitForEnd(120000);
    qInfo("search over %d lines took %lld ms", int(cases_.size()), w_->elapsedMs);
    qInfo() << "fax list:" << w_->faxRows();
    qInfo() << "link list:" << w_->linkRows();
    QVERIFY2(finished, f.panel(8).c_str());
    QVERIFY(server_.requested("/inner.html")); // the frame was loaded, just not read
    QVERIFY(server_.requested("/never/hang.html"));
}

void TestE2eSearch::cleanupTestCase()
{
    w_.reset();
}

void TestE2eSearch::nothingReported()
{
    // Only the scripted open dialog; no box about any page.
    QCOMPARE(w_->prompts.log.size(), size_t(1));
    QCOMPARE(w_->prompts.log[0].kind, std::string("open"));
    // About 31 s here: the watchdog's second tick, then the last page. A
    // machine so loaded that the hanging page is reached after the first tick
    // takes one watchdog period more.
    QVERIFY2(w_->elapsedMs < 60000, qPrintable(QString::number(w_->elapsedMs)));
}

void TestE2eSearch::faxList()
{
    QStringList expected;
    for (const PageCase& c : cases_)
        expected += c.faxes;
    QCOMPARE(w_->faxRows(), expected);
    QCOMPARE(w_->form->engine().fax.size(), size_t(expected.size()));
}

void TestE2eSearch::linkList()
{
    QStringList expected;
    for (const PageCase& c : cases_)
        expected += c.links;
    QCOMPARE(w_->linkRows(), expected);
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
    const SearchWindow::Seen seen = w_->seen[progress];
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
    QCOMPARE(QString::fromStdString(w_->form->panel(index)), text);
}

void TestE2eSearch::windowIsStopped()
{
    TForm1& f = *w_->form;
    QVERIFY(!f.Timer1->enabled() && !f.Timer2->enabled() && !f.Timer3->enabled());
    QVERIFY(f.SpeedButton1->isEnabled() && f.SpeedButton2->isEnabled());
    QVERIFY(!f.SpeedButton3->isEnabled());
    QVERIFY(f.SpeedButton4->isEnabled());
    QVERIFY(!f.engine().session.running());
}

void TestE2eSearch::stateFile()
{
    QFile file(w_->dir.filePath(QString::fromUtf8(kSearchStateFileName)));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray n = QByteArray::number(qsizetype(cases_.size()));
    const QByteArray expected = gbkBytes(listPath_) + "\r\n" + n + "\r\n" + n +
                                "\r\nqcyes\r\nwebyes\r\nfaxyes\r\nsxyes\r\nbzno\r\nsaveno\r\n1\r\n";
    QCOMPARE(file.readAll(), expected);
}

int main(int argc, char** argv)
{
    vq::prepareWebEngine();
    QApplication app(argc, argv);
    TestE2eSearch test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_e2e_search.moc"
