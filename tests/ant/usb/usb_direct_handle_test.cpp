// Sticks driven directly over USB through libusb, against an emulated device
// whose usbdevfs requests the test serves.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ant/usb/libusb_control_observer.h"
#include "ant/usb/libusb_device_enumerator.h"
#include "ant/usb/libusb_device_handle.h"
#include "ant/usb/recording_device_handle.h"
#include "ant/usb/usb_device_handle.h"
#include "ant/usb/usb_device_handle_si.h"
#include "ant/usb/usb_device_kind.h"
#include "tests/ant/usb/fake_usb_stick.h"
#include "tests/ant/usb/mock_usb_bus.h"
#include "tests/support/eventually.h"
#include "tests/support/read_until.h"

namespace {

using draftwell::test::eventually;
using draftwell::test::readUntil;
using Bytes = std::vector<std::uint8_t>;

const Bytes kWakeUp = {0xA4, 0x02, 0x4D, 0x00, 0x54, 0xBF};
const Bytes kBroadcast = {0xA4, 0x09, 0x4E, 0x00, 1, 2, 3, 4, 5, 6, 7, 8, 0xE3};
const Bytes kCommand = {0xA4, 0x01, 0x4A, 0x00, 0xEF};

class DirectHandleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetUSBDeviceKinds(USBPlatformDeviceKinds());
        USBDeviceHandleSI::SetNamedPorts({});
    }
    void TearDown() override { USBDeviceHandle::Close(handle_); }

    void Plug(std::uint16_t vid, std::uint16_t pid) {
        const MockUsbBus::UsbDevice device{"1-1", 1, 2, vid, pid, "ANT USB Stick", "123456"};
        stick_ = std::make_unique<FakeUsbStick>(bus_.Testbed(), MockUsbBus::DeviceNode(device));
        bus_.AddUsbDevice(device);
    }

    // Opens the first listed stick of the kind `type` (its own type decides the handle class).
    void Open(USBDeviceType type, std::uint32_t baud = 57600) {
        const USBDeviceList<const USBDevice*> sticks = USBDeviceHandle::GetAllDevices(type);
        ASSERT_EQ(sticks.GetSize(), 1u);
        ASSERT_TRUE(USBDeviceHandle::Open(*sticks[0], handle_, baud));
        EXPECT_EQ(handle_->GetDevice().GetDeviceType(), type);
    }

    MockUsbBus bus_;
    std::unique_ptr<FakeUsbStick> stick_;
    USBDeviceHandle* handle_ = nullptr;
};

TEST_F(DirectHandleTest, BridgeChipIsSetUpWithVendorRequestsInOrder) {
    Plug(0x0FCF, 0x1004);
    for (const auto& [baud, divisor] : {std::pair{50000u, 74}, {57600u, 64}, {115200u, 32}}) {
        SCOPED_TRACE(baud);
        const std::size_t before = stick_->VendorRequests().size();
        Open(USB_DEVICE_TYPE_SI_LIBUSB, baud);
        EXPECT_EQ(stick_->VendorRequests().size(), before + 5);
        ASSERT_TRUE(USBDeviceHandle::Close(handle_));
        const auto requests = stick_->VendorRequests();
        ASSERT_EQ(requests.size(), before + 8);
        const std::vector<std::pair<std::uint8_t, int>> expected = {
            {0x00, 0xFFFF}, {0x01, divisor}, {0x03, 0x0800}, {0x13, 0x0000}, {0x12, 0x000C}, // open
            {0x13, -1},     {0x12, -1},      {0x00, 0x0000}};                                // close
        for (std::size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(requests[before + i].request, expected[i].first) << i;
            if (expected[i].second >= 0) {
                EXPECT_EQ(requests[before + i].value, expected[i].second) << i;
            }
            EXPECT_EQ(requests[before + i].index, 0) << i;
        }
        const Bytes flow = requests[before + 3].data;
        ASSERT_EQ(flow.size(), 16u);
        EXPECT_EQ(flow[0], 8);
        EXPECT_EQ(flow[4], 64);
    }
}

// Each direct kind carries bytes both ways; its recording holds the vendor requests of its open and close
// and the bytes that went through the open handle (not the direct kind's wake-up, written inside its open).
class DirectKindTest : public DirectHandleTest,
                       public ::testing::WithParamInterface<std::pair<USBDeviceType, std::uint16_t>> {};

