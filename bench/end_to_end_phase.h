#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/scenario.h"

namespace draftwell::bench {

// One measuring run: a fresh virtual stick on a pseudo-terminal, the real
// bridge reaching it as a serial port, and the service, opened and left to
// receive for a while.
struct EndToEndPlan {
    std::string name;
    antsim::Scenario scenario;
    bool broadcasts = true;             // wait for the first published page before measuring
    std::chrono::milliseconds window{}; // how long to measure
};

struct EndToEndResult {
    std::string name;
    std::string error; // empty on success
    double wallSeconds = 0;
    double processCpuSeconds = 0;   // every thread of the process, the stick's included
    double stickCpuSeconds = 0;     // the virtual stick's own threads
    double runQueueWaitSeconds = 0; // the threads' time spent ready to run but without a CPU
    std::vector<double> latenciesMs;
    std::vector<double> sentAtSeconds; // per latency: when the broadcast was sent, from the window's start
    std::int64_t sent = 0;             // broadcasts the stick wrote in the window
    std::int64_t published = 0;        // pages the service published in the window
    std::int64_t lost = 0;             // broadcasts overtaken by a later one before they arrived

    double hostCpuPercent() const;  // of one core, the stick's threads left out
    double totalCpuPercent() const; // of one core
};

EndToEndResult runEndToEnd(const EndToEndPlan& plan);

} // namespace draftwell::bench
