// Recording the exchange with a stick and playing it back as the stick.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "ant/usb/recording_device_handle.h"
#include "ant/usb/stick_recorder.h"
#include "ant/usb/stick_replay.h"
#include "tests/support/memory_device_kind.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes kRequest = {0xA4, 0x01, 0x4A, 0x00, 0xEF};
const Bytes kAnswer = {0xA4, 0x01, 0x6F, 0x20, 0xEA};

std::vector<StickEvent> parsed(const std::string& text) {
    std::string error;
    std::optional<std::vector<StickEvent>> events = ParseStickRecording(text, error);
    EXPECT_TRUE(events) << error;
    return events.value_or(std::vector<StickEvent>{});
}

// Opens the one in-memory stick through the recording kinds, writes the request, reads what the stick sent.
Bytes exchange(const std::shared_ptr<StickRecorder>& recorder) {
    auto stick = std::make_shared<MemoryStick>();
    const std::vector<USBDeviceKind> kinds = RecordingDeviceKinds({MakeMemoryDeviceKind({stick})}, recorder);
    USBDeviceHandle* handle = nullptr;
    EXPECT_TRUE(kinds[0].open(*kinds[0].getAllDevices()[0], handle, 57600));
    std::uint32_t moved = 0;
    EXPECT_EQ(handle->Write(kRequest.data(), 5, moved), USBStatus::Success);
    stick->Send(kAnswer);
    Bytes read(64);
    EXPECT_EQ(handle->Read(read.data(), 64, moved, 5000), USBStatus::Success);
    read.resize(moved);
    EXPECT_TRUE(kinds[0].close(handle, false));
    EXPECT_EQ(stick->CloseCount(), 1);
    return read;
}

TEST(StickRecordingTest, RecordedExchangeReplaysToTheSameBytes) {
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("stick-recording-" + std::to_string(::getpid()) + ".txt");
    std::string error;
    auto recorder = StickRecorder::Create(path.string(), {}, error);
    ASSERT_TRUE(recorder) << error;
    EXPECT_EQ(exchange(recorder), kAnswer);
    recorder.reset();
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    std::filesystem::remove(path);

    const std::vector<StickEvent> events = parsed(text.str());
    ASSERT_EQ(events.size(), 4u) << text.str();
    EXPECT_EQ(text.str().substr(0, text.str().find('\n')), "draftwell-stick-recording 1");
    EXPECT_EQ(events[0].kind, StickEvent::Kind::open);
    EXPECT_EQ(events[0].baud, 57600u);
    EXPECT_EQ(events[1].bytes, kRequest);
    EXPECT_EQ(events[2].kind, StickEvent::Kind::stick);
    EXPECT_EQ(events[3].kind, StickEvent::Kind::close);

    StickReplay replay(events, true);
    ASSERT_TRUE(replay.Open());
    std::uint8_t buffer[64];
    std::uint32_t moved = 0;
    // The answer waits for the request it followed.
    EXPECT_EQ(replay.Read(buffer, sizeof buffer, moved, 0), USBStatus::Timeout);
    EXPECT_EQ(replay.Write(kRequest.data(), 2, moved), USBStatus::Success);
    EXPECT_EQ(replay.Write(kRequest.data() + 2, 3, moved), USBStatus::Success);
    ASSERT_EQ(replay.Read(buffer, sizeof buffer, moved, 0), USBStatus::Success);
    EXPECT_EQ(Bytes(buffer, buffer + moved), kAnswer);
    replay.Close();
    EXPECT_FALSE(replay.Failure());
    EXPECT_FALSE(replay.Open()); // one open was recorded
}

TEST(StickRecordingTest, FullDiskStopsTheRecordingButNotTheExchange) {
    std::vector<std::string> messages;
    std::string error;
    auto recorder = StickRecorder::Create(
        "/dev/full", [&messages](const std::string& message) { messages.push_back(message); }, error);
    ASSERT_TRUE(recorder) << error;
    EXPECT_EQ(exchange(recorder), kAnswer);
    EXPECT_TRUE(recorder->IsStopped());
    EXPECT_EQ(messages, std::vector<std::string>{
                            "Stick recording stopped: cannot write /dev/full: No space left on device."});
}