TEST_P(DirectKindTest, CarriesBytesBothWaysClosesAtOnceAndIsRecorded) {
    const auto [type, pid] = GetParam();
    const bool direct = type == USB_DEVICE_TYPE_LIBUSB;
    Plug(0x0FCF, pid);
    stick_->SetSerial(u"12\u0101"
                      u"4");
    const std::string path = ::testing::TempDir() + "stick-" + std::to_string(type) + ".txt";
    std::string error;
    auto recorder = StickRecorder::Create(path, {}, error);
    ASSERT_TRUE(recorder) << error;
    SetUSBDeviceKinds(RecordingDeviceKinds(USBPlatformDeviceKinds(), recorder));
    SetLibusbControlObserver([recorder](const LibusbControlRequest& r) {
        recorder->Control(r.requestType, r.request, r.value, r.index, r.data, r.size, r.result);
    });
    Open(type);
    Bytes wakeUps = kWakeUp;
    wakeUps.insert(wakeUps.end(), kWakeUp.begin(), kWakeUp.end());
    EXPECT_EQ(stick_->HostWrote(), direct ? wakeUps : Bytes{});
    if (direct) {
        EXPECT_TRUE(stick_->VendorRequests().empty());
        // The serial string is read from the device itself; a character above 0xFF becomes '?'.
        std::uint8_t serial[256] = {};
        handle_->GetDevice().GetSerialString(serial, sizeof serial);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(serial)), "12?4");
    }
    stick_->SendToHost(kBroadcast);
    EXPECT_EQ(readUntil(*handle_, kBroadcast.size()), kBroadcast);
    std::uint32_t written = 0;
    ASSERT_EQ(handle_->Write(kCommand.data(), 5, written), USBStatus::Success);
    EXPECT_EQ(written, 5u);
    wakeUps.insert(wakeUps.end(), kCommand.begin(), kCommand.end());
    EXPECT_EQ(stick_->HostWrote(), direct ? wakeUps : kCommand);
    // Closing ends the receive thread's read in flight at once; it would otherwise last 60 s.
    ASSERT_TRUE(eventually([&] { return stick_->PendingReads() == 1; }));
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(USBDeviceHandle::Close(handle_));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(stick_->PendingReads(), 0);
    SetLibusbControlObserver({});
    recorder.reset();

    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    std::remove(path.c_str());
    const std::optional<std::vector<StickEvent>> events = ParseStickRecording(text.str(), error);
    ASSERT_TRUE(events) << error;
    Bytes vendorRequests;
    std::vector<Bytes> host;
    Bytes fromStick;
    for (const StickEvent& event : *events) {
        if (event.kind == StickEvent::Kind::control && event.requestType == 0x40) {
            vendorRequests.push_back(event.request);
        } else if (event.kind == StickEvent::Kind::host) {
            host.push_back(event.bytes);
        } else if (event.kind == StickEvent::Kind::stick) {
            fromStick.insert(fromStick.end(), event.bytes.begin(), event.bytes.end());
        }
    }
    ASSERT_FALSE(events->empty());
    EXPECT_EQ(events->front().kind, StickEvent::Kind::open);
    EXPECT_EQ(events->front().deviceType, type);
    EXPECT_EQ(events->back().kind, StickEvent::Kind::close);
    const Bytes bridgeChipRequests = {0x00, 0x01, 0x03, 0x13, 0x12, 0x13, 0x12, 0x00};
    EXPECT_EQ(vendorRequests, direct ? Bytes{} : bridgeChipRequests);
    EXPECT_EQ(host, std::vector<Bytes>{kCommand});
    EXPECT_EQ(fromStick, kBroadcast);
}

INSTANTIATE_TEST_SUITE_P(Kinds, DirectKindTest,
                         ::testing::Values(std::pair{USB_DEVICE_TYPE_LIBUSB, std::uint16_t{0x1008}},
                                           std::pair{USB_DEVICE_TYPE_SI_LIBUSB, std::uint16_t{0x1004}}));

// The stick's packets are 64 bytes (its descriptor says so); a packet of 100 bytes stands for one
// that overflows the read anyway. Bytes waiting in any amount, one packet ending on a packet boundary
// included, all arrive and the stick stays there.
struct Backlog {
    std::size_t packetSize;
    std::size_t waiting;
};

class BacklogTest : public DirectHandleTest, public ::testing::WithParamInterface<Backlog> {};

