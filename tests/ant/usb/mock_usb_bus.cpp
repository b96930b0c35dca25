#include "tests/ant/usb/mock_usb_bus.h"

#include <unistd.h>

#include <cstdio>

#include <gtest/gtest.h>

namespace {

const char* const kRoot = "/devices/pci0000:00/0000:00:14.0/usb1/";

std::string hex4(std::uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04x", value);
    return text;
}

// Little-endian hex of a 16-bit field inside a descriptor.
std::string le16(std::uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X%02X", value & 0xFF, value >> 8);
    return text;
}

std::string busFile(std::uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "%03u", value);
    return text;
}

} // namespace

MockUsbBus::MockUsbBus() : testbed_(umockdev_testbed_new()) {}

MockUsbBus::~MockUsbBus() {
    g_object_unref(testbed_);
}

bool MockUsbBus::Add(const std::string& description) {
    GError* error = nullptr;
    const bool added = umockdev_testbed_add_from_string(testbed_, description.c_str(), &error);
    if (!added) {
        ADD_FAILURE() << "testbed refused device: " << (error != nullptr ? error->message : "?");
        g_clear_error(&error);
    }
    return added;
}

std::string MockUsbBus::DeviceNode(const UsbDevice& device) {
    return "/dev/bus/usb/" + busFile(device.busNumber) + "/" + busFile(device.address);
}

std::string MockUsbBus::AddUsbDevice(const UsbDevice& device) {
    const std::string path = std::string(kRoot) + device.port;
    const std::string node = DeviceNode(device).substr(5);
    // Device descriptor (strings 1 to 3), one configuration, interface 0 with bulk IN 0x81 and OUT 0x01.
    const std::string descriptors = "1201000200000040" + le16(device.vid) + le16(device.pid) +
                                    "000101020301"
                                    "09022000010100803209040000"
                                    "02ff0000020705810240000107050102400001";
    std::string text =
        "P: " + path + "\n" + (device.withNode ? "N: " + node + "\nE: DEVNAME=/dev/" + node + "\n" : "") +
        "E: DEVTYPE=usb_device\nE: DRIVER=usb\nE: SUBSYSTEM=usb\nE: BUSNUM=" + busFile(device.busNumber) +
        "\nE: DEVNUM=" + busFile(device.address) + "\nA: idVendor=" + hex4(device.vid) +
        "\nA: idProduct=" + hex4(device.pid) + "\nA: product=" + device.product + "\n";
    if (!device.serial.empty()) {
        text += "A: serial=" + device.serial + "\n";
    }
    text += "A: busnum=" + std::to_string(device.busNumber) +
            "\\n\nA: devnum=" + std::to_string(device.address) +
            "\\n\nA: speed=12\\n\nA: bConfigurationValue=1\\n\nA: bNumConfigurations=1\nA: bDeviceClass=00\n"
            "A: bDeviceSubClass=00\nH: descriptors=" +
            descriptors + "\n";
    Add(text);
    return path;
}

std::string MockUsbBus::AddSerialPort(const std::string& usbPath, const std::string& ttyName,
                                      const std::string& driver) {
    const std::string name = usbPath.substr(usbPath.rfind('/') + 1);
    const std::string interfacePath = usbPath + "/" + name + ":1.0";
    const std::string portPath = interfacePath + "/" + ttyName;
    const std::string ttyPath = portPath + "/tty/" + ttyName;
    Add("P: " + interfacePath + "\nE: DEVTYPE=usb_interface\nE: DRIVER=" + driver +
        "\nE: SUBSYSTEM=usb\nA: bInterfaceNumber=00\n\nP: " + portPath +
        "\nE: DRIVER=generic\nE: SUBSYSTEM=usb-serial\n\nP: " + ttyPath + "\nN: " + ttyName +
        "\nE: DEVNAME=/dev/" + ttyName +
        "\nE: SUBSYSTEM=tty\nE: MAJOR=188\nE: MINOR=" + std::to_string(nextMinor_++) + "\n");
    return ttyPath;
}

std::string MockUsbBus::AddPlainTty(const std::string& ttyName) {
    const std::string path = "/devices/platform/serial8250/tty/" + ttyName;
    Add("P: " + path + "\nN: " + ttyName + "\nE: DEVNAME=/dev/" + ttyName + "\nE: SUBSYSTEM=tty\n");
    return path;
}

int MockUsbBus::TtyMaster(const std::string& ttyName) {
    return umockdev_testbed_get_dev_fd(testbed_, ("/dev/" + ttyName).c_str());
}

void MockUsbBus::Unplug(const std::string& usbPath) {
    const std::string sysPath = "/sys" + usbPath;
    // Children first: the serial chain under interface 1.0, if any, then the device.
    const std::string name = usbPath.substr(usbPath.rfind('/') + 1);
    const std::string interfacePath = sysPath + "/" + name + ":1.0";
    if (access(interfacePath.c_str(), F_OK) == 0) {
        umockdev_testbed_uevent(testbed_, interfacePath.c_str(), "remove");
    }
    umockdev_testbed_uevent(testbed_, sysPath.c_str(), "remove");
}
