// By-hand check of the tray icon in a real tray (not run by ctest): shows the
// program's icon with its tooltip and a small menu, prints the events, and ends
// after the number of seconds given as its argument (default 30).
#include "app/qt_tray_shell.h"

#include "text/ansi.h"

#include <QApplication>
#include <QMenu>
#include <QTimer>

#include <cstdio>

using namespace vq;

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const int seconds = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 30;

    QMenu menu;
    menu.addAction(QStringLiteral("显示主程序(&S)"));
    menu.addSeparator();
    QObject::connect(menu.addAction(QStringLiteral("退 出(&Exit)")), &QAction::triggered, &app,
                     &QCoreApplication::quit);

    auto shell = std::make_shared<QtTrayShell>();
    TTrayIcon tray(shell, "TrayIcon1");
    const auto say = [](const char* what) {
        return [what](TTrayIcon&) { std::printf("%s\n", what), std::fflush(stdout); };
    };
    tray.OnClick = say("click");
    tray.OnDblClick = say("double click");
    tray.OnPopupMenu = say("menu closed");
    tray.OnShow = say("shown");
    tray.OnHide = say("hidden");
    tray.Icon().Assign(toTrayIcon(programIcon()));
    tray.SetVisible(true);
    tray.SetHint(utf8ToAnsi("『VelqorDornavik』V2.0"));
    tray.PopupMenu = toMenuRef(&menu);
    tray.Loaded();
    std::printf("tray available: %s\n", QSystemTrayIcon::isSystemTrayAvailable() ? "yes" : "no");
    std::fflush(stdout);

    // Report when a tray host comes or goes.
    auto* poll = new QTimer(&app);
    bool last = QSystemTrayIcon::isSystemTrayAvailable();
    QObject::connect(poll, &QTimer::timeout, [&last] {
        const bool now = QSystemTrayIcon::isSystemTrayAvailable();
        if (now != last)
            std::printf("tray available: %s\n", now ? "yes" : "no"), std::fflush(stdout);
        last = now;
    });
    poll->start(200);

    QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
    return app.exec();
}
