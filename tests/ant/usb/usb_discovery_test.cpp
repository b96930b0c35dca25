// Discovery of sticks over a fake sysfs. The order, kinds, descriptions, rates
// and openability of the usual set are checked as the user sees them, in
// tests/cli/device_listing_test; bytes both ways, settings and hang-up in
// usb_serial_port_test, on a pseudo-terminal.
#include <fcntl.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ant/usb/stick_baud_rate.h"
#include "ant/usb/usb_device_handle.h"
#include "ant/usb/usb_device_handle_si.h"
#include "ant/usb/usb_device_kind.h"
#include "ant/usb/usb_device_si.h"
#include "tests/ant/usb/fake_usb_stick.h"
#include "tests/ant/usb/mock_usb_bus.h"
#include "tests/support/eventually.h"

namespace {

using draftwell::test::eventually;

std::string serialOf(const USBDevice& device) {
    std::uint8_t serial[256] = {};
    device.GetSerialString(serial, sizeof serial);
    return std::string(reinterpret_cast<const char*>(serial));
}

std::string portOf(const USBDevice* device) {
    const auto* port = dynamic_cast<const USBDeviceSI*>(device);
    return port != nullptr ? port->GetBsdName() : "";
}

class UsbDiscoveryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetUSBDeviceKinds(USBPlatformDeviceKinds());
        USBDeviceHandleSI::SetNamedPorts({});
    }
    void TearDown() override { USBDeviceHandleSI::SetNamedPorts({}); }

    // A serial-port stick, a non-ANT serial adapter, a direct stick, a bridge-chip stick, a mouse and a
    // motherboard serial port.
    void PlugTheUsualSet() {
        serialStick_ = bus_.AddUsbDevice({"1-1", 1, 2, 0x0FCF, 0x1008, "ANT USB Stick", "111"});
        bus_.AddSerialPort(serialStick_, "ttyUSB0", "usb_serial_simple");
        const std::string adapter = bus_.AddUsbDevice({"1-2", 1, 3, 0x10C4, 0xEA60, "CP2102 Adapter", "222"});
        bus_.AddSerialPort(adapter, "ttyUSB1", "cp210x");
        directStick_ = std::make_unique<FakeUsbStick>(bus_.Testbed(), "/dev/bus/usb/001/004");
        bus_.AddUsbDevice({"1-3", 1, 4, 0x0FCF, 0x1008, "ANT USB-m Stick", "333"});
        bus_.AddUsbDevice({"1-4", 1, 5, 0x0FCF, 0x1004, "ANT USB Stick 2", "444", false});
        bus_.AddUsbDevice({"1-5", 1, 6, 0x046D, 0xC52B, "USB Receiver", "555"});
        bus_.AddPlainTty("ttyS0");
    }

    MockUsbBus bus_;
    std::string serialStick_;
    std::unique_ptr<FakeUsbStick> directStick_;
};

// 0x1004 talks at 50000 on a serial port too; the other rates are tried after the stick's own.
TEST_F(UsbDiscoveryTest, ASlowStickOnASerialPortGetsItsRateAndTheOthersComeAfter) {
    const std::string slow =
        bus_.AddUsbDevice({"1-6", 1, 7, 0x0FCF, 0x1004, "ANT USB Stick 2", "666", false});
    bus_.AddSerialPort(slow, "ttyUSB2", "cp210x");
    const USBDeviceList<const USBDevice*> serial = USBDeviceHandle::GetAllDevices(USB_DEVICE_TYPE_SI);
    ASSERT_EQ(serial.GetSize(), 1u);
    EXPECT_EQ(DefaultBaudRate(*serial[0]), 50000u);
    EXPECT_EQ(BaudRatesToTry(115200), (std::vector<std::uint32_t>{115200, 50000, 57600}));
    EXPECT_EQ(BaudRatesToTry(57600), (std::vector<std::uint32_t>{57600, 50000, 115200}));
}

