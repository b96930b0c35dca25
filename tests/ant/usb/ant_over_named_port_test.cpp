// The ANT library over a serial port named by path, with the virtual stick
// serving the other end of a pseudo-terminal.
#include <chrono>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "ant/ant.h"
#include "ant/usb/usb_device_handle_si.h"
#include "ant/usb/usb_device_kind.h"
#include "sim/pty_stick_server.h"

namespace {

using namespace std::chrono_literals;

// Open, reset and close on a fresh pseudo-terminal each time: every open must find the stick. Configuring,
// receiving and the hang-up of a pulled stick are in the virtual stick's terminal test and the unplug soak.
// The suite runs a few cycles; DRAFTWELL_PTY_CYCLES=300 is the longer hunt.
TEST(AntOverNamedPort, EveryOpenOnAFreshTerminalFindsTheStick) {
    const char* wanted = std::getenv("DRAFTWELL_PTY_CYCLES");
    const int cycles = wanted != nullptr ? std::atoi(wanted) : 4;
    SetUSBDeviceKinds(USBPlatformDeviceKinds());
    for (int i = 0; i < cycles; ++i) {
        SCOPED_TRACE(i);
        antsim::Scenario scenario;
        scenario.seed = 11;
        antsim::PtyStickServer server(scenario, {}, {});
        std::string error;
        ASSERT_TRUE(server.start(error)) << error;
        USBDeviceHandleSI::SetNamedPorts({server.slavePath()});
        ASSERT_TRUE(ANT_Init(0, i == 0 ? 57600 : 115200)); // named ports are numbered first
        EXPECT_TRUE(ANT_ResetSystem());
        EXPECT_TRUE(ANT_WaitForStartup(2000));
        const auto start = std::chrono::steady_clock::now();
        ANT_Close();
        EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    }
    USBDeviceHandleSI::SetNamedPorts({});
}

} // namespace
