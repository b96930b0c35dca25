// Leaves arbitrary bytes as the journal of a run that never stopped and
// recovers the folder: recovery never crashes, writes nothing but the run file
// it may create, and a run file it writes reads back as a run.
#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "app/run_file_reader.h"
#include "app/run_recovery.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/fuzz/fuzz_environment.h"

namespace {

constexpr const char* kJournalName = ".Run_001.csv.journal";
constexpr const char* kRunName = "Run_001.csv";

QString folder;
std::string folderPath;

// The harness's own file work goes straight to the system: through QDir and
// QFile it cost as much as the recovery it checks.
void writeJournal(const std::uint8_t* data, std::size_t size) {
    const std::string path = folderPath + '/' + kJournalName;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    FUZZ_CHECK(fd >= 0, "cannot write the journal: %s", std::strerror(errno));
    std::size_t written = 0;
    while (written < size) {
        const ssize_t n = ::write(fd, data + written, size - written);
        FUZZ_CHECK(n > 0, "cannot write the journal: %s", std::strerror(errno));
        written += static_cast<std::size_t>(n);
    }
    ::close(fd);
}

// Whether the run file is there; anything but it and the journal is a finding.
bool runFileLeft() {
    DIR* dir = ::opendir(folderPath.c_str());
    FUZZ_CHECK(dir != nullptr, "cannot list %s", folderPath.c_str());
    bool run = false;
    while (const dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0 ||
            std::strcmp(name, kJournalName) == 0) {
            continue;
        }
        FUZZ_CHECK(std::strcmp(name, kRunName) == 0, "recovery left \"%s\"", name);
        run = true;
    }
    ::closedir(dir);
    return run;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // One folder for the whole process: each input starts it over with only its journal.
    folder = draftwell::fuzz::FuzzEnvironment::setUp().root() + QStringLiteral("/recovery");
    folderPath = QFile::encodeName(folder).toStdString();
    FUZZ_CHECK(::mkdir(folderPath.c_str(), 0755) == 0 || errno == EEXIST, "cannot make %s",
               folderPath.c_str());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string runPath = folderPath + '/' + kRunName;
    FUZZ_CHECK(::unlink(runPath.c_str()) == 0 || errno == ENOENT, "cannot remove %s", runPath.c_str());
    writeJournal(data, size);
    const QStringList lines = draftwell::RunRecovery::recoverFolder(folder);
    FUZZ_CHECK(!lines.isEmpty(), "a journal was found but nothing was said about it");

    if (runFileLeft()) {
        QFile run(QString::fromStdString(runPath));
        FUZZ_CHECK(run.open(QIODevice::ReadOnly), "the recovered run cannot be read");
        QString reason;
        FUZZ_CHECK(draftwell::RunFileReader::parse(run.readAll(), reason).has_value(),
                   "the recovered run does not read back: %s", qUtf8Printable(reason));
    }
    return 0;
}
