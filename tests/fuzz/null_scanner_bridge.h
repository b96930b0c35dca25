#pragma once

#include "app/scanner_bridge.h"

namespace draftwell::fuzz {

// A bridge with no stick behind it: requests are dropped, handlers forgotten.
class NullScannerBridge final : public ScannerBridge {
  public:
    void openScannerWithCompletion(OpenCompletion) override {}
    void closeScannerWithCompletion(CloseCompletion) override {}
    void closeScanner() override {}
    void setStatusHandler(StatusHandler) override {}
    void setLogHandler(LogHandler) override {}
    void setPacketHandler(PacketHandler) override {}
};

} // namespace draftwell::fuzz
