#pragma once

#include <QVariant>

#include <optional>

#include "tests/fuzz/byte_reader.h"

namespace draftwell::fuzz {

// Builds a QVariant of a type and value chosen by the input: scalars of every
// width, text (also broken UTF-16 and number-like or boolean-like words),
// bytes, lists, maps, dates and geometry. Empty means "no value stored".
std::optional<QVariant> makeVariant(ByteReader& input, int depth = 0);

} // namespace draftwell::fuzz
