#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLocale>

#include <gtest/gtest.h>

#include <algorithm>

#include "app/run_file_reader.h"
#include "app/run_recovery.h"
#include "tests/app/scoped_obstacles.h"
#include "tests/support/run_files.h"
#include "tests/support/service_fixture.h"
#include "tests/support/signal_recorder.h"

namespace draftwell::test {
namespace {

QByteArray row(int number, char flag = 'X') {
    return (flag ? QByteArray(1, flag) : QByteArray()) + ',' + QByteArray::number(number) +
           ",0.300000,1.000000,0.300000,60.000,500.000,30.000,250.00,90.0,100.0\n";
}

class ServiceLoggingTest : public ServiceFixture {
  protected:
    void SetUp() override {
        ServiceFixture::SetUp();
        useFolder(root.filePath("runs"));
    }
    void useFolder(const QString& f) {
        folder = f;
        makeService().setLogFolderPath(folder);
    }
    QString runFile(const QString& name = "Run_001.csv") const { return QDir(folder).filePath(name); }

    // Starts logging and checks that line 1 is a start time of this run.
    QByteArray startAndReadLine1(bool resetFirst = false) {
        const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
        service->startLogging(resetFirst);
        const QDateTime after = QDateTime::currentDateTime().addSecs(1);
        const QByteArray line1 = readFile(runFile(service->logFileName()));
        bool matches = false;
        for (QDateTime t = before; t <= after && !matches; t = t.addSecs(1)) {
            matches = line1 == QLocale().toString(t, QStringLiteral("dd/MM/yy HH:mm:ss")).toUtf8() + "\n";
        }
        EXPECT_TRUE(matches) << line1.toStdString();
        return line1;
    }

    // True while any descriptor of this process refers to the file.
    static bool isOpenInProcess(const QString& path) {
        const QDir fds(QStringLiteral("/proc/self/fd"));
        const QStringList all = fds.entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot);
        return std::any_of(all.begin(), all.end(), [&](const QString& fd) {
            return QFileInfo(fds.filePath(fd)).symLinkTarget() == QFileInfo(path).canonicalFilePath();
        });
    }

