// Leaves arbitrary bytes as the journal of a run that never stopped and
// recovers the folder: recovery never crashes, writes nothing but the run file
// it may create, and a run file it writes reads back as a run.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>

#include "app/run_file_reader.h"
#include "app/run_recovery.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/fuzz/fuzz_environment.h"

namespace {

const QString kJournalName = QStringLiteral(".Run_001.csv.journal");
const QString kRunName = QStringLiteral("Run_001.csv");

QString folder;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // One folder for the whole process: each input starts it over with only its journal.
    folder = draftwell::fuzz::FuzzEnvironment::setUp().root() + QStringLiteral("/recovery");
    QDir().mkpath(folder);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    QDir dir(folder);
    dir.remove(kRunName);
    {
        QFile journal(dir.filePath(kJournalName));
        const qsizetype length = static_cast<qsizetype>(size);
        FUZZ_CHECK(journal.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                       journal.write(reinterpret_cast<const char*>(data), length) == length,
                   "cannot write the journal");
    }
    const QStringList lines = draftwell::RunRecovery::recoverFolder(folder);
    FUZZ_CHECK(!lines.isEmpty(), "a journal was found but nothing was said about it");

    const QStringList left =
        dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : left) {
        FUZZ_CHECK(name == kJournalName || name == kRunName, "recovery left \"%s\"", qUtf8Printable(name));
    }
    if (left.contains(kRunName)) {
        QFile run(dir.filePath(kRunName));
        FUZZ_CHECK(run.open(QIODevice::ReadOnly), "the recovered run cannot be read");
        QString reason;
        FUZZ_CHECK(draftwell::RunFileReader::parse(run.readAll(), reason).has_value(),
                   "the recovered run does not read back: %s", qUtf8Printable(reason));
    }
    return 0;
}
