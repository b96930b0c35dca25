#pragma once

#include <cstdint>
#include <optional>

#include "app/scanner_bridge.h"

namespace draftwell::test {

// A scripted bridge for driving the service without a stick. Completions and
// the lines a real bridge would log arrive queued on the main thread.
class FakeScannerBridge final : public ScannerBridge {
  public:
    // What the next open reports; none means success.
    std::optional<ScannerError> openError;
    int opens = 0;
    int closes = 0;

    void openScannerWithCompletion(OpenCompletion completion) override;
    void closeScannerWithCompletion(CloseCompletion completion) override;
    void closeScanner() override;
    void setStatusHandler(StatusHandler handler) override { status_ = std::move(handler); }
    void setLogHandler(LogHandler handler) override { log_ = std::move(handler); }
    void setPacketHandler(PacketHandler handler) override { packet_ = std::move(handler); }

    // The three pages of a valid lap, as one Garmin broadcasts them.
    void deliverLap(int lapNumber, std::uint16_t deviceNumber = 12345);
    void deliverLap(int lapNumber, double cdA, std::uint16_t deviceNumber = 12345);
    void deliverLog(const QString& line) { log_(line); }
    // The stick is pulled out while open.
    void unplug();

  private:
    void closeNow();

    bool open_ = false;
    StatusHandler status_;
    LogHandler log_;
    PacketHandler packet_;
};

} // namespace draftwell::test
