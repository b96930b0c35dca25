#include "bridge/ant_bridge_callbacks.h"

#include <exception>

#include "bridge/active_bridge.h"
#include "bridge/ant_scanner_bridge.h"

namespace draftwell {

// Nothing may unwind into the library's message thread.

bool ANTBridgeResponseCallback(std::uint8_t /*channel*/, std::uint8_t messageID) {
    try {
        ActiveBridge::with([messageID](ANTScannerBridge& bridge) {
            bridge.handleResponseMessageID(messageID, bridge.copyResponseBufferData());
        });
    } catch (...) {
    }
    return true;
}

bool ANTBridgeChannelEventCallback(std::uint8_t /*channel*/, std::uint8_t event) {
    try {
        ActiveBridge::with([event](ANTScannerBridge& bridge) {
            bridge.handleChannelEvent(event, bridge.copyChannelBufferData());
        });
    } catch (...) {
    }
    return true;
}

} // namespace draftwell
