#include <QDir>
#include <QFile>
#include <QSettings>

#include <gtest/gtest.h>

#include "app/run_recovery.h"
#include "tests/app/run_files.h"
#include "tests/app/scoped_read_only_folder.h"
#include "tests/app/scoped_resource_limit.h"
#include "tests/support/service_fixture.h"

namespace draftwell::test {
namespace {

const QByteArray kHeader = "Flag,Lap,CdACal,Cal,CdARaw,Time,Dist,Speed,Power,Head,Chest\n";

class HostileInputTest : public ServiceFixture {
  protected:
    void SetUp() override {
        ServiceFixture::SetUp();
        folder = root.filePath("runs");
        makeService().setLogFolderPath(folder);
    }

    QString runFile(const char* name = "Run_001.csv") const { return QDir(folder).filePath(name); }

    static LapFigures lap(int number) {
        LapFigures f;
        f.lap = number;
        return f;
    }

    static QByteArray row(int number) {
        return "X," + QByteArray::number(number) +
               ",0.300000,1.000000,0.300000,60.000,500.000,30.000,250.00,90.0,100.0\n";
    }

    QString folder;
};

TEST_F(HostileInputTest, DescriptionWithSeparatorsQuotesBreaksAndUnencodableText) {
    // Ordinary text with separators is written as typed.
    service->setLogDescription(QStringLiteral("TT position, helmet A; 5 mm"));
    service->startLogging(false);
    const QByteArray line1 = readFile(runFile());
    service->stopLogging();
    EXPECT_EQ(readFile(runFile()), line1 + "Description: TT position, helmet A; 5 mm\n" + kHeader);
    EXPECT_EQ(service->messageLogs().back(), "Closed log file.");

    const QString typed = QStringLiteral("a,\"b\";c\r\nd\ne\u2028f ") + QChar(0xDC00) + QStringLiteral(" g");
    service->setLogDescription(typed);
    service->startLogging(false);
    completeLap(lap(1));
    const QString crashed = crashCopy(folder, root.filePath("crashed"), QStringLiteral("Run_002.csv"));
    service->stopLogging();
    const QByteArray file = readFile(runFile("Run_002.csv"));
    // Still three lines before the rows, all valid UTF-8; the laps are there.
    EXPECT_EQ(file.mid(file.indexOf('\n') + 1),
              "Description: a,'b';c d e f \xEF\xBF\xBD g\n" + kHeader + row(1));
    EXPECT_EQ(
        service->messageLogs().mid(service->messageLogs().size() - 2),
        (QStringList{"Closed log file.", "The description was written with its line breaks, double quotes "
                                         "or invalid characters replaced."}));
    EXPECT_EQ(service->logDescription(), typed);
    EXPECT_EQ(RunRecovery::recoverFolder(crashed).size(), 1);
    EXPECT_EQ(readFile(QDir(crashed).filePath("Run_002.csv")), file);
}

TEST_F(HostileInputTest, FolderWithSpacesAndNonAsciiCharacters) {
    folder = root.filePath(QStringLiteral("Sessions März 2026/Bahn Køge ✓ #1"));
    service->setLogFolderPath(folder);
    service->startLogging(false);
    ASSERT_TRUE(service->isLogging());
    completeLap(lap(1));
    const QString crashed =
        crashCopy(folder, root.filePath(QStringLiteral("Kopie ä/ö ü")), QStringLiteral("Run_001.csv"));
    service->stopLogging();
    service->startLogging(false);
    EXPECT_EQ(service->logFileName(), "Run_002.csv");
    service->stopLogging();
    EXPECT_TRUE(readFile(runFile()).endsWith(kHeader + row(1)));
    EXPECT_EQ(RunRecovery::recoverFolder(crashed), QStringList{"Recovered Run_001.csv with 1 lap."});
    EXPECT_EQ(readFile(QDir(crashed).filePath("Run_001.csv")), readFile(runFile()));
    EXPECT_EQ(service->messageLogs(),
              (QStringList{"Opened log file.", "Closed log file.", "Opened log file.", "Closed log file."}));
}

TEST_F(HostileInputTest, ReadOnlyFolderAtTheStart) {
    ASSERT_TRUE(QDir().mkpath(folder));
    completeLap(lap(1));
    {
        ScopedReadOnlyFolder readOnly(folder);
        ASSERT_TRUE(readOnly.ok());
        service->startLogging(false);
    }
    EXPECT_EQ(service->messageLogs(),
              (QStringList{"Failed to open file.",
                           "Could not create Run_001.csv in " + folder + ": Permission denied."}));
    EXPECT_FALSE(service->isLogging());
    EXPECT_EQ(service->allLapData().size(), 1U);
    // Writable again, the same laps are logged.
    service->startLogging(false);
    service->stopLogging();
    EXPECT_TRUE(readFile(runFile()).endsWith(kHeader + row(1)));
}

TEST_F(HostileInputTest, FolderMadeReadOnlyDuringTheRun) {
    QString crashed;
    service->startLogging(false);
    completeLap(lap(1));
    {
        ScopedReadOnlyFolder readOnly(folder);
        ASSERT_TRUE(readOnly.ok());
        // Open files can still be written: the journal follows, the stop writes.
        completeLap(lap(2));
        crashed = crashCopy(folder, root.filePath("crashed"));
        service->stopLogging();
        EXPECT_EQ(service->messageLogs().mid(1),
                  (QStringList{"Closed log file.",
                               "Could not remove the journal of Run_001.csv: Permission denied."}));
        EXPECT_EQ(RunRecovery::recoverFolder(folder),
                  QStringList{"Could not remove the journal of Run_001.csv: Permission denied."});
        EXPECT_TRUE(QFile::exists(journalOf(folder)));
    }
    const QByteArray stopped = readFile(runFile());
    EXPECT_TRUE(stopped.endsWith(kHeader + row(1) + row(2)));
    // The leftover journal matches the file: it goes without a word.
    EXPECT_TRUE(RunRecovery::recoverFolder(folder).isEmpty());
    EXPECT_EQ(readFile(runFile()), stopped);
    EXPECT_TRUE(hiddenFiles(folder).isEmpty());

    // A crashed run in a read-only folder waits for a writable one.
    {
        ScopedReadOnlyFolder readOnly(crashed);
        ASSERT_TRUE(readOnly.ok());
        EXPECT_EQ(RunRecovery::recoverFolder(crashed),
                  QStringList{"Could not recover Run_001.csv: Permission denied. Its journal is kept."});
    }
    EXPECT_EQ(RunRecovery::recoverFolder(crashed), QStringList{"Recovered Run_001.csv with 2 laps."});
    EXPECT_EQ(readFile(QDir(crashed).filePath("Run_001.csv")), stopped);
}

TEST_F(HostileInputTest, FolderRemovedDuringTheRun) {
    service->startLogging(false);
    completeLap(lap(1));
    ASSERT_TRUE(QDir(folder).removeRecursively());
    completeLap(lap(2));
    completeLap(lap(3));
    service->stopLogging();
    EXPECT_EQ(
        service->messageLogs().mid(1),
        (QStringList{"Could not write the journal of Run_001.csv: the file was removed. The laps stay in "
                     "the lap list until logging stops.",
                     "Failed to close file.",
                     "Run_001.csv was removed before it could be written; the laps stay in the lap list for "
                     "the next run."}));
    ASSERT_EQ(service->allLapData().size(), 3U);

    service->startLogging(false);
    EXPECT_EQ(service->logFileName(), "Run_001.csv");
    service->stopLogging();
    EXPECT_TRUE(readFile(runFile()).endsWith(kHeader + row(1) + row(2) + row(3)));
}

TEST_F(HostileInputTest, JournalWriteFailureMidRunIsRepairedByTheNextChange) {
    service->startLogging(false);
    completeLap(lap(1));
    {
        // Like a full disk while lap 2 completes.
        ScopedResourceLimit full(RLIMIT_FSIZE, 0);
        ASSERT_TRUE(full.ok());
        completeLap(lap(2));
    }
    EXPECT_EQ(
        service->messageLogs().back(),
        "Could not write the journal of Run_001.csv: File too large. The laps stay in the lap list until "
        "logging stops.");
    completeLap(lap(3));
    EXPECT_EQ(service->messageLogs().back(), "The journal of Run_001.csv is written again.");
    const QString crashed = crashCopy(folder, root.filePath("crashed"));
    service->stopLogging();
    EXPECT_EQ(RunRecovery::recoverFolder(crashed), QStringList{"Recovered Run_001.csv with 3 laps."});
    EXPECT_EQ(readFile(QDir(crashed).filePath("Run_001.csv")), readFile(runFile()));
}

TEST_F(HostileInputTest, FullDiskAtStopLosesNoLap) {
    service->startLogging(false);
    const QByteArray line1 = readFile(runFile());
    completeLap(lap(1));
    completeLap(lap(2));
    {
        ScopedResourceLimit full(RLIMIT_FSIZE, static_cast<rlim_t>(line1.size()));
        ASSERT_TRUE(full.ok());
        service->stopLogging();
    }
    EXPECT_EQ(readFile(runFile()), line1);
    EXPECT_EQ(service->allLapData().size(), 2U);
    // Started again with a reset, the failed run still gets its laps.
    service->startLogging(true);
    EXPECT_TRUE(service->allLapData().empty());
    EXPECT_EQ(readFile(runFile()), line1 + "Description: \n" + kHeader + row(1) + row(2));
    service->stopLogging();
    EXPECT_TRUE(hiddenFiles(folder).isEmpty());
}

class HandEditedSettingsTest : public IsolatedEnvironment {
  protected:
    // The settings file as a user might leave it after editing.
    void writeSettings(const QByteArray& text) {
        const QString path = QSettings().fileName();
        ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath()));
        ASSERT_TRUE(writeFile(path, text));
    }

