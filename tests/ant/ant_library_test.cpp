#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include <gtest/gtest.h>

#include "ant/ant.h"
#include "ant/dsi_thread.h"
#include "ant/usb/usb_device_kind.h"
#include "tests/support/ant_frame.h"
#include "tests/support/eventually.h"
#include "tests/support/memory_device_kind.h"
#include "tests/support/memory_stick.h"
#include "tests/support/scanner_configuration.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;
using draftwell::test::eventually;

struct Delivery {
    bool toResponse;
    std::uint8_t channel;
    std::uint8_t code;
    Bytes buffer; // copy of the registered buffer at the time of the call
};

// What the library's callbacks saw; they are plain functions, so this is global.
std::mutex deliveriesMutex;
std::vector<Delivery> deliveries;
std::uint8_t responseBuffer[64];
std::uint8_t channelBuffers[8][64];

void deliver(Delivery delivery) {
    std::lock_guard lock(deliveriesMutex);
    deliveries.push_back(std::move(delivery));
}
std::vector<Delivery> seen() {
    std::lock_guard lock(deliveriesMutex);
    return deliveries;
}
bool waitForDeliveries(std::size_t count, int ms = 5000) {
    return eventually([&] { return seen().size() >= count; }, std::chrono::milliseconds(ms));
}

bool onResponse(std::uint8_t channel, std::uint8_t messageId) {
    deliver({true, channel, messageId, Bytes(responseBuffer, responseBuffer + 64)});
    return true;
}

bool onChannelEvent(std::uint8_t channel, std::uint8_t event) {
    deliver({false, channel, event, Bytes(channelBuffers[channel], channelBuffers[channel] + 64)});
    return true;
}

// Answers every configuration command as a stick does.
void AnswerLikeAStick(MemoryStick& stick, const Bytes& written, std::uint8_t code) {
    const std::uint8_t id = written[2];
    if (id == ANT_MESG_SYSTEM_RESET_ID) {
        stick.Send(AntFrame(ANT_MESG_STARTUP_MESG_ID, {0x20}));
    } else if (id == ANT_MESG_REQUEST_ID) {
        stick.Send(AntFrame(written[4], {written[3], 0x03, 0x00}));
    } else {
        stick.Send(AntFrame(ANT_MESG_RESPONSE_EVENT_ID, {written[3], id, code}));
        if (id == ANT_MESG_CLOSE_CHANNEL_ID) {
            stick.Send(AntFrame(ANT_MESG_RESPONSE_EVENT_ID, {written[3], 0x01, 0x07}));
        }
    }
}

class ANTLibraryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::lock_guard lock(deliveriesMutex);
        deliveries.clear();
        std::memset(responseBuffer, 0, sizeof responseBuffer);
        std::memset(channelBuffers, 0, sizeof channelBuffers);
        SetUSBDeviceKinds({MakeMemoryDeviceKind({stick})});
    }
    void TearDown() override {
        ANT_ClearCallbacks();
        ANT_Close();
        SetUSBDeviceKinds({});
    }
    static void RegisterAll() {
        ANT_SetResponseCallback(onResponse, responseBuffer);
        for (std::uint8_t channel = 0; channel < 8; ++channel) {
            ANT_SetChannelEventCallback(channel, onChannelEvent, channelBuffers[channel]);
        }
    }

    std::shared_ptr<MemoryStick> stick = std::make_shared<MemoryStick>();
};

