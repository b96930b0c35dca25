#include "tests/sim/stick_harness.h"

namespace antsim::test {

std::vector<std::uint8_t> hostFrame(std::uint8_t id, std::initializer_list<std::uint8_t> payload) {
    auto bytes = encodeStickFrame(StickFrame{id, payload});
    bytes.push_back(0x00);
    bytes.push_back(0x00);
    return bytes;
}

StickHarness::StickHarness(Scenario scenario)
    : stick_(std::move(scenario), VirtualStick::Callbacks{[this](std::span<const std::uint8_t> b) {
                                                              onOutput(b.data(), b.size());
                                                          },
                                                          [this](const std::string& line) {
                                                              std::lock_guard lock(mutex_);
                                                              trace_.push_back(line);
                                                          },
                                                          [this] {
                                                              std::lock_guard lock(mutex_);
                                                              unplugged_ = true;
                                                              changed_.notify_all();
                                                          }}) {
    stick_.start();
}

StickHarness::~StickHarness() {
    stick_.stop();
}

void StickHarness::send(std::uint8_t id, std::initializer_list<std::uint8_t> payload) {
    sendRaw(hostFrame(id, payload));
}

void StickHarness::sendRaw(const std::vector<std::uint8_t>& bytes) {
    stick_.receive(bytes);
}

void StickHarness::configure(bool extendedMessages, bool setFrequency) {
    send(0x4A, {0x00});
    send(0x46, {0x00, 1, 2, 3, 4, 5, 6, 7, 8});
    if (extendedMessages) {
        send(0x66, {0x00, 0x01});
    }
    send(0x42, {0x00, 0x00, 0x00, 0x01});
    if (setFrequency) {
        send(0x45, {0x00, 67});
    }
    send(0x51, {0x00, 0x00, 0x00, 113, 5});
    send(0x5B, {0x00});
}

// Splits the stick's byte stream into frames the way a tolerant host
// receiver would, keeping frames whose checksum is wrong (marked as such).
void StickHarness::onOutput(const std::uint8_t* data, std::size_t size) {
    std::lock_guard lock(mutex_);
    pendingBytes_.insert(pendingBytes_.end(), data, data + size);
    const auto now = std::chrono::steady_clock::now();
    std::size_t i = 0;
    while (i < pendingBytes_.size()) {
        if (pendingBytes_[i] != kSync) {
            ++i;
            continue;
        }
        if (i + 1 >= pendingBytes_.size()) {
            break;
        }
        const std::size_t len = pendingBytes_[i + 1];
        if (i + len + 4 > pendingBytes_.size()) {
            break;
        }
        std::uint8_t x = 0;
        for (std::size_t k = i; k < i + len + 4; ++k) {
            x ^= pendingBytes_[k];
        }
        ReceivedFrame rf;
        rf.frame.id = pendingBytes_[i + 2];
        rf.frame.payload.assign(pendingBytes_.begin() + static_cast<std::ptrdiff_t>(i + 3),
                                pendingBytes_.begin() + static_cast<std::ptrdiff_t>(i + 3 + len));
        rf.checksumOk = x == 0;
        rf.at = now;
        frames_.push_back(std::move(rf));
        i += len + 4;
    }
    pendingBytes_.erase(pendingBytes_.begin(), pendingBytes_.begin() + static_cast<std::ptrdiff_t>(i));
    changed_.notify_all();
}

bool StickHarness::waitFor(const std::function<bool(const std::vector<ReceivedFrame>&)>& pred,
                           std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return pred(frames_); });
}

std::vector<ReceivedFrame> StickHarness::waitForCount(std::size_t n, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, timeout, [&] { return frames_.size() >= n; });
    return frames_;
}

int StickHarness::waitForId(std::uint8_t id, std::size_t from, std::chrono::milliseconds timeout) {
    int found = -1;
    waitFor(
        [&](const std::vector<ReceivedFrame>& fs) {
            for (std::size_t i = from; i < fs.size(); ++i) {
                if (fs[i].frame.id == id) {
                    found = static_cast<int>(i);
                    return true;
                }
            }
            return false;
        },
        timeout);
    return found;
}

std::vector<ReceivedFrame> StickHarness::frames() {
    std::lock_guard lock(mutex_);
    return frames_;
}

std::vector<std::string> StickHarness::traceLines() {
    std::lock_guard lock(mutex_);
    return trace_;
}

bool StickHarness::unpluggedReported() {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(10), [this] { return unplugged_; });
}

} // namespace antsim::test