TEST_P(BacklogTest, AllBytesArriveWithoutRemoval) {
    Plug(0x0FCF, 0x1008);
    Open(USB_DEVICE_TYPE_LIBUSB);
    stick_->SetPacketSize(GetParam().packetSize);
    Bytes backlog(GetParam().waiting);
    for (std::size_t i = 0; i < backlog.size(); ++i) {
        backlog[i] = static_cast<std::uint8_t>(i * 7);
    }
    stick_->SendToHost(backlog);
    EXPECT_EQ(readUntil(*handle_, backlog.size()), backlog);
    std::uint32_t written = 0;
    EXPECT_EQ(handle_->Write(kWakeUp.data(), 6, written), USBStatus::Success);
}

INSTANTIATE_TEST_SUITE_P(Packets, BacklogTest,
                         ::testing::Values(Backlog{64, 64}, Backlog{64, 306}, Backlog{64, 1000},
                                           Backlog{100, 1000}));

TEST_F(DirectHandleTest, UnplugTurnsReadsAndWritesIntoDeviceGone) {
    Plug(0x0FCF, 0x1008);
    Open(USB_DEVICE_TYPE_LIBUSB);
    ASSERT_TRUE(eventually([&] { return stick_->PendingReads() == 1; }));
    stick_->Unplug();
    std::uint8_t byte = 0;
    std::uint32_t count = 0;
    EXPECT_TRUE(eventually([&] { return handle_->Read(&byte, 0, count, 0) == USBStatus::DeviceGone; }));
    EXPECT_EQ(handle_->Write(&byte, 1, count), USBStatus::DeviceGone);
    EXPECT_TRUE(USBDeviceHandle::Close(handle_));
}

class AccessLayerTest : public DirectHandleTest {
  protected:
    LibusbDeviceHandle* OpenFirst() {
        LibusbDeviceEnumerator enumerator;
        EXPECT_EQ(enumerator.Refresh(), LibusbError::Success);
        EXPECT_EQ(enumerator.GetDevices().size(), 1u);
        LibusbDeviceHandle* device = nullptr;
        if (!enumerator.GetDevices().empty()) {
            result_ = LibusbDeviceHandle::Open(enumerator.GetDevices()[0], device);
        }
        return device;
    }
    LibusbError::Enum result_ = LibusbError::Other;
};

TEST_F(AccessLayerTest, InterfaceRulesAndASilentReadTimingOut) {
    Plug(0x0FCF, 0x1008);
    LibusbDeviceHandle* device = OpenFirst();
    ASSERT_NE(device, nullptr);
    std::uint8_t buffer[64];
    std::uint32_t moved = 99;
    EXPECT_EQ(device->BulkTransfer(0x01, buffer, 8, moved, 100), LibusbError::NotFound);
    EXPECT_EQ(device->ClaimInterface(32), LibusbError::InvalidParam);
    ASSERT_EQ(device->ClaimInterface(0), LibusbError::Success);
    EXPECT_EQ(device->ClaimInterface(0), LibusbError::Busy);
    EXPECT_EQ(device->BulkTransfer(0x01, buffer, 8, moved, 100), LibusbError::Success);
    EXPECT_EQ(moved, 8u);
    EXPECT_EQ(device->BulkTransfer(0x81, buffer, sizeof buffer, moved, 200), LibusbError::Timeout);
    EXPECT_EQ(moved, 0u);
    EXPECT_EQ(stick_->PendingReads(), 0);
    LibusbDeviceHandle::Close(device);
}

TEST_F(AccessLayerTest, AControlRequestDoesNotWaitBehindALongBulkRead) {
    Plug(0x0FCF, 0x1008);
    LibusbDeviceHandle* device = OpenFirst();
    ASSERT_NE(device, nullptr);
    ASSERT_EQ(device->ClaimInterface(0), LibusbError::Success);
    EXPECT_EQ(device->GetMaxPacketSize(0x81), 64);
    std::thread reader([device] {
        std::uint8_t buffer[64];
        std::uint32_t received = 0;
        device->BulkTransfer(0x81, buffer, sizeof buffer, received, 60000);
    });
    ASSERT_TRUE(eventually([&] { return stick_->PendingReads() == 1; }));
    char text[64] = {};
    std::uint32_t length = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(device->GetStringDescriptorText(2, text, sizeof text, length), LibusbError::Success);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_STREQ(text, "ANT USB Stick");
    device->Shutdown();
    reader.join();
    LibusbDeviceHandle::Close(device);
}

TEST_F(AccessLayerTest, OtherVendorsAreRefusedUntouched) {
    Plug(0x10C4, 0xEA60);
    EXPECT_EQ(OpenFirst(), nullptr);
    EXPECT_EQ(result_, LibusbError::Other);
    EXPECT_EQ(stick_->IoctlCount(), 0);
}

} // namespace
