#pragma once

#include <cstdint>

namespace draftwell {

// Installed in the ANT library by the bridge's configuration; run on the
// library's message thread and reach the active bridge, if any. Always true.
bool ANTBridgeResponseCallback(std::uint8_t channel, std::uint8_t messageID);
bool ANTBridgeChannelEventCallback(std::uint8_t channel, std::uint8_t event);

} // namespace draftwell
