// The main window offscreen: its controls, the speed field, the button sets, the
// status bar, the memo and path conversions, the result lists, the exit
// confirmation, the settings at creation and exit, and the forwarding handlers.
#include "app/web_browser.h"
#include "app/form1.h"
#include "app/form2.h"
#include "app/qt_text.h"
#include "app/qt_timer.h"
#include "state/search_state.h"
#include "tests/support/fakes.h"
#include "text/text_file.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QFocusEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QStyle>
#include <QToolButton>
#include <QToolTip>
#include <QTreeView>
#include <QWebEngineView>

#include <unistd.h>

#include <climits>
#include <memory>

using namespace vq;

Q_DECLARE_METATYPE(vq::ButtonSet)
Q_DECLARE_METATYPE(std::vector<std::string>)

namespace {

struct Window {
    QTemporaryDir dir;
    fake::FakePrompts prompts;
    fake::FakeHostLookup host;
    std::unique_ptr<TForm1> form;

    explicit Window(const std::function<void(const std::filesystem::path&)>& prepare = {})
    {
        const std::filesystem::path programDir = toPath(dir.path());
        if (prepare)
            prepare(programDir);
        TForm1::Options options;
        options.prompts = &prompts;
        options.host = &host;
        options.programDir = programDir;
        form = std::make_unique<TForm1>(options);
    }
    std::filesystem::path programDir() const { return toPath(dir.path()); }
};

} // namespace

class TestForm1 : public QObject {
    Q_OBJECT

private slots:
    void timeLeftNotCutByFailures();
    void initTestCase();
    void cleanupTestCase();

    void windowFrame();
    void toolbar_data();
    void toolbar();
    void toolbarOrder();
    void initialState();
    void statusPanels();

    void speedRead_data();
    void speedRead();
    void speedSet_data();
    void speedSet();
    void speedFocusOut_data();
    void speedFocusOut();
    void speedStep_data();
    void speedStep();
    void speedTyping_data();
    void speedTyping();

    void buttonSets_data();
    void buttonSets();
    void switchesMapToBoxes();
    void memoLines_data();
    void memoLines();
    void editLines_data();
    void editLines();
    void listPathRoundTrip();
    void panelBounds();

    void resultListsFollowEngine();
    void resultListsManyItems();

    void exitConfirmation_data();
    void exitConfirmation();
    void exitButtonAsks();
    void settingsAtStartAndExit();
    void badStateFileReported_data();
    void badStateFileReported();
    void handlerErrorsReported();
    void dialogsShownModally();
    void searchRunsThroughTheWindow();

private:
    std::unique_ptr<Window> shared_; // for the checks that leave no trace
};

void TestForm1::initTestCase()
{
    shared_ = std::make_unique<Window>();
}

void TestForm1::cleanupTestCase()
{
    shared_.reset();
}

void TestForm1::windowFrame()
{
    TForm1& f = *shared_->form;
    QCOMPARE(f.size(), QSize(630, 463));
    QCOMPARE(f.windowTitle(), QStringLiteral("『VelqorDornavik』V2.0 —主页: ") +
                                  QString::fromUtf8(maker::kHomePage) + QStringLiteral(" 电话: ") +
                                  QString::fromUtf8(maker::kPhone));
    QCOMPARE(f.font().pixelSize(), 12);
    QVERIFY(f.WebBrowser1 != nullptr);
    QCOMPARE(f.findChild<QWebEngineView*>(QStringLiteral("WebBrowser1")), f.WebBrowser1);
    // Timers: page 8 s, autosave and watchdog 5 min, all off.
    QCOMPARE(f.Timer1->interval(), 8000);
    QCOMPARE(f.Timer2->interval(), 300000);
    QCOMPARE(f.Timer3->interval(), 300000);
    QVERIFY(!f.Timer1->enabled() && !f.Timer2->enabled() && !f.Timer3->enabled());
    // Hints on green.
    QCOMPARE(QToolTip::palette().color(QPalette::ToolTipBase), QColor(0x00, 0xFF, 0x00));
    // The speed arrows repeat after 400 ms, then every 100 ms.
    QCOMPARE(f.SpinEdit1->style()->styleHint(QStyle::SH_SpinBox_ClickAutoRepeatThreshold, nullptr, f.SpinEdit1), 400);
    QCOMPARE(f.SpinEdit1->style()->styleHint(QStyle::SH_SpinBox_ClickAutoRepeatRate, nullptr, f.SpinEdit1), 100);
    QVERIFY(!f.SpinEdit1->wrapping());
}

