#include "sim/stick_frame_decoder.h"

#include <utility>

namespace antsim {

StickFrameDecoder::StickFrameDecoder(FrameHandler onFrame, RejectHandler onReject)
    : onFrame_(std::move(onFrame)), onReject_(std::move(onReject)) {
    buffer_.reserve(kMaxPayload + 4);
}

void StickFrameDecoder::feed(std::span<const std::uint8_t> bytes) {
    for (const auto b : bytes) {
        feedByte(b);
    }
}

void StickFrameDecoder::feedByte(std::uint8_t b) {
    if (buffer_.empty()) {
        if (b == kSync) {
            buffer_.push_back(b);
        }
        return;
    }
    buffer_.push_back(b);
    if (buffer_.size() == 2 && b > kMaxPayload) {
        reject();
        return;
    }
    if (buffer_.size() < 4 || buffer_.size() < static_cast<std::size_t>(buffer_[1]) + 4) {
        return;
    }
    std::uint8_t checksum = 0;
    for (const auto x : buffer_) {
        checksum ^= x;
    }
    if (checksum != 0) {
        reject();
        return;
    }
    StickFrame frame;
    frame.id = buffer_[2];
    frame.payload.assign(buffer_.begin() + 3, buffer_.end() - 1);
    buffer_.clear();
    if (onFrame_) {
        onFrame_(frame);
    }
}

void StickFrameDecoder::reject() {
    auto dropped = std::move(buffer_);
    buffer_.clear();
    if (onReject_) {
        onReject_(dropped);
    }
    // A sync byte inside the dropped bytes may start the real frame.
    for (std::size_t i = 1; i < dropped.size(); ++i) {
        feedByte(dropped[i]);
    }
}

} // namespace antsim