    QString folder;
};

// What a run writes in every locale, separator, description and folder; what
// its journal, copied as a crash would leave it, recovers; and what the
// reader makes of the file.
TEST_F(ServiceLoggingTest, RunFilesAsWrittenRecoveredAndReadBack) {
    const QString hostile =
        QStringLiteral("a,\"b\";c\r\nd\ne\u2028f ") + QChar(0xDC00) + QStringLiteral(" g");
    const QString odd = QStringLiteral("Sessions März 2026/Bahn Køge ✓ #1");
    const QByteArray germanRow = "0,300000;1,000000;0,300000;60,000;500,000;30,000;250,00;90,0;100,0\n";
    const struct {
        bool german;
        CSVDelimiterOption delimiter;
        QString description, folder;
        int laps;
        bool lapsBeforeStart; // and the oldest unticked during the run
        QByteArray body;      // after line 1
        QString reads;        // the configuration read back
    } cases[] = {
        // clang-format off
        {true, CSVDelimiterOption::semicolon, "TT position, helmet A", "runs", 1, false,
         "Description: TT position, helmet A\nFlag;Lap;CdACal;Cal;CdARaw;Time;Dist;Speed;Power;Head;Chest\n"
         "X;1;" + germanRow, "TT position, helmet A"},
        // Quoted so that every row reads back as eleven fields.
        {true, CSVDelimiterOption::comma, " B ", "runs", 1, false, "Description:  B \n" + kHeader +
         "X,1,\"0,300000\",\"1,000000\",\"0,300000\",\"60,000\",\"500,000\",\"30,000\",\"250,00\",\"90,0\",\"100,0\"\n", "B"},
        {false, CSVDelimiterOption::comma, "", "runs", 0, false, "Description: \n" + kHeader, ""},
        {false, CSVDelimiterOption::comma, "", "runs", 2, true, "Description: \n" + kHeader + row(1, 0) + row(2), ""},
        // Still three lines before the rows, all valid UTF-8.
        {false, CSVDelimiterOption::comma, hostile, "runs", 1, false,
         "Description: a,'b';c d e f \xEF\xBF\xBD g\n" + kHeader + row(1), "a,'b';c d e f \uFFFD g"},
        {false, CSVDelimiterOption::semicolon, "", odd, 1, false,
         "Description: \n" + QByteArray(kHeader).replace(',', ';') + row(1).replace(',', ';'), ""},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body.toStdString());
        QDir(root.filePath(c.folder)).removeRecursively();
        useFolder(root.filePath(c.folder));
        QLocale::setDefault(c.german ? QLocale(QLocale::German, QLocale::Germany) : QLocale::c());
        service->setCSVDelimiter(c.delimiter);
        service->setLogDescription(c.description);
        for (int lap = 1; lap <= c.laps && c.lapsBeforeStart; ++lap) {
            completeLap({.lap = lap});
        }
        const QByteArray line1 = startAndReadLine1();
        EXPECT_TRUE(service->isLogging());
        for (int lap = 1; lap <= c.laps && !c.lapsBeforeStart; ++lap) {
            completeLap({.lap = lap});
        }
        if (c.lapsBeforeStart) {
            service->allLapData().back()->use = false;
            service->updateSessionData();
        }
        const QString crashed = root.filePath(c.folder + QStringLiteral(" Kopie ä"));
        QDir(crashed).removeRecursively();
        crashCopy(folder, crashed);
        service->stopLogging();
        EXPECT_FALSE(service->isLogging());
        EXPECT_EQ(service->logFileName(), "Run_001.csv");
        EXPECT_EQ(readFile(runFile()), line1 + c.body);
        EXPECT_EQ(service->messageLogs(),
                  QStringList({"Opened log file.", "Closed log file."}) +
                      (c.description == hostile
                           ? QStringList{"The description was written with its line breaks, "
                                         "double quotes or invalid characters replaced."}
                           : QStringList{}));
        EXPECT_EQ(service->logDescription(), c.description);
        EXPECT_EQ(RunRecovery::recoverFolder(crashed),
                  QStringList{c.laps == 1
                                  ? QStringLiteral("Recovered Run_001.csv with 1 lap.")
                                  : QStringLiteral("Recovered Run_001.csv with %1 laps.").arg(c.laps)});
        EXPECT_EQ(readFile(QDir(crashed).filePath("Run_001.csv")), line1 + c.body);
        EXPECT_TRUE(hiddenFiles(folder).isEmpty());
        QLocale::setDefault(QLocale::c());
        const RunFolderContents read = RunFileReader::readFolder(folder);
        ASSERT_EQ(read.runs.size(), 1U);
        EXPECT_EQ(read.runs[0].configuration, c.reads);
        EXPECT_EQ(read.runs[0].laps.size(), static_cast<std::size_t>(c.laps));
    }
}

TEST_F(ServiceLoggingTest, StartAndStopRules) {
    service->stopLogging(); // while idle: nothing
    EXPECT_TRUE(service->logs().isEmpty());
    // Runs are numbered after the highest in the folder.
    ASSERT_TRUE(QDir().mkpath(folder));
    for (const char* name : {"Run_999.csv", "Run_-3.csv", "run_1200.csv", "Run_1100.tmp.csv"}) {
        ASSERT_TRUE(writeFile(runFile(name), ""));
    }
    SignalRecorder recorder(*service);
    service->startLogging(true); // no laps: nothing to reset
    EXPECT_EQ(recorder.count("lastCompletedLapChanged"), 0);
    EXPECT_EQ(service->logFileName(), "Run_1000.csv");
    SignalRecorder again(*service);
    service->startLogging(false); // while logging: nothing
    EXPECT_EQ(again.emitted(), QStringList{});
    service->stopLogging();
    // A blank folder falls back to the default one.
    service->setLogFolderPath(QStringLiteral("  "));
    service->startLogging(false);
    EXPECT_EQ(service->logFolderPath(), defaultFolder());
    EXPECT_EQ(stored(".lastLogFolder").toString(), defaultFolder());
    EXPECT_TRUE(QFile::exists(defaultFolder() + "/Run_001.csv"));
}