void TestForm1::toolbar_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("hint");
    QTest::newRow("1") << "SpeedButton1" << "网址" << "选择网址列表";
    QTest::newRow("2") << "SpeedButton2" << "搜索" << "开始网络搜索";
    QTest::newRow("3") << "SpeedButton3" << "终止" << "终止网络搜索";
    QTest::newRow("4") << "SpeedButton4" << "继续" << "继续网络搜索";
    QTest::newRow("5") << "SpeedButton5" << "保存" << "保存搜索结果";
    QTest::newRow("6") << "SpeedButton6" << "创建" << "创建网址列表";
    QTest::newRow("8") << "SpeedButton8" << "进程" << "保存搜索进程";
    QTest::newRow("11") << "SpeedButton11" << "整理" << "合并去重数据";
    QTest::newRow("9") << "SpeedButton9" << "关于" << "关于本软件";
    QTest::newRow("10") << "SpeedButton10" << "退出" << "退出软件系统";
}

void TestForm1::toolbar()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(QString, hint);
    auto* button = shared_->form->findChild<QToolButton*>(name);
    QVERIFY(button);
    QCOMPARE(button->text(), caption);
    QCOMPARE(button->toolTip(), hint);
    QVERIFY(button->autoRaise());
    QCOMPARE(button->size(), QSize(55, 23));
    QCOMPARE(button->focusPolicy(), Qt::NoFocus); // a typed speed is not taken from the field
    QVERIFY(button->isEnabled());
}

void TestForm1::toolbarOrder()
{
    TForm1& f = *shared_->form;
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    const QList<QToolButton*> order = {f.SpeedButton1, f.SpeedButton2, f.SpeedButton3, f.SpeedButton4,
                                       f.SpeedButton5, f.SpeedButton6, f.SpeedButton8, f.SpeedButton11,
                                       f.SpeedButton9, f.SpeedButton10};
    for (int i = 1; i < order.size(); ++i)
        QVERIFY2(order[i - 1]->x() < order[i]->x(), qPrintable(order[i]->objectName()));
    // Top to bottom: toolbar, option row, filter band, result band, browser.
    const auto top = [&](QWidget* w) { return w->mapTo(&f, QPoint(0, 0)).y(); };
    QVERIFY(top(f.SpeedButton1) < top(f.SpinEdit1));
    QVERIFY(top(f.SpinEdit1) < top(f.Memo4));
    QVERIFY(top(f.Memo4) < top(f.ListView3));
    QVERIFY(top(f.ListView3) < top(f.WebBrowser1));
    QCOMPARE(f.ListView3->parentWidget()->height(), 88);
    QCOMPARE(f.Memo4->parentWidget()->parentWidget()->height(), 112);
    // Edit5 stretches with the window.
    const int before = f.Edit5->width();
    f.resize(830, 463);
    QTRY_COMPARE(f.Edit5->width(), before + 200);
    f.resize(630, 463);
    f.hide();
}

