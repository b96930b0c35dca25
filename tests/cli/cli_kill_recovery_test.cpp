// lap-logger-cli killed with SIGKILL in the middle of a run, then started again.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace draftwell::test {
namespace {

class CliKillRecoveryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(home.isValid());
        ASSERT_TRUE(output.isValid());
    }

    void TearDown() override {
        if (cli.state() != QProcess::NotRunning) {
            cli.kill();
            cli.waitForFinished(5000);
        }
    }

    // Each run has a home of its own: the second one finds the run only when
    // it starts logging in the folder, not from a stored folder setting.
    void startCli(const QString& homeName, const QStringList& args) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home.filePath(homeName));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(homeName + QStringLiteral("/config")));
        cli.setProcessEnvironment(env);
        cli.setProcessChannelMode(QProcess::SeparateChannels);
        stdoutText.clear();
        cli.start(QStringLiteral(LAP_LOGGER_CLI_PATH), args);
        ASSERT_TRUE(cli.waitForStarted(5000));
    }

    bool waitFor(const std::function<bool()>& condition, int timeoutMs) {
        return QTest::qWaitFor(
            [&] {
                stdoutText += QString::fromUtf8(cli.readAllStandardOutput());
                return condition();
            },
            timeoutMs);
    }

    bool waitForExit(int timeoutMs) {
        const bool done = waitFor([this] { return cli.state() == QProcess::NotRunning; }, timeoutMs);
        stdoutText += QString::fromUtf8(cli.readAllStandardOutput());
        return done;
    }

    QByteArray read(const QString& name) const {
        QFile f(QDir(output.path()).filePath(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // Lap number and raw CdA of every "Lap n complete CdA x ..." line.
    static QList<std::pair<QString, double>> printedLaps(const QString& text) {
        static const QRegularExpression lapLine(QStringLiteral("^Lap (\\d+) complete CdA ([0-9.]+) "),
                                                QRegularExpression::MultilineOption);
        QList<std::pair<QString, double>> laps;
        for (auto it = lapLine.globalMatch(text); it.hasNext();) {
            const auto m = it.next();
            laps.append({m.captured(1), m.captured(2).toDouble()});
        }
        return laps;
    }

    QTemporaryDir home;
    QTemporaryDir output;
    QProcess cli;
    QString stdoutText;
};

TEST_F(CliKillRecoveryTest, AKilledRunIsRecoveredWhenLoggingStartsAgain) {
    const QString journal = QDir(output.path()).filePath(QStringLiteral(".Run_001.csv.journal"));
    startCli(QStringLiteral("first"),
             {QStringLiteral("--simulate"), QStringLiteral("--output"), output.path(),
              QStringLiteral("--description"), QStringLiteral("Kill test, run 1")});
    // Three laps in the journal, then the power goes.
    ASSERT_TRUE(
        waitFor([&] { return read(QStringLiteral(".Run_001.csv.journal")).contains("\nlap\t2\t"); }, 120000))
        << stdoutText.toStdString();
    ::kill(static_cast<pid_t>(cli.processId()), SIGKILL);
    ASSERT_TRUE(waitForExit(10000));
    EXPECT_EQ(cli.exitStatus(), QProcess::CrashExit);
    const auto printed = printedLaps(stdoutText);
    const QByteArray line1 = read(QStringLiteral("Run_001.csv"));
    // Nothing but the start time reached the run file itself.
    ASSERT_EQ(line1.count('\n'), 1) << line1.toStdString();
    ASSERT_TRUE(QFile::exists(journal));

    startCli(QStringLiteral("second"), {QStringLiteral("--simulate"), QStringLiteral("--output"),
                                        output.path(), QStringLiteral("--laps"), QStringLiteral("1")});
    ASSERT_TRUE(waitForExit(120000)) << stdoutText.toStdString();
    EXPECT_EQ(cli.exitCode(), 0) << stdoutText.toStdString();

    const QByteArray recovered = read(QStringLiteral("Run_001.csv"));
    const QList<QByteArray> lines = recovered.split('\n');
    ASSERT_GE(lines.size(), 6) << recovered.toStdString();
    EXPECT_EQ(lines.at(0) + '\n', line1);
    EXPECT_EQ(lines.at(1), "Description: Kill test, run 1");
    EXPECT_EQ(lines.at(2), "Flag,Lap,CdACal,Cal,CdARaw,Time,Dist,Speed,Power,Head,Chest");
    EXPECT_TRUE(recovered.endsWith('\n'));
    // Every journaled lap, in order; a lap printed in the last instant may
    // not have reached the journal before the kill.
    const qsizetype rows = lines.size() - 4;
    RecordProperty("lapsPrintedBeforeKill", static_cast<int>(printed.size()));
    RecordProperty("lapsRecovered", static_cast<int>(rows));
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
    EXPECT_FALSE(QFile::exists(journal));
    // The second run got a number of its own and was written normally.
    EXPECT_TRUE(read(QStringLiteral("Run_002.csv")).contains("\nX,"));
    EXPECT_TRUE(QDir(output.path()).entryList({QStringLiteral(".*")}, QDir::Files | QDir::Hidden).isEmpty());
}

} // namespace
} // namespace draftwell::test
