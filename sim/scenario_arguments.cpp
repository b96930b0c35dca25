#include "sim/scenario_arguments.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <getopt.h>

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

namespace {

using Apply = std::function<bool(Scenario&, const std::string&)>;

struct ValueOption {
    const char* name;
    Apply apply;
};

template <typename Store> Apply whole(long min, long max, Store store) {
    return [=](Scenario& s, const std::string& v) {
        long n = 0;
        if (!parseLong(v, min, max, n)) {
            return false;
        }
        store(s, n);
        return true;
    };
}

// A time option; `given`, where there is one, records that the option was used.
Apply seconds(Duration Scenario::*member, bool allowZero, bool Scenario::*given = nullptr) {
    return [=](Scenario& s, const std::string& v) {
        if (given != nullptr) {
            s.*given = true;
        }
        return parseSeconds(v, allowZero, s.*member);
    };
}

Apply commands(CommandSet Scenario::*member) {
    return [=](Scenario& s, const std::string& v) { return parseCommandSet(v, s.*member); };
}

const std::vector<ValueOption>& valueOptions() {
    static const std::vector<ValueOption> table = {
        {"lap-interval", seconds(&Scenario::lapInterval, false)},
        {"lap-interval-step", seconds(&Scenario::lapIntervalStep, true)},
        {"first-lap-step", whole(0, 63, [](Scenario& s, long n) { s.firstLapStep = static_cast<int>(n); })},
        {"broadcast-rate", whole(1, 50, [](Scenario& s, long n) { s.broadcastPeriod = Duration(1000 / n); })},
        {"transmitters", whole(1, 16, [](Scenario& s, long n) { s.transmitters = static_cast<int>(n); })},
        {"device-number",
         whole(1, 0xFFFF, [](Scenario& s, long n) { s.firstDeviceNumber = static_cast<std::uint16_t>(n); })},
        {"first-lap", whole(0, 63, [](Scenario& s, long n) { s.firstLap = static_cast<std::uint8_t>(n); })},
        {"invalid-every",
         whole(1, 1000000, [](Scenario& s, long n) { s.invalidEvery = static_cast<int>(n); })},
        {"seed", whole(1, 0x7FFFFFFF, [](Scenario& s, long n) { s.seed = static_cast<std::uint32_t>(n); })},
        {"cal-drift",
         [](Scenario& s, const std::string& v) {
             char* end = nullptr;
             const double percent = std::strtod(v.c_str(), &end);
             if (v.empty() || *end != '\0' || !(std::abs(percent) <= 10.0)) {
                 return false;
             }
             s.calDriftPercent = percent;
             return true;
         }},
        {"silence-after", seconds(&Scenario::silenceAfter, true, &Scenario::silence)},
        {"silence-for", seconds(&Scenario::silenceFor, false, &Scenario::silence)},
        {"unplug-after", seconds(&Scenario::unplugAfter, true, &Scenario::unplug)},
        {"restart-after", seconds(&Scenario::restartAfter, true, &Scenario::restart)},
        {"noise-every", whole(1, 1000000, [](Scenario& s, long n) { s.noiseEvery = static_cast<int>(n); })},
        {"only-baud",
         whole(300, 4000000, [](Scenario& s, long n) { s.baudRate = static_cast<std::uint32_t>(n); })},
        {"bad-checksum-every",
         whole(1, 1000000, [](Scenario& s, long n) { s.badChecksumEvery = static_cast<int>(n); })},
        {"no-answer", commands(&Scenario::unanswered)},
        {"refuse", commands(&Scenario::refused)},
        {"refuse-code",
         whole(1, 0xFF, [](Scenario& s, long n) { s.refuseCode = static_cast<std::uint8_t>(n); })},
        {"slow", commands(&Scenario::slow)},
        {"slow-ms", whole(1, 60000, [](Scenario& s, long n) { s.slowDelay = Duration(n); })},
        {"fault-count", whole(1, 1000000, [](Scenario& s, long n) { s.faultCount = static_cast<int>(n); })},
    };
    return table;
}

// getopt_long's codes: the table's rows count up from here, clear of any option letter.
constexpr int kFirstValueOption = 0x100;
constexpr int kTrace = 0x80;
constexpr int kNotAnOption = 1; // what a leading '-' in the option string makes of a bare word

} // namespace

ScenarioArguments parseScenarioArguments(const std::vector<std::string>& args) {
    ScenarioArguments result;
    const auto& table = valueOptions();
    std::vector<option> longOptions;
    for (std::size_t i = 0; i < table.size(); ++i) {
        longOptions.push_back(
            {table[i].name, required_argument, nullptr, kFirstValueOption + static_cast<int>(i)});
    }
    longOptions.push_back({"trace", no_argument, nullptr, kTrace});
    longOptions.push_back({"help", no_argument, nullptr, 'h'});
    longOptions.push_back({nullptr, 0, nullptr, 0});

    // getopt wants writable C strings and a program name in front.
    std::vector<std::string> storage{"ant-stick-sim"};
    storage.insert(storage.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : storage) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    const int argc = static_cast<int>(storage.size());

    // getopt keeps its place in globals: start afresh, and say nothing on stderr.
    optind = 0;
    opterr = 0;
    for (;;) {
        const int code = getopt_long(argc, argv.data(), "-:h", longOptions.data(), nullptr);
        if (code == -1) {
            break;
        }
        if (code == 'h') {
            result.helpRequested = true;
        } else if (code == kTrace) {
            result.scenario.trace = true;
        } else if (code >= kFirstValueOption) {
            const ValueOption& row = table[static_cast<std::size_t>(code - kFirstValueOption)];
            if (!row.apply(result.scenario, optarg)) {
                result.error = std::string("bad value for --") + row.name + ": " + optarg;
                return result;
            }
        } else if (code == ':' && optopt >= kFirstValueOption) {
            result.error = std::string("missing value for --") +
                           table[static_cast<std::size_t>(optopt - kFirstValueOption)].name;
            return result;
        } else {
            result.error = "unknown option: " + std::string(code == kNotAnOption ? optarg : argv[optind - 1]);
            return result;
        }
    }
    if (optind < argc) {
        result.error = "unknown option: " + storage[static_cast<std::size_t>(optind)];
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
