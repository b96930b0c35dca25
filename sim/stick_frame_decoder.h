#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "sim/stick_frame.h"

namespace antsim {

// Reassembles frames from a byte stream. Bytes outside frames (such as the
// host's padding zeros) are skipped; a frame with a bad checksum or an
// impossible length is dropped and the search for the next sync byte resumes
// right after the dropped frame's sync byte.
class StickFrameDecoder {
  public:
    using FrameHandler = std::function<void(const StickFrame&)>;
    using RejectHandler = std::function<void(const std::vector<std::uint8_t>& bytes)>;

    explicit StickFrameDecoder(FrameHandler onFrame, RejectHandler onReject = {});

    void feed(std::span<const std::uint8_t> bytes);

  private:
    void feedByte(std::uint8_t b);
    void reject();

    FrameHandler onFrame_;
    RejectHandler onReject_;
    std::vector<std::uint8_t> buffer_; // current frame from its sync byte on
};

} // namespace antsim