TEST_F(ANTLibraryTest, InitOpenCloseAndReopenKeepingTheRegistrations) {
    auto start = Clock::now();
    ANT_Close(); // uninitialised: harmless, twice
    ANT_Close();
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(500));
    EXPECT_FALSE(ANT_ResetSystem());
    EXPECT_FALSE(ANT_OpenRxScanMode(0));
    EXPECT_FALSE(ANT_RequestMessage(0, 0x52));
    EXPECT_STREQ(ANT_LibVersion(), "ALU3.800");

    EXPECT_FALSE(ANT_InitExt(0, 57600, 1, 0)); // unsupported selectors
    EXPECT_FALSE(ANT_InitExt(0, 57600, 0, 1));
    EXPECT_EQ(stick->OpenCount(), 0);
    stick->SetOpenable(false); // the same as a device number past the list
    EXPECT_FALSE(ANT_Init(0, 57600));
    EXPECT_FALSE(ANT_ResetSystem());
    stick->SetOpenable(true);

    RegisterAll(); // before init
    ASSERT_TRUE(ANT_Init(0, 57600));
    EXPECT_EQ(stick->LastBaudRate(), 57600u);
    start = Clock::now();
    ANT_Close(); // ends the message thread within about a second
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(2500));
    EXPECT_EQ(stick->CloseCount(), 1);
    EXPECT_FALSE(ANT_ResetSystem());

    ASSERT_TRUE(ANT_Init(0, 57600));
    EXPECT_TRUE(ANT_ResetSystem());
    stick->Send(AntFrame(0x4E, {0x00, 1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_TRUE(waitForDeliveries(1));
}

// Each frame, in order, and what reaches which callback; `offset` and `expected` pick bytes of the
// registered buffer. A channel buffer holds only the bytes that arrived, a response buffer keeps the rest.
enum class To { response, channel, nobody /* sent with a bad checksum */ };
struct Route {
    std::uint8_t id;
    Bytes payload;
    To to;
    std::uint8_t channel;
    std::uint8_t code;
    std::size_t offset;
    Bytes expected;
};

TEST_F(ANTLibraryTest, EachMessageKindIsRoutedToItsCallbackWithItsBytes) {
    const Bytes plain = {0, 1, 2, 3, 4, 5, 6, 7, 8};
    const Bytes flagged = {0, 1, 2, 3, 4, 5, 6, 7, 8, 0x80, 0x34, 0x12, 113, 5};
    const Bytes ext = {2, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    const Bytes rssi = {2, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    const Bytes burst = {2, 1, 2, 3, 4, 5, 6, 7, 8, 0x80, 1, 0, 1, 1};
    const Route routes[] = {
        {0x40, {0, 0x42, 0}, To::response, 0, 0x40, 0, {0, 0x42, 0}},      // response to Assign channel
        {0x40, {0, 0x01, 0x07}, To::channel, 0, 0x07, 0, {0, 0x01, 0x07}}, // channel closed event
        {0x4E, flagged, To::channel, 0, ANT_EVENT_RX_FLAG_BROADCAST, 0, flagged},
        {0x52, {0, 0x03, 0}, To::response, 0, 0x52, 0, {0, 0x03, 0}},
        {0x4F, ext, To::channel, 2, ANT_EVENT_RX_FLAG_ACKNOWLEDGED, 0, ext},
        {0x4F, {2, 1, 2, 3, 4, 5, 6, 7, 8}, To::channel, 2, ANT_EVENT_RX_ACKNOWLEDGED, 0, {2, 1, 2, 3}},
        {0x5D, ext, To::channel, 2, ANT_EVENT_RX_EXT_BROADCAST, 0, ext},
        {0x5E, ext, To::channel, 2, ANT_EVENT_RX_EXT_ACKNOWLEDGED, 0, ext},
        {0x5F, ext, To::channel, 2, ANT_EVENT_RX_EXT_BURST_PACKET, 0, ext},
        {0xC2, rssi, To::channel, 2, ANT_EVENT_RX_RSSI_ACKNOWLEDGED, 0, rssi},
        {0xC3, rssi, To::channel, 2, ANT_EVENT_RX_RSSI_BURST_PACKET, 0, rssi},
        {0xC1, rssi, To::channel, 2, ANT_EVENT_RX_RSSI_BROADCAST, 0, rssi},
        // Shorter than the one before: its tail is not left from 0xC1.
        {0x50, burst, To::channel, 2, ANT_EVENT_RX_FLAG_BURST_PACKET, 9, {0x80, 1, 0, 1, 1, 0, 0, 0}},
        {0x50, {0x23, 1, 2, 3, 4, 5, 6, 7, 8}, To::channel, 3, ANT_EVENT_RX_BURST_PACKET, 0, {0x23, 1}},
        {0x56, {0, 1, 2, 3, 4}, To::response, 0, 0x56, 0, {0, 1, 2, 3, 4, 0, 0, 0, 0, 0, 5}}, // size at 10
        {0x57, {0, 7, 8, 9}, To::response, 0, 0x57, 0, {0, 7, 8, 3}}, // only three bytes are copied
        {0x4E, plain, To::nobody, 0, 0, 0, {}},                       // a framer error costs no good message
        {0x4E, {0, 8, 7, 6, 5, 4, 3, 2, 1}, To::channel, 0, ANT_EVENT_RX_BROADCAST, 0, {0, 8, 7}},
    };
    ASSERT_TRUE(ANT_Init(0, 57600));
    RegisterAll();
    std::size_t expectedCount = 0;
    for (const Route& route : routes) {
        Bytes frame = AntFrame(route.id, route.payload);
        frame.back() ^= route.to == To::nobody ? 0xFF : 0x00;
        stick->Send(frame);
        expectedCount += route.to == To::nobody ? 0 : 1;
    }
    ASSERT_TRUE(waitForDeliveries(expectedCount));
    const std::vector<Delivery> all = seen();
    ASSERT_EQ(all.size(), expectedCount);
    std::size_t next = 0;
    for (const Route& route : routes) {
        if (route.to == To::nobody) {
            continue;
        }
        const Delivery& got = all[next++];
        SCOPED_TRACE(::testing::Message() << "message " << next << ", id " << int(route.id));
        EXPECT_EQ(got.toResponse, route.to == To::response);
        EXPECT_EQ(got.channel, route.channel);
        EXPECT_EQ(got.code, route.code);
        const auto from = got.buffer.begin() + static_cast<std::ptrdiff_t>(route.offset);
        EXPECT_EQ(Bytes(from, from + static_cast<std::ptrdiff_t>(route.expected.size())), route.expected);
    }
}

TEST_F(ANTLibraryTest, MessagesWithoutARegisteredPathAreDropped) {
    ASSERT_TRUE(ANT_Init(0, 57600));
    // Only a channel callback: nothing at all is delivered.
    ANT_SetChannelEventCallback(0, onChannelEvent, channelBuffers[0]);
    stick->Send(AntFrame(0x4E, {0x00, 1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_FALSE(waitForDeliveries(1, 300));

    RegisterAll();
    ANT_SetChannelEventCallback(3, nullptr, nullptr);
    ANT_SetChannelEventCallback(9, onChannelEvent, channelBuffers[0]); // ignored
    stick->Send(AntFrame(0x4E, {0x09, 1, 2, 3, 4, 5, 6, 7, 8}));       // channel 9
    stick->Send(AntFrame(0x4E, {0x03, 1, 2, 3, 4, 5, 6, 7, 8}));       // channel 3 has no callback
    stick->Send(AntFrame(0x4E, {0x00, 1, 2, 3, 4, 5, 6, 7, 8}));
    ASSERT_TRUE(waitForDeliveries(1));
    // Had the first broadcast been delivered late, or the next two at all, there would be more.
    EXPECT_FALSE(waitForDeliveries(2, 300));

    ANT_ClearCallbacks();
    stick->Send(AntFrame(0x40, {0x00, 0x42, 0x00}));
    EXPECT_FALSE(waitForDeliveries(2, 300));
}

// The refused, unanswered and zero-timeout commands are in dsi_framer_ant_test; an unplugged stick is in
// dsi_serial_generic_test and the bridge's unplug soak.
TEST_F(ANTLibraryTest, ConfigurationSequenceFramesAndAStartupThatNeverComes) {
    stick->SetWriteHook([](MemoryStick& s, const Bytes& written) { AnswerLikeAStick(s, written, 0); });
    ASSERT_TRUE(ANT_Init(0, 57600));
    EXPECT_TRUE(ANT_ResetSystem());
    EXPECT_TRUE(ANT_WaitForStartup(2000));
    const std::uint8_t key[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    draftwell::test::configureScanner(key);
    EXPECT_TRUE(ANT_RequestMessage(0, 0x52));
    EXPECT_TRUE(ANT_CloseChannel(0, 0));
    EXPECT_TRUE(ANT_UnassignChannel(0, 500));

    // Every command frame, byte for byte.
    const std::vector<Bytes> expected = {{0xA4, 0x01, 0x4A, 0x00, 0xEF, 0x00, 0x00},
                                         {0xA4, 0x09, 0x46, 0x00, 1, 2, 3, 4, 5, 6, 7, 8, 0xE3, 0x00, 0x00},
                                         {0xA4, 0x02, 0x66, 0x00, 0x01, 0xC1, 0x00, 0x00},
                                         {0xA4, 0x04, 0x42, 0x00, 0x00, 0x00, 0x01, 0xE3, 0x00, 0x00},
                                         {0xA4, 0x02, 0x45, 0x00, 0x43, 0xA0, 0x00, 0x00},
                                         {0xA4, 0x05, 0x51, 0x00, 0x00, 0x00, 0x71, 0x05, 0x84, 0x00, 0x00},
                                         {0xA4, 0x01, 0x5B, 0x00, 0xFE, 0x00, 0x00},
                                         {0xA4, 0x02, 0x4D, 0x00, 0x52, 0xB9, 0x00, 0x00},
                                         {0xA4, 0x01, 0x4C, 0x00, 0xE9, 0x00, 0x00},
                                         {0xA4, 0x01, 0x41, 0x00, 0xE4, 0x00, 0x00}};
    EXPECT_EQ(stick->Writes(), expected);

    stick->SetWriteHook(nullptr);
    EXPECT_TRUE(ANT_ResetSystem());
    EXPECT_FALSE(ANT_WaitForStartup(100));
}

bool closeFromCallback(std::uint8_t, std::uint8_t) {
    ANT_Close();
    return true;
}

using ANTLibraryDeathTest = ANTLibraryTest;

TEST_F(ANTLibraryDeathTest, CallerErrorsStopTheProcessWithTheirCondition) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            ANT_Init(0, 57600);
            ANT_Init(0, 57600);
        },
        "ANT_InitExt.*!bInitialized");
    EXPECT_DEATH(
        {
            ANT_Init(0, 57600);
            ANT_SetResponseCallback(onResponse, responseBuffer);
            ANT_SetChannelEventCallback(0, closeFromCallback, channelBuffers[0]);
            stick->Send(AntFrame(0x4E, {0x00, 1, 2, 3, 4, 5, 6, 7, 8}));
            // Bounded: the callback normally stops the process long before.
            DSIThread_Sleep(10000);
        },
        "ANT_Close.*eTheThread != eThread");
}

} // namespace
