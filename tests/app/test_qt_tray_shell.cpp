// The tray icon on QSystemTrayIcon (offscreen, so there is no tray to show it
// in): what add, modify and delete do to the one QSystemTrayIcon, and which
// events the tray's activations end in.
#include "app/qt_tray_shell.h"

#include "text/ansi.h"

#include <QApplication>
#include <QMenu>
#include <QTest>
#include <QTimer>

using namespace vq;

using Reasons = QList<int>;

class QtTrayShellTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        log_.clear();
        shell_ = std::make_shared<QtTrayShell>();
        icon_ = std::make_unique<TTrayIcon>(shell_);
        icon_->Icon().Assign(toTrayIcon(programIcon()));
        icon_->OnMouseDown = [this](TTrayIcon&, TMouseButton b, TShiftState, int, int) {
            log_ << (b == TMouseButton::mbLeft ? "MouseDown left" : "MouseDown right");
        };
        icon_->OnMouseUp = [this](TTrayIcon&, TMouseButton b, TShiftState, int, int) {
            log_ << (b == TMouseButton::mbLeft ? "MouseUp left" : "MouseUp right");
        };
        icon_->OnClick = [this](TTrayIcon&) { log_ << "Click"; };
        icon_->OnDblClick = [this](TTrayIcon&) { log_ << "DblClick"; };
        icon_->OnPopupMenu = [this](TTrayIcon&) { log_ << "PopupMenu"; };
    }
    void cleanup()
    {
        icon_.reset();
        shell_.reset();
    }

    void programIconLoads();
    void addModifyDelete();
    void oneQSystemTrayIconThroughHideAndShow();
    void activations_data();
    void activations();
    void contextMenuIsShownAndClosed();
    void exceptionFromAHandlerGoesToTheHandler();
    void iconDestroyedByItsClick();

private:
    QStringList log_;
    std::shared_ptr<QtTrayShell> shell_;
    std::unique_ptr<TTrayIcon> icon_;
};

void QtTrayShellTest::programIconLoads()
{
    const QIcon icon = programIcon();
    QVERIFY(!icon.isNull());
    QCOMPARE(icon.availableSizes().value(0), QSize(32, 32));
    QVERIFY(fromTrayIcon(toTrayIcon(icon).Handle()).cacheKey() == icon.cacheKey());
    QVERIFY(toTrayIcon(QIcon()).Empty());
    QVERIFY(fromTrayIcon(nullptr).isNull());
}

void QtTrayShellTest::addModifyDelete()
{
    QSystemTrayIcon& tray = shell_->trayIcon();
    // A modify before the add is refused and shows nothing.
    icon_->SetHint("early");
    QVERIFY(!tray.isVisible());
    QCOMPARE(tray.toolTip(), QString());

    icon_->SetVisible(true);
    QVERIFY(tray.isVisible());
    QVERIFY(!tray.icon().isNull());
    QCOMPARE(tray.toolTip(), QString("early"));
    QVERIFY(shell_->registeredIcon() == std::make_pair(icon_->Handle(), 0u));

    // The tooltip is code page 936 text.
    icon_->SetHint(utf8ToAnsi("『VelqorDornavik』V2.0"));
    QCOMPARE(tray.toolTip(), QString("『VelqorDornavik』V2.0"));

    // A second add (as Loaded makes it) is refused and changes nothing.
    NotifyIconData again = icon_->IconData();
    QVERIFY(!shell_->notifyIcon(NIM_ADD, again));
    QVERIFY(tray.isVisible());

    icon_->SetVisible(false);
    QVERIFY(!tray.isVisible());
    QVERIFY(!shell_->registeredIcon());
    QVERIFY(!shell_->notifyIcon(NIM_DELETE, again));
}

void QtTrayShellTest::oneQSystemTrayIconThroughHideAndShow()
{
    QSystemTrayIcon* const tray = &shell_->trayIcon();
    icon_->SetVisible(true);
    icon_->SetIconID(3); // delete and add again
    icon_->SetVisible(false);
    icon_->SetVisible(true);
    QVERIFY(&shell_->trayIcon() == tray);
    QVERIFY(tray->isVisible());
    QVERIFY(shell_->registeredIcon() == std::make_pair(icon_->Handle(), 3u));
}

