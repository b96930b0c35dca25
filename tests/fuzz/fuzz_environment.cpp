#include "tests/fuzz/fuzz_environment.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QSettings>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace draftwell::fuzz {

namespace {

std::string rootPath;

void removeRoot() {
    std::error_code ignored;
    std::filesystem::remove_all(rootPath, ignored);
}

} // namespace

const FuzzEnvironment& FuzzEnvironment::setUp() {
    static FuzzEnvironment* environment = nullptr;
    if (environment != nullptr) {
        return *environment;
    }
    environment = new FuzzEnvironment;

    // Settings are written to disk on every run; in memory that costs little.
    const char* tmp = std::getenv("TMPDIR");
    std::string base = "/tmp";
    if (tmp != nullptr && *tmp != '\0') {
        base = tmp;
    } else if (::access("/dev/shm", W_OK | X_OK) == 0) {
        base = "/dev/shm";
    }
    std::string pattern = base + "/draftwell-fuzz-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        std::abort();
    }
    rootPath = pattern;
    std::atexit(removeRoot);
    environment->root_ = QString::fromStdString(rootPath);

    // Nothing may reach the user's own settings or Documents folder.
    const QString home = environment->root_ + QStringLiteral("/home");
    QDir().mkpath(home);
    qputenv("HOME", QFile::encodeName(home));
    qunsetenv("XDG_CONFIG_HOME");
    qunsetenv("XDG_DOCUMENTS_DIR");
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       environment->root_ + QStringLiteral("/settings"));

    // Qt keeps a reference to argc, so both live as long as the application.
    static int argc = 1;
    static char name[] = "draftwell-fuzz";
    static char* argv[] = {name, nullptr};
    new QCoreApplication(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("draftwell-fuzz"));
    QCoreApplication::setApplicationName(QStringLiteral("fuzz"));
    QLocale::setDefault(QLocale::c());

    return *environment;
}

void checkLeaksOnlyAtExit(int* argc, char*** argv) {
    static std::vector<char*> arguments(*argv, *argv + *argc);
    static char noLeakCheck[] = "-detect_leaks=0";
    arguments.insert(arguments.begin() + 1, noLeakCheck);
    arguments.push_back(nullptr);
    *argc += 1;
    *argv = arguments.data();
}

} // namespace draftwell::fuzz
