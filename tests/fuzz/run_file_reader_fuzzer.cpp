// Writes arbitrary bytes as the one run file of a folder and reads the folder
// back: the reader never crashes, a skipped file says why, and a file it reads
// holds well-formed laps and agrees with parsing the same bytes directly.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "app/run_file_reader.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/fuzz/fuzz_environment.h"

namespace {

using draftwell::RunFileReader;

QString folder;
QString runPath;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // One folder for the whole process: each input only rewrites its file.
    folder = draftwell::fuzz::FuzzEnvironment::setUp().root() + QStringLiteral("/runs");
    QDir().mkpath(folder);
    runPath = folder + QStringLiteral("/Run_001.csv");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    {
        QFile file(runPath);
        FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size(),
                   "cannot write %s", qUtf8Printable(runPath));
    }
    const draftwell::RunFolderContents contents = RunFileReader::readFolder(folder);
    FUZZ_CHECK(contents.runs.size() + contents.skipped.size() == 1, "%zu runs and %zu skipped for one file",
               contents.runs.size(), contents.skipped.size());
    QString reason;
    const auto parsed = RunFileReader::parse(bytes, reason);
    FUZZ_CHECK(parsed.has_value() == (contents.runs.size() == 1), "parsing and reading the folder disagree");
    if (!parsed) {
        FUZZ_CHECK(!reason.isEmpty(), "a file that is not a run has no reason");
        FUZZ_CHECK(contents.skipped[0].fileName == QStringLiteral("Run_001.csv"), "skipped \"%s\"",
                   qUtf8Printable(contents.skipped[0].fileName));
        FUZZ_CHECK(contents.skipped[0].reason == reason, "reasons differ: \"%s\" and \"%s\"",
                   qUtf8Printable(contents.skipped[0].reason), qUtf8Printable(reason));
        return 0;
    }
    const draftwell::RunFile& run = contents.runs[0];
    FUZZ_CHECK(run.fileName == QStringLiteral("Run_001.csv"), "read \"%s\"", qUtf8Printable(run.fileName));
    FUZZ_CHECK(run.start.has_value() && run.start->isValid(), "a run without a start time");
    FUZZ_CHECK(!run.delimiter.isEmpty(), "a run without a delimiter");
    FUZZ_CHECK(run.configuration == run.configuration.trimmed(), "the description is not trimmed");
    FUZZ_CHECK(run.laps.size() == parsed->laps.size(), "%zu laps read, %zu parsed", run.laps.size(),
               parsed->laps.size());
    for (std::size_t i = 0; i < run.laps.size(); ++i) {
        const draftwell::RunFileLap& lap = run.laps[i];
        FUZZ_CHECK(!std::isnan(lap.lapTime), "lap %zu has no lap time", i);
        const draftwell::RunFileLap& same = parsed->laps[i];
        FUZZ_CHECK(lap.use == same.use && lap.lap == same.lap && lap.lapTime == same.lapTime &&
                       (lap.cdACal == same.cdACal || (std::isnan(lap.cdACal) && std::isnan(same.cdACal))),
                   "lap %zu differs between reading and parsing", i);
    }
    return 0;
}
