// A search through the real main window and Qt WebEngine over pages that are
// hard to read: about 10 MB of text, one line of about 2 MB, binary junk served
// as HTML, documents without an HTML body (SVG, plain text) and links without a
// usable href. None may crash or hold up the search: each is read as far as it
// goes, the search moves on to a plain page after them and finishes.
#include "app/web_browser.h"
#include "app/form1.h"
#include "app/qt_timer.h"
#include "tests/support/page_server.h"
#include "tests/support/search_window.h"
#include "text/ansi.h"

#include <QApplication>
#include <QTest>

#include <unistd.h>

#include <cstdint>
#include <memory>

using namespace vq;
using vq::test::PageServer;
using vq::test::SearchWindow;

namespace {

// Deterministic bytes of every value, NUL and '<' included.
QByteArray junk(int size, std::uint32_t seed)
{
    QByteArray out(size, '\0');
    for (int i = 0; i < size; ++i) {
        seed = seed * 1664525u + 1013904223u;
        out[i] = char(seed >> 24);
    }
    return out;
}

} // namespace

class TestE2eBadInput : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void searchFinished();
    void pages_data();
    void pages();
    void faxList();
    void linkList();

private:
    struct PageCase {
        QString name;
        QString path;
        QString location;       // at completion
        qsizetype minTextBytes; // the body text read at least this long
        qsizetype maxTextBytes;
        QStringList faxes;
        QStringList links;
    };

    PageServer server_;
    std::unique_ptr<SearchWindow> w_;
    std::vector<PageCase> cases_;
};

void TestE2eBadInput::initTestCase()
{
    QVERIFY(server_.listening());
    const QString base = server_.url("");

    // About 10 MB of text in 100,000 lines, a number at the start and at the end.
    QByteArray pre = QStringLiteral("传真：0532-88887777\n").toUtf8();
    const QByteArray filler = "line of filler text that holds no number at all, only words and spaces "
                              "to make up the size ";
    for (int i = 0; i < 100000; ++i)
        pre += QByteArray::number(i) + ' ' + filler + '\n';
    pre += QStringLiteral("传真：0532-11112222\n").toUtf8();
    const auto hugeText = qsizetype(utf8ToAnsi(pre.toStdString()).size());
    server_.set("/huge.html", {"200 OK", "text/html; charset=utf-8",
                               "<html><body><pre>" + pre + "</pre><a href=\"/after-huge.html\">next</a></body></html>",
                               {}, true});

    // One line of about 2 MB without a break or a space, the number at its start.
    const QByteArray longLine = QStringLiteral("<html><body>传真：0351-5556667").toUtf8() +
                                QByteArray(2 * 1024 * 1024, 'x') + "</body></html>";
    const qsizetype longText = 18 + 2 * 1024 * 1024; // the marker and number in code page 936, the x's
    server_.set("/long-line.html", {"200 OK", "text/html; charset=utf-8", longLine, {}, true});

    server_.set("/junk.html", {"200 OK", "text/html", junk(256 * 1024, 936), {}, true});

    server_.set("/image.svg", {"200 OK", "image/svg+xml",
        QStringLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\">"
                       "<a xlink:href=\"/from-svg.html\"><text y=\"20\">传真：0577-12345678</text></a></svg>")
            .toUtf8(), {}, true});
    server_.set("/plain.txt", {"200 OK", "text/plain",
        "FAX:0471-1112223\r\n<a href=\"/from-text.html\">not a link</a>\r\n", {}, true});

    server_.set("/no-href.html", {"200 OK", "text/html; charset=utf-8",
        "<html><body><a>no href</a> <a name=\"n\">named</a> <a href=\"\">empty</a> "
        "<a href=\"   \">spaces</a> <map name=\"m\"><area shape=\"rect\" coords=\"0,0,1,1\"></map> "
        "<a href=\"/ok.html\">ok</a></body></html>", {}, true});

    server_.set("/good.html", {"200 OK", "text/html; charset=utf-8",
        QStringLiteral("<html><body><p>传真：0991-2223334</p><a href=\"/final.html\">final</a></body></html>")
            .toUtf8(), {}, true});

    cases_ = {
        // Read whole: text from the first to the last line, both numbers.
        {"10 MB of text", "/huge.html", base + "/huge.html", hugeText, hugeText + 16,
         {"0532-88887777", "0532-11112222"}, {base + "/after-huge.html"}},
        {"one line of 2 MB", "/long-line.html", base + "/long-line.html", longText, longText,
         {"0351-5556667"}, {}},
        // Whatever the browser makes of it, it holds no number and no link.
        {"binary junk as html", "/junk.html", base + "/junk.html", 1, 1'000'000, {}, {}},
        // No body, so no text; its <a> is an SVG element, not one of the
        // document's links.
        {"svg document", "/image.svg", base + "/image.svg", 0, 0, {}, {}},
        // The browser shows plain text in a body of its own: the number is
        // read, the markup in it is text.
        {"plain text document", "/plain.txt", base + "/plain.txt", 1, 200, {"0471-1112223"}, {}},
        // Anchors and areas without href are no links. An empty or blank href
        // is a link to the page itself (listed once).
        {"links without href", "/no-href.html", base + "/no-href.html", 1, 200, {},
         {base + "/no-href.html", base + "/ok.html"}},
        {"plain page after them", "/good.html", base + "/good.html", 1, 200,
         {"0991-2223334"}, {base + "/final.html"}},
    };

    QStringList lines;
    for (const PageCase& c : cases_)
        lines << base + c.path;
    w_ = std::make_unique<SearchWindow>();
    QVERIFY(QTest::qWaitForWindowExposed(w_->form.get()));
    w_->chooseList(QStringLiteral("list.txt"), lines);
    w_->setSearchOptions();
    w_->start();
    const bool finished = w_->waitForEnd(90000);
    qInfo("search over %d lines took %lld ms", int(cases_.size()), w_->elapsedMs);
    for (const auto& [index, s] : w_->seen)
        qInfo() << index << s.atMs << "ms" << s.completions << s.location << s.offered << s.textBytes;
    qInfo() << "fax list:" << w_->faxRows();
    qInfo() << "link list:" << w_->linkRows();
    QVERIFY(finished);
}

