#pragma once

namespace draftwell {

// Organisation and application names of both programs, so that they share
// one settings file (QSettings). Call right after creating the application object.
void applyProgramIdentity();

} // namespace draftwell
