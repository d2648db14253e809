// The Qt sides of the main window's ports: the message, input and file boxes
// (captions, icons, Chinese buttons, Esc and the close box), the file filter
// conversion, the default handler's box, the timers, the text conversions, the
// result list model and the About box.
#include "app/form1.h"
#include "app/form2.h"
#include "app/qt_prompts.h"
#include "app/qt_text.h"
#include "app/qt_timer.h"
#include "app/result_model.h"
#include "text/errors.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

using namespace vq;

namespace {

struct BoxSeen {
    QString title;
    QString text;
    int icon = -1;
    QStringList buttons;
    QString defaultButton;
};

// Runs `open` (which shows a modal box and returns when it closes); once the box
// is up, records what it shows and hands it to `act`, which must close it.
BoxSeen whileModal(const std::function<void()>& open, const std::function<void(QWidget*)>& act)
{
    BoxSeen seen;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        poll.stop();
        seen.title = modal->windowTitle();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            seen.text = box->text();
            seen.icon = box->icon();
            for (QAbstractButton* b : box->buttons())
                seen.buttons << b->text();
            if (box->defaultButton())
                seen.defaultButton = box->defaultButton()->text();
        } else {
            for (QPushButton* b : modal->findChildren<QPushButton*>())
                seen.buttons << b->text();
        }
        act(modal);
    });
    poll.start();
    open();
    return seen;
}

void clickButton(QWidget* box, const QString& text)
{
    for (QPushButton* b : box->findChildren<QPushButton*>()) {
        if (b->text() == text) {
            b->click();
            return;
        }
    }
    QFAIL(qPrintable("no button " + text));
}

void pressEscape(QWidget* box) { QTest::keyClick(box, Qt::Key_Escape); }

} // namespace

class TestForm1Ports : public QObject {
    Q_OBJECT

private slots:
    void simpleBoxes_data();
    void simpleBoxes();
    void confirmAnswers_data();
    void confirmAnswers();
    void defaultHandlerBox_data();
    void defaultHandlerBox();
    void inputBox_data();
    void inputBox();
    void fileFilter_data();
    void fileFilter();
    void saveDialogAsksBeforeOverwriting();

    void timerNewIntervalRestartsPeriod();
    void timerSilentWithoutInterval();
    void timerStops();

    void textConversions_data();
    void textConversions();

    void resultModel();
    void aboutBox();
};

// ---- boxes ----------------------------------------------------------------------------

void TestForm1Ports::simpleBoxes_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("icon");
    QTest::newRow("information") << "information" << "信息" << int(QMessageBox::Information);
    QTest::newRow("message") << "message" << "『VelqorDornavik』V2.0" << int(QMessageBox::NoIcon);
    QTest::newRow("error") << "error" << "『VelqorDornavik』V2.0" << int(QMessageBox::Critical);
}

void TestForm1Ports::simpleBoxes()
{
    QFETCH(QString, kind);
    QFETCH(QString, title);
    QFETCH(int, icon);
    QtPrompts prompts(nullptr, QString::fromUtf8(maker::kAppTitle));
    const std::string text = "您还没有选择网址列表文件！";
    for (const auto& close : {std::function<void(QWidget*)>([](QWidget* b) { clickButton(b, "确定"); }),
                              std::function<void(QWidget*)>(pressEscape)}) {
        const BoxSeen seen = whileModal(
            [&] {
                if (kind == "information")
                    prompts.information(text);
                else if (kind == "message")
                    prompts.message(text);
                else
                    prompts.error(text);
            },
            close);
        QCOMPARE(seen.title, title);
        QCOMPARE(seen.text, QString::fromStdString(text));
        QCOMPARE(seen.icon, icon);
        QCOMPARE(seen.buttons, QStringList{"确定"});
    }
}

void TestForm1Ports::confirmAnswers_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("answer");
    QTest::newRow("yes") << "yes" << true;
    QTest::newRow("no") << "no" << false;
    QTest::newRow("escape") << "escape" << false;
    QTest::newRow("close box") << "close" << false;
    QTest::newRow("enter takes the default") << "enter" << true;
}

