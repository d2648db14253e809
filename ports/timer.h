// A window timer: ticks every interval() ms while enabled. Qt version in app/,
// a manual clock for tests in tests/support/.
#pragma once

#include <functional>

namespace vq {

class Timer {
public:
    virtual ~Timer() = default;

    // Enabling an enabled timer changes nothing; enabling starts a new period.
    virtual void setEnabled(bool on) = 0;
    virtual bool enabled() const = 0;

    // Stores the interval; on an enabled timer the current period restarts.
    virtual void setInterval(int ms) = 0;
    virtual int interval() const = 0;

    std::function<void()> onTimer;
};

} // namespace vq
