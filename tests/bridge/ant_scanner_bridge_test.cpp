// The bridge against the virtual stick through the real ANT library: opening, configuring and
// closing, the receive path, device tracking and both timers.
#include <gtest/gtest.h>

#include <QString>

#include <algorithm>
#include <array>
#include <chrono>
#include <memory>
#include <mutex>
#include <vector>

#include "ant/usb/usb_device_handle.h"
#include "ant/usb/usb_device_kind.h"
#include "bridge/ant_network_key.h"
#include "bridge/ant_scanner_bridge.h"
#include "tests/bridge/bridge_event_recorder.h"
#include "tests/bridge/traced_sim_stick.h"

namespace draftwell::test {
namespace {

using Kind = BridgeEvent::Kind;
using namespace std::chrono_literals;

const QString kOpened = QStringLiteral("Scanner opened.");
const QString kClosed = QStringLiteral("ANT Channel closed");
const QString kWarning =
    QStringLiteral("Multiple Garmins detected.\nMake sure only one Garmin is running DFX app.");
const QString kRestarted = QStringLiteral("ANT stick restarted; configuring it again.");
const EventMatch isPacket = ofKind(Kind::packet);
const EventMatch isRx = [](const BridgeEvent& e) { return e.kind == Kind::log && e.line.startsWith("RX ["); };
const ANTNetworkKey kOtherKey{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};

class BridgeTest : public ::testing::Test {
  protected:
    void makeBridge(std::vector<antsim::Scenario> scenarios,
                    const ANTNetworkKey& key = kDefaultANTNetworkKey) {
        stick = std::make_unique<TracedSimStick>(std::move(scenarios));
        bridge = std::make_unique<ANTScannerBridge>(key);
        recorder.attach(*bridge);
    }
    // Opens and returns the completion's event: the first after the events so far (not the nth
    // completion counted from the start, which a late completion would shift).
    const BridgeEvent& open(int timeoutMs = 15000) {
        const std::size_t from = recorder.events().size();
        bridge->openScannerWithCompletion(recorder.openCompletion());
        const auto done = [&] { return recorder.indexOf(ofKind(Kind::openCompleted), from); };
        EXPECT_TRUE(recorder.waitFor([&] { return done() >= 0; }, timeoutMs));
        static const BridgeEvent none;
        return done() >= 0 ? recorder.at(done()) : none;
    }
    void start(std::vector<antsim::Scenario> scenarios) {
        makeBridge(std::move(scenarios));
        open();
    }
    // The log lines other than received data.
    std::vector<QString> messages() const {
        std::vector<QString> lines;
        for (const BridgeEvent& e : recorder.events()) {
            if (e.kind == Kind::log && !isRx(e)) {
                lines.push_back(e.line);
            }
        }
        return lines;
    }
    void TearDown() override {
        bridge.reset();
        stick.reset();
    }

    std::unique_ptr<TracedSimStick> stick;
    std::unique_ptr<ANTScannerBridge> bridge;
    BridgeEventRecorder recorder;
};

// A refused command fails the first attempt; the second starts again from a reset.
TEST_F(BridgeTest, OpeningSendsTheConfigurationRetriesOnceThenPublishesOpenAndLogsOpened) {
    antsim::Scenario refusing;
    refusing.refused.ids = {0x42};
    makeBridge({refusing, antsim::Scenario{}}, kOtherKey);
    EXPECT_FALSE(open().error.has_value());
    ASSERT_TRUE(recorder.waitForEvent(logLine(kOpened)));
    EXPECT_TRUE(bridge->isOpen());
    // The failed attempt closes silently but publishes the closed status.
    const long closedStatus = recorder.indexOf(ofKind(Kind::status));
    ASSERT_GE(closedStatus, 0);
    EXPECT_EQ(closedStatus, recorder.indexOf(status(false, false, false)));
    const long openStatus =
        recorder.indexOf(ofKind(Kind::status), static_cast<std::size_t>(closedStatus + 1));
    EXPECT_EQ(openStatus, recorder.indexOf(status(true, false, false)));
    EXPECT_LT(openStatus, recorder.indexOf(logLine(kOpened)));
    EXPECT_EQ(recorder.indexOf(ofKind(Kind::log)), recorder.indexOf(logLine(kOpened)));
    EXPECT_EQ(messages(), std::vector<QString>{kOpened});

    const std::vector<std::string> firstAttempt{"[4A]", "[46]", "[66]", "[42]", "[4C]", "[41]", "[4A]"};
    const std::vector<std::string> secondAttempt = {
        "[4A] Reset System: 00",
        "[46] Set Network Key: 00 01 23 45 67 89 AB CD EF",
        "[66] Enable Extended Messages: 00 01",
        "[42] Assign Channel: 00 00 00 01",
        "[45] Channel Radio Freq: 00 43",
        "[51] Channel ID: 00 00 00 71 05",
        "[5B] Open RX Scan: 00",
    };
    const auto ids = stick->frameIds();
    const auto lines = stick->frameLines();
    ASSERT_GE(lines.size(), firstAttempt.size() + secondAttempt.size());
    EXPECT_EQ(std::vector<std::string>(ids.begin(), ids.begin() + 7), firstAttempt);
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 7, lines.begin() + 14), secondAttempt);
}