void TestForm1::initialState()
{
    // No settings files: initial memo lines, all switches off, speed 8.
    TForm1& f = *shared_->form;
    QCOMPARE(f.SpinEdit1->text(), QStringLiteral("8"));
    QCOMPARE(f.speed(), 8);
    QCOMPARE(f.SpinEdit1->minimum(), 1);
    QCOMPARE(f.SpinEdit1->maximum(), 60);
    const QList<QPair<QCheckBox*, QString>> boxes = {
        {f.CheckBox1, "去重"}, {f.CheckBox8, "自动保存"}, {f.CheckBox3, "搜索链接"},
        {f.CheckBox5, "搜索传真"}, {f.CheckBox6, "启用链接筛选"}, {f.CheckBox7, "只搜索本站"}};
    for (const auto& [box, caption] : boxes) {
        QCOMPARE(box->text(), caption);
        QVERIFY2(!box->isChecked(), qPrintable(caption));
    }
    // Option-row boxes carry their caption to the left.
    QCOMPARE(f.CheckBox1->layoutDirection(), Qt::RightToLeft);
    QVERIFY(f.Edit5->isReadOnly());
    QVERIFY(f.Edit5->text().isEmpty());
    QCOMPARE(f.memoLines(OptionList::MustContain), (std::vector<AnsiString>{"http://", "."}));
    QCOMPARE(f.memoLines(OptionList::MustNotContain), (std::vector<AnsiString>{"$", "#"}));
    QCOMPARE(f.memoLines(OptionList::FaxMarkers),
             (std::vector<AnsiString>{"\xB4\xAB\xD5\xE6\xA3\xBA", "FAX\xA3\xBA",
                                      "\xB4\xAB\xD5\xE6\xBA\xC5\xA3\xBA"}));
    QCOMPARE(f.Memo1->toolTip(), QStringLiteral("可以自行添加传真特征符"));
    QCOMPARE(f.Memo4->lineWrapMode(), QPlainTextEdit::NoWrap);
    QCOMPARE(f.Memo5->lineWrapMode(), QPlainTextEdit::NoWrap);
    QCOMPARE(f.ListView3->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("网址链接表"));
    QCOMPARE(f.ListView4->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("传真号码表"));
    // The one column fills its list (250 pixels at the least in the window's initial size).
    for (QTreeView* view : {f.ListView3, f.ListView4}) {
        QCOMPARE(view->header()->sectionSize(0), view->viewport()->width());
        QVERIFY(view->header()->sectionSize(0) >= 250);
    }
    QCOMPARE(f.ListView3->editTriggers(), QAbstractItemView::NoEditTriggers);
    QVERIFY(shared_->prompts.log.empty()); // nothing to report at start
}

void TestForm1::statusPanels()
{
    TForm1& f = *shared_->form;
    const int widths[] = {39, 50, 39, 50, 39, 50, 41, 50};
    const char* texts[] = {"总数：", "", "进程：", "", "链接：", "", "传真：", ""};
    for (int i = 0; i < 8; ++i) {
        QCOMPARE(f.panels[i]->minimumWidth(), widths[i]);
        QCOMPARE(f.panels[i]->maximumWidth(), widths[i]);
        QCOMPARE(f.panel(i), std::string(texts[i]));
    }
    QCOMPARE(f.panel(8), std::string(maker::kContactLine));
    QVERIFY(f.panels[8]->width() >= 50);
}

// ---- speed field ------------------------------------------------------------------

void TestForm1::speedRead_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");
    QTest::newRow("plain") << "8" << 8;
    QTest::newRow("maximum") << "60" << 60;
    QTest::newRow("zero, not clamped") << "0" << 0;
    QTest::newRow("above, not clamped") << "75" << 75;
    QTest::newRow("negative, not clamped") << "-5" << -5;
    QTest::newRow("plus sign") << "+7" << 7;
    QTest::newRow("leading zeros") << "007" << 7;
    QTest::newRow("empty") << "" << 1;
    QTest::newRow("lone minus") << "-" << 1;
    QTest::newRow("lone plus") << "+" << 1;
    QTest::newRow("fraction") << "8.5" << 1;
    QTest::newRow("two signs") << "+-3" << 1;
    QTest::newRow("overflow") << "2147483648" << 1;
    QTest::newRow("largest int") << "2147483647" << INT_MAX;
}

void TestForm1::speedRead()
{
    QFETCH(QString, text);
    QFETCH(int, value);
    TForm1& f = *shared_->form;
    f.SpinEdit1->lineEdit()->setText(text);
    QCOMPARE(f.speed(), value);
    QCOMPARE(f.SpinEdit1->lineEdit()->text(), text); // reading changes nothing
    f.setSpeed(8);
}

void TestForm1::speedSet_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("inside") << 30 << "30";
    QTest::newRow("minimum") << 1 << "1";
    QTest::newRow("maximum") << 60 << "60";
    QTest::newRow("zero") << 0 << "1";
    QTest::newRow("negative") << -100 << "1";
    QTest::newRow("above") << 61 << "60";
    QTest::newRow("int max") << INT_MAX << "60";
    QTest::newRow("int min") << INT_MIN << "1";
}

void TestForm1::speedSet()
{
    QFETCH(int, value);
    QFETCH(QString, text);
    TForm1& f = *shared_->form;
    f.setSpeed(value);
    QCOMPARE(f.SpinEdit1->lineEdit()->text(), text);
    QCOMPARE(f.speed(), text.toInt());
    f.setSpeed(8);
}

