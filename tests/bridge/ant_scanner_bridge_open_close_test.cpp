// Opening, configuring and closing the bridge against the virtual stick
// through the real ANT library.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <vector>

#include "ant/usb/usb_device_handle.h"
#include "ant/usb/usb_device_kind.h"
#include "bridge/ant_scanner_bridge.h"
#include "tests/bridge/bridge_event_recorder.h"
#include "tests/bridge/traced_sim_stick.h"

namespace draftwell::test {
namespace {

using Kind = BridgeEvent::Kind;
using namespace std::chrono_literals;

const QString kOpened = QStringLiteral("Scanner opened.");
const QString kClosed = QStringLiteral("ANT Channel closed");

bool isOpenCompleted(const BridgeEvent& e) {
    return e.kind == Kind::openCompleted;
}
bool isCloseCompleted(const BridgeEvent& e) {
    return e.kind == Kind::closeCompleted;
}

// The frames of the open sequence as the stick receives them.
const std::vector<std::string> kConfigurationFrames = {
    "[4A] Reset System: 00",
    "[46] Set Network Key: 00 B9 A5 21 FB BD 72 C3 45",
    "[66] Enable Extended Messages: 00 01",
    "[42] Assign Channel: 00 00 00 01",
    "[45] Channel Radio Freq: 00 43",
    "[51] Channel ID: 00 00 00 71 05",
    "[5B] Open RX Scan: 00",
};

class BridgeOpenCloseTest : public ::testing::Test {
  protected:
    void makeBridge(antsim::Scenario scenario, const ANTNetworkKey& key = kDefaultANTNetworkKey) {
        stick = std::make_unique<TracedSimStick>(scenario);
        bridge = std::make_unique<ANTScannerBridge>(key);
        recorder.attach(*bridge);
    }

    void openAndWait() {
        bridge->openScannerWithCompletion(recorder.openCompletion());
        ASSERT_TRUE(recorder.waitForEvent(isOpenCompleted));
        const long done = recorder.indexOf(isOpenCompleted);
        ASSERT_FALSE(recorder.events()[static_cast<std::size_t>(done)].error.has_value());
    }

    void TearDown() override {
        bridge.reset();
        stick.reset();
    }

