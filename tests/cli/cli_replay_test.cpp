// Recordings of the exchange with a stick played back through lap-logger-cli: the real library, bridge and
// service give the same laps and the same file. Line 1 of a run file is its start time and differs.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include "tests/support/program_run.h"

namespace draftwell::test {
namespace {

const QString kCli = QStringLiteral(LAP_LOGGER_CLI_PATH);

QString readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QString withoutStartTime(const QString& csv) {
    return csv.mid(csv.indexOf(QLatin1Char('\n')) + 1);
}

QStringList lapLines(const QString& out) {
    return out.split(QLatin1Char('\n')).filter(QRegularExpression(QStringLiteral("^Lap \\d+ complete")));
}

class CliReplayTest : public ::testing::Test {
  protected:
    // One run of the logger writing into a fresh folder; the run file's text, or empty.
    QString runLogger(QStringList args, ProgramRun& run) {
        QTemporaryDir output;
        args << QStringLiteral("--output") << output.path() << QStringLiteral("--description")
             << QStringLiteral("replayed");
        run = runProgram(kCli, args, home.path());
        return readAll(QDir(output.path()).filePath(QStringLiteral("Run_001.csv")));
    }

    // Serves a virtual stick on a pseudo-terminal; its path, or empty.
    QString startSimulator() {
        sim.start(QStringLiteral(ANT_STICK_SIM_PATH),
                  {QStringLiteral("--lap-interval"), QStringLiteral("1")});
        if (!sim.waitForStarted(5000) || !QTest::qWaitFor([this] { return sim.canReadLine(); }, 10000)) {
            return {};
        }
        return QString::fromUtf8(sim.readLine()).trimmed();
    }

    void TearDown() override {
        if (sim.state() != QProcess::NotRunning) {
            sim.kill();
            sim.waitForFinished(5000);
        }
    }

    QTemporaryDir home;
    QProcess sim;
};

// The recordings kept with the tests: the virtual stick in the program, and a serial-port stick (the
// simulator on a pseudo-terminal). The run file each gave when it was recorded is kept beside it.
struct KeptRecording {
    const char* name;
    const char* laps;
};

class CliKeptRecordingTest : public CliReplayTest, public ::testing::WithParamInterface<KeptRecording> {};

TEST_P(CliKeptRecordingTest, ReplaysToItsRunFile) {
    const QString data = QStringLiteral(DRAFTWELL_TEST_DATA_DIR "/") + QLatin1StringView(GetParam().name);
    ProgramRun run;
    const QString csv = runLogger({QStringLiteral("--replay"), data + QStringLiteral(".recording.txt"),
                                   QStringLiteral("--replay-fast"), QStringLiteral("--laps"),
                                   QLatin1StringView(GetParam().laps)},
                                  run);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0) << run.out.toStdString() << run.err.toStdString();
    const QString expected = withoutStartTime(readAll(data + QStringLiteral(".csv")))
                                 .replace(QRegularExpression(QStringLiteral("^Description: [^\n]*")),
                                          QStringLiteral("Description: replayed"));
    EXPECT_EQ(withoutStartTime(csv), expected);
}

INSTANTIATE_TEST_SUITE_P(Kinds, CliKeptRecordingTest,
                         ::testing::Values(KeptRecording{"virtual-stick", "1"},
                                           KeptRecording{"serial-port-stick", "3"}),
                         [](const ::testing::TestParamInfo<KeptRecording>& p) {
                             return QString::fromLatin1(p.param.name).remove(QLatin1Char('-')).toStdString();
                         });

// Records a session and replays it: the virtual stick in the program (false) or the simulator on a
// pseudo-terminal as a serial-port stick (true).
class CliRecordAndReplayTest : public CliReplayTest, public ::testing::WithParamInterface<bool> {};

TEST_P(CliRecordAndReplayTest, ReplaysToTheSameLapsAndFile) {
    QStringList source{QStringLiteral("--simulate")};
    if (GetParam()) {
        const QString pty = startSimulator();
        ASSERT_FALSE(pty.isEmpty());
        source = QStringList{QStringLiteral("--device"), pty};
    }
    const QString laps = QStringLiteral("1");
    const QString recording = home.filePath(QStringLiteral("stick.txt"));
    ProgramRun recorded;
    const QString recordedCsv =
        runLogger(source + QStringList{QStringLiteral("--laps"), laps, QStringLiteral("--record"), recording},
                  recorded);
    ASSERT_EQ(recorded.exitCode, 0) << recorded.out.toStdString() << recorded.err.toStdString();

    ProgramRun replayed;
    const QString replayedCsv = runLogger({QStringLiteral("--replay"), recording,
                                           QStringLiteral("--replay-fast"), QStringLiteral("--laps"), laps},
                                          replayed);
    EXPECT_EQ(replayed.exitCode, 0) << replayed.err.toStdString();
    EXPECT_EQ(lapLines(recorded.out).size(), laps.toInt());
    EXPECT_EQ(lapLines(replayed.out), lapLines(recorded.out));
    EXPECT_FALSE(recordedCsv.isEmpty());
    EXPECT_EQ(withoutStartTime(replayedCsv), withoutStartTime(recordedCsv));
}

INSTANTIATE_TEST_SUITE_P(Kinds, CliRecordAndReplayTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& p) {
                             return std::string(p.param ? "serialportstick" : "virtualstick");
                         });

TEST_F(CliReplayTest, ProgramThatSendsSomethingElseFailsTheReplay) {
    ProgramRun run;
    runLogger({QStringLiteral("--replay"),
               QStringLiteral(DRAFTWELL_TEST_DATA_DIR "/virtual-stick.recording.txt"),
               QStringLiteral("--replay-fast"), QStringLiteral("--network-key"),
               QStringLiteral("0102030405060708")},
              run);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("lap-logger-cli: Replay differs at event 4 (line 6, ")))
        << run.err.toStdString();
    EXPECT_TRUE(
        run.err.contains(QStringLiteral("expected the program to send A4 09 46 00 B9 A5 21 FB BD 72 C3 45 "
                                        "64 00 00, it sent A4 09 46 00 01 02 03")))
        << run.err.toStdString();
}

TEST_F(CliReplayTest, StickThatDoesNotOpenGetsTheReportHint) {
    const QString recording = home.filePath(QStringLiteral("stick.txt"));
    QFile file(recording);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("draftwell-stick-recording 1\n0 open-failed 1 0FCF 1009 57600 ANT USBStick2\n");
    file.close();
    const QString hint = QStringLiteral(
        "To report this, run: lap-logger-cli --record stick.txt --duration 30 and attach stick.txt.");
    ProgramRun run;
    runLogger({QStringLiteral("--replay"), recording}, run);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, QStringLiteral("No ANT device found.\nTry replugging the ANT dongle.\n") + hint +
                           QLatin1Char('\n'));
}

} // namespace
} // namespace draftwell::test
