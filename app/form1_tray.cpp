// The main window's tray side: the tray icon TrayIcon1, its menu PopupMenu1 and
// the commands that hide the window to the tray and bring it back.
#include "app/form1.h"

#include <QAction>
#include <QDesktopServices>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QUrl>

namespace vq {

void TForm1::setupTray()
{
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    const auto item = [this](const char* name, const QString& caption, void (TForm1::*handler)()) {
        return addMenuItem(PopupMenu1, name, caption, handler);
    };
    N17 = item("N17", QStringLiteral("显示主程序(&S)"), &TForm1::N17Click);
    N18 = item("N18", QStringLiteral("最小化显示(&M)"), &TForm1::N18Click);
    N19 = item("N19", QStringLiteral("与我们联系(&L)"), &TForm1::N14Click);
    N20 = item("N20", QStringLiteral("访问Velqor主页(&V)"), &TForm1::N20Click);
    N21 = item("N21", QStringLiteral("关于本软件(&A)"), &TForm1::N15Click);
    PopupMenu1->addSeparator()->setObjectName(QStringLiteral("N22"));
    N23 = item("N23", QStringLiteral("退 出(&Exit)"), &TForm1::N23Click);
    N17->setEnabled(false); // the window starts shown

    const QIcon icon = programIcon();
    setWindowIcon(icon);

    // The icon stays in the tray for the whole run: the title as its tooltip,
    // the menu on a right click, the window back on a left click. A double
    // click does nothing beyond its first click.
    TrayIcon1 = new QSystemTrayIcon(icon, this);
    TrayIcon1->setObjectName(QStringLiteral("TrayIcon1"));
    TrayIcon1->setToolTip(QString::fromUtf8(maker::kAppTitle));
    TrayIcon1->setContextMenu(PopupMenu1);
    connect(TrayIcon1, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            guarded(*prompts_, [this] { N17Click(); });
    });
    TrayIcon1->show();
}

void TForm1::N17Click()
{
    N17->setEnabled(false);
    N18->setEnabled(true);
    // Back from the tray: the window, and with it its taskbar entry, shows again,
    // restored if it was minimised.
    if (windowState() & Qt::WindowMinimized)
        setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void TForm1::N18Click()
{
    N18->setEnabled(false);
    N17->setEnabled(true);
    // A hidden window has no taskbar entry; only the tray icon is left.
    hide();
}

void TForm1::N14Click()
{
    QDesktopServices::openUrl(QUrl(QStringLiteral("mailto:") + QString::fromUtf8(maker::kMail)));
}

void TForm1::N20Click()
{
    QDesktopServices::openUrl(QUrl(QString::fromUtf8(maker::kHomePage)));
}

void TForm1::N23Click()
{
    close(); // asks first (closeEvent)
}

} // namespace vq
