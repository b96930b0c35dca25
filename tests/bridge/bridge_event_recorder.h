#pragma once

#include <QByteArray>
#include <QString>
#include <QTest>

#include <algorithm>
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
    QString line{};
    QByteArray payload{};
    std::optional<std::uint16_t> deviceNumber{};
    std::optional<ScannerError> error{};
    std::chrono::steady_clock::time_point at = std::chrono::steady_clock::now();
};

using EventMatch = std::function<bool(const BridgeEvent&)>;
inline EventMatch ofKind(BridgeEvent::Kind kind) {
    return [kind](const BridgeEvent& e) { return e.kind == kind; };
}
inline EventMatch logLine(const QString& text) {
    return [text](const BridgeEvent& e) { return e.kind == BridgeEvent::Kind::log && e.line == text; };
}
inline EventMatch status(bool open, bool receiving, bool multipleDevices) {
    return [=](const BridgeEvent& e) {
        return e.kind == BridgeEvent::Kind::status && e.open == open && e.receiving == receiving &&
               e.multipleDevices == multipleDevices;
    };
}

// Records, in arrival order, every handler call and completion of a bridge.
class BridgeEventRecorder {
  public:
    using Kind = BridgeEvent::Kind;

    void attach(ScannerBridge& bridge) {
        bridge.setStatusHandler([this](bool open, bool receiving, bool multiple) {
            record({.kind = Kind::status, .open = open, .receiving = receiving, .multipleDevices = multiple});
        });
        bridge.setLogHandler([this](const QString& line) { record({.kind = Kind::log, .line = line}); });
        bridge.setPacketHandler([this](const QByteArray& payload, std::optional<std::uint16_t> device) {
            record({.kind = Kind::packet, .payload = payload, .deviceNumber = device});
        });
    }
    ScannerBridge::OpenCompletion openCompletion() {
        return [this](const std::optional<ScannerError>& error) {
            record({.kind = Kind::openCompleted, .error = error});
        };
    }
    ScannerBridge::CloseCompletion closeCompletion() {
        return [this] { record({.kind = Kind::closeCompleted}); };
    }

    // Runs on the main thread right after an event is recorded.
    void setObserver(std::function<void(const BridgeEvent&)> observer) { observer_ = std::move(observer); }

    const std::vector<BridgeEvent>& events() const { return events_; }
    const BridgeEvent& at(long index) const { return events_.at(static_cast<std::size_t>(index)); }
    // Processes main-thread events until `condition` holds or the time is up.
    static bool waitFor(const std::function<bool()>& condition, int timeoutMs = 15000) {
        return QTest::qWaitFor(condition, timeoutMs);
    }
    bool waitForEvent(const EventMatch& match, int timeoutMs = 15000) {
        return waitFor([&] { return indexOf(match) >= 0; }, timeoutMs);
    }
    // Index of the first matching event at or after `from`, or -1.
    long indexOf(const EventMatch& match, std::size_t from = 0) const {
        for (std::size_t i = from; i < events_.size(); ++i) {
            if (match(events_[i])) {
                return static_cast<long>(i);
            }
        }
        return -1;
    }
    long count(const EventMatch& match, std::size_t from = 0) const {
        return std::count_if(events_.begin() + static_cast<long>(std::min(from, events_.size())),
                             events_.end(), match);
    }

  private:
    void record(BridgeEvent event) {
        events_.push_back(std::move(event));
        if (observer_) {
            observer_(events_.back());
        }
    }

    std::vector<BridgeEvent> events_;
    std::function<void(const BridgeEvent&)> observer_;
};

} // namespace draftwell::test
