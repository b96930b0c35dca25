// The receive path, device tracking and both timers against the virtual stick.
#include <gtest/gtest.h>

#include <algorithm>

#include <QRegularExpression>
#include <QTest>

#include <chrono>
#include <memory>

#include "bridge/ant_scanner_bridge.h"
#include "tests/bridge/bridge_event_recorder.h"
#include "tests/bridge/traced_sim_stick.h"

namespace draftwell::test {
namespace {

using Kind = BridgeEvent::Kind;
using namespace std::chrono_literals;

const QString kWarning =
    QStringLiteral("Multiple Garmins detected.\nMake sure only one Garmin is running DFX app.");

bool isPacket(const BridgeEvent& e) {
    return e.kind == Kind::packet;
}
bool isRx(const BridgeEvent& e) {
    return e.isRxLine();
}

class BridgeReceiveTest : public ::testing::Test {
  protected:
    void open(antsim::Scenario scenario) {
        stick = std::make_unique<TracedSimStick>(scenario);
        bridge = std::make_unique<ANTScannerBridge>();
        recorder.attach(*bridge);
        bridge->openScannerWithCompletion(recorder.openCompletion());
        ASSERT_TRUE(
            recorder.waitForEvent([](const BridgeEvent& e) { return e.kind == Kind::openCompleted; }));
        ASSERT_TRUE(bridge->isOpen());
    }

    void TearDown() override {
        bridge.reset();
        stick.reset();
    }

    const BridgeEvent& at(long index) const { return recorder.events().at(static_cast<std::size_t>(index)); }

