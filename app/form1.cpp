#include "app/form1.h"

#include "app/form2.h"
#include "app/offscreen_lanes.h"
#include "app/robots_fetch.h"
#include "app/qt_prompts.h"
#include "app/qt_text.h"
#include "app/qt_timer.h"
#include "app/result_model.h"
#include "app/window_geometry.h"
#include "app/web_browser.h"
#include "search/host_lookup.h"
#include "text/errors.h"
#include "text/integer.h"
#include "text/paths.h"


#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDialog>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QResizeEvent>
#include <QProxyStyle>
#include <QScreen>
#include <QSplitter>
#include <QStandardPaths>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <QTreeView>
#include <QVBoxLayout>
#include <QWebEngineView>

#include <algorithm>
#include <stdexcept>

namespace vq {

namespace {

constexpr int kToolbarHeight = 31;
constexpr int kFilterBandHeight = 112; // the filters, and beside the markers the site crawl and what is read
constexpr int kResultColumnWidth = 250;


struct PanelSpec {
    int width;
    const char* text;
};
// Labels at the even places, values at the odd places, messages last.
constexpr PanelSpec kPanels[TForm1::kPanelCount] = {
    {39, "总数："}, {50, ""}, {39, "进程："}, {50, ""}, {39, "链接："},
    {50, ""},       {41, kPanelMergeLabel}, {50, ""}, {50, nullptr},
};

QString windowCaption()
{
    return QString::fromUtf8(maker::kAppTitle) + QStringLiteral(" —主页: ") +
           QString::fromUtf8(maker::kHomePage) + QStringLiteral(" 电话: ") +
           QString::fromUtf8(maker::kPhone);
}

QCheckBox* textLeftCheckBox(const char* name, const QString& caption, QWidget* parent)
{
    auto* box = new QCheckBox(caption, parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setLayoutDirection(Qt::RightToLeft); // caption to the left of the box
    box->setChecked(false);
    return box;
}

QPlainTextEdit* memoEdit(const char* name, const QStringList& lines, bool wrap, QWidget* parent)
{
    auto* edit = new QPlainTextEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setLineWrapMode(wrap ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
    edit->setPlainText(lines.join(QLatin1Char('\n')));
    edit->setTabChangesFocus(true);
    return edit;
}

QTreeView* resultView(const char* name, QWidget* parent)
{
    auto* view = new QTreeView(parent);
    view->setObjectName(QString::fromLatin1(name));
    view->setRootIsDecorated(false);
    view->setItemsExpandable(false);
    view->setUniformRowHeights(true);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view->setAllColumnsShowFocus(true);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    view->header()->setStretchLastSection(true); // the one column fills the list's width
    view->header()->setSectionsMovable(false);
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    return view;
}

} // namespace

// ---- TForm1 -----------------------------------------------------------------

TForm1::TForm1(QWidget* parent) : TForm1(Options{}, parent) {}

TForm1::TForm1(Options options, QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("Form1"));
    programDir_ = options.programDir.empty() ? defaultProgramDir() : options.programDir;
    trayAvailable_ = options.trayAvailable ? options.trayAvailable : [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
    if (options.prompts) {
        prompts_ = options.prompts;
    } else {
        ownPrompts_ = std::make_unique<QtPrompts>(this, QString::fromUtf8(maker::kAppTitle));
        prompts_ = ownPrompts_.get();
    }

    setWindowTitle(windowCaption());
    setFont(formFont());
    buildControls();
    resize(630, 463);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }

    Timer1 = std::make_unique<QtTimer>(kInitialPageTimerMs);
    Timer2 = std::make_unique<QtTimer>(kAutosaveMs);
    Timer3 = std::make_unique<QtTimer>(kInitialWatchdogMs);
    if (options.host) {
        host_ = options.host;
    } else {
        ownHost_ = std::make_unique<InterfaceHostLookup>();
        host_ = ownHost_.get();
    }
    // The visible browser shows the page the search drives.
    auto browser = std::make_unique<WebEngineBrowser>(static_cast<QWebEnginePage*>(nullptr));
    WebBrowser1->setPage(browser->page());
    browser_ = std::move(browser);
    lanes_ = std::make_unique<OffscreenLanes>();
    robots_ = std::make_unique<QtRobotsFetcher>();
    engine_ = std::make_unique<Engine>(EnginePorts{*this, *prompts_, *browser_, *host_, *Timer1, *Timer2, *Timer3,
                                                   programDir_,
                                                   [this](SearchSession& session, int lanes) {
                                                       lanes_->provide(session, lanes);
                                                   },
                                                   robots_.get(), lanes_->fetcherFor(WebBrowser1->page())});

    bindSetup();

    linkModel_ = std::make_unique<ResultModel>(engine_->links, QStringLiteral("网址链接表"));
    faxModel_ = std::make_unique<ResultModel>(engine_->fax, QStringLiteral("传真号码表"));
    ListView3->setModel(linkModel_.get());
    ListView4->setModel(faxModel_.get());
    for (QTreeView* view : {ListView3, ListView4}) {
        view->header()->resizeSection(0, kResultColumnWidth);
        connect(view->model(), &QAbstractItemModel::rowsInserted, this, [this] {
            if (!scrollPending_) {
                scrollPending_ = true;
                QTimer::singleShot(0, this, &TForm1::scrollToNewItems);
            }
        });
    }

    setupTray();
    FormCreate(options.loadSettings);
}

TForm1::~TForm1()
{
    FormDestroy();
    // The timers must not tick into a half-destroyed window.
    for (QtTimer* timer : {Timer1.get(), Timer2.get(), Timer3.get()}) {
        if (timer) {
            timer->onTimer = nullptr;
            timer->setEnabled(false);
        }
    }
    // The views let go of the models before the models and the engine's lists go.
    if (ListView3)
        ListView3->setModel(nullptr);
    if (ListView4)
        ListView4->setModel(nullptr);
    faxModel_.reset();
    linkModel_.reset();
    if (engine_)
        engine_->setup().unlisten(setupListener_);
    engine_.reset();
    browser_.reset();
    setBusyCursor(false);
}

void TForm1::FormCreate(bool loadSettings)
{
    QPalette hints = QToolTip::palette();
    hints.setColor(QPalette::ToolTipBase, QColor(0x00, 0xFF, 0x00));
    hints.setColor(QPalette::ToolTipText, Qt::black);
    QToolTip::setPalette(hints);
    if (loadSettings) {
        guarded(*prompts_, [this] { engine_->loadSettings(); });
        restoreWindowGeometry(*this, *Splitter1, programDir_);
        keepsGeometry_ = true;
    }
}

void TForm1::FormDestroy()
{
    if (engine_)
        guarded(*prompts_, [this] { engine_->saveSettings(); });
    if (keepsGeometry_)
        saveWindowGeometry(*this, *Splitter1, programDir_);
}

void TForm1::buildControls()
{
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("client"));
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    // 1. Toolbar.
    auto* bar = new QFrame(central);
    bar->setObjectName(QStringLiteral("CoolBar1"));
    bar->setFrameShape(QFrame::StyledPanel);
    bar->setFrameShadow(QFrame::Raised);
    bar->setFixedHeight(kToolbarHeight);
    auto* barRow = new QHBoxLayout(bar);
    barRow->setContentsMargins(4, 3, 4, 3);
    barRow->setSpacing(1);
    SpeedButton1 = addSpeedButton(bar, "SpeedButton1", QStringLiteral("网址"), QStringLiteral("选择网址列表"), &TForm1::N1Click);
    SpeedButton2 = addSpeedButton(bar, "SpeedButton2", QStringLiteral("搜索"), QStringLiteral("开始网络搜索"), &TForm1::N2Click);
    SpeedButton3 = addSpeedButton(bar, "SpeedButton3", QStringLiteral("终止"), QStringLiteral("终止网络搜索"), &TForm1::N3Click);
    SpeedButton4 = addSpeedButton(bar, "SpeedButton4", QStringLiteral("继续"), QStringLiteral("继续网络搜索"), &TForm1::N4Click);
    SpeedButton5 = addSpeedButton(bar, "SpeedButton5", QStringLiteral("保存"), QStringLiteral("保存搜索结果"), &TForm1::N5Click);
    SpeedButton6 = addSpeedButton(bar, "SpeedButton6", QStringLiteral("创建"), QStringLiteral("创建网址列表"), &TForm1::N28Click);
    SpeedButton8 = addSpeedButton(bar, "SpeedButton8", QStringLiteral("进程"), QStringLiteral("保存搜索进程"), &TForm1::SpeedButton8Click);
    SpeedButton11 = addSpeedButton(bar, "SpeedButton11", QStringLiteral("整理"), QStringLiteral("合并去重数据"), &TForm1::SpeedButton11Click);
    SpeedButton9 = addSpeedButton(bar, "SpeedButton9", QStringLiteral("关于"), QStringLiteral("关于本软件"), &TForm1::N15Click);
    SpeedButton10 = addSpeedButton(bar, "SpeedButton10", QStringLiteral("退出"), QStringLiteral("退出软件系统"), &TForm1::SpeedButton10Click);
    barRow->addStretch(1);
    column->addWidget(bar);

