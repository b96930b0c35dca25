#pragma once

#include <cstdint>

#include "ant/ant_defines.h"

// The process-wide ANT library: one stick, one message thread. Every command
// takes a timeout in ms as its last argument; 0 means write without waiting
// for the stick's response. Commands return false while not initialised.

// Called on the message thread with (channel, message ID) for every message that
// is not channel data; the result is ignored.
using ANT_RESPONSE_FUNC = bool (*)(std::uint8_t channel, std::uint8_t messageId);
// Called on the message thread with (channel, event code) for channel events and
// received data; the result is ignored.
using ANT_CHANNEL_EVENT_FUNC = bool (*)(std::uint8_t channel, std::uint8_t event);

inline constexpr const char* ANT_LIB_VERSION = "ALU3.800";

// Port selector 0: USB serial port. Framing selector 0: ANT framing.
bool ANT_InitExt(std::uint8_t usbDeviceNumber, std::uint32_t baudRate, std::uint8_t portType,
                 std::uint8_t framingType);
bool ANT_Init(std::uint8_t usbDeviceNumber, std::uint32_t baudRate);
// The rate the stick with this number talks at by its product; 0 when there is no such stick.
// Works without initialising.
std::uint32_t ANT_GetDefaultBaudRate(std::uint8_t usbDeviceNumber);
// Returns once the message thread has ended and the port is closed; harmless when not initialised.
void ANT_Close();

// Buffers belong to the caller, must hold at least 41 bytes and stay valid while registered.
void ANT_SetResponseCallback(ANT_RESPONSE_FUNC callback, std::uint8_t* responseBuffer);
// Channel numbers of 8 or more are ignored.
void ANT_SetChannelEventCallback(std::uint8_t channel, ANT_CHANNEL_EVENT_FUNC callback,
                                 std::uint8_t* channelBuffer);
void ANT_ClearCallbacks();

bool ANT_ResetSystem();
// After ANT_ResetSystem: true once the stick's startup message has arrived, false after timeoutMs
// without one (the stick is silent or talks at another rate).
bool ANT_WaitForStartup(std::uint32_t timeoutMs);
bool ANT_SetNetworkKey(std::uint8_t networkNumber, const std::uint8_t* key, std::uint32_t timeoutMs);
bool ANT_EnableExtendedMessages(std::uint8_t enable, std::uint32_t timeoutMs);
bool ANT_AssignChannelExt(std::uint8_t channel, std::uint8_t channelType, std::uint8_t networkNumber,
                          std::uint8_t extendedAssignment, std::uint32_t timeoutMs);
bool ANT_SetChannelRadioFreq(std::uint8_t channel, std::uint8_t frequency, std::uint32_t timeoutMs);
bool ANT_SetChannelId(std::uint8_t channel, std::uint16_t deviceNumber, std::uint8_t deviceType,
                      std::uint8_t transmissionType, std::uint32_t timeoutMs);
bool ANT_OpenRxScanMode(std::uint32_t timeoutMs);
bool ANT_CloseChannel(std::uint8_t channel, std::uint32_t timeoutMs);
bool ANT_UnassignChannel(std::uint8_t channel, std::uint32_t timeoutMs);
// Writes the request without waiting; the answer arrives as an ordinary message.
bool ANT_RequestMessage(std::uint8_t channel, std::uint8_t messageId);

void ANT_Sleep(std::uint32_t milliseconds);
const char* ANT_LibVersion();
