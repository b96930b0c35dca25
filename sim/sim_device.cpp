#include "sim/sim_device.h"

#include <algorithm>
#include <cstring>

namespace antsim {

namespace {
constexpr char kProduct[] = "ANT Virtual Stick (simulated)";
constexpr char kSerial[] = "SIM00001";
} // namespace

SimDevice::SimDevice() {
    std::memcpy(serial_.data(), kSerial, sizeof kSerial);
}

bool SimDevice::GetProductDescription(char* buffer, std::uint16_t size) const {
    if (buffer == nullptr || size < sizeof kProduct) {
        return false;
    }
    std::memcpy(buffer, kProduct, sizeof kProduct);
    return true;
}

bool SimDevice::GetSerialString(std::uint8_t* buffer, std::uint16_t size) const {
    if (buffer == nullptr) {
        return false;
    }
    std::memcpy(buffer, serial_.data(), std::min<std::size_t>(size, serial_.size()));
    return size >= serial_.size();
}

} // namespace antsim