    // 2. Option row.
    auto* options = new QWidget(central);
    options->setObjectName(QStringLiteral("OptionRow"));
    auto* optionRow = new QHBoxLayout(options);
    optionRow->setContentsMargins(3, 3, 3, 3);
    optionRow->setSpacing(4);
    auto* speedLabel = new QLabel(QStringLiteral("速度[秒]："), options);
    SpinEdit1 = new SpinEdit(kMinSpeed, kMaxSpeed, kDefaultSpeed, options);
    SpinEdit1->setObjectName(QStringLiteral("SpinEdit1"));
    SpinEdit1->setFixedWidth(48);
    speedLabel->setBuddy(SpinEdit1);
    auto* pagesLabel = new QLabel(QStringLiteral("同时打开："), options);
    SpinEdit2 = new SpinEdit(1, kMaxPagesAtOnce, 1, options);
    SpinEdit2->setObjectName(QStringLiteral("SpinEdit2"));
    SpinEdit2->setFixedWidth(36);
    SpinEdit2->setToolTip(QStringLiteral("同时打开的网页数"));
    pagesLabel->setBuddy(SpinEdit2);
    CheckBox1 = textLeftCheckBox("CheckBox1", QStringLiteral("去重"), options);
    CheckBox8 = textLeftCheckBox("CheckBox8", QStringLiteral("自动保存"), options);
    CheckBox3 = textLeftCheckBox("CheckBox3", QStringLiteral("搜索链接"), options);
    CheckBox5 = textLeftCheckBox("CheckBox5", QStringLiteral("搜索传真"), options);
    auto* pathLabel = new QLabel(QStringLiteral("网址文件："), options);
    Edit5 = new QLineEdit(options);
    Edit5->setObjectName(QStringLiteral("Edit5"));
    Edit5->setReadOnly(true);
    // The path field gives way first, so that the row fits the first size.
    Edit5->setMinimumWidth(24);
    pathLabel->setBuddy(Edit5);
    optionRow->addWidget(speedLabel);
    optionRow->addWidget(SpinEdit1);
    optionRow->addSpacing(4);
    optionRow->addWidget(pagesLabel);
    optionRow->addWidget(SpinEdit2);
    for (QCheckBox* box : {CheckBox1, CheckBox8, CheckBox3, CheckBox5})
        optionRow->addWidget(box);
    optionRow->addSpacing(4);
    optionRow->addWidget(pathLabel);
    optionRow->addWidget(Edit5, 1);
    column->addWidget(options);

