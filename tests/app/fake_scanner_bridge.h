#pragma once

#include <memory>
#include <vector>

#include "app/scanner_bridge.h"

namespace draftwell::test {

// Scripted bridge: records the service's requests and lets the test play the
// bridge's part by calling the installed handlers and completions. The
// recorded state is shared so it outlives the bridge, which the service owns.
class FakeScannerBridge final : public ScannerBridge {
  public:
    struct State {
        std::vector<OpenCompletion> openRequests;
        std::vector<CloseCompletion> closeRequests;
        int synchronousCloses = 0;
        StatusHandler statusHandler;
        LogHandler logHandler;
        PacketHandler packetHandler;
    };

    explicit FakeScannerBridge(std::shared_ptr<State> state) : state_(std::move(state)) {}

    void openScannerWithCompletion(OpenCompletion completion) override {
        state_->openRequests.push_back(std::move(completion));
    }
    void closeScannerWithCompletion(CloseCompletion completion) override {
        state_->closeRequests.push_back(std::move(completion));
    }
    void closeScanner() override { ++state_->synchronousCloses; }
    void setStatusHandler(StatusHandler handler) override { state_->statusHandler = std::move(handler); }
    void setLogHandler(LogHandler handler) override { state_->logHandler = std::move(handler); }
    void setPacketHandler(PacketHandler handler) override { state_->packetHandler = std::move(handler); }

  private:
    std::shared_ptr<State> state_;
};

} // namespace draftwell::test
