#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

#include "app/scanner_bridge.h"

namespace draftwell::test {

// A bridge without a stick: records what the service asks of it and lets the
// test play the stick's part by calling the installed handlers.
class FakeScannerBridge : public ScannerBridge {
  public:
    void openScannerWithCompletion(OpenCompletion completion) override;
    void closeScannerWithCompletion(CloseCompletion completion) override;
    void closeScanner() override { ++syncCloses; }
    void setStatusHandler(StatusHandler handler) override { status_ = std::move(handler); }
    void setLogHandler(LogHandler handler) override { log_ = std::move(handler); }
    void setPacketHandler(PacketHandler handler) override { packet_ = std::move(handler); }

    // The stick's side.
    void finishOpen(const std::optional<ScannerError>& error = std::nullopt);
    void finishClose();
    void reportStatus(bool open, bool receiving, bool multipleDevices);
    void log(const QString& line);
    void receive(const QByteArray& payload);

    int openRequests = 0;
    int closeRequests = 0;
    int syncCloses = 0;

  private:
    StatusHandler status_;
    LogHandler log_;
    PacketHandler packet_;
    OpenCompletion pendingOpen_;
    CloseCompletion pendingClose_;
};

} // namespace draftwell::test
