#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "app/scanner_bridge.h"
#include "bridge/active_bridge.h"
#include "bridge/ant_network_key.h"
#include "bridge/bridge_handlers.h"
#include "bridge/bridge_work_queue.h"
#include "bridge/receive_hand_over.h"

namespace draftwell {

// Owns the session with the ANT stick through the process-wide ANT library:
// opens it, configures channel 0 for continuous scanning of the companion
// app's broadcasts, receives them, watches for silence, a removed stick and
// several transmitters, and reports through the three handlers on the main
// thread. Every library call and state change runs on the bridge's work
// queue; methods named ...Locked must run there. One bridge per process.
class ANTScannerBridge final : public ScannerBridge {
  public:
    using Clock = std::chrono::steady_clock;

    // `baudRate`: talk to the stick at that rate only; none: the stick's own rate, then the others.
    explicit ANTScannerBridge(const ANTNetworkKey& networkKey = kDefaultANTNetworkKey,
                              std::optional<std::uint32_t> baudRate = std::nullopt);
    // Runs closeScanner first.
    ~ANTScannerBridge() override;
    ANTScannerBridge(const ANTScannerBridge&) = delete;
    ANTScannerBridge& operator=(const ANTScannerBridge&) = delete;

    void openScannerWithCompletion(OpenCompletion completion) override;
    void closeScannerWithCompletion(CloseCompletion completion) override;
    void closeScanner() override;
    // Synchronous open; `error` is filled only on failure and may be null.
    bool openScannerWithError(ScannerError* error);

    void setStatusHandler(StatusHandler handler) override;
    void setLogHandler(LogHandler handler) override;
    void setPacketHandler(PacketHandler handler) override;

    // The state, read on the work queue (waits for it when called elsewhere).
    bool isOpen();
    bool isReceiving();
    bool multipleDevices();

    // Library callbacks, on the message thread.
    void handleResponseMessageID(std::uint8_t messageID, const QByteArray& responseBytes);
    void handleChannelEvent(std::uint8_t event, const QByteArray& channelBytes);
    QByteArray copyResponseBufferData() const;
    QByteArray copyChannelBufferData() const;

    // `bytes` holds at least 12 bytes (a channel buffer copy).
    static std::optional<std::uint16_t> extractDeviceIDFromChannelBytes(const std::uint8_t* bytes,
                                                                        std::uint8_t event);
    static QString messageNameForID(std::uint8_t messageID);
    static QString responseCodeName(std::uint8_t code);
    static ScannerError errorWithCode(std::int64_t code, const QString& description);

    static constexpr std::size_t kBufferSize = 64;

  private:
    void performOnWorkQueueSync(const std::function<void()>& task);
    bool openSequenceLocked(ScannerError* error);
    bool configureScannerLockedWithError(ScannerError* error);
    // Callbacks and the configuration commands; stops at the first failure, closes nothing.
    bool runConfigurationStepsLocked(ScannerError* error);
    // On the message thread: the stick sent a startup message or closed the channel by itself.
    void noticeStickRestart();
    // Configures the stick again after a restart of its own, keeping the session open.
    void reconfigureAfterRestartLocked(std::uint64_t session);
    void closeScannerLockedWithLog(bool log);
    // Every ANT_Close goes through here: the message thread must be free to end.
    void closeLibraryLocked();
    void receiveLocked(std::uint8_t event, const QByteArray& channelBytes);
    void updateMultipleDeviceStateForDeviceID(std::optional<std::uint16_t> deviceNumber);
    void startTimersLocked();
    void stopTimersLocked();
    void receiveTimeoutFiredLocked();
    void connectionPollFiredLocked();
    void publishStatus();
    void logLine(const QString& line);

    // Written by the library on the message thread while registered.
    std::array<std::uint8_t, kBufferSize> channelBuffer_{};
    std::array<std::uint8_t, kBufferSize> responseBuffer_{};

    // Work-queue state.
    bool open_ = false;
    bool receiving_ = false;
    bool multipleDevices_ = false;
    bool multipleDeviceWarningShown_ = false;
    std::map<std::uint16_t, Clock::time_point> activeDevices_;
    std::optional<BridgeWorkQueue::TimerId> receiveTimeoutTimer_;
    std::optional<BridgeWorkQueue::TimerId> connectionPollTimer_;
    std::optional<Clock::time_point> lastMessageAt_;
    std::uint32_t baudRate_ = 0; // the rate the stick answered at

    // Read on the message thread. A session is one configured run of the channel: a restart noticed
    // in an earlier one is stale. While reconfiguring, the stick's own startup answers are expected.
    std::atomic<std::uint64_t> session_{0};
    std::atomic<bool> reconfiguring_{false};

    const ANTNetworkKey networkKey_;
    const std::optional<std::uint32_t> forcedBaudRate_;
    const std::shared_ptr<BridgeHandlers> handlers_ = std::make_shared<BridgeHandlers>();
    const std::shared_ptr<ActiveBridge::Anchor> anchor_;
    ReceiveHandOver receiveHandOver_;
    // Last member: its thread stops first on destruction, before the state above goes.
    BridgeWorkQueue workQueue_;
};

} // namespace draftwell
