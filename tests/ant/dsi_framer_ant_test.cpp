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

void Feed(DSIFramerANT& framer, const Bytes& bytes) {
    for (std::uint8_t byte : bytes) {
        framer.ProcessByte(byte);
    }
}

Bytes Joined(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

class DSIFramerANTTest : public ::testing::Test {
  protected:
    Bytes LastWrite() {
        const auto writes = serial.Writes();
        return writes.empty() ? Bytes{} : writes.back();
    }
    // Makes the stick answer every write with the given response code, for the given channel.
    void AnswerWith(std::uint8_t code, int channelOverride = -1) {
        serial.SetHook([this, code, channelOverride](const Bytes& written) {
            const std::uint8_t channel =
                channelOverride >= 0 ? static_cast<std::uint8_t>(channelOverride) : written[3];
            Feed(framer, AntFrame(ANT_MESG_RESPONSE_EVENT_ID, {channel, written[2], code}));
        });
    }
    std::chrono::milliseconds Took(Clock::time_point start) {
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    }

    RecordingSerial serial;
    DSIFramerANT framer{&serial};
    ANT_MESSAGE message{};
};

// The command frames themselves are checked byte for byte in ant_library_test, through the library.
TEST_F(DSIFramerANTTest, WritingNeedsASerialPortAndAPayloadOf41AtMost) {
    DSIFramerANT bare;
    EXPECT_FALSE(bare.Init());
    EXPECT_TRUE(bare.Init(&serial));
    EXPECT_TRUE(framer.Init());
    EXPECT_NE(framer.AllocateMessageBuffer(41), nullptr);
    EXPECT_EQ(framer.AllocateMessageBuffer(42), nullptr);

    message.ucMessageID = 0x4E;
    EXPECT_FALSE(framer.WriteMessage(message, 42));
    EXPECT_TRUE(serial.Writes().empty());
    EXPECT_TRUE(framer.WriteMessage(message, 41));
    EXPECT_EQ(LastWrite().size(), 47u);
    ASSERT_TRUE(framer.SetChannelID(3, 0x1234, 113, 5, 0));
    EXPECT_EQ(LastWrite(), (Bytes{0xA4, 0x05, 0x51, 0x03, 0x34, 0x12, 0x71, 0x05, 0xA1, 0x00, 0x00}));
    serial.SetFail(true);
    EXPECT_FALSE(framer.WriteMessage(message, 1));
}

// What the queue gives, in order, for the bytes received: size (or error), ID, leading data bytes.
struct Taken {
    std::uint16_t size;
    std::uint8_t id;
    Bytes data;
};

TEST(DSIFramerANTReceiver, GivesTheMessagesAndErrorsOfTheBytesReceived) {
    Bytes badChecksum = AntFrame(0x4E, {0, 9, 9, 9, 9, 9, 9, 9, 9});
    badChecksum.back() ^= 0x55;
    const Taken tooLong = {DSI_FRAMER_ERROR, DSI_FRAMER_ANT_ERROR_MESSAGE_TOO_LONG, {}};
    const Taken response = {3, 0x40, {0, 0x42, 0}};
    const std::pair<Bytes, std::vector<Taken>> cases[] = {
        {Joined({{0x00, 0x13, 0xFF}, AntFrame(0x4E, {0, 1, 2, 3, 4, 5, 6, 7, 8})}), // noise skipped
         {{9, 0x4E, {0, 1, 2, 3, 4, 5, 6, 7, 8}}}},
        // A bad checksum is reported once, first, and earlier messages stay.
        {Joined({AntFrame(0x52, {0, 1, 2}), badChecksum, AntFrame(0x54, {1, 2})}),
         {{DSI_FRAMER_ERROR, DSI_FRAMER_ANT_ERROR_SERIAL, {DSI_FRAMER_ANT_DETAIL_CHECKSUM}},
          {3, 0x52, {0, 1, 2}},
          {2, 0x54, {1, 2}}}},
        // Length 0 is an ordinary message; 41 is the longest one.
        {Joined({AntFrame(0x6F, {}), AntFrame(0x4E, Bytes(41, 0x11))}),
         {{0, 0x6F, {}}, {41, 0x4E, Bytes(41, 0x11)}}},
        // Anything longer is refused at its length byte and what follows searched again (164 is 0xA4).
        {Joined({{0xA4, 42}, AntFrame(0x40, {0, 0x42, 0})}), {tooLong, response}},
        {Joined({{0xA4, 164}, AntFrame(0x40, {0, 0x42, 0})}), {tooLong, response}},
        // A single burst packet is queued as acknowledged data; part of a longer burst is unchanged.
        {Joined({AntFrame(0x50, {0x83, 1, 2, 3, 4, 5, 6, 7, 8}),
                 AntFrame(0x50, {0x23, 1, 2, 3, 4, 5, 6, 7, 8})}),
         {{9, 0x4F, {0x03, 1}}, {9, 0x50, {0x23, 1}}}},
    };
    for (const auto& [fed, expected] : cases) {
        SCOPED_TRACE(::testing::PrintToString(fed));
        RecordingSerial serial;
        DSIFramerANT framer(&serial);
        Feed(framer, fed);
        ANT_MESSAGE message{};
        for (const Taken& taken : expected) {
            ASSERT_EQ(framer.GetMessage(&message), taken.size);
            EXPECT_EQ(message.ucMessageID, taken.id);
            EXPECT_EQ(Bytes(message.aucData, message.aucData + taken.data.size()), taken.data);
        }
        EXPECT_EQ(framer.GetMessage(&message), DSI_FRAMER_EMPTY);
    }
}

TEST_F(DSIFramerANTTest, ASplitFrameIsWaitedForAndAnEmptyWaitTimesOut) {
    const Bytes frame = AntFrame(0x4E, {0, 1, 2, 3, 4, 5, 6, 7, 8});
    for (std::size_t i = 0; i + 1 < frame.size(); ++i) {
        framer.ProcessByte(frame[i]);
        EXPECT_EQ(framer.WaitForMessage(0), DSI_FRAMER_EMPTY);
    }
    framer.ProcessByte(frame.back());
    EXPECT_EQ(framer.WaitForMessage(0), 9u);
    ASSERT_EQ(framer.GetMessage(&message), 9u);

    const auto start = Clock::now();
    EXPECT_EQ(framer.WaitForMessage(50), DSI_FRAMER_EMPTY);
    EXPECT_GE(Took(start), std::chrono::milliseconds(45));
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
        Feed(framer, noise);
        for (int i = 0; i < 20; ++i) {
            Feed(framer, broadcast);
        }
        int delivered = 0;
        for (std::uint16_t size = 0; (size = framer.GetMessage(&message)) != DSI_FRAMER_EMPTY;) {
            delivered += size == 9u ? 1 : 0;
        }
        EXPECT_EQ(delivered, 20) << int(noise[1]);
    }
}

