// The main window keeps every result a user has seen: "放弃" and a confirmed
// "继续" (in the same run and after a restart), autosave at the end of a search
// and at "终止", the exit question when results are unsaved. Also the progress
// in the status bar and the tray, the splitter, the result lists' context menu,
// where a fax number came from, the https switch's file, Qt's Chinese texts and
// the one-copy lock. Searches run through the window and WebEngine over pages
// served on 127.0.0.1, with scripted boxes.
#include "app/form1.h"
#include "app/qt_text.h"
#include "app/single_copy.h"
#include "app/translations.h"
#include <QSystemTrayIcon>
#include "app/web_browser.h"
#include "state/search_state.h"
#include "tests/support/files.h"
#include "tests/support/page_server.h"
#include "tests/support/search_window.h"
#include "text/text_file.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLockFile>
#include <QMenu>
#include <QProgressBar>
#include <QSignalSpy>
#include <QSplitter>
#include <QSysInfo>
#include <QTest>
#include <QTreeView>
#include <QWebEngineView>

#include <memory>

using namespace vq;
using vq::test::PageServer;
using vq::test::SearchWindow;
using vq::test::waitFor;

namespace {

constexpr int kPages = 6;

QString faxOf(int page) { return QStringLiteral("0519-8888%1").arg(1000 + page); }

QStringList faxesOf(int first, int last)
{
    QStringList out;
    for (int i = first; i <= last; ++i)
        out << faxOf(i);
    return out;
}

QStringList fileLines(const std::filesystem::path& path)
{
    QStringList out;
    if (fileExists(path))
        for (const AnsiString& line : readAllLines(path))
            out << toQString(line);
    return out;
}

} // namespace

class TestForm1Results : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void resumeKeepsResults_data();
    void resumeKeepsResults();
    void autosaveAtEndAndStop_data();
    void autosaveAtEndAndStop();
    void exitQuestion_data();
    void exitQuestion();

    void splitterLayout();
    void contextMenu();
    void httpsSwitchFile();
    void qtTextsInChinese();
    void oneCopyPerDirectory();

private:
    // Page i carries fax number faxOf(i) and one link.
    QStringList listLines() const
    {
        QStringList lines;
        for (int i = 1; i <= kPages; ++i)
            lines << server_.url(QStringLiteral("/p%1.html").arg(i));
        return lines;
    }
    void prepare(SearchWindow& w, bool autosave)
    {
        w.chooseList(QStringLiteral("list.txt"), listLines());
        w.setSearchOptions();
        w.form->setChecked(Switch::Dedup, false); // a page visited twice would show twice
        w.form->setChecked(Switch::Autosave, autosave);
    }
    // Starts the search, stops it once `found` numbers are listed, waits for the end.
    static bool stopAfter(SearchWindow& w, int found)
    {
        w.start();
        if (!waitFor([&] { return w.faxRows().size() >= found; }, 30000))
            return false;
        w.form->N3Click();
        return w.waitForEnd(30000);
    }

    PageServer server_;
};

void TestForm1Results::initTestCase()
{
    QVERIFY(server_.listening());
    for (int i = 1; i <= kPages; ++i) {
        server_.set(QStringLiteral("/p%1.html").arg(i).toUtf8(),
                    {"200 OK", "text/html; charset=utf-8",
                     ("<html><body><p>" + QStringLiteral("传真：") + faxOf(i) + "</p><a href=\"/next" +
                      QString::number(i) + ".html\">next</a></body></html>")
                         .toUtf8(),
                     {}, true});
    }
}

// Crawl, "终止" after two numbers, "放弃", then "继续" confirmed with the offered
// position: in the same window, or in a new window on the same directory after
// "进程" (a restart). The lists then cover the whole search, each page once, and
// so does the file "进程" writes.
void TestForm1Results::resumeKeepsResults_data()
{
    QTest::addColumn<bool>("restart");
    QTest::newRow("same run") << false;
    QTest::newRow("after a restart") << true;
}

