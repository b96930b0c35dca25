#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <gtest/gtest.h>

#include "tests/app/scoped_resource_limit.h"
#include "tests/app/signal_recorder.h"
#include "tests/support/service_fixture.h"

namespace draftwell::test {
namespace {

class ServiceLoggingTest : public ServiceFixture {
  protected:
    void SetUp() override {
        ServiceFixture::SetUp();
        folder = root.filePath("runs");
        makeService().setLogFolderPath(folder);
    }

    QString runFile(const char* name = "Run_001.csv") const { return QDir(folder).filePath(name); }

    static QByteArray readAll(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // Starts logging and checks that line 1 is a start time of this run.
    QByteArray startAndReadLine1(bool resetFirst = false) {
        const QDateTime before = QDateTime::currentDateTime();
        service->startLogging(resetFirst);
        const QDateTime after = QDateTime::currentDateTime();
        const QByteArray line1 = readAll(runFile(service->logFileName().toUtf8().constData()));
        bool matches = false;
        for (QDateTime t = before.addMSecs(-1000); t <= after.addMSecs(1000) && !matches; t = t.addSecs(1)) {
            matches = line1 == QLocale().toString(t, QStringLiteral("dd/MM/yy HH:mm:ss")).toUtf8() + "\n";
        }
        EXPECT_TRUE(matches) << line1.toStdString();
        return line1;
    }

    static LapFigures exampleLap() {
        LapFigures f;
        f.lap = 5;
        f.cdA = 0.3088;
        f.cal = 1.0;
        f.lapTime = 123.456;
        f.dist = 500.0;
        f.head = 90.0;
        f.chest = 100.0;
        f.riderPwr = 250.0;
        return f;
    }

    // True while any descriptor of this process refers to the file.
    static bool isOpenInProcess(const QString& path) {
        const QString target = QFileInfo(path).canonicalFilePath();
        const QDir fds(QStringLiteral("/proc/self/fd"));
        for (const QString& fd : fds.entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot)) {
            if (QFileInfo(fds.filePath(fd)).symLinkTarget() == target) {
                return true;
            }
        }
        return false;
    }

