#include "sim/scenario_arguments.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>

namespace antsim {

namespace {

using Duration = Scenario::Duration;

bool parseLong(const std::string& text, long min, long max, long& out) {
    if (text.empty()) {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 0);
    if (errno != 0 || end == text.c_str() || *end != '\0' || v < min || v > max) {
        return false;
    }
    out = v;
    return true;
}

// Seconds with an optional fraction, "2" or "0.5".
bool parseSeconds(const std::string& text, bool allowZero, Duration& out) {
    if (text.empty()) {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || end == text.c_str() || *end != '\0' || !std::isfinite(v) || v < 0 || v > 86400.0 ||
        (!allowZero && v <= 0)) {
        return false;
    }
    out = Duration(static_cast<Duration::rep>(std::llround(v * 1000.0)));
    return allowZero || out.count() > 0;
}

// "all", or a comma list of message IDs in hexadecimal ("46,0x5B").
bool parseCommandSet(const std::string& text, CommandSet& out) {
    CommandSet set;
    if (text == "all") {
        set.all = true;
        out = set;
        return true;
    }
    std::size_t start = 0;
    while (start <= text.size()) {
        const auto comma = text.find(',', start);
        const auto item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        const auto digits = item.rfind("0x", 0) == 0 || item.rfind("0X", 0) == 0 ? item.substr(2) : item;
        if (digits.empty() || digits.size() > 2) {
            return false;
        }
        char* end = nullptr;
        const long v = std::strtol(digits.c_str(), &end, 16);
        if (*end != '\0' || v < 0 || v > 0xFF) {
            return false;
        }
        set.ids.insert(static_cast<std::uint8_t>(v));
        if (comma == std::string::npos) {
            break;
        }
        start = comma + 1;
    }
    out = set;
    return true;
}

} // namespace

ScenarioArguments parseScenarioArguments(const std::vector<std::string>& args) {
    ScenarioArguments result;
    Scenario& s = result.scenario;
    long n = 0;

    using Handler = std::function<bool(const std::string&)>;
    const std::map<std::string, Handler> withValue = {
        {"--lap-interval", [&](const std::string& v) { return parseSeconds(v, false, s.lapInterval); }},
        {"--lap-interval-step",
         [&](const std::string& v) { return parseSeconds(v, true, s.lapIntervalStep); }},
        {"--first-lap-step",
         [&](const std::string& v) {
             if (!parseLong(v, 0, 63, n)) {
                 return false;
             }
             s.firstLapStep = static_cast<int>(n);
             return true;
         }},
        {"--broadcast-rate",
         [&](const std::string& v) {
             if (!parseLong(v, 1, 50, n)) {
                 return false;
             }
             s.broadcastPeriod = Duration(1000 / n);
             return true;
         }},
        {"--transmitters",
         [&](const std::string& v) {
             if (!parseLong(v, 1, 16, n)) {
                 return false;
             }
             s.transmitters = static_cast<int>(n);
             return true;
         }},
        {"--device-number",
         [&](const std::string& v) {
             if (!parseLong(v, 1, 0xFFFF, n)) {
                 return false;
             }
             s.firstDeviceNumber = static_cast<std::uint16_t>(n);
             return true;
         }},
        {"--first-lap",
         [&](const std::string& v) {
             if (!parseLong(v, 0, 63, n)) {
                 return false;
             }
             s.firstLap = static_cast<std::uint8_t>(n);
             return true;
         }},
        {"--invalid-every",
         [&](const std::string& v) {
             if (!parseLong(v, 1, 1000000, n)) {
                 return false;
             }
             s.invalidEvery = static_cast<int>(n);
             return true;
         }},
        {"--seed",
         [&](const std::string& v) {
             if (!parseLong(v, 1, 0x7FFFFFFF, n)) {
                 return false;
             }
             s.seed = static_cast<std::uint32_t>(n);
             return true;
         }},
        {"--cal-drift",
         [&](const std::string& v) {
             char* end = nullptr;
             const double percent = std::strtod(v.c_str(), &end);
             if (v.empty() || *end != '\0' || !(std::abs(percent) <= 10.0)) {
                 return false;
             }
             s.calDriftPercent = percent;
             return true;
         }},
        {"--silence-after",
         [&](const std::string& v) {
             s.silence = true;
             return parseSeconds(v, true, s.silenceAfter);
         }},
        {"--silence-for",
         [&](const std::string& v) {
             s.silence = true;
             return parseSeconds(v, false, s.silenceFor);
         }},
        {"--unplug-after",
         [&](const std::string& v) {
             s.unplug = true;
             return parseSeconds(v, true, s.unplugAfter);
         }},
        {"--restart-after",
         [&](const std::string& v) {
             s.restart = true;
             return parseSeconds(v, true, s.restartAfter);
         }},
        {"--noise-every",
         [&](const std::string& v) {
             if (!parseLong(v, 1, 1000000, n)) {
                 return false;
             }
             s.noiseEvery = static_cast<int>(n);
             return true;
         }},
        {"--only-baud",
         [&](const std::string& v) {
             if (!parseLong(v, 300, 4000000, n)) {
                 return false;
             }
             s.baudRate = static_cast<std::uint32_t>(n);
             return true;
         }},
        {"--bad-checksum-every",
         [&](const std::string& v) {
             if (!parseLong(v, 1, 1000000, n)) {
                 return false;
             }
             s.badChecksumEvery = static_cast<int>(n);
             return true;
         }},
        {"--no-answer", [&](const std::string& v) { return parseCommandSet(v, s.unanswered); }},
        {"--refuse", [&](const std::string& v) { return parseCommandSet(v, s.refused); }},
        {"--refuse-code",
         [&](const std::string& v) {
             if (!parseLong(v, 1, 0xFF, n)) {
                 return false;
             }
             s.refuseCode = static_cast<std::uint8_t>(n);
             return true;
         }},
        {"--slow", [&](const std::string& v) { return parseCommandSet(v, s.slow); }},
        {"--slow-ms",
         [&](const std::string& v) {
             if (!parseLong(v, 1, 60000, n)) {
                 return false;
             }
             s.slowDelay = Duration(n);
             return true;
         }},
        {"--fault-count",
         [&](const std::string& v) {
             if (!parseLong(v, 1, 1000000, n)) {
                 return false;
             }
             s.faultCount = static_cast<int>(n);
             return true;
         }},
    };

    for (std::size_t i = 0; i < args.size(); ++i) {
        const auto& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            result.helpRequested = true;
            continue;
        }
        if (arg == "--trace") {
            s.trace = true;
            continue;
        }
        std::string name = arg;
        std::string value;
        bool hasValue = false;
        if (const auto eq = arg.find('='); eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            hasValue = true;
        }
        const auto it = withValue.find(name);
        if (it == withValue.end()) {
            result.error = "unknown option: " + arg;
            return result;
        }
        if (!hasValue) {
            if (i + 1 >= args.size()) {
                result.error = "missing value for " + name;
                return result;
            }
            value = args[++i];
        }
        if (!it->second(value)) {
            result.error = "bad value for " + name + ": " + value;
            return result;
        }
    }
    return result;
}

