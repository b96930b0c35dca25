#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

namespace draftwell {

// A failed open: domain is the application identifier followed by ".ant",
// code 1 means the stick could not be initialised.
struct ScannerError {
    QString domain;
    int code = 0;
    QString description;
};

// What the scanner service needs of the bridge to the ANT stick. The real
// bridge and the tests' scripted fake both implement it. Handlers and
// completions are always invoked on the main thread, in posting order.
class ScannerBridge {
  public:
    using StatusHandler = std::function<void(bool open, bool receiving, bool multipleDevices)>;
    using LogHandler = std::function<void(const QString& line)>;
    using PacketHandler =
        std::function<void(const QByteArray& payload, std::optional<std::uint16_t> deviceNumber)>;
    using OpenCompletion = std::function<void(const std::optional<ScannerError>& error)>;
    using CloseCompletion = std::function<void()>;

    virtual ~ScannerBridge() = default;

    // Asynchronous; completion may be empty.
    virtual void openScannerWithCompletion(OpenCompletion completion) = 0;
    virtual void closeScannerWithCompletion(CloseCompletion completion) = 0;
    // Synchronous close, used at application termination.
    virtual void closeScanner() = 0;

    virtual void setStatusHandler(StatusHandler handler) = 0;
    virtual void setLogHandler(LogHandler handler) = 0;
    virtual void setPacketHandler(PacketHandler handler) = 0;
};

} // namespace draftwell
