#include "app/qt_tray_shell.h"

#include "text/ansi.h"

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QMenu>
#include <QWidget>
#include <QtDebug>

// Resources of a static library are registered by name, outside any namespace.
static void initProgramIconResource() { Q_INIT_RESOURCE(velqordornavik); }

namespace vq {

TIcon toTrayIcon(const QIcon& icon)
{
    if (icon.isNull())
        return TIcon();
    return TIcon(std::make_shared<const QtIconImage>(icon));
}

QIcon fromTrayIcon(IconHandle handle)
{
    if (const auto* image = dynamic_cast<const QtIconImage*>(handle))
        return image->icon;
    return QIcon();
}

QIcon programIcon()
{
    static const bool registered = (initProgramIconResource(), true);
    (void)registered;
    return QIcon(QStringLiteral(":/velqordornavik/velqordornavik.png"));
}

MenuRef toMenuRef(QMenu* menu) { return static_cast<const void*>(menu); }

QtTrayShell::QtTrayShell()
{
    connect(&tray_, &QSystemTrayIcon::activated, this, &QtTrayShell::activate);
}

QtTrayShell::~QtTrayShell() = default;

void QtTrayShell::setApplicationWidget(QWidget* widget) { appWidget_ = widget; }

void QtTrayShell::setExceptionHandler(std::function<void(const std::exception&)> handler)
{
    onException_ = std::move(handler);
}

WindowId QtTrayShell::allocateWindow(WindowProc proc)
{
    const WindowId id = nextWindow_++;
    windows_[id] = std::move(proc);
    return id;
}

void QtTrayShell::deallocateWindow(WindowId window)
{
    windows_.erase(window);
    if (registered_ && registered_->first == window) {
        // The shell drops the icons of a window that is gone.
        tray_.hide();
        registered_.reset();
    }
}

void QtTrayShell::apply(const NotifyIconData& data)
{
    if (data.uFlags & NIF_ICON)
        tray_.setIcon(fromTrayIcon(data.hIcon));
    if (data.uFlags & NIF_TIP)
        tray_.setToolTip(QString::fromStdU16String(ansiToUtf16(data.tip())));
}

bool QtTrayShell::notifyIcon(NotifyMessage message, const NotifyIconData& data)
{
    const std::pair<WindowId, unsigned> key(data.hWnd, data.uID);
    switch (message) {
    case NIM_ADD:
        // One icon per shell; adding one that is there already is refused.
        if (registered_ || windows_.count(data.hWnd) == 0)
            return false;
        registered_ = key;
        apply(data);
        tray_.show();
        return true;
    case NIM_MODIFY:
        if (registered_ != key)
            return false;
        apply(data);
        return true;
    case NIM_DELETE:
        if (registered_ != key)
            return false;
        tray_.hide();
        registered_.reset();
        return true;
    }
    return false;
}

CursorPos QtTrayShell::cursorPos()
{
    const QPoint pos = QCursor::pos();
    return CursorPos{pos.x(), pos.y()};
}

TShiftState QtTrayShell::keyState()
{
    const Qt::KeyboardModifiers keys = QGuiApplication::queryKeyboardModifiers();
    TShiftState state = 0;
    if (keys & Qt::ShiftModifier)
        state |= ssShift;
    if (keys & Qt::ControlModifier)
        state |= ssCtrl;
    if (keys & Qt::AltModifier)
        state |= ssAlt;
    return state;
}

void QtTrayShell::setForegroundWindow(WindowId window)
{
    // The hidden window has nothing to bring forward: QMenu takes the input itself.
    if (window != ApplicationWindowId || !appWidget_ || !appWidget_->isVisible())
        return;
    appWidget_->raise();
    appWidget_->activateWindow();
}

bool QtTrayShell::postMessage(WindowId window, unsigned msg, std::uintptr_t wParam,
                              std::intptr_t lParam)
{
    if (windows_.count(window) == 0)
        return false;
    // Delivered from the event loop; dropped if the window is gone by then.
    QMetaObject::invokeMethod(
        this, [this, window, msg, wParam, lParam] { deliver(window, msg, wParam, lParam); },
        Qt::QueuedConnection);
    return true;
}

std::intptr_t QtTrayShell::defWindowProc(WindowId, unsigned, std::uintptr_t, std::intptr_t)
{
    return 0;
}

void QtTrayShell::showMenu(MenuRef menu, int x, int y)
{
    auto* qmenu = static_cast<QMenu*>(const_cast<void*>(menu));
    qmenu->exec(QPoint(x, y));
}

void QtTrayShell::deliver(WindowId window, unsigned msg, std::uintptr_t wParam,
                          std::intptr_t lParam)
{
    const auto it = windows_.find(window);
    if (it == windows_.end())
        return;
    // A copy: the handler may deallocate the window while it runs.
    const WindowProc proc = it->second;
    try {
        proc(msg, wParam, lParam);
    } catch (const std::exception& e) {
        if (onException_)
            onException_(e);
        else
            qWarning("Tray icon: %s", e.what());
    }
}

void QtTrayShell::activate(QSystemTrayIcon::ActivationReason reason)
{
    std::vector<unsigned> messages;
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        messages = {WM_LBUTTONDOWN, WM_LBUTTONUP};
        break;
    case QSystemTrayIcon::DoubleClick:
        messages = {WM_LBUTTONDBLCLK, WM_LBUTTONUP};
        break;
    case QSystemTrayIcon::Context:
        messages = {WM_RBUTTONDOWN, WM_RBUTTONUP};
        break;
    default:
        return; // the middle button and unknown reasons
    }
    // The handlers may destroy the tray icon, and with it its hold on this shell.
    const std::shared_ptr<QtTrayShell> self = weak_from_this().lock();
    for (unsigned message : messages) {
        if (!registered_)
            return; // the icon was deleted meanwhile
        const auto [window, id] = *registered_;
        deliver(window, WM_TRAYICON, id, static_cast<std::intptr_t>(message));
    }
    // If the icon went, this is the last hold on the shell; the shell and its
    // QSystemTrayIcon, still emitting, go from the event loop instead of now.
    if (self && self.use_count() == 1 && QCoreApplication::instance())
        QMetaObject::invokeMethod(QCoreApplication::instance(), [keep = self] {}, Qt::QueuedConnection);
}

} // namespace vq
