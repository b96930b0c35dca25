#pragma once

#include <QString>

namespace draftwell::fuzz {

// A private home folder and settings location under a fresh temporary
// folder, removed at exit, and a QCoreApplication for the process. Call once,
// from LLVMFuzzerInitialize, before anything reads settings or paths.
class FuzzEnvironment {
  public:
    static const FuzzEnvironment& setUp();

    const QString& root() const { return root_; }

  private:
    FuzzEnvironment() = default;

    QString root_;
};

// Puts -detect_leaks=0 first among libFuzzer's arguments, for targets whose
// objects live from input to input: libFuzzer takes any input that allocates
// more than it frees for a possible leak and scans the whole heap after it.
// LeakSanitizer still checks at exit, and -detect_leaks=1 given on the
// command line comes later and wins. Call from LLVMFuzzerInitialize.
void checkLeaksOnlyAtExit(int* argc, char*** argv);

} // namespace draftwell::fuzz
