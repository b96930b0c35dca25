#include "bridge/main_thread_inbox.h"

#include <QCoreApplication>
#include <QEvent>

#include <exception>
#include <utility>

namespace draftwell {

namespace {

const QEvent::Type kDrainEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

} // namespace

MainThreadInbox& MainThreadInbox::instance() {
    static MainThreadInbox* const inbox = [] {
        auto* created = new MainThreadInbox;
        if (QCoreApplication* app = QCoreApplication::instance()) {
            created->moveToThread(app->thread());
        }
        return created;
    }();
    return *inbox;
}

void MainThreadInbox::post(std::function<void()> call) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) {
        return;
    }
    const MutexLock lock(mutex_);
    calls_.push_back(std::move(call));
    if (!wakePending_) {
        wakePending_ = true;
        // Made under the lock, so the main thread, which locks before draining, sees it made.
        QCoreApplication::postEvent(this, new QEvent(kDrainEvent));
    }
}

bool MainThreadInbox::event(QEvent* event) {
    {
        // Pairs with the lock held while the event was made on the posting thread.
        const MutexLock lock(mutex_);
    }
    if (event->type() != kDrainEvent) {
        return QObject::event(event);
    }
    drain();
    return true;
}

void MainThreadInbox::drain() {
    std::deque<std::function<void()>> calls;
    {
        const MutexLock lock(mutex_);
        calls.swap(calls_);
        wakePending_ = false;
    }
    for (std::function<void()>& call : calls) {
        // A throwing handler must not unwind through the event loop.
        try {
            call();
        } catch (const std::exception& e) {
            qWarning("scanner bridge: handler failed: %s", e.what());
        } catch (...) {
            qWarning("scanner bridge: handler failed");
        }
    }
}

} // namespace draftwell
