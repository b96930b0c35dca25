#pragma once

#include <cstdint>

// Line speed of an open tty in baud, any value the driver accepts (50000 has no termios constant).
// Both work on the master side of a pseudo-terminal too, where they act on its terminal.
bool SetSerialPortSpeed(int fd, std::uint32_t baudRate);
// 0 if it cannot be read.
std::uint32_t GetSerialPortSpeed(int fd);
