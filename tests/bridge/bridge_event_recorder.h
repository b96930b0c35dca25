#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "app/scanner_bridge.h"

namespace draftwell::test {

// One call the bridge made on the main thread.
struct BridgeEvent {
    enum class Kind { status, log, packet, openCompleted, closeCompleted };
    Kind kind = Kind::status;
    bool open = false;
    bool receiving = false;
    bool multipleDevices = false;
    QString line;
    QByteArray payload;
    std::optional<std::uint16_t> deviceNumber;
    std::optional<ScannerError> error;
    std::chrono::steady_clock::time_point at;

    bool isStatus(bool o, bool r, bool m) const {
        return kind == Kind::status && open == o && receiving == r && multipleDevices == m;
    }
    bool isLog(const QString& text) const { return kind == Kind::log && line == text; }
    bool isRxLine() const { return kind == Kind::log && line.startsWith(QStringLiteral("RX [")); }
};

// Records, in arrival order, every handler call and completion of a bridge.
class BridgeEventRecorder {
  public:
    void attach(ScannerBridge& bridge);
    ScannerBridge::OpenCompletion openCompletion();
    ScannerBridge::CloseCompletion closeCompletion();

    // Runs on the main thread right after an event is recorded.
    void setObserver(std::function<void(const BridgeEvent&)> observer) { observer_ = std::move(observer); }

    const std::vector<BridgeEvent>& events() const { return events_; }
    // Processes main-thread events until `condition` holds or the time is up.
    bool waitFor(const std::function<bool()>& condition, int timeoutMs = 15000);
    bool waitForEvent(const std::function<bool(const BridgeEvent&)>& match, int timeoutMs = 15000);

    // Index of the first matching event at or after `from`, or -1.
    long indexOf(const std::function<bool(const BridgeEvent&)>& match, std::size_t from = 0) const;
    long count(const std::function<bool(const BridgeEvent&)>& match) const;
    std::vector<QString> logLines() const;

  private:
    void record(BridgeEvent event);

    std::vector<BridgeEvent> events_;
    std::function<void(const BridgeEvent&)> observer_;
};

} // namespace draftwell::test
