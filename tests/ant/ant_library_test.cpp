#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ant/ant.h"
#include "ant/dsi_thread.h"
#include "ant/usb/usb_device_kind.h"
#include "tests/support/ant_frame.h"
#include "tests/support/memory_device_kind.h"
#include "tests/support/memory_stick.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

struct Delivery {
    bool toResponse;
    std::uint8_t channel;
    std::uint8_t code;
    Bytes buffer; // copy of the registered buffer at the time of the call
};

// What the library's callbacks saw; they are plain functions, so this is global.
struct Deliveries {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<Delivery> seen;

    void Add(Delivery delivery) {
        std::lock_guard lock(mutex);
        seen.push_back(std::move(delivery));
        changed.notify_all();
    }
    bool WaitForCount(std::size_t count, int ms = 5000) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::milliseconds(ms), [&] { return seen.size() >= count; });
    }
    std::vector<Delivery> Seen() {
        std::lock_guard lock(mutex);
        return seen;
    }
    void Clear() {
        std::lock_guard lock(mutex);
        seen.clear();
    }
};

Deliveries deliveries;
std::uint8_t responseBuffer[64];
std::uint8_t channelBuffers[8][64];

bool onResponse(std::uint8_t channel, std::uint8_t messageId) {
    deliveries.Add({true, channel, messageId, Bytes(responseBuffer, responseBuffer + 64)});
    return true;
}

bool onChannelEvent(std::uint8_t channel, std::uint8_t event) {
    deliveries.Add({false, channel, event, Bytes(channelBuffers[channel], channelBuffers[channel] + 64)});
    return true;
}

// Answers every configuration command as a stick does.
void AnswerLikeAStick(MemoryStick& stick, const Bytes& written, std::uint8_t code) {
    if (written.size() < 4) {
        return;
    }
    const std::uint8_t id = written[2];
    const std::uint8_t first = written[3];
    if (id == ANT_MESG_SYSTEM_RESET_ID) {
        stick.Send(AntFrame(ANT_MESG_STARTUP_MESG_ID, {0x20}));
    } else if (id == ANT_MESG_REQUEST_ID) {
        stick.Send(AntFrame(written[4], {first, 0x03, 0x00}));
    } else {
        stick.Send(AntFrame(ANT_MESG_RESPONSE_EVENT_ID, {first, id, code}));
        if (id == ANT_MESG_CLOSE_CHANNEL_ID) {
            stick.Send(AntFrame(ANT_MESG_RESPONSE_EVENT_ID, {first, 0x01, 0x07}));
        }
    }
}

class ANTLibraryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        deliveries.Clear();
        std::memset(responseBuffer, 0, sizeof responseBuffer);
        std::memset(channelBuffers, 0, sizeof channelBuffers);
        stick = std::make_shared<MemoryStick>();
        SetUSBDeviceKinds({MakeMemoryDeviceKind({stick})});
    }
    void TearDown() override {
        ANT_ClearCallbacks();
        ANT_Close();
        SetUSBDeviceKinds({});
    }
    void RegisterAll() {
        ANT_SetResponseCallback(onResponse, responseBuffer);
        for (std::uint8_t channel = 0; channel < 8; ++channel) {
            ANT_SetChannelEventCallback(channel, onChannelEvent, channelBuffers[channel]);
        }
    }

    std::shared_ptr<MemoryStick> stick;
};

TEST_F(ANTLibraryTest, UninitialisedLibraryRefusesCommandsAndClosesHarmlessly) {
    const auto start = Clock::now();
    ANT_Close();
    ANT_Close();
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(500));
    EXPECT_FALSE(ANT_ResetSystem());
    EXPECT_FALSE(ANT_OpenRxScanMode(0));
    EXPECT_FALSE(ANT_RequestMessage(0, 0x52));
    EXPECT_STREQ(ANT_LibVersion(), "ALU3.800");
}

TEST_F(ANTLibraryTest, InitFailsForUnsupportedSelectorsAndMissingDevices) {
    EXPECT_FALSE(ANT_InitExt(0, 57600, 1, 0));
    EXPECT_FALSE(ANT_InitExt(0, 57600, 0, 1));
    EXPECT_FALSE(ANT_Init(1, 57600));
    EXPECT_EQ(stick->OpenCount(), 0);
    stick->SetOpenable(false);
    EXPECT_FALSE(ANT_Init(0, 57600));
    EXPECT_FALSE(ANT_ResetSystem());

    stick->SetOpenable(true);
    ASSERT_TRUE(ANT_Init(0, 57600));
    EXPECT_EQ(stick->LastBaudRate(), 57600u);
}

