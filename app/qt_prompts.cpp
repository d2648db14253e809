#include "app/qt_prompts.h"

#include "app/qt_text.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>
#include <QVBoxLayout>

namespace vq {

namespace {

const QString kOk = QStringLiteral("确定");
const QString kYes = QStringLiteral("(&Y)是");
const QString kNo = QStringLiteral("(&N)否");
const QString kCancel = QStringLiteral("放弃");

} // namespace

QString qtFileFilter(const std::string& filter)
{
    if (filter.empty())
        return {};
    const QStringList parts = fromUtf8(filter).split(QLatin1Char('|'));
    QStringList entries;
    for (qsizetype i = 0; i < parts.size(); i += 2) {
        const QString description = parts.at(i).trimmed();
        QString patterns = i + 1 < parts.size() ? parts.at(i + 1).trimmed() : QString();
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        if (patterns.isEmpty())
            patterns = QStringLiteral("*");
        // Qt takes the patterns from the last parenthesised group of an entry;
        // a description that already ends with these patterns is shown as it is.
        if (description.endsWith(QStringLiteral("(%1)").arg(patterns)))
            entries << description;
        else
            entries << QStringLiteral("%1 (%2)").arg(description, patterns).trimmed();
    }
    return entries.join(QStringLiteral(";;"));
}

QtPrompts::QtPrompts(QWidget* parent, QString appTitle)
    : parent_(parent), appTitle_(std::move(appTitle))
{
}

void QtPrompts::showBox(const QString& caption, int icon, const std::string& text)
{
    QMessageBox box(static_cast<QMessageBox::Icon>(icon), caption, fromUtf8(text),
                    QMessageBox::NoButton, parent_);
    QPushButton* ok = box.addButton(kOk, QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    box.exec();
}

void QtPrompts::information(const std::string& text)
{
    showBox(QStringLiteral("信息"), QMessageBox::Information, text);
}

bool QtPrompts::confirm(const std::string& text)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("确认"), fromUtf8(text),
                    QMessageBox::NoButton, parent_);
    QPushButton* yes = box.addButton(kYes, QMessageBox::YesRole);
    QPushButton* no = box.addButton(kNo, QMessageBox::NoRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(no); // Esc and the close box answer No
    box.exec();
    return box.clickedButton() == yes;
}

void QtPrompts::message(const std::string& text)
{
    showBox(appTitle_, QMessageBox::NoIcon, text);
}

void QtPrompts::error(const std::string& text)
{
    showBox(appTitle_, QMessageBox::Critical, text);
}

std::optional<std::string> QtPrompts::inputBox(const std::string& caption, const std::string& prompt,
                                               const std::string& initial)
{
    QDialog dialog(parent_);
    dialog.setWindowTitle(fromUtf8(caption));
    dialog.setWindowFlags(dialog.windowFlags() & ~Qt::WindowContextHelpButtonHint);
    auto* layout = new QVBoxLayout(&dialog);
    auto* label = new QLabel(fromUtf8(prompt), &dialog);
    auto* edit = new QLineEdit(&dialog);
    edit->setObjectName(QStringLiteral("inputEdit"));
    edit->setMaxLength(kInputMaxLength);
    edit->setText(fromUtf8(initial));
    edit->selectAll();
    edit->setMinimumWidth(260);
    label->setBuddy(edit);
    auto* buttons = new QDialogButtonBox(&dialog);
    QPushButton* ok = buttons->addButton(kOk, QDialogButtonBox::AcceptRole);
    buttons->addButton(kCancel, QDialogButtonBox::RejectRole);
    ok->setDefault(true);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(label);
    layout->addWidget(edit);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return toUtf8(edit->text());
}

namespace {

void prepare(QFileDialog& dialog, const FileDialogSpec& dialogSpec)
{
    dialog.setWindowTitle(fromUtf8(dialogSpec.title));
    const QString filter = qtFileFilter(dialogSpec.filter);
    if (!filter.isEmpty())
        dialog.setNameFilter(filter);
    dialog.setDefaultSuffix(fromUtf8(dialogSpec.defaultExt));
    if (!dialogSpec.initialDir.empty())
        dialog.setDirectory(pathToQString(dialogSpec.initialDir));
    // Overwriting is confirmed by our own box (Chinese buttons), not Qt's.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
}

} // namespace

std::optional<std::filesystem::path> QtPrompts::openFile(const FileDialogSpec& dialogSpec)
{
    QFileDialog dialog(parent_);
    prepare(dialog, dialogSpec);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return toPath(dialog.selectedFiles().constFirst());
}

std::vector<std::filesystem::path> QtPrompts::openFiles(const FileDialogSpec& dialogSpec)
{
    QFileDialog dialog(parent_);
    prepare(dialog, dialogSpec);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    std::vector<std::filesystem::path> chosen;
    if (dialog.exec() != QDialog::Accepted)
        return chosen;
    for (const QString& file : dialog.selectedFiles())
        chosen.push_back(toPath(file));
    return chosen;
}

std::optional<std::filesystem::path> QtPrompts::saveFile(const FileDialogSpec& dialogSpec)
{
    QFileDialog dialog(parent_);
    prepare(dialog, dialogSpec);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    for (;;) {
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return std::nullopt;
        const QString file = dialog.selectedFiles().constFirst();
        if (dialogSpec.confirmOverwrite && QFileInfo::exists(file)) {
            const QString question = QStringLiteral("%1 已存在。\n要替换它吗?")
                                         .arg(QFileInfo(file).fileName());
            if (!confirm(toUtf8(question)))
                continue; // back to the dialog, as a file dialog does
        }
        return toPath(file);
    }
}

} // namespace vq
