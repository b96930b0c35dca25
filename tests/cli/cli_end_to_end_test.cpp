// lap-logger-cli as a separate process against ant-stick-sim, also a separate process.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

namespace draftwell::test {
namespace {

class CliEndToEndTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(home.isValid());
        ASSERT_TRUE(output.isValid());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        // Its own settings, not the user's.
        env.insert(QStringLiteral("HOME"), home.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
        cli.setProcessEnvironment(env);
        cli.setProcessChannelMode(QProcess::SeparateChannels);
    }

    void TearDown() override {
        for (QProcess* process : {&cli, &sim}) {
            if (process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished(5000);
            }
        }
    }

    // Starts the simulator and returns the pseudo-terminal it serves.
    QString startSimulator(const QStringList& scenario = {}) {
        sim.start(QStringLiteral(ANT_STICK_SIM_PATH), scenario);
        if (!sim.waitForStarted(5000)) {
            return {};
        }
        if (!QTest::qWaitFor([this] { return sim.canReadLine(); }, 10000)) {
            return {};
        }
        return QString::fromUtf8(sim.readLine()).trimmed();
    }

    void startCli(const QStringList& args) {
        cli.start(QStringLiteral(LAP_LOGGER_CLI_PATH), args);
        ASSERT_TRUE(cli.waitForStarted(5000));
    }

    // Gathers the logger's output until `condition` holds on it, up to the bound.
    bool waitForOutput(const std::function<bool(const QString&)>& condition, int timeoutMs = 30000) {
        return QTest::qWaitFor(
            [&] {
                stdoutText += QString::fromUtf8(cli.readAllStandardOutput());
                return condition(stdoutText);
            },
            timeoutMs);
    }

    bool waitForExit(int timeoutMs = 30000) {
        const bool done = QTest::qWaitFor([this] { return cli.state() == QProcess::NotRunning; }, timeoutMs);
        stdoutText += QString::fromUtf8(cli.readAllStandardOutput());
        return done;
    }

