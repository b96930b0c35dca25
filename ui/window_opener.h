#pragma once

#include <QString>

#include <functional>

namespace draftwell {

// Opens one of the shell's windows by its identifier, or brings it forward.
using WindowOpener = std::function<void(const QString& identifier)>;

inline constexpr char kLapDataWindowID[] = "lap-data-popout";
inline constexpr char kSettingsWindowID[] = "settings";
inline constexpr char kComparisonWindowID[] = "compare";

} // namespace draftwell