    std::unique_ptr<TracedSimStick> stick;
    std::unique_ptr<ANTScannerBridge> bridge;
    BridgeEventRecorder recorder;
};

TEST_F(BridgeReceiveTest, FirstBroadcastPublishesReceivingBeforeItsLineAndPacket) {
    open(antsim::Scenario{});
    ASSERT_TRUE(recorder.waitForEvent(isPacket));

    const long receiving =
        recorder.indexOf([](const BridgeEvent& e) { return e.isStatus(true, true, false); });
    const long line = recorder.indexOf(isRx);
    const long packet = recorder.indexOf(isPacket);
    ASSERT_GE(receiving, 0);
    EXPECT_LT(receiving, line);
    EXPECT_LT(line, packet);

    // "RX " and the 8 payload bytes, each as two upper-case hex digits in brackets.
    static const QRegularExpression format(QStringLiteral("^RX \\[[0-9A-F]{2}\\]( \\[[0-9A-F]{2}\\]){7}$"));
    EXPECT_TRUE(format.match(at(line).line).hasMatch()) << at(line).line.toStdString();
    const QByteArray payload = at(packet).payload;
    ASSERT_EQ(payload.size(), 8);
    QStringList pieces;
    for (const char byte : payload) {
        pieces << QString::asprintf("[%02X]", static_cast<unsigned>(static_cast<std::uint8_t>(byte)));
    }
    EXPECT_EQ(at(line).line, QStringLiteral("RX ") + pieces.join(QLatin1Char(' ')));
    EXPECT_EQ(at(packet).deviceNumber, std::optional<std::uint16_t>(12345));
    EXPECT_EQ(recorder.count([](const BridgeEvent& e) { return e.kind == Kind::status; }), 2);
}

TEST_F(BridgeReceiveTest, DeviceNumberComesFromTheExtendedData) {
    antsim::Scenario scenario;
    scenario.firstDeviceNumber = 0x1234;
    open(scenario);
    ASSERT_TRUE(recorder.waitForEvent(isPacket));
    EXPECT_EQ(at(recorder.indexOf(isPacket)).deviceNumber, std::optional<std::uint16_t>(4660));
}

TEST_F(BridgeReceiveTest, BroadcastWithoutDeviceNumberIsDeliveredWithoutOne) {
    antsim::Scenario quiet;
    quiet.silence = true; // no broadcasts of its own
    open(quiet);

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

    ASSERT_TRUE(recorder.waitFor([&] { return recorder.count(isPacket) == 2; }));
    for (long i = 0, found = -1; i < 2; ++i) {
        found = recorder.indexOf(isPacket, static_cast<std::size_t>(found + 1));
        EXPECT_FALSE(at(found).deviceNumber.has_value());
        EXPECT_EQ(at(found).payload, plain.mid(1, 8));
    }
    EXPECT_EQ(recorder.count(isRx), 2);
    EXPECT_EQ(recorder.count([](const BridgeEvent& e) { return e.isStatus(true, true, false); }), 1);
    EXPECT_FALSE(bridge->multipleDevices());
}

TEST_F(BridgeReceiveTest, OtherEventsAndBroadcastsWhileClosedAreDropped) {
    antsim::Scenario quiet;
    quiet.silence = true;
    open(quiet);
    const std::size_t before = recorder.events().size();

    const QByteArray bytes(ANTScannerBridge::kBufferSize, '\x01');
    for (const std::uint8_t event : {0x9B, 0x9C, 0xA4, 0xA5, 0x01}) {
        bridge->handleChannelEvent(event, bytes);
    }
    bridge->closeScanner();
    bridge->handleChannelEvent(0x9A, bytes);
    bridge->handleChannelEvent(0xA3, bytes);

    ASSERT_TRUE(recorder.waitForEvent(
        [](const BridgeEvent& e) { return e.isLog(QStringLiteral("ANT Channel closed")); }));
    for (std::size_t i = before; i < recorder.events().size(); ++i) {
        EXPECT_NE(recorder.events()[i].kind, Kind::packet);
        EXPECT_FALSE(recorder.events()[i].isRxLine());
    }
}

// Line noise before every frame, then a restart of the stick: broadcasts still arrive, the
// stick is configured again and receiving goes on without the session ever closing.
TEST_F(BridgeReceiveTest, NoiseAndARestartOfTheStickKeepTheSessionReceiving) {
    antsim::Scenario scenario;
    scenario.noiseEvery = 1;
    scenario.broadcastPeriod = 50ms;
    scenario.restart = true;
    scenario.restartAfter = 500ms;
    open(scenario);
    const auto isLog = [](const char* text) {
        return [line = QString::fromLatin1(text)](const BridgeEvent& e) { return e.isLog(line); };
    };
    ASSERT_TRUE(recorder.waitForEvent(isLog("ANT stick configured again.")));
    const long restarted = recorder.indexOf(isLog("ANT stick restarted; configuring it again."));
    const long configured = recorder.indexOf(isLog("ANT stick configured again."));
    ASSERT_GE(restarted, 0);
    EXPECT_GE(recorder.indexOf(isRx), 0);
    EXPECT_LT(recorder.indexOf(isRx), restarted);
    ASSERT_TRUE(
        recorder.waitFor([&] { return recorder.indexOf(isRx, static_cast<std::size_t>(configured)) >= 0; }));
    EXPECT_EQ(recorder.count([](const BridgeEvent& e) { return e.isStatus(false, false, false); }), 0);
    EXPECT_TRUE(bridge->isOpen());
    // After the restart the stick got the reset and the whole configuration again.
    const std::vector<std::string> frames = stick->frameLines();
    EXPECT_GE(std::count_if(frames.begin(), frames.end(),
                            [](const std::string& f) { return f.rfind("[5B]", 0) == 0; }),
              2);
}

// A stick that restarts and does not come back, not even when opened again: the session ends as a
// failed open does.
TEST_F(BridgeReceiveTest, AStickThatCannotBeConfiguredAfterARestartEndsTheSession) {
    antsim::Scenario restarting;
    restarting.restart = true;
    restarting.restartAfter = 300ms;
    restarting.deadAfterRestart = true;
    antsim::Scenario dead;
    dead.unanswered.all = true;
    stick = std::make_unique<TracedSimStick>(std::vector{restarting, dead});
    bridge = std::make_unique<ANTScannerBridge>();
    recorder.attach(*bridge);
    bridge->openScannerWithCompletion(recorder.openCompletion());
    const QString failed = QStringLiteral("Failed to open scanner.\nTry replugging the ANT dongle.");
    ASSERT_TRUE(recorder.waitFor(
        [&] { return recorder.count([&](const BridgeEvent& e) { return e.isLog(failed); }) == 1; }));
    ASSERT_TRUE(recorder.waitFor([&] { return !bridge->isOpen(); }));
    const long restarted = recorder.indexOf([](const BridgeEvent& e) {
        return e.isLog(QStringLiteral("ANT stick restarted; configuring it again."));
    });
    const long end = recorder.indexOf([&](const BridgeEvent& e) { return e.isLog(failed); });
    ASSERT_GE(restarted, 0);
    EXPECT_LT(restarted, end);
    EXPECT_GE(recorder.indexOf([](const BridgeEvent& e) { return e.isStatus(false, false, false); },
                               static_cast<std::size_t>(restarted)),
              0);
}

TEST_F(BridgeReceiveTest, TwoTransmittersWarnOncePerEpisode) {
    antsim::Scenario scenario;
    scenario.transmitters = 2;
    scenario.silence = true;
    scenario.silenceAfter = 2500ms;
    scenario.silenceFor = 2500ms;
    open(scenario);

    ASSERT_TRUE(recorder.waitFor(
        [&] { return recorder.count([](const BridgeEvent& e) { return e.isLog(kWarning); }) == 2; }, 20000));
    const long firstWarning = recorder.indexOf([](const BridgeEvent& e) { return e.isLog(kWarning); });
    const long secondWarning = recorder.indexOf([](const BridgeEvent& e) { return e.isLog(kWarning); },
                                                static_cast<std::size_t>(firstWarning + 1));

    // multipleDevices as published, in order, with repeats collapsed.
    std::vector<bool> multiple;
    std::vector<long> changes;
    for (long i = 0; i <= secondWarning + 1 && i < static_cast<long>(recorder.events().size()); ++i) {
        const BridgeEvent& e = at(i);
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
    const BridgeEvent* previous = &at(changes[1]);
    for (long i = changes[1] + 1; i < changes[2]; ++i) {
        if (at(i).kind == Kind::status) {
            EXPECT_NE(at(i).receiving, previous->receiving);
            previous = &at(i);
        }
    }
}

TEST_F(BridgeReceiveTest, SilenceTurnsReceivingFalseWithinTwoToFourSeconds) {
    antsim::Scenario scenario;
    scenario.silence = true;
    scenario.silenceAfter = 1500ms;
    open(scenario);

    const auto stopped = [](const BridgeEvent& e) { return e.isStatus(true, false, false); };
    ASSERT_TRUE(recorder.waitFor(
        [&] {
            const long packet = recorder.indexOf(isPacket);
            return packet >= 0 && recorder.indexOf(stopped, static_cast<std::size_t>(packet)) >= 0;
        },
        15000));
    const long lastPacket = [&] {
        long last = -1;
        for (long i = 0; i < static_cast<long>(recorder.events().size()); ++i) {
            last = isPacket(at(i)) ? i : last;
        }
        return last;
    }();
    const long silent = recorder.indexOf(stopped, static_cast<std::size_t>(recorder.indexOf(isPacket)));
    ASSERT_LT(lastPacket, silent);
    const auto quietFor = at(silent).at - at(lastPacket).at;
    EXPECT_GE(quietFor, 1900ms);
    EXPECT_LE(quietFor, 4500ms);
    EXPECT_TRUE(bridge->isOpen());
}

TEST_F(BridgeReceiveTest, UnpluggedStickLogsRemovalAndClosesWithoutClosedLine) {
    antsim::Scenario scenario;
    scenario.unplug = true;
    scenario.unplugAfter = 2500ms;
    open(scenario);

    const QString removed = QStringLiteral("ANT device removed.");
    ASSERT_TRUE(recorder.waitForEvent([&](const BridgeEvent& e) { return e.isLog(removed); }));
    ASSERT_TRUE(recorder.waitForEvent([](const BridgeEvent& e) { return e.isStatus(false, false, false); }));
    EXPECT_FALSE(bridge->isOpen()); // waits for the close sequence to finish
    QTest::qWait(200);              // let anything it posted arrive

    const long removedAt = recorder.indexOf([&](const BridgeEvent& e) { return e.isLog(removed); });
    const long closedAt =
        recorder.indexOf([](const BridgeEvent& e) { return e.isStatus(false, false, false); });
    EXPECT_LT(removedAt, closedAt);
    EXPECT_EQ(
        recorder.count([](const BridgeEvent& e) { return e.isLog(QStringLiteral("ANT Channel closed")); }),
        0);
    EXPECT_EQ(recorder.count([&](const BridgeEvent& e) { return e.isLog(removed); }), 1);
}

} // namespace
} // namespace draftwell::test
