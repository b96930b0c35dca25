#pragma once

#include <QString>

namespace draftwell {

// The description as it goes into a run file: one line of valid UTF-8 that a
// quote-aware spreadsheet reads as text, not as the start of a quoted field
// running into the header. Line breaks and other control characters (tab
// excepted) become a space, a CR LF pair one space; double quotes become
// single quotes; a lone surrogate becomes U+FFFD. Everything else, separators
// included, is kept as typed.
QString csvDescriptionText(const QString& description);

// Any single line of a run file (start time, fields): line breaks and control
// characters become spaces and lone surrogates U+FFFD, so the line stays one
// line of valid UTF-8 whatever it came from.
QString csvLineText(const QString& text);

} // namespace draftwell
