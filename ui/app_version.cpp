#include "ui/app_version.h"

#ifndef DRAFTWELL_VERSION
#define DRAFTWELL_VERSION ""
#endif

namespace draftwell {

QString AppVersion::current() {
    return orDefault(QStringLiteral(DRAFTWELL_VERSION));
}

QString AppVersion::orDefault(const QString& candidate) {
    const QString trimmed = candidate.trimmed();
    return trimmed.isEmpty() ? QStringLiteral("1.0") : trimmed;
}

} // namespace draftwell
