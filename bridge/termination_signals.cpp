#include "bridge/termination_signals.h"

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace draftwell {

namespace {

std::atomic<int> writeFd{-1};

extern "C" void onTerminationSignal(int signalNumber) {
    // The interrupted code may be about to read errno; write() can change it.
    const int savedErrno = errno;
    const int fd = writeFd.load();
    if (fd >= 0) {
        const auto byte = static_cast<unsigned char>(signalNumber);
        // Nothing to do if the pipe is full: a stop is already pending.
        [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

} // namespace

TerminationSignals::TerminationSignals(std::initializer_list<int> signalNumbers, QObject* parent)
    : QObject(parent), signalNumbers_(signalNumbers), oldActions_(signalNumbers.size()) {}

TerminationSignals::~TerminationSignals() {
    if (installed_) {
        restoreHandlers(signalNumbers_.size());
        writeFd.store(-1);
    }
    delete notifier_;
    for (int& fd : fds_) {
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
    }
}

bool TerminationSignals::install() {
    if (installed_) {
        return true;
    }
    if (writeFd.load() >= 0 || notifier_ != nullptr) {
        return false;
    }
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds_) != 0) {
        return false;
    }
    notifier_ = new QSocketNotifier(fds_[1], QSocketNotifier::Read);
    connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignals::drain);
    writeFd.store(fds_[0]);

    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < signalNumbers_.size(); ++i) {
        if (sigaction(signalNumbers_[i], &action, &oldActions_[i]) != 0) {
            restoreHandlers(i);
            writeFd.store(-1);
            return false;
        }
    }
    installed_ = true;
    return true;
}

void TerminationSignals::restoreHandlers(std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        sigaction(signalNumbers_[i], &oldActions_[i], nullptr);
    }
}

void TerminationSignals::drain() {
    unsigned char byte = 0;
    while (::read(fds_[1], &byte, 1) == 1) {
        Q_EMIT received(static_cast<int>(byte));
    }
}

} // namespace draftwell
