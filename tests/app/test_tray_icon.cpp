// The tray icon component against a recording shell: the notification calls it
// makes for every property change, the events it raises for the mouse messages,
// its failures and its destruction.
#include "app/tray_icon.h"

#include <QTest>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>

using namespace vq;

namespace {

struct NamedImage : IconImage {
    explicit NamedImage(QString n) : name(std::move(n)) {}
    QString name;
};

TIcon picture(const char* name) { return TIcon(std::make_shared<const NamedImage>(name)); }

QString shiftText(TShiftState s)
{
    QStringList parts;
    const std::pair<unsigned, const char*> names[] = {
        {ssShift, "Shift"}, {ssAlt, "Alt"}, {ssCtrl, "Ctrl"}, {ssLeft, "Left"},
        {ssRight, "Right"}, {ssMiddle, "Middle"}, {ssDouble, "Double"}};
    for (const auto& [flag, name] : names)
        if (s & flag)
            parts << name;
    return parts.join('+');
}

const char* buttonText(TMouseButton b)
{
    return b == TMouseButton::mbLeft ? "left" : b == TMouseButton::mbRight ? "right" : "middle";
}

// Records every call in one log, together with the events the test binds; acts
// like the shell in refusing an add of an icon that is there and a modify or
// delete of one that is not.
class RecordingShell : public TrayShell {
public:
    explicit RecordingShell(QStringList& log) : log(log) {}

    QStringList& log;
    std::map<WindowId, WindowProc> windows;
    std::set<std::pair<WindowId, unsigned>> present;
    std::vector<std::pair<NotifyMessage, NotifyIconData>> records;
    std::optional<NotifyMessage> throwOn; // that call throws
    bool throwForeign = false;            // ... something that is no std::exception
    TShiftState keys = 0;
    int cursorReads = 0;
    std::function<void()> duringMenu;
    static constexpr WindowId App = 900;
    WindowId next = 100;
    int deallocated = 0;

    QString windowName(WindowId w) const
    {
        return w == App ? QStringLiteral("app") : windows.count(w) ? QStringLiteral("hidden")
                                                                    : QString::number(w);
    }

    // The shell sending a message to a window.
    std::intptr_t send(WindowId w, unsigned msg, std::uintptr_t wParam, std::intptr_t lParam)
    {
        const WindowProc proc = windows.at(w); // the handler may deallocate the window
        return proc(msg, wParam, lParam);
    }

    WindowId allocateWindow(WindowProc proc) override
    {
        windows[next] = std::move(proc);
        return next++;
    }
    void deallocateWindow(WindowId w) override
    {
        windows.erase(w);
        ++deallocated;
        log << "window destroyed";
    }
    WindowId applicationWindow() override { return App; }

