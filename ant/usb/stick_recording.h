#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// One line of a stick recording (see docs/stick-recordings.md). Times are
// milliseconds on the monotonic clock since the last open began.
struct StickEvent {
    enum class Kind { open, openFailed, control, host, stick, gone, close };

    std::int64_t ms = 0;
    Kind kind = Kind::host;
    std::vector<std::uint8_t> bytes; // host, stick, control: the data moved

    // open: the device opened; the description is the rest of the line.
    std::uint32_t deviceType = 0;
    std::uint16_t vid = 0;
    std::uint16_t pid = 0;
    std::uint32_t baud = 0;
    std::string description;

    // control: the setup fields and libusb's result code.
    std::uint8_t requestType = 0;
    std::uint8_t request = 0;
    std::uint16_t value = 0;
    std::uint16_t index = 0;
    int result = 0;

    int line = 0; // where it was read from, for messages
};

inline constexpr const char* kStickRecordingMagic = "draftwell-stick-recording";
inline constexpr int kStickRecordingVersion = 1;

// The first line of every recording, without its newline.
std::string StickRecordingHeader();
// One event as a line, newline included.
std::string FormatStickEvent(const StickEvent& event);
// "A4 01 4A" for the bytes given.
std::string HexBytes(const std::uint8_t* data, std::size_t size);

// A whole recording; on failure nothing, and `error` says which line is wrong.
std::optional<std::vector<StickEvent>> ParseStickRecording(const std::string& text, std::string& error);
