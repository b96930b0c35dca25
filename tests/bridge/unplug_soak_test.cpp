// Pulls the stick out of a running bridge over and over: after laps came in,
// in the middle of the configuration, in the middle of the close. Every round
// must end on its own within a bound, and the process must hold no more
// descriptors or threads afterwards than before.
#include <gtest/gtest.h>

#include <QTest>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ant/usb/usb_device_handle_si.h"
#include "ant/usb/usb_device_kind.h"
#include "bridge/ant_scanner_bridge.h"
#include "sim/pty_stick_server.h"
#include "tests/bridge/bridge_event_recorder.h"

#ifndef DRAFTWELL_SOAK_DEFAULT_ROUNDS
#define DRAFTWELL_SOAK_DEFAULT_ROUNDS 100
#endif

namespace draftwell::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Kind = BridgeEvent::Kind;

constexpr auto kRoundBound = 30s;
constexpr int kSettleBoundMs = 10000;
constexpr const char* kDescriptors = "/proc/self/fd";
constexpr const char* kThreads = "/proc/self/task";

constexpr std::uint8_t kResetSystem = 0x4A;
// The close sequence's commands, in order: close channel, unassign, reset.
constexpr std::array<std::uint8_t, 3> kCloseCommands{0x4C, 0x41, 0x4A};
// The configuration commands in the order the bridge sends them.
constexpr std::array<std::uint8_t, 6> kConfigurationCommands{0x46, 0x66, 0x42, 0x45, 0x51, 0x5B};

int soakRounds() {
    const char* text = std::getenv("DRAFTWELL_SOAK_ROUNDS");
    const int rounds = text != nullptr ? std::atoi(text) : 0;
    return rounds > 0 ? rounds : DRAFTWELL_SOAK_DEFAULT_ROUNDS;
}

// The iterator holds a descriptor of its own while it counts; it is there in
// every count alike.
long entriesIn(const char* directory) {
    std::error_code error;
    long count = 0;
    for (std::filesystem::directory_iterator it(directory, error), end; !error && it != end;
         it.increment(error)) {
        ++count;
    }
    return error ? -1 : count;
}

// What the counts stand for, to say what is left over when they differ.
std::string threadNamesAndDescriptors() {
    std::string text = "threads:";
    std::error_code error;
    for (const auto& task : std::filesystem::directory_iterator(kThreads, error)) {
        std::string name;
        std::getline(std::ifstream(task.path() / "comm"), name);
        text += " " + task.path().filename().string() + "(" + name + ")";
    }
    text += "\nfds:";
    for (const auto& fd : std::filesystem::directory_iterator(kDescriptors, error)) {
        std::error_code unreadable; // an empty target
        text += " " + fd.path().filename().string() + "->" +
                std::filesystem::read_symlink(fd.path(), unreadable).string();
    }
    return text;
}

// The ID of every frame the stick received, in order; filled on the server's thread.
struct FrameLog {
    std::mutex mutex;
    std::vector<std::uint8_t> ids;

    void add(const std::string& traceLine) { // "[46] Set Network Key: ..."
        if (traceLine.size() >= 4 && traceLine[0] == '[' && traceLine[3] == ']') {
            std::lock_guard lock(mutex);
            ids.push_back(
                static_cast<std::uint8_t>(std::strtoul(traceLine.substr(1, 2).c_str(), nullptr, 16)));
        }
    }
    // Whether the stick received `id` as frame `from` or later.
    bool received(std::uint8_t id, std::size_t from = 0) {
        std::lock_guard lock(mutex);
        return std::find(ids.begin() + static_cast<long>(std::min(from, ids.size())), ids.end(), id) !=
               ids.end();
    }
    std::size_t size() {
        std::lock_guard lock(mutex);
        return ids.size();
    }
};

enum class Pull { afterLaps, duringConfiguration, duringClose };

Pull pullFor(int round) {
    if (round % 7 == 0) {
        return Pull::duringClose;
    }
    return round % 5 == 0 ? Pull::duringConfiguration : Pull::afterLaps;
}

class UnplugSoakTest : public ::testing::Test {
  protected:
    void SetUp() override { SetUSBDeviceKinds(USBPlatformDeviceKinds()); }
    void TearDown() override {
        USBDeviceHandleSI::SetNamedPorts({});
        SetUSBDeviceKinds({});
    }