void TestForm1::speedFocusOut_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("after");
    QTest::newRow("inside stays") << "12" << "12";
    QTest::newRow("zero to minimum") << "0" << "1";
    QTest::newRow("negative to minimum") << "-3" << "1";
    QTest::newRow("above to maximum") << "75" << "60";
    QTest::newRow("huge to maximum") << "99999" << "60";
    QTest::newRow("fraction shows what is used") << "8.5" << "1";
    QTest::newRow("empty shows what is used") << "" << "1";
}

void TestForm1::speedFocusOut()
{
    QFETCH(QString, typed);
    QFETCH(QString, after);
    TForm1& f = *shared_->form;
    f.SpinEdit1->lineEdit()->setText(typed);
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(f.SpinEdit1, &out);
    QCOMPARE(f.SpinEdit1->lineEdit()->text(), after);
    QCOMPARE(f.speed(), after.toInt());
    f.setSpeed(8);
}

void TestForm1::speedStep_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("presses");
    QTest::addColumn<QString>("after");
    QTest::newRow("up") << "8" << int(Qt::Key_Up) << 1 << "9";
    QTest::newRow("down") << "8" << int(Qt::Key_Down) << 3 << "5";
    QTest::newRow("up stops at 60") << "59" << int(Qt::Key_Up) << 5 << "60";
    QTest::newRow("down stops at 1, no wrap") << "2" << int(Qt::Key_Down) << 4 << "1";
    QTest::newRow("from above the range") << "75" << int(Qt::Key_Down) << 1 << "60";
    QTest::newRow("from a non-integer") << "8.5" << int(Qt::Key_Up) << 1 << "2";
    QTest::newRow("page up does not step") << "8" << int(Qt::Key_PageUp) << 1 << "8";
}

void TestForm1::speedStep()
{
    QFETCH(QString, start);
    QFETCH(int, key);
    QFETCH(int, presses);
    QFETCH(QString, after);
    TForm1& f = *shared_->form;
    f.SpinEdit1->lineEdit()->setText(start);
    for (int i = 0; i < presses; ++i)
        QTest::keyClick(f.SpinEdit1, Qt::Key(key));
    QCOMPARE(f.SpinEdit1->lineEdit()->text(), after);
    f.setSpeed(8);
}

void TestForm1::speedTyping_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("text");
    QTest::newRow("digits") << "42" << "42";
    QTest::newRow("letters refused") << "1a2b" << "12";
    QTest::newRow("signs and separator") << "+-." << "+-.";
    QTest::newRow("space refused") << " 5 " << "5";
    QTest::newRow("hex marker refused") << "$1F" << "1";
}

void TestForm1::speedTyping()
{
    QFETCH(QString, keys);
    QFETCH(QString, text);
    TForm1& f = *shared_->form;
    f.SpinEdit1->lineEdit()->clear();
    QTest::keyClicks(f.SpinEdit1, keys);
    QCOMPARE(f.SpinEdit1->lineEdit()->text(), text);
    // Enter is refused: the text stays as typed, nothing is interpreted.
    QTest::keyClick(f.SpinEdit1, Qt::Key_Return);
    QTest::keyClick(f.SpinEdit1, Qt::Key_Enter);
    QCOMPARE(f.SpinEdit1->lineEdit()->text(), text);
    // Control keys still work.
    QTest::keyClick(f.SpinEdit1, Qt::Key_Backspace);
    QCOMPARE(f.SpinEdit1->lineEdit()->text(), text.chopped(text.isEmpty() ? 0 : 1));
    f.setSpeed(8);
}

// ---- view ---------------------------------------------------------------------------

void TestForm1::buttonSets_data()
{
    QTest::addColumn<ButtonSet>("set");
    QTest::addColumn<QList<bool>>("enabled"); // 网址, 搜索, 终止, 继续
    QTest::newRow("at start") << ButtonSet::AtStart << QList<bool>{true, true, true, true};
    QTest::newRow("searching") << ButtonSet::Searching << QList<bool>{false, false, true, false};
    QTest::newRow("stopped") << ButtonSet::Stopped << QList<bool>{true, true, false, true};
}

