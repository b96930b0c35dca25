#include "bench/timed_pty_stick.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <system_error>
#include <unistd.h>

namespace draftwell::bench {

namespace {

constexpr std::uint8_t kSync = 0xA4;
constexpr std::uint8_t kBroadcastDataId = 0x4E;
// A reader that stops reading for this long loses what the stick could not send.
constexpr int kWriteStallMs = 200;

} // namespace

TimedPtyStick::TimedPtyStick(antsim::Scenario scenario, BroadcastLog& log)
    : log_(log), stick_(std::move(scenario),
                        antsim::VirtualStick::Callbacks{
                            [this](std::span<const std::uint8_t> bytes) { writeToHost(bytes); }, {}, {}}) {}

TimedPtyStick::~TimedPtyStick() {
    stop();
}

bool TimedPtyStick::start(std::string& error) {
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) {
        error = std::string("eventfd: ") + std::strerror(errno);
        return false;
    }
    if (!pty_.open(error)) {
        return false;
    }
    try {
        reader_ = std::thread([this] { readLoop(); });
    } catch (const std::system_error& e) {
        error = std::string("reader thread: ") + e.what();
        pty_.close();
        return false;
    }
    if (!stick_.start()) {
        error = "the stick's thread could not start";
        stop();
        return false;
    }
    return true;
}

void TimedPtyStick::stop() {
    stick_.stop();
    if (wakeFd_ >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto n = ::write(wakeFd_, &one, sizeof one);
    }
    if (reader_.joinable()) {
        reader_.join();
    }
    pty_.close();
    if (wakeFd_ >= 0) {
        ::close(wakeFd_);
        wakeFd_ = -1;
    }
}

double TimedPtyStick::threadCpuSeconds(clockid_t clock) {
    timespec ts{};
    if (::clock_gettime(clock, &ts) != 0) {
        return 0;
    }
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

double TimedPtyStick::cpuSeconds() const {
    double total = 0;
    if (stickClockKnown_.load()) {
        total += threadCpuSeconds(stickClock_);
    }
    if (readerClockKnown_.load()) {
        total += threadCpuSeconds(readerClock_);
    }
    return total;
}

void TimedPtyStick::readLoop() {
    if (::pthread_getcpuclockid(::pthread_self(), &readerClock_) == 0) {
        readerClockKnown_.store(true);
    }
    std::array<std::uint8_t, 256> buffer{};
    const int master = pty_.masterFd();
    for (;;) {
        std::array<pollfd, 2> fds{pollfd{master, POLLIN, 0}, pollfd{wakeFd_, POLLIN, 0}};
        // No timeout: the host's bytes and our stop request are all there is to wait for.
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (fds[1].revents != 0) {
            return;
        }
        if ((fds[0].revents & POLLIN) != 0) {
            const auto n = ::read(master, buffer.data(), buffer.size());
            if (n > 0) {
                stick_.receive(std::span<const std::uint8_t>(buffer.data(), static_cast<std::size_t>(n)));
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
                continue;
            }
            return;
        }
        if ((fds[0].revents & (POLLHUP | POLLERR)) != 0) {
            return;
        }
    }
}

void TimedPtyStick::writeToHost(std::span<const std::uint8_t> bytes) {
    if (!stickClockKnown_.load() && ::pthread_getcpuclockid(::pthread_self(), &stickClock_) == 0) {
        stickClockKnown_.store(true);
    }
    // Noted just before the write: the stick has the broadcast ready at this moment.
    noteBroadcasts(bytes, BroadcastLog::Clock::now());
    std::size_t done = 0;
    while (done < bytes.size()) {
        const auto n = ::write(pty_.masterFd(), bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno == EAGAIN) {
            pollfd out{pty_.masterFd(), POLLOUT, 0};
            if (::poll(&out, 1, kWriteStallMs) > 0 && (out.revents & POLLOUT) != 0) {
                continue;
            }
        }
        return; // dropped, as a stick's radio would; the log counts it as lost
    }
}

void TimedPtyStick::noteBroadcasts(std::span<const std::uint8_t> bytes, BroadcastLog::Clock::time_point at) {
    partial_.insert(partial_.end(), bytes.begin(), bytes.end());
    std::size_t pos = 0;
    while (pos < partial_.size()) {
        if (partial_[pos] != kSync) {
            ++pos;
            continue;
        }
        if (pos + 3 > partial_.size()) {
            break;
        }
        const std::size_t length = partial_[pos + 1];
        const std::size_t frameSize = length + 4; // sync, length, ID, payload, checksum
        if (pos + frameSize > partial_.size()) {
            break;
        }
        // Channel byte, then the 8 data bytes.
        if (partial_[pos + 2] == kBroadcastDataId && length >= 9) {
            BroadcastLog::Payload payload{};
            std::memcpy(payload.data(), &partial_[pos + 4], payload.size());
            log_.recordSent(payload, at);
        }
        pos += frameSize;
    }
    partial_.erase(partial_.begin(), partial_.begin() + static_cast<std::ptrdiff_t>(pos));
}

} // namespace draftwell::bench
