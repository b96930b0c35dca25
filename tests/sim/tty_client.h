#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/stick_frame.h"
#include "sim/stick_frame_decoder.h"

namespace antsim::test {

// The program's side of a serial-port stick, reduced to what the tests need.
class TtyClient {
  public:
    TtyClient();
    ~TtyClient();
    TtyClient(const TtyClient&) = delete;
    TtyClient& operator=(const TtyClient&) = delete;

    bool open(const std::string& path);
    bool write(const std::vector<std::uint8_t>& bytes);
    // The first frame with this ID arriving within timeout; other frames are skipped.
    std::optional<StickFrame> waitForFrame(std::uint8_t id, std::chrono::milliseconds timeout);
    // True once the far end has hung up (end of file or EIO) within timeout.
    bool waitForHangUp(std::chrono::milliseconds timeout);

  private:
    enum class ReadResult { data, timeout, hangUp };
    ReadResult readSome(std::chrono::steady_clock::time_point deadline);

    int fd_ = -1;
    std::vector<StickFrame> frames_;
    StickFrameDecoder decoder_;
};

} // namespace antsim::test