    std::unique_ptr<ANTScannerService> makeService() {
        return std::make_unique<ANTScannerService>(
            std::make_unique<ScriptedScannerBridge>(std::make_shared<ScriptedScannerBridge::State>()));
    }
};

TEST_F(HandEditedSettingsTest, WrongKindsFallBackWithALineEach) {
    writeSettings("[General]\n"
                  "com.draftwell.LapLogger.autoCal=maybe\n"
                  "com.draftwell.LapLogger.calLapCount=5.5\n"
                  "com.draftwell.LapLogger.csvDelimiter=|\n"
                  "com.draftwell.LapLogger.lastLogFolder=/a, /b\n");
    const auto service = makeService();
    EXPECT_TRUE(service->autoCal());
    EXPECT_EQ(service->calLapCount(), 5);
    EXPECT_EQ(service->csvDelimiter(), ",");
    const QString folder = homePath() + QStringLiteral("/Documents/Draftwell Lap Logger");
    EXPECT_EQ(service->logFolderPath(), folder);
    EXPECT_EQ(service->messageLogs(),
              (QStringList{
                  "Setting com.draftwell.LapLogger.lastLogFolder holds a list (/a, /b), which is not a "
                  "folder path; " +
                      folder + " is used.",
                  "Setting com.draftwell.LapLogger.autoCal holds \"maybe\", which is not true or false; "
                  "true is used.",
                  "Setting com.draftwell.LapLogger.calLapCount holds \"5.5\", which is not a whole number; "
                  "5 is used.",
                  "Setting com.draftwell.LapLogger.csvDelimiter holds \"|\", which is not \",\" or \";\"; "
                  "\",\" is used."}));
    // The folder and separator were stored back; the other two are only
    // written when changed, so they are reported again.
    EXPECT_EQ(makeService()->messageLogs(), service->messageLogs().mid(1, 2));
}

