#include "tests/fuzz/framer_model.h"

#include <algorithm>

namespace {

constexpr std::uint8_t kSync = 0xA4;
constexpr std::uint8_t kErrorQueueOverflow = 1;
constexpr std::uint8_t kErrorSerial = 2;
constexpr std::uint8_t kErrorTooLong = 3;
constexpr std::uint8_t kDetailChecksum = 4;

} // namespace

void FramerModel::processByte(std::uint8_t byte) {
    if (index_ == 0) {
        if (byte == kSync) {
            frame_[0] = byte;
            frameSize_ = 1;
            checksum_ = byte;
            index_ = 1;
        }
        return;
    }
    frame_[frameSize_++] = byte;
    checksum_ ^= byte;
    if (index_ == 1) {
        if (byte > kMaxPayload) {
            recordError(kErrorTooLong, 0);
            searchAgain();
            return;
        }
        checksumIndex_ = std::size_t{byte} + 3;
        index_ = 2;
        return;
    }
    if (index_ < checksumIndex_) {
        ++index_;
        return;
    }
    index_ = 0;
    if (checksum_ == 0) {
        frameReceived();
    } else {
        recordError(kErrorSerial, kDetailChecksum);
        searchAgain();
    }
}

// A failed frame's sync byte was noise: everything after it is fed again.
void FramerModel::searchAgain() {
    // Feeding them again starts new frames, so they are copied first.
    const auto rest = frame_;
    const std::size_t restSize = frameSize_;
    index_ = 0;
    for (std::size_t i = 1; i < restSize; ++i) {
        processByte(rest[i]);
    }
}

void FramerModel::frameReceived() {
    Message message;
    message.size = frame_[1];
    message.id = frame_[2];
    std::copy_n(frame_.begin() + 3, std::min<std::size_t>(message.size, kMaxPayload),
                message.payload.begin());
    // A burst of a single packet is handed on as acknowledged data.
    const bool burst = message.id == 0x50 || message.id == 0x5F;
    if (burst && message.size > 0 && (message.payload[0] & 0xE0) == 0x80) {
        message.id = 0x4F;
        message.payload[0] &= 0x1F;
    }
    if (queue_.size() - queueHead_ >= kQueueCapacity) {
        recordError(kErrorQueueOverflow, 0);
        return;
    }
    queue_.push_back(message);
}

void FramerModel::recordError(std::uint8_t kind, std::uint8_t detail) {
    errorKind_ = kind;
    errorDetail_ = detail;
}

void FramerModel::serialError(std::uint8_t code) {
    recordError(kErrorSerial, code);
}

void FramerModel::reset() {
    index_ = 0;
    queue_.clear();
    queueHead_ = 0;
    errorKind_ = 0;
}

std::uint16_t FramerModel::peek() const {
    if (errorKind_ != 0) {
        return kError;
    }
    return queueHead_ == queue_.size() ? kEmpty : queue_[queueHead_].size;
}

FramerModel::Taken FramerModel::take(std::uint16_t sizeLimit) {
    Taken taken;
    if (errorKind_ != 0) {
        taken.result = kError;
        taken.first = errorKind_;
        if (errorKind_ == kErrorSerial) {
            taken.payload[0] = errorDetail_;
            taken.payloadSize = 1;
        }
        errorKind_ = 0;
        return taken;
    }
    if (queueHead_ == queue_.size()) {
        return taken;
    }
    const Message message = queue_[queueHead_++];
    if (queueHead_ == queue_.size()) {
        queue_.clear();
        queueHead_ = 0;
    }
    std::uint16_t size = message.size;
    if (sizeLimit != 0 && size > sizeLimit) {
        size = sizeLimit;
    }
    if (size > kMaxPayload) {
        taken.result = kError;
        taken.first = kErrorTooLong;
        return taken;
    }
    taken.result = size;
    taken.first = message.id;
    std::copy_n(message.payload.begin(), size, taken.payload.begin());
    taken.payloadSize = size;
    return taken;
}
