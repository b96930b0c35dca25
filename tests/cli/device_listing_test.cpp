// --list-devices over a fake sysfs tree: the numbers the program would use,
// in discovery order, and why a stick that is there cannot be opened.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <memory>

#include <gtest/gtest.h>

#include "ant/usb/usb_device_handle_si.h"
#include "ant/usb/usb_device_kind.h"
#include "cli/device_listing.h"
#include "tests/ant/usb/fake_usb_stick.h"
#include "tests/ant/usb/mock_usb_bus.h"

namespace {

class DeviceListingTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetUSBDeviceKinds(USBPlatformDeviceKinds());
        USBDeviceHandleSI::SetNamedPorts({});
    }
    void TearDown() override { USBDeviceHandleSI::SetNamedPorts({}); }

    MockUsbBus bus_;
};

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.rfind(prefix, 0) == 0;
}

std::string lineOf(const QStringList& lines, int index) {
    return index < lines.size() ? lines[index].toStdString() : std::string("<missing>");
}

TEST_F(DeviceListingTest, SaysSoWhenNoStickIsAttached) {
    bus_.AddPlainTty("ttyS0");
    EXPECT_EQ(draftwell::listDevices(), QStringList{QStringLiteral("No ANT stick found.")});
}

TEST_F(DeviceListingTest, ListsSticksInDeviceNumberOrderWithTheirState) {
    const std::string stick = bus_.AddUsbDevice({"1-1", 1, 2, 0x0FCF, 0x1008, "ANT USB Stick", "111"});
    bus_.AddSerialPort(stick, "ttyUSB0", "usb_serial_simple");
    const std::string adapter = bus_.AddUsbDevice({"1-2", 1, 3, 0x10C4, 0xEA60, "CP2102 Adapter", "222"});
    bus_.AddSerialPort(adapter, "ttyUSB1", "cp210x");
    FakeUsbStick direct(bus_.Testbed(), "/dev/bus/usb/001/004");
    bus_.AddUsbDevice({"1-3", 1, 4, 0x0FCF, 0x1008, "ANT USB-m Stick", "333"});
    bus_.AddUsbDevice({"1-4", 1, 5, 0x0FCF, 0x1004, "ANT USB Stick 2", "444", false});

    const int holder = ::open("/dev/ttyUSB0", O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
    const QStringList lines = draftwell::listDevices();
    ::close(holder);

    ASSERT_EQ(lines.size(), 7) << lines.join('\n').toStdString();
    EXPECT_EQ(lineOf(lines, 1),
              "  0: serial port /dev/ttyUSB0, USB 0fcf:1008, \"ANT USB Stick\", serial 111, 115200 baud - "
              "cannot be opened: /dev/ttyUSB0 is in use by another program");
    EXPECT_EQ(lineOf(lines, 2),
              "  1: direct USB /dev/bus/usb/001/004, USB 0fcf:1008, \"ANT USB-m Stick\", serial "
              "333, 57600 baud - can be opened");
    EXPECT_TRUE(startsWith(lineOf(lines, 3),
                           "  2: USB-to-serial chip over USB /dev/bus/usb/001/005, USB 0fcf:1004, \"ANT"))
        << lineOf(lines, 3);
    EXPECT_NE(lineOf(lines, 3).find(", 50000 baud - cannot be opened: /dev/bus/usb/001/005: No such file"),
              std::string::npos)
        << lineOf(lines, 3);
    EXPECT_TRUE(startsWith(lineOf(lines, 4), "  3: direct USB /dev/bus/usb/001/004,")) << lineOf(lines, 4);
    EXPECT_NE(lineOf(lines, 4).find("can be opened"), std::string::npos);
    EXPECT_TRUE(startsWith(lineOf(lines, 5), "  4: USB-to-serial chip over USB /dev/bus/usb/001/005,"))
        << lineOf(lines, 5);
    EXPECT_EQ(lineOf(lines, 6),
              "To report this, run: lap-logger-cli --record stick.txt --duration 30 and attach stick.txt.");
}

TEST_F(DeviceListingTest, NamedPortComesFirst) {
    const std::string stick = bus_.AddUsbDevice({"1-1", 1, 2, 0x0FCF, 0x1008, "ANT USB Stick", "111"});
    bus_.AddSerialPort(stick, "ttyUSB0", "usb_serial_simple");
    bus_.AddPlainTty("ttyS0");
    USBDeviceHandleSI::SetNamedPorts({"/dev/ttyS0"});

    const QStringList lines = draftwell::listDevices();
    ASSERT_EQ(lines.size(), 3) << lines.join('\n').toStdString();
    EXPECT_TRUE(startsWith(lineOf(lines, 1), "  0: serial port /dev/ttyS0,")) << lineOf(lines, 1);
    EXPECT_TRUE(startsWith(lineOf(lines, 2), "  1: serial port /dev/ttyUSB0,")) << lineOf(lines, 2);
}

} // namespace