std::string scenarioHelpText(const std::string& programName) {
    return "Usage: " + programName +
           " [options]\n"
           "\n"
           "Plays an ANT USB stick with one or more Garmins running the DFX app, on a\n"
           "pseudo-terminal. Prints the path of the terminal (one line) and serves it until\n"
           "interrupted (Ctrl-C or SIGTERM). Open that path as the stick's serial port.\n"
           "\n"
           "The stick answers the reset with its startup message, each configuration command\n"
           "with response code 0, closing the channel with its response and the channel-closed\n"
           "event, and requests for channel status or capabilities. Once RX scan mode is open\n"
           "it passes on the lap pages of the Garmins, one page per broadcast, the three pages\n"
           "of the last finished lap over and over in varying order, with the transmitter's\n"
           "device number as extended data (device type 113, transmission type 5, 2467 MHz).\n"
           "Like a real stick it hears them only on 2467 MHz with a matching channel ID (zero\n"
           "fields match anything). A lap is ready as soon as scanning starts; lap numbers\n"
           "count up and wrap 63 -> 0.\n"
           "\n"
           "Laps and transmitters:\n"
           "  --lap-interval SEC       time between finished laps (default 5; fractions allowed)\n"
           "  --broadcast-rate HZ      broadcasts per second from each Garmin (default 4)\n"
           "  --transmitters N         number of Garmins broadcasting at once, 1-16 (default 1);\n"
           "                           each with figures of its own, their pages interleaved\n"
           "                           one by one; the program keeps each one's laps apart\n"
           "  --device-number N        device number of the first Garmin (default 12345);\n"
           "                           the others count up from it\n"
           "  --first-lap N            number of the first lap, 0-63 (default 1)\n"
           "  --lap-interval-step SEC  each further Garmin's laps take SEC longer (default 0)\n"
           "  --first-lap-step N       each further Garmin starts N laps on, 0-63 (default 0)\n"
           "  --invalid-every N        every Nth lap has its valid flag clear (default: none)\n"
           "  --seed N                 fixed seed for the lap figures (default: random)\n"
           "  --cal-drift PERCENT      the calibration factor drifts by PERCENT per lap,\n"
           "                           -10 to 10 (default 0)\n"
           "\n"
           "Silence and removal:\n"
           "  --silence-after SEC      stop broadcasting SEC after scanning first starts\n"
           "  --silence-for SEC        resume broadcasting after SEC of silence\n"
           "                           (default: silent for good; alone: silent from the start)\n"
           "  --unplug-after SEC       the stick goes away SEC after the start: it stops\n"
           "                           answering and the terminal hangs up; the tool then exits\n"
           "\n"
           "Faults (IDS: comma-separated message IDs in hex, e.g. 46,5B or 0x66, or \"all\"):\n"
           "  --restart-after SEC      the stick restarts by itself SEC after scanning first\n"
           "                           starts: startup message, channel closed\n"
           "  --noise-every N          line noise (A4 F0) before every Nth frame the stick sends\n"
           "  --only-baud RATE         the stick understands only this rate; set at another,\n"
           "                           it answers nothing\n"
           "  --bad-checksum-every N   every Nth frame the stick sends has a wrong checksum\n"
           "  --no-answer IDS          these commands are lost: no answer, no effect\n"
           "  --refuse IDS             these commands are refused with a non-zero response\n"
           "                           code and have no effect\n"
           "  --refuse-code CODE       the code for refused commands (default 0x15, channel in\n"
           "                           wrong state)\n"
           "  --slow IDS               these commands are answered late\n"
           "  --slow-ms MS             how late (default 700, beyond the program's 500 ms)\n"
           "  --fault-count N          the command faults hit only the first N matching\n"
           "                           commands each (default: every one), e.g. to see a\n"
           "                           failed first attempt and a good retry\n"
           "\n"
           "Other:\n"
           "  --trace                  print each frame received from the program, one per\n"
           "                           line, on standard error\n"
           "  --help                   this text\n"
           "\n"
           "Options take their value as the next argument or after '='.\n";
}

} // namespace antsim