    // Processes main-thread events until the condition holds or the round's time is up.
    bool waitFor(const std::function<bool()>& condition) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - Clock::now());
        return recorder_.waitFor(condition, std::max(0, static_cast<int>(left.count())));
    }
    long sinceRoundStart(const EventMatch& match) const { return recorder_.indexOf(match, roundStart_); }
    bool waitForEvent(const EventMatch& match) {
        return waitFor([&] { return sinceRoundStart(match) >= 0; });
    }

    // The terminal's name goes with it: the bridge's second open attempt must not find
    // a terminal another test process has just been given under the same /dev/pts number.
    static void pullOut(antsim::PtyStickServer& server) {
        USBDeviceHandleSI::SetNamedPorts({});
        server.stop();
    }

    // Waits for "ANT device removed." and then the closed status.
    void expectRemoved() {
        const EventMatch removed = logLine(QStringLiteral("ANT device removed."));
        ASSERT_TRUE(waitForEvent(removed)) << "the removal was not noticed";
        const auto from = static_cast<std::size_t>(sinceRoundStart(removed));
        ASSERT_TRUE(waitFor([&] { return recorder_.indexOf(status(false, false, false), from) >= 0; }))
            << "no closed status after the removal";
        EXPECT_EQ(recorder_.count(removed, roundStart_), 1);
        ++tally_["removed"];
    }

    void runRound(ANTScannerBridge& bridge, int round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const Clock::time_point began = Clock::now();
        deadline_ = began + kRoundBound;
        roundStart_ = recorder_.events().size();
        const Pull pull = pullFor(round);
        const long closedBefore = tally_["closed"];

        antsim::Scenario scenario;
        scenario.trace = true;
        // Where a configuration pull happens: 0 while the stick settles after
        // its reset, k after k-1 commands were answered.
        const std::size_t step = static_cast<std::size_t>(round / 5) % (kConfigurationCommands.size() + 1);
        std::uint8_t pullOn = kResetSystem;
        if (pull == Pull::duringConfiguration && step > 0) {
            pullOn = kConfigurationCommands[step - 1];
            // Late but within the bridge's time-out: the pull lands while the bridge waits.
            scenario.slow.ids = {pullOn};
            scenario.slowDelay = 400ms;
        }
        auto frames = std::make_shared<FrameLog>();
        antsim::PtyStickServer server(
            scenario, [frames](const std::string& line) { frames->add(line); }, [] {});
        std::string error;
        ASSERT_TRUE(server.start(error)) << error;
        USBDeviceHandleSI::SetNamedPorts({server.slavePath()});

        bridge.openScannerWithCompletion(recorder_.openCompletion());
        if (pull == Pull::duringConfiguration) {
            ASSERT_TRUE(waitFor([&] { return frames->received(pullOn); }))
                << "the stick never saw the command to pull on";
            pullOut(server);
            ++tally_["pulled_during_configuration"];
        }
        ASSERT_TRUE(waitForEvent(ofKind(Kind::openCompleted))) << "the open did not complete";
        const BridgeEvent& opened = recorder_.at(sinceRoundStart(ofKind(Kind::openCompleted)));
        if (opened.error.has_value()) {
            if (pull != Pull::duringConfiguration) {
                noteUnusual(round,
                            "failed to open before any pull: " + opened.error->description.toStdString());
            }
            EXPECT_EQ(opened.error->domain, QStringLiteral("com.draftwell.LapLogger.ant"));
            EXPECT_GE(opened.error->code, 1);
            EXPECT_LE(opened.error->code, 8);
            ++tally_["failed_open"];
        } else if (pull == Pull::duringConfiguration) {
            // The pull came too late to hit the configuration: the poll must notice it.
            noteUnusual(round, "opened although pulled during the configuration");
            expectRemoved();
        } else {
            ASSERT_TRUE(waitForEvent(ofKind(Kind::packet))) << "no broadcast reached the packet handler";
            if (pull == Pull::afterLaps) {
                pullOut(server);
                expectRemoved();
            } else {
                // Pulled after the close sent its first, second or third command.
                const std::uint8_t closePullOn = kCloseCommands[static_cast<std::size_t>(round / 7) % 3];
                const std::size_t framesBeforeClose = frames->size();
                bridge.closeScannerWithCompletion(recorder_.closeCompletion());
                ASSERT_TRUE(waitFor([&] { return frames->received(closePullOn, framesBeforeClose); }))
                    << "the close never reached the stick";
                pullOut(server);
                ++tally_["pulled_during_close"];
                ASSERT_TRUE(waitForEvent(ofKind(Kind::closeCompleted))) << "the close did not complete";
                ++tally_["closed"];
            }
        }

        // A disconnect after the round is the barrier: its completion comes
        // only once any close sequence still running has ended.
        bool answered = false;
        bridge.closeScannerWithCompletion([&answered] { answered = true; });
        ASSERT_TRUE(waitFor([&] { return answered; })) << "the bridge hangs";
        EXPECT_FALSE(bridge.isOpen());
        // Only a close the user asked for while the stick was there says so.
        const long closedLines = recorder_.count(logLine(QStringLiteral("ANT Channel closed")), roundStart_);
        EXPECT_EQ(closedLines, tally_["closed"] - closedBefore);

        const Clock::duration took = Clock::now() - began;
        EXPECT_LT(took, kRoundBound);
        longestRound_ = std::max(longestRound_, took);
        ++tally_["rounds"];
    }

    // Says which rounds did not go the way their pull was meant to.
    void noteUnusual(int round, const std::string& what) {
        std::printf("unplug soak: round %d %s\n", round, what.c_str());
        ++tally_["unusual_rounds"];
    }

    BridgeEventRecorder recorder_;
    std::map<std::string, long> tally_;
    Clock::duration longestRound_{};
    Clock::time_point deadline_;
    std::size_t roundStart_ = 0;
};