TEST_F(UsbDiscoveryTest, NamedPortsComeFirstInTheOrderGivenWhateverTheyAre) {
    PlugTheUsualSet();
    USBDeviceHandleSI::SetNamedPorts({"/dev/ttyS0", "/dev/ttyUSB1", "/dev/ttyUSB0"});
    const USBDeviceList<const USBDevice*> serial = USBDeviceHandle::GetAllDevices(USB_DEVICE_TYPE_SI);

    ASSERT_EQ(serial.GetSize(), 3u); // ttyUSB0 is not listed a second time
    EXPECT_EQ(portOf(serial[0]), "/dev/ttyS0");
    EXPECT_EQ(portOf(serial[1]), "/dev/ttyUSB1");
    EXPECT_EQ(portOf(serial[2]), "/dev/ttyUSB0");
    EXPECT_EQ(serial[1]->GetVid(), 0x10C4);
    EXPECT_EQ(serial[2]->GetSerialNumber(), 111u);
    EXPECT_EQ(USBDeviceHandle::GetAllDevices().GetSize(), 7u);
}

// Held by another program or without a device node, a stick is left out: in the device listing's test.
TEST_F(UsbDiscoveryTest, AFreeSerialStickIsAvailable) {
    PlugTheUsualSet();
    const USBDeviceList<const USBDevice*> serial = USBDeviceHandle::GetAvailableDevices(USB_DEVICE_TYPE_SI);
    ASSERT_EQ(serial.GetSize(), 1u);
    EXPECT_EQ(portOf(serial[0]), "/dev/ttyUSB0");
}

TEST_F(UsbDiscoveryTest, CopiedDeviceOutlivesTheNextEnumeration) {
    PlugTheUsualSet();
    USBDevice* serialCopy = nullptr;
    USBDevice* directCopy = nullptr;
    {
        const USBDeviceList<const USBDevice*> all = USBDeviceHandle::GetAllDevices();
        ASSERT_EQ(all.GetSize(), 5u);
        ASSERT_TRUE(USBDeviceHandle::CopyDevice(serialCopy, all[0]));
        ASSERT_TRUE(USBDeviceHandle::CopyDevice(directCopy, all[4]));
    }
    std::unique_ptr<USBDevice> serialOwned(serialCopy);
    std::unique_ptr<USBDevice> directOwned(directCopy);
    EXPECT_EQ(USBDeviceHandle::GetAllDevices().GetSize(), 5u); // refills the device tables

    EXPECT_EQ(portOf(serialOwned.get()), "/dev/ttyUSB0");
    EXPECT_EQ(serialOwned->GetSerialNumber(), 111u);
    EXPECT_EQ(directOwned->GetDeviceType(), USB_DEVICE_TYPE_SI_LIBUSB);
    EXPECT_EQ(serialOf(*directOwned), "444");
    EXPECT_EQ(directOwned->GetSerialNumber(), 444u);
}

TEST_F(UsbDiscoveryTest, AnUnpluggedSerialStickIsGoneEvenWithBytesQueued) {
    PlugTheUsualSet();
    const int master = bus_.TtyMaster("ttyUSB0");
    ASSERT_GE(master, 0);
    // Held open so that the emulated tty stays usable whatever the handle does; never read.
    const int probe = ::open("/dev/ttyUSB0", O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(probe, 0);
    const USBDeviceList<const USBDevice*> sticks = USBDeviceHandle::GetAllDevices(USB_DEVICE_TYPE_SI);
    ASSERT_EQ(sticks.GetSize(), 1u);
    USBDeviceHandle* handle = nullptr;
    ASSERT_TRUE(USBDeviceHandle::Open(*sticks[0], handle, 115200));
    std::uint32_t count = 0;
    const std::uint8_t frame[] = {0xA4, 0x03, 0x40, 0x00};
    ASSERT_EQ(::write(master, frame, sizeof frame), static_cast<ssize_t>(sizeof frame));
    std::uint8_t first = 0;
    ASSERT_TRUE(eventually([&] { return handle->Read(&first, 1, count, 50) == USBStatus::Success; }));
    EXPECT_EQ(first, 0xA4);
    bus_.Unplug(serialStick_);
    EXPECT_TRUE(eventually([&] { return handle->Read(&first, 0, count, 0) == USBStatus::DeviceGone; }));
    std::uint8_t rest[8];
    EXPECT_EQ(handle->Read(rest, sizeof rest, count, 100), USBStatus::DeviceGone);
    EXPECT_EQ(handle->Write(frame, sizeof frame, count), USBStatus::DeviceGone);
    EXPECT_TRUE(USBDeviceHandle::Close(handle));
    ::close(probe);
    ::close(master);
}

} // namespace
