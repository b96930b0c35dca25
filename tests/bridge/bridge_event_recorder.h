#pragma once

#include <QByteArray>
#include <QString>
#include <QTest>

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
    std::chrono::steady_clock::time_point at = std::chrono::steady_clock::now();

    bool isStatus(bool o, bool r, bool m) const {
        return kind == Kind::status && open == o && receiving == r && multipleDevices == m;
    }
    bool isLog(const QString& text) const { return kind == Kind::log && line == text; }
    bool isRxLine() const { return kind == Kind::log && line.startsWith(QStringLiteral("RX [")); }
};

using EventMatch = std::function<bool(const BridgeEvent&)>;
inline EventMatch ofKind(BridgeEvent::Kind kind) {
    return [kind](const BridgeEvent& e) { return e.kind == kind; };
}
inline EventMatch logLine(const QString& text) {
    return [text](const BridgeEvent& e) { return e.isLog(text); };
}
inline EventMatch status(bool open, bool receiving, bool multipleDevices) {
    return [=](const BridgeEvent& e) { return e.isStatus(open, receiving, multipleDevices); };
}

// Records, in arrival order, every handler call and completion of a bridge.
class BridgeEventRecorder {
  public:
    void attach(ScannerBridge& bridge) {
        bridge.setStatusHandler([this](bool open, bool receiving, bool multiple) {
            record(BridgeEvent::Kind::status, [&](BridgeEvent& e) {
                e.open = open;
                e.receiving = receiving;
                e.multipleDevices = multiple;
            });
        });
        bridge.setLogHandler([this](const QString& line) {
            record(BridgeEvent::Kind::log, [&](BridgeEvent& e) { e.line = line; });
        });
        bridge.setPacketHandler([this](const QByteArray& payload, std::optional<std::uint16_t> device) {
            record(BridgeEvent::Kind::packet, [&](BridgeEvent& e) {
                e.payload = payload;
                e.deviceNumber = device;
            });
        });
    }
    ScannerBridge::OpenCompletion openCompletion() {
        return [this](const std::optional<ScannerError>& error) {
            record(BridgeEvent::Kind::openCompleted, [&](BridgeEvent& e) { e.error = error; });
        };
    }
    ScannerBridge::CloseCompletion closeCompletion() {
        return [this] { record(BridgeEvent::Kind::closeCompleted); };
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
        long n = 0;
        for (std::size_t i = from; i < events_.size(); ++i) {
            n += match(events_[i]) ? 1 : 0;
        }
        return n;
    }
    std::vector<QString> logLines() const {
        std::vector<QString> lines;
        for (const BridgeEvent& event : events_) {
            if (event.kind == BridgeEvent::Kind::log) {
                lines.push_back(event.line);
            }
        }
        return lines;
    }

  private:
    void record(BridgeEvent::Kind kind, const std::function<void(BridgeEvent&)>& fill = {}) {
        BridgeEvent event;
        event.kind = kind;
        if (fill) {
            fill(event);
        }
        events_.push_back(std::move(event));
        if (observer_) {
            observer_(events_.back());
        }
    }

    std::vector<BridgeEvent> events_;
    std::function<void(const BridgeEvent&)> observer_;
};

} // namespace draftwell::test
