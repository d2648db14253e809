// The main window's result lists: their context menu (copy, export, the
// failed lines, clear) and the count of failed lines in the status bar.
#include "app/form1.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QTreeView>

#include <algorithm>

namespace vq {

// ---- result lists' context menu ---------------------------------------------------

QMenu* TForm1::resultMenuFor(QTreeView* view)
{
    menuView_ = view;
    const bool any = view->model()->rowCount() > 0;
    CopyItem->setEnabled(view->selectionModel()->hasSelection());
    CopyAllItem->setEnabled(any);
    ExportItem->setEnabled(any);
    ClearItem->setEnabled(any);
    FailedItem->setEnabled(!engine_->failedLines().empty());
    return PopupMenu2;
}

void TForm1::copyRows(QTreeView* view, bool all)
{
    if (!view)
        return;
    QModelIndexList rows;
    if (all) {
        for (int i = 0; i < view->model()->rowCount(); ++i)
            rows << view->model()->index(i, 0);
    } else {
        rows = view->selectionModel()->selectedRows();
        std::sort(rows.begin(), rows.end(), [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    }
    QStringList lines;
    for (const QModelIndex& row : rows)
        lines << row.data().toString();
    if (!lines.isEmpty())
        QApplication::clipboard()->setText(lines.join(QLatin1Char('\n')));
}

void TForm1::CopyClick() { copyRows(menuView_, false); }
void TForm1::CopyAllClick() { copyRows(menuView_, true); }

void TForm1::ExportClick()
{
    const ResultListId which = menuView_ == ListView4 ? ResultListId::Fax : ResultListId::Links;
    std::vector<size_t> rows;
    if (menuView_) {
        for (const QModelIndex& row : menuView_->selectionModel()->selectedRows())
            rows.push_back(static_cast<size_t>(row.row()));
    }
    guarded(*prompts_, [this, which, &rows] { engine_->progress.exportList(which, rows); });
}

void TForm1::ExportFailedClick()
{
    guarded(*prompts_, [this] { engine_->exportFailedLines(); });
}

// "失败 3": the lines that did not end scanned, by kind on the pointer.
void TForm1::showFailures(int total, const std::string& byKind)
{
    FailLabel->setText(QStringLiteral("失败 %1").arg(total));
    FailLabel->setMinimumWidth(FailLabel->fontMetrics().horizontalAdvance(FailLabel->text()) + 4);
    FailLabel->setToolTip(QString::fromStdString(byKind));
    FailLabel->setVisible(total > 0);
}

void TForm1::ClearClick()
{
    const ResultListId which = menuView_ == ListView4 ? ResultListId::Fax : ResultListId::Links;
    guarded(*prompts_, [this, which] { engine_->progress.clearList(which); });
}

} // namespace vq