TEST_F(BridgeTest, UnansweredCommandInBothAttemptsFailsWithThatStepsError) {
    antsim::Scenario scenario;
    scenario.unanswered.ids = {0x5B};
    makeBridge({scenario});
    const BridgeEvent& done = open(30000);
    ASSERT_TRUE(done.error.has_value());
    EXPECT_EQ(done.error->code, 8);
    EXPECT_EQ(done.error->description, QStringLiteral("Failed to open ANT scan mode."));
    EXPECT_EQ(done.error->domain, QStringLiteral("com.draftwell.LapLogger.ant"));
    EXPECT_EQ(recorder.count(ofKind(Kind::log)), 0);
    EXPECT_FALSE(bridge->isOpen());
}

// Closing a bridge never opened does nothing; opening an open one closes it first; closing publishes the
// closed status first and logs after the library closed.
TEST_F(BridgeTest, ClosingPublishesClosedStatusFirstAndLogsAfterTheLibraryClosed) {
    makeBridge({antsim::Scenario{}});
    bridge->closeScannerWithCompletion(recorder.closeCompletion());
    ASSERT_TRUE(recorder.waitForEvent(ofKind(Kind::closeCompleted)));
    bridge->closeScanner();
    EXPECT_EQ(recorder.events().size(), 1U);
    EXPECT_TRUE(stick->frameLines().empty());
    EXPECT_FALSE(open().error.has_value());
    EXPECT_FALSE(open().error.has_value());
    EXPECT_EQ(messages(), (std::vector<QString>{kOpened, kClosed, kOpened}));
    EXPECT_TRUE(bridge->isOpen());

    bool stickFreeAtClosedLine = false;
    std::size_t framesAtClosedStatus = 0;
    const std::size_t from = recorder.events().size();
    recorder.setObserver([&](const BridgeEvent& e) {
        if (status(false, false, false)(e) && framesAtClosedStatus == 0) {
            framesAtClosedStatus = stick->frameLines().size();
        }
        if (logLine(kClosed)(e)) {
            // The virtual stick is listed as available again only once its handle is closed.
            stickFreeAtClosedLine = USBDeviceHandle::GetAvailableDevices().GetSize() == 1;
        }
    });
    const std::size_t framesBeforeClose = stick->frameLines().size();
    bridge->closeScannerWithCompletion(recorder.closeCompletion());
    ASSERT_TRUE(recorder.waitFor([&] { return recorder.indexOf(ofKind(Kind::closeCompleted), from) >= 0; }));
    const long closedStatus = recorder.indexOf(status(false, false, false), from);
    const long closedLine = recorder.indexOf(logLine(kClosed), from);
    ASSERT_GE(closedStatus, 0);
    EXPECT_LT(closedStatus, closedLine);
    EXPECT_LT(closedLine, recorder.indexOf(ofKind(Kind::closeCompleted), from));
    EXPECT_TRUE(stickFreeAtClosedLine);
    // The reset comes at least 500 ms into the close sequence: not yet sent when the status arrived.
    const std::vector<std::string> lines = stick->frameLines();
    ASSERT_GE(framesAtClosedStatus, framesBeforeClose);
    EXPECT_EQ(std::count_if(lines.begin() + static_cast<long>(framesBeforeClose),
                            lines.begin() + static_cast<long>(framesAtClosedStatus),
                            [](const std::string& line) { return line.rfind("[4A]", 0) == 0; }),
              0);
    EXPECT_EQ(stick->frameIds(framesBeforeClose), (std::vector<std::string>{"[4C]", "[41]", "[4A]"}));
    EXPECT_FALSE(bridge->isOpen());
}
TEST(BridgeValuesTest, NetworkKeyTextAndDeviceNumbersOfTheExtendedData) {
    EXPECT_EQ(parseANTNetworkKey("B9A521FBBD72C345"), kDefaultANTNetworkKey);
    EXPECT_EQ(parseANTNetworkKey("0123456789abcdef"),
              (ANTNetworkKey{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}));
    for (const char* bad :
         {"B9A521FBBD72C34", "B9A521FBBD72C3450", "B9A521FBBD72C34G", "B9 A5 21 FB BD 72", ""}) {
        EXPECT_FALSE(parseANTNetworkKey(bad)) << bad;
    }
    // Flag, device number (low byte first), event, expected.
    const std::vector<std::tuple<std::uint8_t, std::uint16_t, std::uint8_t, std::optional<std::uint16_t>>>
        rows{
            {0x80, 0x1234, 0xA3, 0x1234},       {0x80, 0x1234, 0xA4, 0x1234},
            {0xE0, 0xFFFF, 0xA3, 0xFFFF},       {0x80, 0x1234, 0x9A, std::nullopt},
            {0x80, 0x1234, 0xA5, std::nullopt}, {0x7F, 0x1234, 0xA3, std::nullopt},
        };
    for (const auto& [flag, device, event, expected] : rows) {
        std::array<std::uint8_t, 64> bytes{};
        bytes[9] = flag;
        bytes[10] = static_cast<std::uint8_t>(device & 0xFF);
        bytes[11] = static_cast<std::uint8_t>(device >> 8);
        EXPECT_EQ(ANTScannerBridge::extractDeviceIDFromChannelBytes(bytes.data(), event), expected)
            << int(flag) << " " << int(event);
    }
}

