#pragma once

#include <QObject>

class QSocketNotifier;

namespace draftwell {

// Turns SIGINT, SIGTERM and SIGHUP into an orderly application quit, so a
// run that is being logged is written before the process ends. Only one may
// exist at a time.
class QuitSignalWatcher : public QObject {
    Q_OBJECT
  public:
    explicit QuitSignalWatcher(QObject* parent = nullptr);
    ~QuitSignalWatcher() override;

    QuitSignalWatcher(const QuitSignalWatcher&) = delete;
    QuitSignalWatcher& operator=(const QuitSignalWatcher&) = delete;

    bool isWatching() const { return notifier_ != nullptr; }

  Q_SIGNALS:
    void quitRequested();

  private:
    int fds_[2] = {-1, -1};
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace draftwell
