// The window with several pages at once ("同时打开"): the same result files as
// vqharvest with as many lanes, the position saved, the busy lanes shown; and
// the pages-at-once setting kept between starts.
#include "app/form1.h"
#include "app/web_browser.h"
#include "tests/support/files.h"
#include "tests/support/harvest_process.h"
#include "tests/support/page_server.h"
#include "tests/support/search_window.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTreeView>
#include <QTest>

#include <algorithm>

using namespace vq;
using vq::test::PageServer;
using vq::test::SearchWindow;

namespace {

constexpr int kPages = 24;

// Pages share some numbers and links, so that dedup and list order matter.
QString faxOf(int i) { return QStringLiteral("0519-8%1").arg(1000000 + i % 9); }

} // namespace

class TestWindowLanes : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void sameFilesAsVqharvest_data();
    void sameFilesAsVqharvest();
    void pagesAtOnceIsKept();
    void geometryIsKept_data();
    void geometryIsKept();
    void statusBarFitsTheWindow_data();
    void statusBarFitsTheWindow();

private:
    QStringList list() const
    {
        QStringList lines;
        for (int i = 1; i <= kPages; ++i)
            lines << server_.url(QStringLiteral("/p%1.html").arg(i));
        return lines;
    }
    PageServer server_;
};

void TestWindowLanes::initTestCase()
{
    QVERIFY(server_.listening());
    for (int i = 1; i <= kPages; ++i) {
        const QString body = "<html><body><p>" + QStringLiteral("传真：") + faxOf(i) + "</p><a href=\"/common.html\">c</a>" +
                             "<a href=\"/own" + QString::number(i) + ".html\">o</a></body></html>";
        server_.set(QStringLiteral("/p%1.html").arg(i).toUtf8(), {"200 OK", "text/html; charset=utf-8", body.toUtf8(), {}, true});
    }
}

void TestWindowLanes::sameFilesAsVqharvest_data()
{
    QTest::addColumn<int>("pages");
    QTest::newRow("4 at once") << 4;
}

void TestWindowLanes::sameFilesAsVqharvest()
{
    QFETCH(int, pages);
    SearchWindow w;
    w.setSearchOptions();
    w.form->setChecked(Switch::Autosave, true);
    w.form->setPagesAtOnce(pages);
    w.chooseList(QStringLiteral("list.txt"), list());
    w.start();
    bool sawLanes = false;
    QVERIFY(test::waitFor([&] {
        sawLanes = sawLanes || (w.form->ProgressBar1->isVisible() && w.form->ProgressBar1->isTextVisible() &&
                                w.form->ProgressBar1->text().endsWith(QString("/%1").arg(pages)));
        return w.form->panel(8) == "搜索已经结束!";
    }, 60000));
    QVERIFY(sawLanes);
    QCOMPARE(w.form->engine().session.position(), kPages);
    QVERIFY(w.prompts.texts("error").empty());
    // Paced: each page gets its second; several at once share the time.
    QVERIFY2(w.elapsedMs < 1000LL * kPages / 2, qPrintable(QString::number(w.elapsedMs)));

    // vqharvest on the same list with as many lanes at the same pace.
    QTemporaryDir out;
    test::HarvestProcess harvest;
    QProcess p;
    harvest.start(p, {"crawl", w.dir.filePath("list.txt"), "--speed", "1", "--lanes", QString::number(pages), "--per-host", QString::number(pages),
                      "--links", "--fax", "--dedup", "--filter", "--no-net-check", "--quiet", "--out", out.path()});
    QVERIFY(test::HarvestProcess::waitForExit(p, 90000));
    QCOMPARE(p.exitCode(), 0);
    for (const char* name : {"autosave&web.txt", "autosave&fax.txt"}) {
        const QByteArray window = test::readFile(w.dir.filePath(name));
        QVERIFY2(!window.isEmpty(), name);
        QCOMPARE(window, test::readFile(out.filePath(name)));
    }
}

// "同时打开" is kept in its own file; the state file keeps its ten lines.
void TestWindowLanes::pagesAtOnceIsKept()
{
    auto first = std::make_unique<SearchWindow>();
    const std::filesystem::path dir = toPath(first->dir.path());
    first->form->setPagesAtOnce(40); // beyond the range: the most
    QCOMPARE(first->form->pagesAtOnce(), 16);
    first->form->setPagesAtOnce(6);
    first->form.reset(); // closing writes the settings
    QCOMPARE(test::readFile(QString::fromStdString((dir / "vqlanes.ini").string())), QByteArray("6\r\n"));
    SearchWindow second(dir);
    QCOMPARE(second.form->pagesAtOnce(), 6);
}