    bool notifyIcon(NotifyMessage m, const NotifyIconData& d) override
    {
        records.emplace_back(m, d);
        if (throwOn == m) {
            if (throwForeign)
                throw 42;
            throw std::runtime_error("shell failed");
        }
        static const char* names[] = {"add", "modify", "delete"};
        const auto key = std::make_pair(d.hWnd, d.uID);
        bool ok = false;
        if (m == NIM_ADD)
            ok = present.insert(key).second;
        else if (m == NIM_DELETE)
            ok = present.erase(key) == 1;
        else
            ok = present.count(key) == 1;
        const auto* image = dynamic_cast<const NamedImage*>(d.hIcon);
        log << QStringLiteral("%1 id=%2 flags=%3 icon=%4 tip=%5%6")
                   .arg(names[m])
                   .arg(d.uID)
                   .arg(d.uFlags)
                   .arg(image ? image->name : QStringLiteral("-"))
                   .arg(QString::fromLatin1(d.szTip))
                   .arg(ok ? "" : " refused");
        return ok;
    }
    CursorPos cursorPos() override
    {
        ++cursorReads;
        return CursorPos{10 * cursorReads, 20 * cursorReads};
    }
    TShiftState keyState() override { return keys; }
    void setForegroundWindow(WindowId w) override { log << "foreground " + windowName(w); }
    bool postMessage(WindowId w, unsigned msg, std::uintptr_t wp, std::intptr_t lp) override
    {
        log << QStringLiteral("post %1 %2 %3 to %4").arg(msg).arg(wp).arg(lp).arg(windowName(w));
        return true;
    }
    std::intptr_t defWindowProc(WindowId w, unsigned msg, std::uintptr_t wp, std::intptr_t lp) override
    {
        log << QStringLiteral("default %1 %2 %3 on %4").arg(msg).arg(wp).arg(lp).arg(windowName(w));
        return 77;
    }
    void showMenu(MenuRef menu, int x, int y) override
    {
        log << QStringLiteral("menu %1 at %2,%3")
                   .arg(*static_cast<const char*>(menu))
                   .arg(x)
                   .arg(y);
        if (duringMenu)
            duringMenu();
    }
};

const char kMenuA = 'A';
const char kMenuB = 'B';

void bindEvents(TTrayIcon& icon, QStringList& log)
{
    const auto mouse = [&log](const char* what) {
        return [&log, what](TTrayIcon&, TMouseButton b, TShiftState s, int x, int y) {
            log << QStringLiteral("%1 %2 %3 %4,%5").arg(what, buttonText(b), shiftText(s)).arg(x).arg(y);
        };
    };
    const auto notify = [&log](const char* what) { return [&log, what](TTrayIcon&) { log << what; }; };
    icon.OnMouseDown = mouse("MouseDown");
    icon.OnMouseUp = mouse("MouseUp");
    icon.OnClick = notify("Click");
    icon.OnDblClick = notify("DblClick");
    icon.OnPopupMenu = notify("PopupMenu");
    icon.OnShow = notify("Show");
    icon.OnHide = notify("Hide");
}

using Script = std::function<void(TTrayIcon&)>;
using Messages = QList<unsigned>;

} // namespace

Q_DECLARE_METATYPE(Script)

class TrayIconTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        log_.clear();
        shell_ = std::make_shared<RecordingShell>(log_);
        icon_ = std::make_unique<TTrayIcon>(shell_);
        bindEvents(*icon_, log_);
    }
    void cleanup()
    {
        icon_.reset();
        shell_.reset();
    }

    void construction();
    void propertyChanges_data();
    void propertyChanges();
    void record();
    void hintIsCutTo63Bytes_data();
    void hintIsCutTo63Bytes();
    void mouseMessages_data();
    void mouseMessages();
    void mouseMessagesWithoutHandlers();
    void otherMessagesGoToTheDefaultProcedure();
    void shellFailures_data();
    void shellFailures();
    void destruction_data();
    void destruction();
    void removedComponentsAreLetGo();
    void destroyedByItsOwnEvent_data();
    void destroyedByItsOwnEvent();

private:
    std::intptr_t callback(unsigned mouseMessage)
    {
        return shell_->send(icon_->Handle(), WM_TRAYICON, 0, static_cast<std::intptr_t>(mouseMessage));
    }

    QStringList log_;
    std::shared_ptr<RecordingShell> shell_;
    std::unique_ptr<TTrayIcon> icon_;
};

void TrayIconTest::construction()
{
    QCOMPARE(log_, QStringList());
    QVERIFY(icon_->Handle() != 0);
    QCOMPARE(shell_->windows.size(), size_t(1));
    QCOMPARE(icon_->Flags(), 5u);
    QCOMPARE(icon_->Visible(), false);
    QCOMPARE(icon_->Enabled(), true);
    QCOMPARE(icon_->ImageIndex(), 0);
    QCOMPARE(icon_->IconID(), 0);
    QCOMPARE(icon_->Hint(), AnsiString());
    QVERIFY(icon_->Icon().Empty());
    QVERIFY(icon_->ImageList() == nullptr);
    QVERIFY(icon_->PopupMenu == nullptr);
    QCOMPARE(icon_->ClickPending(), false);
    QCOMPARE(icon_->Name, std::string("TrayIcon1"));
}