void TestForm1Results::resumeKeepsResults()
{
    QFETCH(bool, restart);
    auto first = std::make_unique<SearchWindow>();
    prepare(*first, false);

    // While the search runs: the progress bar, its tooltip and the tray's tooltip.
    first->start();
    QVERIFY(waitFor([&] { return first->form->engine().session.lanes().linesRead() >= 2; }, 30000));
    TForm1& f1 = *first->form;
    QVERIFY(f1.ProgressBar1->isVisible());
    QCOMPARE(f1.ProgressBar1->maximum(), kPages);
    QCOMPARE(f1.ProgressBar1->value(), f1.engine().session.lanes().linesRead());
    QCOMPARE(f1.ProgressBar1->toolTip(),
             server_.url(QStringLiteral("/p%1.html").arg(f1.engine().session.lanes().linesRead())));
    QVERIFY(f1.EtaLabel->isVisible());
    QCOMPARE(f1.TrayIcon1->toolTip(), QStringLiteral("『VelqorDornavik』V2.0 — 进程 %1/%2")
                                                 .arg(f1.engine().session.lanes().linesRead())
                                                 .arg(kPages));
    f1.N3Click();
    QVERIFY(first->waitForEnd(30000));
    QVERIFY(!f1.ProgressBar1->isVisible());
    QCOMPARE(f1.TrayIcon1->toolTip(), QStringLiteral("『VelqorDornavik』V2.0"));

    const QStringList before = first->faxRows();
    const int found = int(before.size());
    QVERIFY(found >= 2 && found < kPages);
    QCOMPARE(before, faxesOf(1, found));

    SearchWindow* w = first.get();
    std::unique_ptr<SearchWindow> second;
    if (restart) {
        f1.SpeedButton8Click(); // "进程": state and results on disk
        const std::filesystem::path dir = toPath(first->dir.path());
        first->form.reset();
        second = std::make_unique<SearchWindow>(dir);
        w = second.get();
        QVERIFY(w->faxRows().isEmpty());
    }
    TForm1& f = *w->form;

    // "放弃" leaves the lists as they were.
    w->prompts.inputAnswers = {std::nullopt};
    f.N4Click();
    QCOMPARE(f.panel(8), std::string("取消继续搜索..."));
    QCOMPARE(w->faxRows(), restart ? QStringList() : before);
    const int32_t offered = f.engine().session.position();
    QCOMPARE(offered, found);

    // A confirmed resume goes on with the earlier results in the lists.
    w->prompts.inputAnswers = {std::to_string(offered)};
    f.N4Click();
    QCOMPARE(f.panel(8), std::string("继续搜索..."));
    QCOMPARE(w->faxRows(), before);
    QCOMPARE(f.panel(7), std::to_string(found));
    QVERIFY(w->waitForEnd(30000));
    QCOMPARE(w->prompts.texts("error"), std::vector<std::string>{});
    QCOMPARE(w->faxRows(), faxesOf(1, kPages));
    QCOMPARE(f.panel(7), std::to_string(kPages));
    QCOMPARE(w->linkRows().size(), qsizetype(kPages));

    // Each number found in this run shows the page it came from.
    QAbstractItemModel* fax = f.ListView4->model();
    const QModelIndex last = fax->index(kPages - 1, 0);
    QCOMPARE(last.data(Qt::ToolTipRole).toString(), server_.url(QStringLiteral("/p%1.html").arg(kPages)));

    f.SpeedButton8Click();
    QCOMPARE(fileLines(f.programDir() / "autosave&fax.txt"), faxesOf(1, kPages));
    QCOMPARE(fileLines(f.programDir() / "autosave&web.txt"), w->linkRows());
}

// With "自动保存" checked both result files are written at the end of a search,
// and at "终止" before the current page is done.
void TestForm1Results::autosaveAtEndAndStop_data()
{
    QTest::addColumn<bool>("stop");
    QTest::newRow("end of the list") << false;
    QTest::newRow("stop") << true;
}

void TestForm1Results::autosaveAtEndAndStop()
{
    QFETCH(bool, stop);
    SearchWindow w;
    prepare(w, true);
    const std::filesystem::path dir = w.form->programDir();
    w.start();
    if (stop) {
        QVERIFY(waitFor([&] { return w.faxRows().size() >= 1; }, 30000));
        w.form->N3Click();
        QCOMPARE(fileLines(dir / "autosave&fax.txt"), w.faxRows());
        QCOMPARE(fileLines(dir / "autosave&web.txt"), w.linkRows());
        QCOMPARE(w.faxRows(), faxesOf(1, int(w.faxRows().size())));
    }
    QVERIFY(w.waitForEnd(30000));
    if (!stop)
        QCOMPARE(w.faxRows(), faxesOf(1, kPages));
    QCOMPARE(fileLines(dir / "autosave&fax.txt"), w.faxRows());
    QCOMPARE(fileLines(dir / "autosave&web.txt"), w.linkRows());
    QCOMPARE(w.prompts.texts("error"), std::vector<std::string>{});
}

// The exit question keeps its text as the first line; a second line says when
// the lists hold results no file has. No keeps the window open either way.
void TestForm1Results::exitQuestion_data()
{
    QTest::addColumn<QString>("situation");
    QTest::addColumn<bool>("unsaved");
    QTest::newRow("nothing found") << "none" << false;
    QTest::newRow("found, not saved") << "found" << true;
    QTest::newRow("saved by 进程") << "progress" << false;
    QTest::newRow("saved by 保存") << "save" << false;
    QTest::newRow("found after saving") << "more" << true;
    QTest::newRow("only one list exported") << "export" << true;
    QTest::newRow("list cleared") << "clear" << false;
}

