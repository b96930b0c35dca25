// lap-logger-cli as a separate process against ant-stick-sim, also a separate process.
#include <QRegularExpression>

#include <csignal>
#include <sys/resource.h>

#include "tests/cli/cli_process.h"

namespace draftwell::test {
namespace {

using CliEndToEndTest = CliProcessTest;

// The power goes in the middle of a run with two Garmins; the next run, from another home so that only the
// folder it logs into leads it to the journals, recovers both riders' files, and ends at SIGINT with its own.
TEST_F(CliEndToEndTest, AKilledRunIsRecoveredForEveryRiderWhenLoggingStartsAgain) {
    const QString pty =
        startSimulator({"--transmitters", "2", "--lap-interval", "0.4", "--broadcast-rate", "20"});
    ASSERT_TRUE(pty.startsWith("/dev/")) << pty.toStdString();
    const QStringList files{"Run_001.csv", "Run_001_rider-12346.csv"};
    const auto journal = [&](const QString& file) { return read(u'.' + file + ".journal"); };
    startCli({"--device", pty, "--output", output().path(), "--description", "Kill test, run 1"}, "first");
    // Three laps of the followed rider journaled, two of the other.
    ASSERT_TRUE(waitForOutput([&](const QString&) {
        return journal(files[0]).contains("\nlap\t2\t") && journal(files[1]).contains("\nlap\t1\t");
    })) << stdoutText.toStdString();
    ::kill(static_cast<pid_t>(cli.processId()), SIGKILL);
    ASSERT_TRUE(waitForExit());
    EXPECT_EQ(cli.exitStatus(), QProcess::CrashExit);
    // Lap number and raw CdA of every "Lap n complete CdA x ..." line.
    QList<std::pair<QString, double>> printed;
    static const QRegularExpression lapLine("^Lap (\\d+) complete CdA ([0-9.]+) ",
                                            QRegularExpression::MultilineOption);
    for (auto it = lapLine.globalMatch(stdoutText); it.hasNext();) {
        const auto m = it.next();
        printed.append({m.captured(1), m.captured(2).toDouble()});
    }
    const QByteArray line1 = read(files[0]);
    // Nothing but the start time reached the run file itself.
    ASSERT_EQ(line1.count('\n'), 1) << line1.toStdString();

    startCli({"--device", pty, "--output", output().path(), "--verbose"}, "second");
    ASSERT_TRUE(waitForOutput([](const QString& text) { return text.count("\nLap ") >= 2; }))
        << stdoutText.toStdString() << cli.readAllStandardError().toStdString();
    ::kill(static_cast<pid_t>(cli.processId()), SIGINT);
    ASSERT_TRUE(waitForExit());
    EXPECT_EQ(cli.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(cli.exitCode(), 0) << stdoutText.toStdString();
    const QStringList printedLines = stdoutText.split('\n');
    EXPECT_GE(printedLines.indexOf("Scanner opened."), 0);
    EXPECT_TRUE(stdoutText.contains("\nRX ["));
    ASSERT_GE(printedLines.indexOf("Closed log file."), 0);
    EXPECT_LT(printedLines.indexOf("Closed log file."), printedLines.indexOf("ANT Channel closed"));
    EXPECT_TRUE(stdoutText.contains("\nSession summary: Laps "));
    const QByteArray recovered = read(files[0]);
    const QList<QByteArray> lines = recovered.split('\n');
    ASSERT_GE(lines.size(), 7) << recovered.toStdString();
    EXPECT_EQ(lines.at(0) + '\n', line1);
    EXPECT_EQ(lines.at(1), "Description: Kill test, run 1");
    EXPECT_EQ(lines.at(2), "Flag,Lap,CdACal,Cal,CdARaw,Time,Dist,Speed,Power,Head,Chest");
    EXPECT_TRUE(recovered.endsWith('\n'));
    // Every journaled lap, in order; a lap printed in the last instant may not have reached the journal.
    const qsizetype rows = lines.size() - 4;
    EXPECT_GE(rows, 3);
    EXPECT_LE(rows, printed.size());
    for (qsizetype i = 0; i < rows && i < printed.size(); ++i) {
        const QList<QByteArray> fields = lines.at(3 + i).split(',');
        ASSERT_EQ(fields.size(), 11) << lines.at(3 + i).toStdString();
        EXPECT_EQ(fields.at(0), "X");
        EXPECT_EQ(QString::fromUtf8(fields.at(1)), printed.at(i).first);
        EXPECT_NEAR(fields.at(4).toDouble(), printed.at(i).second, 0.00005);
    }
    EXPECT_TRUE(stdoutText.contains(QStringLiteral("Recovered Run_001.csv with %1 laps.\n").arg(rows)))
        << stdoutText.toStdString();
    EXPECT_TRUE(stdoutText.contains("Recovered Run_001_rider-12346.csv with ")) << stdoutText.toStdString();
    EXPECT_GE(read(files[1]).count("\nX,"), 2);
    // The second run got a number of its own and was written normally.
    EXPECT_GE(read("Run_002.csv").count("\nX,"), 2);
    EXPECT_TRUE(output().entryList({".*"}, QDir::Files | QDir::Hidden).isEmpty());
}

// Every run whose stick, run file or command line failed ends non-zero, and the failure's line comes first.
TEST_F(CliEndToEndTest, FailuresGiveTheirExitStatus) {
    QFile notAFolder(dir.filePath("not-a-folder"));
    ASSERT_TRUE(notAFolder.open(QIODevice::WriteOnly));
    const QString noStick = "No ANT device found.\nTry replugging the ANT dongle.\n";
    struct Case {
        const char* name;
        QStringList simulator; // no stick when empty
        QStringList options;
        int exitCode;
        QString failure{};        // a line of the output, before any session summary
        rlim_t fileSizeLimit = 0; // bytes any file may reach; 0 for none
        QString wholeOutput{};    // when set, all of it
    } const cases[] = {
        {"no stick", {}, {}, 1, "No ANT device found.", 0, noStick},
        {"no stick, stopped opening", {}, {"--duration", "0.001"}, 1, "No ANT device found."},
        {"refused, stopped", {"--refuse", "46"}, {"--duration", "0.001"}, 1, "Failed to open scanner."},
        {"output folder is a file",
         {"--broadcast-rate", "20"},
         {"--laps", "1", "--output", notAFolder.fileName()},
         3,
         "Failed to create output directory."},
        {"file size limit", {"--broadcast-rate", "20"}, {"--laps", "1"}, 4, "Failed to close file.", 40},
        {"usage error", {}, {"--laps", "none"}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QStringList args = c.options;
        args << "--device"
             << (c.simulator.isEmpty() ? dir.filePath("no-such-tty") : startSimulator(c.simulator));
        if (!args.contains("--output")) {
            args << "--output" << output().path();
        }
        const rlim_t limit = c.fileSizeLimit;
        cli.setChildProcessModifier([limit] {
            if (limit > 0) {
                ::signal(SIGXFSZ, SIG_IGN); // a failed write, not a killed process
                const rlimit lowered{limit, limit};
                ::setrlimit(RLIMIT_FSIZE, &lowered);
            }
        });
        startCli(args);
        ASSERT_TRUE(waitForExit());
        EXPECT_EQ(cli.exitCode(), c.exitCode) << stdoutText.toStdString();
        if (c.exitCode == 2) {
            EXPECT_TRUE(QString::fromUtf8(cli.readAllStandardError()).contains("--laps"));
        } else if (!c.wholeOutput.isEmpty()) {
            EXPECT_EQ(stdoutText, c.wholeOutput);
        } else {
            const QStringList lines = stdoutText.split('\n');
            EXPECT_GE(lines.indexOf(c.failure), 0) << stdoutText.toStdString();
            const qsizetype summary = lines.indexOf(QRegularExpression("^Session summary"));
            EXPECT_LT(lines.indexOf(c.failure), summary < 0 ? lines.size() : summary);
        }
        sim.kill();
        sim.waitForFinished(5000);
    }
}

} // namespace
} // namespace draftwell::test
