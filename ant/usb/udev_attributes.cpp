#include "ant/usb/udev_attributes.h"

#include <fcntl.h>
#include <libudev.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace {

std::uint32_t parse(udev_device* device, const char* name, int base) {
    if (device == nullptr) {
        return 0;
    }
    const char* text = udev_device_get_sysattr_value(device, name);
    if (text == nullptr) {
        return 0;
    }
    return static_cast<std::uint32_t>(std::strtoul(text, nullptr, base));
}

} // namespace

std::uint32_t UdevAttributes::Hex(udev_device* device, const char* name) {
    return parse(device, name, 16);
}

std::uint32_t UdevAttributes::Decimal(udev_device* device, const char* name) {
    return parse(device, name, 10);
}

void UdevAttributes::CopyText(udev_device* device, const char* name, char* buffer, std::size_t size) {
    if (buffer == nullptr || size == 0) {
        return;
    }
    buffer[0] = '\0';
    const char* text = device != nullptr ? udev_device_get_sysattr_value(device, name) : nullptr;
    if (text == nullptr) {
        return;
    }
    const std::size_t length = std::strlen(text);
    if (length + 1 > size) {
        return; // a cut text could end inside a UTF-8 sequence
    }
    std::memcpy(buffer, text, length + 1);
}

std::uint32_t UdevAttributes::SerialNumber(const char* text) {
    if (text == nullptr) {
        return 0;
    }
    return static_cast<std::uint32_t>(std::strtoll(text, nullptr, 10));
}

std::uint8_t UdevAttributes::SerialStringIndex(udev_device* device) {
    const char* sysPath = device != nullptr ? udev_device_get_syspath(device) : nullptr;
    if (sysPath == nullptr) {
        return 0;
    }
    // The raw device descriptor comes first in the descriptors file; byte 16 is iSerialNumber.
    const std::string path = std::string(sysPath) + "/descriptors";
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return 0;
    }
    unsigned char descriptor[18] = {};
    const ssize_t got = ::read(fd, descriptor, sizeof descriptor);
    ::close(fd);
    if (got < static_cast<ssize_t>(sizeof descriptor)) {
        return 0;
    }
    return descriptor[16];
}

udev_device* UdevAttributes::UsbDeviceAncestor(udev_device* device) {
    if (device == nullptr) {
        return nullptr;
    }
    const char* subsystem = udev_device_get_subsystem(device);
    const char* type = udev_device_get_devtype(device);
    if (subsystem != nullptr && type != nullptr && std::strcmp(subsystem, "usb") == 0 &&
        std::strcmp(type, "usb_device") == 0) {
        return device;
    }
    return udev_device_get_parent_with_subsystem_devtype(device, "usb", "usb_device");
}