TEST_F(UnplugSoakTest, EveryRoundEndsAndNothingLeaks) {
    const int rounds = soakRounds();
    // ThreadSanitizer's runtime starts a helper thread of its own with the
    // process's first thread, and keeps it: let it exist before counting.
    std::thread([] {}).join();
    const long descriptorsBefore = tally_["fds_before"] = entriesIn(kDescriptors);
    const long threadsBefore = tally_["threads_before"] = entriesIn(kThreads);
    const std::string countedBefore = threadNamesAndDescriptors();
    ASSERT_GT(descriptorsBefore, 0);
    ASSERT_GT(threadsBefore, 0);
    const Clock::time_point began = Clock::now();

    {
        ANTScannerBridge bridge;
        recorder_.attach(bridge);
        for (int round = 1; round <= rounds && !HasFatalFailure(); ++round) {
            runRound(bridge, round);
            // The round's stick and terminal are gone by now.
            tally_["fds_max"] = std::max(tally_["fds_max"], entriesIn(kDescriptors));
            tally_["threads_max"] = std::max(tally_["threads_max"], entriesIn(kThreads));
        }
    }

    // Threads end asynchronously after their join; give the counts time to come back.
    const bool settled = QTest::qWaitFor(
        [&] { return entriesIn(kDescriptors) <= descriptorsBefore && entriesIn(kThreads) <= threadsBefore; },
        kSettleBoundMs);
    EXPECT_TRUE(settled) << "before:\n" << countedBefore << "\nafter:\n" << threadNamesAndDescriptors();
    tally_["fds_after"] = entriesIn(kDescriptors);
    tally_["threads_after"] = entriesIn(kThreads);
    EXPECT_EQ(tally_["fds_after"], descriptorsBefore);
    EXPECT_EQ(tally_["threads_after"], threadsBefore);
    EXPECT_EQ(tally_["rounds"], rounds);
    EXPECT_EQ(tally_["removed"] + tally_["failed_open"] + tally_["closed"], tally_["rounds"]);

    const auto seconds =
        std::chrono::duration_cast<std::chrono::duration<double>>(Clock::now() - began).count();
    const auto longest = std::chrono::duration_cast<std::chrono::duration<double>>(longestRound_).count();
    std::string line = "unplug soak:";
    for (const auto& [name, value] : tally_) {
        RecordProperty(name, static_cast<int>(value));
        line += " " + name + "=" + std::to_string(value);
    }
    RecordProperty("total_seconds", std::to_string(seconds));
    RecordProperty("longest_round_seconds", std::to_string(longest));
    std::printf("%s\nunplug soak: %.1f s in all, longest round %.1f s\n", line.c_str(), seconds, longest);
    std::fflush(stdout);
}

} // namespace
} // namespace draftwell::test
