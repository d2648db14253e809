// The main window's controls as values (the switches, fields and memos), and the
// window as the engine shows on it (vq::MainView): status panels, buttons, progress.
#include "app/form1.h"

#include "app/qt_text.h"
#include "state/pace.h"
#include "text/errors.h"
#include "text/integer.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QSystemTrayIcon>
#include <QThread>
#include <QToolButton>
#include <QTreeView>

#include <algorithm>
#include <stdexcept>

namespace vq {

// ---- the controls as values ----------------------------------------------------------

QCheckBox* TForm1::switchBox(Switch s) const
{
    switch (s) {
    case Switch::Dedup: return CheckBox1;
    case Switch::Links: return CheckBox3;
    case Switch::Fax: return CheckBox5;
    case Switch::LinkFilter: return CheckBox6;
    case Switch::OnlySite: return CheckBox7;
    case Switch::Autosave: return CheckBox8;
    case Switch::Https: return CheckBox9;
    case Switch::Frames: return FramesBox;
    case Switch::Ocr: return OcrBox;
    case Switch::Fast: return FastBox;
    case Switch::SettleIdle: return IdleBox;
    }
    throw std::invalid_argument("unknown switch");
}

QPlainTextEdit* TForm1::memo(OptionList m) const
{
    switch (m) {
    case OptionList::FaxMarkers: return Memo1;
    case OptionList::MustContain: return Memo4;
    case OptionList::MustNotContain: return Memo5;
    }
    throw std::invalid_argument("unknown memo");
}

bool TForm1::isChecked(Switch s) const { return switchBox(s)->isChecked(); }
void TForm1::setChecked(Switch s, bool on) { switchBox(s)->setChecked(on); }

int TForm1::speed() const { return SpinEdit1->value(); }
void TForm1::setSpeed(int seconds) { SpinEdit1->setValue(seconds); }
int TForm1::pagesAtOnce() const { return SpinEdit2->value(); }
void TForm1::setPagesAtOnce(int pages) { SpinEdit2->setValue(pages); }

int TForm1::depth() const { return DepthEdit->value(); }
Follow TForm1::follow() const { return FollowBox->currentIndex() == 1 ? Follow::All : Follow::Site; }
void TForm1::setSiteCrawl(int depth, Follow follow)
{
    DepthEdit->setValue(depth);
    FollowBox->setCurrentIndex(follow == Follow::All ? 1 : 0);
}

AnsiString TForm1::listPath() const { return toAnsi(Edit5->text()); }
void TForm1::setListPath(const AnsiString& path) { Edit5->setText(toQString(path)); }

std::vector<AnsiString> TForm1::memoLines(OptionList m) const
{
    std::vector<AnsiString> lines;
    for (const QString& line : editLines(memo(m)->toPlainText()))
        lines.push_back(toAnsi(line));
    return lines;
}

void TForm1::setMemoLines(OptionList m, const std::vector<AnsiString>& lines)
{
    // Every line ends with a break, as an edit control's text does, so that an
    // empty last line survives the way back through memoLines().
    QString text;
    for (const AnsiString& line : lines)
        text += toQString(line) + QLatin1Char('\n');
    memo(m)->setPlainText(text);
}

// ---- vq::MainView ---------------------------------------------------------------

void TForm1::setPanel(int index, const std::string& text)
{
    if (index < 0 || index >= kPanelCount)
        throw std::out_of_range("status panel " + std::to_string(index));
    QLabel* label = panels[static_cast<size_t>(index)];
    label->setText(fromUtf8(text));
    // A narrow panel cuts a long message; it is shown whole on the pointer.
    label->setToolTip(label->text());
}

std::string TForm1::panel(int index) const
{
    if (index < 0 || index >= kPanelCount)
        throw std::out_of_range("status panel " + std::to_string(index));
    return toUtf8(panels[static_cast<size_t>(index)]->text());
}

void TForm1::applyButtonSet(ButtonSet set)
{
    bool list = true, search = true, stop = true, resume = true;
    switch (set) {
    case ButtonSet::AtStart:
        break;
    case ButtonSet::Searching:
        list = false, search = false, stop = true, resume = false;
        break;
    case ButtonSet::Stopped:
        list = true, search = true, stop = false, resume = true;
        break;
    }
    SpeedButton1->setEnabled(list);
    SpeedButton2->setEnabled(search);
    SpeedButton3->setEnabled(stop);
    SpeedButton4->setEnabled(resume);
}

// The progress bar shows the line being loaded of the list's lines, with the
// address as its tooltip; the time left is the time per line so far in this
// run times the lines still to visit. The tray's tooltip carries the position.
void TForm1::showProgress(int32_t index, int32_t total, const AnsiString& address)
{
    if (!progressRunning_) {
        progressRunning_ = true;
        progressFirst_ = std::max<int32_t>(index - 1, 0);
        progressClock_.start();
    }
    const int32_t maximum = std::max<int32_t>(total, 1);
    ProgressBar1->setRange(0, maximum);
    ProgressBar1->setValue(std::clamp<int32_t>(index, 0, maximum));
    const QString where = toQString(address);
    ProgressBar1->setToolTip(where);
    EtaLabel->setToolTip(where);

    const int64_t done = int64_t(index) - 1 - progressFirst_;
    const int64_t left = int64_t(total) - (int64_t(index) - 1);
    const std::string eta = clockText(secondsLeft(done, left, progressClock_.elapsed()));
    const QString depth = depth_ >= 0 ? QStringLiteral("深度 %1  ").arg(depth_) : QString();
    EtaLabel->setText(depth + QStringLiteral("剩余 ") + QString::fromStdString(eta));
    ProgressBar1->show();
    EtaLabel->show();
    if (TrayIcon1) {
        const std::string hint = std::string(maker::kAppTitle) + " — 进程 " + std::to_string(index) + "/" +
                                 std::to_string(total);
        TrayIcon1->setToolTip(QString::fromStdString(hint));
    }
}

// With several pages at once, the progress bar carries the pages loading of
// those at once.
void TForm1::showLanes(size_t busy, size_t lanes)
{
    ProgressBar1->setFormat(QStringLiteral("%1/%2").arg(busy).arg(lanes));
    ProgressBar1->setTextVisible(lanes > 1);
}

int TForm1::etaWidth() const
{
    // Room for the longest common time left (and a site crawl's depth), so
    // that the failure count beside it does not cut it.
    const QString longest = depth_ >= 0 ? QStringLiteral("深度 5  剩余 00:00:00") : QStringLiteral("剩余 00:00:00");
    return EtaLabel->fontMetrics().horizontalAdvance(longest) + 4;
}

void TForm1::showDepth(int depth)
{
    if (depth == depth_)
        return;
    depth_ = depth;
    EtaLabel->setMinimumWidth(etaWidth());
}

void TForm1::progressEnded()
{
    progressRunning_ = false;
    showDepth(-1);
    ProgressBar1->hide();
    EtaLabel->hide();
    if (TrayIcon1)
        TrayIcon1->setToolTip(QString::fromUtf8(maker::kAppTitle));
}

void TForm1::scrollToNewItems()
{
    scrollPending_ = false;
    for (QTreeView* view : {ListView3, ListView4}) {
        QAbstractItemModel* model = view ? view->model() : nullptr;
        if (model && model->rowCount() > 0)
            view->scrollTo(model->index(model->rowCount() - 1, 0), QAbstractItemView::EnsureVisible);
    }
}

void TForm1::repaint()
{
    if (scrollPending_)
        scrollToNewItems();
    QMainWindow::repaint();
}

void TForm1::setBusyCursor(bool busy)
{
    if (busy == busy_)
        return;
    busy_ = busy;
    if (busy)
        QApplication::setOverrideCursor(Qt::BusyCursor);
    else
        QApplication::restoreOverrideCursor();
}

void TForm1::pause(int ms)
{
    if (ms > 0)
        QThread::msleep(static_cast<unsigned long>(ms));
}

} // namespace vq
