#pragma once

namespace draftwell {

// Reverse-DNS identifier: prefix of the settings keys and of the bridge's error domain.
inline constexpr char kApplicationIdentifier[] = "com.draftwell.LapLogger";
inline constexpr char kApplicationName[] = "Draftwell Lap Logger";

} // namespace draftwell