void TestE2eBadInput::cleanupTestCase()
{
    w_.reset();
}

void TestE2eBadInput::searchFinished()
{
    TForm1& f = *w_->form;
    QCOMPARE(f.panel(3), std::to_string(cases_.size()));
    QVERIFY(!f.Timer1->enabled() && !f.Timer3->enabled());
    // No box: every page was read without an error.
    QCOMPARE(w_->prompts.texts("error"), std::vector<std::string>{});
    // Each page took about a second here (the 10 MB one about six); that no
    // page was abandoned is shown by the pages' completions and texts below.
    QVERIFY2(w_->elapsedMs < 60000, qPrintable(QString::number(w_->elapsedMs)));
}

void TestE2eBadInput::pages_data()
{
    QTest::addColumn<int>("progress");
    for (size_t i = 0; i < cases_.size(); ++i)
        QTest::newRow(qPrintable(cases_[i].name)) << int(i + 1);
}

void TestE2eBadInput::pages()
{
    QFETCH(int, progress);
    const PageCase& c = cases_.at(size_t(progress - 1));
    const SearchWindow::Seen seen = w_->seen[progress];
    QCOMPARE(seen.completions, 1);
    QCOMPARE(seen.location, c.location);
    QVERIFY2(seen.textBytes >= c.minTextBytes && seen.textBytes <= c.maxTextBytes,
             qPrintable(QString::number(seen.textBytes)));
}

void TestE2eBadInput::faxList()
{
    QStringList expected;
    for (const PageCase& c : cases_)
        expected += c.faxes;
    QCOMPARE(w_->faxRows(), expected);
}

void TestE2eBadInput::linkList()
{
    QStringList expected;
    for (const PageCase& c : cases_)
        expected += c.links;
    QCOMPARE(w_->linkRows(), expected);
}

int main(int argc, char** argv)
{
    vq::prepareWebEngine();
    QApplication app(argc, argv);
    TestE2eBadInput test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_e2e_bad_input.moc"
