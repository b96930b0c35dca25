#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstring>
#include <optional>

#include "ant/usb/usb_device_handle.h"
#include "ant/usb/usb_device_kind.h"
#include "sim/sim_device.h"
#include "sim/sim_device_kind.h"
#include "sim/stick_frame_decoder.h"
#include "tests/sim/stick_harness.h"

namespace antsim::test {
namespace {

using namespace std::chrono_literals;

class SimDeviceKindTest : public ::testing::Test {
  protected:
    void TearDown() override {
        USBDeviceHandle::Close(handle_);
        SetUSBDeviceKinds({});
    }

    void open(Scenario s) {
        SetUSBDeviceKinds({simDeviceKind(std::move(s))});
        const auto all = USBDeviceHandle::GetAllDevices();
        ASSERT_EQ(all.GetSize(), 1u);
        ASSERT_TRUE(USBDeviceHandle::Open(*all[0], handle_, 57600));
        ASSERT_NE(handle_, nullptr);
    }

    // Reads until a frame with this ID arrives (kept in `frame`); otherwise returns the status that
    // ended the reading.
    USBStatus readUntil(std::uint8_t id, std::optional<StickFrame>* frame = nullptr) {
        std::optional<StickFrame> found;
        StickFrameDecoder decoder([&](const StickFrame& f) {
            if (!found && f.id == id) {
                found = f;
            }
        });
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        auto status = USBStatus::Timeout;
        while (!found && std::chrono::steady_clock::now() < deadline) {
            std::array<std::uint8_t, 255> buffer{};
            std::uint32_t n = 0;
            status = handle_->Read(buffer.data(), buffer.size(), n, 1000);
            if (status == USBStatus::Success) {
                decoder.feed(std::span<const std::uint8_t>(buffer.data(), n));
            } else if (status != USBStatus::Timeout) {
                break;
            }
        }
        if (frame != nullptr) {
            *frame = found;
        }
        return status;
    }

    USBStatus write(const std::vector<std::uint8_t>& bytes) {
        std::uint32_t written = 0;
        return handle_->Write(bytes.data(), static_cast<std::uint32_t>(bytes.size()), written);
    }

    USBDeviceHandle* handle_ = nullptr;
};

TEST_F(SimDeviceKindTest, ListsOneVirtualStickThatCanBeCopied) {
    SetUSBDeviceKinds({simDeviceKind(Scenario{})});
    const auto all = USBDeviceHandle::GetAllDevices();
    ASSERT_EQ(all.GetSize(), 1u);
    EXPECT_EQ(all[0]->GetDeviceType(), kSimDeviceType);
    EXPECT_EQ(all[0]->GetVid(), 0x0FCF);
    char product[64] = {};
    EXPECT_TRUE(all[0]->GetProductDescription(product, sizeof product));
    EXPECT_GT(std::strlen(product), 0u);
    EXPECT_FALSE(all[0]->GetProductDescription(product, 4));
    std::array<std::uint8_t, 256> serial{};
    EXPECT_TRUE(all[0]->GetSerialString(serial.data(), 256));
    EXPECT_FALSE(all[0]->GetSerialString(serial.data(), 255));
    EXPECT_EQ(USBDeviceHandle::GetAllDevices(USB_DEVICE_TYPE_SI | USB_DEVICE_TYPE_LIBUSB).GetSize(), 0u);

    USBDevice* copy = nullptr;
    ASSERT_TRUE(USBDeviceHandle::CopyDevice(copy, all[0]));
    USBDevice* notNull = copy;
    EXPECT_FALSE(USBDeviceHandle::CopyDevice(notNull, all[0]));
    EXPECT_EQ(copy->GetDeviceType(), kSimDeviceType);
    delete copy;
}

TEST_F(SimDeviceKindTest, OpenHandleTalksToTheStickAndIsExclusive) {
    Scenario s;
    s.seed = 6;
    open(s);
    std::array<std::uint8_t, 16> buffer{};
    std::uint32_t n = 5;
    EXPECT_EQ(handle_->Read(buffer.data(), buffer.size(), n, 0), USBStatus::Timeout);
    EXPECT_EQ(n, 0u);

    ASSERT_EQ(write(hostFrame(0x4A, {0x00})), USBStatus::Success);
    EXPECT_EQ(readUntil(0x6F), USBStatus::Success);
    std::uint32_t written = 7;
    EXPECT_EQ(handle_->Write(nullptr, 3, written), USBStatus::InvalidParam);
    EXPECT_EQ(written, 0u);

    // While open it is not available and cannot be opened a second time.
    EXPECT_EQ(USBDeviceHandle::GetAvailableDevices().GetSize(), 0u);
    USBDeviceHandle* second = nullptr;
    EXPECT_FALSE(USBDeviceHandle::Open(handle_->GetDevice(), second, 57600));
    EXPECT_EQ(second, nullptr);

    EXPECT_TRUE(USBDeviceHandle::Close(handle_));
    EXPECT_EQ(handle_, nullptr);
    EXPECT_EQ(USBDeviceHandle::GetAvailableDevices().GetSize(), 1u);
}

TEST_F(SimDeviceKindTest, ReopenedStickGoesOnWithTheLapNumbers) {
    open(Scenario{});
    std::vector<int> laps;
    for (int session = 0; session < 2; ++session) {
        if (session > 0) {
            ASSERT_TRUE(USBDeviceHandle::Close(handle_));
            const auto all = USBDeviceHandle::GetAllDevices();
            ASSERT_TRUE(USBDeviceHandle::Open(*all[0], handle_, 57600));
        }
        for (const auto& f : {hostFrame(0x42, {0x00, 0x00, 0x00, 0x01}), hostFrame(0x45, {0x00, 67}),
                              hostFrame(0x5B, {0x00})}) {
            ASSERT_EQ(write(f), USBStatus::Success);
        }
        std::optional<StickFrame> broadcast;
        ASSERT_EQ(readUntil(0x4E, &broadcast), USBStatus::Success);
        ASSERT_TRUE(broadcast);
        laps.push_back(broadcast->payload.at(1) & 0x3F);
    }
    EXPECT_EQ(laps, (std::vector<int>{1, 2}));
}

TEST_F(SimDeviceKindTest, UnpluggedStickIsGoneForReadsWritesAndTheList) {
    Scenario s;
    s.unplug = true;
    s.unplugAfter = 300ms;
    open(s);
    EXPECT_EQ(readUntil(0x6F), USBStatus::DeviceGone); // nothing is sent, so only the unplug ends this
    EXPECT_EQ(write(hostFrame(0x4A, {0x00})), USBStatus::DeviceGone);
    EXPECT_EQ(USBDeviceHandle::GetAllDevices().GetSize(), 0u);
    EXPECT_TRUE(USBDeviceHandle::Close(handle_));
}

} // namespace
} // namespace antsim::test
