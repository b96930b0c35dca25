#include "sim/virtual_stick.h"

#include <algorithm>
#include <random>
#include <system_error>
#include <utility>

#include "sim/frame_description.h"

namespace antsim {

namespace {

// Keeps a careless scenario from turning the stick's thread into a busy loop.
constexpr std::chrono::milliseconds kShortestPeriod{10};
// Line noise: a sync byte followed by a length no message has.
constexpr std::uint8_t kNoiseSync = 0xA4;
constexpr std::uint8_t kNoiseLength = 0xF0;

std::uint32_t baseSeed(std::uint32_t seed) {
    if (seed != 0) {
        return seed;
    }
    std::random_device device;
    return device();
}

std::string hexBytes(const std::vector<std::uint8_t>& bytes) {
    std::string s;
    for (const auto b : bytes) {
        static constexpr char digits[] = "0123456789ABCDEF";
        s += ' ';
        s += digits[b >> 4];
        s += digits[b & 0x0F];
    }
    return s;
}

} // namespace

VirtualStick::VirtualStick(Scenario scenario, Callbacks callbacks)
    : scenario_(std::move(scenario)), callbacks_(std::move(callbacks)),
      lapInterval_(std::max<Clock::duration>(scenario_.lapInterval, kShortestPeriod)),
      broadcastPeriod_(std::max<Clock::duration>(scenario_.broadcastPeriod, kShortestPeriod)),
      decoder_([this](const StickFrame& f) { decoded_.push_back(f); },
               [this](const std::vector<std::uint8_t>& bytes) { rejected_.push_back(bytes); }) {
    const auto seed = baseSeed(scenario_.seed);
    const int count = std::max(1, scenario_.transmitters);
    for (int i = 0; i < count; ++i) {
        // Device number 0 is the wildcard of a channel ID: no transmitter has it.
        const auto number =
            static_cast<std::uint16_t>((scenario_.firstDeviceNumber + i + 0xFFFE) % 0xFFFF + 1);
        const auto firstLap =
            static_cast<std::uint8_t>((scenario_.firstLap + scenario_.firstLapStep * i) & 0x3F);
        transmitters_.push_back(Transmitter{
            GarminRider(number, firstLap, scenario_.invalidEvery, seed + static_cast<std::uint32_t>(i)),
            Clock::time_point{}, broadcastPeriod_ * i / count,
            lapInterval_ + std::chrono::duration_cast<Clock::duration>(scenario_.lapIntervalStep) * i});
        transmitters_.back().rider.setCalDrift(scenario_.calDriftPercent);
    }
}

VirtualStick::~VirtualStick() {
    stop();
}

bool VirtualStick::start() {
    std::lock_guard lock(mutex_);
    if (started_) {
        return true;
    }
    startedAt_ = Clock::now();
    try {
        thread_ = std::thread([this] {
            try {
                run();
            } catch (...) {
                // Nothing may escape the thread: a stick that breaks goes away.
                fail();
            }
        });
    } catch (const std::system_error&) {
        return false;
    }
    started_ = true;
    return true;
}

void VirtualStick::stop() {
    {
        std::lock_guard lock(mutex_);
        stopRequested_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void VirtualStick::unplug() {
    {
        std::lock_guard lock(mutex_);
        if (unplugged_) {
            return;
        }
        unplugged_ = true;
        pending_.clear();
    }
    wake_.notify_all();
}

bool VirtualStick::isUnplugged() const {
    std::lock_guard lock(mutex_);
    return unplugged_;
}

std::uint8_t VirtualStick::nextLapNumber() const {
    std::lock_guard lock(mutex_);
    return transmitters_.front().rider.nextLapNumber();
}

void VirtualStick::setLineRate(std::uint32_t baudRate) {
    std::lock_guard lock(mutex_);
    lineRate_ = baudRate;
}

void VirtualStick::receive(std::span<const std::uint8_t> bytes) {
    std::vector<std::string> traceLines;
    {
        std::lock_guard lock(mutex_);
        if (unplugged_) {
            return;
        }
        if ((scenario_.baudRate != 0 && lineRate_ != 0 && lineRate_ != scenario_.baudRate) ||
            (restarted_ && scenario_.deadAfterRestart)) {
            // At the wrong rate every byte arrives garbled: nothing makes sense, nothing is answered.
            return;
        }
        decoder_.feed(bytes);
        const auto now = Clock::now();
        for (const auto& bad : rejected_) {
            traceLines.push_back("bad frame:" + hexBytes(bad));
        }
        rejected_.clear();
        for (const auto& frame : decoded_) {
            handleFrame(frame, now, traceLines);
        }
        decoded_.clear();
    }
    wake_.notify_all();
    if (scenario_.trace && callbacks_.trace) {
        for (const auto& line : traceLines) {
            callbacks_.trace(line);
        }
    }
}

bool VirtualStick::faultApplies(const CommandSet& set, std::uint8_t id, int& hits) const {
    if (!set.contains(id) || (scenario_.faultCount > 0 && hits >= scenario_.faultCount)) {
        return false;
    }
    ++hits;
    return true;
}

void VirtualStick::handleFrame(const StickFrame& frame, Clock::time_point now,
                               std::vector<std::string>& traceLines) {
    std::string line = describeFrame(frame);
    const std::uint8_t first = frame.payload.empty() ? 0 : frame.payload[0];
    if (faultApplies(scenario_.unanswered, frame.id, unansweredHits_)) {
        traceLines.push_back(line + "  (left unanswered)");
        return;
    }
    if (faultApplies(scenario_.refused, frame.id, refusedHits_)) {
        pending_.emplace(now, StickResponder::response(first, frame.id, scenario_.refuseCode));
        traceLines.push_back(line + "  (refused)");
        return;
    }
    auto at = now;
    if (faultApplies(scenario_.slow, frame.id, slowHits_)) {
        at += scenario_.slowDelay;
        line += "  (answered late)";
    }
    if (frame.id == kResetSystem) {
        // A reset stick forgets what it was about to send.
        pending_.clear();
    }
    for (auto& answer : responder_.handle(frame)) {
        pending_.emplace(at, std::move(answer));
    }
    if (responder_.scanning() && !wasScanning_) {
        startRiding(now);
    }
    wasScanning_ = responder_.scanning();
    traceLines.push_back(std::move(line));
}

void VirtualStick::startRiding(Clock::time_point now) {
    if (!ridingSince_) {
        // The riders were already out: a lap is ready as soon as we listen.
        ridingSince_ = now;
        for (auto& t : transmitters_) {
            t.rider.finishLap();
            t.nextLapAt = now + t.lapInterval;
        }
    }
    for (auto& t : transmitters_) {
        t.nextBroadcast = now + t.phase;
    }
}

bool VirtualStick::broadcastingAt(Clock::time_point now) const {
    if (!responder_.scanning() || !ridingSince_) {
        return false;
    }
    if (!scenario_.silence) {
        return true;
    }
    const auto silentFrom = *ridingSince_ + scenario_.silenceAfter;
    if (now < silentFrom) {
        return true;
    }
    return scenario_.silenceFor.count() > 0 && now >= silentFrom + scenario_.silenceFor;
}

StickFrame VirtualStick::broadcastFrame(Transmitter& t) {
    const auto page = t.rider.nextPage();
    StickFrame frame{kBroadcastData, {0x00}};
    frame.payload.insert(frame.payload.end(), page.begin(), page.end());
    if (responder_.extendedMessages()) {
        const auto number = t.rider.deviceNumber();
        // Flag 0x80: the channel ID follows.
        frame.payload.insert(frame.payload.end(),
                             {0x80, static_cast<std::uint8_t>(number & 0xFF),
                              static_cast<std::uint8_t>(number >> 8), kDfxDeviceType, kDfxTransmissionType});
    }
    return frame;
}

std::optional<VirtualStick::Clock::time_point> VirtualStick::restartAt() const {
    if (!scenario_.restart || restarted_ || !ridingSince_) {
        return std::nullopt;
    }
    return *ridingSince_ + scenario_.restartAfter;
}

void VirtualStick::collectDue(Clock::time_point now, std::vector<StickFrame>& batch) {
    if (const auto at = restartAt(); at && *at <= now) {
        // As after a brown-out: what was due is lost, the channel is closed, the startup message goes out.
        restarted_ = true;
        pending_.clear();
        for (auto& answer : responder_.handle(StickFrame{kResetSystem, {0x00}})) {
            batch.push_back(std::move(answer));
        }
        wasScanning_ = false;
    }
    while (!pending_.empty() && pending_.begin()->first <= now) {
        batch.push_back(std::move(pending_.begin()->second));
        pending_.erase(pending_.begin());
    }
    for (auto& t : transmitters_) {
        if (!ridingSince_ || t.nextLapAt > now) {
            continue;
        }
        t.rider.finishLap();
        // After a stall the next lap comes a full interval later: no lap
        // goes by without being broadcast.
        t.nextLapAt += t.lapInterval;
        if (t.nextLapAt <= now) {
            t.nextLapAt = now + t.lapInterval;
        }
    }
    const bool broadcasting = broadcastingAt(now);
    for (auto& t : transmitters_) {
        if (!broadcasting) {
            continue;
        }
        if (t.nextBroadcast > now) {
            continue;
        }
        if (responder_.hears(t.rider.deviceNumber(), kDfxDeviceType, kDfxTransmissionType)) {
            batch.push_back(broadcastFrame(t));
            responder_.setTracking(true);
        }
        t.nextBroadcast += broadcastPeriod_;
        if (t.nextBroadcast <= now) {
            // Fell behind (a stalled reader): skip ahead instead of bursting.
            t.nextBroadcast = now + broadcastPeriod_;
        }
    }
}

std::optional<VirtualStick::Clock::time_point> VirtualStick::nextWake(Clock::time_point now) const {
    std::optional<Clock::time_point> next;
    auto consider = [&next](Clock::time_point t) {
        if (!next || t < *next) {
            next = t;
        }
    };
    if (!pending_.empty()) {
        consider(pending_.begin()->first);
    }
    if (scenario_.unplug) {
        consider(startedAt_ + scenario_.unplugAfter);
    }
    if (const auto at = restartAt()) {
        consider(*at);
    }
    if (ridingSince_) {
        for (const auto& t : transmitters_) {
            consider(t.nextLapAt);
        }
        if (responder_.scanning()) {
            if (broadcastingAt(now)) {
                for (const auto& t : transmitters_) {
                    consider(t.nextBroadcast);
                }
            } else if (scenario_.silence && scenario_.silenceFor.count() > 0) {
                const auto resume = *ridingSince_ + scenario_.silenceAfter + scenario_.silenceFor;
                if (resume > now) {
                    consider(resume);
                }
            }
            if (scenario_.silence) {
                const auto silentFrom = *ridingSince_ + scenario_.silenceAfter;
                if (silentFrom > now) {
                    consider(silentFrom);
                }
            }
        }
    }
    return next;
}

void VirtualStick::run() {
    std::unique_lock lock(mutex_);
    while (!stopRequested_) {
        const auto now = Clock::now();
        if (!unplugged_ && scenario_.unplug && now >= startedAt_ + scenario_.unplugAfter) {
            unplugged_ = true;
            pending_.clear();
        }
        if (unplugged_) {
            if (!unplugReported_) {
                unplugReported_ = true;
                if (callbacks_.unplugged) {
                    lock.unlock();
                    callbacks_.unplugged();
                    lock.lock();
                }
                continue;
            }
            // Nothing more to do but wait to be stopped.
            wake_.wait(lock, [this] { return stopRequested_; });
            break;
        }
        std::vector<StickFrame> batch;
        collectDue(now, batch);
        if (!batch.empty()) {
            std::vector<std::uint8_t> bytes;
            for (const auto& frame : batch) {
                ++framesSent_;
                const bool corrupt =
                    scenario_.badChecksumEvery > 0 && framesSent_ % scenario_.badChecksumEvery == 0;
                if (scenario_.noiseEvery > 0 && framesSent_ % scenario_.noiseEvery == 0) {
                    bytes.insert(bytes.end(), {kNoiseSync, kNoiseLength});
                }
                const auto wire = encodeStickFrame(frame, corrupt);
                bytes.insert(bytes.end(), wire.begin(), wire.end());
            }
            if (callbacks_.output) {
                lock.unlock();
                callbacks_.output(bytes);
                lock.lock();
            }
            continue;
        }
        // Woken early by receive(), unplug() or stop(); otherwise at the next
        // thing due. With nothing scheduled there is nothing to wait for but them.
        if (const auto next = nextWake(now)) {
            wake_.wait_until(lock, *next);
        } else {
            wake_.wait(lock);
        }
    }
}

void VirtualStick::fail() {
    bool report = false;
    {
        std::lock_guard lock(mutex_);
        unplugged_ = true;
        pending_.clear();
        report = !unplugReported_;
        unplugReported_ = true;
    }
    if (report && callbacks_.unplugged) {
        try {
            callbacks_.unplugged();
        } catch (...) {
            // Already on the way out; there is no one else to tell.
        }
    }
}

} // namespace antsim
