#pragma once

#include <QString>

#include <cstdint>
#include <optional>

#include "bridge/ant_network_key.h"

class QCommandLineParser;

namespace draftwell {

// The stick options shared by the desktop program and the headless logger:
//   --simulate          the built-in virtual stick with one simulated Garmin
//   --device PATH       the serial port at PATH (a stick's tty or a pseudo-terminal) as device 0
//   --network-key HEX   16 hex digits, for transmitters outside the ANT+ network
//   --baud N            talk to the stick at N baud only (else the setting <identifier>.baudRate,
//                       else the stick's own rate with the other usual rates as fallback)
//   --record FILE       also write the exchange with the stick to FILE
//   --replay FILE       a recording played back as the stick (--replay-fast: without its pauses)
struct ScannerProgramOptions {
    bool simulate = false;
    QString devicePath; // empty: the attached sticks
    ANTNetworkKey networkKey = kDefaultANTNetworkKey;
    std::optional<std::uint32_t> baudRate; // none: chosen per stick
    QString recordPath;                    // empty: no recording
    QString replayPath;                    // empty: no replay
    bool replayFast = false;

    // Adds the options to a parser.
    static void addTo(QCommandLineParser& parser);
    // Reads them from a parser that has parsed the command line. A bad key or two
    // stick sources at once (--simulate, --device, --replay) give nothing and a message in `error`.
    static std::optional<ScannerProgramOptions> readFrom(const QCommandLineParser& parser, QString& error);
};

} // namespace draftwell
