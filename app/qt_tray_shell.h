// The tray icon's desktop side on Linux: QSystemTrayIcon stands for the shell's
// notification area. One QSystemTrayIcon is kept for the shell's whole life and
// only shown and hidden, so Qt can register it again by itself when the tray host
// restarts. The tray's activations come back to the hidden window as the mouse
// messages the shell would have sent.
#pragma once

#include "app/tray_icon.h"

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>

#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <utility>

class QMenu;
class QWidget;

namespace vq {

// A QIcon as the tray icon component's picture.
class QtIconImage : public IconImage {
public:
    explicit QtIconImage(QIcon icon) : icon(std::move(icon)) {}
    const QIcon icon;
};

TIcon toTrayIcon(const QIcon& icon);
// The picture behind a record's hIcon; an empty QIcon for none.
QIcon fromTrayIcon(IconHandle handle);
// The program's 32 x 32 icon (tray and windows).
QIcon programIcon();
// A QMenu as the component's popup menu reference.
MenuRef toMenuRef(QMenu* menu);

// Create with std::make_shared: the shell keeps itself alive while it delivers
// a message whose handler may destroy the tray icon that holds it.
class QtTrayShell : public QObject,
                    public TrayShell,
                    public std::enable_shared_from_this<QtTrayShell> {
    Q_OBJECT
public:
    QtTrayShell();
    ~QtTrayShell() override;

    // The window that stands for the application window (the main window).
    void setApplicationWidget(QWidget* widget);
    // Where an exception from a message handler goes (default: a warning on stderr);
    // it must not run through Qt's event loop.
    void setExceptionHandler(std::function<void(const std::exception&)> handler);

    QSystemTrayIcon& trayIcon() { return tray_; }
    // The (hidden window, identifier) of the icon now in the tray, if any.
    std::optional<std::pair<WindowId, unsigned>> registeredIcon() const { return registered_; }

    static constexpr WindowId ApplicationWindowId = 1;

    // TrayShell
    WindowId allocateWindow(WindowProc proc) override;
    void deallocateWindow(WindowId window) override;
    WindowId applicationWindow() override { return ApplicationWindowId; }
    bool notifyIcon(NotifyMessage message, const NotifyIconData& data) override;
    CursorPos cursorPos() override;
    TShiftState keyState() override;
    void setForegroundWindow(WindowId window) override;
    bool postMessage(WindowId window, unsigned msg, std::uintptr_t wParam,
                     std::intptr_t lParam) override;
    std::intptr_t defWindowProc(WindowId window, unsigned msg, std::uintptr_t wParam,
                                std::intptr_t lParam) override;
    void showMenu(MenuRef menu, int x, int y) override;

    // Turns a tray activation into the mouse messages of the shell:
    // Trigger: left press and release; DoubleClick: double click and release (Qt
    // has reported the first press as Trigger already); Context: right press and
    // release; MiddleClick: nothing.
    void activate(QSystemTrayIcon::ActivationReason reason);

private:
    void apply(const NotifyIconData& data);
    void deliver(WindowId window, unsigned msg, std::uintptr_t wParam, std::intptr_t lParam);

    QSystemTrayIcon tray_;
    std::map<WindowId, WindowProc> windows_;
    WindowId nextWindow_ = ApplicationWindowId + 1;
    std::optional<std::pair<WindowId, unsigned>> registered_;
    QPointer<QWidget> appWidget_;
    std::function<void(const std::exception&)> onException_;
};

} // namespace vq
