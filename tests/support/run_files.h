#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>

namespace draftwell::test {

// The header row a run file has with "," between fields.
inline const QByteArray kHeader = "Flag,Lap,CdACal,Cal,CdARaw,Time,Dist,Speed,Power,Head,Chest\n";

inline QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

inline QString journalOf(const QString& folder, const QString& runFile = QStringLiteral("Run_001.csv")) {
    return QDir(folder).filePath(u'.' + runFile + QStringLiteral(".journal"));
}

// The hidden files of a folder: journals and temporary files.
inline QStringList hiddenFiles(const QString& folder) {
    QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    names.removeIf([](const QString& n) { return !n.startsWith(u'.'); });
    return names;
}

// What a crash leaves on disk at this moment: the run file and its journal,
// copied into a folder of their own (the journal's lock does not come along).
inline QString crashCopy(const QString& folder, const QString& into,
                         const QString& runFile = QStringLiteral("Run_001.csv")) {
    QDir().mkpath(into);
    QFile::copy(QDir(folder).filePath(runFile), QDir(into).filePath(runFile));
    QFile::copy(journalOf(folder, runFile), journalOf(into, runFile));
    return into;
}

// The file without its last line.
inline QByteArray withoutLastLine(const QByteArray& file) {
    return file.left(file.lastIndexOf('\n', file.size() - 2) + 1);
}

} // namespace draftwell::test
