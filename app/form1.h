// The main window: every control of the search setup, the toolbar commands,
// the button states and the status bar. Its controls are bound to the search
// setup both ways; it is the engine's vq::MainView (the panels, buttons and
// progress); it owns the Qt versions of the ports and the engine, and each
// handler forwards to the engine under the default handler.
#pragma once

#include "app/branding.h"
#include "app/engine.h"
#include "app/spin_edit.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <array>
#include <filesystem>
#include <functional>
#include <memory>

class QAction;
class QCheckBox;
class QComboBox;
class QDialog;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QSplitter;
class QStatusBar;
class QSystemTrayIcon;
class QToolButton;
class QTreeView;
class QWebEngineView;

namespace vq {

class ResultModel;
class OffscreenLanes;
class QtRobotsFetcher;
class QtTimer;

class TForm1 : public QMainWindow, public MainView {
    Q_OBJECT
public:
    struct Options {
        Prompts* prompts = nullptr;          // null: the window's own Qt boxes
        HostLookup* host = nullptr;          // null: the interfaces' addresses
        std::filesystem::path programDir;    // empty: defaultProgramDir()
        bool loadSettings = true;            // FormCreate loads the option lists and state
        // Whether the desktop has a notification area (minimising hides the
        // window to the tray only then); unset: QSystemTrayIcon's answer.
        std::function<bool()> trayAvailable;
    };

    explicit TForm1(QWidget* parent = nullptr);
    explicit TForm1(Options options, QWidget* parent = nullptr);
    ~TForm1() override;

    // Toolbar and menu commands.
    void N1Click();
    void N2Click();
    void N3Click();
    void N4Click();
    void N5Click();
    void N28Click();
    void SpeedButton8Click();
    void SpeedButton10Click();
    void SpeedButton11Click();
    void N15Click();

    // Tray side (app/form1_tray.cpp).
    void N14Click();
    void N17Click();
    void N18Click();
    void N20Click();
    void N23Click();

    // The result lists' context menu (PopupMenu2): "复制", "全部复制", "导出…", "清空"
    // on the list it was opened for.
    QMenu* resultMenuFor(QTreeView* view);
    void CopyClick();
    void CopyAllClick();
    void ExportClick();
    void ClearClick();
    void ExportFailedClick(); // "导出失败地址…"

    // The controls bound to the search setup, as values (app/form1_view.cpp):
    // setting one sets the setup too.
    bool isChecked(Switch s) const;
    void setChecked(Switch s, bool on);
    int speed() const; // as the field reads: the integer written, or 1
    void setSpeed(int seconds);
    int pagesAtOnce() const;
    void setPagesAtOnce(int pages);
    int depth() const; // "深度"
    Follow follow() const; // "跟随"
    void setSiteCrawl(int depth, Follow follow);
    AnsiString listPath() const;
    void setListPath(const AnsiString& path);
    std::vector<AnsiString> memoLines(OptionList m) const;
    void setMemoLines(OptionList m, const std::vector<AnsiString>& lines);

    // vq::MainView.
    void setPanel(int index, const std::string& text) override;
    std::string panel(int index) const override;
    void applyButtonSet(ButtonSet set) override;
    void showProgress(int32_t index, int32_t total, const AnsiString& address) override;
    void progressEnded() override;
    void showDepth(int depth) override;
    void showLanes(size_t busy, size_t lanes) override;
    void showFailures(int total, const std::string& byKind) override;
    void repaint() override;
    void setBusyCursor(bool busy) override;
    void pause(int ms) override;

    // The dialogs the commands show; created by the program entry after the window.
    void setAboutBox(QDialog* box) { aboutBox_ = box; }
    void setUrlGenerator(QDialog* dialog) { urlGenerator_ = dialog; }

    Engine& engine() { return *engine_; }
    Prompts& prompts() { return *prompts_; }
    const std::filesystem::path& programDir() const { return programDir_; }

