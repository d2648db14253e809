// The main window's tray side offscreen: the tray menu, the icon's settings,
// hiding to the tray and coming back (menu, tray click, minimise), the exit
// item while hidden, and the mail and home-page links.
#include "app/web_browser.h"
#include "app/form1.h"
#include "app/qt_text.h"
#include "tests/support/fakes.h"
#include "text/ansi.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QMenu>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <unistd.h>

#include <memory>

using namespace vq;

namespace {

struct Window {
    QTemporaryDir dir;
    fake::FakePrompts prompts;
    fake::FakeHostLookup host;
    std::unique_ptr<TForm1> form;
    bool tray = true; // the desktop has a notification area

    Window()
    {
        TForm1::Options options;
        options.trayAvailable = [this] { return tray; };
        options.prompts = &prompts;
        options.host = &host;
        options.programDir = toPath(dir.path());
        options.loadSettings = false;
        form = std::make_unique<TForm1>(options);
        form->show();
    }
};

// Catches the URLs the window asks the desktop to open.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

void leftClickOnTheIcon(TForm1& f)
{
    emit f.TrayIcon1->activated(QSystemTrayIcon::Trigger);
}

} // namespace

class TestForm1Tray : public QObject {
    Q_OBJECT

private slots:
    void init() { w_ = std::make_unique<Window>(); }
    void cleanup() { w_.reset(); }

    void menuItems_data();
    void menuItems();
    void trayIconSettings();
    void showAndHide_data();
    void showAndHide();
    void exitFromTheTray_data();
    void exitFromTheTray();
    void linksOpenMailAndHomePage();
    void aboutFromTheMenu();

private:
    std::unique_ptr<Window> w_;
};

void TestForm1Tray::menuItems_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("enabled");

    QTest::newRow("N17") << 0 << "N17" << "显示主程序(&S)" << false;
    QTest::newRow("N18") << 1 << "N18" << "最小化显示(&M)" << true;
    QTest::newRow("N19") << 2 << "N19" << "与我们联系(&L)" << true;
    QTest::newRow("N20") << 3 << "N20" << "访问Velqor主页(&V)" << true;
    QTest::newRow("N21") << 4 << "N21" << "关于本软件(&A)" << true;
    QTest::newRow("N22") << 5 << "N22" << "" << true;
    QTest::newRow("N23") << 6 << "N23" << "退 出(&Exit)" << true;
}

void TestForm1Tray::menuItems()
{
    QFETCH(int, index);
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(bool, enabled);
    const QList<QAction*> actions = w_->form->PopupMenu1->actions();
    QCOMPARE(actions.size(), 7);
    QAction* a = actions.at(index);
    QCOMPARE(a->objectName(), name);
    QCOMPARE(a->text(), caption);
    QCOMPARE(a->isSeparator(), name == "N22");
    QCOMPARE(a->isEnabled(), enabled);
}

void TestForm1Tray::trayIconSettings()
{
    TForm1& f = *w_->form;
    QVERIFY(f.TrayIcon1);
    QVERIFY(f.TrayIcon1->isVisible());
    QCOMPARE(f.TrayIcon1->toolTip(), QString("『VelqorDornavik』V2.0"));
    QCOMPARE(f.TrayIcon1->contextMenu(), f.PopupMenu1);
    QVERIFY(!f.TrayIcon1->icon().isNull());
    QVERIFY(!f.windowIcon().isNull());
    // A double click is no second click; the middle button does nothing.
    f.N18->trigger();
    emit f.TrayIcon1->activated(QSystemTrayIcon::DoubleClick);
    emit f.TrayIcon1->activated(QSystemTrayIcon::MiddleClick);
    QVERIFY(!f.isVisible());
}

void TestForm1Tray::showAndHide_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<bool>("visible");

    QTest::newRow("hide from the menu") << QStringList{"N18"} << false;
    QTest::newRow("hide, show from the menu") << QStringList{"N18", "N17"} << true;
    QTest::newRow("hide, tray click") << QStringList{"N18", "click"} << true;
    QTest::newRow("tray click while shown") << QStringList{"click"} << true;
    QTest::newRow("minimise hides") << QStringList{"minimise"} << false;
    QTest::newRow("minimise, tray click restores") << QStringList{"minimise", "click"} << true;
    QTest::newRow("minimise, show, minimise") << QStringList{"minimise", "N17", "minimise"} << false;
    // Without a notification area there would be no way back from the tray.
    QTest::newRow("minimise without a tray") << QStringList{"no tray", "minimise"} << true;
}

