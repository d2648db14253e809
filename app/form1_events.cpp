// The main window's own events: closing (after the exit confirmation), a
// change of size (the result lists take a share), and minimising (to the tray).
#include "app/form1.h"

#include "app/qt_text.h"

#include <QCloseEvent>
#include <QResizeEvent>
#include <QSplitter>
#include <QSystemTrayIcon>
#include <QTimer>

#include <algorithm>

namespace vq {

namespace {

const char* const kExitQuestion = "确认退出VelqorDornavik吗?";
const char* const kUnsavedNote = "当前有尚未保存的搜索结果。";

} // namespace

void TForm1::closeEvent(QCloseEvent* event)
{
    // A second close while the box is open (the tray's exit item) waits for its answer.
    if (askingToClose_) {
        event->ignore();
        return;
    }
    askingToClose_ = true;
    bool yes = false;
    guarded(*prompts_, [&] { yes = prompts_->confirm(toUtf8(exitQuestion())); });
    askingToClose_ = false;
    if (!yes) {
        event->ignore();
        return;
    }
    event->accept();
    emit closeAccepted();
}

// The exit question; a second line when the lists hold results that no file has.
QString TForm1::exitQuestion() const
{
    QString question = QString::fromUtf8(kExitQuestion);
    if (engine_->session.hasUnsavedResults())
        question += QLatin1Char('\n') + QString::fromUtf8(kUnsavedNote);
    return question;
}

// The layout has given the browser all of a change in height; the result
// lists take back a third of what the window gains (and give back a third of
// what it loses, down to their own height).
void TForm1::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    if (!event->oldSize().isValid() || !Splitter1)
        return;
    const int change = event->size().height() - event->oldSize().height();
    QList<int> sizes = Splitter1->sizes();
    if (change == 0 || sizes.size() != 2 || sizes[1] <= 0)
        return;
    int share = change / 3;
    if (share < 0)
        share = -std::min(-share, std::max(0, sizes[0] - kResultBandHeight));
    if (share == 0 || sizes[1] - share < 0)
        return;
    Splitter1->setSizes({sizes[0] + share, sizes[1] - share});
}

void TForm1::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMinimized) && trayAvailable_()) {
        // Hide to the tray once the minimise itself has been handled. Without
        // a notification area the window stays a minimised window: hidden, it
        // could not be brought back.
        QTimer::singleShot(0, this, [this] {
            if (windowState() & Qt::WindowMinimized)
                guarded(*prompts_, [this] { N18Click(); });
        });
    }
}

} // namespace vq