    // 3. Filter band: link filters on the left, fax markers on the right.
    auto* filters = new QWidget(central);
    filters->setObjectName(QStringLiteral("FilterBand"));
    filters->setFixedHeight(kFilterBandHeight);
    auto* filterRow = new QHBoxLayout(filters);
    filterRow->setContentsMargins(4, 0, 4, 3);
    filterRow->setSpacing(6);
    auto* linkSide = new QWidget(filters);
    auto* grid = new QGridLayout(linkSide);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(2);
    CheckBox6 = textLeftCheckBox("CheckBox6", QStringLiteral("启用链接筛选"), linkSide);
    CheckBox7 = textLeftCheckBox("CheckBox7", QStringLiteral("只搜索本站"), linkSide);
    CheckBox6->setLayoutDirection(Qt::LeftToRight);
    CheckBox7->setLayoutDirection(Qt::LeftToRight);
    Memo4 = memoEdit("Memo4", {QStringLiteral("http://"), QStringLiteral(".")}, false, linkSide);
    Memo5 = memoEdit("Memo5", {QStringLiteral("$"), QStringLiteral("#")}, false, linkSide);
    auto* containLabel = new QLabel(QStringLiteral("链接必须包含："), linkSide);
    auto* excludeLabel = new QLabel(QStringLiteral("链接必须不含："), linkSide);
    containLabel->setBuddy(Memo4);
    excludeLabel->setBuddy(Memo5);
    CheckBox9 = textLeftCheckBox("CheckBox9", QStringLiteral("含https链接"), linkSide);
    CheckBox9->setLayoutDirection(Qt::LeftToRight);
    auto* siteBoxes = new QHBoxLayout;
    siteBoxes->setSpacing(6);
    siteBoxes->addWidget(CheckBox7);
    siteBoxes->addWidget(CheckBox9);
    siteBoxes->addStretch(1);
    grid->addWidget(CheckBox6, 0, 0);
    grid->addLayout(siteBoxes, 0, 1);
    grid->addWidget(containLabel, 1, 0);
    grid->addWidget(excludeLabel, 1, 1);
    grid->addWidget(Memo4, 2, 0);
    grid->addWidget(Memo5, 2, 1);
    grid->setRowStretch(2, 1);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 1);
    Memo1 = memoEdit("Memo1", {QStringLiteral("传真："), QStringLiteral("FAX："), QStringLiteral("传真号：")},
                     true, filters);
    Memo1->setToolTip(QStringLiteral("可以自行添加传真特征符"));
    // The site crawl above the markers: the option row has no room left at
    // the window's first size.
    auto* faxSide = new QWidget(filters);
    auto* faxColumn = new QVBoxLayout(faxSide);
    faxColumn->setContentsMargins(0, 0, 0, 0);
    faxColumn->setSpacing(2);
    auto* siteRow = new QHBoxLayout;
    siteRow->setSpacing(4);
    auto* depthLabel = new QLabel(QStringLiteral("深度："), faxSide);
    DepthEdit = new SpinEdit(0, kMaxSiteDepth, 0, faxSide);
    DepthEdit->setObjectName(QStringLiteral("DepthEdit"));
    DepthEdit->setFixedWidth(36);
    DepthEdit->setToolTip(QStringLiteral("0：只搜索网址列表；1～5：从列表的网址起，沿链接搜索到这一层"));
    depthLabel->setBuddy(DepthEdit);
    auto* followLabel = new QLabel(QStringLiteral("跟随："), faxSide);
    FollowBox = new QComboBox(faxSide);
    FollowBox->setObjectName(QStringLiteral("FollowBox"));
    FollowBox->addItem(QStringLiteral("本站"));
    FollowBox->addItem(QStringLiteral("全部"));
    FollowBox->setToolTip(QStringLiteral("跟随本站的链接，或全部网站的链接（每站最多 1000 页）"));
    followLabel->setBuddy(FollowBox);
    siteRow->addWidget(depthLabel);
    siteRow->addWidget(DepthEdit);
    siteRow->addSpacing(4);
    siteRow->addWidget(followLabel);
    siteRow->addWidget(FollowBox);
    siteRow->addSpacing(4);
    // When a page whose scripts may still draw is read.
    IdleBox = textLeftCheckBox("IdleBox", QStringLiteral("空闲即读"), faxSide);
    IdleBox->setToolTip(QStringLiteral("网页载入后，脚本再无定时器、请求等待时即读取，不必等满载入后的等待时间"));
    siteRow->addWidget(IdleBox);
    siteRow->addStretch(1);
    // What is read of a page beyond its own text.
    auto* readRow = new QHBoxLayout;
    readRow->setSpacing(8);
    FramesBox = textLeftCheckBox("FramesBox", QStringLiteral("含框架页"), faxSide);
    FramesBox->setToolTip(QStringLiteral("同时读取网页中各框架（frame、iframe）的文字和链接"));
    OcrBox = textLeftCheckBox("OcrBox", QStringLiteral("识别图片号码"), faxSide);
    OcrBox->setToolTip(QStringLiteral("识别传真特征符后面以图片显示的号码"));
    FastBox = textLeftCheckBox("FastBox", QStringLiteral("快速读取"), faxSide);
    FastBox->setToolTip(QStringLiteral("不经浏览器、直接读取网页源码；每个网站先用浏览器核对，结果相同才采用，"
                                       "之后仍抽查，一有不同即改回浏览器"));
    readRow->addWidget(FramesBox);
    readRow->addWidget(OcrBox);
    readRow->addWidget(FastBox);
    readRow->addStretch(1);
    Memo1->setParent(faxSide);
    Memo1->setMinimumHeight(40); // three markers still show
    faxColumn->addLayout(siteRow);
    faxColumn->addLayout(readRow);
    faxColumn->addWidget(Memo1, 1);
    filterRow->addWidget(linkSide, 1);
    filterRow->addWidget(faxSide, 1);
    column->addWidget(filters);