void TestForm1::buttonSets()
{
    QFETCH(ButtonSet, set);
    QFETCH(QList<bool>, enabled);
    TForm1& f = *shared_->form;
    // From every other set, so that no state is left over.
    for (ButtonSet from : {ButtonSet::AtStart, ButtonSet::Searching, ButtonSet::Stopped}) {
        f.applyButtonSet(from);
        f.applyButtonSet(set);
        const QList<bool> actual = {f.SpeedButton1->isEnabled(), f.SpeedButton2->isEnabled(),
                                    f.SpeedButton3->isEnabled(), f.SpeedButton4->isEnabled()};
        QCOMPARE(actual, enabled);
    }
    // The other buttons never change.
    for (QToolButton* b : {f.SpeedButton5, f.SpeedButton6, f.SpeedButton8, f.SpeedButton9,
                           f.SpeedButton10, f.SpeedButton11})
        QVERIFY(b->isEnabled());
    f.applyButtonSet(ButtonSet::AtStart);
}

void TestForm1::switchesMapToBoxes()
{
    TForm1& f = *shared_->form;
    const QList<QPair<Switch, QCheckBox*>> map = {
        {Switch::Dedup, f.CheckBox1},     {Switch::Links, f.CheckBox3},    {Switch::Fax, f.CheckBox5},
        {Switch::LinkFilter, f.CheckBox6}, {Switch::OnlySite, f.CheckBox7}, {Switch::Autosave, f.CheckBox8}};
    for (const auto& [s, box] : map) {
        f.setChecked(s, true);
        QVERIFY(box->isChecked());
        for (const auto& [other, otherBox] : map)
            QCOMPARE(f.isChecked(other), other == s);
        box->setChecked(false);
        QVERIFY(!f.isChecked(s));
    }
}

void TestForm1::memoLines_data()
{
    QTest::addColumn<std::vector<AnsiString>>("lines");
    QTest::newRow("none") << std::vector<AnsiString>{};
    QTest::newRow("ascii") << std::vector<AnsiString>{"http://", "."};
    QTest::newRow("gbk") << std::vector<AnsiString>{"\xB4\xAB\xD5\xE6\xA3\xBA", "Fax:"};
    QTest::newRow("empty line inside") << std::vector<AnsiString>{"a", "", "b"};
    QTest::newRow("empty line last") << std::vector<AnsiString>{"a", ""};
    QTest::newRow("spaces kept") << std::vector<AnsiString>{"  tel ", " "};
}

void TestForm1::memoLines()
{
    QFETCH(std::vector<AnsiString>, lines);
    Window w;
    for (OptionList m : {OptionList::FaxMarkers, OptionList::MustContain, OptionList::MustNotContain}) {
        w.form->setMemoLines(m, lines);
        QCOMPARE(w.form->memoLines(m), lines);
    }
}

void TestForm1::editLines_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("empty") << "" << QStringList{};
    QTest::newRow("one") << "a" << QStringList{"a"};
    QTest::newRow("trailing break") << "a\nb\n" << QStringList{"a", "b"};
    QTest::newRow("only a break") << "\n" << QStringList{""};
    QTest::newRow("two breaks") << "a\n\n" << QStringList{"a", ""};
    QTest::newRow("crlf") << "a\r\nb" << QStringList{"a", "b"};
    QTest::newRow("lone cr") << "a\rb" << QStringList{"a", "b"};
}

void TestForm1::editLines()
{
    QFETCH(QString, text);
    QFETCH(QStringList, lines);
    QCOMPARE(vq::editLines(text), lines);
}

void TestForm1::listPathRoundTrip()
{
    TForm1& f = *shared_->form;
    const AnsiString path = "/tmp/\xCD\xF8\xD6\xB7/list \xB2\xE2\xCA\xD4.txt"; // 网址, 测试
    f.setListPath(path);
    QCOMPARE(f.Edit5->text(), QStringLiteral("/tmp/网址/list 测试.txt"));
    QCOMPARE(f.listPath(), path);
    f.setListPath("");
    QCOMPARE(f.listPath(), AnsiString());
}

