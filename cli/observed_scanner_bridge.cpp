#include "cli/observed_scanner_bridge.h"

#include <utility>

namespace draftwell {

ObservedScannerBridge::ObservedScannerBridge(std::unique_ptr<ScannerBridge> inner)
    : inner_(std::move(inner)) {}

void ObservedScannerBridge::openScannerWithCompletion(OpenCompletion completion) {
    inner_->openScannerWithCompletion(
        [completion = std::move(completion), observer = observer_](const std::optional<ScannerError>& error) {
            if (completion) {
                completion(error);
            }
            if (*observer) {
                (*observer)(error);
            }
        });
}

void ObservedScannerBridge::closeScannerWithCompletion(CloseCompletion completion) {
    inner_->closeScannerWithCompletion(std::move(completion));
}

void ObservedScannerBridge::closeScanner() {
    inner_->closeScanner();
}

void ObservedScannerBridge::setStatusHandler(StatusHandler handler) {
    inner_->setStatusHandler(std::move(handler));
}

void ObservedScannerBridge::setLogHandler(LogHandler handler) {
    inner_->setLogHandler(std::move(handler));
}

void ObservedScannerBridge::setPacketHandler(PacketHandler handler) {
    inner_->setPacketHandler(std::move(handler));
}

} // namespace draftwell
