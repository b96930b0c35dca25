// The bridge through the real library and the serial-port kind, with the
// virtual stick served on a pseudo-terminal named as --device would.
#include <gtest/gtest.h>

#include <QTest>

#include <memory>
#include <string>

#include "ant/usb/usb_device_kind.h"
#include "bridge/ant_scanner_bridge.h"
#include "bridge/scanner_device_setup.h"
#include "sim/pty_stick_server.h"
#include "tests/bridge/bridge_event_recorder.h"

namespace draftwell::test {
namespace {

using namespace std::chrono_literals;
using Kind = BridgeEvent::Kind;

class BridgeOverPtyTest : public ::testing::Test {
  protected:
    void start(antsim::Scenario scenario) {
        SetUSBDeviceKinds(USBPlatformDeviceKinds());
        server = std::make_unique<antsim::PtyStickServer>(
            scenario, [](const std::string&) {}, [] {});
        std::string error;
        ASSERT_TRUE(server->start(error)) << error;
        ScannerProgramOptions options;
        options.devicePath = QString::fromStdString(server->slavePath());
        devices = std::make_unique<ScannerDeviceSetup>(options);
        bridge = std::make_unique<ANTScannerBridge>();
        recorder.attach(*bridge);
        bridge->openScannerWithCompletion(recorder.openCompletion());
        ASSERT_TRUE(
            recorder.waitForEvent([](const BridgeEvent& e) { return e.kind == Kind::openCompleted; }));
        const long done =
            recorder.indexOf([](const BridgeEvent& e) { return e.kind == Kind::openCompleted; });
        ASSERT_FALSE(recorder.events()[static_cast<std::size_t>(done)].error.has_value());
    }

    void TearDown() override {
        bridge.reset();
        devices.reset();
        if (server) {
            server->stop();
        }
        SetUSBDeviceKinds({});
    }

    std::unique_ptr<antsim::PtyStickServer> server;
    std::unique_ptr<ScannerDeviceSetup> devices;
    std::unique_ptr<ANTScannerBridge> bridge;
    BridgeEventRecorder recorder;
};

TEST_F(BridgeOverPtyTest, OpensReceivesAndCloses) {
    start(antsim::Scenario{});
    ASSERT_TRUE(recorder.waitFor(
        [&] { return recorder.count([](const BridgeEvent& e) { return e.kind == Kind::packet; }) >= 3; }));
    EXPECT_GE(recorder.indexOf([](const BridgeEvent& e) { return e.isStatus(true, false, false); }), 0);
    EXPECT_EQ(recorder.logLines().front(), QStringLiteral("Scanner opened."));
    const long packet = recorder.indexOf([](const BridgeEvent& e) { return e.kind == Kind::packet; });
    EXPECT_EQ(recorder.events()[static_cast<std::size_t>(packet)].deviceNumber,
              std::optional<std::uint16_t>(12345));

    bridge->closeScannerWithCompletion(recorder.closeCompletion());
    ASSERT_TRUE(recorder.waitForEvent([](const BridgeEvent& e) { return e.kind == Kind::closeCompleted; }));
    EXPECT_GE(
        recorder.indexOf([](const BridgeEvent& e) { return e.isLog(QStringLiteral("ANT Channel closed")); }),
        0);
}

TEST_F(BridgeOverPtyTest, HungUpTerminalIsReportedAsRemovedStick) {
    antsim::Scenario scenario;
    scenario.unplug = true;
    scenario.unplugAfter = 2500ms;
    start(scenario);
    ASSERT_TRUE(recorder.waitForEvent(
        [](const BridgeEvent& e) { return e.isLog(QStringLiteral("ANT device removed.")); }));
    ASSERT_TRUE(recorder.waitForEvent([](const BridgeEvent& e) { return e.isStatus(false, false, false); }));
    EXPECT_FALSE(bridge->isOpen());
    EXPECT_EQ(
        recorder.count([](const BridgeEvent& e) { return e.isLog(QStringLiteral("ANT Channel closed")); }),
        0);
}

} // namespace
} // namespace draftwell::test
