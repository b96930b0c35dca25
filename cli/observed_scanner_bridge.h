#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "app/scanner_bridge.h"

namespace draftwell {

// Passes everything to the real bridge and tells an observer how each open
// request ended, after the service's own completion has run.
class ObservedScannerBridge final : public ScannerBridge {
  public:
    using OpenObserver = std::function<void(const std::optional<ScannerError>& error)>;

    explicit ObservedScannerBridge(std::unique_ptr<ScannerBridge> inner);

    void setOpenObserver(OpenObserver observer) { *observer_ = std::move(observer); }

    void openScannerWithCompletion(OpenCompletion completion) override;
    void closeScannerWithCompletion(CloseCompletion completion) override;
    void closeScanner() override;
    void setStatusHandler(StatusHandler handler) override;
    void setLogHandler(LogHandler handler) override;
    void setPacketHandler(PacketHandler handler) override;

  private:
    std::unique_ptr<ScannerBridge> inner_;
    // Shared with pending completions.
    std::shared_ptr<OpenObserver> observer_ = std::make_shared<OpenObserver>();
};

} // namespace draftwell