    // 4. Result band and 5. the browser, split so that the user can give the
    // lists more room; the band starts at its own height and the browser takes
    // the rest, also when the window grows.
    Splitter1 = new QSplitter(Qt::Vertical, central);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setChildrenCollapsible(false);
    Splitter1->setHandleWidth(5);
    auto* results = new QWidget(Splitter1);
    results->setObjectName(QStringLiteral("ResultBand"));
    auto* resultRow = new QHBoxLayout(results);
    resultRow->setContentsMargins(4, 0, 4, 3);
    resultRow->setSpacing(6);
    ListView3 = resultView("ListView3", results);
    ListView4 = resultView("ListView4", results);
    resultRow->addWidget(ListView3, 1);
    resultRow->addWidget(ListView4, 1);
    WebBrowser1 = new QWebEngineView(Splitter1);
    WebBrowser1->setObjectName(QStringLiteral("WebBrowser1"));
    Splitter1->addWidget(results);
    Splitter1->addWidget(WebBrowser1);
    Splitter1->setStretchFactor(0, 0); // a taller window: see resizeEvent()
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({kResultBandHeight, QWIDGETSIZE_MAX / 2});
    column->addWidget(Splitter1, 1);
    setCentralWidget(central);

    PopupMenu2 = new QMenu(this);
    PopupMenu2->setObjectName(QStringLiteral("PopupMenu2"));
    CopyItem = addMenuItem(PopupMenu2, "CopyItem", QStringLiteral("复制"), &TForm1::CopyClick);
    CopyAllItem = addMenuItem(PopupMenu2, "CopyAllItem", QStringLiteral("全部复制"), &TForm1::CopyAllClick);
    ExportItem = addMenuItem(PopupMenu2, "ExportItem", QStringLiteral("导出…"), &TForm1::ExportClick);
    FailedItem = addMenuItem(PopupMenu2, "FailedItem", QStringLiteral("导出失败地址…"), &TForm1::ExportFailedClick);
    PopupMenu2->addSeparator();
    ClearItem = addMenuItem(PopupMenu2, "ClearItem", QStringLiteral("清空"), &TForm1::ClearClick);
    for (QTreeView* view : {ListView3, ListView4}) {
        connect(view, &QWidget::customContextMenuRequested, this, [this, view](const QPoint& at) {
            resultMenuFor(view)->popup(view->viewport()->mapToGlobal(at));
        });
    }

