#include "bench/timed_scanner_bridge.h"

namespace draftwell::bench {

void TimedScannerBridge::openScannerWithCompletion(OpenCompletion completion) {
    inner_->openScannerWithCompletion(std::move(completion));
}

void TimedScannerBridge::closeScannerWithCompletion(CloseCompletion completion) {
    inner_->closeScannerWithCompletion(std::move(completion));
}

void TimedScannerBridge::closeScanner() {
    inner_->closeScanner();
}

void TimedScannerBridge::setStatusHandler(StatusHandler handler) {
    inner_->setStatusHandler(std::move(handler));
}

void TimedScannerBridge::setLogHandler(LogHandler handler) {
    inner_->setLogHandler(std::move(handler));
}

void TimedScannerBridge::setPacketHandler(PacketHandler handler) {
    if (!handler) {
        inner_->setPacketHandler({});
        return;
    }
    // The inner bridge, and so this handler, never outlives this object.
    inner_->setPacketHandler([this, handler = std::move(handler)](const QByteArray& payload,
                                                                  std::optional<std::uint16_t> deviceNumber) {
        handling_ = &payload;
        handler(payload, deviceNumber);
        handling_ = nullptr;
    });
}

} // namespace draftwell::bench