TEST_F(DSIFramerANTTest, SizeLimitCutsTheMessageButConsumesIt) {
    Feed(framer, AntFrame(0x4E, {0, 1, 2, 3, 4, 5, 6, 7, 8}));
    Feed(framer, AntFrame(0x52, {7}));
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

TEST_F(DSIFramerANTTest, FullQueueDropsTheNewMessageAndReportsOverflow) {
    const Bytes frame = AntFrame(0x4E, {0, 1, 2, 3, 4, 5, 6, 7, 8});
    for (int i = 0; i < 65535; ++i) {
        Feed(framer, frame);
    }
    EXPECT_EQ(framer.WaitForMessage(0), 9u);
    Feed(framer, AntFrame(0x52, {0}));
    ASSERT_EQ(framer.GetMessage(&message), DSI_FRAMER_ERROR);
    EXPECT_EQ(message.ucMessageID, DSI_FRAMER_ANT_ERROR_QUEUE_OVERFLOW);
    int taken = 0;
    while (framer.GetMessage(&message) == 9u) {
        ++taken;
    }
    EXPECT_EQ(taken, 65535);
}

TEST_F(DSIFramerANTTest, SendCommandMatchesChannelCommandAndCode) {
    auto start = Clock::now();
    EXPECT_FALSE(framer.OpenRxScanMode(100)); // no answer
    EXPECT_GE(Took(start), std::chrono::milliseconds(95));

    AnswerWith(0);
    EXPECT_TRUE(framer.AssignChannelExt(0, 0, 0, 1, 500));
    EXPECT_TRUE(framer.SetChannelRFFrequency(2, 67, 500));
    AnswerWith(0x15);
    EXPECT_FALSE(framer.AssignChannelExt(0, 0, 0, 1, 500));
    EXPECT_TRUE(framer.OpenRxScanMode(0)); // zero timeout: written is enough, whatever the stick says
    AnswerWith(0, 1);                      // the answer is for channel 1
    start = Clock::now();
    EXPECT_FALSE(framer.AssignChannelExt(0, 0, 0, 1, 100));
    EXPECT_GE(Took(start), std::chrono::milliseconds(95));
    // Responses still reach the queue for the library.
    int responses = 0;
    while (framer.GetMessage(&message) == 3u) {
        ++responses;
    }
    EXPECT_EQ(responses, 5);

    serial.SetFail(true);
    EXPECT_FALSE(framer.OpenRxScanMode(0));
    EXPECT_FALSE(framer.OpenRxScanMode(500));
}

TEST_F(DSIFramerANTTest, CloseResetAndRequestWaitForTheirMessages) {
    serial.SetHook([this](const Bytes& written) {
        if (written[2] == 0x4A) {
            Feed(framer, AntFrame(0x6F, {0x20}));
        } else if (written[2] == 0x4D) {
            Feed(framer, AntFrame(written[4], {written[3], 0x03, 0x00}));
        } else {
            Feed(framer, AntFrame(0x40, {written[3], written[2], 0}));
            Feed(framer, AntFrame(0x40, {written[3], 0x01, 0x07}));
        }
    });
    EXPECT_TRUE(framer.CloseChannel(1, 500));
    EXPECT_TRUE(framer.ResetSystem(500));
    ANT_MESSAGE_ITEM answer{};
    ASSERT_TRUE(framer.SendRequest(0x52, 0, &answer, 500));
    EXPECT_EQ(answer.ucSize, 3);
    EXPECT_EQ(answer.stANTMessage.ucMessageID, 0x52);
    EXPECT_EQ(answer.stANTMessage.aucData[1], 0x03);

    AnswerWith(0); // response but no closed event
    EXPECT_FALSE(framer.CloseChannel(1, 100));
    serial.SetHook(nullptr);
    EXPECT_FALSE(framer.ResetSystem(50));
    EXPECT_FALSE(framer.SendRequest(0x54, 0, &answer, 50));
}

} // namespace