void TrayIconTest::propertyChanges_data()
{
    QTest::addColumn<Script>("script");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<unsigned>("flags");

    // The main window's icon as it is built: picture, Visible, Hint, then Loaded.
    QTest::newRow("stored order, then loaded")
        << Script([](TTrayIcon& t) {
               t.Icon().Assign(picture("P"));
               t.SetVisible(true);
               t.SetHint("Title");
               t.Loaded();
           })
        << QStringList{"add id=0 flags=7 icon=P tip=", "Show", "modify id=0 flags=7 icon=P tip=Title",
                       "add id=0 flags=7 icon=P tip=Title refused", "Show"}
        << 7u;
    QTest::newRow("loaded while hidden does nothing")
        << Script([](TTrayIcon& t) { t.Loaded(); }) << QStringList{} << 5u;
    QTest::newRow("visible to its current value, hidden")
        << Script([](TTrayIcon& t) { t.SetVisible(false); }) << QStringList{} << 5u;
    QTest::newRow("visible to its current value, shown")
        << Script([](TTrayIcon& t) {
               t.SetVisible(true);
               t.SetVisible(true);
           })
        << QStringList{"add id=0 flags=7 icon=- tip=", "Show"} << 7u;
    QTest::newRow("hide takes the icon flag out")
        << Script([](TTrayIcon& t) {
               t.SetVisible(true);
               t.SetVisible(false);
           })
        << QStringList{"add id=0 flags=7 icon=- tip=", "Show", "delete id=0 flags=5 icon=- tip=", "Hide"}
        << 5u;
    QTest::newRow("icon id while shown: delete old, add new")
        << Script([](TTrayIcon& t) {
               t.SetVisible(true);
               t.SetIconID(5);
           })
        << QStringList{"add id=0 flags=7 icon=- tip=", "Show", "delete id=0 flags=5 icon=- tip=", "Hide",
                       "add id=5 flags=7 icon=- tip=", "Show"}
        << 7u;
    QTest::newRow("icon id while hidden: only the id, used by the next add")
        << Script([](TTrayIcon& t) {
               t.SetIconID(5);
               t.SetVisible(true);
           })
        << QStringList{"add id=5 flags=7 icon=- tip=", "Show"} << 7u;
    QTest::newRow("icon id to its current value")
        << Script([](TTrayIcon& t) {
               t.SetVisible(true);
               t.SetIconID(0);
           })
        << QStringList{"add id=0 flags=7 icon=- tip=", "Show"} << 7u;
    QTest::newRow("hint while hidden: refused modify, the next add carries it")
        << Script([](TTrayIcon& t) {
               t.SetHint("Later");
               t.SetVisible(true);
           })
        << QStringList{"modify id=0 flags=5 icon=- tip=Later refused", "add id=0 flags=7 icon=- tip=Later",
                       "Show"}
        << 7u;
    QTest::newRow("icon while hidden: refused modify, the next add carries it")
        << Script([](TTrayIcon& t) {
               t.SetIcon(picture("Q"));
               t.SetVisible(true);
           })
        << QStringList{"modify id=0 flags=5 icon=Q tip= refused", "add id=0 flags=7 icon=Q tip=", "Show"}
        << 7u;
    QTest::newRow("icon and hint while shown are modifies")
        << Script([](TTrayIcon& t) {
               t.SetVisible(true);
               t.SetIcon(picture("Q"));
               t.SetHint("H");
           })
        << QStringList{"add id=0 flags=7 icon=- tip=", "Show", "modify id=0 flags=7 icon=Q tip=",
                       "modify id=0 flags=7 icon=Q tip=H"}
        << 7u;
    QTest::newRow("enabled and popup menu make no call")
        << Script([](TTrayIcon& t) {
               t.SetVisible(true);
               t.SetEnabled(false);
               t.PopupMenu = &kMenuA;
           })
        << QStringList{"add id=0 flags=7 icon=- tip=", "Show"} << 7u;
}

