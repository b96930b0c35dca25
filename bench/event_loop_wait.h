#pragma once

#include <QEventLoop>
#include <QObject>
#include <QTimer>

#include <chrono>

namespace draftwell::bench {

// Runs the main thread's event loop until `done()` holds, checked whenever
// `sender` emits `signal`, or until `limit` has passed. True if it holds.
template <typename Sender, typename Signal, typename Done>
bool waitUntil(const Sender* sender, Signal signal, Done done, std::chrono::milliseconds limit) {
    if (done()) {
        return true;
    }
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    const auto connection = QObject::connect(sender, signal, &loop, [&] {
        if (done()) {
            loop.quit();
        }
    });
    timer.start(limit);
    loop.exec();
    QObject::disconnect(connection);
    return done();
}

// Runs the main thread's event loop for `duration`.
inline void runEventLoopFor(std::chrono::milliseconds duration) {
    QEventLoop loop;
    QTimer::singleShot(duration, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace draftwell::bench
