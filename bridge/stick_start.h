#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace draftwell {

// Bringing the library up on the stick at a rate it understands: ANT_Init and a reset at each
// rate in turn until the stick's startup message comes back.
struct StickStart {
    enum class Outcome { answered, initFailed, resetFailed, noAnswer };
    Outcome outcome = Outcome::noAnswer;
    std::uint32_t baudRate = 0; // the rate that answered
};

// A forced rate alone; else the rate of device 0 by its product, then the other usual rates.
std::vector<std::uint32_t> stickBaudRates(std::optional<std::uint32_t> forced);

enum class ResetOutcome { answered, notWritten, noAnswer };

// On an initialised library: a reset, a wait of up to `settleMs` for the startup message and,
// when it came, a sleep for the rest of `settleMs`.
ResetOutcome resetAndSettle(std::uint32_t settleMs);

// Tries the rates in order. Each try waits up to `settleMs` for the startup message and, when it
// comes, sleeps the rest of `settleMs`. `closeLibrary` runs after a try that got no answer and
// after a failed reset; after noAnswer the library is closed, after answered it is open.
StickStart startStick(const std::vector<std::uint32_t>& rates, std::uint32_t settleMs,
                      const std::function<void()>& closeLibrary);

// The log line for a stick that answered at none of `rates`.
QString noAnswerLine(const std::vector<std::uint32_t>& rates, bool forced);

} // namespace draftwell
