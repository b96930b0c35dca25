#include "ant/usb/stick_recording.h"

#include <cstdio>
#include <sstream>

namespace {

const char* kindName(StickEvent::Kind kind) {
    switch (kind) {
    case StickEvent::Kind::open:
        return "open";
    case StickEvent::Kind::openFailed:
        return "open-failed";
    case StickEvent::Kind::control:
        return "control";
    case StickEvent::Kind::host:
        return "host";
    case StickEvent::Kind::stick:
        return "stick";
    case StickEvent::Kind::gone:
        return "gone";
    case StickEvent::Kind::close:
        return "close";
    }
    return "?";
}

std::optional<StickEvent::Kind> kindNamed(const std::string& name) {
    for (StickEvent::Kind kind :
         {StickEvent::Kind::open, StickEvent::Kind::openFailed, StickEvent::Kind::control,
          StickEvent::Kind::host, StickEvent::Kind::stick, StickEvent::Kind::gone, StickEvent::Kind::close}) {
        if (name == kindName(kind)) {
            return kind;
        }
    }
    return std::nullopt;
}

bool readHex(std::istream& in, std::uint32_t limit, std::uint32_t& out) {
    std::string word;
    if (!(in >> word) || word.empty() || word.size() > 8) {
        return false;
    }
    std::size_t used = 0;
    try {
        const unsigned long value = std::stoul(word, &used, 16);
        if (used != word.size() || value > limit) {
            return false;
        }
        out = static_cast<std::uint32_t>(value);
    } catch (...) {
        return false;
    }
    return true;
}

// The rest of the line as two-digit hex bytes separated by blanks.
bool readBytes(std::istream& in, std::vector<std::uint8_t>& bytes) {
    std::uint32_t byte = 0;
    while (in >> std::ws && !in.eof()) {
        if (!readHex(in, 0xFF, byte)) {
            return false;
        }
        bytes.push_back(static_cast<std::uint8_t>(byte));
    }
    return true;
}

bool parseEvent(const std::string& text, StickEvent& event) {
    std::istringstream in(text);
    std::string name;
    if (!(in >> event.ms) || event.ms < 0 || !(in >> name)) {
        return false;
    }
    const std::optional<StickEvent::Kind> kind = kindNamed(name);
    if (!kind) {
        return false;
    }
    event.kind = *kind;
    std::uint32_t a = 0, b = 0, c = 0, d = 0;
    switch (event.kind) {
    case StickEvent::Kind::open:
    case StickEvent::Kind::openFailed:
        if (!readHex(in, 0xFFFFFFFF, a) || !readHex(in, 0xFFFF, b) || !readHex(in, 0xFFFF, c) ||
            !(in >> event.baud)) {
            return false;
        }
        event.deviceType = a;
        event.vid = static_cast<std::uint16_t>(b);
        event.pid = static_cast<std::uint16_t>(c);
        in >> std::ws;
        std::getline(in, event.description);
        return true;
    case StickEvent::Kind::control:
        if (!readHex(in, 0xFF, a) || !readHex(in, 0xFF, b) || !readHex(in, 0xFFFF, c) ||
            !readHex(in, 0xFFFF, d) || !(in >> event.result)) {
            return false;
        }
        event.requestType = static_cast<std::uint8_t>(a);
        event.request = static_cast<std::uint8_t>(b);
        event.value = static_cast<std::uint16_t>(c);
        event.index = static_cast<std::uint16_t>(d);
        return readBytes(in, event.bytes);
    case StickEvent::Kind::host:
    case StickEvent::Kind::stick:
        return readBytes(in, event.bytes) && !event.bytes.empty();
    case StickEvent::Kind::gone:
    case StickEvent::Kind::close:
        return (in >> std::ws).eof();
    }
    return false;
}

} // namespace

std::string StickRecordingHeader() {
    return std::string(kStickRecordingMagic) + " " + std::to_string(kStickRecordingVersion);
}

std::string HexBytes(const std::uint8_t* data, std::size_t size) {
    std::string text;
    text.reserve(size * 3);
    char digits[4];
    for (std::size_t i = 0; i < size; ++i) {
        std::snprintf(digits, sizeof digits, i == 0 ? "%02X" : " %02X", static_cast<unsigned>(data[i]));
        text += digits;
    }
    return text;
}

std::string FormatStickEvent(const StickEvent& event) {
    char fields[96];
    std::string line = std::to_string(event.ms) + " " + kindName(event.kind);
    switch (event.kind) {
    case StickEvent::Kind::open:
    case StickEvent::Kind::openFailed:
        std::snprintf(fields, sizeof fields, " %X %04X %04X %u", static_cast<unsigned>(event.deviceType),
                      static_cast<unsigned>(event.vid), static_cast<unsigned>(event.pid),
                      static_cast<unsigned>(event.baud));
        line += fields;
        if (!event.description.empty()) {
            line += " " + event.description;
        }
        break;
    case StickEvent::Kind::control:
        std::snprintf(fields, sizeof fields, " %02X %02X %04X %04X %d",
                      static_cast<unsigned>(event.requestType), static_cast<unsigned>(event.request),
                      static_cast<unsigned>(event.value), static_cast<unsigned>(event.index), event.result);
        line += fields;
        [[fallthrough]];
    case StickEvent::Kind::host:
    case StickEvent::Kind::stick:
        if (!event.bytes.empty()) {
            line += " " + HexBytes(event.bytes.data(), event.bytes.size());
        }
        break;
    case StickEvent::Kind::gone:
    case StickEvent::Kind::close:
        break;
    }
    line += '\n';
    return line;
}

std::optional<std::vector<StickEvent>> ParseStickRecording(const std::string& text, std::string& error) {
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line) || line.rfind(std::string(kStickRecordingMagic) + " ", 0) != 0) {
        error = "not a stick recording (no \"" + StickRecordingHeader() + "\" line first)";
        return std::nullopt;
    }
    if (line != StickRecordingHeader()) {
        error = "recording format \"" + line + "\" is not known here (this program reads version " +
                std::to_string(kStickRecordingVersion) + ")";
        return std::nullopt;
    }
    std::vector<StickEvent> events;
    for (int number = 2; std::getline(in, line); ++number) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        StickEvent event;
        event.line = number;
        if (!parseEvent(line, event)) {
            error = "line " + std::to_string(number) + " is not an event: \"" + line + "\"";
            return std::nullopt;
        }
        events.push_back(std::move(event));
    }
    return events;
}
