// The pace of a search, in one place: the speed range, the timers' intervals,
// the wait bound and the estimate of the time left.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

namespace vq {

// The speed field "速度[秒]": seconds per page.
inline constexpr int kMinSpeed = 1;
inline constexpr int kMaxSpeed = 60;
inline constexpr int kDefaultSpeed = 8;

inline int clampedSpeed(int seconds) { return std::clamp(seconds, kMinSpeed, kMaxSpeed); }
// The page tick: once per speed-seconds.
inline int pageIntervalMs(int seconds) { return clampedSpeed(seconds) * 1000; }
// The watchdog: fifteen page intervals.
inline int watchdogIntervalMs(int seconds) { return clampedSpeed(seconds) * 15000; }

// "同时打开": pages the window loads at once.
inline constexpr int kMaxPagesAtOnce = 16;

// The window's timers before any search: the page timer at the initial speed,
// the autosave timer every five minutes, the watchdog at five minutes.
inline constexpr int kInitialPageTimerMs = kDefaultSpeed * 1000;
inline constexpr int kAutosaveMs = 300000;
inline constexpr int kInitialWatchdogMs = 300000;

// A page gets at most this many extra page ticks to complete.
inline constexpr int kMaxWaitTicks = 30;

// Seconds left for `left` lines when `done` lines took `elapsedMs`; negative
// when there is nothing to go by yet.
inline int64_t secondsLeft(int64_t done, int64_t left, int64_t elapsedMs)
{
    if (done <= 0 || left < 0)
        return -1;
    return (elapsedMs * left / done + 500) / 1000;
}

// "h:mm:ss", or "--:--" for an unknown time.
inline std::string clockText(int64_t seconds)
{
    if (seconds < 0)
        return "--:--";
    auto two = [](int64_t v) { return (v < 10 ? "0" : "") + std::to_string(v); };
    return std::to_string(seconds / 3600) + ":" + two(seconds / 60 % 60) + ":" + two(seconds % 60);
}

} // namespace vq
