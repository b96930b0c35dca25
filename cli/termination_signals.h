#pragma once

#include <QObject>

#include <csignal>

class QSocketNotifier;

namespace draftwell {

// Turns SIGINT and SIGTERM into a Qt signal on the main thread. The signal
// handler only writes one byte to a socket pair; the event loop reads it.
// One instance at a time; the previous handlers come back on destruction.
class TerminationSignals : public QObject {
    Q_OBJECT
  public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

    // False if the handlers could not be installed.
    bool install();

  Q_SIGNALS:
    void received(int signalNumber);

  private:
    void drain();

    int fds_[2] = {-1, -1};
    QSocketNotifier* notifier_ = nullptr;
    bool installed_ = false;
    struct sigaction oldInt_ {};
    struct sigaction oldTerm_ {};
};

} // namespace draftwell
