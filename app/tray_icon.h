// The tray icon component: one icon in the shell's notification area, its
// tooltip, and the mouse messages that come back from it turned into events.
//
// The component is free of Qt. Everything it asks of the desktop goes through
// TrayShell: the notification call, a hidden window of its own that receives the
// icon's callback messages, the cursor and keyboard state, the foreground switch,
// posted messages and the popup menu. app/qt_tray_shell.h implements it on
// QSystemTrayIcon; the tests record the calls with a fake.
#pragma once

#include "text/ansi.h"
#include "text/errors.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vq {

// ---------------------------------------------------------------------------
// Messages and constants of the notification interface.

constexpr unsigned WM_NULL = 0x0000;
constexpr unsigned WM_USER = 0x0400;
constexpr unsigned WM_MOUSEMOVE = 0x0200;
constexpr unsigned WM_LBUTTONDOWN = 0x0201;
constexpr unsigned WM_LBUTTONUP = 0x0202;
constexpr unsigned WM_LBUTTONDBLCLK = 0x0203;
constexpr unsigned WM_RBUTTONDOWN = 0x0204;
constexpr unsigned WM_RBUTTONUP = 0x0205;
constexpr unsigned WM_RBUTTONDBLCLK = 0x0206;
constexpr unsigned WM_MBUTTONDOWN = 0x0207;
constexpr unsigned WM_MBUTTONUP = 0x0208;

// The message the shell sends to the hidden window for the icon's mouse events:
// wParam the icon's identifier, lParam the mouse message.
constexpr unsigned WM_TRAYICON = WM_USER + 1;

constexpr unsigned NIF_MESSAGE = 0x1;
constexpr unsigned NIF_ICON = 0x2;
constexpr unsigned NIF_TIP = 0x4;

enum NotifyMessage : int { NIM_ADD = 0, NIM_MODIFY = 1, NIM_DELETE = 2 };

// Size of the record in its first layout (64-byte tooltip field).
constexpr std::uint32_t NOTIFYICONDATA_V1_SIZE = 88;
// The tooltip holds at most this many bytes; the record adds the terminating zero.
constexpr std::size_t TrayHintMaxBytes = 63;

// A window of the desktop layer; 0 is no window.
using WindowId = std::uintptr_t;

// ---------------------------------------------------------------------------
// Pictures, image lists and menus, opaque to the component.

// The picture data behind an icon; the shell that shows it knows the real type
// (app/qt_tray_shell.h: a QIcon). Immutable once made, so copies may share it.
class IconImage {
public:
    virtual ~IconImage() = default;
};

// What the record's hIcon carries: the picture, null for none.
using IconHandle = const IconImage*;

// An icon picture. Assigning copies the picture (the data is immutable and shared).
class TIcon {
public:
    TIcon() = default;
    explicit TIcon(std::shared_ptr<const IconImage> image) : image_(std::move(image)) {}

    void Assign(const TIcon& source) { image_ = source.image_; }
    void Clear() { image_.reset(); }
    bool Empty() const { return !image_; }
    // The handle the shell is given; null while the picture is empty.
    IconHandle Handle() const { return image_.get(); }
    const std::shared_ptr<const IconImage>& Image() const { return image_; }

private:
    std::shared_ptr<const IconImage> image_;
};

// A list of pictures that an icon can be taken from. Referenced, not owned.
class TCustomImageList {
public:
    virtual ~TCustomImageList() = default;
    virtual int Count() const = 0;
    // Copies the picture at `index` into `icon`; an index outside the list leaves
    // `icon` empty.
    virtual void GetIcon(int index, TIcon& icon) const = 0;
};

// The plain image list: pictures in a vector.
class TImageList : public TCustomImageList {
public:
    std::vector<TIcon> Images;

    int Count() const override { return static_cast<int>(Images.size()); }
    void GetIcon(int index, TIcon& icon) const override;
};

// A popup menu, shown by the shell. Referenced, not owned; the value is the
// menu's address on the desktop side (app/qt_tray_shell.h: a QMenu).
using MenuRef = const void*;

// ---------------------------------------------------------------------------
// Mouse events.

enum class TMouseButton { mbLeft, mbRight, mbMiddle };

enum TShiftStateFlag : unsigned {
    ssShift = 1u << 0,
    ssAlt = 1u << 1,
    ssCtrl = 1u << 2,
    ssLeft = 1u << 3,
    ssRight = 1u << 4,
    ssMiddle = 1u << 5,
    ssDouble = 1u << 6,
};
using TShiftState = unsigned; // a set of TShiftStateFlag

struct CursorPos {
    int x = 0;
    int y = 0;
    bool operator==(const CursorPos&) const = default;
};

class TTrayIcon;
using TNotifyEvent = std::function<void(TTrayIcon& sender)>;
using TMouseEvent =
    std::function<void(TTrayIcon& sender, TMouseButton button, TShiftState shift, int x, int y)>;

// ---------------------------------------------------------------------------
// The notification record (ANSI form, first layout).

struct NotifyIconData {
    std::uint32_t cbSize = 0;
    WindowId hWnd = 0;
    unsigned uID = 0;
    unsigned uFlags = 0;
    unsigned uCallbackMessage = 0;
    IconHandle hIcon = nullptr;
    char szTip[TrayHintMaxBytes + 1] = {}; // code page 936 bytes, zero-terminated

