#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "app/scanner_bridge.h"
#include "tests/support/lap_pages.h"

namespace draftwell::test {

// A bridge without a stick. The test plays the stick's part through the
// shared State, which outlives the bridge (the service owns the bridge, and
// queued answers must not reach a destroyed one).
class ScriptedScannerBridge final : public ScannerBridge {
  public:
    inline static const std::uint16_t kDeviceNumber = 4660;

    struct State {
        // Every request, in order; a test may call a completion itself.
        std::vector<OpenCompletion> openRequests;
        std::vector<CloseCompletion> closeRequests;
        int synchronousCloses = 0;
        StatusHandler statusHandler;
        LogHandler logHandler;
        PacketHandler packetHandler;

        // When set, requests are answered from the event loop the way the real
        // bridge answers: an open succeeds (or fails with `openError`) and a
        // close closes, each with the status and log lines a stick gives.
        bool answerFromEventLoop = false;
        std::optional<ScannerError> openError;
        bool open = false;

        // Answer the latest request by hand.
        void finishOpen(const std::optional<ScannerError>& error = std::nullopt);
        void finishClose();

        void reportStatus(bool isOpen, bool receiving, bool multipleDevices);
        void log(const QString& line);
        void receive(const QByteArray& page, std::optional<std::uint16_t> deviceNumber = kDeviceNumber);
        void receive(const std::vector<RiderPage>& pages);
        void deliverLap(const LapFigures& figures, std::optional<std::uint16_t> deviceNumber = kDeviceNumber);
        // The stick is pulled out while open.
        void unplug();
        // What a closing stick reports, if it was open.
        void closeNow();
    };

    explicit ScriptedScannerBridge(std::shared_ptr<State> state) : state_(std::move(state)) {}

    void openScannerWithCompletion(OpenCompletion completion) override;
    void closeScannerWithCompletion(CloseCompletion completion) override;
    void closeScanner() override;
    void setStatusHandler(StatusHandler handler) override { state_->statusHandler = std::move(handler); }
    void setLogHandler(LogHandler handler) override { state_->logHandler = std::move(handler); }
    void setPacketHandler(PacketHandler handler) override { state_->packetHandler = std::move(handler); }

  private:
    std::shared_ptr<State> state_;
};

// A bridge nobody plays: for a service that only needs to exist.
inline std::unique_ptr<ScannerBridge> quietScannerBridge() {
    return std::make_unique<ScriptedScannerBridge>(std::make_shared<ScriptedScannerBridge::State>());
}

} // namespace draftwell::test
