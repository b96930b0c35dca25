// The serial-port kind over a pseudo-terminal named by path, as the virtual
// stick is used; the test holds the other end.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ant/usb/serial_port_speed.h"
#include "ant/usb/usb_device_handle.h"
#include "ant/usb/usb_device_handle_si.h"
#include "ant/usb/usb_device_kind.h"
#include "ant/usb/usb_device_si.h"
#include "tests/support/eventually.h"
#include "tests/support/read_until.h"

namespace {

using draftwell::test::eventually;
using draftwell::test::readUntil;

int threadCount() {
    int count = 0;
    if (DIR* tasks = ::opendir("/proc/self/task")) {
        while (dirent* entry = ::readdir(tasks)) {
            count += entry->d_name[0] != '.' ? 1 : 0;
        }
        ::closedir(tasks);
    }
    return count;
}

std::string portOf(const USBDevice* device) {
    const auto* port = dynamic_cast<const USBDeviceSI*>(device);
    return port != nullptr ? port->GetBsdName() : "";
}

class SerialPortTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetUSBDeviceKinds(USBPlatformDeviceKinds());
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(master_, 0);
        ASSERT_EQ(::grantpt(master_), 0);
        ASSERT_EQ(::unlockpt(master_), 0);
        path_ = ::ptsname(master_);
        USBDeviceHandleSI::SetNamedPorts({path_});
    }
    void TearDown() override {
        USBDeviceHandle::Close(handle_);
        USBDeviceHandleSI::SetNamedPorts({});
        if (master_ >= 0) {
            ::close(master_);
        }
    }

    bool OpenNamedPort(std::uint32_t baudRate = 115200) {
        const USBDeviceList<const USBDevice*> ports = USBDeviceHandle::GetAllDevices(USB_DEVICE_TYPE_SI);
        return ports.GetSize() > 0 && USBDeviceHandle::Open(*ports[0], handle_, baudRate);
    }

    int master_ = -1;
    std::string path_;
    USBDeviceHandle* handle_ = nullptr;
};

TEST_F(SerialPortTest, NamedPortIsListedFirstCarriesBytesBothWaysAndIsOpenedOnlyOnce) {
    const USBDeviceList<const USBDevice*> ports = USBDeviceHandle::GetAllDevices(USB_DEVICE_TYPE_SI);
    ASSERT_GE(ports.GetSize(), 1u);
    EXPECT_EQ(portOf(ports[0]), path_);
    ASSERT_TRUE(USBDeviceHandle::Open(*ports[0], handle_, 57600));

    std::vector<std::uint8_t> toHost(300);
    for (std::size_t i = 0; i < toHost.size(); ++i) {
        toHost[i] = static_cast<std::uint8_t>(i);
    }
    ASSERT_EQ(::write(master_, toHost.data(), toHost.size()), static_cast<ssize_t>(toHost.size()));
    EXPECT_EQ(readUntil(*handle_, toHost.size()), toHost);
    const std::vector<std::uint8_t> toStick = {0xA4, 0x01, 0x4A, 0x00, 0xEF};
    std::uint32_t count = 0;
    ASSERT_EQ(handle_->Write(toStick.data(), 5, count), USBStatus::Success);
    EXPECT_EQ(count, toStick.size());
    EXPECT_EQ(readUntil(master_, toStick.size()), toStick);
    EXPECT_EQ(handle_->Write("", 0, count), USBStatus::Success);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(handle_->Write(nullptr, 3, count), USBStatus::InvalidParam);
    std::uint8_t buffer[8];
    EXPECT_EQ(handle_->Read(buffer, sizeof buffer, count, 0), USBStatus::Timeout);

    USBDeviceHandle* second = nullptr;
    EXPECT_FALSE(USBDeviceHandle::Open(*ports[0], second, 57600));
    EXPECT_EQ(second, nullptr);
    const USBDeviceList<const USBDevice*> available =
        USBDeviceHandle::GetAvailableDevices(USB_DEVICE_TYPE_SI);
    for (std::uint32_t i = 0; i < available.GetSize(); ++i) {
        EXPECT_NE(portOf(available[i]), path_);
    }
    EXPECT_TRUE(USBDeviceHandle::Close(handle_));
}

// 50000 has no termios constant and goes through the arbitrary-rate interface.
TEST_F(SerialPortTest, PortRunsRawAtItsRateWithFlowControlAndGetsItsSettingsBackAtClose) {
    const int probe = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(probe, 0);
    termios before{};
    ASSERT_EQ(::tcgetattr(probe, &before), 0);
    before.c_lflag |= ICANON | ECHO;
    ::cfsetspeed(&before, B9600);
    ASSERT_EQ(::tcsetattr(probe, TCSANOW, &before), 0);

    for (const std::uint32_t rate : {115200u, 57600u, 50000u}) {
        ASSERT_TRUE(OpenNamedPort(rate)) << rate;
        EXPECT_EQ(GetSerialPortSpeed(probe), rate);
        termios open{};
        ASSERT_EQ(::tcgetattr(probe, &open), 0);
        EXPECT_EQ(open.c_cflag & (CSIZE | CREAD | CLOCAL | CRTSCTS),
                  static_cast<tcflag_t>(CS8 | CREAD | CLOCAL | CRTSCTS));
        EXPECT_EQ(open.c_lflag & (ICANON | ECHO), 0u);
        EXPECT_EQ(open.c_cc[VMIN], 0);
        EXPECT_EQ(open.c_cc[VTIME], 0);

        ASSERT_TRUE(USBDeviceHandle::Close(handle_));
        termios after{};
        ASSERT_EQ(::tcgetattr(probe, &after), 0);
        EXPECT_EQ(::cfgetospeed(&after), static_cast<speed_t>(B9600));
        EXPECT_EQ(after.c_lflag & (ICANON | ECHO), static_cast<tcflag_t>(ICANON | ECHO));
    }
    ::close(probe);
}

TEST_F(SerialPortTest, HangUpMarksTheDeviceGoneAndEndsTheReceiveThread) {
    // The thread sanitizer starts a helper thread of its own with the first
    // thread the process creates: let that happen before counting.
    std::thread([] {}).join();
    const int threadsBefore = threadCount();
    ASSERT_TRUE(OpenNamedPort());
    EXPECT_TRUE(eventually([&] { return threadCount() > threadsBefore; }));

    ::close(master_);
    master_ = -1;
    std::uint8_t byte = 0;
    std::uint32_t count = 0;
    EXPECT_TRUE(eventually([&] { return handle_->Read(&byte, 0, count, 0) == USBStatus::DeviceGone; }));
    // The thread ends instead of spinning on a port that only reports its end.
    EXPECT_TRUE(eventually([&] { return threadCount() == threadsBefore; }));
    EXPECT_EQ(handle_->Write(&byte, 1, count), USBStatus::DeviceGone);
    EXPECT_TRUE(USBDeviceHandle::Close(handle_));
}

TEST_F(SerialPortTest, AnOpenWaitsForAHolderThatIsClosing) {
    const int holder = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
    bool opened = false;
    std::thread opener([&] { opened = OpenNamedPort(); });
    ::close(holder); // the other program's close sequence ends
    opener.join();
    EXPECT_TRUE(opened);
}

} // namespace
