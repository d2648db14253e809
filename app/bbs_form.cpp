#include "app/bbs_form.h"

#include "text/ansi.h"
#include "tools/url_generator.h"

#include <QFrame>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QVBoxLayout>

namespace vq {

namespace {

// A field's text as code page 936 bytes, the form the generator writes.
AnsiString fieldText(const QLineEdit* edit)
{
    const QString text = edit->text();
    return utf16ToAnsi(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                           static_cast<size_t>(text.size())));
}

QLineEdit* makeEdit(QWidget* parent, const char* name, const QString& initial)
{
    auto* edit = new QLineEdit(initial, parent);
    edit->setObjectName(QString::fromLatin1(name));
    return edit;
}

QLabel* makeLabel(QWidget* parent, const QString& text, const char* name = nullptr)
{
    auto* label = new QLabel(text, parent);
    if (name)
        label->setObjectName(QString::fromLatin1(name));
    return label;
}

QFrame* makeGroup(QWidget* parent)
{
    auto* frame = new QFrame(parent);
    frame->setFrameShape(QFrame::StyledPanel);
    frame->setFrameShadow(QFrame::Sunken);
    return frame;
}

// One column of a group: the caption above its field; `stretch` sets the
// share of the row's width.
void addColumn(QGridLayout* grid, int column, QLabel* label, QLineEdit* edit, int stretch)
{
    label->setBuddy(edit);
    grid->addWidget(label, 0, column, Qt::AlignLeft | Qt::AlignBottom);
    grid->addWidget(edit, 1, column);
    grid->setColumnStretch(column, stretch);
}

} // namespace

TbbsForm::TbbsForm(Prompts& prompts, QWidget* parent) : QDialog(parent), prompts_(prompts)
{
    setObjectName(QStringLiteral("bbsForm"));
    setWindowTitle(QStringLiteral("生成URL页面地址列表"));
    // Only the system menu: a close box, no minimise, maximise or help button.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(546, 238);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(8, 8, 8, 8);
    outer->setSpacing(8);

    // Group 1, one counter.
    QFrame* group1 = makeGroup(this);
    auto* grid1 = new QGridLayout(group1);
    grid1->setContentsMargins(8, 6, 8, 6);
    grid1->setHorizontalSpacing(6);
    grid1->setVerticalSpacing(3);
    Edit1 = makeEdit(group1, "Edit1", QStringLiteral("http://"));
    Edit2 = makeEdit(group1, "Edit2", QStringLiteral("0"));
    Edit3 = makeEdit(group1, "Edit3", QString());
    Edit4 = makeEdit(group1, "Edit4", QString());
    Edit12 = makeEdit(group1, "Edit12", QStringLiteral("1"));
    addColumn(grid1, 0, makeLabel(group1, QStringLiteral("URL网址前缀")), Edit1, 4);
    addColumn(grid1, 1, makeLabel(group1, QStringLiteral("初始计数")), Edit2, 1);
    addColumn(grid1, 2, makeLabel(group1, QStringLiteral("结束计数")), Edit3, 1);
    addColumn(grid1, 3, makeLabel(group1, QStringLiteral("URL网址后缀")), Edit4, 3);
    addColumn(grid1, 4, makeLabel(group1, QStringLiteral("增长率")), Edit12, 1);

    auto* row1 = new QHBoxLayout;
    SpeedButton1 = new QPushButton(QStringLiteral("生成URL页面地址列表[一组计数]"), group1);
    SpeedButton1->setObjectName(QStringLiteral("SpeedButton1"));
    SpeedButton1->setAutoDefault(false);
    row1->addWidget(SpeedButton1);
    row1->addStretch(1);
    row1->addWidget(makeLabel(group1, QStringLiteral("页面总数"), "Label1"));
    Label2 = makeLabel(group1, QString(), "Label2");
    Label2->setMinimumWidth(80);
    row1->addWidget(Label2);
    grid1->addLayout(row1, 2, 0, 1, 5);
    grid1->setRowMinimumHeight(2, 30);
    outer->addWidget(group1);

    // Group 2, two counters running in step.
    QFrame* group2 = makeGroup(this);
    auto* grid2 = new QGridLayout(group2);
    grid2->setContentsMargins(8, 6, 8, 6);
    grid2->setHorizontalSpacing(6);
    grid2->setVerticalSpacing(3);
    Edit5 = makeEdit(group2, "Edit5", QStringLiteral("http://"));
    Edit6 = makeEdit(group2, "Edit6", QStringLiteral("0"));
    Edit7 = makeEdit(group2, "Edit7", QString());
    Edit9 = makeEdit(group2, "Edit9", QString());
    Edit10 = makeEdit(group2, "Edit10", QStringLiteral("0"));
    Edit11 = makeEdit(group2, "Edit11", QString());
    Edit8 = makeEdit(group2, "Edit8", QString());
    addColumn(grid2, 0, makeLabel(group2, QStringLiteral("URL网址前段")), Edit5, 3);
    addColumn(grid2, 1, makeLabel(group2, QStringLiteral("初始计数")), Edit6, 1);
    addColumn(grid2, 2, makeLabel(group2, QStringLiteral("结束计数")), Edit7, 1);
    addColumn(grid2, 3, makeLabel(group2, QStringLiteral("URL网址中部")), Edit9, 2);
    addColumn(grid2, 4, makeLabel(group2, QStringLiteral("初始计数")), Edit10, 1);
    addColumn(grid2, 5, makeLabel(group2, QStringLiteral("结束计数")), Edit11, 1);
    addColumn(grid2, 6, makeLabel(group2, QStringLiteral("URL网址后段")), Edit8, 2);

    auto* row2 = new QHBoxLayout;
    SpeedButton2 = new QPushButton(QStringLiteral("生成URL页面地址列表[两组计数]"), group2);
    SpeedButton2->setObjectName(QStringLiteral("SpeedButton2"));
    SpeedButton2->setAutoDefault(false);
    row2->addWidget(SpeedButton2);
    row2->addStretch(1);
    Label7 = makeLabel(group2, QStringLiteral("页面总数"), "Label7");
    Label7->setMinimumWidth(80);
    Label7->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    row2->addWidget(Label7);
    grid2->addLayout(row2, 2, 0, 1, 7);
    grid2->setRowMinimumHeight(2, 30);
    outer->addWidget(group2);

    connect(SpeedButton1, &QPushButton::clicked, this, [this] { SpeedButton1Click(); });
    connect(SpeedButton2, &QPushButton::clicked, this, [this] { SpeedButton2Click(); });
}

