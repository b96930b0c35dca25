#pragma once

#include <QObject>

#include <deque>
#include <functional>

#include "ant/annotated_mutex.h"

namespace draftwell {

// Runs closures on the application's main thread in the order they were
// posted, from any thread. The closures travel through this object's own
// mutex, not through Qt's event, which only wakes the main thread.
class MainThreadInbox : public QObject {
  public:
    // Lives for the rest of the process.
    static MainThreadInbox& instance();

    // Dropped when there is no application object to deliver to.
    void post(std::function<void()> call);

  protected:
    bool event(QEvent* event) override;

  private:
    MainThreadInbox() = default;
    void drain();

    Mutex mutex_;
    std::deque<std::function<void()>> calls_ GUARDED_BY(mutex_);
    bool wakePending_ GUARDED_BY(mutex_) = false;
};

} // namespace draftwell
