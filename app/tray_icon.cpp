#include "app/tray_icon.h"

#include <algorithm>
#include <cstring>

namespace vq {

void TImageList::GetIcon(int index, TIcon& icon) const
{
    if (index >= 0 && index < Count())
        icon.Assign(Images[static_cast<std::size_t>(index)]);
    else
        icon.Clear();
}

TTrayIcon::TTrayIcon(std::shared_ptr<TrayShell> shell, std::string name)
    : Name(std::move(name)), shell_(std::move(shell))
{
    window_ = shell_->allocateWindow(
        [this](unsigned msg, std::uintptr_t wParam, std::intptr_t lParam) {
            return WndProc(msg, wParam, lParam);
        });
}

TTrayIcon::~TTrayIcon()
{
    // A failing delete must not escape a destructor (it would end the program);
    // the icon goes away with the hidden window in any case.
    try {
        SetVisible(false);
    } catch (...) {
    }
    alive_.reset();
    shell_->deallocateWindow(window_);
}

void TTrayIcon::Loaded()
{
    if (visible_)
        ShowIcon();
}

void TTrayIcon::Notification(const void* component, TOperation operation)
{
    if (operation != TOperation::opRemove || component == nullptr)
        return;
    if (component == PopupMenu)
        PopupMenu = nullptr;
    // The image list is only referenced too; the picture taken from it stays.
    if (component == static_cast<const void*>(imageList_))
        imageList_ = nullptr;
}

std::intptr_t TTrayIcon::WndProc(unsigned msg, std::uintptr_t wParam, std::intptr_t lParam)
{
    if (msg != WM_TRAYICON || !enabled_)
        return shell_->defWindowProc(window_, msg, wParam, lParam);

    // The events get the cursor position of this moment, not one from the message.
    const CursorPos pos = shell_->cursorPos();
    const unsigned mouseMessage = static_cast<unsigned>(lParam);
    const TShiftState keys = shell_->keyState() & (ssShift | ssCtrl | ssAlt);
    // An event handler may destroy the component; nothing of it is touched after that.
    const std::weak_ptr<int> alive = alive_;

    switch (mouseMessage) {
    case WM_LBUTTONDOWN:
        clickPending_ = true;
        MouseDown(TMouseButton::mbLeft, keys | ssLeft, pos.x, pos.y);
        break;
    case WM_LBUTTONUP: {
        MouseUp(TMouseButton::mbLeft, keys | ssLeft, pos.x, pos.y);
        if (alive.expired())
            break;
        const bool click = clickPending_;
        clickPending_ = false;
        if (click)
            Click();
        break;
    }
    case WM_LBUTTONDBLCLK:
        DblClick();
        break;
    case WM_RBUTTONDOWN:
        shell_->setForegroundWindow(window_);
        MouseDown(TMouseButton::mbRight, keys | ssRight, pos.x, pos.y);
        break;
    case WM_RBUTTONUP:
        PopupAtCursor();
        if (alive.expired())
            break;
        MouseUp(TMouseButton::mbRight, keys | ssRight, pos.x, pos.y);
        break;
    default:
        break; // moves, the middle button, a right double click
    }
    return 0;
}

void TTrayIcon::MouseDown(TMouseButton button, TShiftState shift, int x, int y)
{
    if (OnMouseDown)
        OnMouseDown(*this, button, shift, x, y);
}

void TTrayIcon::MouseUp(TMouseButton button, TShiftState shift, int x, int y)
{
    shell_->setForegroundWindow(shell_->applicationWindow());
    if (OnMouseUp)
        OnMouseUp(*this, button, shift, x, y);
}

void TTrayIcon::Click()
{
    if (OnClick)
        OnClick(*this);
}

void TTrayIcon::DblClick()
{
    if (OnDblClick)
        OnDblClick(*this);
}

void TTrayIcon::PopupAtCursor()
{
    if (PopupMenu == nullptr)
        return;
    const CursorPos pos = shell_->cursorPos();
    // The menu runs its own message loop, in which the component may be destroyed;
    // the shell is kept alive for the call.
    const std::shared_ptr<TrayShell> shell = shell_;
    const std::weak_ptr<int> alive = alive_;
    shell->showMenu(PopupMenu, pos.x, pos.y);
    if (alive.expired())
        return;
    shell_->postMessage(window_, WM_NULL, 0, 0);
    if (OnPopupMenu)
        OnPopupMenu(*this);
}

void TTrayIcon::FillIconData()
{
    NotifyIconData data;
    data.cbSize = NOTIFYICONDATA_V1_SIZE;
    data.hWnd = window_;
    data.uID = static_cast<unsigned>(iconId_);
    data.uFlags = flags_;
    data.uCallbackMessage = WM_TRAYICON;
    data.hIcon = icon_.Handle();
    // The tooltip ends at the hint's end, at its 63rd byte or at a NUL byte.
    const std::size_t length =
        std::min({hint_.size(), TrayHintMaxBytes, std::strlen(hint_.c_str())});
    std::memcpy(data.szTip, hint_.data(), length);
    data.szTip[length] = '\0';
    data_ = data;
}

void TTrayIcon::notify(NotifyMessage message, const char* operation)
{
    try {
        FillIconData();
        shell_->notifyIcon(message, data_); // a refusal is not an error
    } catch (...) {
        throw ETrayIcon(Name + "." + operation + " failed");
    }
}

void TTrayIcon::AddToTaskbar() { notify(NIM_ADD, "AddToTaskbar"); }
void TTrayIcon::DeleteFromTaskbar() { notify(NIM_DELETE, "DeleteFromTaskbar"); }
void TTrayIcon::UpDate() { notify(NIM_MODIFY, "UpDate"); }

void TTrayIcon::ShowIcon()
{
    flags_ |= NIF_ICON;
    AddToTaskbar();
    visible_ = true;
    if (OnShow)
        OnShow(*this);
}

void TTrayIcon::HideIcon()
{
    flags_ &= ~NIF_ICON;
    DeleteFromTaskbar();
    visible_ = false;
    if (OnHide)
        OnHide(*this);
}

void TTrayIcon::IconFromImageList()
{
    if (imageList_ == nullptr)
        return;
    icon_.Clear();
    imageList_->GetIcon(imageIndex_, icon_);
    UpDate();
}

void TTrayIcon::SetIcon(const TIcon& value)
{
    icon_.Assign(value);
    UpDate();
}

void TTrayIcon::SetImageList(TCustomImageList* value)
{
    imageList_ = value;
    IconFromImageList();
}

void TTrayIcon::SetImageIndex(int value)
{
    imageIndex_ = value;
    IconFromImageList();
}

void TTrayIcon::SetIconID(int value)
{
    if (value == iconId_)
        return;
    const bool wasVisible = visible_;
    SetVisible(false);
    iconId_ = value;
    SetVisible(wasVisible);
}

void TTrayIcon::SetVisible(bool value)
{
    if (value == visible_)
        return;
    visible_ = value;
    if (value)
        ShowIcon();
    else
        HideIcon();
}

void TTrayIcon::SetEnabled(bool value) { enabled_ = value; }

void TTrayIcon::SetHint(const AnsiString& value)
{
    hint_ = value.size() > TrayHintMaxBytes ? value.substr(0, TrayHintMaxBytes) : value;
    UpDate();
}

} // namespace vq