// Whatever stops a run from starting is said, and loses no lap.
TEST_F(ServiceLoggingTest, StartFailures) {
    const QString in = " in " + folder + ": ";
    const struct {
        char obstacle; // blocker file, no descriptors, no file size, read-only folder, existing file
        QStringList messages;
        bool startsOnceLifted;
    } cases[] = {
        {'b', {"Failed to create output directory."}, false},
        {'d', {"Invalid directory."}, true},
        {'s', {"Failed to open file.", "Could not create Run_001.csv" + in + "File too large."}, true},
        {'r', {"Failed to open file.", "Could not create Run_001.csv" + in + "Permission denied."}, true},
        // The largest run number has no successor, so the next run is its
        // name: the one way to meet an existing file here.
        {'e',
         {"Failed to open file.", "Could not create Run_9223372036854775807.csv" + in + "File exists."},
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.obstacle);
        QDir(folder).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(folder));
        makeService().setLogFolderPath(c.obstacle == 'b' ? root.filePath("blocker/runs") : folder);
        ASSERT_TRUE(c.obstacle != 'b' || writeFile(root.filePath("blocker"), ""));
        for (const char* name : {"Run_9223372036854775806.csv", "Run_9223372036854775807.csv"}) {
            ASSERT_TRUE(c.obstacle != 'e' || writeFile(runFile(name), "earlier run\n"));
        }
        completeLap({.lap = 1});
        {
            std::optional<ScopedResourceLimit> limit;
            std::optional<ScopedReadOnlyFolder> readOnly;
            if (c.obstacle == 'd' || c.obstacle == 's') {
                ASSERT_TRUE(limit.emplace(c.obstacle == 'd' ? RLIMIT_NOFILE : RLIMIT_FSIZE, 0).ok());
            }
            ASSERT_TRUE(c.obstacle != 'r' || readOnly.emplace(folder).ok());
            service->startLogging(false);
        }
        EXPECT_EQ(service->messageLogs(), c.messages);
        EXPECT_FALSE(service->isLogging() || service->csvLogger().isOpen());
        EXPECT_EQ(service->logFileName(), "Not Started");
        EXPECT_EQ(service->allLapData().size(), 1U);
        service->startLogging(false);
        EXPECT_EQ(service->isLogging(), c.startsOnceLifted);
        service->stopLogging();
        EXPECT_EQ(readFile(runFile(service->logFileName())).endsWith(kHeader + row(1)), c.startsOnceLifted);
    }
    EXPECT_EQ(readFile(runFile("Run_9223372036854775807.csv")), "earlier run\n");
}

// Like a full disk: the stop's writes fail past the limit; the next start,
// with a reset or without, completes the failed run first.
TEST_F(ServiceLoggingTest, WriteFailureAtStopKeepsTheRunForTheNextStart) {
    for (const bool reset : {false, true}) {
        useFolder(root.filePath(reset ? "reset" : "runs"));
        const QByteArray line1 = startAndReadLine1();
        completeLap({.lap = 1});
        EXPECT_TRUE(isOpenInProcess(runFile()));
        const qint64 room = reset ? 0 : 40;
        {
            ScopedResourceLimit full(RLIMIT_FSIZE, static_cast<rlim_t>(line1.size() + room));
            ASSERT_TRUE(full.ok());
            service->stopLogging();
        }
        EXPECT_EQ(service->messageLogs().mid(1),
                  (QStringList{"Failed to close file.",
                               "Run_001.csv is incomplete (File too large); the laps stay in "
                               "the lap list, and its journal completes it when logging next "
                               "starts in this folder."}));
        EXPECT_FALSE(service->isLogging() || isOpenInProcess(runFile()));
        const QByteArray full = line1 + "Description: \n" + kHeader + row(1);
        EXPECT_EQ(readFile(runFile()), full.left(line1.size() + room));
        ASSERT_EQ(service->allLapData().size(), 1U);

        service->startLogging(reset);
        EXPECT_EQ(readFile(runFile()), full);
        EXPECT_TRUE(service->messageLogs().contains("Recovered Run_001.csv with 1 lap."));
        EXPECT_EQ(service->logFileName(), "Run_002.csv");
        EXPECT_EQ(service->allLapData().empty(), reset);
        service->stopLogging();
        EXPECT_EQ(readFile(runFile("Run_002.csv")).count('\n'), reset ? 3 : 4);
        EXPECT_TRUE(hiddenFiles(folder).isEmpty());
    }
}