TEST(StickRecordingTest, ReplayNamesTheFirstDifference) {
    const std::string recording = "draftwell-stick-recording 1\n"
                                  "0 open 4 0FCF 1008 57600 ANT USBStick2\n"
                                  "3 control 40 00 FFFF 0000 0\n"
                                  "5 host A4 01 4A 00 EF\n"
                                  "6 stick A4 01 6F 20 EA\n"
                                  "900 gone\n";
    const std::pair<std::vector<Bytes>, std::string> cases[] = {
        // what the program writes, the failure
        {{{0xA4, 0x01}, {0x4A, 0x00, 0xEF}}, ""},
        {{{0xA4, 0x01, 0x4B, 0x00, 0xEE}},
         "Replay differs at event 3 (line 4, 5 ms): expected the program to send A4 01 4A 00 EF, it sent A4 "
         "01 "
         "4B 00 EE (first difference at byte 3 of the recorded chunk)."},
        {{kRequest, {0x01}},
         "Replay differs at the end of the recording: the program sent 01 after the recorded exchange "
         "ended."},
        {{{0xA4}},
         "Replay differs at event 3 (line 4, 5 ms): the program closed the stick before sending 01 4A 00 "
         "EF."},
    };
    for (const auto& [writes, failure] : cases) {
        std::vector<std::string> reported;
        StickReplay replay(parsed(recording), true, [&](const std::string& m) { reported.push_back(m); });
        ASSERT_TRUE(replay.Open());
        std::uint32_t moved = 0;
        for (const Bytes& write : writes) {
            replay.Write(write.data(), static_cast<std::uint32_t>(write.size()), moved);
        }
        replay.Close();
        EXPECT_EQ(replay.Failure().value_or(""), failure);
        EXPECT_EQ(reported, failure.empty() ? std::vector<std::string>{} : std::vector<std::string>{failure});
    }
}

TEST(StickRecordingTest, ReplayDeliversInOrderUntilTheStickIsGone) {
    const std::string recording = "draftwell-stick-recording 1\n"
                                  "0 open 1 0FCF 1004 115200\n"
                                  "0 stick A4 01\n"
                                  "1 stick 6F\n"
                                  "60000 stick 20 EA\n"
                                  "60001 gone\n";
    // Recorded a minute in: the last bytes and the end are only played at once when fast.
    const std::tuple<bool, Bytes, USBStatus> cases[] = {
        {true, {0xA4, 0x01, 0x6F, 0x20, 0xEA}, USBStatus::DeviceGone},
        {false, {0xA4, 0x01, 0x6F}, USBStatus::Timeout},
    };
    for (const auto& [fast, expected, after] : cases) {
        StickReplay replay(parsed(recording), fast);
        ASSERT_TRUE(replay.Open());
        std::uint8_t buffer[1];
        std::uint32_t moved = 0;
        Bytes read;
        while (replay.Read(buffer, sizeof buffer, moved, fast ? 1000 : 200) == USBStatus::Success) {
            read.push_back(buffer[0]);
        }
        EXPECT_EQ(read, expected) << fast;
        EXPECT_EQ(replay.Read(buffer, sizeof buffer, moved, 0), after);
        replay.Close();
        EXPECT_FALSE(replay.Failure());
    }
}

TEST(StickRecordingTest, MalformedRecordingsAreRefusedWithTheLine) {
    const std::pair<std::string, std::string> cases[] = {
        {"", "not a stick recording (no \"draftwell-stick-recording 1\" line first)"},
        {"draftwell-stick-recording 2\n",
         "recording format \"draftwell-stick-recording 2\" is not known here (this program reads version 1)"},
        {"draftwell-stick-recording 1\n# note\n5 host A4 1G\n", "line 3 is not an event: \"5 host A4 1G\""},
        {"draftwell-stick-recording 1\n5 stick\n", "line 2 is not an event: \"5 stick\""},
        {"draftwell-stick-recording 1\n5 gone now\n", "line 2 is not an event: \"5 gone now\""},
    };
    for (const auto& [text, expected] : cases) {
        std::string error;
        EXPECT_FALSE(ParseStickRecording(text, error));
        EXPECT_EQ(error, expected);
    }
}

} // namespace
