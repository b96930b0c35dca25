#include "sim/frame_description.h"

#include <cstdio>

namespace antsim {

std::string messageName(std::uint8_t id) {
    switch (id) {
    case 0x3E:
        return "Version";
    case 0x40:
        return "Response/Event";
    case 0x41:
        return "Unassign Channel";
    case 0x42:
        return "Assign Channel";
    case 0x43:
        return "Channel Period";
    case 0x44:
        return "Search Timeout";
    case 0x45:
        return "Channel Radio Freq";
    case 0x46:
        return "Set Network Key";
    case 0x47:
        return "Transmit Power";
    case 0x4A:
        return "Reset System";
    case 0x4B:
        return "Open Channel";
    case 0x4C:
        return "Close Channel";
    case 0x4D:
        return "Request Message";
    case 0x4E:
        return "Broadcast Data";
    case 0x51:
        return "Channel ID";
    case 0x52:
        return "Channel Status";
    case 0x54:
        return "Capabilities";
    case 0x5B:
        return "Open RX Scan";
    case 0x63:
        return "Low Priority Search Timeout";
    case 0x66:
        return "Enable Extended Messages";
    case 0x6E:
        return "Lib Config";
    case 0x6F:
        return "Startup Message";
    default:
        return {};
    }
}

std::string describeFrame(const StickFrame& frame) {
    char head[16];
    std::snprintf(head, sizeof head, "[%02X]", frame.id);
    std::string line = head;
    const auto name = messageName(frame.id);
    if (!name.empty()) {
        line += ' ';
        line += name;
    }
    line += ':';
    for (const auto b : frame.payload) {
        char hex[4];
        std::snprintf(hex, sizeof hex, " %02X", b);
        line += hex;
    }
    return line;
}

} // namespace antsim
