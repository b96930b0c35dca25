#pragma once

#include <QString>

namespace draftwell {

// The program's version for titles and --version: the build's project
// version, or "1.0" when the build carries none.
struct AppVersion {
    static QString current();
    static QString orDefault(const QString& candidate);
};

} // namespace draftwell
