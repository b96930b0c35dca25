#include "ui/quit_signal_watcher.h"

#include <QSocketNotifier>

#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace draftwell {

namespace {

std::atomic<int> writeFd{-1};
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void onQuitSignal(int /*signal*/) {
    const int fd = writeFd.load();
    if (fd >= 0) {
        const char byte = 1;
        // Nothing can be done about a full pipe here; one pending byte is enough.
        [[maybe_unused]] const auto written = ::write(fd, &byte, 1);
    }
}

} // namespace

QuitSignalWatcher::QuitSignalWatcher(QObject* parent) : QObject(parent) {
    if (writeFd.load() >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds_) != 0) {
        return;
    }
    ::fcntl(fds_[1], F_SETFL, O_NONBLOCK);
    writeFd.store(fds_[1]);
    notifier_ = new QSocketNotifier(fds_[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        char buffer[16];
        [[maybe_unused]] const auto got = ::read(fds_[0], buffer, sizeof buffer);
        Q_EMIT quitRequested();
    });
    struct sigaction action {};
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : kSignals) {
        ::sigaction(signal, &action, nullptr);
    }
}

QuitSignalWatcher::~QuitSignalWatcher() {
    if (!notifier_) {
        return;
    }
    for (int signal : kSignals) {
        ::signal(signal, SIG_DFL);
    }
    writeFd.store(-1);
    delete notifier_;
    ::close(fds_[0]);
    ::close(fds_[1]);
}

} // namespace draftwell
