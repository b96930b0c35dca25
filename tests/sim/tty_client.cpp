#include "tests/sim/tty_client.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace antsim::test {

TtyClient::TtyClient() : decoder_([this](const StickFrame& f) { frames_.push_back(f); }) {}

TtyClient::~TtyClient() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

bool TtyClient::open(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        return false;
    }
    termios tio{};
    if (::tcgetattr(fd_, &tio) != 0) {
        return false;
    }
    ::cfmakeraw(&tio);
    return ::tcsetattr(fd_, TCSANOW, &tio) == 0;
}

bool TtyClient::write(const std::vector<std::uint8_t>& bytes) {
    return fd_ >= 0 && ::write(fd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

TtyClient::ReadResult TtyClient::readSome(std::chrono::steady_clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
        return ReadResult::timeout;
    }
    pollfd p{fd_, POLLIN, 0};
    const int r = ::poll(&p, 1, static_cast<int>(left.count()));
    if (r == 0) {
        return ReadResult::timeout;
    }
    if (r < 0) {
        return errno == EINTR ? ReadResult::data : ReadResult::hangUp;
    }
    std::array<std::uint8_t, 256> buffer{};
    const auto n = ::read(fd_, buffer.data(), buffer.size());
    if (n > 0) {
        decoder_.feed(std::span<const std::uint8_t>(buffer.data(), static_cast<std::size_t>(n)));
        return ReadResult::data;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
        return ReadResult::data;
    }
    return ReadResult::hangUp;
}

std::optional<StickFrame> TtyClient::waitForFrame(std::uint8_t id, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto it =
            std::find_if(frames_.begin(), frames_.end(), [id](const StickFrame& f) { return f.id == id; });
        if (it != frames_.end()) {
            StickFrame found = *it;
            frames_.erase(frames_.begin(), it + 1);
            return found;
        }
        frames_.clear();
        if (readSome(deadline) != ReadResult::data) {
            return std::nullopt;
        }
    }
}

bool TtyClient::waitForHangUp(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        switch (readSome(deadline)) {
        case ReadResult::hangUp:
            return true;
        case ReadResult::timeout:
            return false;
        case ReadResult::data:
            break;
        }
    }
}

} // namespace antsim::test