void TestForm1Ports::confirmAnswers()
{
    QFETCH(QString, action);
    QFETCH(bool, answer);
    QtPrompts prompts(nullptr, QString::fromUtf8(maker::kAppTitle));
    bool result = !answer;
    const BoxSeen seen = whileModal([&] { result = prompts.confirm("确认退出VelqorDornavik吗?"); },
                                    [&](QWidget* box) {
                                        if (action == "yes")
                                            clickButton(box, "(&Y)是");
                                        else if (action == "no")
                                            clickButton(box, "(&N)否");
                                        else if (action == "escape")
                                            pressEscape(box);
                                        else if (action == "close")
                                            box->close();
                                        else
                                            QTest::keyClick(box, Qt::Key_Return);
                                    });
    QCOMPARE(result, answer);
    QCOMPARE(seen.title, QStringLiteral("确认"));
    QCOMPARE(seen.icon, int(QMessageBox::Question));
    QCOMPARE(seen.text, QStringLiteral("确认退出VelqorDornavik吗?"));
    QCOMPARE(seen.buttons, (QStringList{"(&Y)是", "(&N)否"}));
}

void TestForm1Ports::defaultHandlerBox_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("shown");
    QTest::newRow("letter gets a stop") << "File not found" << "File not found.";
    QTest::newRow("already a stop") << "Disk full." << "Disk full.";
    QTest::newRow("empty stays empty") << "" << "";
    QTest::newRow("quote gets a stop") << "'x' is not a valid integer value" << "'x' is not a valid integer value.";
    QTest::newRow("exclamation sorts below") << "失败!" << "失败!";
    QTest::newRow("hyphen sorts below") << "a-" << "a-";
    QTest::newRow("slash sorts above") << "/tmp/" << "/tmp/.";
    QTest::newRow("wide colon sorts above") << "路径含有无法用GBK编码表示的字符：" << "路径含有无法用GBK编码表示的字符：.";
}

void TestForm1Ports::defaultHandlerBox()
{
    QFETCH(QString, message);
    QFETCH(QString, shown);
    QtPrompts prompts(nullptr, QString::fromUtf8(maker::kAppTitle));
    bool after = false;
    const BoxSeen seen = whileModal(
        [&] {
            guarded(prompts, [&] {
                throw EInOutError(2, toUtf8(message));
                after = true; // the handler ends at the exception
            });
        },
        [](QWidget* box) { clickButton(box, "确定"); });
    QVERIFY(!after);
    QCOMPARE(seen.text, shown);
    QCOMPARE(seen.title, QStringLiteral("『VelqorDornavik』V2.0"));
    QCOMPARE(seen.icon, int(QMessageBox::Critical));
}

void TestForm1Ports::inputBox_data()
{
    QTest::addColumn<QString>("initial");
    QTest::addColumn<QString>("typed");   // empty: leave the initial text
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("answered");
    QTest::addColumn<QString>("result");
    QTest::newRow("ok keeps the initial") << "12" << "" << "确定" << true << "12";
    QTest::newRow("ok gives what was typed, spaces kept") << "12" << " 7 " << "确定" << true << " 7 ";
    QTest::newRow("cancel") << "12" << "99" << "放弃" << false << "";
    QTest::newRow("escape") << "12" << "99" << "escape" << false << "";
    QTest::newRow("chinese text") << "" << "第三页" << "确定" << true << "第三页";
    QTest::newRow("long text cut at 255") << "" << QString(300, QLatin1Char('9')) << "确定" << true
                                          << QString(255, QLatin1Char('9'));
}

void TestForm1Ports::inputBox()
{
    QFETCH(QString, initial);
    QFETCH(QString, typed);
    QFETCH(QString, button);
    QFETCH(bool, answered);
    QFETCH(QString, result);
    QtPrompts prompts(nullptr, QString::fromUtf8(maker::kAppTitle));
    std::optional<std::string> answer;
    QString shownInitial;
    int maxLength = 0;
    const BoxSeen seen = whileModal(
        [&] { answer = prompts.inputBox("继续搜索", "从第几行开始：", toUtf8(initial)); },
        [&](QWidget* box) {
            auto* edit = box->findChild<QLineEdit*>();
            QVERIFY(edit);
            shownInitial = edit->text();
            maxLength = edit->maxLength();
            if (!typed.isEmpty()) {
                edit->clear();
                edit->insert(typed); // as typed: the length limit applies
            }
            if (button == "escape")
                pressEscape(box);
            else
                clickButton(box, button);
        });
    QCOMPARE(seen.title, QStringLiteral("继续搜索"));
    QVERIFY(seen.buttons.contains("确定"));
    QVERIFY(seen.buttons.contains("放弃"));
    QCOMPARE(shownInitial, initial);
    QCOMPARE(maxLength, 255);
    QCOMPARE(answer.has_value(), answered);
    if (answered)
        QCOMPARE(fromUtf8(*answer), result);
}

