#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include "tests/app/signal_recorder.h"
#include "tests/support/service_fixture.h"

namespace draftwell::test {
namespace {

using ServiceSettingsTest = ServiceFixture;

TEST_F(ServiceSettingsTest, DefaultsWhenNothingIsStored) {
    auto& s = makeService();
    EXPECT_EQ(s.logFolderPath(), defaultFolder());
    EXPECT_EQ(ANTScannerService::defaultLogFolderPath(), defaultFolder());
    EXPECT_TRUE(s.autoCal());
    EXPECT_EQ(s.calLapCount(), 5);
    EXPECT_EQ(s.csvDelimiter(), ",");
    EXPECT_EQ(s.csvDelimiterOption(), CSVDelimiterOption::comma);
    // The folder and the separator are written back at once, the others not.
    EXPECT_EQ(stored(".lastLogFolder").toString(), defaultFolder());
    EXPECT_EQ(stored(".csvDelimiter").toString(), ",");
    EXPECT_FALSE(stored(".autoCal").isValid());
    EXPECT_FALSE(stored(".calLapCount").isValid());
}

TEST_F(ServiceSettingsTest, InitialPublishedValues) {
    auto& s = makeService();
    EXPECT_FALSE(s.isOpen());
    EXPECT_FALSE(s.isReceiving());
    EXPECT_FALSE(s.multipleDevices());
    EXPECT_TRUE(s.openConButtonEnabled());
    EXPECT_EQ(s.currentLapNumber(), "-");
    EXPECT_EQ(s.packetProgress(), "0/3");
    EXPECT_EQ(s.lapStatus(), "Invalid");
    EXPECT_FALSE(s.lapComplete());
    EXPECT_EQ(s.completedLapCount(), 0);
    EXPECT_EQ(s.lastCompletedLap(), "-");
    EXPECT_TRUE(s.logs().isEmpty());
    EXPECT_TRUE(s.allLapData().empty());
    EXPECT_EQ(s.logFileName(), "Not Started");
    EXPECT_EQ(s.logDescription(), "");
    EXPECT_FALSE(s.isLogging());
}

TEST_F(ServiceSettingsTest, StoredValuesAreUsed) {
    store(".lastLogFolder", QStringLiteral(" \t/data/runs\n "));
    store(".autoCal", false);
    store(".calLapCount", 3);
    store(".csvDelimiter", QStringLiteral(";"));
    auto& s = makeService();
    EXPECT_EQ(s.logFolderPath(), "/data/runs");
    EXPECT_EQ(stored(".lastLogFolder").toString(), "/data/runs");
    EXPECT_FALSE(s.autoCal());
    EXPECT_EQ(s.calLapCount(), 3);
    EXPECT_EQ(s.csvDelimiter(), ";");
    EXPECT_EQ(s.csvDelimiterOption(), CSVDelimiterOption::semicolon);
}

TEST_F(ServiceSettingsTest, BadStoredValuesFallBack) {
    store(".lastLogFolder", QStringLiteral("     "));
    store(".autoCal", QStringLiteral("yes"));
    store(".calLapCount", -3);
    store(".csvDelimiter", QStringLiteral("\t"));
    auto& s = makeService();
    EXPECT_EQ(s.logFolderPath(), defaultFolder());
    EXPECT_EQ(stored(".lastLogFolder").toString(), defaultFolder());
    EXPECT_TRUE(s.autoCal());
    EXPECT_EQ(s.calLapCount(), 0);
    EXPECT_EQ(s.csvDelimiter(), ",");
    EXPECT_EQ(stored(".csvDelimiter").toString(), ",");
}

TEST_F(ServiceSettingsTest, ValuesOfTheWrongKindFallBack) {
    store(".lastLogFolder", QStringList{"a", "b"});
    store(".calLapCount", QStringLiteral("five"));
    store(".csvDelimiter", QStringLiteral(",,"));
    auto& s = makeService();
    EXPECT_EQ(s.logFolderPath(), defaultFolder());
    EXPECT_EQ(s.calLapCount(), 5);
    EXPECT_EQ(s.csvDelimiter(), ",");
}

TEST_F(ServiceSettingsTest, SettingsSurviveARestartFromDisk) {
    {
        auto& s = makeService();
        s.setLogFolderPath(QStringLiteral("/runs/a, b; c"));
        s.setAutoCal(false);
        s.setCalLapCount(7);
        s.setCSVDelimiter(CSVDelimiterOption::semicolon);
        service.reset();
        QSettings().sync();
    }
    // A fresh settings path is read from disk, not from this process's cache.
    const QString copy = root.filePath("settings-copy/draftwell-tests");
    ASSERT_TRUE(QDir().mkpath(copy));
    ASSERT_TRUE(
        QFile::copy(root.filePath("settings/draftwell-tests/app-tests.conf"), copy + "/app-tests.conf"));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, root.filePath("settings-copy"));