TEST_F(ANTLibraryTest, CloseEndsTheMessageThreadWithinAboutASecond) {
    ASSERT_TRUE(ANT_Init(0, 57600));
    const auto start = Clock::now();
    ANT_Close();
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(2500));
    EXPECT_EQ(stick->CloseCount(), 1);
    EXPECT_FALSE(ANT_ResetSystem());
    // And it can be opened again.
    ASSERT_TRUE(ANT_Init(0, 57600));
    EXPECT_TRUE(ANT_ResetSystem());
}

TEST_F(ANTLibraryTest, ResponsesAndChannelEventsAreRouted) {
    ASSERT_TRUE(ANT_Init(0, 57600));
    RegisterAll();

    stick->Send(AntFrame(0x40, {0x00, 0x42, 0x00}));             // response to Assign channel
    stick->Send(AntFrame(0x40, {0x00, 0x01, 0x07}));             // channel closed event
    stick->Send(AntFrame(0x4E, {0x00, 1, 2, 3, 4, 5, 6, 7, 8})); // plain broadcast
    stick->Send(AntFrame(0x4E, {0x00, 1, 2, 3, 4, 5, 6, 7, 8, 0x80, 0x34, 0x12, 113, 5})); // flagged
    stick->Send(AntFrame(0x52, {0x00, 0x03, 0x00}));                                       // channel status
    stick->Send(AntFrame(0x4E, {0x21, 9, 9, 9, 9, 9, 9, 9, 9})); // channel 1 with high bits
    ASSERT_TRUE(deliveries.WaitForCount(6));
    const auto seen = deliveries.Seen();
    ASSERT_EQ(seen.size(), 6u);

    EXPECT_TRUE(seen[0].toResponse);
    EXPECT_EQ(seen[0].channel, 0);
    EXPECT_EQ(seen[0].code, 0x40);
    EXPECT_EQ(Bytes(seen[0].buffer.begin(), seen[0].buffer.begin() + 3), (Bytes{0x00, 0x42, 0x00}));

    EXPECT_FALSE(seen[1].toResponse);
    EXPECT_EQ(seen[1].code, 0x07);
    EXPECT_EQ(Bytes(seen[1].buffer.begin(), seen[1].buffer.begin() + 3), (Bytes{0x00, 0x01, 0x07}));

    EXPECT_FALSE(seen[2].toResponse);
    EXPECT_EQ(seen[2].code, ANT_EVENT_RX_BROADCAST);
    EXPECT_EQ(Bytes(seen[2].buffer.begin(), seen[2].buffer.begin() + 9), (Bytes{0, 1, 2, 3, 4, 5, 6, 7, 8}));

    EXPECT_FALSE(seen[3].toResponse);
    EXPECT_EQ(seen[3].code, ANT_EVENT_RX_FLAG_BROADCAST);
    EXPECT_EQ(Bytes(seen[3].buffer.begin(), seen[3].buffer.begin() + 14),
              (Bytes{0, 1, 2, 3, 4, 5, 6, 7, 8, 0x80, 0x34, 0x12, 113, 5}));

    EXPECT_TRUE(seen[4].toResponse);
    EXPECT_EQ(seen[4].code, 0x52);
    EXPECT_EQ(seen[4].buffer[1], 0x03);

    EXPECT_FALSE(seen[5].toResponse);
    EXPECT_EQ(seen[5].channel, 1);
    EXPECT_EQ(seen[5].code, ANT_EVENT_RX_BROADCAST);
    EXPECT_EQ(seen[5].buffer[0], 0x21);
}

