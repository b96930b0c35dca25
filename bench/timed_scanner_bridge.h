#pragma once

#include <QByteArray>

#include <memory>

#include "app/scanner_bridge.h"

namespace draftwell::bench {

// Passes everything to the real bridge and tells which payload the service
// is handling at the moment, so what the service publishes can be traced
// back to the broadcast that caused it.
class TimedScannerBridge final : public ScannerBridge {
  public:
    explicit TimedScannerBridge(std::unique_ptr<ScannerBridge> inner) : inner_(std::move(inner)) {}

    // Null outside the service's packet handler. Main thread only.
    const QByteArray* payloadBeingHandled() const { return handling_; }

    void openScannerWithCompletion(OpenCompletion completion) override;
    void closeScannerWithCompletion(CloseCompletion completion) override;
    void closeScanner() override;
    void setStatusHandler(StatusHandler handler) override;
    void setLogHandler(LogHandler handler) override;
    void setPacketHandler(PacketHandler handler) override;

  private:
    std::unique_ptr<ScannerBridge> inner_;
    const QByteArray* handling_ = nullptr;
};

} // namespace draftwell::bench
