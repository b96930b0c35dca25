// --list-devices over a fake sysfs tree: the numbers the program would use,
// in discovery order, and why a stick that is there cannot be opened.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <memory>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ant/usb/usb_device_handle_si.h"
#include "ant/usb/usb_device_kind.h"
#include "cli/device_listing.h"
#include "tests/ant/usb/fake_usb_stick.h"
#include "tests/ant/usb/mock_usb_bus.h"

namespace {

using ::testing::_;
using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

class DeviceListingTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetUSBDeviceKinds(USBPlatformDeviceKinds());
        USBDeviceHandleSI::SetNamedPorts({});
    }
    void TearDown() override { USBDeviceHandleSI::SetNamedPorts({}); }

    MockUsbBus bus_;
};

std::vector<std::string> lines() {
    std::vector<std::string> out;
    for (const QString& line : draftwell::listDevices()) {
        out.push_back(line.toStdString());
    }
    return out;
}

TEST_F(DeviceListingTest, SaysSoWhenNoStickIsAttached) {
    bus_.AddPlainTty("ttyS0");
    EXPECT_THAT(lines(), ElementsAre("No ANT stick found."));
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
    const std::vector<std::string> listed = lines();
    ::close(holder);
    EXPECT_THAT(
        listed,
        ElementsAre(
            _,
            "  0: serial port /dev/ttyUSB0, USB 0fcf:1008, \"ANT USB Stick\", serial 111, 115200 baud - "
            "cannot be opened: /dev/ttyUSB0 is in use by another program",
            "  1: direct USB /dev/bus/usb/001/004, USB 0fcf:1008, \"ANT USB-m Stick\", serial 333, 57600 "
            "baud - can be opened",
            AllOf(StartsWith("  2: USB-to-serial chip over USB /dev/bus/usb/001/005, USB 0fcf:1004, \"ANT"),
                  HasSubstr(", 50000 baud - cannot be opened: /dev/bus/usb/001/005: No such file")),
            AllOf(StartsWith("  3: direct USB /dev/bus/usb/001/004,"), HasSubstr("can be opened")),
            StartsWith("  4: USB-to-serial chip over USB /dev/bus/usb/001/005,"),
            "To report this, run: lap-logger-cli --record stick.txt --duration 30 and attach stick.txt."));
}

TEST_F(DeviceListingTest, NamedPortComesFirst) {
    const std::string stick = bus_.AddUsbDevice({"1-1", 1, 2, 0x0FCF, 0x1008, "ANT USB Stick", "111"});
    bus_.AddSerialPort(stick, "ttyUSB0", "usb_serial_simple");
    bus_.AddPlainTty("ttyS0");
    USBDeviceHandleSI::SetNamedPorts({"/dev/ttyS0"});

    EXPECT_THAT(lines(), ElementsAre(_, StartsWith("  0: serial port /dev/ttyS0,"),
                                     StartsWith("  1: serial port /dev/ttyUSB0,")));
}

} // namespace
