#pragma once

#include <cstdint>
#include <string>

#include "sim/stick_frame.h"

namespace antsim {

// Short human name of a message ID, or an empty string for an unknown one.
std::string messageName(std::uint8_t id);

// One trace line for a frame: ID, name and payload bytes in hex.
std::string describeFrame(const StickFrame& frame);

} // namespace antsim