    static constexpr int kPanelCount = 9;
    static constexpr int kResultBandHeight = 88; // the result lists' first height

signals:
    // The user confirmed the exit: the program's message loop should end.
    void closeAccepted();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void setupTray(); // creates TrayIcon1 and PopupMenu1 (app/form1_tray.cpp)
    void buildControls();
    void FormCreate(bool loadSettings);
    void FormDestroy();
    QAction* addMenuItem(QMenu* menu, const char* name, const QString& caption, void (TForm1::*handler)());
    QToolButton* addSpeedButton(QWidget* bar, const char* name, const QString& caption,
                                const QString& hint, void (TForm1::*handler)());
    QCheckBox* switchBox(Switch s) const;
    QPlainTextEdit* memo(OptionList m) const;
    // The controls show the setup and change it (app/form1_bind.cpp).
    void bindSetup();
    void scrollToNewItems();
    QString exitQuestion() const;
    int etaWidth() const; // the time left's label
    void copyRows(QTreeView* view, bool all);

public:
    // Toolbar.
    QToolButton* SpeedButton1 = nullptr;  // "网址"
    QToolButton* SpeedButton2 = nullptr;  // "搜索"
    QToolButton* SpeedButton3 = nullptr;  // "终止"
    QToolButton* SpeedButton4 = nullptr;  // "继续"
    QToolButton* SpeedButton5 = nullptr;  // "保存"
    QToolButton* SpeedButton6 = nullptr;  // "创建"
    QToolButton* SpeedButton8 = nullptr;  // "进程"
    QToolButton* SpeedButton11 = nullptr; // "整理"
    QToolButton* SpeedButton9 = nullptr;  // "关于"
    QToolButton* SpeedButton10 = nullptr; // "退出"
    // Option row.
    SpinEdit* SpinEdit1 = nullptr;
    SpinEdit* SpinEdit2 = nullptr;  // "同时打开": pages at once
    SpinEdit* DepthEdit = nullptr;  // "深度": 0 the list alone, above it a site crawl
    QComboBox* FollowBox = nullptr; // "跟随": "本站" or "全部"
    QCheckBox* FramesBox = nullptr; // "含框架页": the frames' text and links too
    QCheckBox* OcrBox = nullptr;    // "识别图片号码": numbers drawn as pictures
    QCheckBox* FastBox = nullptr;   // "快速读取": pages read from their HTML where that proves the same
    QCheckBox* IdleBox = nullptr;   // "空闲即读": a page's settle ends once its scripts have nothing left
    QCheckBox* CheckBox1 = nullptr; // "去重"
    QCheckBox* CheckBox8 = nullptr; // "自动保存"
    QCheckBox* CheckBox3 = nullptr; // "搜索链接"
    QCheckBox* CheckBox5 = nullptr; // "搜索传真"
    QLineEdit* Edit5 = nullptr;     // URL list path
    // Filter band.
    QCheckBox* CheckBox6 = nullptr; // "启用链接筛选"
    QCheckBox* CheckBox7 = nullptr; // "只搜索本站"
    QCheckBox* CheckBox9 = nullptr; // "含https链接"
    QPlainTextEdit* Memo4 = nullptr; // links must contain
    QPlainTextEdit* Memo5 = nullptr; // links must not contain
    QPlainTextEdit* Memo1 = nullptr; // fax marker words
    // Result band, and the splitter between it and the browser.
    QTreeView* ListView3 = nullptr; // "网址链接表"
    QTreeView* ListView4 = nullptr; // "传真号码表"
    QSplitter* Splitter1 = nullptr;
    QMenu* PopupMenu2 = nullptr;    // the result lists' context menu
    QAction* CopyItem = nullptr;    // "复制"
    QAction* CopyAllItem = nullptr; // "全部复制"
    QAction* ExportItem = nullptr;  // "导出…"
    QAction* ClearItem = nullptr;   // "清空"
    QAction* FailedItem = nullptr;  // "导出失败地址…"
    // Browser and status bar; the progress bar and the time left follow the panels.
    QWebEngineView* WebBrowser1 = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    std::array<QLabel*, kPanelCount> panels{};
    QProgressBar* ProgressBar1 = nullptr;
    QLabel* EtaLabel = nullptr;
    QLabel* FailLabel = nullptr;    // "失败 n": lines that did not end scanned

    QMenu* PopupMenu1 = nullptr;
    QAction* N17 = nullptr;
    QAction* N18 = nullptr;
    QAction* N19 = nullptr;
    QAction* N20 = nullptr;
    QAction* N21 = nullptr;
    QAction* N23 = nullptr;
    QSystemTrayIcon* TrayIcon1 = nullptr; // the icon, its tooltip and PopupMenu1; a left click runs N17Click

private:
    std::filesystem::path programDir_;
    std::unique_ptr<Prompts> ownPrompts_;
    Prompts* prompts_ = nullptr;
    QDialog* aboutBox_ = nullptr;
    QDialog* urlGenerator_ = nullptr;
    bool busy_ = false;
    bool keepsGeometry_ = false; // the window's place and splitter go to vqwindow.ini at the end
    bool askingToClose_ = false; // the exit confirmation is open
    bool scrollPending_ = false;
    QTreeView* menuView_ = nullptr; // the list PopupMenu2 was opened for
    bool progressRunning_ = false;  // showProgress() seen since the search began
    int32_t progressFirst_ = 0;     // lines done when it began
    QElapsedTimer progressClock_;
    int depth_ = -1; // the depth a site crawl has reached, -1: none
    int setupListener_ = 0; // the controls' listener on the setup
    std::function<bool()> trayAvailable_;

public:
    // Ports and engine; declared in this order so that the engine goes first at
    // destruction and the result models before the lists they observe.
    std::unique_ptr<QtTimer> Timer1; // page timer, 8000 ms
    std::unique_ptr<QtTimer> Timer2; // autosave timer, 300000 ms
    std::unique_ptr<QtTimer> Timer3; // watchdog, 300000 ms

private:
    std::unique_ptr<HostLookup> ownHost_;
    HostLookup* host_ = nullptr;
    std::unique_ptr<Browser> browser_;
    std::unique_ptr<OffscreenLanes> lanes_; // outlives the engine, whose lanes they are
    std::unique_ptr<QtRobotsFetcher> robots_; // outlives the engine too
    std::unique_ptr<Engine> engine_;
    std::unique_ptr<ResultModel> linkModel_;
    std::unique_ptr<ResultModel> faxModel_;
};

} // namespace vq