void TrayIconTest::propertyChanges()
{
    QFETCH(Script, script);
    QFETCH(QStringList, expected);
    QFETCH(unsigned, flags);
    script(*icon_);
    QCOMPARE(log_, expected);
    QCOMPARE(icon_->Flags(), flags);
    // The refused calls change nothing the component keeps.
    QCOMPARE(icon_->Visible(), (flags & NIF_ICON) != 0);
}

void TrayIconTest::record()
{
    TImageList images;
    images.Images = {picture("I0"), picture("I1")};
    icon_->SetVisible(true);
    icon_->SetIconID(3);
    icon_->SetImageList(&images);
    icon_->SetImageIndex(1);
    icon_->SetImageIndex(7); // outside the list: no picture
    icon_->SetImageList(nullptr); // keeps the picture it has
    QCOMPARE(log_.mid(6), (QStringList{"modify id=3 flags=7 icon=I0 tip=",
                                       "modify id=3 flags=7 icon=I1 tip=",
                                       "modify id=3 flags=7 icon=- tip="}));
    QVERIFY(icon_->Icon().Empty());

    const NotifyIconData& d = shell_->records.back().second;
    QCOMPARE(d.cbSize, 88u);
    QCOMPARE(d.hWnd, icon_->Handle());
    QCOMPARE(d.uID, 3u);
    QCOMPARE(d.uFlags, NIF_MESSAGE | NIF_ICON | NIF_TIP);
    QCOMPARE(d.uCallbackMessage, 1025u);
    QVERIFY(d.hIcon == nullptr);
    QCOMPARE(d.tip(), std::string());
}

void TrayIconTest::hintIsCutTo63Bytes_data()
{
    QTest::addColumn<QByteArray>("hint");
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QByteArray>("tip");

    const QByteArray zhong("\xD6\xD0"); // 中
    QTest::newRow("empty") << QByteArray() << QByteArray() << QByteArray();
    QTest::newRow("63 bytes stay") << QByteArray(63, 'a') << QByteArray(63, 'a') << QByteArray(63, 'a');
    QTest::newRow("64 bytes lose the last") << QByteArray(64, 'a') << QByteArray(63, 'a') << QByteArray(63, 'a');
    QTest::newRow("300 bytes") << QByteArray(300, 'b') << QByteArray(63, 'b') << QByteArray(63, 'b');
    QTest::newRow("double-byte characters split in the middle")
        << zhong.repeated(32) << zhong.repeated(31) + "\xD6" << zhong.repeated(31) + "\xD6";
    QTest::newRow("double-byte characters cut between")
        << "a" + zhong.repeated(32) << "a" + zhong.repeated(31) << "a" + zhong.repeated(31);
    QTest::newRow("the title") << QByteArray("\xA1\xBAVelqorDornavik\xA1\xBBV2.0")
                               << QByteArray("\xA1\xBAVelqorDornavik\xA1\xBBV2.0")
                               << QByteArray("\xA1\xBAVelqorDornavik\xA1\xBBV2.0");
    QTest::newRow("a NUL ends the tooltip") << QByteArray("ab\0cd", 5) << QByteArray("ab\0cd", 5)
                                            << QByteArray("ab");
}

void TrayIconTest::hintIsCutTo63Bytes()
{
    QFETCH(QByteArray, hint);
    QFETCH(QByteArray, stored);
    QFETCH(QByteArray, tip);
    icon_->SetVisible(true);
    icon_->SetHint(hint.toStdString());
    QCOMPARE(QByteArray::fromStdString(icon_->Hint()), stored);
    const NotifyIconData& d = shell_->records.back().second;
    QCOMPARE(shell_->records.back().first, NIM_MODIFY);
    QCOMPARE(QByteArray(d.szTip), tip);
    QCOMPARE(d.szTip[tip.size()], '\0');
}