FileDialogSpec TbbsForm::saveSpec() const
{
    FileDialogSpec dialogSpec;
    dialogSpec.title = "BBS页面地址列表";
    dialogSpec.filter = "Text files|*.txt|All files|*.*";
    dialogSpec.defaultExt = "txt";
    dialogSpec.confirmOverwrite = true;
    return dialogSpec;
}

void TbbsForm::SpeedButton1Click()
{
    guarded(prompts_, [this] {
        const std::optional<std::filesystem::path> file = prompts_.saveFile(saveSpec());
        if (!file)
            return;
        repaint();
        OneCounterFields fields;
        fields.prefix = fieldText(Edit1);
        fields.first = fieldText(Edit2);
        fields.last = fieldText(Edit3);
        fields.suffix = fieldText(Edit4);
        fields.multiplier = fieldText(Edit12);
        generateOneCounter(*file, fields, [this](int64_t lines) {
            Label2->setText(QString::number(lines));
            Label2->repaint();
        });
    });
}

void TbbsForm::SpeedButton2Click()
{
    guarded(prompts_, [this] {
        const std::optional<std::filesystem::path> file = prompts_.saveFile(saveSpec());
        if (!file)
            return;
        repaint();
        TwoCounterFields fields;
        fields.front = fieldText(Edit5);
        fields.first = fieldText(Edit6);
        fields.last = fieldText(Edit7);
        fields.middle = fieldText(Edit9);
        fields.secondStart = fieldText(Edit10);
        fields.back = fieldText(Edit8);
        generateTwoCounters(*file, fields, [this](int64_t lines) {
            Label7->setText(QString::number(lines));
            Label7->repaint();
        });
    });
}

void TbbsForm::showEvent(QShowEvent* event)
{
    // Centred on the desktop (not on the main window).
    if (!event->spontaneous()) {
        QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
        if (s) {
            QRect frame = frameGeometry();
            frame.moveCenter(s->availableGeometry().center());
            move(frame.topLeft());
        }
    }
    QDialog::showEvent(event);
}

} // namespace vq