void TestForm1Results::exitQuestion()
{
    QFETCH(QString, situation);
    QFETCH(bool, unsaved);
    SearchWindow w;
    TForm1& f = *w.form;
    if (situation != "none") {
        f.engine().fax.append("0519-88881001");
        f.engine().links.append("http://a.example/");
    }
    const std::filesystem::path out = f.programDir() / "out.txt";
    if (situation == "progress" || situation == "more")
        f.SpeedButton8Click();
    if (situation == "more")
        f.engine().links.append("http://b.example/");
    if (situation == "save") {
        w.prompts.fileAnswers = {out};
        f.N5Click();
    }
    if (situation == "export") {
        w.prompts.fileAnswers = {out};
        f.resultMenuFor(f.ListView4)->actions(); // the menu is opened for the fax list
        f.ExportItem->trigger();
    }
    if (situation == "clear") {
        w.prompts.confirmAnswers = {true, true};
        f.resultMenuFor(f.ListView3);
        f.ClearItem->trigger();
        f.resultMenuFor(f.ListView4);
        f.ClearItem->trigger();
    }
    w.prompts.log.clear();
    QVERIFY(!f.close()); // no scripted answer: No
    QVERIFY(f.isVisible());
    const std::string question = "确认退出VelqorDornavik吗?";
    QCOMPARE(w.prompts.texts("confirm"),
             std::vector<std::string>{unsaved ? question + "\n当前有尚未保存的搜索结果。" : question});
}

// The result band starts at its own height with the browser below it; the
// lists get a third of what the window gains; dragging the splitter enlarges
// the lists, whose one column fills their width.
void TestForm1Results::splitterLayout()
{
    SearchWindow w;
    TForm1& f = *w.form;
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    QWidget* band = f.ListView3->parentWidget();
    QCOMPARE(band->height(), 88);
    QCOMPARE(f.Splitter1->widget(1), static_cast<QWidget*>(f.WebBrowser1));
    const int browser = f.WebBrowser1->height();
    QVERIFY(browser > 100);
    f.resize(630, 563);
    QTRY_COMPARE(f.WebBrowser1->height() + band->height(), browser + 88 + 100);
    QVERIFY2(band->height() >= 88 + 30 && band->height() <= 88 + 36, qPrintable(QString::number(band->height())));
    const int bandAfter = band->height();
    const int browserAfter = f.WebBrowser1->height();

    QWidget* handle = f.Splitter1->handle(1);
    const QPoint grip = handle->rect().center();
    QTest::mousePress(handle, Qt::LeftButton, {}, grip);
    QTest::mouseMove(handle, grip + QPoint(0, 150));
    QTest::mouseRelease(handle, Qt::LeftButton, {}, grip + QPoint(0, 150));
    QTRY_COMPARE(band->height(), bandAfter + 150);
    QCOMPARE(f.WebBrowser1->height(), browserAfter - 150);

    for (QTreeView* view : {f.ListView3, f.ListView4}) {
        QCOMPARE(view->selectionMode(), QAbstractItemView::ExtendedSelection);
        QTRY_COMPARE(view->header()->sectionSize(0), view->viewport()->width());
    }
}

