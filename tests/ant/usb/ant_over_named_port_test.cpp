// The ANT library over a serial port named by path, with the virtual stick
// serving the other end of a pseudo-terminal.
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "ant/ant.h"
#include "ant/usb/usb_device_handle_si.h"
#include "ant/usb/usb_device_kind.h"
#include "sim/pty_stick_server.h"
#include "tests/support/eventually.h"
#include "tests/support/scanner_configuration.h"

namespace {

using draftwell::test::eventually;
using namespace std::chrono_literals;

std::atomic<int> broadcasts{0};
std::uint8_t responseBuffer[64];
std::uint8_t channelBuffer[64];

bool onResponse(std::uint8_t, std::uint8_t) {
    return true;
}

bool onChannelEvent(std::uint8_t, std::uint8_t event) {
    broadcasts += event == 0xA3 ? 1 : 0;
    return true;
}

// Open, reset and close on a fresh pseudo-terminal each time: every open must find the stick. The first
// stick is also configured, receives and is hung up, as a pulled stick is, before the close. The suite
// runs a few cycles; DRAFTWELL_PTY_CYCLES=300 is the longer hunt.
TEST(AntOverNamedPort, EveryOpenOnAFreshTerminalFindsTheStickAndTheFirstSurvivesItsHangUp) {
    const char* wanted = std::getenv("DRAFTWELL_PTY_CYCLES");
    const int cycles = wanted != nullptr ? std::atoi(wanted) : 4;
    SetUSBDeviceKinds(USBPlatformDeviceKinds());
    for (int i = 0; i < cycles; ++i) {
        SCOPED_TRACE(i);
        antsim::Scenario scenario;
        scenario.seed = 11;
        scenario.broadcastPeriod = 50ms;
        antsim::PtyStickServer server(scenario, {}, {});
        std::string error;
        ASSERT_TRUE(server.start(error)) << error;
        USBDeviceHandleSI::SetNamedPorts({server.slavePath()});
        ASSERT_TRUE(ANT_Init(0, i == 0 ? 57600 : 115200)); // named ports are numbered first
        ANT_SetResponseCallback(&onResponse, responseBuffer);
        ANT_SetChannelEventCallback(0, &onChannelEvent, channelBuffer);
        EXPECT_TRUE(ANT_ResetSystem() && ANT_WaitForStartup(2000));
        if (i == 0) {
            const std::uint8_t key[8] = {1, 2, 3, 4, 5, 6, 7, 8};
            draftwell::test::configureScanner(key);
            EXPECT_TRUE(eventually([] { return broadcasts.load() >= 3; }, 10s));
            server.stop(); // hangs up the terminal
            EXPECT_TRUE(eventually([] { return !ANT_RequestMessage(0, 0x54); }));
        }
        const auto start = std::chrono::steady_clock::now();
        ANT_Close();
        EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    }
    ANT_ClearCallbacks();
    USBDeviceHandleSI::SetNamedPorts({});
}

} // namespace