    QString folder;
};

TEST_F(ServiceLoggingTest, ExampleFileInADecimalCommaLocaleWithSemicolons) {
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    service->setCSVDelimiter(CSVDelimiterOption::semicolon);
    service->setLogDescription(QStringLiteral("TT position, helmet A"));
    const QByteArray line1 = startAndReadLine1();
    EXPECT_EQ(service->logFileName(), "Run_001.csv");
    EXPECT_TRUE(service->isLogging());
    completeLap(exampleLap());
    service->stopLogging();
    EXPECT_FALSE(service->isLogging());
    EXPECT_EQ(service->logFileName(), "Run_001.csv");
    EXPECT_EQ(readAll(runFile()),
              line1 + "Description: TT position, helmet A\n"
                      "Flag;Lap;CdACal;Cal;CdARaw;Time;Dist;Speed;Power;Head;Chest\n"
                      "X;5;0,308800;1,000000;0,308800;123,456;500,000;14,580;250,00;90,0;100,0\n");
    EXPECT_EQ(service->messageLogs(), (QStringList{"Opened log file.", "Closed log file."}));
}

// Quoted so that every row reads back as eleven fields.
TEST_F(ServiceLoggingTest, CommaDelimiterInADecimalCommaLocaleQuotesTheNumbers) {
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    service->setLogDescription(QStringLiteral("TT position, helmet A"));
    const QByteArray line1 = startAndReadLine1();
    completeLap(exampleLap());
    service->stopLogging();
    EXPECT_EQ(readAll(runFile()),
              line1 + "Description: TT position, helmet A\n"
                      "Flag,Lap,CdACal,Cal,CdARaw,Time,Dist,Speed,Power,Head,Chest\n"
                      "X,5,\"0,308800\",\"1,000000\",\"0,308800\",\"123,456\",\"500,000\",\"14,580\","
                      "\"250,00\",\"90,0\",\"100,0\"\n");
}

TEST_F(ServiceLoggingTest, NoLapsAndEmptyDescription) {
    const QByteArray line1 = startAndReadLine1();
    service->stopLogging();
    EXPECT_EQ(readAll(runFile()),
              line1 + "Description: \nFlag,Lap,CdACal,Cal,CdARaw,Time,Dist,Speed,Power,Head,Chest\n");
}

TEST_F(ServiceLoggingTest, EarlierLapsAreWrittenOldestFirstWithTheirFlags) {
    LapFigures f = exampleLap();
    f.lap = 1;
    completeLap(f);
    f.lap = 2;
    f.cdA = 0.3;
    completeLap(f);
    const QByteArray line1 = startAndReadLine1();
    // Deselected during the run: the row starts with the delimiter and the
    // calibration follows the remaining lap.
    service->allLapData()[1]->use = false;
    service->updateSessionData();
    service->stopLogging();
    EXPECT_EQ(readAll(runFile()),
              line1 + "Description: \n"
                      "Flag,Lap,CdACal,Cal,CdARaw,Time,Dist,Speed,Power,Head,Chest\n"
                      ",1,0.308800,1.000000,0.308800,123.456,500.000,14.580,250.00,90.0,100.0\n"
                      "X,2,0.300000,1.000000,0.300000,123.456,500.000,14.580,250.00,90.0,100.0\n");
}

TEST_F(ServiceLoggingTest, ResetFirstOnlyWhenThereAreLaps) {
    SignalRecorder recorder(*service);
    service->startLogging(true);
    EXPECT_EQ(recorder.count("lastCompletedLapChanged"), 0);
    service->stopLogging();

    completeLap(exampleLap());
    service->startLogging(true);
    EXPECT_TRUE(service->allLapData().empty());
    EXPECT_EQ(service->logFileName(), "Run_002.csv");
    service->stopLogging();
    EXPECT_EQ(readAll(runFile("Run_002.csv")).count('\n'), 3);
}

TEST_F(ServiceLoggingTest, StartWhileLoggingAndStopWhileIdleDoNothing) {
    service->stopLogging();
    EXPECT_TRUE(service->logs().isEmpty());
    service->startLogging(false);
    SignalRecorder recorder(*service);
    service->startLogging(false);
    EXPECT_TRUE(recorder.emitted().isEmpty());
    EXPECT_FALSE(QFile::exists(runFile("Run_002.csv")));
}

TEST_F(ServiceLoggingTest, RunsAreNumberedAfterTheHighestInTheFolder) {
    ASSERT_TRUE(QDir().mkpath(folder));
    for (const char* name : {"Run_999.csv", "Run_-3.csv", "run_1200.csv", "Run_1100.tmp.csv"}) {
        QFile f(runFile(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    service->startLogging(false);
    EXPECT_EQ(service->logFileName(), "Run_1000.csv");
    service->stopLogging();
    service->startLogging(false);
    EXPECT_EQ(service->logFileName(), "Run_1001.csv");
    EXPECT_TRUE(QFile::exists(runFile("Run_1001.csv")));
}

TEST_F(ServiceLoggingTest, EmptyFolderFallsBackToTheDefaultFolder) {
    service->setLogFolderPath(QStringLiteral("  "));
    service->startLogging(false);
    EXPECT_EQ(service->logFolderPath(), defaultFolder());
    EXPECT_EQ(stored(".lastLogFolder").toString(), defaultFolder());
    EXPECT_TRUE(QFile::exists(defaultFolder() + "/Run_001.csv"));
    EXPECT_TRUE(service->isLogging());
}

TEST_F(ServiceLoggingTest, FolderThatCannotBeCreated) {
    QFile blocker(root.filePath("blocker"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    service->setLogFolderPath(root.filePath("blocker/runs"));
    service->startLogging(false);
    EXPECT_EQ(service->messageLogs(), QStringList{"Failed to create output directory."});
    EXPECT_FALSE(service->isLogging());
    EXPECT_EQ(service->logFileName(), "Not Started");
}

TEST_F(ServiceLoggingTest, FolderThatCannotBeListed) {
    ASSERT_TRUE(QDir().mkpath(folder));
    {
        // No descriptor can be opened, so the folder cannot be read.
        ScopedResourceLimit noFiles(RLIMIT_NOFILE, 0);
        ASSERT_TRUE(noFiles.ok());
        service->startLogging(false);
    }
    EXPECT_EQ(service->messageLogs(), QStringList{"Invalid directory."});
    EXPECT_FALSE(service->isLogging());
    EXPECT_EQ(service->logFileName(), "Not Started");
}

TEST_F(ServiceLoggingTest, ExistingFileIsNeverReplaced) {
    // The largest run number is not counted (it has no successor), so the
    // next run is its name: the one way to meet an existing file here.
    ASSERT_TRUE(QDir().mkpath(folder));
    for (const char* name : {"Run_9223372036854775806.csv", "Run_9223372036854775807.csv"}) {
        QFile f(runFile(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("earlier run\n");
    }
    service->startLogging(false);
    EXPECT_EQ(service->messageLogs(),
              (QStringList{"Failed to open file.",
                           "Could not create Run_9223372036854775807.csv in " + folder + ": File exists."}));
    EXPECT_FALSE(service->isLogging());
    EXPECT_EQ(readAll(runFile("Run_9223372036854775807.csv")), "earlier run\n");
}

TEST_F(ServiceLoggingTest, FileThatCannotBeStarted) {
    {
        // The file can be created but not even line 1 written.
        ScopedResourceLimit full(RLIMIT_FSIZE, 0);
        ASSERT_TRUE(full.ok());
        service->startLogging(false);
    }
    EXPECT_EQ(service->messageLogs(),
              (QStringList{"Failed to open file.",
                           "Could not create Run_001.csv in " + folder + ": File too large."}));
    EXPECT_FALSE(service->isLogging());
    EXPECT_EQ(service->logFileName(), "Not Started");
    EXPECT_FALSE(service->csvLogger().isOpen());
}

TEST_F(ServiceLoggingTest, WriteFailureAtStopKeepsTheRunForTheNextStart) {
    const QByteArray line1 = startAndReadLine1();
    completeLap(exampleLap());
    EXPECT_TRUE(isOpenInProcess(runFile()));
    {
        // Like a full disk: the stop's writes fail past this size.
        ScopedResourceLimit full(RLIMIT_FSIZE, static_cast<rlim_t>(line1.size() + 40));
        ASSERT_TRUE(full.ok());
        service->stopLogging();
    }
    EXPECT_EQ(
        service->messageLogs().mid(1),
        (QStringList{"Failed to close file.",
                     "Run_001.csv is incomplete (File too large); the laps stay in the lap list, and its "
                     "journal completes it when logging next starts in this folder."}));
    EXPECT_FALSE(service->isLogging());
    EXPECT_FALSE(isOpenInProcess(runFile()));
    const QByteArray full = line1 +
                            "Description: \nFlag,Lap,CdACal,Cal,CdARaw,Time,Dist,Speed,Power,Head,Chest\n"
                            "X,5,0.308800,1.000000,0.308800,123.456,500.000,14.580,250.00,90.0,100.0\n";
    EXPECT_EQ(readAll(runFile()), full.left(line1.size() + 40));
    ASSERT_EQ(service->allLapData().size(), 1U);

    // With room again, the next start completes the failed run first, and
    // the laps still in the list go into the new run too.
    service->startLogging(false);
    EXPECT_EQ(readAll(runFile()), full);
    EXPECT_TRUE(service->messageLogs().contains("Recovered Run_001.csv with 1 lap."));
    EXPECT_EQ(service->logFileName(), "Run_002.csv");
    service->stopLogging();
    EXPECT_EQ(readAll(runFile("Run_002.csv")).count('\n'), 4);
    EXPECT_TRUE(QDir(folder).entryList(QDir::Hidden | QDir::Files).filter(".journal").isEmpty());
}

TEST_F(ServiceLoggingTest, TerminationWritesTheOpenFile) {
    const QByteArray line1 = startAndReadLine1();
    service->connect();
    service->applicationWillTerminate();
    EXPECT_FALSE(service->isLogging());
    EXPECT_EQ(bridge->synchronousCloses, 1);
    EXPECT_TRUE(service->openConButtonEnabled());
    EXPECT_TRUE(readAll(runFile()).startsWith(line1 + "Description: \n"));
}

TEST_F(ServiceLoggingTest, ARunStillOpenWhenTheServiceGoesIsWritten) {
    const QByteArray line1 = startAndReadLine1();
    completeLap(exampleLap());
    service.reset();
    EXPECT_EQ(readAll(runFile()),
              line1 + "Description: \n"
                      "Flag,Lap,CdACal,Cal,CdARaw,Time,Dist,Speed,Power,Head,Chest\n"
                      "X,5,0.308800,1.000000,0.308800,123.456,500.000,14.580,250.00,90.0,100.0\n");
}

} // namespace
} // namespace draftwell::test
