#pragma once

#include <QStringList>

namespace draftwell {

// What discovery finds, one line per device number the program would use,
// with the reason when a stick is there but cannot be opened.
QStringList listDevices();

} // namespace draftwell
