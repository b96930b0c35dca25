#pragma once

#include <cstdint>
#include <set>

namespace antsim {

// A set of host command message IDs that a fault applies to ("all" or a list).
struct CommandSet {
    bool all = false;
    std::set<std::uint8_t> ids;

    bool empty() const { return !all && ids.empty(); }
    bool contains(std::uint8_t id) const { return all || ids.count(id) != 0; }
};

} // namespace antsim