TEST_F(ServiceLoggingTest, FolderMadeReadOnlyDuringTheRun) {
    const QString crashed = root.filePath("crashed");
    const QString noRemoval =
        QStringLiteral("Could not remove the journal of Run_001.csv: Permission denied.");
    service->startLogging(false);
    completeLap({.lap = 1});
    {
        ScopedReadOnlyFolder readOnly(folder);
        ASSERT_TRUE(readOnly.ok());
        // Open files can still be written: the journal follows, the stop writes.
        completeLap({.lap = 2});
        crashCopy(folder, crashed);
        service->stopLogging();
        EXPECT_EQ(service->messageLogs().mid(1), (QStringList{"Closed log file.", noRemoval}));
        EXPECT_EQ(RunRecovery::recoverFolder(folder), QStringList{noRemoval});
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

// The folder removed, or the disk full while a lap completes: the laps stay.
TEST_F(ServiceLoggingTest, JournalFailuresDuringTheRun) {
    service->startLogging(false);
    completeLap({.lap = 1});
    {
        ScopedResourceLimit full(RLIMIT_FSIZE, 0);
        ASSERT_TRUE(full.ok());
        completeLap({.lap = 2});
    }
    EXPECT_EQ(service->messageLogs().back(),
              "Could not write the journal of Run_001.csv: File too large. The laps "
              "stay in the lap list until logging stops.");
    completeLap({.lap = 3});
    EXPECT_EQ(service->messageLogs().back(), "The journal of Run_001.csv is written again.");
    const QString crashed = crashCopy(folder, root.filePath("crashed"));
    service->stopLogging();
    EXPECT_EQ(RunRecovery::recoverFolder(crashed), QStringList{"Recovered Run_001.csv with 3 laps."});
    EXPECT_EQ(readFile(QDir(crashed).filePath("Run_001.csv")), readFile(runFile()));

    useFolder(root.filePath("removed"));
    service->startLogging(false);
    completeLap({.lap = 1});
    ASSERT_TRUE(QDir(folder).removeRecursively());
    completeLap({.lap = 2});
    completeLap({.lap = 3});
    service->stopLogging();
    EXPECT_EQ(
        service->messageLogs().mid(1),
        (QStringList{"Could not write the journal of Run_001.csv: the file was removed. The laps stay in "
                     "the lap list until logging stops.",
                     "Failed to close file.",
                     "Run_001.csv was removed before it could be written; the laps stay in the lap list for "
                     "the next run."}));
    service->startLogging(false);
    EXPECT_EQ(service->logFileName(), "Run_001.csv");
    service->stopLogging();
    EXPECT_TRUE(readFile(runFile()).endsWith(kHeader + row(1) + row(2) + row(3)));
}

// A run still open when the service goes is written, and its journal goes
// (termination: the shell's test).
TEST_F(ServiceLoggingTest, TheServiceGoingWritesTheOpenRun) {
    const QByteArray line1 = startAndReadLine1();
    completeLap({.lap = 1});
    ASSERT_TRUE(QFile::exists(journalOf(folder)));
    service.reset();
    EXPECT_EQ(readFile(runFile()), line1 + "Description: \n" + kHeader + row(1));
    EXPECT_TRUE(hiddenFiles(folder).isEmpty());
}

} // namespace
} // namespace draftwell::test
