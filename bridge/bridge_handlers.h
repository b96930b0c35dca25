#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

#include "ant/annotated_mutex.h"
#include "app/scanner_bridge.h"

namespace draftwell {

// The bridge's three handlers and its posts to the main thread. Every post is
// queued on the application's main thread, in posting order; the handler is
// read when the call runs there, so a handler cleared in between is skipped.
// Held through shared_ptr so that posts still queued when the bridge goes
// away find it detached and call nobody.
class BridgeHandlers : public std::enable_shared_from_this<BridgeHandlers> {
  public:
    void setStatusHandler(ScannerBridge::StatusHandler handler);
    void setLogHandler(ScannerBridge::LogHandler handler);
    void setPacketHandler(ScannerBridge::PacketHandler handler);
    bool hasPacketHandler() const;

    void postStatus(bool open, bool receiving, bool multipleDevices);
    void postLog(const QString& line);
    void postPacket(const QByteArray& payload, std::optional<std::uint16_t> deviceNumber);
    void postOpenCompletion(ScannerBridge::OpenCompletion completion, std::optional<ScannerError> error);
    void postCloseCompletion(ScannerBridge::CloseCompletion completion);

    // From now on nothing, not even what is already queued, reaches a handler or completion.
    void detach();

  private:
    void postToMainThread(std::function<void()> call);

    mutable Mutex mutex_;
    ScannerBridge::StatusHandler statusHandler_ GUARDED_BY(mutex_);
    ScannerBridge::LogHandler logHandler_ GUARDED_BY(mutex_);
    ScannerBridge::PacketHandler packetHandler_ GUARDED_BY(mutex_);
    bool detached_ GUARDED_BY(mutex_) = false;
};

} // namespace draftwell
