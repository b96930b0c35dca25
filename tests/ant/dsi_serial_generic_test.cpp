#include <chrono>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "ant/dsi_serial_generic.h"
#include "ant/usb/usb_device_kind.h"
#include "tests/support/eventually.h"
#include "tests/support/memory_device_kind.h"
#include "tests/support/memory_stick.h"
#include "tests/support/recording_serial_callback.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

class DSISerialGenericTest : public ::testing::Test {
  protected:
    void SetUp() override { SetUSBDeviceKinds({MakeMemoryDeviceKind({first, second})}); }
    void TearDown() override {
        serial.Close(false);
        SetUSBDeviceKinds({});
    }
    void OpenFirst() {
        serial.SetCallback(&callback);
        ASSERT_TRUE(serial.Init(57600, 0));
        ASSERT_TRUE(serial.Open());
    }

    std::shared_ptr<MemoryStick> first = std::make_shared<MemoryStick>(0x1008, 111);
    std::shared_ptr<MemoryStick> second = std::make_shared<MemoryStick>(0x1004, 222);
    RecordingSerialCallback callback;
    DSISerialGeneric serial;
};

TEST_F(DSISerialGenericTest, OpenNeedsACallbackAValidDeviceNumberAndAnOpenableStick) {
    std::uint16_t pid = 0;
    std::uint16_t vid = 0;
    EXPECT_FALSE(serial.GetDevicePID(pid)); // closed: answers nothing
    EXPECT_FALSE(serial.GetDeviceVID(vid));
    EXPECT_EQ(serial.GetDeviceSerialNumber(), 0u);
    EXPECT_EQ(serial.GetDeviceNumber(), 255);
    EXPECT_FALSE(serial.WriteBytes("x", 1));

    ASSERT_TRUE(serial.Init(57600, 0));
    EXPECT_FALSE(serial.Open()); // no callback
    serial.SetCallback(&callback);
    for (const std::uint8_t number : {255, 2}) { // 2: one past the list
        ASSERT_TRUE(serial.Init(57600, number));
        EXPECT_FALSE(serial.Open());
    }
    second->SetOpenable(false);
    ASSERT_TRUE(serial.Init(57600, 1));
    EXPECT_FALSE(serial.Open());
    EXPECT_EQ(first->OpenCount() + second->OpenCount(), 0);

    second->SetOpenable(true);
    ASSERT_TRUE(serial.Open());
    EXPECT_EQ(second->OpenCount(), 1);
    EXPECT_EQ(second->LastBaudRate(), 57600u);
    EXPECT_EQ(serial.GetDeviceNumber(), 1);
    EXPECT_EQ(serial.GetDeviceSerialNumber(), 222u);
    EXPECT_TRUE(serial.GetDevicePID(pid));
    EXPECT_TRUE(serial.GetDeviceVID(vid));
    EXPECT_EQ(pid, 0x1004);
    EXPECT_EQ(vid, 0x0FCF);
}

TEST_F(DSISerialGenericTest, AutoInitPicksTheFirstAvailableStickAndItsBaudRate) {
    serial.SetCallback(&callback);
    first->SetOpenable(false);
    ASSERT_TRUE(serial.AutoInit());
    EXPECT_EQ(serial.GetDeviceNumber(), 0);
    ASSERT_TRUE(serial.Open());
    EXPECT_EQ(second->OpenCount(), 1);
    EXPECT_EQ(second->LastBaudRate(), 50000u);
    serial.Close(false);

    first->SetOpenable(true);
    ASSERT_TRUE(serial.AutoInit());
    ASSERT_TRUE(serial.Open());
    EXPECT_EQ(first->LastBaudRate(), 57600u);
    serial.Close(false);

    SetUSBDeviceKinds({MakeMemoryDeviceKind({})});
    EXPECT_FALSE(serial.AutoInit());
    EXPECT_EQ(serial.GetDeviceNumber(), 255);
}

TEST_F(DSISerialGenericTest, BytesBothWaysWriteFailuresAndARepeatableCloseThatCanBeOpenedAgain) {
    OpenFirst();
    Bytes sent;
    for (int i = 0; i < 600; ++i) {
        sent.push_back(static_cast<std::uint8_t>(i));
    }
    first->Send(Bytes(sent.begin(), sent.begin() + 300));
    first->Send(Bytes(sent.begin() + 300, sent.end()));
    ASSERT_TRUE(callback.WaitForBytes(sent.size()));
    EXPECT_EQ(callback.Bytes(), sent);

    EXPECT_FALSE(serial.WriteBytes(nullptr, 4));
    EXPECT_TRUE(callback.Errors().empty());
    const Bytes bytes = {0xA4, 0x01, 0x4A, 0x00, 0xEF, 0x00, 0x00};
    EXPECT_TRUE(serial.WriteBytes(bytes.data(), 7));
    EXPECT_EQ(first->Writes(), std::vector<Bytes>{bytes});
    first->SetWriteFails(true);
    EXPECT_FALSE(serial.WriteBytes(bytes.data(), 7));
    EXPECT_EQ(callback.Errors(), Bytes{DSI_SERIAL_EWRITE});

    const auto start = Clock::now();
    serial.Close(false);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
    serial.Close(false);
    EXPECT_EQ(first->CloseCount(), 1);
    ASSERT_TRUE(serial.Open());
    EXPECT_EQ(first->OpenCount(), 2);
    first->Send({1, 2, 3});
    ASSERT_TRUE(callback.WaitForBytes(sent.size() + 3));
}

TEST_F(DSISerialGenericTest, UnplugGivesOneDeviceGoneErrorAndEndsTheThread) {
    OpenFirst();
    first->Unplug();
    ASSERT_TRUE(callback.WaitForErrors(1));
    EXPECT_EQ(callback.Errors(), Bytes{DSI_SERIAL_EDEVICE_GONE});
    const std::uint8_t byte = 0;
    EXPECT_FALSE(serial.WriteBytes(&byte, 1));
    EXPECT_EQ(callback.Errors(), (Bytes{DSI_SERIAL_EDEVICE_GONE, DSI_SERIAL_EWRITE}));

    // The thread has ended by itself, so closing is quick.
    const auto start = Clock::now();
    serial.Close(false);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(first->CloseCount(), 1);
    EXPECT_EQ(callback.Errors().size(), 2u);
}

TEST_F(DSISerialGenericTest, UsbInfoNeedsFullSizeBuffers) {
    std::uint8_t product[256] = {};
    std::uint8_t serialString[256] = {};
    EXPECT_TRUE(serial.GetDeviceUSBInfo(1, product, serialString, 256));
    EXPECT_STREQ(reinterpret_cast<char*>(product), "Memory ANT stick");
    EXPECT_EQ(serialString[0], '1');
    EXPECT_FALSE(serial.GetDeviceUSBInfo(1, product, serialString, 255));
    EXPECT_FALSE(serial.GetDeviceUSBInfo(2, product, serialString, 256));
}

TEST_F(DSISerialGenericTest, StuckReadIsAbandonedAndTheHandleClosedWhenItReturns) {
    OpenFirst();
    first->SetReadStall(4500);
    // Let the current read end so the next one stalls.
    first->Send({0x55});
    ASSERT_TRUE(callback.WaitForBytes(1));
    first->Send({0x66});

    const auto start = Clock::now();
    serial.Close(false);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(6));
    // The abandoned thread closes the handle itself once its read returns.
    EXPECT_TRUE(draftwell::test::eventually([&] { return first->CloseCount() == 1; }));
    EXPECT_EQ(callback.Bytes(), Bytes{0x55});
}

} // namespace
