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

} // namespace draftwell::fuzz
