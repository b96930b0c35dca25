#include <gtest/gtest.h>

#include <functional>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>

#include "sim/scenario_arguments.h"

namespace antsim {
namespace {

using namespace std::chrono_literals;

struct CommandLine {
    const char* line;
    std::function<bool(const Scenario&)> holds;
};

std::vector<std::string> words(const char* line) {
    std::istringstream in(line);
    return {std::istream_iterator<std::string>(in), {}};
}

TEST(ScenarioArguments, AcceptedLinesReachTheScenarioAndBadOnesAreRefused) {
    const std::vector<CommandLine> lines = {
        {"",
         [](const Scenario& s) {
             return s.transmitters == 1 && s.lapInterval == 5000ms && !s.unplug && !s.silence &&
                    s.unanswered.empty() && !s.trace;
         }},
        {"--lap-interval 2.5", [](const Scenario& s) { return s.lapInterval == 2500ms; }},
        {"--transm 2", [](const Scenario& s) { return s.transmitters == 2; }}, // a unique prefix
        {"--broadcast-rate=8", [](const Scenario& s) { return s.broadcastPeriod == 125ms; }},
        {"--device-number 0x1234", [](const Scenario& s) { return s.firstDeviceNumber == 0x1234; }},
        {"--first-lap 62", [](const Scenario& s) { return s.firstLap == 62; }},
        {"--lap-interval-step 1.5", [](const Scenario& s) { return s.lapIntervalStep == 1500ms; }},
        {"--first-lap-step 10", [](const Scenario& s) { return s.firstLapStep == 10; }},
        {"--invalid-every 4", [](const Scenario& s) { return s.invalidEvery == 4; }},
        {"--seed 99", [](const Scenario& s) { return s.seed == 99u; }},
        {"--cal-drift -1.5", [](const Scenario& s) { return s.calDriftPercent == -1.5; }},
        {"--silence-after 10 --silence-for 3",
         [](const Scenario& s) { return s.silence && s.silenceAfter == 10s && s.silenceFor == 3s; }},
        {"--unplug-after 0.5", [](const Scenario& s) { return s.unplug && s.unplugAfter == 500ms; }},
        {"--restart-after 2", [](const Scenario& s) { return s.restart && s.restartAfter == 2s; }},
        {"--bad-checksum-every 7", [](const Scenario& s) { return s.badChecksumEvery == 7; }},
        {"--no-answer 46,0x5B",
         [](const Scenario& s) {
             return s.unanswered.contains(0x46) && s.unanswered.contains(0x5B) &&
                    !s.unanswered.contains(0x66);
         }},
        {"--refuse all --refuse-code 0x28",
         [](const Scenario& s) { return s.refused.all && s.refuseCode == 0x28; }},
        {"--slow 66 --slow-ms 900",
         [](const Scenario& s) { return s.slow.contains(0x66) && s.slowDelay == 900ms; }},
        {"--fault-count 1", [](const Scenario& s) { return s.faultCount == 1; }},
        {"--noise-every 5", [](const Scenario& s) { return s.noiseEvery == 5; }},
        {"--only-baud 50000", [](const Scenario& s) { return s.baudRate == 50000u; }},
        {"--trace", [](const Scenario& s) { return s.trace; }},
    };
    for (const auto& line : lines) {
        const auto r = parseScenarioArguments(words(line.line));
        ASSERT_TRUE(r.error.empty()) << line.line << ": " << r.error;
        EXPECT_TRUE(line.holds(r.scenario)) << line.line;
    }
    // clang-format off
    const char* const refused[] = {
        "--transmitters 0", "--transmitters 17", "--first-lap-step 64", "--lap-interval-step -1",
        "--only-baud 10", "--noise-every 0", "--first-lap 64", "--lap-interval 0", "--lap-interval -1",
        "--lap-interval abc", "--lap-interval nan", "--no-answer 4G", "--no-answer 123", "--no-answer=",
        "--refuse-code 0", "--device-number 65536", "--bogus", "--seed", "--slow-ms 5x",
        "--broadcast-rate 100", "--cal-drift 12", "--cal-drift 1%", "stray", "-- stray"};
    // clang-format on
    for (const char* line : refused) {
        EXPECT_FALSE(parseScenarioArguments(words(line)).error.empty()) << line;
    }
}

// Whatever the help names must also be accepted.
TEST(ScenarioArguments, HelpIsRecognisedAndExplainsOnlyOptionsThatExist) {
    EXPECT_TRUE(parseScenarioArguments({"--help"}).helpRequested);
    const auto text = scenarioHelpText("ant-stick-sim");
    EXPECT_EQ(text.rfind("Usage: ant-stick-sim", 0), 0u);
    const std::regex option("  (--[a-z-]+) ");
    std::set<std::string> named;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), option); it != std::sregex_iterator();
         ++it) {
        named.insert((*it)[1]);
    }
    EXPECT_EQ(named.size(), 25u);
    for (const auto& name : named) {
        const auto r = parseScenarioArguments({name});
        if (name != "--help" && name != "--trace") {
            EXPECT_EQ(r.error, "missing value for " + name);
        } else {
            EXPECT_TRUE(r.error.empty()) << name;
        }
    }
}

} // namespace
} // namespace antsim
