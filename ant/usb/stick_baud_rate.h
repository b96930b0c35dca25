#pragma once

#include <cstdint>
#include <vector>

#include "ant/usb/usb_device.h"

// The rates ANT sticks talk at, in the order they are tried after the stick's own one.
inline constexpr std::uint32_t kStickBaudRates[] = {50000, 57600, 115200};

// The rate a stick talks at by its product: 50000 for product 0x1004, 115200 for any other stick
// behind a serial-port driver (whose product may be unknown), 57600 for any other direct stick.
std::uint32_t DefaultBaudRate(const USBDevice& device);

// `first`, then the other known rates in their usual order.
std::vector<std::uint32_t> BaudRatesToTry(std::uint32_t first);
