// Recordings of the exchange with a stick played back through lap-logger-cli: the real library, bridge and
// service give the same laps and the same file. Line 1 of a run file is its start time and differs.
#include <QRegularExpression>

#include "tests/cli/cli_process.h"
#include "tests/support/program_run.h"
#include "tests/support/run_files.h"

namespace draftwell::test {
namespace {

const QString kData = QStringLiteral(DRAFTWELL_TEST_DATA_DIR "/");

QString withoutStartTime(const QByteArray& csv) {
    return QString::fromUtf8(csv.mid(csv.indexOf('\n') + 1));
}

QStringList lapLines(const QString& out) {
    return out.split('\n').filter(QRegularExpression("^Lap \\d+ complete"));
}

class CliReplayTest : public CliProcessTest {
  protected:
    // One run of the logger to its end, writing into a fresh folder; the run file's text after its start
    // time.
    QString runLogger(QStringList args, ProgramRun& run) {
        QTemporaryDir out;
        args << "--output" << out.path() << "--description"
             << "replayed";
        run = runProgram(QStringLiteral(LAP_LOGGER_CLI_PATH), args, dir.path());
        return withoutStartTime(readFile(QDir(out.path()).filePath("Run_001.csv")));
    }
};

// The recordings kept with the tests, the virtual stick in the program and a serial-port stick (the
// simulator on a pseudo-terminal), each with the run file it gave when it was recorded.
class CliKeptRecordingTest : public CliReplayTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(CliKeptRecordingTest, ReplaysToItsRunFile) {
    const QString data = kData + QLatin1StringView(GetParam());
    const QString expected = withoutStartTime(readFile(data + ".csv"));
    ASSERT_FALSE(expected.isEmpty());
    const QString laps = QString::number(expected.count("\nX,"));
    ProgramRun run;
    const QString csv =
        runLogger({"--replay", data + ".recording.txt", "--replay-fast", "--laps", laps}, run);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0) << run.out.toStdString() << run.err.toStdString();
    EXPECT_EQ(csv,
              QString(expected).replace(QRegularExpression("^Description: [^\n]*"), "Description: replayed"));
}

INSTANTIATE_TEST_SUITE_P(Kinds, CliKeptRecordingTest, ::testing::Values("virtual-stick", "serial-port-stick"),
                         [](const auto& p) {
                             return QString::fromLatin1(p.param).remove('-').toStdString();
                         });

// Records a session and replays it: the virtual stick in the program (false) or the simulator on a
// pseudo-terminal as a serial-port stick (true).
class CliRecordAndReplayTest : public CliReplayTest, public ::testing::WithParamInterface<bool> {};

TEST_P(CliRecordAndReplayTest, ReplaysToTheSameLapsAndFile) {
    QStringList source{"--simulate"};
    if (GetParam()) {
        const QString pty = startSimulator({"--lap-interval", "1"});
        ASSERT_FALSE(pty.isEmpty());
        source = QStringList{"--device", pty};
    }
    const QString recording = dir.filePath("stick.txt");
    ProgramRun recorded;
    const QString recordedCsv =
        runLogger(source + QStringList{"--laps", "1", "--record", recording}, recorded);
    ASSERT_EQ(recorded.exitCode, 0) << recorded.out.toStdString() << recorded.err.toStdString();

    ProgramRun replayed;
    const QString replayedCsv = runLogger({"--replay", recording, "--replay-fast", "--laps", "1"}, replayed);
    EXPECT_EQ(replayed.exitCode, 0) << replayed.err.toStdString();
    EXPECT_EQ(lapLines(recorded.out).size(), 1);
    EXPECT_EQ(lapLines(replayed.out), lapLines(recorded.out));
    EXPECT_FALSE(recordedCsv.isEmpty());
    EXPECT_EQ(replayedCsv, recordedCsv);
}

INSTANTIATE_TEST_SUITE_P(Kinds, CliRecordAndReplayTest, ::testing::Bool(), [](const auto& p) {
    return std::string(p.param ? "serialportstick" : "virtualstick");
});

TEST_F(CliReplayTest, ProgramThatSendsSomethingElseFailsTheReplay) {
    ProgramRun run;
    runLogger({"--replay", kData + "virtual-stick.recording.txt", "--replay-fast", "--network-key",
               "0102030405060708"},
              run);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("lap-logger-cli: Replay differs at event 4 (line 6, "))
        << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("expected the program to send A4 09 46 00 B9 A5 21 FB BD 72 C3 45 "
                                 "64 00 00, it sent A4 09 46 00 01 02 03"))
        << run.err.toStdString();
}

TEST_F(CliReplayTest, StickThatDoesNotOpenGetsTheReportHint) {
    const QString recording = dir.filePath("stick.txt");
    ASSERT_TRUE(
        writeFile(recording, "draftwell-stick-recording 1\n0 open-failed 1 0FCF 1009 57600 ANT USBStick2\n"));
    ProgramRun run;
    runLogger({"--replay", recording}, run);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out,
              "No ANT device found.\nTry replugging the ANT dongle.\nTo report this, run: lap-logger-cli "
              "--record stick.txt --duration 30 and attach stick.txt.\n");
}

} // namespace
} // namespace draftwell::test