void TrayIconTest::mouseMessages_data()
{
    QTest::addColumn<Messages>("messages");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("menu");
    QTest::addColumn<unsigned>("keys");
    QTest::addColumn<QStringList>("expected");

    // Each message reads the cursor once (10,20 then 20,40 ...); the menu reads it again.
    QTest::newRow("left click")
        << Messages{WM_LBUTTONDOWN, WM_LBUTTONUP} << true << true << 0u
        << QStringList{"MouseDown left Left 10,20", "foreground app", "MouseUp left Left 20,40", "Click"};
    QTest::newRow("double click as the shell reports it")
        << Messages{WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP} << true << true << 0u
        << QStringList{"MouseDown left Left 10,20", "foreground app", "MouseUp left Left 20,40", "Click",
                       "DblClick", "foreground app", "MouseUp left Left 40,80"};
    QTest::newRow("release without a press gives no click")
        << Messages{WM_LBUTTONUP} << true << true << 0u
        << QStringList{"foreground app", "MouseUp left Left 10,20"};
    QTest::newRow("keys held are passed with the button")
        << Messages{WM_LBUTTONDOWN, WM_RBUTTONDOWN} << true << false << unsigned(ssShift | ssCtrl)
        << QStringList{"MouseDown left Shift+Ctrl+Left 10,20", "foreground hidden",
                       "MouseDown right Shift+Ctrl+Right 20,40"};
    QTest::newRow("keys are only shift, ctrl and alt")
        << Messages{WM_LBUTTONDOWN} << true << false << unsigned(ssAlt | ssRight | ssDouble)
        << QStringList{"MouseDown left Alt+Left 10,20"};
    QTest::newRow("right click opens the menu at the cursor read again")
        << Messages{WM_RBUTTONDOWN, WM_RBUTTONUP} << true << true << 0u
        << QStringList{"foreground hidden", "MouseDown right Right 10,20", "menu A at 30,60",
                       "post 0 0 0 to hidden", "PopupMenu", "foreground app", "MouseUp right Right 20,40"};
    QTest::newRow("right click without a menu shows nothing")
        << Messages{WM_RBUTTONDOWN, WM_RBUTTONUP} << true << false << 0u
        << QStringList{"foreground hidden", "MouseDown right Right 10,20", "foreground app",
                       "MouseUp right Right 20,40"};
    QTest::newRow("moves, middle button, right double click: nothing")
        << Messages{WM_MOUSEMOVE, WM_MBUTTONDOWN, WM_MBUTTONUP, WM_RBUTTONDBLCLK, 0x020A} << true << true
        << 0u << QStringList{};
    QTest::newRow("disabled: everything to the default procedure")
        << Messages{WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_RBUTTONDOWN, WM_RBUTTONUP} << false
        << true << 0u
        << QStringList{"default 1025 0 513 on hidden", "default 1025 0 514 on hidden",
                       "default 1025 0 515 on hidden", "default 1025 0 516 on hidden",
                       "default 1025 0 517 on hidden"};
}

void TrayIconTest::mouseMessages()
{
    QFETCH(Messages, messages);
    QFETCH(bool, enabled);
    QFETCH(bool, menu);
    QFETCH(unsigned, keys);
    QFETCH(QStringList, expected);
    icon_->SetVisible(true);
    log_.clear();
    icon_->SetEnabled(enabled);
    icon_->PopupMenu = menu ? &kMenuA : nullptr;
    shell_->keys = keys;
    for (unsigned m : messages)
        QCOMPARE(callback(m), std::intptr_t(enabled ? 0 : 77));
    QCOMPARE(log_, expected);
}

void TrayIconTest::mouseMessagesWithoutHandlers()
{
    icon_ = std::make_unique<TTrayIcon>(shell_);
    icon_->PopupMenu = &kMenuB;
    for (unsigned m : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_RBUTTONDOWN, WM_RBUTTONUP})
        callback(m);
    QCOMPARE(log_, (QStringList{"window destroyed", "foreground app", "foreground hidden", "menu B at 60,120",
                                "post 0 0 0 to hidden", "foreground app"}));
    // The press set the pending click and the release took it.
    QCOMPARE(icon_->ClickPending(), false);
    callback(WM_LBUTTONDOWN);
    QCOMPARE(icon_->ClickPending(), true);
}