// The time left stays readable beside the failure count, at the window's first size.
void TestForm1::timeLeftNotCutByFailures()
{
    Window w;
    TForm1& f = *w.form;
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    f.showProgress(5, 100000, "http://a.example/");
    f.showFailures(1234, "超时 1234");
    QTest::qWait(20);
    QCOMPARE(f.width(), 630);
    const QString longest[] = {QStringLiteral("剩余 0:00:00"), f.FailLabel->text()};
    const QLabel* labels[] = {f.EtaLabel, f.FailLabel};
    for (int i = 0; i < 2; ++i)
        QVERIFY2(labels[i]->contentsRect().width() >= labels[i]->fontMetrics().horizontalAdvance(longest[i]),
                 qPrintable(longest[i]));
}

void TestForm1::panelBounds()
{
    TForm1& f = *shared_->form;
    f.setPanel(8, "正在搜索...");
    QCOMPARE(f.panels[8]->text(), QStringLiteral("正在搜索..."));
    QCOMPARE(f.panel(8), std::string("正在搜索..."));
    f.setPanel(3, "123");
    QCOMPARE(f.panel(3), std::string("123"));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, f.setPanel(9, "x"));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, f.panel(-1));
    f.setPanel(3, "");
    f.setPanel(8, maker::kContactLine);
}

// ---- result lists -------------------------------------------------------------------

void TestForm1::resultListsFollowEngine()
{
    Window w;
    TForm1& f = *w.form;
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    QAbstractItemModel* links = f.ListView3->model();
    QAbstractItemModel* fax = f.ListView4->model();
    f.engine().fax.append("0519-88888888");
    f.engine().fax.append("\xB4\xAB\xD5\xE6"); // 传真
    QCOMPARE(fax->rowCount(), 2);
    QCOMPARE(links->rowCount(), 0);
    QCOMPARE(fax->index(1, 0).data().toString(), QStringLiteral("传真"));
    for (int i = 0; i < 50; ++i)
        f.engine().links.append("http://h/" + std::to_string(i));
    QCOMPARE(links->rowCount(), 50);
    // The newest item is scrolled into view.
    QTRY_VERIFY(f.ListView3->viewport()->rect().intersects(f.ListView3->visualRect(links->index(49, 0))));
    QVERIFY(!f.ListView3->viewport()->rect().intersects(f.ListView3->visualRect(links->index(0, 0))));
    f.engine().links.clear();
    QCOMPARE(links->rowCount(), 0);
    QCOMPARE(fax->rowCount(), 2);
    f.engine().links.append("again");
    QCOMPARE(links->rowCount(), 1);
    QCOMPARE(links->index(0, 0).data().toString(), QStringLiteral("again"));
    f.hide();
}

void TestForm1::resultListsManyItems()
{
    Window w;
    TForm1& f = *w.form;
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < 100000; ++i) {
        f.engine().links.append("http://www.example.com/page/" + std::to_string(i));
        if (i % 10000 == 0)
            f.repaint();
    }
    f.repaint();
    QCoreApplication::processEvents();
    const qint64 ms = clock.elapsed();
    QCOMPARE(f.ListView3->model()->rowCount(), 100000);
    QVERIFY2(ms < 10000, qPrintable(QStringLiteral("100000 items took %1 ms").arg(ms)));
    QTRY_VERIFY(f.ListView3->viewport()->rect().intersects(
        f.ListView3->visualRect(f.ListView3->model()->index(99999, 0))));
    f.hide();
}

// ---- lifecycle ------------------------------------------------------------------------

void TestForm1::exitConfirmation_data()
{
    QTest::addColumn<bool>("answer");
    QTest::newRow("no keeps everything") << false;
    QTest::newRow("yes closes") << true;
}

void TestForm1::exitConfirmation()
{
    QFETCH(bool, answer);
    Window w;
    TForm1& f = *w.form;
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    f.Timer1->setEnabled(true);
    f.Timer3->setEnabled(true);
    QSignalSpy accepted(&f, &TForm1::closeAccepted);
    w.prompts.confirmAnswers = {answer};
    const bool closed = f.close();
    QCOMPARE(w.prompts.texts("confirm"), std::vector<std::string>{"确认退出VelqorDornavik吗?"});
    QCOMPARE(closed, answer);
    QCOMPARE(f.isVisible(), !answer);
    QCOMPARE(accepted.count(), answer ? 1 : 0);
    if (!answer) {
        // The search goes on: timers untouched.
        QVERIFY(f.Timer1->enabled());
        QVERIFY(f.Timer3->enabled());
    }
}

