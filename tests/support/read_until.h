#pragma once

#include <poll.h>
#include <unistd.h>

#include <cstdint>
#include <vector>

#include "ant/usb/usb_device_handle.h"
#include "tests/support/eventually.h"

namespace draftwell::test {

// Reads from an open stick until `count` bytes came or the wait's bound passed; returns what came.
inline std::vector<std::uint8_t> readUntil(USBDeviceHandle& handle, std::size_t count) {
    std::vector<std::uint8_t> got;
    eventually([&] {
        std::uint8_t block[512];
        std::uint32_t n = 0;
        if (handle.Read(block, sizeof block, n, 50) == USBStatus::Success) {
            got.insert(got.end(), block, block + n);
        }
        return got.size() >= count;
    });
    return got;
}

// The same from the far end of a tty or pty.
inline std::vector<std::uint8_t> readUntil(int fd, std::size_t count) {
    std::vector<std::uint8_t> got;
    eventually([&] {
        std::uint8_t block[512];
        pollfd readable{fd, POLLIN, 0};
        if (::poll(&readable, 1, 10) > 0) {
            const ssize_t n = ::read(fd, block, sizeof block);
            if (n > 0) {
                got.insert(got.end(), block, block + n);
            }
        }
        return got.size() >= count;
    });
    return got;
}

} // namespace draftwell::test
