// A stick that restarts by itself (a brown-out, static) comes back with its channel closed and
// would stay silent for the rest of the run: the bridge configures it again, as an open does,
// without closing the session, so the service keeps its laps and the run being logged.
#include "ant/ant.h"
#include "bridge/ant_scanner_bridge.h"
#include "bridge/stick_start.h"
#include "bridge/work_queue_assert.h"

namespace draftwell {

namespace {

constexpr std::uint8_t kUSBDeviceNumber = 0;
constexpr int kAttempts = 2;
constexpr std::uint32_t kSettleAfterResetMs = 1000;
constexpr std::uint32_t kPauseBetweenAttemptsMs = 1000;

} // namespace

void ANTScannerBridge::noticeStickRestart() {
    // The stick's answers to the reset sent while reconfiguring are no new restart.
    if (reconfiguring_.load()) {
        return;
    }
    const std::uint64_t session = session_.load();
    workQueue_.post([this, session] { reconfigureAfterRestartLocked(session); });
}

void ANTScannerBridge::reconfigureAfterRestartLocked(std::uint64_t session) {
    DRAFTWELL_ASSERT_ON_WORK_QUEUE(workQueue_);
    // Closed since, or already configured again for this restart (it can announce itself twice).
    if (!open_ || session != session_.load()) {
        return;
    }
    reconfiguring_.store(true);
    logLine(QStringLiteral("ANT stick restarted; configuring it again."));
    stopTimersLocked();
    if (receiving_) {
        receiving_ = false;
        publishStatus();
    }

    bool configured = false;
    for (int attempt = 1; attempt <= kAttempts && !configured; ++attempt) {
        if (attempt > 1) {
            closeLibraryLocked();
            ANT_Sleep(kPauseBetweenAttemptsMs);
            if (!ANT_Init(kUSBDeviceNumber, baudRate_)) {
                continue;
            }
        }
        // The same frames as an open: a reset, then the configuration.
        configured = resetAndSettle(kSettleAfterResetMs) == ResetOutcome::answered &&
                     runConfigurationStepsLocked(nullptr);
    }
    reconfiguring_.store(false);
    ++session_;

    if (configured) {
        startTimersLocked();
        logLine(QStringLiteral("ANT stick configured again."));
        return;
    }
    logLine(QStringLiteral("Failed to open scanner.\nTry replugging the ANT dongle."));
    closeScannerLockedWithLog(false);
}

} // namespace draftwell