TEST_F(ANTLibraryTest, OtherDataKindsAndSpecialResponsesAreRouted) {
    ASSERT_TRUE(ANT_Init(0, 57600));
    RegisterAll();

    stick->Send(AntFrame(0x4F, {0x02, 1, 2, 3, 4, 5, 6, 7, 8}));
    stick->Send(AntFrame(0x5D, {0x02, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
    stick->Send(AntFrame(0xC1, Bytes{0x02, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}));
    stick->Send(AntFrame(0x50, {0x02, 1, 2, 3, 4, 5, 6, 7, 8, 0x80, 1, 0, 1, 1}));
    stick->Send(AntFrame(0x56, {0x00, 1, 2, 3, 4}));
    stick->Send(AntFrame(0x57, {0x00, 7, 8, 9}));
    ASSERT_TRUE(deliveries.WaitForCount(6));
    const auto seen = deliveries.Seen();
    EXPECT_EQ(seen[0].code, ANT_EVENT_RX_ACKNOWLEDGED);
    EXPECT_EQ(seen[1].code, ANT_EVENT_RX_EXT_BROADCAST);
    EXPECT_EQ(seen[1].buffer[12], 12);
    EXPECT_EQ(seen[2].code, ANT_EVENT_RX_RSSI_BROADCAST);
    EXPECT_EQ(seen[2].buffer[16], 16);
    EXPECT_EQ(seen[3].code, ANT_EVENT_RX_FLAG_BURST_PACKET);
    EXPECT_EQ(Bytes(seen[3].buffer.begin() + 14, seen[3].buffer.begin() + 17), Bytes(3, 0)); // not from 0xC1
    EXPECT_TRUE(seen[4].toResponse);
    EXPECT_EQ(seen[4].code, 0x56);
    EXPECT_EQ(seen[4].buffer[10], 5);
    EXPECT_TRUE(seen[5].toResponse);
    EXPECT_EQ(seen[5].code, 0x57);
    EXPECT_EQ(Bytes(seen[5].buffer.begin(), seen[5].buffer.begin() + 3), (Bytes{0, 7, 8}));
    EXPECT_EQ(seen[5].buffer[3], 3); // only three bytes are copied: the rest is from 0x56
}

TEST_F(ANTLibraryTest, MessagesWithoutARegisteredPathAreDropped) {
    ASSERT_TRUE(ANT_Init(0, 57600));
    // Only a channel callback: nothing at all is delivered.
    ANT_SetChannelEventCallback(0, onChannelEvent, channelBuffers[0]);
    stick->Send(AntFrame(0x4E, {0x00, 1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_FALSE(deliveries.WaitForCount(1, 300));

    RegisterAll();
    ANT_SetChannelEventCallback(3, nullptr, nullptr);
    ANT_SetChannelEventCallback(9, onChannelEvent, channelBuffers[0]); // ignored
    stick->Send(AntFrame(0x4E, {0x09, 1, 2, 3, 4, 5, 6, 7, 8}));       // channel 9
    stick->Send(AntFrame(0x4E, {0x03, 1, 2, 3, 4, 5, 6, 7, 8}));       // channel 3 has no callback
    stick->Send(AntFrame(0x4E, {0x00, 1, 2, 3, 4, 5, 6, 7, 8}));
    ASSERT_TRUE(deliveries.WaitForCount(1));
    // Had the first broadcast been delivered late, or the next two at all, there would be more.
    EXPECT_FALSE(deliveries.WaitForCount(2, 300));

    ANT_ClearCallbacks();
    stick->Send(AntFrame(0x40, {0x00, 0x42, 0x00}));
    EXPECT_FALSE(deliveries.WaitForCount(2, 300));
}

TEST_F(ANTLibraryTest, AFramerErrorCostsNoGoodMessage) {
    ASSERT_TRUE(ANT_Init(0, 57600));
    RegisterAll();
    Bytes bad = AntFrame(0x4E, {0x00, 1, 2, 3, 4, 5, 6, 7, 8});
    bad.back() ^= 0xFF;
    stick->Send(bad);
    stick->Send(AntFrame(0x4E, {0x00, 8, 7, 6, 5, 4, 3, 2, 1}));
    ASSERT_TRUE(deliveries.WaitForCount(1));
    EXPECT_EQ(deliveries.Seen()[0].buffer[1], 8);
}

TEST_F(ANTLibraryTest, ConfigurationSequenceAgainstAnAnsweringStick) {
    stick->SetWriteHook([](MemoryStick& s, const Bytes& written) { AnswerLikeAStick(s, written, 0); });
    ASSERT_TRUE(ANT_Init(0, 57600));
    EXPECT_TRUE(ANT_ResetSystem());
    EXPECT_TRUE(ANT_WaitForStartup(2000));
    RegisterAll();
    const std::uint8_t key[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_TRUE(ANT_SetNetworkKey(0, key, 500));
    EXPECT_TRUE(ANT_EnableExtendedMessages(1, 500));
    EXPECT_TRUE(ANT_AssignChannelExt(0, 0x00, 0, 0x01, 500));
    EXPECT_TRUE(ANT_SetChannelRadioFreq(0, 67, 500));
    EXPECT_TRUE(ANT_SetChannelId(0, 0, 113, 5, 500));
    EXPECT_TRUE(ANT_OpenRxScanMode(500));

    stick->Send(AntFrame(0x4E, {0x00, 0x10, 1, 2, 3, 4, 5, 6, 7, 0x80, 0xCD, 0xAB, 113, 5}));
    ASSERT_TRUE(deliveries.WaitForCount(1));
    bool sawBroadcast = false;
    for (std::size_t count = 1; !sawBroadcast && deliveries.WaitForCount(count); ++count) {
        const Delivery delivery = deliveries.Seen()[count - 1];
        if (!delivery.toResponse && delivery.code == ANT_EVENT_RX_FLAG_BROADCAST) {
            sawBroadcast = true;
            EXPECT_EQ(delivery.buffer[9], 0x80);
            EXPECT_EQ(delivery.buffer[10] | (delivery.buffer[11] << 8), 0xABCD);
        }
    }
    EXPECT_TRUE(sawBroadcast);

    EXPECT_TRUE(ANT_RequestMessage(0, 0x52));
    EXPECT_TRUE(ANT_CloseChannel(0, 0));
    EXPECT_TRUE(ANT_UnassignChannel(0, 500));

    const auto writes = stick->Writes();
    ASSERT_EQ(writes.size(), 10u);
    EXPECT_EQ(writes[0], (Bytes{0xA4, 0x01, 0x4A, 0x00, 0xEF, 0x00, 0x00}));
    EXPECT_EQ(writes[3], (Bytes{0xA4, 0x04, 0x42, 0x00, 0x00, 0x00, 0x01, 0xE3, 0x00, 0x00}));
    EXPECT_EQ(writes[6], (Bytes{0xA4, 0x01, 0x5B, 0x00, 0xFE, 0x00, 0x00}));
    EXPECT_EQ(writes[7], (Bytes{0xA4, 0x02, 0x4D, 0x00, 0x52, 0xB9, 0x00, 0x00}));
    EXPECT_EQ(writes[8], (Bytes{0xA4, 0x01, 0x4C, 0x00, 0xE9, 0x00, 0x00}));
}

TEST_F(ANTLibraryTest, RefusedUnansweredAndUnwritableCommandsFail) {
    stick->SetWriteHook([](MemoryStick& s, const Bytes& written) { AnswerLikeAStick(s, written, 0x15); });
    ASSERT_TRUE(ANT_Init(0, 57600));
    EXPECT_FALSE(ANT_AssignChannelExt(0, 0x00, 0, 0x01, 500));

    stick->SetWriteHook(nullptr);
    EXPECT_TRUE(ANT_ResetSystem());
    EXPECT_FALSE(ANT_WaitForStartup(100));
    const auto start = Clock::now();
    EXPECT_FALSE(ANT_SetChannelRadioFreq(0, 67, 200));
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(190));
    EXPECT_TRUE(ANT_CloseChannel(0, 0));

    stick->Unplug();
    EXPECT_FALSE(ANT_RequestMessage(0, 0x52));
    EXPECT_FALSE(ANT_ResetSystem());
    const auto closeStart = Clock::now();
    ANT_Close();
    EXPECT_LT(Clock::now() - closeStart, std::chrono::milliseconds(2500));
}

TEST_F(ANTLibraryTest, RegistrationsSurviveClose) {
    RegisterAll(); // before init
    ASSERT_TRUE(ANT_Init(0, 57600));
    ANT_Close();
    ASSERT_TRUE(ANT_Init(0, 57600));
    stick->Send(AntFrame(0x4E, {0x00, 1, 2, 3, 4, 5, 6, 7, 8}));
    ASSERT_TRUE(deliveries.WaitForCount(1));
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
