#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

namespace draftwell::test {

// What a program run to its end printed and returned.
struct ProgramRun {
    bool finished = false; // within the bound
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs `program` with HOME and XDG_CONFIG_HOME under `home`, so that it uses settings of its own, and waits
// up to `timeoutMs` for it to end (killed past that).
inline ProgramRun runProgram(const QString& program, const QStringList& args, const QString& home,
                             int timeoutMs = 60000) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
    process.setProcessEnvironment(env);
    process.start(program, args);
    ProgramRun run;
    run.finished = process.waitForStarted(5000) && process.waitForFinished(timeoutMs);
    if (!run.finished) {
        process.kill();
        process.waitForFinished(5000);
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

} // namespace draftwell::test