void TrayIconTest::otherMessagesGoToTheDefaultProcedure()
{
    QCOMPARE(shell_->send(icon_->Handle(), WM_NULL, 0, 0), std::intptr_t(77));
    QCOMPARE(shell_->send(icon_->Handle(), WM_USER + 2, 4, WM_LBUTTONUP), std::intptr_t(77));
    // The identifier in wParam is not looked at.
    QCOMPARE(shell_->send(icon_->Handle(), WM_TRAYICON, 99, WM_LBUTTONDBLCLK), std::intptr_t(0));
    QCOMPARE(log_, (QStringList{"default 0 0 0 on hidden", "default 1026 4 514 on hidden", "DblClick"}));
}

void TrayIconTest::shellFailures_data()
{
    QTest::addColumn<int>("failing");
    QTest::addColumn<bool>("foreign");
    QTest::addColumn<Script>("script");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("visible");
    QTest::addColumn<QStringList>("events");

    const Script show = [](TTrayIcon& t) { t.SetVisible(true); };
    QTest::newRow("add") << int(NIM_ADD) << false << show << "TrayIcon1.AddToTaskbar failed" << true
                         << QStringList{};
    QTest::newRow("add, not a std::exception") << int(NIM_ADD) << true << show
                                               << "TrayIcon1.AddToTaskbar failed" << true << QStringList{};
    QTest::newRow("delete") << int(NIM_DELETE) << false
                            << Script([](TTrayIcon& t) {
                                   t.SetVisible(true);
                                   t.SetVisible(false);
                               })
                            << "TrayIcon1.DeleteFromTaskbar failed" << false << QStringList{"Show"};
    QTest::newRow("modify, with the component's name")
        << int(NIM_MODIFY) << false << Script([](TTrayIcon& t) {
               t.Name = "Tray7";
               t.SetHint("new");
           })
        << "Tray7.UpDate failed" << false << QStringList{};
    QTest::newRow("icon id: the delete fails, the id stays")
        << int(NIM_DELETE) << false << Script([](TTrayIcon& t) {
               t.SetVisible(true);
               t.SetIconID(4);
           })
        << "TrayIcon1.DeleteFromTaskbar failed" << false << QStringList{"Show"};
}

void TrayIconTest::shellFailures()
{
    QFETCH(int, failing);
    QFETCH(bool, foreign);
    QFETCH(Script, script);
    QFETCH(QString, message);
    QFETCH(bool, visible);
    QFETCH(QStringList, events);
    shell_->throwOn = NotifyMessage(failing);
    shell_->throwForeign = foreign;
    try {
        script(*icon_);
        QFAIL("no exception");
    } catch (const ETrayIcon& e) {
        QCOMPARE(QString::fromUtf8(e.what()), message);
    }
    // The setter stored its value; the steps after the failed call were skipped.
    QCOMPARE(icon_->Visible(), visible);
    QStringList raised;
    for (const QString& line : log_)
        if (!line.contains(' '))
            raised << line;
    QCOMPARE(raised, events);
    if (QTest::currentDataTag() == QByteArray("modify, with the component's name"))
        QCOMPARE(icon_->Hint(), AnsiString("new"));
    if (QTest::currentDataTag() == QByteArray("icon id: the delete fails, the id stays"))
        QCOMPARE(icon_->IconID(), 0);
}

void TrayIconTest::destruction_data()
{
    QTest::addColumn<bool>("shown");
    QTest::addColumn<bool>("deleteFails");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("shown: deleted, then the window")
        << true << false << QStringList{"delete id=0 flags=5 icon=- tip=", "Hide", "window destroyed"};
    QTest::newRow("hidden: only the window") << false << false << QStringList{"window destroyed"};
    // A failing delete does not escape the destructor.
    QTest::newRow("shown, the delete fails") << true << true << QStringList{"window destroyed"};
}