    std::string tip() const { return std::string(szTip); }
};

// ---------------------------------------------------------------------------
// What the component needs of the desktop.

class TrayShell {
public:
    using WindowProc = std::function<std::intptr_t(unsigned msg, std::uintptr_t wParam,
                                                    std::intptr_t lParam)>;
    virtual ~TrayShell() = default;

    // An invisible window whose messages go to `proc`. The shell sends the icon's
    // callback messages to the window named in the record.
    virtual WindowId allocateWindow(WindowProc proc) = 0;
    virtual void deallocateWindow(WindowId window) = 0;
    // The window that carries the program's taskbar entry.
    virtual WindowId applicationWindow() = 0;

    // Add, modify or delete the icon named by (hWnd, uID). False when the shell refuses.
    virtual bool notifyIcon(NotifyMessage message, const NotifyIconData& data) = 0;

    // Cursor position in screen coordinates.
    virtual CursorPos cursorPos() = 0;
    // The keys held down now: a set of ssShift, ssCtrl and ssAlt.
    virtual TShiftState keyState() = 0;
    virtual void setForegroundWindow(WindowId window) = 0;
    virtual bool postMessage(WindowId window, unsigned msg, std::uintptr_t wParam,
                             std::intptr_t lParam) = 0;
    // The default handling of a message the window does not handle itself.
    virtual std::intptr_t defWindowProc(WindowId window, unsigned msg, std::uintptr_t wParam,
                                        std::intptr_t lParam) = 0;
    // Shows the menu at (x, y) and returns once it has closed.
    virtual void showMenu(MenuRef menu, int x, int y) = 0;
};

// The component's failure: "<Name>.AddToTaskbar failed" and the like.
class ETrayIcon : public Exception {
public:
    using Exception::Exception;
};

enum class TOperation { opInsert, opRemove };

// ---------------------------------------------------------------------------

class TTrayIcon {
public:
    // Creates the hidden window at once; the icon is not shown until Visible is set.
    explicit TTrayIcon(std::shared_ptr<TrayShell> shell, std::string name = "TrayIcon1");
    // Deletes a shown icon (calling OnHide) and destroys the hidden window.
    virtual ~TTrayIcon();

    TTrayIcon(const TTrayIcon&) = delete;
    TTrayIcon& operator=(const TTrayIcon&) = delete;

    // The component's name, used in the failure messages.
    std::string Name;

    // Called once the owner has applied every stored setting.
    virtual void Loaded();
    // Called when another component (named by its address) is destroyed: a
    // removed popup menu or image list is let go.
    virtual void Notification(const void* component, TOperation operation);

    // The window procedure of the hidden window.
    virtual std::intptr_t WndProc(unsigned msg, std::uintptr_t wParam, std::intptr_t lParam);

    // Properties. Icon() gives the own picture itself: changing it through this
    // reference makes no shell call (as when it is read from stored settings).
    TIcon& Icon() { return icon_; }
    const TIcon& Icon() const { return icon_; }
    virtual void SetIcon(const TIcon& value);
    TCustomImageList* ImageList() const { return imageList_; }
    virtual void SetImageList(TCustomImageList* value);
    int ImageIndex() const { return imageIndex_; }
    virtual void SetImageIndex(int value);
    int IconID() const { return iconId_; }
    virtual void SetIconID(int value);
    bool Visible() const { return visible_; }
    virtual void SetVisible(bool value);
    bool Enabled() const { return enabled_; }
    virtual void SetEnabled(bool value);
    const AnsiString& Hint() const { return hint_; }
    // Cut to its first 63 bytes (a double-byte character may be split).
    virtual void SetHint(const AnsiString& value);

    MenuRef PopupMenu = nullptr;

    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseUp;
    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TNotifyEvent OnPopupMenu;
    TNotifyEvent OnShow;
    TNotifyEvent OnHide;

    // Inspection.
    WindowId Handle() const { return window_; }
    unsigned Flags() const { return flags_; }
    bool ClickPending() const { return clickPending_; }
    const NotifyIconData& IconData() const { return data_; }

protected:
    virtual void FillIconData();
    virtual void AddToTaskbar();
    virtual void DeleteFromTaskbar();
    virtual void IconFromImageList();
    virtual void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
    virtual void MouseUp(TMouseButton button, TShiftState shift, int x, int y);
    virtual void Click();
    virtual void DblClick();
    virtual void UpDate();
    virtual void ShowIcon();
    virtual void HideIcon();
    virtual void PopupAtCursor();

private:
    void notify(NotifyMessage message, const char* operation);

    std::shared_ptr<TrayShell> shell_;
    TIcon icon_;
    TCustomImageList* imageList_ = nullptr;
    int imageIndex_ = 0;
    int iconId_ = 0;
    unsigned flags_ = NIF_MESSAGE | NIF_TIP;
    bool visible_ = false;
    bool enabled_ = true;
    AnsiString hint_;
    bool clickPending_ = false;
    NotifyIconData data_;
    WindowId window_ = 0;
    // Expires when the component is destroyed, so that code running after an
    // event (which may have destroyed it) can tell.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

} // namespace vq
