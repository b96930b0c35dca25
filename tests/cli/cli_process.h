#pragma once

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>

#include "tests/support/run_files.h"

namespace draftwell::test {

// lap-logger-cli, and ant-stick-sim serving a stick on a pseudo-terminal, as processes of their own. Each
// home (a folder under `dir`) gives the logger settings of its own, not the user's.
class CliProcessTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("out"))); }
    void TearDown() override {
        for (QProcess* process : {&cli, &sim}) {
            if (process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished(5000);
            }
        }
    }

    // The pseudo-terminal the simulator serves, or empty.
    QString startSimulator(const QStringList& scenario = {}) {
        sim.start(QStringLiteral(ANT_STICK_SIM_PATH), scenario);
        if (!sim.waitForStarted(5000) || !QTest::qWaitFor([this] { return sim.canReadLine(); }, 10000)) {
            return {};
        }
        return QString::fromUtf8(sim.readLine()).trimmed();
    }

    void startCli(const QStringList& args, const QString& home = QStringLiteral("home")) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), dir.filePath(home));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(home + QStringLiteral("/config")));
        cli.setProcessEnvironment(env);
        stdoutText.clear();
        cli.start(QStringLiteral(LAP_LOGGER_CLI_PATH), args);
        ASSERT_TRUE(cli.waitForStarted(5000));
    }

    // Gathers the logger's output until `condition` holds, up to the bound.
    bool waitForOutput(const std::function<bool(const QString&)>& condition, int timeoutMs = 30000) {
        return QTest::qWaitFor(
            [&] {
                stdoutText += QString::fromUtf8(cli.readAllStandardOutput());
                return condition(stdoutText);
            },
            timeoutMs);
    }

    bool waitForExit(int timeoutMs = 60000) {
        const bool done =
            waitForOutput([this](const QString&) { return cli.state() == QProcess::NotRunning; }, timeoutMs);
        stdoutText += QString::fromUtf8(cli.readAllStandardOutput());
        return done;
    }

    QByteArray read(const QString& name) const { return readFile(output().filePath(name)); }
    QDir output() const { return QDir(dir.filePath(QStringLiteral("out"))); }

    QTemporaryDir dir;
    QProcess sim;
    QProcess cli;
    QString stdoutText;
};

} // namespace draftwell::test