// "复制" the selected items in list order, "全部复制", "导出…" (code page 936,
// CR LF, only that list) and "清空" after a confirmation.
void TestForm1Results::contextMenu()
{
    SearchWindow w;
    TForm1& f = *w.form;
    for (const char* item : {"0519-88881001", "\xB4\xAB\xD5\xE6 010-1", "0519-88881003"}) // 传真 010-1
        f.engine().fax.append(item);
    f.engine().links.append("http://a.example/");
    QTreeView* view = f.ListView4;
    QAbstractItemModel* model = view->model();

    QMenu* menu = f.resultMenuFor(view);
    QCOMPARE(menu->actions().size(), 6); // five items and a separator
    QStringList captions;
    for (QAction* a : menu->actions())
        if (!a->isSeparator())
            captions << a->text();
    QCOMPARE(captions, (QStringList{"复制", "全部复制", "导出…", "导出失败地址…", "清空"}));
    QVERIFY(!f.FailedItem->isEnabled()); // no search has failed a line
    QVERIFY(!f.CopyItem->isEnabled()); // nothing selected

    view->selectionModel()->select(model->index(2, 0), QItemSelectionModel::Select);
    view->selectionModel()->select(model->index(0, 0), QItemSelectionModel::Select);
    f.resultMenuFor(view);
    QVERIFY(f.CopyItem->isEnabled());
    f.CopyItem->trigger();
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("0519-88881001\n0519-88881003"));
    f.CopyAllItem->trigger();
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("0519-88881001\n传真 010-1\n0519-88881003"));

    // Several selected: only those; otherwise the whole list.
    const std::filesystem::path out = f.programDir() / "fax out.txt";
    w.prompts.fileAnswers = {out};
    f.ExportItem->trigger();
    QCOMPARE(w.prompts.lastDialog.title, std::string("导出选中的传真号码（2项）"));
    QVERIFY(w.prompts.lastDialog.confirmOverwrite);
    QCOMPARE(test::readBytes(out), std::string("0519-88881001\r\n0519-88881003\r\n"));
    view->selectionModel()->clearSelection();
    w.prompts.fileAnswers = {out};
    f.ExportItem->trigger();
    QCOMPARE(w.prompts.lastDialog.title, std::string("导出传真号码表"));
    QCOMPARE(test::readBytes(out), std::string("0519-88881001\r\n\xB4\xAB\xD5\xE6 010-1\r\n0519-88881003\r\n"));

    w.prompts.confirmAnswers = {false};
    f.ClearItem->trigger();
    QCOMPARE(model->rowCount(), 3);
    w.prompts.confirmAnswers = {true};
    f.ClearItem->trigger();
    QCOMPARE(w.prompts.texts("confirm"),
             (std::vector<std::string>{"确认清空传真号码表吗?", "确认清空传真号码表吗?"}));
    QCOMPARE(model->rowCount(), 0);
    QCOMPARE(f.panel(7), std::string());
    QCOMPARE(f.ListView3->model()->rowCount(), 1); // the other list is untouched
    f.resultMenuFor(view);
    QVERIFY(!f.CopyAllItem->isEnabled() && !f.ExportItem->isEnabled() && !f.ClearItem->isEnabled());
}

// "含https链接" starts off, is kept in "vqhttps.ini" at exit and read at start;
// the ten-line state file does not carry it.
void TestForm1Results::httpsSwitchFile()
{
    auto w = std::make_unique<SearchWindow>();
    const std::filesystem::path dir = w->form->programDir();
    QCOMPARE(w->form->CheckBox9->text(), QStringLiteral("含https链接"));
    QVERIFY(!w->form->isChecked(Switch::Https));
    w->form->CheckBox9->setChecked(true);
    w->form->SpeedButton8Click();
    QCOMPARE(readAllLines(searchStatePath(dir)).size(), size_t(10));
    w->form.reset();
    QCOMPARE(test::readBytes(dir / "vqhttps.ini"), std::string("httpsyes\r\n"));
    SearchWindow again(dir);
    QVERIFY(again.form->isChecked(Switch::Https));
    again.form->CheckBox9->setChecked(false);
    again.form.reset();
    QCOMPARE(test::readBytes(dir / "vqhttps.ini"), std::string("httpsno\r\n"));
}

void TestForm1Results::qtTextsInChinese()
{
    QCOMPARE(installQtTranslations(), 2);
    QCOMPARE(QCoreApplication::translate("QFileDialog", "Look in:"), QStringLiteral("查找范围："));
    QVERIFY(QCoreApplication::translate("QLineEdit", "&Copy") != QStringLiteral("&Copy"));
    // The file dialog's type column.
    QCOMPARE(QCoreApplication::translate("QAbstractFileIconProvider", "Folder"), QStringLiteral("文件夹"));
}

// The first copy holds the directory; a second one is refused and brings the
// first forward; another directory is free; a lock left by a process that is
// gone is taken over.
void TestForm1Results::oneCopyPerDirectory()
{
    QTemporaryDir dirA, dirB;
    auto first = std::make_unique<SingleCopy>(toPath(dirA.path()));
    QVERIFY(first->acquire());
    QSignalSpy forward(first.get(), &SingleCopy::anotherCopyStarted);
    SingleCopy second(toPath(dirA.path()));
    QVERIFY(!second.acquire());
    QVERIFY(second.bringRunningCopyForward());
    QTRY_COMPARE(forward.count(), 1);

    SingleCopy elsewhere(toPath(dirB.path()));
    QVERIFY(elsewhere.acquire());

    first.reset();
    SingleCopy after(toPath(dirA.path()));
    QVERIFY(after.acquire());

    QTemporaryDir dirC;
    test::writeBytes(toPath(dirC.path()) / SingleCopy::kLockFileName,
                     "2147480000\nvelqordornavik\n" + QSysInfo::machineHostName().toStdString() + "\n");
    SingleCopy crashed(toPath(dirC.path()));
    QVERIFY(crashed.acquire());
}

int main(int argc, char** argv)
{
    vq::prepareWebEngine();
    QApplication app(argc, argv);
    TestForm1Results test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_form1_results.moc"
