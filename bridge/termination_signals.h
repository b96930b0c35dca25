#pragma once

#include <QObject>

#include <csignal>
#include <initializer_list>
#include <vector>

class QSocketNotifier;

namespace draftwell {

// Turns the given signals (SIGINT and SIGTERM unless told otherwise) into a
// Qt signal on the thread that installs it. The handler only writes one byte
// to a socket pair and leaves errno as it found it; the event loop reads it.
// One instance at a time; the previous handlers come back on destruction.
class TerminationSignals : public QObject {
    Q_OBJECT
  public:
    explicit TerminationSignals(std::initializer_list<int> signalNumbers = {SIGINT, SIGTERM},
                                QObject* parent = nullptr);
    ~TerminationSignals() override;

    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    // False if the handlers could not be installed (or another instance has them).
    bool install();

  Q_SIGNALS:
    void received(int signalNumber);

  private:
    void drain();
    void restoreHandlers(std::size_t count);

    std::vector<int> signalNumbers_;
    std::vector<struct sigaction> oldActions_;
    int fds_[2] = {-1, -1};
    QSocketNotifier* notifier_ = nullptr;
    bool installed_ = false;
};

} // namespace draftwell
