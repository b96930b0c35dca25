#pragma once

#include <chrono>
#include <cstdint>

#include "sim/command_set.h"

namespace antsim {

// Everything that shapes one run of the virtual stick. The defaults give a
// well-behaved stick with one Garmin finishing a lap every few seconds.
struct Scenario {
    using Duration = std::chrono::milliseconds;

    // Simulated Garmins.
    int transmitters = 1;
    std::uint16_t firstDeviceNumber = 12345; // the others count up from here
    std::uint8_t firstLap = 1;
    Duration lapInterval{5000};
    Duration lapIntervalStep{0};   // each further Garmin's laps take this much longer
    int firstLapStep = 0;          // each further Garmin starts this many laps on
    Duration broadcastPeriod{250}; // per transmitter, one page per broadcast
    int invalidEvery = 0;          // every Nth lap has its valid flag clear; 0: none
    std::uint32_t seed = 0;        // 0: a fresh random seed per stick
    double calDriftPercent = 0;    // each lap's calibration factor moves by this much more

    // Silence: broadcasts stop this long after scanning first opens...
    bool silence = false;
    Duration silenceAfter{0};
    Duration silenceFor{0}; // ...and resume after this long; 0: never resume

    // The stick goes away this long after it starts.
    bool unplug = false;
    Duration unplugAfter{0};

    // The stick restarts by itself (a brown-out) this long after scanning first opens: it sends
    // its startup message and its channel is closed until the host configures it again.
    bool restart = false;
    Duration restartAfter{0};
    bool deadAfterRestart = false; // ...and answers nothing after it

    // Line noise: a stray sync byte and a bad length byte before every Nth frame; 0: none.
    int noiseEvery = 0;
    // The only line rate the stick understands; at any other it hears garbage and answers
    // nothing. 0: any rate.
    std::uint32_t baudRate = 0;

    // Faults.
    int badChecksumEvery = 0; // every Nth frame the stick sends is corrupted; 0: none
    CommandSet unanswered;    // commands that get no answer and take no effect
    CommandSet refused;       // commands answered with refuseCode and no effect
    std::uint8_t refuseCode = 0x15;
    CommandSet slow; // commands answered after slowDelay
    Duration slowDelay{700};
    int faultCount = 0; // command faults hit only the first N matching commands; 0: every one

    // Print every frame the host sends.
    bool trace = false;
};

} // namespace antsim