void TestForm1Tray::showAndHide()
{
    QFETCH(QStringList, steps);
    QFETCH(bool, visible);
    TForm1& f = *w_->form;
    for (const QString& step : steps) {
        if (step == "N17")
            f.N17->trigger();
        else if (step == "N18")
            f.N18->trigger();
        else if (step == "click")
            leftClickOnTheIcon(f);
        else if (step == "no tray")
            w_->tray = false;
        else if (step == "minimise") {
            f.showMinimized();
            if (w_->tray) {
                QTRY_VERIFY(!f.isVisible());
            } else {
                QTRY_VERIFY(f.windowState() & Qt::WindowMinimized);
                QTest::qWait(50); // where the hide would have come
            }
        }
    }
    QCOMPARE(f.isVisible(), visible);
    // N17 is enabled exactly while the window is in the tray.
    QCOMPARE(f.N17->isEnabled(), !visible);
    QCOMPARE(f.N18->isEnabled(), visible);
    if (visible && w_->tray)
        QVERIFY(!(f.windowState() & Qt::WindowMinimized));
    QVERIFY(f.TrayIcon1->isVisible());
}

void TestForm1Tray::exitFromTheTray_data()
{
    QTest::addColumn<bool>("hidden");
    QTest::addColumn<bool>("answer");

    QTest::newRow("hidden, no") << true << false;
    QTest::newRow("hidden, yes") << true << true;
    QTest::newRow("shown, no") << false << false;
}

void TestForm1Tray::exitFromTheTray()
{
    QFETCH(bool, hidden);
    QFETCH(bool, answer);
    TForm1& f = *w_->form;
    if (hidden)
        f.N18->trigger();
    QSignalSpy accepted(&f, &TForm1::closeAccepted);
    w_->prompts.confirmAnswers = {answer};
    f.N23->trigger();
    QCOMPARE(w_->prompts.texts("confirm"), std::vector<std::string>{"确认退出VelqorDornavik吗?"});
    QCOMPARE(accepted.size(), answer ? 1 : 0);
    if (!answer) {
        // Declining changes nothing: the window keeps its state, the icon stays.
        QCOMPARE(f.isVisible(), !hidden);
        QCOMPARE(f.N17->isEnabled(), hidden);
        QVERIFY(f.TrayIcon1->isVisible());
    }
}

void TestForm1Tray::linksOpenMailAndHomePage()
{
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("mailto", &catcher, "open");
    QDesktopServices::setUrlHandler("http", &catcher, "open");
    QDesktopServices::setUrlHandler("https", &catcher, "open");
    w_->form->N19->trigger();
    w_->form->N20->trigger();
    QDesktopServices::unsetUrlHandler("mailto");
    QDesktopServices::unsetUrlHandler("http");
    QDesktopServices::unsetUrlHandler("https");
    QCOMPARE(catcher.urls.size(), 2);
    QCOMPARE(catcher.urls.at(0).scheme(), QString("mailto"));
    QCOMPARE(catcher.urls.at(0).path(), QString::fromUtf8(maker::kMail));
    QCOMPARE(catcher.urls.at(1), QUrl(QString::fromUtf8(maker::kHomePage)));
}

void TestForm1Tray::aboutFromTheMenu()
{
    QDialog about(w_->form.get());
    w_->form->setAboutBox(&about);
    QWidget* seen = nullptr;
    QTimer::singleShot(50, &about, [&] {
        seen = QApplication::activeModalWidget();
        about.accept();
    });
    w_->form->N21->trigger();
    QCOMPARE(seen, &about);
    w_->form->setAboutBox(nullptr);
}

int main(int argc, char** argv)
{
    vq::prepareWebEngine();
    QApplication app(argc, argv);
    TestForm1Tray test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_form1_tray.moc"
