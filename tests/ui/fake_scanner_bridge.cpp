#include "tests/ui/fake_scanner_bridge.h"

#include <utility>

namespace draftwell::test {

void FakeScannerBridge::openScannerWithCompletion(OpenCompletion completion) {
    ++openRequests;
    pendingOpen_ = std::move(completion);
}

void FakeScannerBridge::closeScannerWithCompletion(CloseCompletion completion) {
    ++closeRequests;
    pendingClose_ = std::move(completion);
}

void FakeScannerBridge::finishOpen(const std::optional<ScannerError>& error) {
    if (auto completion = std::exchange(pendingOpen_, {})) {
        completion(error);
    }
}

void FakeScannerBridge::finishClose() {
    if (auto completion = std::exchange(pendingClose_, {})) {
        completion();
    }
}

void FakeScannerBridge::reportStatus(bool open, bool receiving, bool multipleDevices) {
    if (status_) {
        status_(open, receiving, multipleDevices);
    }
}

void FakeScannerBridge::log(const QString& line) {
    if (log_) {
        log_(line);
    }
}

void FakeScannerBridge::receive(const QByteArray& payload) {
    if (packet_) {
        packet_(payload, std::uint16_t{12345});
    }
}

} // namespace draftwell::test