// The first broadcast publishes receiving before its line and packet; silence turns receiving false
// within two to four seconds.
TEST_F(BridgeTest, FirstBroadcastPublishesReceivingAndSilenceEndsItWithinTwoToFourSeconds) {
    antsim::Scenario scenario;
    scenario.firstDeviceNumber = 0x1234;
    scenario.silence = true;
    scenario.silenceAfter = 1500ms;
    start({scenario});
    ASSERT_TRUE(recorder.waitForEvent(isPacket));
    EXPECT_EQ(recorder.count(ofKind(Kind::status)), 2);
    const long receiving = recorder.indexOf(status(true, true, false));
    const long line = recorder.indexOf(isRx);
    const long packet = recorder.indexOf(isPacket);
    ASSERT_GE(receiving, 0);
    EXPECT_LT(receiving, line);
    EXPECT_LT(line, packet);
    // "RX " and the 8 payload bytes, each as two upper-case hex digits in brackets.
    const QByteArray payload = recorder.at(packet).payload;
    ASSERT_EQ(payload.size(), 8);
    const QString hex = QString::fromLatin1(payload.toHex(' ').toUpper());
    EXPECT_EQ(recorder.at(line).line, "RX [" + QString(hex).replace(' ', "] [") + ']');
    EXPECT_EQ(recorder.at(packet).deviceNumber, std::optional<std::uint16_t>(0x1234));

    const auto silent = [&] {
        return recorder.indexOf(status(true, false, false), static_cast<std::size_t>(packet));
    };
    ASSERT_TRUE(recorder.waitFor([&] { return silent() >= 0; }));
    long lastPacket = silent();
    while (lastPacket > 0 && !isPacket(recorder.at(lastPacket))) {
        --lastPacket;
    }
    const auto quietFor = recorder.at(silent()).at - recorder.at(lastPacket).at;
    EXPECT_GE(quietFor, 1900ms);
    EXPECT_LE(quietFor, 4500ms);
    EXPECT_TRUE(bridge->isOpen());
}