void QtTrayShellTest::activations_data()
{
    QTest::addColumn<Reasons>("reasons");
    QTest::addColumn<bool>("shown");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("trigger") << Reasons{QSystemTrayIcon::Trigger} << true
                             << QStringList{"MouseDown left", "MouseUp left", "Click"};
    // Qt reports the first press of a double click as a trigger.
    QTest::newRow("double click")
        << Reasons{QSystemTrayIcon::Trigger, QSystemTrayIcon::DoubleClick} << true
        << QStringList{"MouseDown left", "MouseUp left", "Click", "DblClick", "MouseUp left"};
    QTest::newRow("context without a menu") << Reasons{QSystemTrayIcon::Context} << true
                                            << QStringList{"MouseDown right", "MouseUp right"};
    QTest::newRow("middle click") << Reasons{QSystemTrayIcon::MiddleClick} << true << QStringList{};
    QTest::newRow("unknown") << Reasons{QSystemTrayIcon::Unknown} << true << QStringList{};
    QTest::newRow("icon not in the tray") << Reasons{QSystemTrayIcon::Trigger, QSystemTrayIcon::Context}
                                          << false << QStringList{};
}

void QtTrayShellTest::activations()
{
    QFETCH(Reasons, reasons);
    QFETCH(bool, shown);
    QFETCH(QStringList, expected);
    icon_->SetVisible(shown);
    for (int r : reasons)
        emit shell_->trayIcon().activated(QSystemTrayIcon::ActivationReason(r));
    QCOMPARE(log_, expected);
}

void QtTrayShellTest::contextMenuIsShownAndClosed()
{
    QMenu menu;
    menu.addAction("item");
    int shownCount = 0;
    connect(&menu, &QMenu::aboutToShow, this, [&] {
        ++shownCount;
        QTimer::singleShot(0, &menu, &QMenu::close);
    });
    icon_->SetVisible(true);
    icon_->PopupMenu = toMenuRef(&menu);
    emit shell_->trayIcon().activated(QSystemTrayIcon::Context);
    QCOMPARE(shownCount, 1);
    QCOMPARE(log_, (QStringList{"MouseDown right", "PopupMenu", "MouseUp right"}));
    // The WM_NULL posted after the menu arrives later and raises no event.
    QCoreApplication::processEvents();
    QCOMPARE(log_.size(), 3);

    icon_->SetEnabled(false);
    emit shell_->trayIcon().activated(QSystemTrayIcon::Context);
    QCOMPARE(shownCount, 1);
    QCOMPARE(log_.size(), 3);
}

void QtTrayShellTest::exceptionFromAHandlerGoesToTheHandler()
{
    QStringList caught;
    shell_->setExceptionHandler([&](const std::exception& e) { caught << e.what(); });
    icon_->OnClick = [](TTrayIcon&) { throw ETrayIcon("click failed"); };
    icon_->SetVisible(true);
    emit shell_->trayIcon().activated(QSystemTrayIcon::Trigger);
    QCOMPARE(caught, QStringList{"click failed"});
    QCOMPARE(log_, (QStringList{"MouseDown left", "MouseUp left"}));
}

void QtTrayShellTest::iconDestroyedByItsClick()
{
    icon_->SetVisible(true);
    icon_->OnClick = [this](TTrayIcon&) {
        log_ << "Click";
        icon_.reset();
        shell_.reset(); // the icon held the last reference to the shell but one
    };
    std::weak_ptr<QtTrayShell> weak = shell_;
    QSystemTrayIcon& tray = shell_->trayIcon();
    emit tray.activated(QSystemTrayIcon::DoubleClick);
    QCOMPARE(log_, (QStringList{"DblClick", "MouseUp left"})); // no press: no click
    emit tray.activated(QSystemTrayIcon::Trigger);
    QCOMPARE(log_, (QStringList{"DblClick", "MouseUp left", "MouseDown left", "MouseUp left", "Click"}));
    // The shell outlives the signal it is emitting and goes from the event loop.
    QVERIFY(!weak.expired());
    QCoreApplication::sendPostedEvents();
    QVERIFY(weak.expired());
}

QTEST_MAIN(QtTrayShellTest)
#include "test_qt_tray_shell.moc"