void TestForm1::exitButtonAsks()
{
    Window w;
    TForm1& f = *w.form;
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    QTest::mouseClick(f.SpeedButton10, Qt::LeftButton); // no scripted answer: No
    QCOMPARE(w.prompts.texts("confirm").size(), size_t(1));
    QVERIFY(f.isVisible());
    w.prompts.confirmAnswers = {true};
    f.SpeedButton10Click();
    QVERIFY(!f.isVisible());
}

void TestForm1::settingsAtStartAndExit()
{
    Window w([](const std::filesystem::path& dir) {
        saveList(dir / "vqwebfaxset.ini", {"\xB4\xAB\xD5\xE6", "Fax"});
        writeAllLines(dir / "vqdornavik.ini",
                      {"/tmp/list.txt", "5", "10", "qcyes", "webno", "faxyes", "sxno", "bzyes", "saveno", "12"});
    });
    TForm1& f = *w.form;
    QVERIFY(w.prompts.log.empty());
    QCOMPARE(f.memoLines(OptionList::FaxMarkers), (std::vector<AnsiString>{"\xB4\xAB\xD5\xE6", "Fax"}));
    QCOMPARE(f.Edit5->text(), QStringLiteral("/tmp/list.txt"));
    QCOMPARE(f.speed(), 12);
    QVERIFY(f.CheckBox1->isChecked());
    QVERIFY(!f.CheckBox3->isChecked());
    QVERIFY(f.CheckBox5->isChecked());
    QVERIFY(f.CheckBox7->isChecked());

    // At exit the memos go back to their files.
    f.setMemoLines(OptionList::MustContain, {"\xCD\xF8\xD6\xB7", "html"});
    const std::filesystem::path dir = w.programDir();
    w.form.reset();
    QCOMPARE(loadList(dir / "vqweblinkok.ini"), (std::vector<AnsiString>{"\xCD\xF8\xD6\xB7", "html"}));
    QCOMPARE(loadList(dir / "vqwebfaxset.ini"), (std::vector<AnsiString>{"\xB4\xAB\xD5\xE6", "Fax"}));
    QCOMPARE(loadList(dir / "vqweblinkno.ini"), (std::vector<AnsiString>{"$", "#"}));
}

void TestForm1::badStateFileReported_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("path"); // Edit5 afterwards: the lines before the bad one stay applied
    QTest::newRow("position") << QStringList{"/a.txt", "abc", "3", "qcno", "webno", "faxno", "sxno", "bzno", "saveno", "8"}
                              << "'abc' is not a valid integer value." << "/a.txt";
    QTest::newRow("total with a trailing space")
        << QStringList{"/b.txt", "1", "3 ", "qcno", "webno", "faxno", "sxno", "bzno", "saveno", "8"}
        << "'3 ' is not a valid integer value." << "/b.txt";
    QTest::newRow("speed") << QStringList{"/c.txt", "1", "3", "qcno", "webno", "faxno", "sxno", "bzno", "saveno", "8s"}
                           << "'8s' is not a valid integer value." << "/c.txt";
}

void TestForm1::badStateFileReported()
{
    QFETCH(QStringList, lines);
    QFETCH(QString, message);
    QFETCH(QString, path);
    Window w([&](const std::filesystem::path& dir) {
        std::vector<AnsiString> ansi;
        for (const QString& line : lines)
            ansi.push_back(toAnsi(line));
        writeAllLines(dir / kSearchStateFileName, ansi);
    });
    // The window is still made; the error went to the default handler's box,
    // with its full stop.
    QCOMPARE(w.prompts.texts("error"), std::vector<std::string>{toUtf8(message)});
    QCOMPARE(w.form->Edit5->text(), path);
    w.form->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));
}

void TestForm1::handlerErrorsReported()
{
    Window w;
    TForm1& f = *w.form;
    // Each refusal reaches the user and leaves the window as it was.
    f.N2Click();
    QCOMPARE(w.prompts.log.size(), size_t(1));
    QCOMPARE(w.prompts.log.back().text, std::string("请至少选择一个搜索项目才可以开始"));
    f.setChecked(Switch::Fax, true);
    f.N2Click();
    QCOMPARE(w.prompts.log.back().text, std::string("您还没有选择网址列表文件！"));
    QVERIFY(f.SpeedButton2->isEnabled());
    QVERIFY(!f.Timer1->enabled());

    // An exception inside a tick goes to the default handler and the timer keeps
    // its state; the window goes on.
    f.Timer2->onTimer = [&f] { guarded(f.prompts(), [] { throw EInOutError(2, "File not found"); }); };
    f.Timer2->setInterval(10);
    f.Timer2->setEnabled(true);
    QTRY_VERIFY(!w.prompts.texts("error").empty());
    f.Timer2->setEnabled(false);
    QCOMPARE(w.prompts.texts("error").front(), std::string("File not found."));
}