// The window's size, place and splitter come back at the next start; the
// first start, or a file that is not ours, keeps the first size.
void TestWindowLanes::geometryIsKept_data()
{
    QTest::addColumn<QByteArray>("file"); // empty: written by the first window
    QTest::addColumn<QSize>("size");
    QTest::newRow("as left") << QByteArray() << QSize(900, 700);
    QTest::newRow("not ours") << QByteArray("wide\r\n") << QSize(630, 463);
    QTest::newRow("too small") << QByteArray("0\r\n0\r\n10\r\n10\r\n0\r\n5\r\n5\r\n") << QSize(630, 463);
}

void TestWindowLanes::geometryIsKept()
{
    QFETCH(QByteArray, file);
    QFETCH(QSize, size);
    auto first = std::make_unique<SearchWindow>();
    QVERIFY(QTest::qWaitForWindowExposed(first->form.get()));
    QCOMPARE(first->form->size(), QSize(630, 463)); // the first start
    const std::filesystem::path dir = toPath(first->dir.path());
    // A taller window gives the result lists part of the extra height.
    const int listsBefore = first->form->ListView3->height();
    first->form->resize(900, 700);
    QTRY_VERIFY(first->form->ListView3->height() >= listsBefore + 60);
    const QList<int> splitter = first->form->Splitter1->sizes();
    first->form.reset();
    if (!file.isEmpty()) {
        QFile f(QString::fromStdString((dir / "vqwindow.ini").string()));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(file);
    }
    SearchWindow second(dir);
    QCOMPARE(second.form->size(), size);
    if (file.isEmpty())
        QCOMPARE(second.form->Splitter1->sizes(), splitter);
}

// While a search runs, everything the status bar shows fits at the window's
// first size: nothing overlaps, no text is cut.
void TestWindowLanes::statusBarFitsTheWindow_data()
{
    QTest::addColumn<int>("lanes");
    QTest::newRow("one page at once") << 1;
    QTest::newRow("16 at once") << 16;
}

void TestWindowLanes::statusBarFitsTheWindow()
{
    QFETCH(int, lanes);
    SearchWindow w;
    TForm1& f = *w.form;
    f.resize(630, 463); // the first size
    QApplication::processEvents();
    QVERIFY2(f.width() == 630, qPrintable(QString::number(f.width())));
    f.setPanel(8, "正在搜索...");
    f.showProgress(1, 10000, "http://www.example.com/");
    QTest::qWait(20);
    f.showProgress(2, 10000, "http://www.example.com/"); // 2:46:40 left at 1 s a line
    f.showLanes(size_t(lanes), size_t(lanes));
    QApplication::processEvents();
    const int right = f.StatusBar1->width();
    QList<QWidget*> shown;
    for (QWidget* child : f.StatusBar1->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        if (child->isVisible() && child->width() > 0 && !child->inherits("QSizeGrip"))
            shown << child;
    std::sort(shown.begin(), shown.end(), [](QWidget* a, QWidget* b) { return a->x() < b->x(); });
    for (int i = 0; i < shown.size(); ++i) {
        QWidget* c = shown[i];
        const QString what = c->objectName() + QString(" at %1+%2 of %3").arg(c->x()).arg(c->width()).arg(right);
        QVERIFY2(c->geometry().right() <= right, qPrintable(what));
        if (i > 0)
            QVERIFY2(c->x() > shown[i - 1]->geometry().right(), qPrintable(what));
        // The panels have their fixed widths; what follows them must show whole.
        if (auto* label = qobject_cast<QLabel*>(c); label && label == f.EtaLabel)
            QVERIFY2(label->width() >= label->sizeHint().width(), qPrintable(what + " " + label->text()));
        if (c == f.ProgressBar1 && lanes > 1)
            QVERIFY2(f.ProgressBar1->fontMetrics().horizontalAdvance(f.ProgressBar1->text()) < c->width(), qPrintable(what));
    }
}

int main(int argc, char** argv)
{
    vq::prepareWebEngine();
    QApplication app(argc, argv);
    TestWindowLanes test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_window_lanes.moc"
