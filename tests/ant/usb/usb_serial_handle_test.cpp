// The serial-port kind on an emulated USB serial stick: bytes through the
// tty, its settings, and the stick going away by unplug or hang-up.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ant/usb/usb_device_handle.h"
#include "ant/usb/usb_device_handle_si.h"
#include "ant/usb/usb_device_kind.h"
#include "tests/ant/usb/mock_usb_bus.h"
#include "tests/support/eventually.h"

namespace {

using draftwell::test::eventually;

class SerialHandleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetUSBDeviceKinds(USBPlatformDeviceKinds());
        USBDeviceHandleSI::SetNamedPorts({});
        stick_ = bus_.AddUsbDevice({"1-1", 1, 2, 0x0FCF, 0x1008, "ANT USB Stick", "111"});
        bus_.AddSerialPort(stick_, "ttyUSB0", "usb_serial_simple");
        master_ = bus_.TtyMaster("ttyUSB0");
        ASSERT_GE(master_, 0);
        // Held open so that the emulated tty stays usable whatever the handle does; never read.
        probe_ = ::open("/dev/ttyUSB0", O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(probe_, 0);
    }
    void TearDown() override {
        USBDeviceHandle::Close(handle_);
        if (probe_ >= 0) {
            ::close(probe_);
        }
        if (master_ >= 0) {
            ::close(master_);
        }
    }

    void Open() {
        const USBDeviceList<const USBDevice*> sticks = USBDeviceHandle::GetAllDevices();
        ASSERT_EQ(sticks.GetSize(), 1u);
        ASSERT_TRUE(USBDeviceHandle::Open(*sticks[0], handle_, 115200));
    }

    bool Gone() {
        std::uint8_t byte = 0;
        std::uint32_t count = 0;
        return handle_->Read(&byte, 0, count, 0) == USBStatus::DeviceGone;
    }

    MockUsbBus bus_;
    std::string stick_;
    int master_ = -1;
    int probe_ = -1;
    USBDeviceHandle* handle_ = nullptr;
};

TEST_F(SerialHandleTest, BytesTravelBothWaysThroughTheTty) {
    Open();
    std::vector<std::uint8_t> toHost(256);
    for (std::size_t i = 0; i < toHost.size(); ++i) {
        toHost[i] = static_cast<std::uint8_t>(i);
    }
    ASSERT_EQ(::write(master_, toHost.data(), toHost.size()), 256);
    std::vector<std::uint8_t> got;
    EXPECT_TRUE(eventually([&] {
        std::uint8_t block[300];
        std::uint32_t n = 0;
        if (handle_->Read(block, sizeof block, n, 50) == USBStatus::Success) {
            got.insert(got.end(), block, block + n);
        }
        return got.size() >= toHost.size();
    }));
    EXPECT_EQ(got, toHost);

    const std::uint8_t toStick[] = {0xA4, 0x01, 0x4A, 0x00, 0xEF};
    std::uint32_t written = 0;
    ASSERT_EQ(handle_->Write(toStick, sizeof toStick, written), USBStatus::Success);
    EXPECT_EQ(written, sizeof toStick);
    std::vector<std::uint8_t> atStick;
    EXPECT_TRUE(eventually([&] {
        pollfd readable{master_, POLLIN, 0};
        std::uint8_t block[16];
        if (::poll(&readable, 1, 10) > 0) {
            const ssize_t n = ::read(master_, block, sizeof block);
            if (n > 0) {
                atStick.insert(atStick.end(), block, block + n);
            }
        }
        return atStick.size() >= sizeof toStick;
    }));
    EXPECT_EQ(atStick, std::vector<std::uint8_t>(toStick, toStick + sizeof toStick));
}

TEST_F(SerialHandleTest, SettingsAreAppliedAndRestored) {
    termios before{};
    ASSERT_EQ(::tcgetattr(probe_, &before), 0);
    before.c_lflag |= ICANON;
    ::cfsetspeed(&before, B9600);
    ASSERT_EQ(::tcsetattr(probe_, TCSANOW, &before), 0);

    Open();
    termios open{};
    ASSERT_EQ(::tcgetattr(probe_, &open), 0);
    EXPECT_EQ(::cfgetispeed(&open), static_cast<speed_t>(B115200));
    EXPECT_EQ(open.c_cflag & (CSIZE | CREAD | CLOCAL | CRTSCTS),
              static_cast<tcflag_t>(CS8 | CREAD | CLOCAL | CRTSCTS));
    EXPECT_EQ(open.c_lflag & ICANON, 0u);

    ASSERT_TRUE(USBDeviceHandle::Close(handle_));
    termios after{};
    ASSERT_EQ(::tcgetattr(probe_, &after), 0);
    EXPECT_EQ(::cfgetispeed(&after), static_cast<speed_t>(B9600));
    EXPECT_NE(after.c_lflag & ICANON, 0u);
}

TEST_F(SerialHandleTest, UnplugMarksTheDeviceGoneEvenWithBytesQueued) {
    Open();
    const std::uint8_t frame[] = {0xA4, 0x03, 0x40, 0x00};
    ASSERT_EQ(::write(master_, frame, sizeof frame), static_cast<ssize_t>(sizeof frame));
    std::uint8_t first = 0;
    std::uint32_t count = 0;
    ASSERT_TRUE(eventually([&] { return handle_->Read(&first, 1, count, 50) == USBStatus::Success; }));
    EXPECT_EQ(first, 0xA4);

    bus_.Unplug(stick_);
    EXPECT_TRUE(eventually([&] { return Gone(); }));
    std::uint8_t rest[8];
    EXPECT_EQ(handle_->Read(rest, sizeof rest, count, 100), USBStatus::DeviceGone);
    EXPECT_EQ(handle_->Write(frame, sizeof frame, count), USBStatus::DeviceGone);
    EXPECT_TRUE(USBDeviceHandle::Close(handle_));
}

TEST_F(SerialHandleTest, TheOtherEndClosingEndsTheReceiveThread) {
    Open();
    ::close(probe_);
    probe_ = -1;
    ::close(master_);
    master_ = -1;
    EXPECT_TRUE(eventually([&] { return Gone(); }));
    std::uint32_t count = 0;
    EXPECT_EQ(handle_->Write("x", 1, count), USBStatus::DeviceGone);
    EXPECT_TRUE(USBDeviceHandle::Close(handle_));
}

TEST_F(SerialHandleTest, ZeroByteWriteAndDoubleClose) {
    Open();
    std::uint32_t count = 7;
    EXPECT_EQ(handle_->Write("", 0, count), USBStatus::Success);
    EXPECT_EQ(count, 0u);
    EXPECT_TRUE(USBDeviceHandle::Close(handle_));
    EXPECT_FALSE(USBDeviceHandle::Close(handle_));
}

} // namespace
