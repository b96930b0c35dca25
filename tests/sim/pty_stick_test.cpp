#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <csignal>
#include <mutex>
#include <sys/wait.h>

#include "sim/pty_stick_server.h"
#include "tests/sim/child_process.h"
#include "tests/sim/stick_harness.h"
#include "tests/sim/tty_client.h"

namespace antsim::test {
namespace {

using namespace std::chrono_literals;

const std::vector<std::vector<std::uint8_t>> kConfiguration = {
    hostFrame(0x46, {0x00, 1, 2, 3, 4, 5, 6, 7, 8}), hostFrame(0x66, {0x00, 0x01}),
    hostFrame(0x42, {0x00, 0x00, 0x00, 0x01}),       hostFrame(0x45, {0x00, 67}),
    hostFrame(0x51, {0x00, 0x00, 0x00, 113, 5}),     hostFrame(0x5B, {0x00}),
};

TEST(PtyStickServer, ServesTheStickOnTheSlaveEnd) {
    Scenario s;
    s.seed = 4;
    s.broadcastPeriod = 50ms;
    PtyStickServer server(s, {}, {});
    std::string error;
    ASSERT_TRUE(server.start(error)) << error;
    TtyClient client;
    ASSERT_TRUE(client.open(server.slavePath())) << server.slavePath();
    ASSERT_TRUE(client.write(hostFrame(0x4A, {0x00})));
    ASSERT_TRUE(client.waitForFrame(0x6F, 10s));
    for (const auto& frame : kConfiguration) {
        ASSERT_TRUE(client.write(frame));
        const auto answer = client.waitForFrame(0x40, 10s);
        ASSERT_TRUE(answer);
        EXPECT_EQ(answer->payload.at(1), frame[2]);
        EXPECT_EQ(answer->payload.at(2), 0x00);
    }
    const auto broadcast = client.waitForFrame(0x4E, 10s);
    ASSERT_TRUE(broadcast);
    EXPECT_EQ(broadcast->payload.size(), 14u);
    server.stop();
}

TEST(PtyStickServer, AClientCanComeBackAfterClosingTheTerminal) {
    Scenario s;
    s.seed = 5;
    PtyStickServer server(s, {}, {});
    std::string error;
    ASSERT_TRUE(server.start(error)) << error;
    {
        TtyClient first;
        ASSERT_TRUE(first.open(server.slavePath()));
        ASSERT_TRUE(first.write(hostFrame(0x4A, {0x00})));
        ASSERT_TRUE(first.waitForFrame(0x6F, 10s));
    }
    TtyClient second;
    ASSERT_TRUE(second.open(server.slavePath()));
    ASSERT_TRUE(second.write(hostFrame(0x4D, {0x00, 0x54})));
    EXPECT_TRUE(second.waitForFrame(0x54, 10s));
}

TEST(PtyStickServer, UnplugHangsUpTheTerminalAndReportsOnce) {
    Scenario s;
    s.unplug = true;
    s.unplugAfter = 300ms;
    std::mutex m;
    std::condition_variable cv;
    int goneCalls = 0;
    PtyStickServer server(s, {}, [&] {
        std::lock_guard lock(m);
        ++goneCalls;
        cv.notify_all();
    });
    std::string error;
    ASSERT_TRUE(server.start(error)) << error;
    TtyClient client;
    ASSERT_TRUE(client.open(server.slavePath()));
    EXPECT_TRUE(client.waitForHangUp(10s));
    std::unique_lock lock(m);
    EXPECT_TRUE(cv.wait_for(lock, 10s, [&] { return goneCalls > 0; }));
    EXPECT_EQ(goneCalls, 1);
}

class AntStickSimToolSignal : public ::testing::TestWithParam<int> {};

TEST_P(AntStickSimToolSignal, PrintsThePathAndAnswersAResetUntilSignalled) {
    ChildProcess tool;
    ASSERT_TRUE(tool.start({ANT_STICK_SIM_PATH, "--lap-interval", "2"}));
    const auto path = tool.readLine(10s);
    ASSERT_TRUE(path);
    EXPECT_EQ(path->rfind("/dev/pts/", 0), 0u) << *path;
    TtyClient client;
    ASSERT_TRUE(client.open(*path));
    ASSERT_TRUE(client.write(hostFrame(0x4A, {0x00})));
    const auto startup = client.waitForFrame(0x6F, 10s);
    ASSERT_TRUE(startup);
    ASSERT_TRUE(tool.signal(GetParam()));
    const auto status = tool.waitExit(10s);
    ASSERT_TRUE(status);
    EXPECT_TRUE(WIFEXITED(*status));
    EXPECT_EQ(WEXITSTATUS(*status), 0);
    EXPECT_TRUE(client.waitForHangUp(10s));
}

INSTANTIATE_TEST_SUITE_P(TermAndInt, AntStickSimToolSignal, ::testing::Values(SIGTERM, SIGINT));

TEST(AntStickSimTool, UnplugScenarioHangsUpAndEndsByItself) {
    ChildProcess tool;
    ASSERT_TRUE(tool.start({ANT_STICK_SIM_PATH, "--unplug-after", "0.5"}));
    const auto path = tool.readLine(10s);
    ASSERT_TRUE(path);
    TtyClient client;
    ASSERT_TRUE(client.open(*path));
    EXPECT_TRUE(client.waitForHangUp(10s));
    const auto status = tool.waitExit(10s);
    ASSERT_TRUE(status);
    EXPECT_TRUE(WIFEXITED(*status));
    EXPECT_EQ(WEXITSTATUS(*status), 0);
}

TEST(AntStickSimTool, HelpExitsAtOnceAndBadOptionsAreRefused) {
    for (const auto& [args, exitCode] : std::vector<std::pair<std::vector<std::string>, int>>{
             {{ANT_STICK_SIM_PATH, "--help"}, 0}, {{ANT_STICK_SIM_PATH, "--transmitters", "none"}, 2}}) {
        ChildProcess tool;
        ASSERT_TRUE(tool.start(args));
        if (exitCode == 0) {
            const auto first = tool.readLine(10s);
            ASSERT_TRUE(first);
            EXPECT_EQ(first->rfind("Usage: ", 0), 0u);
        }
        const auto status = tool.waitExit(10s);
        ASSERT_TRUE(status);
        EXPECT_TRUE(WIFEXITED(*status));
        EXPECT_EQ(WEXITSTATUS(*status), exitCode);
    }
}

} // namespace
} // namespace antsim::test