    QTemporaryDir home;
    QTemporaryDir output;
    QProcess sim;
    QProcess cli;
    QString stdoutText;
};

TEST_F(CliEndToEndTest, LapsArriveAndSigintWritesTheFileAndExitsZero) {
    const QString pty = startSimulator();
    ASSERT_TRUE(pty.startsWith(QStringLiteral("/dev/"))) << pty.toStdString();
    startCli({QStringLiteral("--device"), pty, QStringLiteral("--output"), output.path(),
              QStringLiteral("--verbose")});

    ASSERT_TRUE(waitForOutput([](const QString& text) { return text.count(QStringLiteral("\nLap ")) >= 2; }))
        << stdoutText.toStdString() << cli.readAllStandardError().toStdString();
    ::kill(static_cast<pid_t>(cli.processId()), SIGINT);
    ASSERT_TRUE(waitForExit());
    EXPECT_EQ(cli.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(cli.exitCode(), 0) << stdoutText.toStdString();

    const QStringList lines = stdoutText.split(QLatin1Char('\n'));
    EXPECT_GE(lines.indexOf(QStringLiteral("Scanner opened.")), 0);
    EXPECT_GE(lines.indexOf(QStringLiteral("Opened log file.")), 0);
    EXPECT_TRUE(stdoutText.contains(QStringLiteral("\nRX [")));
    const long closedFile = lines.indexOf(QStringLiteral("Closed log file."));
    const long closedChannel = lines.indexOf(QStringLiteral("ANT Channel closed"));
    ASSERT_GE(closedFile, 0);
    EXPECT_LT(closedFile, closedChannel);
    EXPECT_TRUE(stdoutText.contains(QStringLiteral("\nSession summary: Laps ")));

    const QStringList files = QDir(output.path()).entryList({QStringLiteral("Run_*.csv")}, QDir::Files);
    ASSERT_EQ(files, QStringList{QStringLiteral("Run_001.csv")});
    QFile csv(QDir(output.path()).filePath(files.front()));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(csv.readAll());
    EXPECT_GE(text.count(QStringLiteral("\nX,")), 2) << text.toStdString();
}

TEST_F(CliEndToEndTest, AKilledRunWithTwoGarminsRecoversEveryRidersFile) {
    const QString pty = startSimulator({QStringLiteral("--transmitters"), QStringLiteral("2"),
                                        QStringLiteral("--lap-interval"), QStringLiteral("0.4"),
                                        QStringLiteral("--broadcast-rate"), QStringLiteral("20")});
    ASSERT_TRUE(pty.startsWith(QStringLiteral("/dev/"))) << pty.toStdString();
    const QDir out(output.path());
    const QStringList files{QStringLiteral("Run_001.csv"), QStringLiteral("Run_001_rider-12346.csv")};
    const auto journal = [&](const QString& file) {
        QFile f(out.filePath(u'.' + file + QStringLiteral(".journal")));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    startCli({QStringLiteral("--device"), pty, QStringLiteral("--output"), output.path()});
    // Two laps of each rider journaled, then the power goes.
    ASSERT_TRUE(waitForOutput([&](const QString&) {
        return journal(files[0]).contains("\nlap\t1\t") && journal(files[1]).contains("\nlap\t1\t");
    })) << stdoutText.toStdString();
    ::kill(static_cast<pid_t>(cli.processId()), SIGKILL);
    ASSERT_TRUE(waitForExit());

    stdoutText.clear();
    startCli({QStringLiteral("--device"), pty, QStringLiteral("--output"), output.path(),
              QStringLiteral("--laps"), QStringLiteral("1")});
    ASSERT_TRUE(waitForExit());
    EXPECT_EQ(cli.exitCode(), 0) << stdoutText.toStdString();
    for (const QString& file : files) {
        EXPECT_TRUE(stdoutText.contains(QStringLiteral("Recovered %1 with ").arg(file)))
            << stdoutText.toStdString();
        QFile csv(out.filePath(file));
        ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
        EXPECT_GE(csv.readAll().count("\nX,"), 2) << file.toStdString();
    }
    EXPECT_TRUE(QFile::exists(out.filePath(QStringLiteral("Run_002.csv"))));
    EXPECT_TRUE(out.entryList({QStringLiteral(".*")}, QDir::Files | QDir::Hidden).isEmpty());
}

TEST_F(CliEndToEndTest, SimulatedStickStopsAtTheLapCount) {
    startCli({QStringLiteral("--simulate"), QStringLiteral("--laps"), QStringLiteral("1"),
              QStringLiteral("--no-log")});
    ASSERT_TRUE(waitForExit(60000));
    EXPECT_EQ(cli.exitCode(), 0) << stdoutText.toStdString();
    EXPECT_TRUE(stdoutText.contains(QStringLiteral("\nLap 1 complete")));
    EXPECT_FALSE(stdoutText.contains(QStringLiteral("Opened log file.")));
    EXPECT_TRUE(QDir(output.path()).isEmpty());
}

TEST_F(CliEndToEndTest, PortThatIsNoStickFailsWithExitOne) {
    startCli({QStringLiteral("--device"), home.filePath(QStringLiteral("no-such-tty"))});
    ASSERT_TRUE(waitForExit());
    EXPECT_EQ(cli.exitCode(), 1);
    EXPECT_EQ(stdoutText, QStringLiteral("No ANT device found.\nTry replugging the ANT dongle.\n"));
}

// Every run whose stick or run file failed ends non-zero, and the failure's
// line comes before the session summary.
TEST_F(CliEndToEndTest, FailuresGiveTheirExitStatus) {
    QFile notAFolder(home.filePath(QStringLiteral("not-a-folder")));
    ASSERT_TRUE(notAFolder.open(QIODevice::WriteOnly));
    struct Case {
        const char* name;
        QStringList simulator; // no stick when empty
        QStringList options;
        rlim_t fileSizeLimit; // bytes any file may reach; 0 for none
        int exitCode;
        QString failure;
    };
    const QStringList stopAtOnce{QStringLiteral("--duration"), QStringLiteral("0.001")};
    const QStringList oneLap{QStringLiteral("--laps"), QStringLiteral("1")};
    const QStringList fastLaps{QStringLiteral("--broadcast-rate"), QStringLiteral("20")};
    const std::vector<Case> cases{
        {"stop while opening no stick", {}, stopAtOnce, 0, 1, QStringLiteral("No ANT device found.")},
        {"stop while opening a stick that refuses",
         {QStringLiteral("--refuse"), QStringLiteral("46")},
         stopAtOnce,
         0,
         1,
         QStringLiteral("Failed to open scanner.")},
        {"output folder is a file", fastLaps,
         oneLap + QStringList{QStringLiteral("--output"), notAFolder.fileName()}, 0, 3,
         QStringLiteral("Failed to create output directory.")},
        {"file size limit", fastLaps, oneLap, 40, 4, QStringLiteral("Failed to close file.")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QStringList args = c.options;
        if (c.simulator.isEmpty()) {
            args << QStringLiteral("--device") << home.filePath(QStringLiteral("no-such-tty"));
        } else {
            sim.start(QStringLiteral(ANT_STICK_SIM_PATH), c.simulator);
            ASSERT_TRUE(sim.waitForStarted(5000));
            ASSERT_TRUE(QTest::qWaitFor([this] { return sim.canReadLine(); }, 10000));
            args << QStringLiteral("--device") << QString::fromUtf8(sim.readLine()).trimmed();
        }
        if (!args.contains(QStringLiteral("--output"))) {
            args << QStringLiteral("--output") << output.path();
        }
        const rlim_t limit = c.fileSizeLimit;
        cli.setChildProcessModifier([limit] {
            if (limit > 0) {
                ::signal(SIGXFSZ, SIG_IGN); // a failed write, not a killed process
                const rlimit lowered{limit, limit};
                ::setrlimit(RLIMIT_FSIZE, &lowered);
            }
        });
        stdoutText.clear();
        startCli(args);
        ASSERT_TRUE(waitForExit(60000));
        EXPECT_EQ(cli.exitCode(), c.exitCode) << stdoutText.toStdString();
        const QStringList lines = stdoutText.split(QLatin1Char('\n'));
        const auto summary = std::find_if(lines.begin(), lines.end(), [](const QString& l) {
            return l.startsWith(QStringLiteral("Session summary"));
        });
        EXPECT_LT(lines.indexOf(c.failure), summary - lines.begin()) << stdoutText.toStdString();
        EXPECT_GE(lines.indexOf(c.failure), 0);
        sim.kill();
        sim.waitForFinished(5000);
    }
}

TEST_F(CliEndToEndTest, UsageErrorExitsTwo) {
    startCli({QStringLiteral("--laps"), QStringLiteral("none")});
    ASSERT_TRUE(waitForExit());
    EXPECT_EQ(cli.exitCode(), 2);
    EXPECT_TRUE(QString::fromUtf8(cli.readAllStandardError()).contains(QStringLiteral("--laps")));
}

} // namespace
} // namespace draftwell::test