    std::unique_ptr<TracedSimStick> stick;
    std::unique_ptr<ANTScannerBridge> bridge;
    BridgeEventRecorder recorder;
};

TEST_F(BridgeOpenCloseTest, OpeningPublishesOpenStatusThenLogsScannerOpened) {
    makeBridge(antsim::Scenario{});
    openAndWait();
    ASSERT_TRUE(recorder.waitForEvent([](const BridgeEvent& e) { return e.isLog(kOpened); }));

    const long status = recorder.indexOf([](const BridgeEvent& e) { return e.kind == Kind::status; });
    const long opened = recorder.indexOf([](const BridgeEvent& e) { return e.isLog(kOpened); });
    ASSERT_GE(status, 0);
    EXPECT_TRUE(recorder.events()[static_cast<std::size_t>(status)].isStatus(true, false, false));
    EXPECT_LT(status, opened);
    EXPECT_EQ(recorder.logLines().front(), kOpened);
    EXPECT_TRUE(bridge->isOpen());
}

TEST_F(BridgeOpenCloseTest, StickReceivesTheConfigurationFramesInOrder) {
    makeBridge(antsim::Scenario{});
    openAndWait();
    const std::vector<std::string> frames = stick->frameLines();
    ASSERT_GE(frames.size(), kConfigurationFrames.size());
    EXPECT_EQ(std::vector<std::string>(frames.begin(), frames.begin() + kConfigurationFrames.size()),
              kConfigurationFrames);
}

TEST_F(BridgeOpenCloseTest, AnotherNetworkKeyIsSentUnchanged) {
    makeBridge(antsim::Scenario{}, ANTNetworkKey{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF});
    openAndWait();
    const std::vector<std::string> frames = stick->frameLines();
    ASSERT_GE(frames.size(), 2U);
    EXPECT_EQ(frames[1], "[46] Set Network Key: 00 01 23 45 67 89 AB CD EF");
}

TEST_F(BridgeOpenCloseTest, RefusedCommandFailsFirstAttemptAndSecondSucceeds) {
    antsim::Scenario refusing;
    refusing.refused.ids = {0x42};
    stick = std::make_unique<TracedSimStick>(std::vector{refusing, antsim::Scenario{}});
    bridge = std::make_unique<ANTScannerBridge>();
    recorder.attach(*bridge);
    openAndWait();
    ASSERT_TRUE(recorder.waitForEvent([](const BridgeEvent& e) { return e.isLog(kOpened); }));

    // The failed attempt closes silently but publishes the closed status.
    const long closedStatus =
        recorder.indexOf([](const BridgeEvent& e) { return e.isStatus(false, false, false); });
    const long openStatus =
        recorder.indexOf([](const BridgeEvent& e) { return e.isStatus(true, false, false); });
    ASSERT_GE(closedStatus, 0);
    EXPECT_LT(closedStatus, openStatus);
    EXPECT_EQ(recorder.logLines().front(), kOpened);
    EXPECT_EQ(recorder.count([](const BridgeEvent& e) { return e.isLog(kClosed); }), 0);

    // The second attempt starts again from a reset and the network key.
    std::vector<std::string> ids;
    for (const std::string& frame : stick->frameLines()) {
        ids.push_back(frame.substr(0, 4));
    }
    const std::vector<std::string> expected{"[4A]", "[46]", "[66]", "[42]", "[4C]", "[41]", "[4A]",
                                            "[4A]", "[46]", "[66]", "[42]", "[45]", "[51]", "[5B]"};
    ASSERT_GE(ids.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(ids.begin(), ids.begin() + static_cast<long>(expected.size())),
              expected);
}

TEST_F(BridgeOpenCloseTest, UnansweredCommandInBothAttemptsFailsWithThatStepsError) {
    antsim::Scenario scenario;
    scenario.unanswered.ids = {0x5B};
    makeBridge(scenario);
    bridge->openScannerWithCompletion(recorder.openCompletion());
    ASSERT_TRUE(recorder.waitForEvent(isOpenCompleted, 30000));

    const BridgeEvent& done = recorder.events()[static_cast<std::size_t>(recorder.indexOf(isOpenCompleted))];
    ASSERT_TRUE(done.error.has_value());
    EXPECT_EQ(done.error->code, 8);
    EXPECT_EQ(done.error->description, QStringLiteral("Failed to open ANT scan mode."));
    EXPECT_EQ(done.error->domain, QStringLiteral("com.draftwell.LapLogger.ant"));
    EXPECT_TRUE(recorder.logLines().empty());
    EXPECT_FALSE(bridge->isOpen());
}

TEST_F(BridgeOpenCloseTest, ClosingPublishesClosedStatusFirstAndLogsAfterTheLibraryClosed) {
    makeBridge(antsim::Scenario{});
    openAndWait();

    bool stickFreeAtClosedLine = false;
    std::size_t framesAtClosedStatus = 0;
    bool sawClosedStatus = false;
    recorder.setObserver([&](const BridgeEvent& e) {
        if (e.isStatus(false, false, false) && !sawClosedStatus) {
            sawClosedStatus = true;
            framesAtClosedStatus = stick->frameLines().size();
        }
        if (e.isLog(kClosed)) {
            // The virtual stick is listed as available again only once its handle is closed.
            stickFreeAtClosedLine = USBDeviceHandle::GetAvailableDevices().GetSize() == 1;
        }
    });
    const std::size_t framesBeforeClose = stick->frameLines().size();
    bridge->closeScannerWithCompletion(recorder.closeCompletion());
    ASSERT_TRUE(recorder.waitForEvent(isCloseCompleted));

    const long closedStatus =
        recorder.indexOf([](const BridgeEvent& e) { return e.isStatus(false, false, false); });
    const long closedLine = recorder.indexOf([](const BridgeEvent& e) { return e.isLog(kClosed); });
    const long completed = recorder.indexOf(isCloseCompleted);
    ASSERT_GE(closedStatus, 0);
    EXPECT_LT(closedStatus, closedLine);
    EXPECT_LT(closedLine, completed);
    EXPECT_TRUE(stickFreeAtClosedLine);
    // The reset comes at least 500 ms into the close sequence: not yet sent when the status arrived.
    const std::vector<std::string> frames = stick->frameLines();
    bool resetBeforeStatus = false;
    for (std::size_t i = framesBeforeClose; i < framesAtClosedStatus; ++i) {
        resetBeforeStatus = resetBeforeStatus || frames[i].rfind("[4A]", 0) == 0;
    }
    EXPECT_FALSE(resetBeforeStatus);
    const std::vector<std::string> closeFrames(frames.begin() + static_cast<long>(framesBeforeClose),
                                               frames.end());
    std::vector<std::string> ids;
    for (const std::string& frame : closeFrames) {
        if (frame.rfind("[4D]", 0) != 0) { // presence polls may interleave
            ids.push_back(frame.substr(0, 4));
        }
    }
    EXPECT_EQ(ids, (std::vector<std::string>{"[4C]", "[41]", "[4A]"}));
    EXPECT_FALSE(bridge->isOpen());
}

TEST_F(BridgeOpenCloseTest, OpeningAnOpenBridgeClosesItFirst) {
    makeBridge(antsim::Scenario{});
    openAndWait();
    bridge->openScannerWithCompletion(recorder.openCompletion());
    ASSERT_TRUE(recorder.waitFor([&] { return recorder.count(isOpenCompleted) == 2; }));

    std::vector<QString> lines;
    for (const QString& line : recorder.logLines()) {
        if (!line.startsWith(QStringLiteral("RX "))) {
            lines.push_back(line);
        }
    }
    EXPECT_EQ(lines, (std::vector<QString>{kOpened, kClosed, kOpened}));
    EXPECT_TRUE(bridge->isOpen());
}

TEST_F(BridgeOpenCloseTest, ClosingANeverOpenedBridgePublishesAndLogsNothing) {
    makeBridge(antsim::Scenario{});
    bridge->closeScannerWithCompletion(recorder.closeCompletion());
    ASSERT_TRUE(recorder.waitForEvent(isCloseCompleted));
    bridge->closeScanner();
    EXPECT_EQ(recorder.events().size(), 1U);
    EXPECT_TRUE(stick->frameLines().empty());
}

// A device kind that lists nothing and records when the library looked.
class NoStickTest : public ::testing::Test {
  protected:
    void SetUp() override {
        USBDeviceKind kind;
        kind.type = 0x200;
        auto listEmpty = [this] {
            const std::lock_guard lock(mutex);
            lookups.push_back(std::chrono::steady_clock::now());
            return USBDeviceList<const USBDevice*>();
        };
        kind.getAllDevices = listEmpty;
        kind.getAvailableDevices = listEmpty;
        SetUSBDeviceKinds({kind});
    }
    void TearDown() override { SetUSBDeviceKinds({}); }

