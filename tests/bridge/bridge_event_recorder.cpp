#include "tests/bridge/bridge_event_recorder.h"

#include <QTest>

namespace draftwell::test {

void BridgeEventRecorder::attach(ScannerBridge& bridge) {
    bridge.setStatusHandler([this](bool open, bool receiving, bool multipleDevices) {
        BridgeEvent event;
        event.kind = BridgeEvent::Kind::status;
        event.open = open;
        event.receiving = receiving;
        event.multipleDevices = multipleDevices;
        record(std::move(event));
    });
    bridge.setLogHandler([this](const QString& line) {
        BridgeEvent event;
        event.kind = BridgeEvent::Kind::log;
        event.line = line;
        record(std::move(event));
    });
    bridge.setPacketHandler([this](const QByteArray& payload, std::optional<std::uint16_t> deviceNumber) {
        BridgeEvent event;
        event.kind = BridgeEvent::Kind::packet;
        event.payload = payload;
        event.deviceNumber = deviceNumber;
        record(std::move(event));
    });
}

ScannerBridge::OpenCompletion BridgeEventRecorder::openCompletion() {
    return [this](const std::optional<ScannerError>& error) {
        BridgeEvent event;
        event.kind = BridgeEvent::Kind::openCompleted;
        event.error = error;
        record(std::move(event));
    };
}

ScannerBridge::CloseCompletion BridgeEventRecorder::closeCompletion() {
    return [this] {
        BridgeEvent event;
        event.kind = BridgeEvent::Kind::closeCompleted;
        record(std::move(event));
    };
}

bool BridgeEventRecorder::waitFor(const std::function<bool()>& condition, int timeoutMs) {
    return QTest::qWaitFor(condition, timeoutMs);
}

bool BridgeEventRecorder::waitForEvent(const std::function<bool(const BridgeEvent&)>& match, int timeoutMs) {
    return waitFor([&] { return indexOf(match) >= 0; }, timeoutMs);
}

long BridgeEventRecorder::indexOf(const std::function<bool(const BridgeEvent&)>& match,
                                  std::size_t from) const {
    for (std::size_t i = from; i < events_.size(); ++i) {
        if (match(events_[i])) {
            return static_cast<long>(i);
        }
    }
    return -1;
}

long BridgeEventRecorder::count(const std::function<bool(const BridgeEvent&)>& match) const {
    long n = 0;
    for (const BridgeEvent& event : events_) {
        if (match(event)) {
            ++n;
        }
    }
    return n;
}

std::vector<QString> BridgeEventRecorder::logLines() const {
    std::vector<QString> lines;
    for (const BridgeEvent& event : events_) {
        if (event.kind == BridgeEvent::Kind::log) {
            lines.push_back(event.line);
        }
    }
    return lines;
}

void BridgeEventRecorder::record(BridgeEvent event) {
    event.at = std::chrono::steady_clock::now();
    events_.push_back(std::move(event));
    if (observer_) {
        observer_(events_.back());
    }
}

} // namespace draftwell::test
