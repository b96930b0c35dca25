#include "bridge/bridge_handlers.h"

#include <utility>

#include "bridge/main_thread_inbox.h"

namespace draftwell {

void BridgeHandlers::setStatusHandler(ScannerBridge::StatusHandler handler) {
    const MutexLock lock(mutex_);
    statusHandler_ = std::move(handler);
}

void BridgeHandlers::setLogHandler(ScannerBridge::LogHandler handler) {
    const MutexLock lock(mutex_);
    logHandler_ = std::move(handler);
}

void BridgeHandlers::setPacketHandler(ScannerBridge::PacketHandler handler) {
    const MutexLock lock(mutex_);
    packetHandler_ = std::move(handler);
}

bool BridgeHandlers::hasPacketHandler() const {
    const MutexLock lock(mutex_);
    return !detached_ && static_cast<bool>(packetHandler_);
}

void BridgeHandlers::postStatus(bool open, bool receiving, bool multipleDevices) {
    postToMainThread([self = shared_from_this(), open, receiving, multipleDevices] {
        ScannerBridge::StatusHandler handler;
        {
            const MutexLock lock(self->mutex_);
            handler = self->statusHandler_;
        }
        if (handler) {
            handler(open, receiving, multipleDevices);
        }
    });
}

void BridgeHandlers::postLog(const QString& line) {
    postToMainThread([self = shared_from_this(), line] {
        ScannerBridge::LogHandler handler;
        {
            const MutexLock lock(self->mutex_);
            handler = self->logHandler_;
        }
        if (handler) {
            handler(line);
        }
    });
}

void BridgeHandlers::postPacket(const QByteArray& payload, std::optional<std::uint16_t> deviceNumber) {
    postToMainThread([self = shared_from_this(), payload, deviceNumber] {
        ScannerBridge::PacketHandler handler;
        {
            const MutexLock lock(self->mutex_);
            handler = self->packetHandler_;
        }
        if (handler) {
            handler(payload, deviceNumber);
        }
    });
}

void BridgeHandlers::postOpenCompletion(ScannerBridge::OpenCompletion completion,
                                        std::optional<ScannerError> error) {
    if (!completion) {
        return;
    }
    postToMainThread([completion = std::move(completion), error = std::move(error)] { completion(error); });
}

void BridgeHandlers::postCloseCompletion(ScannerBridge::CloseCompletion completion) {
    if (!completion) {
        return;
    }
    postToMainThread([completion = std::move(completion)] { completion(); });
}

void BridgeHandlers::detach() {
    const MutexLock lock(mutex_);
    detached_ = true;
    statusHandler_ = nullptr;
    logHandler_ = nullptr;
    packetHandler_ = nullptr;
}

void BridgeHandlers::postToMainThread(std::function<void()> call) {
    MainThreadInbox::instance().post([self = shared_from_this(), call = std::move(call)] {
        {
            const MutexLock lock(self->mutex_);
            if (self->detached_) {
                return;
            }
        }
        call();
    });
}

} // namespace draftwell
