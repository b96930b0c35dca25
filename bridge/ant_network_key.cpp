#include "bridge/ant_network_key.h"

namespace draftwell {

namespace {

int hexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

} // namespace

std::optional<ANTNetworkKey> parseANTNetworkKey(std::string_view text) {
    ANTNetworkKey key{};
    if (text.size() != key.size() * 2) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < key.size(); ++i) {
        const int high = hexDigitValue(text[2 * i]);
        const int low = hexDigitValue(text[2 * i + 1]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        key[i] = static_cast<std::uint8_t>(high * 16 + low);
    }
    return key;
}

} // namespace draftwell
