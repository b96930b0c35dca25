#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "ant/ant.h"
#include "ant/usb/usb_device_kind.h"
#include "laps/lap_packet.h"
#include "sim/sim_device_kind.h"

namespace antsim::test {
namespace {

using namespace std::chrono_literals;

constexpr std::array<std::uint8_t, 8> kKey{0x10, 0x21, 0x32, 0x43, 0x54, 0x65, 0x76, 0x87};

// What the library's callbacks delivered. Plain functions feed it, so it is
// one object for the whole test program.
struct Delivered {
    struct Event {
        bool channel; // channel event, else response
        std::uint8_t channelNumber;
        std::uint8_t code; // event code or message ID
        std::array<std::uint8_t, 64> buffer;
    };

    std::mutex mutex;
    std::condition_variable changed;
    std::vector<Event> events;
    std::array<std::uint8_t, 64> responseBuffer{};
    std::array<std::uint8_t, 64> channelBuffer{};

    void add(bool channel, std::uint8_t number, std::uint8_t code) {
        std::lock_guard lock(mutex);
        events.push_back(Event{channel, number, code, channel ? channelBuffer : responseBuffer});
        changed.notify_all();
    }

    std::optional<Event> waitFor(const std::function<bool(const Event&)>& pred) {
        std::unique_lock lock(mutex);
        std::optional<Event> found;
        changed.wait_for(lock, 10s, [&] {
            for (const auto& e : events) {
                if (pred(e)) {
                    found = e;
                    return true;
                }
            }
            return false;
        });
        return found;
    }
};

Delivered delivered;

bool onResponse(std::uint8_t channel, std::uint8_t messageId) {
    delivered.add(false, channel, messageId);
    return true;
}

bool onChannelEvent(std::uint8_t channel, std::uint8_t event) {
    delivered.add(true, channel, event);
    return true;
}

class AntLibraryAgainstVirtualStick : public ::testing::Test {
  protected:
    void start(Scenario s) {
        {
            std::lock_guard lock(delivered.mutex);
            delivered.events.clear();
        }
        SetUSBDeviceKinds({simDeviceKind(std::move(s))});
        ASSERT_TRUE(ANT_Init(0, 57600));
        ANT_SetResponseCallback(onResponse, delivered.responseBuffer.data());
        ANT_SetChannelEventCallback(0, onChannelEvent, delivered.channelBuffer.data());
    }

    void TearDown() override {
        ANT_ClearCallbacks();
        ANT_Close();
        SetUSBDeviceKinds({});
    }

    static Scenario scenario() {
        Scenario s;
        s.seed = 8;
        s.firstDeviceNumber = 0x1234;
        s.broadcastPeriod = 50ms;
        return s;
    }
};

TEST_F(AntLibraryAgainstVirtualStick, ConfiguresScansReceivesBroadcastsAndCloses) {
    start(scenario());
    ASSERT_TRUE(ANT_ResetSystem());
    EXPECT_TRUE(delivered.waitFor([](const auto& e) { return !e.channel && e.code == 0x6F; }));

    EXPECT_TRUE(ANT_SetNetworkKey(0, kKey.data(), 500));
    EXPECT_TRUE(ANT_EnableExtendedMessages(1, 500));
    EXPECT_TRUE(ANT_AssignChannelExt(0, 0x00, 0, 0x01, 500));
    EXPECT_TRUE(ANT_SetChannelRadioFreq(0, 67, 500));
    EXPECT_TRUE(ANT_SetChannelId(0, 0, 113, 5, 500));
    EXPECT_TRUE(ANT_OpenRxScanMode(500));

    // Responses to the commands reached the response callback as (channel, 0x40).
    const auto assigned =
        delivered.waitFor([](const auto& e) { return !e.channel && e.code == 0x40 && e.buffer[1] == 0x42; });
    ASSERT_TRUE(assigned);
    EXPECT_EQ(assigned->buffer[0], 0x00);
    EXPECT_EQ(assigned->buffer[2], 0x00);

    const auto broadcast = delivered.waitFor([](const auto& e) { return e.channel && e.code == 0xA3; });
    ASSERT_TRUE(broadcast);
    EXPECT_EQ(broadcast->channelNumber, 0);
    EXPECT_EQ(broadcast->buffer[0], 0x00);
    EXPECT_EQ(broadcast->buffer[9], 0x80);
    EXPECT_EQ(broadcast->buffer[10] | (broadcast->buffer[11] << 8), 0x1234);
    const auto page =
        draftwell::decodeLapPage(std::span<const std::uint8_t>(broadcast->buffer).subspan(1, 8));
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->lapNumber, 1);

    ASSERT_TRUE(ANT_RequestMessage(0, 0x52));
    EXPECT_TRUE(delivered.waitFor([](const auto& e) { return !e.channel && e.code == 0x52; }));

    // Close waits for both the response and the channel-closed event.
    EXPECT_TRUE(ANT_CloseChannel(0, 500));
    EXPECT_TRUE(delivered.waitFor([](const auto& e) { return e.channel && e.code == 0x07; }));
    EXPECT_TRUE(ANT_UnassignChannel(0, 500));
    EXPECT_TRUE(ANT_ResetSystem());
    ANT_ClearCallbacks();
    ANT_Close();
    // Closed: commands fail, and the stick can be opened again.
    EXPECT_FALSE(ANT_OpenRxScanMode(500));
    EXPECT_TRUE(ANT_Init(0, 57600));
}

TEST_F(AntLibraryAgainstVirtualStick, CommandFaultsMakeTheCommandsFail) {
    Scenario s = scenario();
    s.refused.ids = {0x46};
    s.unanswered.ids = {0x66};
    s.slow.ids = {0x42};
    s.slowDelay = 800ms;
    s.faultCount = 1;
    start(s);
    EXPECT_FALSE(ANT_SetNetworkKey(0, kKey.data(), 500));      // refused
    EXPECT_FALSE(ANT_EnableExtendedMessages(1, 500));          // no answer
    EXPECT_FALSE(ANT_AssignChannelExt(0, 0x00, 0, 0x01, 500)); // too late
    // Past the fault count the same commands succeed.
    EXPECT_TRUE(ANT_SetNetworkKey(0, kKey.data(), 500));
    EXPECT_TRUE(ANT_EnableExtendedMessages(1, 500));
    EXPECT_TRUE(ANT_AssignChannelExt(0, 0x00, 0, 0x01, 500));
}

TEST_F(AntLibraryAgainstVirtualStick, BadChecksumsCostMessagesButTheLibraryKeepsWorking) {
    Scenario s = scenario();
    s.badChecksumEvery = 3;
    start(s);
    int succeeded = 0;
    for (int i = 0; i < 6; ++i) {
        succeeded += ANT_SetChannelRadioFreq(0, 67, 500) ? 1 : 0;
    }
    EXPECT_EQ(succeeded, 4);
}

TEST_F(AntLibraryAgainstVirtualStick, UnpluggedStickCanNoLongerBeWritten) {
    Scenario s = scenario();
    s.unplug = true;
    s.unplugAfter = 300ms;
    start(s);
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    bool writable = true;
    while (writable && std::chrono::steady_clock::now() < deadline) {
        writable = ANT_RequestMessage(0, 0x52);
        if (writable) {
            std::this_thread::sleep_for(50ms); // the poll interval of this check
        }
    }
    EXPECT_FALSE(writable);
    ANT_Close();
    // Gone for good: it cannot be opened again.
    EXPECT_FALSE(ANT_Init(0, 57600));
}

} // namespace
} // namespace antsim::test
