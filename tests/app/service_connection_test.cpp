#include <gtest/gtest.h>

#include "tests/support/service_fixture.h"
#include "tests/support/signal_recorder.h"

namespace draftwell::test {
namespace {

using ServiceConnectionTest = ServiceFixture;

TEST_F(ServiceConnectionTest, LogLinesAreRoutedByKindAndEachListKeepsItsNewest500) {
    auto& s = makeService();
    const QString rx = QStringLiteral("RX [01] [AB] [00] [00] [00] [00] [00] [00]");
    for (const char* line : {"12:34:56.789 Scanner opened.", "12:34:56.789Scanner opened.", "12:34:56.789 ",
                             "12:34:5x.789 ANT Channel closed", "12:34:56.789 RX [01]"}) {
        bridge->logHandler(QString::fromUtf8(line));
    }
    bridge->logHandler(rx);
    EXPECT_EQ(s.logs(),
              (QStringList{"12:34:56.789 Scanner opened.", "12:34:56.789Scanner opened.", "12:34:56.789 ",
                           "12:34:5x.789 ANT Channel closed", "12:34:56.789 RX [01]", rx}));
    EXPECT_EQ(s.dataLogs(), (QStringList{"12:34:56.789 RX [01]", rx}));
    EXPECT_EQ(s.messageLogs(), (QStringList{"Scanner opened.", "12:34:56.789Scanner opened.", "12:34:56.789 ",
                                            "12:34:5x.789 ANT Channel closed"}));
    const struct {
        const char* line;
        const char* stripped;
    } stamps[] = {{"00:00:00.000 x", "x"},
                  {"00:00:00.000  two", " two"},
                  {"0:00:00.000 xx", "0:00:00.000 xx"},
                  {"00-00-00.000 x", "00-00-00.000 x"},
                  {"", ""},
                  {"١٢:٣٤:٥٦.٧٨٩ x", "x"}};
    for (const auto& stamp : stamps) {
        EXPECT_EQ(ANTScannerService::stripTimestamp(QString::fromUtf8(stamp.line)), stamp.stripped)
            << stamp.line;
    }

    SignalRecorder recorder(s);
    for (int i = 1; i <= 501; ++i) {
        s.appendLog(QStringLiteral("RX [%1]").arg(i));
    }
    ASSERT_EQ(s.dataLogs().size(), 500);
    EXPECT_EQ((QStringList{s.dataLogs().front(), s.dataLogs().back()}), (QStringList{"RX [2]", "RX [501]"}));
    EXPECT_EQ((std::pair{recorder.count("dataLogsChanged"), recorder.count("logsChanged")}),
              (std::pair<qsizetype, qsizetype>{501, 501}));
    for (int i = 1; i <= 3; ++i) {
        s.appendLog(QStringLiteral("message %1").arg(i));
    }
    EXPECT_EQ((std::vector{s.messageLogs().size(), s.dataLogs().size(), s.logs().size()}),
              (std::vector<qsizetype>{7, 500, 500}));
    EXPECT_EQ((QStringList{s.logs().front(), s.logs().back()}), (QStringList{"RX [5]", "message 3"}));
}

TEST_F(ServiceConnectionTest, ConnectAndDisconnectAreGatedWhileARequestIsInFlight) {
    auto& s = makeService();
    s.connect();
    s.connect();
    s.disconnect();
    ASSERT_EQ(bridge->openRequests.size(), 1u);
    EXPECT_TRUE(bridge->closeRequests.empty());
    EXPECT_FALSE(s.openConButtonEnabled());
    bridge->openRequests[0](std::nullopt);
    EXPECT_TRUE(s.openConButtonEnabled());
    EXPECT_FALSE(s.isOpen()); // only the status handler opens
    EXPECT_TRUE(s.logs().isEmpty());

    s.disconnect();
    s.disconnect();
    s.connect();
    ASSERT_EQ(bridge->closeRequests.size(), 1u);
    EXPECT_EQ(bridge->openRequests.size(), 1u);
    EXPECT_FALSE(s.openConButtonEnabled());
    bridge->closeRequests[0]();
    EXPECT_TRUE(s.openConButtonEnabled());
    s.connect();
    EXPECT_EQ(bridge->openRequests.size(), 2u);

    // Status re-enables the control; unchanged values notify as well.
    SignalRecorder recorder(s);
    bridge->statusHandler(true, true, false);
    EXPECT_TRUE(s.isOpen() && s.isReceiving() && !s.multipleDevices() && s.openConButtonEnabled());
    EXPECT_EQ(recorder.count("multipleDevicesChanged"), 1);
    bridge->statusHandler(true, true, true);
    EXPECT_EQ(recorder.count("isOpenChanged"), 2);
    EXPECT_TRUE(s.multipleDevices());
}

TEST_F(ServiceConnectionTest, OpenFailuresSayWhatToTry) {
    const QString noDevice = QStringLiteral("No ANT device found.\nTry replugging the ANT dongle.");
    const QString openFailed = QStringLiteral("Failed to open scanner.\nTry replugging the ANT dongle.");
    auto& s = makeService();
    for (int code : {1, 2, 3, 8}) {
        s.connect();
        bridge->openRequests.back()(ScannerError{QStringLiteral("com.draftwell.LapLogger.ant"), code,
                                                 QStringLiteral("Failed to initialize ANT USB device.")});
        EXPECT_FALSE(s.isOpen());
        EXPECT_TRUE(s.openConButtonEnabled());
    }
    EXPECT_EQ(s.logs(), (QStringList{noDevice, openFailed, openFailed, openFailed}));
    EXPECT_EQ(s.messageLogs(), s.logs());
    EXPECT_TRUE(s.dataLogs().isEmpty());
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
    EXPECT_FALSE(bridge->statusHandler || bridge->logHandler || bridge->packetHandler);
    // Copies the bridge had already taken are harmless (the sanitizer builds
    // would report a use after free here).
    status(true, true, true);
    log(QStringLiteral("late line"));
    packet(page0(LapFigures{}), std::nullopt);
    opened(ScannerError{{}, 1, {}});
}

} // namespace
} // namespace draftwell::test
