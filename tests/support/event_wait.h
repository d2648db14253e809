// Waiting for Qt WebEngine in tests. QTest's own waits (qWait, QTRY_*) poll
// with short sleeps in between, which starves WebEngine's tasks on this thread
// and makes every load take seconds; these run a real QEventLoop instead.
// Header-only.
#pragma once

#include <QEventLoop>
#include <QTimer>

#include <functional>

namespace vq::test {

// Runs the event loop until `done` holds (checked every 10 ms) or `timeoutMs`
// have passed; returns `done`'s final answer.
inline bool waitFor(const std::function<bool()>& done, int timeoutMs)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    poll.start(10);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    return done();
}

// Lets events run for a while (to see that nothing further arrives).
inline void pump(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace vq::test
