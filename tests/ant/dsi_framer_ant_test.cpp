#include <chrono>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "ant/ant_defines.h"
#include "ant/dsi_framer_ant.h"
#include "tests/support/ant_frame.h"
#include "tests/support/recording_serial.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

class DSIFramerANTTest : public ::testing::Test {
  protected:
    void Feed(const Bytes& bytes) {
        for (std::uint8_t byte : bytes) {
            framer.ProcessByte(byte);
        }
    }
    Bytes LastWrite() {
        const auto writes = serial.Writes();
        return writes.empty() ? Bytes{} : writes.back();
    }
    // Makes the stick answer every write with the given response code, for the given channel.
    void AnswerWith(std::uint8_t code, int channelOverride = -1) {
        serial.SetHook([this, code, channelOverride](const Bytes& written) {
            const std::uint8_t channel =
                channelOverride >= 0 ? static_cast<std::uint8_t>(channelOverride) : written[3];
            Feed(AntFrame(ANT_MESG_RESPONSE_EVENT_ID, {channel, written[2], code}));
        });
    }

    RecordingSerial serial;
    DSIFramerANT framer{&serial};
    ANT_MESSAGE message{};
};

TEST_F(DSIFramerANTTest, InitNeedsASerialPort) {
    DSIFramerANT bare;
    EXPECT_FALSE(bare.Init());
    EXPECT_TRUE(bare.Init(&serial));
    EXPECT_TRUE(framer.Init());
}

