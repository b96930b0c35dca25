#include "bridge/program_identity.h"

#include <QCoreApplication>

#include "app/app_identity.h"

namespace draftwell {

void applyProgramIdentity() {
    QCoreApplication::setOrganizationName(QStringLiteral("Draftwell"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("draftwell.com"));
    QCoreApplication::setApplicationName(QString::fromLatin1(kApplicationName));
}

} // namespace draftwell