void TestForm1Ports::fileFilter_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("qt");
    QTest::newRow("with patterns in the names") << "Text files(*.txt)|*.txt|All files(*.*)|*.*"
                                                << "Text files(*.txt);;All files(*.*)";
    QTest::newRow("a name naming other patterns") << "Text(*.txt)|*.lst" << "Text(*.txt) (*.lst)";
    QTest::newRow("plain names") << "Text files|*.txt|All files|*.*" << "Text files (*.txt);;All files (*.*)";
    QTest::newRow("several patterns") << "Lists|*.txt;*.lst" << "Lists (*.txt *.lst)";
    QTest::newRow("name without patterns") << "Text files" << "Text files (*)";
    QTest::newRow("empty") << "" << "";
}

void TestForm1Ports::fileFilter()
{
    QFETCH(QString, filter);
    QFETCH(QString, qt);
    QCOMPARE(qtFileFilter(toUtf8(filter)), qt);
}

void TestForm1Ports::saveDialogAsksBeforeOverwriting()
{
    QTemporaryDir dir;
    {
        QFile existing(dir.filePath("old.txt"));
        QVERIFY(existing.open(QIODevice::WriteOnly));
    }
    QtPrompts prompts(nullptr, QString::fromUtf8(maker::kAppTitle));
    FileDialogSpec dialogSpec;
    dialogSpec.title = "保存搜索结果";
    dialogSpec.filter = "Text files(*.txt)|*.txt|All files(*.*)|*.*";
    dialogSpec.defaultExt = "txt";
    dialogSpec.initialDir = toPath(dir.path());
    dialogSpec.confirmOverwrite = true;

    // Existing file: asked; No goes back to the dialog, which is then given a new
    // name without an extension, which gets the default one.
    QStringList steps;
    QTimer poll;
    poll.setInterval(10);
    QPointer<QWidget> handled; // answered, not yet closed
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (handled && handled->isVisible())
            return;
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        handled = modal;
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            steps << "confirm:" + box->windowTitle();
            clickButton(box, "(&N)否");
        } else if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
            steps << "dialog:" + dialog->windowTitle();
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            QVERIFY(name);
            name->setText(steps.size() == 1 ? QStringLiteral("old.txt") : QStringLiteral("new")); // typed
            QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
        }
    });
    poll.start();
    const std::optional<std::filesystem::path> chosen = prompts.saveFile(dialogSpec);
    poll.stop();
    QCOMPARE(steps, (QStringList{"dialog:保存搜索结果", "confirm:确认", "dialog:保存搜索结果"}));
    QVERIFY(chosen.has_value());
    QCOMPARE(pathToQString(*chosen), dir.filePath("new.txt"));
}

// ---- timers -----------------------------------------------------------------------------

void TestForm1Ports::timerNewIntervalRestartsPeriod()
{
    QtTimer timer(300);
    QElapsedTimer clock;
    qint64 changedAt = -1, tickedAt = -1;
    timer.onTimer = [&] {
        if (tickedAt < 0)
            tickedAt = clock.elapsed();
    };
    clock.start();
    timer.setEnabled(true);
    QTest::qWait(150);
    changedAt = clock.elapsed();
    timer.setInterval(300);
    QCOMPARE(timer.interval(), 300);
    QTRY_VERIFY_WITH_TIMEOUT(tickedAt >= 0, 5000);
    // The first tick comes a whole new period after the change, not at the old due time.
    QVERIFY2(tickedAt - changedAt >= 290, qPrintable(QString::number(tickedAt - changedAt)));
    timer.setEnabled(true); // already on: no change
    QVERIFY(timer.enabled());
}

