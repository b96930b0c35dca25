#include "bench/end_to_end_phase.h"

#include <QObject>
#include <QString>

#include <memory>
#include <span>

#include "app/ant_scanner_service.h"
#include "bench/broadcast_log.h"
#include "bench/event_loop_wait.h"
#include "bench/process_usage.h"
#include "bench/timed_pty_stick.h"
#include "bench/timed_scanner_bridge.h"
#include "bridge/ant_scanner_bridge.h"
#include "bridge/scanner_device_setup.h"
#include "bridge/scanner_program_options.h"

namespace draftwell::bench {

namespace {

using Clock = BroadcastLog::Clock;

// Opening resets the stick and waits 1 s before configuring it; closing is quick.
constexpr std::chrono::milliseconds kOpenLimit{20000};
constexpr std::chrono::milliseconds kFirstPageLimit{20000};
constexpr std::chrono::milliseconds kCloseLimit{20000};
// Lets the open sequence's own work fade before the window starts.
constexpr std::chrono::milliseconds kSettle{1500};

} // namespace

double EndToEndResult::hostCpuPercent() const {
    return wallSeconds > 0 ? (processCpuSeconds - stickCpuSeconds) / wallSeconds * 100.0 : 0;
}

double EndToEndResult::totalCpuPercent() const {
    return wallSeconds > 0 ? processCpuSeconds / wallSeconds * 100.0 : 0;
}

EndToEndResult runEndToEnd(const EndToEndPlan& plan) {
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

    auto timed = std::make_unique<TimedScannerBridge>(std::make_unique<ANTScannerBridge>(options.networkKey));
    const TimedScannerBridge& probe = *timed;
    ANTScannerService service(std::move(timed));

    bool measuring = false;
    Clock::time_point windowStart;
    std::int64_t publishedBeforeWindow = 0;
    QObject::connect(&service, &ANTScannerService::packetProgressChanged, &service, [&] {
        const QByteArray* payload = probe.payloadBeingHandled();
        if (payload == nullptr) {
            return; // not a page: a reset of the laps
        }
        if (!measuring) {
            ++publishedBeforeWindow;
            return;
        }
        const Clock::time_point now = Clock::now();
        ++result.published;
        const auto sentAt = log.matchReceived(
            std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(payload->constData()),
                                          static_cast<std::size_t>(payload->size())));
        if (sentAt && *sentAt <= now) {
            result.latenciesMs.push_back(std::chrono::duration<double, std::milli>(now - *sentAt).count());
            result.sentAtSeconds.push_back(std::chrono::duration<double>(*sentAt - windowStart).count());
        }
    });

    service.connect();
    if (!waitUntil(
            &service, &ANTScannerService::isOpenChanged, [&] { return service.isOpen(); }, kOpenLimit)) {
        result.error = "the scanner did not open within 20 s";
        return result;
    }
    if (plan.broadcasts && !waitUntil(
                               &service, &ANTScannerService::packetProgressChanged,
                               [&] { return publishedBeforeWindow > 0; }, kFirstPageLimit)) {
        result.error = "no broadcast was published within 20 s of opening";
        return result;
    }
    runEventLoopFor(kSettle);

    log.clear();
    windowStart = Clock::now();
    measuring = true;
    const double cpuStart = processCpuSeconds();
    const double stickStart = stick.cpuSeconds();
    const double waitStart = runQueueWaitSeconds();
    const Clock::time_point wallStart = Clock::now();
    runEventLoopFor(plan.window);
    const Clock::time_point wallEnd = Clock::now();
    const double stickEnd = stick.cpuSeconds();
    const double waitEnd = runQueueWaitSeconds();
    const double cpuEnd = processCpuSeconds();
    measuring = false;

    result.wallSeconds = std::chrono::duration<double>(wallEnd - wallStart).count();
    result.processCpuSeconds = cpuEnd - cpuStart;
    result.stickCpuSeconds = stickEnd - stickStart;
    result.runQueueWaitSeconds = waitEnd - waitStart;
    result.sent = log.sentCount();
    result.lost = log.lostCount();

    service.disconnect();
    if (!waitUntil(
            &service, &ANTScannerService::isOpenChanged, [&] { return !service.isOpen(); }, kCloseLimit)) {
        result.error = "the scanner did not close within 20 s";
        if (!service.messageLogs().isEmpty()) {
            result.error += "; last message: " + service.messageLogs().last().toStdString();
        }
    }
    return result;
}

} // namespace draftwell::bench