// Events the library would deliver, handed in directly.
TEST_F(BridgeTest, BroadcastsWithoutDeviceNumberAreDeliveredAndOtherEventsOrClosedOnesDropped) {
    antsim::Scenario quiet;
    quiet.silence = true; // no broadcasts of its own
    start({quiet});
    QByteArray plain(ANTScannerBridge::kBufferSize, '\0');
    for (int i = 1; i <= 8; ++i) {
        plain[i] = static_cast<char>(0xA0 + i);
    }
    plain[9] = static_cast<char>(0x80); // stale bytes: not read for a plain broadcast
    plain[10] = 0x34;
    plain[11] = 0x12;
    bridge->handleChannelEvent(0x9A, plain);
    QByteArray unflagged = plain;
    unflagged[9] = 0x20;
    bridge->handleChannelEvent(0xA3, unflagged);
    for (const std::uint8_t event : {0x9B, 0x9C, 0xA4, 0xA5, 0x01}) {
        bridge->handleChannelEvent(event, QByteArray(ANTScannerBridge::kBufferSize, '\x01'));
    }
    bridge->closeScanner();
    bridge->handleChannelEvent(0x9A, plain);
    bridge->handleChannelEvent(0xA3, plain);
    ASSERT_TRUE(recorder.waitForEvent(logLine(kClosed)));
    ASSERT_EQ(recorder.count(isPacket), 2);
    for (long i = 0, found = -1; i < 2; ++i) {
        found = recorder.indexOf(isPacket, static_cast<std::size_t>(found + 1));
        EXPECT_FALSE(recorder.at(found).deviceNumber.has_value());
        EXPECT_EQ(recorder.at(found).payload, plain.mid(1, 8));
    }
    EXPECT_EQ(recorder.count(isRx), 2);
    EXPECT_EQ(recorder.count(status(true, true, false)), 1);
}
// Line noise before every frame, then a restart of the stick: broadcasts still arrive, the
// stick is configured again and receiving goes on without the session ever closing.
TEST_F(BridgeTest, NoiseAndARestartOfTheStickKeepTheSessionReceiving) {
    antsim::Scenario scenario;
    scenario.noiseEvery = 1;
    scenario.broadcastPeriod = 50ms;
    scenario.restart = true;
    scenario.restartAfter = 500ms;
    start({scenario});
    const QString again = QStringLiteral("ANT stick configured again.");
    ASSERT_TRUE(recorder.waitForEvent(logLine(again)));
    const long restarted = recorder.indexOf(logLine(kRestarted));
    ASSERT_GE(restarted, 0);
    EXPECT_GE(recorder.indexOf(isRx), 0);
    EXPECT_LT(recorder.indexOf(isRx), restarted);
    ASSERT_TRUE(recorder.waitFor([&] {
        return recorder.indexOf(isRx, static_cast<std::size_t>(recorder.indexOf(logLine(again)))) >= 0;
    }));
    EXPECT_EQ(recorder.count(status(false, false, false)), 0);
    EXPECT_TRUE(bridge->isOpen());
    // After the restart the stick got the reset and the whole configuration again.
    const auto ids = stick->frameIds();
    EXPECT_GE(std::count(ids.begin(), ids.end(), "[5B]"), 2);
}

// A stick that restarts and does not come back, not even when opened again: the session ends as a
// failed open does.
TEST_F(BridgeTest, AStickThatCannotBeConfiguredAfterARestartEndsTheSession) {
    antsim::Scenario restarting;
    restarting.restart = true;
    restarting.restartAfter = 300ms;
    restarting.deadAfterRestart = true;
    antsim::Scenario dead;
    dead.unanswered.all = true;
    start({restarting, dead});
    const QString failed = QStringLiteral("Failed to open scanner.\nTry replugging the ANT dongle.");
    ASSERT_TRUE(recorder.waitFor([&] { return recorder.count(logLine(failed)) == 1 && !bridge->isOpen(); }));
    const long restarted = recorder.indexOf(logLine(kRestarted));
    ASSERT_GE(restarted, 0);
    EXPECT_LT(restarted, recorder.indexOf(logLine(failed)));
    EXPECT_GE(recorder.indexOf(status(false, false, false), static_cast<std::size_t>(restarted)), 0);
}

