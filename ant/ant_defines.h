#pragma once

#include <cstdint>

// ANT serial protocol: message IDs, event codes and sizes used by the host library.

inline constexpr std::uint8_t ANT_SYNC_BYTE = 0xA4;
inline constexpr std::uint8_t ANT_MAX_PAYLOAD_SIZE = 41;
inline constexpr std::uint8_t ANT_MAX_MESSAGE_SIZE = ANT_MAX_PAYLOAD_SIZE + 1; // ID and payload
inline constexpr std::uint8_t ANT_MAX_CHANNELS = 8;
inline constexpr std::uint8_t ANT_NETWORK_KEY_SIZE = 8;

// Message IDs.
inline constexpr std::uint8_t ANT_MESG_RESPONSE_EVENT_ID = 0x40;
inline constexpr std::uint8_t ANT_MESG_UNASSIGN_CHANNEL_ID = 0x41;
inline constexpr std::uint8_t ANT_MESG_ASSIGN_CHANNEL_ID = 0x42;
inline constexpr std::uint8_t ANT_MESG_CHANNEL_RADIO_FREQ_ID = 0x45;
inline constexpr std::uint8_t ANT_MESG_NETWORK_KEY_ID = 0x46;
inline constexpr std::uint8_t ANT_MESG_SYSTEM_RESET_ID = 0x4A;
inline constexpr std::uint8_t ANT_MESG_CLOSE_CHANNEL_ID = 0x4C;
inline constexpr std::uint8_t ANT_MESG_REQUEST_ID = 0x4D;
inline constexpr std::uint8_t ANT_MESG_BROADCAST_DATA_ID = 0x4E;
inline constexpr std::uint8_t ANT_MESG_ACKNOWLEDGED_DATA_ID = 0x4F;
inline constexpr std::uint8_t ANT_MESG_BURST_DATA_ID = 0x50;
inline constexpr std::uint8_t ANT_MESG_CHANNEL_ID_ID = 0x51;
inline constexpr std::uint8_t ANT_MESG_CHANNEL_STATUS_ID = 0x52;
inline constexpr std::uint8_t ANT_MESG_CAPABILITIES_ID = 0x54;
inline constexpr std::uint8_t ANT_MESG_ID_LIST_ADD_ID = 0x59;
inline constexpr std::uint8_t ANT_MESG_OPEN_RX_SCAN_ID = 0x5B;
inline constexpr std::uint8_t ANT_MESG_EXT_BROADCAST_DATA_ID = 0x5D;
inline constexpr std::uint8_t ANT_MESG_EXT_ACKNOWLEDGED_DATA_ID = 0x5E;
inline constexpr std::uint8_t ANT_MESG_EXT_BURST_DATA_ID = 0x5F;
inline constexpr std::uint8_t ANT_MESG_ENABLE_EXT_MESSAGES_ID = 0x66;
inline constexpr std::uint8_t ANT_MESG_STARTUP_MESG_ID = 0x6F;
inline constexpr std::uint8_t ANT_MESG_RSSI_BROADCAST_DATA_ID = 0xC1;
inline constexpr std::uint8_t ANT_MESG_RSSI_ACKNOWLEDGED_DATA_ID = 0xC2;
inline constexpr std::uint8_t ANT_MESG_RSSI_BURST_DATA_ID = 0xC3;
inline constexpr std::uint8_t ANT_MESG_56_ID = 0x56;
inline constexpr std::uint8_t ANT_MESG_57_ID = 0x57;

// Second payload byte of a Response/Event message that marks a channel event.
inline constexpr std::uint8_t ANT_MESG_EVENT_ID = 0x01;

// Response codes and channel event codes (third payload byte of 0x40).
inline constexpr std::uint8_t ANT_RESPONSE_NO_ERROR = 0x00;
inline constexpr std::uint8_t ANT_EVENT_RX_SEARCH_TIMEOUT = 0x01;
inline constexpr std::uint8_t ANT_EVENT_RX_FAIL = 0x02;
inline constexpr std::uint8_t ANT_EVENT_CHANNEL_CLOSED = 0x07;
inline constexpr std::uint8_t ANT_CHANNEL_IN_WRONG_STATE = 0x15;

// The library's own event codes for data messages handed to channel callbacks.
inline constexpr std::uint8_t ANT_EVENT_RX_BROADCAST = 0x9A;
inline constexpr std::uint8_t ANT_EVENT_RX_ACKNOWLEDGED = 0x9B;
inline constexpr std::uint8_t ANT_EVENT_RX_BURST_PACKET = 0x9C;
inline constexpr std::uint8_t ANT_EVENT_RX_EXT_BROADCAST = 0x9D;
inline constexpr std::uint8_t ANT_EVENT_RX_EXT_ACKNOWLEDGED = 0x9E;
inline constexpr std::uint8_t ANT_EVENT_RX_EXT_BURST_PACKET = 0x9F;
inline constexpr std::uint8_t ANT_EVENT_RX_RSSI_BROADCAST = 0xA0;
inline constexpr std::uint8_t ANT_EVENT_RX_RSSI_ACKNOWLEDGED = 0xA1;
inline constexpr std::uint8_t ANT_EVENT_RX_RSSI_BURST_PACKET = 0xA2;
inline constexpr std::uint8_t ANT_EVENT_RX_FLAG_BROADCAST = 0xA3;
inline constexpr std::uint8_t ANT_EVENT_RX_FLAG_ACKNOWLEDGED = 0xA4;
inline constexpr std::uint8_t ANT_EVENT_RX_FLAG_BURST_PACKET = 0xA5;

// Extended data flag byte (payload byte 9 of a flagged broadcast).
inline constexpr std::uint8_t ANT_EXT_MESG_BITFIELD_DEVICE_ID = 0x80;