TEST_F(HandEditedSettingsTest, GoodValuesTypedByHandAreUsed) {
    writeSettings("[General]\n"
                  "com.draftwell.LapLogger.autoCal=false\n"
                  "com.draftwell.LapLogger.calLapCount=3\n"
                  "com.draftwell.LapLogger.csvDelimiter=\";\"\n"
                  "com.draftwell.LapLogger.lastLogFolder=/tmp/runs \n");
    const auto service = makeService();
    EXPECT_FALSE(service->autoCal());
    EXPECT_EQ(service->calLapCount(), 3);
    EXPECT_EQ(service->csvDelimiter(), ";");
    EXPECT_EQ(service->logFolderPath(), "/tmp/runs");
    EXPECT_TRUE(service->messageLogs().isEmpty());
}

TEST_F(HandEditedSettingsTest, BinaryGarbageGivesTheDefaults) {
    QByteArray garbage;
    for (int i = 0; i < 4096; ++i) {
        garbage += static_cast<char>((i * 7919) % 256);
    }
    writeSettings(garbage);
    const auto service = makeService();
    EXPECT_TRUE(service->autoCal());
    EXPECT_EQ(service->calLapCount(), 5);
    EXPECT_EQ(service->csvDelimiter(), ",");
}

} // namespace
} // namespace draftwell::test
