#include <gtest/gtest.h>

#include "tests/app/signal_recorder.h"
#include "tests/support/service_fixture.h"

namespace draftwell::test {
namespace {

using ServiceLogTest = ServiceFixture;
using ServiceConnectionTest = ServiceFixture;

const QString kNoDevice = QStringLiteral("No ANT device found.\nTry replugging the ANT dongle.");
const QString kOpenFailed = QStringLiteral("Failed to open scanner.\nTry replugging the ANT dongle.");

TEST_F(ServiceLogTest, LinesAreRoutedByKind) {
    auto& s = makeService();
    const QString rx = QStringLiteral("RX [01] [AB] [00] [00] [00] [00] [00] [00]");
    bridge->logHandler(rx);
    bridge->logHandler(QStringLiteral("12:34:56.789 Scanner opened."));
    bridge->logHandler(QStringLiteral("12:34:56.789Scanner opened."));
    bridge->logHandler(QStringLiteral("12:34:56.789 "));
    bridge->logHandler(QStringLiteral("12:34:5x.789 ANT Channel closed"));
    bridge->logHandler(QStringLiteral("12:34:56.789 RX [01]"));
    EXPECT_EQ(s.logs(),
              (QStringList{rx, "12:34:56.789 Scanner opened.", "12:34:56.789Scanner opened.", "12:34:56.789 ",
                           "12:34:5x.789 ANT Channel closed", "12:34:56.789 RX [01]"}));
    EXPECT_EQ(s.dataLogs(), (QStringList{rx, "12:34:56.789 RX [01]"}));
    EXPECT_EQ(s.messageLogs(), (QStringList{"Scanner opened.", "12:34:56.789Scanner opened.", "12:34:56.789 ",
                                            "12:34:5x.789 ANT Channel closed"}));
}

TEST_F(ServiceLogTest, StripTimestampNeedsTheWholePattern) {
    EXPECT_EQ(ANTScannerService::stripTimestamp(QStringLiteral("00:00:00.000 x")), "x");
    EXPECT_EQ(ANTScannerService::stripTimestamp(QStringLiteral("00:00:00.000  two")), " two");
    EXPECT_EQ(ANTScannerService::stripTimestamp(QStringLiteral("0:00:00.000 xx")), "0:00:00.000 xx");
    EXPECT_EQ(ANTScannerService::stripTimestamp(QStringLiteral("00-00-00.000 x")), "00-00-00.000 x");
    EXPECT_EQ(ANTScannerService::stripTimestamp(QString()), "");
    EXPECT_EQ(ANTScannerService::stripTimestamp(QStringLiteral("١٢:٣٤:٥٦.٧٨٩ x")), "x");
}

TEST_F(ServiceLogTest, EachListKeepsItsNewest500Lines) {
    auto& s = makeService();
    SignalRecorder recorder(s);
    for (int i = 1; i <= 501; ++i) {
        s.appendLog(QStringLiteral("RX [%1]").arg(i));
    }
    ASSERT_EQ(s.dataLogs().size(), 500);
    EXPECT_EQ(s.dataLogs().front(), "RX [2]");
    EXPECT_EQ(s.dataLogs().back(), "RX [501]");
    EXPECT_EQ(s.logs().size(), 500);
    EXPECT_TRUE(s.messageLogs().isEmpty());
    EXPECT_EQ(recorder.count("dataLogsChanged"), 501);
    EXPECT_EQ(recorder.count("logsChanged"), 501);

    for (int i = 1; i <= 3; ++i) {
        s.appendLog(QStringLiteral("message %1").arg(i));
    }
    EXPECT_EQ(s.messageLogs().size(), 3);
    EXPECT_EQ(s.dataLogs().size(), 500);
    EXPECT_EQ(s.logs().size(), 500);
    EXPECT_EQ(s.logs().front(), "RX [5]");
    EXPECT_EQ(s.logs().back(), "message 3");
}

TEST_F(ServiceConnectionTest, SecondConnectWhileInFlightIsIgnored) {
    auto& s = makeService();
    s.connect();
    s.connect();
    ASSERT_EQ(bridge->openRequests.size(), 1u);
    EXPECT_FALSE(s.openConButtonEnabled());
    s.disconnect();
    EXPECT_TRUE(bridge->closeRequests.empty());

    bridge->openRequests[0](std::nullopt);
    EXPECT_TRUE(s.openConButtonEnabled());
    EXPECT_FALSE(s.isOpen()); // only the status handler opens
    EXPECT_TRUE(s.logs().isEmpty());
    s.connect();
    EXPECT_EQ(bridge->openRequests.size(), 2u);
}

TEST_F(ServiceConnectionTest, StatusReenablesTheControlAndSetsTheFlags) {
    auto& s = makeService();
    s.connect();
    SignalRecorder recorder(s);
    bridge->statusHandler(true, true, false);
    EXPECT_TRUE(s.isOpen());
    EXPECT_TRUE(s.isReceiving());
    EXPECT_FALSE(s.multipleDevices());
    EXPECT_TRUE(s.openConButtonEnabled());
    // Unchanged values notify as well.
    EXPECT_EQ(recorder.count("multipleDevicesChanged"), 1);
    bridge->statusHandler(true, true, true);
    EXPECT_EQ(recorder.count("isOpenChanged"), 2);
    EXPECT_TRUE(s.multipleDevices());
}

TEST_F(ServiceConnectionTest, InitFailureSaysNoDeviceFound) {
    auto& s = makeService();
    s.connect();
    bridge->openRequests[0](ScannerError{QStringLiteral("com.draftwell.LapLogger.ant"), 1,
                                         QStringLiteral("Failed to initialize ANT USB device.")});
    EXPECT_FALSE(s.isOpen());
    EXPECT_TRUE(s.openConButtonEnabled());
    EXPECT_EQ(s.logs(), QStringList{kNoDevice});
    EXPECT_EQ(s.messageLogs(), QStringList{kNoDevice});
    EXPECT_TRUE(s.dataLogs().isEmpty());
}

TEST_F(ServiceConnectionTest, OtherOpenFailuresSayOpenFailed) {
    auto& s = makeService();
    for (int code : {2, 3, 8}) {
        s.connect();
        bridge->openRequests.back()(ScannerError{QStringLiteral("com.draftwell.LapLogger.ant"), code, {}});
    }
    EXPECT_EQ(s.messageLogs(), (QStringList{kOpenFailed, kOpenFailed, kOpenFailed}));
}

TEST_F(ServiceConnectionTest, DisconnectIsGatedLikeConnect) {
    auto& s = makeService();
    s.disconnect();
    s.disconnect();
    s.connect();
    ASSERT_EQ(bridge->closeRequests.size(), 1u);
    EXPECT_TRUE(bridge->openRequests.empty());
    EXPECT_FALSE(s.openConButtonEnabled());
    bridge->closeRequests[0]();
    EXPECT_TRUE(s.openConButtonEnabled());
}

TEST_F(ServiceConnectionTest, CallbacksAfterTheServiceIsGoneDoNothing) {
    auto& s = makeService();
    s.connect();
    s.disconnect();
    auto status = bridge->statusHandler;
    auto log = bridge->logHandler;
    auto packet = bridge->packetHandler;
    auto opened = bridge->openRequests.at(0);
    service.reset();
    EXPECT_FALSE(bridge->statusHandler);
    EXPECT_FALSE(bridge->logHandler);
    EXPECT_FALSE(bridge->packetHandler);
    // Copies the bridge had already taken are harmless (the sanitizer builds
    // would report a use after free here).
    status(true, true, true);
    log(QStringLiteral("late line"));
    packet(page0(LapFigures{}), std::nullopt);
    opened(ScannerError{{}, 1, {}});
}

} // namespace
} // namespace draftwell::test