    std::mutex mutex;
    std::vector<std::chrono::steady_clock::time_point> lookups;
};

TEST_F(NoStickTest, OpenFailsTwiceAboutASecondApartWithErrorOneAndPublishesNothing) {
    ANTScannerBridge bridge;
    BridgeEventRecorder recorder;
    recorder.attach(bridge);
    bridge.openScannerWithCompletion(recorder.openCompletion());
    ASSERT_TRUE(recorder.waitForEvent(isOpenCompleted));

    ASSERT_EQ(recorder.events().size(), 1U);
    const BridgeEvent& done = recorder.events().front();
    ASSERT_TRUE(done.error.has_value());
    EXPECT_EQ(done.error->code, 1);
    EXPECT_EQ(done.error->description,
              QStringLiteral("Failed to initialize ANT USB device. Check dongle connection."));
    EXPECT_EQ(done.error->domain, QStringLiteral("com.draftwell.LapLogger.ant"));
    EXPECT_FALSE(bridge.isOpen());

    // Two initialisations: the library's look-ups fall into two groups about a second apart.
    std::vector<std::chrono::steady_clock::time_point> times;
    {
        const std::lock_guard lock(mutex);
        times = lookups;
    }
    ASSERT_GE(times.size(), 2U);
    std::vector<std::chrono::steady_clock::duration> gaps;
    for (std::size_t i = 1; i < times.size(); ++i) {
        if (times[i] - times[i - 1] > 500ms) {
            gaps.push_back(times[i] - times[i - 1]);
        }
    }
    ASSERT_EQ(gaps.size(), 1U);
    EXPECT_GE(gaps.front(), 900ms);
    EXPECT_LE(gaps.front(), 3000ms);

    // Closing after a failed open publishes and logs nothing either.
    bridge.closeScannerWithCompletion(recorder.closeCompletion());
    ASSERT_TRUE(recorder.waitForEvent(isCloseCompleted));
    EXPECT_EQ(recorder.events().size(), 2U);
}

} // namespace
} // namespace draftwell::test