TEST_F(BridgeTest, TwoTransmittersWarnOncePerEpisode) {
    antsim::Scenario scenario;
    scenario.transmitters = 2;
    scenario.silence = true;
    scenario.silenceAfter = 2500ms;
    scenario.silenceFor = 2500ms;
    start({scenario});
    ASSERT_TRUE(recorder.waitFor([&] { return recorder.count(logLine(kWarning)) == 2; }, 20000));
    const long firstWarning = recorder.indexOf(logLine(kWarning));
    const long secondWarning =
        recorder.indexOf(logLine(kWarning), static_cast<std::size_t>(firstWarning + 1));

    // multipleDevices as published, in order, with repeats collapsed.
    std::vector<bool> multiple;
    std::vector<long> changes;
    for (long i = 0; i <= secondWarning + 1 && i < static_cast<long>(recorder.events().size()); ++i) {
        const BridgeEvent& e = recorder.at(i);
        if (e.kind == Kind::status && e.open && (multiple.empty() || multiple.back() != e.multipleDevices)) {
            multiple.push_back(e.multipleDevices);
            changes.push_back(i);
        }
    }
    EXPECT_EQ(multiple, (std::vector<bool>{false, true, false, true}));
    ASSERT_EQ(changes.size(), 4U);
    // Each warning is followed at once by the status that turns multipleDevices on.
    EXPECT_EQ(changes[1], firstWarning + 1);
    EXPECT_EQ(changes[3], secondWarning + 1);
    // Within the first episode it is published once: every later status changes `receiving`.
    const BridgeEvent* previous = &recorder.at(changes[1]);
    for (long i = changes[1] + 1; i < changes[2]; ++i) {
        if (recorder.at(i).kind == Kind::status) {
            EXPECT_NE(recorder.at(i).receiving, previous->receiving);
            previous = &recorder.at(i);
        }
    }
}

// A device kind that lists nothing and records when the library looked.
TEST(NoStickTest, OpenFailsTwiceAboutASecondApartWithErrorOneAndPublishesNothing) {
    std::mutex mutex;
    std::vector<std::chrono::steady_clock::time_point> lookups;
    USBDeviceKind kind;
    kind.type = 0x200;
    kind.getAllDevices = kind.getAvailableDevices = [&] {
        const std::lock_guard lock(mutex);
        lookups.push_back(std::chrono::steady_clock::now());
        return USBDeviceList<const USBDevice*>();
    };
    SetUSBDeviceKinds({kind});
    struct Restore {
        ~Restore() { SetUSBDeviceKinds({}); }
    } restore;
    {
        ANTScannerBridge bridge;
        BridgeEventRecorder recorder;
        recorder.attach(bridge);
        bridge.openScannerWithCompletion(recorder.openCompletion());
        ASSERT_TRUE(recorder.waitForEvent(ofKind(Kind::openCompleted)));
        ASSERT_EQ(recorder.events().size(), 1U);
        const BridgeEvent& done = recorder.events().front();
        ASSERT_TRUE(done.error.has_value());
        EXPECT_EQ(done.error->code, 1);
        EXPECT_EQ(done.error->description,
                  QStringLiteral("Failed to initialize ANT USB device. Check dongle connection."));
        EXPECT_EQ(done.error->domain, QStringLiteral("com.draftwell.LapLogger.ant"));
        EXPECT_FALSE(bridge.isOpen());
        // Closing after a failed open publishes and logs nothing either.
        bridge.closeScannerWithCompletion(recorder.closeCompletion());
        ASSERT_TRUE(recorder.waitForEvent(ofKind(Kind::closeCompleted)));
        EXPECT_EQ(recorder.events().size(), 2U);
    }

    // Two initialisations: the library's look-ups fall into two groups about a second apart.
    std::vector<std::chrono::steady_clock::duration> gaps;
    for (std::size_t i = 1; i < lookups.size(); ++i) {
        if (lookups[i] - lookups[i - 1] > 500ms) {
            gaps.push_back(lookups[i] - lookups[i - 1]);
        }
    }
    ASSERT_EQ(gaps.size(), 1U);
    EXPECT_GE(gaps.front(), 900ms);
    EXPECT_LE(gaps.front(), 3000ms);
}

} // namespace
} // namespace draftwell::test