void TestForm1::dialogsShownModally()
{
    Window w;
    TForm1& f = *w.form;
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    auto* about = new TForm2(&f);
    auto* generator = new QDialog(&f);
    f.setAboutBox(about);
    f.setUrlGenerator(generator);
    for (QDialog* dialog : {static_cast<QDialog*>(about), generator}) {
        QWidget* seen = nullptr;
        QTimer::singleShot(50, &f, [&] {
            seen = QApplication::activeModalWidget();
            if (seen)
                static_cast<QDialog*>(seen)->accept();
            else
                dialog->accept();
        });
        if (dialog == about)
            f.SpeedButton9->click();
        else
            f.SpeedButton6->click();
        QCOMPARE(seen, dialog);
    }
}

namespace {

// Answers every request with the same small UTF-8 page.
class OnePageServer : public QObject {
public:
    explicit OnePageServer(QByteArray body) : body_(std::move(body))
    {
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    if (!socket->readAll().contains("\r\n\r\n"))
                        return;
                    socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\n"
                                  "Connection: close\r\nContent-Length: " +
                                  QByteArray::number(body_.size()) + "\r\n\r\n" + body_);
                    socket->disconnectFromHost();
                });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
        server_.listen(QHostAddress::LocalHost, 0);
    }
    QString url(const QString& path) const
    {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(server_.serverPort()).arg(path);
    }

private:
    QTcpServer server_;
    QByteArray body_;
};

} // namespace

void TestForm1::searchRunsThroughTheWindow()
{
    OnePageServer server(QByteArray("<html><body><p>") + QStringLiteral("传真：0519-88888888").toUtf8() +
                         "</p><a href=\"/next.html\">next</a></body></html>");
    Window w([&](const std::filesystem::path& dir) {
        writeAllLines(dir / "list.txt", {toAnsi(server.url("/a.html")) + " first page",
                                         toAnsi(server.url("/b.html"))});
    });
    TForm1& f = *w.form;
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    f.setListPath(toAnsi(w.dir.filePath("list.txt")));
    f.setChecked(Switch::Links, true);
    f.setChecked(Switch::Fax, true);
    f.setChecked(Switch::Dedup, true);
    f.setSpeed(1);

    QTest::mouseClick(f.SpeedButton2, Qt::LeftButton);
    QCOMPARE(f.panel(8), std::string("正在搜索..."));
    QVERIFY(!f.SpeedButton2->isEnabled());
    QVERIFY(f.SpeedButton3->isEnabled());
    QVERIFY(f.Timer1->enabled());
    QCOMPARE(f.Timer1->interval(), 1000);

    QTRY_COMPARE_WITH_TIMEOUT(f.panel(8), std::string("搜索已经结束!"), 20000);
    QVERIFY(w.prompts.log.empty());
    QCOMPARE(f.panel(3), std::string("2"));
    QVERIFY(f.SpeedButton2->isEnabled());
    QVERIFY(!f.SpeedButton3->isEnabled());
    QVERIFY(!f.Timer1->enabled() && !f.Timer3->enabled());
    // Both pages carry the same number and link: with dedup on the number is listed
    // once; links are kept once per page.
    QCOMPARE(f.ListView4->model()->rowCount(), 1);
    QVERIFY(f.ListView4->model()->index(0, 0).data().toString().contains(QStringLiteral("88888888")));
    QCOMPARE(f.ListView3->model()->rowCount(), 2);
    QCOMPARE(f.ListView3->model()->index(1, 0).data().toString(), server.url("/next.html"));
    QCOMPARE(f.panel(5), std::string("2"));
    QCOMPARE(f.panel(7), std::string("1"));
    QVERIFY(searchStateExists(w.programDir()));
}

int main(int argc, char** argv)
{
    vq::prepareWebEngine();
    QApplication app(argc, argv);
    TestForm1 test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_form1.moc"
