#pragma once

#include <chrono>
#include <thread>

namespace draftwell::test {

// Waits until `condition` holds, checking every millisecond, for at most
// `bound`; true if it held. For threads without an event loop (where Qt runs,
// use QTest::qWaitFor).
template <typename Condition>
bool eventually(Condition condition, std::chrono::milliseconds bound = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace draftwell::test
