#pragma once

#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "sim/scenario.h"

namespace draftwell::test {

// Makes the in-process virtual stick the only device the ANT library sees,
// and keeps every frame the stick receives. Each open of the device starts a
// fresh stick with the next scenario of the list (the last one repeats).
// Restores an empty device table on destruction.
class TracedSimStick {
  public:
    explicit TracedSimStick(antsim::Scenario scenario) : TracedSimStick(std::vector{scenario}) {}
    explicit TracedSimStick(std::vector<antsim::Scenario> scenarios);
    ~TracedSimStick();
    TracedSimStick(const TracedSimStick&) = delete;
    TracedSimStick& operator=(const TracedSimStick&) = delete;

    struct Frame {
        std::string line; // "[46] Set Network Key: 00 B9 ..."
        std::chrono::steady_clock::time_point at;
    };
    std::vector<Frame> frames() const;
    std::vector<std::string> frameLines() const;

  private:
    void trace(const std::string& line);

    mutable std::mutex mutex_;
    std::vector<Frame> frames_;
};

} // namespace draftwell::test
