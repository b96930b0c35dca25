#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "sim/garmin_rider.h"
#include "sim/scenario.h"
#include "sim/stick_frame.h"
#include "sim/stick_frame_decoder.h"
#include "sim/stick_responder.h"

namespace antsim {

// The stick side of the ANT serial protocol over any byte stream: fed the
// bytes the host writes, it sends answers and, while scanning, the
// broadcasts of the simulated Garmins. Its own thread sends everything, in
// order, at the times the scenario asks for; the owner starts and stops it.
class VirtualStick {
  public:
    using Clock = std::chrono::steady_clock;

    struct Callbacks {
        // Bytes for the host. Called on the stick's thread, never concurrently.
        std::function<void(std::span<const std::uint8_t>)> output;
        // One line per frame received; called on the thread that calls receive().
        std::function<void(const std::string&)> trace;
        // The stick has gone away; called once, on the stick's thread, after
        // the last output. Must not call stop().
        std::function<void()> unplugged;
    };

    VirtualStick(Scenario scenario, Callbacks callbacks);
    ~VirtualStick();

    VirtualStick(const VirtualStick&) = delete;
    VirtualStick& operator=(const VirtualStick&) = delete;

    // Starts the stick's thread; false if it could not be started.
    bool start();
    // Stops and joins the thread. Safe to call more than once.
    void stop();

    // Bytes written by the host; any thread. Ignored once unplugged.
    void receive(std::span<const std::uint8_t> bytes);

    // The rate the host's end of the line is set to (0: unknown, taken as right).
    void setLineRate(std::uint32_t baudRate);

    // Pulls the stick out now.
    void unplug();
    bool isUnplugged() const;

    // The number of the lap the Garmins are riding now (the next to finish).
    std::uint8_t nextLapNumber() const;

  private:
    struct Transmitter {
        GarminRider rider;
        Clock::time_point nextBroadcast;
        Clock::duration phase;
        Clock::duration lapInterval;
        Clock::time_point nextLapAt{};
    };

    void run();
    void fail();
    void handleFrame(const StickFrame& frame, Clock::time_point now, std::vector<std::string>& traceLines);
    bool faultApplies(const CommandSet& set, std::uint8_t id, int& hits) const;
    void startRiding(Clock::time_point now);
    std::optional<Clock::time_point> restartAt() const;
    bool broadcastingAt(Clock::time_point now) const;
    std::optional<Clock::time_point> nextWake(Clock::time_point now) const;
    void collectDue(Clock::time_point now, std::vector<StickFrame>& batch);
    StickFrame broadcastFrame(Transmitter& t);

    const Scenario scenario_;
    const Callbacks callbacks_;
    const Clock::duration lapInterval_;
    const Clock::duration broadcastPeriod_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::thread thread_;
    bool started_ = false;
    bool stopRequested_ = false;
    bool unplugged_ = false;
    bool unplugReported_ = false;

    StickFrameDecoder decoder_;
    std::vector<StickFrame> decoded_;
    std::vector<std::vector<std::uint8_t>> rejected_;
    StickResponder responder_;
    std::multimap<Clock::time_point, StickFrame> pending_; // equal times keep their order
    std::vector<Transmitter> transmitters_;
    Clock::time_point startedAt_;
    std::optional<Clock::time_point> ridingSince_;
    bool wasScanning_ = false;
    bool restarted_ = false;
    std::uint32_t lineRate_ = 0;
    long framesSent_ = 0;
    int unansweredHits_ = 0;
    int refusedHits_ = 0;
    int slowHits_ = 0;
};

} // namespace antsim