    auto& s = makeService();
    EXPECT_EQ(s.logFolderPath(), "/runs/a, b; c");
    EXPECT_FALSE(s.autoCal());
    EXPECT_EQ(s.calLapCount(), 7);
    EXPECT_EQ(s.csvDelimiter(), ";");
}

TEST_F(ServiceSettingsTest, FolderAssignmentStoresTheTrimmedPathOrRemovesIt) {
    auto& s = makeService();
    SignalRecorder recorder(s);
    s.setLogFolderPath(QStringLiteral("  /x/y  "));
    EXPECT_EQ(s.logFolderPath(), "  /x/y  ");
    EXPECT_EQ(stored(".lastLogFolder").toString(), "/x/y");
    s.setLogFolderPath(QStringLiteral(" \n "));
    EXPECT_FALSE(stored(".lastLogFolder").isValid());
    s.setLogFolderPath(QStringLiteral(" \n "));
    EXPECT_EQ(recorder.count("logFolderPathChanged"), 3);
}

TEST_F(ServiceSettingsTest, DelimiterChangeIsStoredWithoutRecomputing) {
    auto& s = makeService();
    SignalRecorder recorder(s);
    s.setCSVDelimiter(CSVDelimiterOption::comma);
    EXPECT_EQ(recorder.count("csvDelimiterChanged"), 0);
    s.setCSVDelimiter(CSVDelimiterOption::semicolon);
    EXPECT_EQ(s.csvDelimiter(), ";");
    EXPECT_EQ(stored(".csvDelimiter").toString(), ";");
    EXPECT_EQ(recorder.count("csvDelimiterChanged"), 1);
    EXPECT_EQ(recorder.count("sessionDataChanged"), 0);
}

TEST_F(ServiceSettingsTest, ChosenFolderIsUsedAndStored) {
    auto& s = makeService();
    s.setLogFolderPath(QStringLiteral("  /start/here "));
    QString startedIn;
    s.setFolderChooser([&](const QString& start) -> std::optional<QString> {
        startedIn = start;
        return QStringLiteral("/picked/folder");
    });
    s.chooseLogFolder();
    EXPECT_EQ(startedIn, "/start/here");
    EXPECT_EQ(s.logFolderPath(), "/picked/folder");
    EXPECT_EQ(stored(".lastLogFolder").toString(), "/picked/folder");
    EXPECT_EQ(s.messageLogs(), QStringList{"Selected folder /picked/folder"});
}

TEST_F(ServiceSettingsTest, CancelledChooserChangesNothing) {
    auto& s = makeService();
    s.setLogFolderPath(QStringLiteral("   "));
    QString startedIn;
    s.setFolderChooser([&](const QString& start) -> std::optional<QString> {
        startedIn = start;
        return std::nullopt;
    });
    SignalRecorder recorder(s);
    s.chooseLogFolder();
    EXPECT_EQ(startedIn, defaultFolder());
    EXPECT_EQ(s.logFolderPath(), "   ");
    EXPECT_TRUE(recorder.emitted().isEmpty());
}

} // namespace
} // namespace draftwell::test