void TrayIconTest::destruction()
{
    QFETCH(bool, shown);
    QFETCH(bool, deleteFails);
    QFETCH(QStringList, expected);
    icon_->SetVisible(shown);
    log_.clear();
    if (deleteFails)
        shell_->throwOn = NIM_DELETE;
    icon_.reset();
    QCOMPARE(log_, expected);
    QCOMPARE(shell_->deallocated, 1);
    QVERIFY(shell_->windows.empty());
    if (!deleteFails)
        QVERIFY(shell_->present.empty());
}

void TrayIconTest::removedComponentsAreLetGo()
{
    icon_->PopupMenu = &kMenuA;
    icon_->Notification(&kMenuB, TOperation::opRemove);
    QVERIFY(icon_->PopupMenu == &kMenuA);
    icon_->Notification(&kMenuA, TOperation::opInsert);
    QVERIFY(icon_->PopupMenu == &kMenuA);
    icon_->Notification(&kMenuA, TOperation::opRemove);
    QVERIFY(icon_->PopupMenu == nullptr);
    // A right click now shows nothing.
    callback(WM_RBUTTONUP);
    QVERIFY(!log_.join(';').contains("menu"));

    // A removed image list is let go as well; the icon keeps its picture.
    auto images = std::make_unique<TImageList>();
    images->Images = {picture("I0")};
    icon_->SetImageList(images.get());
    icon_->Notification(images.get(), TOperation::opRemove);
    images.reset();
    QVERIFY(icon_->ImageList() == nullptr);
    icon_->SetImageIndex(0); // no list: nothing to read, no call
    QCOMPARE(log_.last(), QString("modify id=0 flags=5 icon=I0 tip= refused"));
    QVERIFY(!icon_->Icon().Empty());
}

void TrayIconTest::destroyedByItsOwnEvent_data()
{
    QTest::addColumn<Messages>("messages");
    QTest::addColumn<QString>("where");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("by the click")
        << Messages{WM_LBUTTONDOWN, WM_LBUTTONUP} << "click"
        << QStringList{"MouseDown left Left 10,20", "foreground app", "MouseUp left Left 20,40", "Click",
                       "Hide", "window destroyed"};
    QTest::newRow("by the left release")
        << Messages{WM_LBUTTONDOWN, WM_LBUTTONUP} << "up"
        << QStringList{"MouseDown left Left 10,20", "foreground app", "MouseUp left Left 20,40", "Hide",
                       "window destroyed"};
    QTest::newRow("by a menu command")
        << Messages{WM_RBUTTONUP} << "menu"
        << QStringList{"menu A at 20,40", "Hide", "window destroyed"};
}

void TrayIconTest::destroyedByItsOwnEvent()
{
    QFETCH(Messages, messages);
    QFETCH(QString, where);
    QFETCH(QStringList, expected);
    icon_->SetVisible(true);
    icon_->PopupMenu = &kMenuA;
    log_.clear();
    const auto destroy = [this] { icon_.reset(); };
    if (where == "click")
        icon_->OnClick = [this, destroy](TTrayIcon&) {
            log_ << "Click";
            destroy();
        };
    if (where == "up")
        icon_->OnMouseUp = [this, destroy](TTrayIcon&, TMouseButton, TShiftState, int x, int y) {
            log_ << QStringLiteral("MouseUp left Left %1,%2").arg(x).arg(y);
            destroy();
        };
    if (where == "menu")
        shell_->duringMenu = destroy;
    const WindowId window = icon_->Handle();
    for (unsigned m : messages)
        shell_->send(window, WM_TRAYICON, 0, static_cast<std::intptr_t>(m));
    // The delete line comes first; the events after the destruction never run.
    QVERIFY(log_.removeOne("delete id=0 flags=5 icon=- tip="));
    QCOMPARE(log_, expected);
}

QTEST_GUILESS_MAIN(TrayIconTest)
#include "test_tray_icon.moc"