void TestForm1Ports::timerSilentWithoutInterval()
{
    QtTimer timer(0);
    int ticks = 0;
    timer.onTimer = [&] { ++ticks; };
    timer.setEnabled(true);
    QVERIFY(timer.enabled());
    QTest::qWait(80);
    QCOMPARE(ticks, 0);
    timer.setInterval(10); // enabled, so it starts ticking now
    QTRY_VERIFY(ticks > 0);
}

void TestForm1Ports::timerStops()
{
    QtTimer timer(10);
    int ticks = 0;
    timer.onTimer = [&] {
        ++ticks;
        timer.setEnabled(false); // a handler may switch its own timer off
    };
    timer.setEnabled(true);
    QTRY_COMPARE(ticks, 1);
    QTest::qWait(80);
    QCOMPARE(ticks, 1);
    QVERIFY(!timer.enabled());
    QCOMPARE(timer.interval(), 10);
}

// ---- text ---------------------------------------------------------------------------------

void TestForm1Ports::textConversions_data()
{
    QTest::addColumn<QByteArray>("ansi");
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << QByteArray() << QString();
    QTest::newRow("ascii") << QByteArray("http://a.b/c?d=1&e") << "http://a.b/c?d=1&e";
    QTest::newRow("chinese") << QByteArray("\xB4\xAB\xD5\xE6\xA3\xBA") << "传真：";
    QTest::newRow("mixed") << QByteArray("FAX\xA3\xBA 0519-1") << "FAX： 0519-1";
}

void TestForm1Ports::textConversions()
{
    QFETCH(QByteArray, ansi);
    QFETCH(QString, text);
    const AnsiString bytes = ansi.toStdString();
    QCOMPARE(toQString(bytes), text);
    QCOMPARE(toAnsi(text), bytes);
    // A character without a code page 936 form becomes "?" (never dropped).
    QCOMPARE(toAnsi(text + QStringLiteral("😀")), bytes + "?");
}

// ---- result model ---------------------------------------------------------------------------

void TestForm1Ports::resultModel()
{
    ResultList list;
    list.append("first");
    auto model = std::make_unique<ResultModel>(list, QStringLiteral("网址链接表"));
    QCOMPARE(model->rowCount(), 1); // rows that were there before the model
    QSignalSpy inserted(model.get(), &QAbstractItemModel::rowsInserted);
    QSignalSpy reset(model.get(), &QAbstractItemModel::modelReset);
    list.append("\xCD\xF8\xD6\xB7");
    list.append("third");
    QCOMPARE(model->rowCount(), 3);
    QCOMPARE(inserted.count(), 2);
    QCOMPARE(inserted.at(0).at(1).toInt(), 1);
    QCOMPARE(inserted.at(0).at(2).toInt(), 1);
    QCOMPARE(model->index(1, 0).data().toString(), QStringLiteral("网址"));
    QCOMPARE(model->index(1, 0).data(Qt::ToolTipRole).toString(), QStringLiteral("网址"));
    QVERIFY(!model->index(3, 0).data().isValid());
    QVERIFY(!(model->flags(model->index(0, 0)) & Qt::ItemIsEditable));
    QCOMPARE(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("网址链接表"));
    list.clear();
    QCOMPARE(reset.count(), 1);
    QCOMPARE(model->rowCount(), 0);
    model.reset();
    list.append("after the model"); // the list no longer tells anybody
    QCOMPARE(list.size(), size_t(1));
}

void TestForm1Ports::aboutBox()
{
    TForm2 box;
    QCOMPARE(box.windowTitle(), QStringLiteral("关于本软件"));
    QCOMPARE(box.ProductName->text(), QStringLiteral("『VelqorDornavik』"));
    QCOMPARE(box.Version->text(), QStringLiteral("V2.0"));
    QCOMPARE(box.OKButton->text(), QStringLiteral("确定"));
    QVERIFY(box.MailLink->text().contains(QStringLiteral("mailto:") + QString::fromUtf8(maker::kMail)));
    QVERIFY(box.HomeLink->text().contains(QString::fromUtf8(maker::kHomePage)));
    QVERIFY(box.MailLink->openExternalLinks());
    QVERIFY(box.HomeLink->openExternalLinks());
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QTest::mouseClick(box.OKButton, Qt::LeftButton);
    QCOMPARE(box.result(), int(QDialog::Accepted));
    QVERIFY(!box.isVisible());
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    TestForm1Ports test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_form1_ports.moc"
