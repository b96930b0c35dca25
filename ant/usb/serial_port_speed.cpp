// Kept apart: the kernel's termios2 header cannot be included next to <termios.h>.
#include "ant/usb/serial_port_speed.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

bool SetSerialPortSpeed(int fd, std::uint32_t baudRate) {
    struct termios2 settings {};
    if (::ioctl(fd, TCGETS2, &settings) != 0) {
        return false;
    }
    settings.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
    settings.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    settings.c_ispeed = baudRate;
    settings.c_ospeed = baudRate;
    return ::ioctl(fd, TCSETS2, &settings) == 0;
}

std::uint32_t GetSerialPortSpeed(int fd) {
    struct termios2 settings {};
    if (::ioctl(fd, TCGETS2, &settings) != 0) {
        return 0;
    }
    return settings.c_ospeed;
}
