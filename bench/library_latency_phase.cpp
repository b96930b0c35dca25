#include "bench/library_latency_phase.h"

#include <QString>

#include <array>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <span>
#include <thread>

#include "ant/ant.h"
#include "ant/ant_defines.h"
#include "bench/broadcast_log.h"
#include "bench/process_usage.h"
#include "bench/timed_pty_stick.h"
#include "bridge/ant_network_key.h"
#include "bridge/scanner_device_setup.h"
#include "bridge/scanner_program_options.h"

namespace draftwell::bench {

namespace {

using Clock = BroadcastLog::Clock;

constexpr std::uint8_t kChannel = 0;
constexpr std::uint8_t kNetwork = 0;
constexpr std::uint32_t kCommandTimeoutMs = 500;
constexpr std::uint32_t kSettleAfterResetMs = 1000;
constexpr std::uint8_t kRFFrequency = 67; // 2,467 MHz
constexpr std::uint8_t kDfxDeviceType = 113;
constexpr std::uint8_t kDfxTransmissionType = 5;
constexpr std::size_t kBufferSize = 64;

// What the callbacks, on the message thread, share with the measuring thread.
struct CallbackState {
    BroadcastLog* log = nullptr;
    std::mutex mutex;
    bool measuring = false;
    Clock::time_point windowStart;
    std::int64_t received = 0;
    EndToEndResult* result = nullptr;
    std::array<std::uint8_t, kBufferSize> channelBuffer{};
    std::array<std::uint8_t, kBufferSize> responseBuffer{};
};

CallbackState* gState = nullptr;

bool onResponse(std::uint8_t, std::uint8_t) {
    return true;
}

bool onChannelEvent(std::uint8_t, std::uint8_t event) {
    if (event != ANT_EVENT_RX_FLAG_BROADCAST) {
        return true;
    }
    const Clock::time_point now = Clock::now();
    CallbackState& s = *gState;
    const std::lock_guard lock(s.mutex);
    ++s.received;
    if (!s.measuring) {
        return true;
    }
    ++s.result->published;
    // Byte 0 is the channel; the 8 payload bytes follow.
    const auto sentAt = s.log->matchReceived(std::span<const std::uint8_t>(s.channelBuffer.data() + 1, 8));
    if (sentAt && *sentAt <= now) {
        s.result->latenciesMs.push_back(std::chrono::duration<double, std::milli>(now - *sentAt).count());
        s.result->sentAtSeconds.push_back(std::chrono::duration<double>(*sentAt - s.windowStart).count());
    }
    return true;
}

bool configureScanning() {
    if (!ANT_ResetSystem()) {
        return false;
    }
    ANT_Sleep(kSettleAfterResetMs);
    return ANT_SetNetworkKey(kNetwork, kDefaultANTNetworkKey.data(), kCommandTimeoutMs) &&
           ANT_EnableExtendedMessages(1, kCommandTimeoutMs) &&
           ANT_AssignChannelExt(kChannel, 0x00, kNetwork, 0x01, kCommandTimeoutMs) &&
           ANT_SetChannelRadioFreq(kChannel, kRFFrequency, kCommandTimeoutMs) &&
           ANT_SetChannelId(kChannel, 0, kDfxDeviceType, kDfxTransmissionType, kCommandTimeoutMs) &&
           ANT_OpenRxScanMode(kCommandTimeoutMs);
}

} // namespace

EndToEndResult runLibraryLatency(const EndToEndPlan& plan) {
    EndToEndResult result;
    result.name = plan.name;

    BroadcastLog log;
    TimedPtyStick stick(plan.scenario, log);
    std::string error;
    if (!stick.start(error)) {
        result.error = "virtual stick: " + error;
        return result;
    }
    ScannerProgramOptions options;
    options.devicePath = QString::fromStdString(stick.slavePath());
    const ScannerDeviceSetup devices(options);

    CallbackState state;
    state.log = &log;
    state.result = &result;
    gState = &state;
    if (!ANT_Init(0, 57600)) {
        gState = nullptr;
        result.error = "ANT_Init failed on the pseudo-terminal";
        return result;
    }
    ANT_SetResponseCallback(onResponse, state.responseBuffer.data());
    ANT_SetChannelEventCallback(kChannel, onChannelEvent, state.channelBuffer.data());

    const auto finish = [&] {
        ANT_CloseChannel(kChannel, kCommandTimeoutMs);
        ANT_ClearCallbacks();
        ANT_Close();
        gState = nullptr;
    };
    if (!configureScanning()) {
        finish();
        result.error = "the stick refused the scanning configuration";
        return result;
    }
    // Lets the first broadcasts and the configuration's own work pass.
    std::this_thread::sleep_for(std::chrono::milliseconds(2000));

    const double cpuStart = processCpuSeconds();
    const double stickStart = stick.cpuSeconds();
    const double waitStart = runQueueWaitSeconds();
    {
        const std::lock_guard lock(state.mutex);
        log.clear();
        state.windowStart = Clock::now();
        state.measuring = true;
    }
    // The message thread does the work; this thread only waits out the window.
    std::this_thread::sleep_for(plan.window);
    {
        const std::lock_guard lock(state.mutex);
        state.measuring = false;
        result.wallSeconds = std::chrono::duration<double>(Clock::now() - state.windowStart).count();
    }
    result.processCpuSeconds = processCpuSeconds() - cpuStart;
    result.stickCpuSeconds = stick.cpuSeconds() - stickStart;
    result.runQueueWaitSeconds = runQueueWaitSeconds() - waitStart;
    result.sent = log.sentCount();
    result.lost = log.lostCount();
    finish();
    return result;
}

} // namespace draftwell::bench