TEST_F(DSIFramerANTTest, WritesEveryCommandFrameByteForByte) {
    const std::uint8_t key[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_TRUE(framer.SetNetworkKey(0, key, 0));
    EXPECT_EQ(LastWrite(), (Bytes{0xA4, 0x09, 0x46, 0x00, 1, 2, 3, 4, 5, 6, 7, 8, 0xE3, 0x00, 0x00}));
    ASSERT_TRUE(framer.EnableExtendedMessages(1, 0));
    EXPECT_EQ(LastWrite(), (Bytes{0xA4, 0x02, 0x66, 0x00, 0x01, 0xC1, 0x00, 0x00}));
    ASSERT_TRUE(framer.AssignChannelExt(0, 0x00, 0, 0x01, 0));
    EXPECT_EQ(LastWrite(), (Bytes{0xA4, 0x04, 0x42, 0x00, 0x00, 0x00, 0x01, 0xE3, 0x00, 0x00}));
    ASSERT_TRUE(framer.SetChannelRFFrequency(0, 67, 0));
    EXPECT_EQ(LastWrite(), (Bytes{0xA4, 0x02, 0x45, 0x00, 0x43, 0xA0, 0x00, 0x00}));
    ASSERT_TRUE(framer.SetChannelID(0, 0, 113, 5, 0));
    EXPECT_EQ(LastWrite(), (Bytes{0xA4, 0x05, 0x51, 0x00, 0x00, 0x00, 0x71, 0x05, 0x84, 0x00, 0x00}));
    ASSERT_TRUE(framer.OpenRxScanMode(0));
    EXPECT_EQ(LastWrite(), (Bytes{0xA4, 0x01, 0x5B, 0x00, 0xFE, 0x00, 0x00}));
    ASSERT_TRUE(framer.CloseChannel(0, 0));
    EXPECT_EQ(LastWrite(), (Bytes{0xA4, 0x01, 0x4C, 0x00, 0xE9, 0x00, 0x00}));
    ASSERT_TRUE(framer.UnAssignChannel(0, 0));
    EXPECT_EQ(LastWrite(), (Bytes{0xA4, 0x01, 0x41, 0x00, 0xE4, 0x00, 0x00}));
    ASSERT_TRUE(framer.ResetSystem(0));
    EXPECT_EQ(LastWrite(), (Bytes{0xA4, 0x01, 0x4A, 0x00, 0xEF, 0x00, 0x00}));
    ASSERT_TRUE(framer.SendRequest(0x52, 0, nullptr, 0));
    EXPECT_EQ(LastWrite(), (Bytes{0xA4, 0x02, 0x4D, 0x00, 0x52, 0xB9, 0x00, 0x00}));
    ASSERT_TRUE(framer.SetChannelID(3, 0x1234, 113, 5, 0));
    EXPECT_EQ(LastWrite(), (Bytes{0xA4, 0x05, 0x51, 0x03, 0x34, 0x12, 0x71, 0x05, 0xA1, 0x00, 0x00}));
    EXPECT_EQ(serial.Writes().size(), 11u);
}

TEST_F(DSIFramerANTTest, WriteRefusesPayloadsAbove41AndReportsFailedWrites) {
    message.ucMessageID = 0x4E;
    EXPECT_FALSE(framer.WriteMessage(message, 42));
    EXPECT_TRUE(serial.Writes().empty());
    EXPECT_TRUE(framer.WriteMessage(message, 41));
    EXPECT_EQ(LastWrite().size(), 47u);
    serial.SetFail(true);
    EXPECT_FALSE(framer.WriteMessage(message, 1));
}

TEST_F(DSIFramerANTTest, ReceiverSkipsNoiseAndReassemblesSplitFrames) {
    Feed({0x00, 0x13, 0xFF});
    const Bytes frame = AntFrame(0x4E, {0, 1, 2, 3, 4, 5, 6, 7, 8});
    for (std::size_t i = 0; i + 1 < frame.size(); ++i) {
        framer.ProcessByte(frame[i]);
        EXPECT_EQ(framer.WaitForMessage(0), DSI_FRAMER_EMPTY);
    }
    framer.ProcessByte(frame.back());
    EXPECT_EQ(framer.WaitForMessage(0), 9u);
    ASSERT_EQ(framer.GetMessage(&message), 9u);
    EXPECT_EQ(message.ucMessageID, 0x4E);
    EXPECT_EQ(message.aucData[8], 8);
    EXPECT_EQ(framer.GetMessage(&message), DSI_FRAMER_EMPTY);
}

TEST_F(DSIFramerANTTest, BadChecksumIsReportedOnceAndEarlierMessagesStay) {
    Feed(AntFrame(0x52, {0, 1, 2}));
    Bytes bad = AntFrame(0x4E, {0, 9, 9, 9, 9, 9, 9, 9, 9});
    bad.back() ^= 0x55;
    Feed(bad);
    Feed(AntFrame(0x54, {1, 2}));

    EXPECT_EQ(framer.WaitForMessage(0), DSI_FRAMER_ERROR);
    ASSERT_EQ(framer.GetMessage(&message), DSI_FRAMER_ERROR);
    EXPECT_EQ(message.ucMessageID, DSI_FRAMER_ANT_ERROR_SERIAL);
    EXPECT_EQ(message.aucData[0], DSI_FRAMER_ANT_DETAIL_CHECKSUM);
    ASSERT_EQ(framer.GetMessage(&message), 3u);
    EXPECT_EQ(message.ucMessageID, 0x52);
    ASSERT_EQ(framer.GetMessage(&message), 2u);
    EXPECT_EQ(message.ucMessageID, 0x54);
    EXPECT_EQ(framer.GetMessage(&message), DSI_FRAMER_EMPTY);
}

TEST_F(DSIFramerANTTest, LengthEdgeCases) {
    // Length 0 is an ordinary message; 41 is the longest one.
    Feed(AntFrame(0x6F, {}));
    EXPECT_EQ(framer.GetMessage(&message), 0u);
    EXPECT_EQ(message.ucMessageID, 0x6F);
    Feed(AntFrame(0x4E, Bytes(41, 0x11)));
    EXPECT_EQ(framer.GetMessage(&message), 41u);

    // Anything longer is refused at its length byte, and what follows is searched again.
    for (std::uint8_t length : {std::uint8_t{42}, std::uint8_t{164}, std::uint8_t{253}, std::uint8_t{255}}) {
        Feed({0xA4, length});
        Feed(AntFrame(0x40, {0, 0x42, 0}));
        ASSERT_EQ(framer.GetMessage(&message), DSI_FRAMER_ERROR) << int(length);
        EXPECT_EQ(message.ucMessageID, DSI_FRAMER_ANT_ERROR_MESSAGE_TOO_LONG);
        ASSERT_EQ(framer.GetMessage(&message), 3u) << int(length);
        EXPECT_EQ(message.ucMessageID, 0x40);
        EXPECT_EQ(framer.GetMessage(&message), DSI_FRAMER_EMPTY);
    }
}

// A false sync byte costs at most the frame it hit: every good frame behind it arrives.
TEST_F(DSIFramerANTTest, NoiseBeforeBroadcastsLosesNoneOfThem) {
    const Bytes broadcast = AntFrame(0x4E, {0, 1, 2, 3, 4, 5, 6, 7, 8});
    const Bytes noises[] = {
        {0xA4, 0xF0},       // length far too big
        {0xA4, 0x09},       // plausible length: swallows the first broadcast, checksum fails
        {0xA4, 0x03, 0x4E}, // short false frame ending inside a good one
        {0xA4, 0xA4, 0x29}, // sync as length, then the longest length
    };
    for (const Bytes& noise : noises) {
        Feed(noise);
        for (int i = 0; i < 20; ++i) {
            Feed(broadcast);
        }
        int delivered = 0;
        for (std::uint16_t size = 0; (size = framer.GetMessage(&message)) != DSI_FRAMER_EMPTY;) {
            delivered += size == 9u ? 1 : 0;
        }
        EXPECT_EQ(delivered, 20) << int(noise[1]);
    }
}

TEST_F(DSIFramerANTTest, SizeLimitCutsTheMessageButConsumesIt) {
    Feed(AntFrame(0x4E, {0, 1, 2, 3, 4, 5, 6, 7, 8}));
    Feed(AntFrame(0x52, {7}));
    ASSERT_EQ(framer.GetMessage(&message, 5), 5u);
    EXPECT_EQ(message.aucData[4], 4);
    ASSERT_EQ(framer.GetMessage(&message, 5), 1u);
    EXPECT_EQ(message.ucMessageID, 0x52);
}

TEST_F(DSIFramerANTTest, SerialErrorsAreReportedWithTheirCode) {
    framer.Error(1);
    framer.Error(3); // a later error replaces one not yet reported
    EXPECT_EQ(framer.WaitForMessage(0), DSI_FRAMER_ERROR);
    ASSERT_EQ(framer.GetMessage(&message), DSI_FRAMER_ERROR);
    EXPECT_EQ(message.ucMessageID, 2);
    EXPECT_EQ(message.aucData[0], 3);
    EXPECT_EQ(framer.GetMessage(&message), DSI_FRAMER_EMPTY);
}

TEST_F(DSIFramerANTTest, SingleBurstPacketIsQueuedAsAcknowledgedData) {
    Feed(AntFrame(0x50, {0x83, 1, 2, 3, 4, 5, 6, 7, 8}));
    Feed(AntFrame(0x50, {0x23, 1, 2, 3, 4, 5, 6, 7, 8})); // part of a longer burst: unchanged
    ASSERT_EQ(framer.GetMessage(&message), 9u);
    EXPECT_EQ(message.ucMessageID, 0x4F);
    EXPECT_EQ(message.aucData[0], 0x03);
    ASSERT_EQ(framer.GetMessage(&message), 9u);
    EXPECT_EQ(message.ucMessageID, 0x50);
    EXPECT_EQ(message.aucData[0], 0x23);
}

TEST_F(DSIFramerANTTest, FullQueueDropsTheNewMessageAndReportsOverflow) {
    const Bytes frame = AntFrame(0x4E, {0, 1, 2, 3, 4, 5, 6, 7, 8});
    for (int i = 0; i < 65535; ++i) {
        Feed(frame);
    }
    EXPECT_EQ(framer.WaitForMessage(0), 9u);
    Feed(AntFrame(0x52, {0}));
    ASSERT_EQ(framer.GetMessage(&message), DSI_FRAMER_ERROR);
    EXPECT_EQ(message.ucMessageID, DSI_FRAMER_ANT_ERROR_QUEUE_OVERFLOW);
    int taken = 0;
    while (framer.GetMessage(&message) == 9u) {
        ++taken;
    }
    EXPECT_EQ(taken, 65535);
}

TEST_F(DSIFramerANTTest, WaitTimesOutOnAnEmptyQueue) {
    const auto start = Clock::now();
    EXPECT_EQ(framer.WaitForMessage(50), DSI_FRAMER_EMPTY);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(45));
}