    // 6. Status bar.
    StatusBar1 = statusBar();
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(true);
    for (int i = 0; i < kPanelCount; ++i) {
        auto* label = new QLabel(StatusBar1);
        label->setObjectName(QStringLiteral("Panel%1").arg(i));
        label->setContentsMargins(2, 0, 2, 0);
        const PanelSpec& panelEntry = kPanels[i];
        if (panelEntry.text) {
            label->setText(QString::fromUtf8(panelEntry.text));
            label->setFixedWidth(panelEntry.width);
            StatusBar1->addWidget(label);
        } else {
            label->setText(QString::fromUtf8(maker::kContactLine));
            // The message panel takes what is left; beside the progress, the
            // time left and the failure count it gives way first (its whole
            // text is on the pointer).
            // (A minimum of 0 would mean "the text's width" to the layout.)
            label->setMinimumWidth(1);
            StatusBar1->addWidget(label, 1); // the message panel takes the rest
        }
        panels[static_cast<size_t>(i)] = label;
    }
    ProgressBar1 = new QProgressBar(StatusBar1);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    // Narrow (panels 1 and 3 give the numbers), so that the time left beside
    // it fits at the window's first size. With several pages at once it
    // carries the pages loading of those at once.
    ProgressBar1->setFixedWidth(60);
    ProgressBar1->setMaximumHeight(14);
    ProgressBar1->setAlignment(Qt::AlignCenter);
    ProgressBar1->setTextVisible(false);
    EtaLabel = new QLabel(StatusBar1);
    EtaLabel->setObjectName(QStringLiteral("EtaLabel"));
    EtaLabel->setContentsMargins(2, 0, 2, 0);
    // Room for the longest common time left, so that the failure count
    // beside it does not cut it.
    EtaLabel->setMinimumWidth(etaWidth());
    FailLabel = new QLabel(StatusBar1);
    FailLabel->setObjectName(QStringLiteral("FailLabel"));
    FailLabel->setContentsMargins(2, 0, 2, 0);
    StatusBar1->addWidget(ProgressBar1);
    StatusBar1->addWidget(EtaLabel);
    StatusBar1->addWidget(FailLabel);
    ProgressBar1->hide();
    EtaLabel->hide();
    FailLabel->hide();
}

} // namespace vq
