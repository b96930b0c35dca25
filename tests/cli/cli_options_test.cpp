// Command line of the headless logger.
#include <gtest/gtest.h>

#include "cli/cli_options.h"

namespace draftwell::test {
namespace {

CliParseResult parse(QStringList args) {
    args.prepend("lap-logger-cli");
    return parseCliOptions(args);
}

TEST(CliOptionsTest, EveryOptionIsRead) {
    const CliParseResult r = parse({"--device",      "/dev/pts/7", "--output",      "/tmp/runs",
                                    "--description", "Track day",  "--delimiter",   "semicolon",
                                    "--cal-laps",    "3",          "--auto-cal",    "off",
                                    "--laps",        "4",          "--duration",    "90.5",
                                    "--no-log",      "--verbose",  "--network-key", "0123456789ABCDEF",
                                    "--rider",       "4660",       "--baud",        "50000",
                                    "--record",      "stick.txt"});
    ASSERT_EQ(r.action, CliParseResult::Action::run) << r.text.toStdString();
    const CliOptions& o = r.options;
    EXPECT_EQ(o.scanner.devicePath, "/dev/pts/7");
    EXPECT_FALSE(o.scanner.simulate);
    EXPECT_EQ(o.scanner.networkKey, (ANTNetworkKey{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}));
    EXPECT_EQ(o.scanner.baudRate, 50000u);
    EXPECT_EQ(o.outputFolder, "/tmp/runs");
    EXPECT_EQ(o.description, "Track day");
    EXPECT_EQ(o.delimiter, CSVDelimiterOption::semicolon);
    EXPECT_EQ(o.calLaps, 3);
    EXPECT_EQ(o.autoCal, false);
    EXPECT_EQ(o.laps, 4);
    EXPECT_EQ(o.durationSeconds, 90.5);
    EXPECT_TRUE(o.noLog);
    EXPECT_TRUE(o.verbose);
    EXPECT_EQ(o.rider, std::uint16_t{4660});
    EXPECT_EQ(o.scanner.recordPath, "stick.txt");
    EXPECT_TRUE(o.scanner.replayPath.isEmpty());

    const CliParseResult replay = parse({"--replay", "stick.txt", "--replay-fast"});
    ASSERT_EQ(replay.action, CliParseResult::Action::run) << replay.text.toStdString();
    EXPECT_EQ(replay.options.scanner.replayPath, "stick.txt");
    EXPECT_TRUE(replay.options.scanner.replayFast);
}

TEST(CliOptionsTest, DefaultsLeaveSettingsAloneAndUseTheANTPlusKey) {
    const CliParseResult r = parse({"--simulate"});
    ASSERT_EQ(r.action, CliParseResult::Action::run);
    EXPECT_TRUE(r.options.scanner.simulate);
    EXPECT_EQ(r.options.scanner.networkKey, kDefaultANTNetworkKey);
    EXPECT_FALSE(r.options.outputFolder || r.options.delimiter || r.options.calLaps || r.options.autoCal ||
                 r.options.laps || r.options.durationSeconds);
    EXPECT_FALSE(r.options.noLog || r.options.verbose);
}

TEST(CliOptionsTest, HelpAndVersion) {
    const CliParseResult help = parse({"--help"});
    EXPECT_EQ(help.action, CliParseResult::Action::help);
    for (const char* option : {"--device", "--simulate", "--network-key", "--baud", "--record", "--replay",
                               "--output", "--laps", "--duration"}) {
        EXPECT_TRUE(help.text.contains(QLatin1StringView(option))) << option;
    }
    const CliParseResult version = parse({"--version"});
    EXPECT_EQ(version.action, CliParseResult::Action::version);
    EXPECT_TRUE(version.text.startsWith("lap-logger-cli "));
}

TEST(CliOptionsTest, CompareTakesAFolderABaselineAndJson) {
    const CliParseResult r = parse({"--compare", "/tmp/runs", "--baseline", " helmet A ", "--json"});
    ASSERT_EQ(r.action, CliParseResult::Action::compare) << r.text.toStdString();
    EXPECT_EQ(r.options.compareFolder, "/tmp/runs");
    EXPECT_EQ(r.options.baseline, "helmet A");
    EXPECT_TRUE(r.options.json);
    EXPECT_FALSE(parse({"--compare", "/tmp/runs"}).options.json);
}

TEST(CliOptionsTest, BadUsageIsRefusedWithAMessage) {
    const std::vector<QStringList> bad = {
        {"--bogus"},
        {"stray"},
        {"--device"},
        {"--simulate", "--device", "/dev/ttyUSB0"},
        {"--network-key", "B9A521FBBD72C3"},
        {"--delimiter", "tab"},
        {"--cal-laps", "-1"},
        {"--auto-cal", "yes"},
        {"--laps", "0"},
        {"--duration", "0"},
        {"--output", " "},
        {"--compare", " "},
        {"--json"},
        {"--baseline", "A"},
        {"--rider", "65536"},
        {"--rider", "Anna"},
        {"--baud", "100"},
        {"--record", ""},
        {"--replay-fast"},
        {"--replay", "stick.txt", "--simulate"},
        {"--replay", "stick.txt", "--device", "/dev/ttyUSB0"},
    };
    for (const QStringList& args : bad) {
        const CliParseResult r = parse(args);
        EXPECT_EQ(r.action, CliParseResult::Action::usageError) << args.join(' ').toStdString();
        EXPECT_FALSE(r.text.isEmpty()) << args.join(' ').toStdString();
    }
}

} // namespace
} // namespace draftwell::test