TEST_F(DSIFramerANTTest, SendCommandMatchesChannelCommandAndCode) {
    AnswerWith(0);
    EXPECT_TRUE(framer.AssignChannelExt(0, 0, 0, 1, 500));
    EXPECT_TRUE(framer.SetChannelRFFrequency(2, 67, 500));

    AnswerWith(0x15);
    EXPECT_FALSE(framer.AssignChannelExt(0, 0, 0, 1, 500));

    AnswerWith(0, 1); // the answer is for channel 1
    const auto start = Clock::now();
    EXPECT_FALSE(framer.AssignChannelExt(0, 0, 0, 1, 100));
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(95));

    // Responses still reach the queue for the library.
    int responses = 0;
    while (framer.GetMessage(&message) == 3u) {
        ++responses;
    }
    EXPECT_EQ(responses, 4);
}

TEST_F(DSIFramerANTTest, SendCommandWithoutAnswer) {
    const auto start = Clock::now();
    EXPECT_FALSE(framer.OpenRxScanMode(100));
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(95));

    // Zero timeout: written is enough, whatever the stick says.
    AnswerWith(0x15);
    EXPECT_TRUE(framer.OpenRxScanMode(0));
    serial.SetFail(true);
    EXPECT_FALSE(framer.OpenRxScanMode(0));
    EXPECT_FALSE(framer.OpenRxScanMode(500));
}

