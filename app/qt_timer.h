// vq::Timer on a QTimer: ticks on the GUI thread's event loop.
#pragma once

#include "ports/timer.h"

#include <QObject>
#include <QTimer>

namespace vq {

class QtTimer : public QObject, public Timer {
    Q_OBJECT
public:
    explicit QtTimer(int intervalMs, QObject* parent = nullptr);

    void setEnabled(bool on) override;
    bool enabled() const override { return enabled_; }
    void setInterval(int ms) override;
    int interval() const override { return interval_; }

private:
    void restart();
    void tick();

    QTimer timer_;
    bool enabled_ = false;
    int interval_;
};

} // namespace vq
