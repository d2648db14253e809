#include "app/qt_timer.h"

namespace vq {

QtTimer::QtTimer(int intervalMs, QObject* parent)
    : QObject(parent), interval_(intervalMs)
{
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setSingleShot(false);
    connect(&timer_, &QTimer::timeout, this, &QtTimer::tick);
}

void QtTimer::setEnabled(bool on)
{
    if (on == enabled_)
        return;
    enabled_ = on;
    restart();
}

void QtTimer::setInterval(int ms)
{
    interval_ = ms;
    restart(); // a new interval on a running timer starts a fresh period
}

// An interval of 0 or less keeps an enabled timer silent, like a window timer
// with no period, instead of ticking as fast as the event loop turns.
void QtTimer::restart()
{
    if (enabled_ && interval_ > 0)
        timer_.start(interval_);
    else
        timer_.stop();
}

void QtTimer::tick()
{
    if (enabled_ && onTimer)
        onTimer();
}

} // namespace vq
