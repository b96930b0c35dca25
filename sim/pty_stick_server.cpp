#include "sim/pty_stick_server.h"

#include "ant/usb/serial_port_speed.h"

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <poll.h>
#include <sys/eventfd.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace antsim {

namespace {

// A client that stops reading fills the terminal's buffer; after this long
// the stick drops what it could not send, as a real stick's radio would.
constexpr int kWriteStallMs = 200;

} // namespace

PtyStickServer::PtyStickServer(Scenario scenario, TraceSink trace, std::function<void()> gone)
    : gone_(std::move(gone)),
      stick_(std::move(scenario),
             VirtualStick::Callbacks{[this](std::span<const std::uint8_t> bytes) { writeToHost(bytes); },
                                     std::move(trace), [this] { request(Request::hangUp); }}) {}

PtyStickServer::~PtyStickServer() {
    stop();
}

bool PtyStickServer::start(std::string& error) {
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) {
        error = std::string("eventfd: ") + std::strerror(errno);
        return false;
    }
    if (!pty_.open(error)) {
        return false;
    }
    try {
        reader_ = std::thread([this] {
            bool gone = true;
            try {
                gone = readLoop();
            } catch (...) {
                // Nothing may escape the thread: treat it as the terminal failing.
            }
            if (gone) {
                hangUp();
                try {
                    if (gone_) {
                        gone_();
                    }
                } catch (...) {
                    // The owner's notice failed; the terminal is closed either way.
                }
            }
        });
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

void PtyStickServer::stop() {
    stick_.stop();
    request(Request::stop);
    if (reader_.joinable()) {
        reader_.join();
    }
    {
        std::lock_guard lock(mutex_);
        pty_.close();
    }
    if (wakeFd_ >= 0) {
        ::close(wakeFd_);
        wakeFd_ = -1;
    }
}

void PtyStickServer::request(Request r) {
    std::lock_guard lock(mutex_);
    if (r == Request::stop || request_ == Request::none) {
        request_ = r;
    }
    if (wakeFd_ >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto n = ::write(wakeFd_, &one, sizeof one);
    }
}

void PtyStickServer::hangUp() {
    stick_.unplug();
    std::lock_guard lock(mutex_);
    pty_.close();
}

void PtyStickServer::writeToHost(std::span<const std::uint8_t> bytes) {
    std::lock_guard lock(mutex_);
    std::size_t done = 0;
    while (done < bytes.size() && pty_.isOpen()) {
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
        return; // dropped
    }
}

bool PtyStickServer::readLoop() {
    std::array<std::uint8_t, 256> buffer{};
    const int master = pty_.masterFd(); // closed only by this thread or after it ended
    for (;;) {
        std::array<pollfd, 2> fds{pollfd{master, POLLIN, 0}, pollfd{wakeFd_, POLLIN, 0}};
        // No timeout: the terminal's data and our requests are the only things to wait for.
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        if (fds[1].revents != 0) {
            std::uint64_t count = 0;
            [[maybe_unused]] const auto n = ::read(wakeFd_, &count, sizeof count);
            Request r = Request::none;
            {
                std::lock_guard lock(mutex_);
                r = request_;
            }
            if (r == Request::stop) {
                return false;
            }
            if (r == Request::hangUp) {
                break;
            }
        }
        if ((fds[0].revents & POLLIN) != 0) {
            const auto n = ::read(master, buffer.data(), buffer.size());
            if (n > 0) {
                // The program sets the rate on its end; the stick checks it as a real line would.
                stick_.setLineRate(GetSerialPortSpeed(master));
                stick_.receive(std::span<const std::uint8_t>(buffer.data(), static_cast<std::size_t>(n)));
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
                continue;
            }
            break;
        }
        if ((fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            break;
        }
    }
    // Unplugged, or the terminal failed: either way the stick is gone.
    return true;
}

} // namespace antsim