TEST_F(DSIFramerANTTest, CloseChannelWaitsForTheClosedEvent) {
    serial.SetHook([this](const Bytes& written) {
        Feed(AntFrame(0x40, {written[3], written[2], 0}));
        Feed(AntFrame(0x40, {written[3], 0x01, 0x07}));
    });
    EXPECT_TRUE(framer.CloseChannel(1, 500));

    AnswerWith(0); // response but no event
    EXPECT_FALSE(framer.CloseChannel(1, 100));
}

TEST_F(DSIFramerANTTest, ResetAndRequestWaitForTheirMessages) {
    serial.SetHook([this](const Bytes& written) {
        if (written[2] == 0x4A) {
            Feed(AntFrame(0x6F, {0x20}));
        } else if (written[2] == 0x4D) {
            Feed(AntFrame(written[4], {written[3], 0x03, 0x00}));
        }
    });
    EXPECT_TRUE(framer.ResetSystem(500));
    ANT_MESSAGE_ITEM answer{};
    ASSERT_TRUE(framer.SendRequest(0x52, 0, &answer, 500));
    EXPECT_EQ(answer.ucSize, 3);
    EXPECT_EQ(answer.stANTMessage.ucMessageID, 0x52);
    EXPECT_EQ(answer.stANTMessage.aucData[1], 0x03);

    serial.SetHook(nullptr);
    EXPECT_FALSE(framer.ResetSystem(50));
    EXPECT_FALSE(framer.SendRequest(0x54, 0, &answer, 50));
}

TEST_F(DSIFramerANTTest, MessageBufferOnlyForSizesBelow42) {
    EXPECT_NE(framer.AllocateMessageBuffer(41), nullptr);
    EXPECT_EQ(framer.AllocateMessageBuffer(42), nullptr);
}

} // namespace
