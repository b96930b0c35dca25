#include <gtest/gtest.h>

#include "sim/scenario_arguments.h"

namespace antsim {
namespace {

using namespace std::chrono_literals;

TEST(ScenarioArgumentsParse, NoArgumentsGiveTheDefaultStick) {
    const auto r = parseScenarioArguments({});
    EXPECT_TRUE(r.error.empty());
    EXPECT_FALSE(r.helpRequested);
    EXPECT_EQ(r.scenario.transmitters, 1);
    EXPECT_EQ(r.scenario.lapInterval, 5000ms);
    EXPECT_FALSE(r.scenario.unplug);
    EXPECT_FALSE(r.scenario.silence);
    EXPECT_TRUE(r.scenario.unanswered.empty());
}

TEST(ScenarioArgumentsParse, EveryOptionReachesTheScenario) {
    const auto r = parseScenarioArguments({"--lap-interval",
                                           "2.5",
                                           "--broadcast-rate=8",
                                           "--transmitters",
                                           "3",
                                           "--device-number",
                                           "0x1234",
                                           "--first-lap",
                                           "62",
                                           "--lap-interval-step",
                                           "1.5",
                                           "--first-lap-step",
                                           "10",
                                           "--invalid-every",
                                           "4",
                                           "--seed",
                                           "99",
                                           "--cal-drift",
                                           "-1.5",
                                           "--silence-after",
                                           "10",
                                           "--silence-for",
                                           "3",
                                           "--unplug-after",
                                           "0.5",
                                           "--bad-checksum-every",
                                           "7",
                                           "--no-answer",
                                           "46,0x5B",
                                           "--refuse",
                                           "all",
                                           "--refuse-code",
                                           "0x28",
                                           "--slow",
                                           "66",
                                           "--slow-ms",
                                           "900",
                                           "--fault-count",
                                           "1",
                                           "--restart-after",
                                           "2",
                                           "--noise-every",
                                           "5",
                                           "--only-baud",
                                           "50000",
                                           "--trace"});
    ASSERT_TRUE(r.error.empty()) << r.error;
    const auto& s = r.scenario;
    EXPECT_EQ(s.lapInterval, 2500ms);
    EXPECT_EQ(s.broadcastPeriod, 125ms);
    EXPECT_EQ(s.transmitters, 3);
    EXPECT_EQ(s.firstDeviceNumber, 0x1234);
    EXPECT_EQ(s.firstLap, 62);
    EXPECT_EQ(s.lapIntervalStep, 1500ms);
    EXPECT_EQ(s.firstLapStep, 10);
    EXPECT_EQ(s.invalidEvery, 4);
    EXPECT_EQ(s.seed, 99u);
    EXPECT_EQ(s.calDriftPercent, -1.5);
    EXPECT_TRUE(s.silence);
    EXPECT_EQ(s.silenceAfter, 10000ms);
    EXPECT_EQ(s.silenceFor, 3000ms);
    EXPECT_TRUE(s.unplug);
    EXPECT_EQ(s.unplugAfter, 500ms);
    EXPECT_EQ(s.badChecksumEvery, 7);
    EXPECT_TRUE(s.unanswered.contains(0x46));
    EXPECT_TRUE(s.unanswered.contains(0x5B));
    EXPECT_FALSE(s.unanswered.contains(0x66));
    EXPECT_TRUE(s.refused.all);
    EXPECT_EQ(s.refuseCode, 0x28);
    EXPECT_TRUE(s.slow.contains(0x66));
    EXPECT_EQ(s.slowDelay, 900ms);
    EXPECT_EQ(s.faultCount, 1);
    EXPECT_TRUE(s.restart);
    EXPECT_EQ(s.restartAfter, 2000ms);
    EXPECT_EQ(s.noiseEvery, 5);
    EXPECT_EQ(s.baudRate, 50000u);
    EXPECT_TRUE(s.trace);
}

TEST(ScenarioArgumentsParse, BadInputIsReportedNotGuessed) {
    const std::vector<std::vector<std::string>> bad = {
        {"--transmitters", "0"},
        {"--transmitters", "17"},
        {"--first-lap-step", "64"},
        {"--lap-interval-step", "-1"},
        {"--only-baud", "10"},
        {"--noise-every", "0"},
        {"--first-lap", "64"},
        {"--lap-interval", "0"},
        {"--lap-interval", "-1"},
        {"--lap-interval", "abc"},
        {"--lap-interval", "nan"},
        {"--no-answer", "4G"},
        {"--no-answer", "123"},
        {"--no-answer", ""},
        {"--refuse-code", "0"},
        {"--device-number", "65536"},
        {"--bogus"},
        {"--seed"},
        {"--slow-ms", "5x"},
        {"--broadcast-rate", "100"},
        {"--cal-drift", "12"},
        {"--cal-drift", "1%"},
    };
    for (const auto& args : bad) {
        const auto r = parseScenarioArguments(args);
        EXPECT_FALSE(r.error.empty()) << args[0] << " " << (args.size() > 1 ? args[1] : "");
    }
}

TEST(ScenarioArgumentsHelp, HelpIsRecognisedAndExplainsEveryOption) {
    EXPECT_TRUE(parseScenarioArguments({"--help"}).helpRequested);
    const auto text = scenarioHelpText("ant-stick-sim");
    for (const char* option : {"--lap-interval",   "--broadcast-rate",
                               "--transmitters",   "--device-number",
                               "--first-lap",      "--lap-interval-step",
                               "--first-lap-step", "--invalid-every",
                               "--seed",           "--cal-drift",
                               "--silence-after",  "--silence-for",
                               "--unplug-after",   "--bad-checksum-every",
                               "--no-answer",      "--refuse",
                               "--refuse-code",    "--slow",
                               "--slow-ms",        "--fault-count",
                               "--trace",          "--help"}) {
        EXPECT_NE(text.find(option), std::string::npos) << option;
        // Whatever the help names must also be accepted.
        if (std::string(option) != "--help" && std::string(option) != "--trace") {
            const auto r = parseScenarioArguments({option});
            EXPECT_EQ(r.error, std::string("missing value for ") + option);
        }
    }
}

} // namespace
} // namespace antsim
