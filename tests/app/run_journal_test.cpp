#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "app/run_journal.h"
#include "app/run_recovery.h"
#include "tests/support/run_files.h"
#include "tests/support/service_fixture.h"

namespace draftwell::test {
namespace {

class RunJournalTest : public ServiceFixture {
  protected:
    void SetUp() override {
        ServiceFixture::SetUp();
        folder = root.filePath("runs");
        makeService().setLogFolderPath(folder);
    }

    static QString runFile(const QString& dir, const char* name = "Run_001.csv") {
        return QDir(dir).filePath(name);
    }
    static LapFigures lap(int number, double cdA = 0.3, double cal = 1.0) {
        return {.lap = number, .cdA = cdA, .cal = cal, .lapTime = 60.0 + number};
    }
    qint64 journalSize() const { return QFileInfo(journalOf(folder)).size(); }
    static std::unique_ptr<ANTScannerService> restart() {
        return std::make_unique<ANTScannerService>(quietScannerBridge());
    }

    QString folder;
};

TEST_F(RunJournalTest, EveryChangeIsInTheJournalAndRecoveryWritesWhatTheStopWrites) {
    service->setCalLapCount(2);
    service->setLogDescription(QStringLiteral("Track day, position A"));
    completeLap(lap(1, 0.31, 1.02)); // before the start: written too
    service->startLogging(false);
    ASSERT_TRUE(QFile::exists(journalOf(folder)));

    // Each event reaches the file before the call returns; a crash copy after each.
    qint64 size = journalSize();
    QStringList copies;
    const auto grewAndCopied = [&] {
        const qint64 now = journalSize();
        const bool more = now > size;
        size = now;
        copies << crashCopy(folder, root.filePath(QStringLiteral("copy-%1").arg(copies.size())));
        return more;
    };
    completeLap(lap(2, 0.30, 0.98));
    EXPECT_TRUE(grewAndCopied());
    service->allLapData().back()->use = false;
    service->updateSessionData();
    EXPECT_TRUE(grewAndCopied());
    service->setAutoCal(false);
    EXPECT_TRUE(grewAndCopied());
    service->setLogDescription(QStringLiteral("Track day, position B"));
    EXPECT_TRUE(grewAndCopied());
    service->setCSVDelimiter(CSVDelimiterOption::semicolon);
    EXPECT_TRUE(grewAndCopied());
    completeLap(lap(3, 0.29, 1.0));
    EXPECT_TRUE(grewAndCopied());
    // An event that changes nothing in the file writes nothing.
    service->updateSessionData();
    EXPECT_FALSE(grewAndCopied());

    service->stopLogging();
    const QByteArray stopped = readFile(runFile(folder));
    EXPECT_TRUE(hiddenFiles(folder).isEmpty());
    for (const QString& dir : copies) {
        EXPECT_EQ(RunRecovery::recoverFolder(dir).size(), 1) << dir.toStdString();
        EXPECT_TRUE(hiddenFiles(dir).isEmpty()) << dir.toStdString();
    }
    EXPECT_EQ(readFile(runFile(copies.back())), stopped);

    const auto rows = [&](int copy) { return readFile(runFile(copies[copy])).split('\n').mid(1); };
    const QByteArray lap1 = ",1,0.310000,1.020000,0.310000,61.000,500.000,29.508,250.00,90.0,100.0";
    const QByteArray lap2 = "X,2,0.300000,0.980000,0.300000,62.000,500.000,29.032,250.00,90.0,100.0";
    // Calibrated by the average of both laps' factors (1.00).
    EXPECT_EQ(rows(0), (QByteArrayList{"Description: Track day, position A", kHeader.chopped(1), "X" + lap1,
                                       lap2, ""}));
    // Lap 1 unticked: lap 2 alone calibrates.
    EXPECT_EQ(rows(1).mid(2, 2),
              (QByteArrayList{",1,0.316327,1.020000,0.310000,61.000,500.000,29.508,250.00,90.0,100.0",
                              "X,2,0.306122,0.980000,0.300000,62.000,500.000,29.032,250.00,90.0,100.0"}));
    EXPECT_EQ(rows(2).mid(2, 2), (QByteArrayList{lap1, lap2}));
    EXPECT_EQ(rows(4).mid(0, 3),
              (QByteArrayList{"Description: Track day, position B",
                              "Flag;Lap;CdACal;Cal;CdARaw;Time;Dist;Speed;Power;Head;Chest",
                              QByteArray(lap1).replace(',', ';')}));
}

TEST_F(RunJournalTest, ATornLastRecordRecoversEveryWholeRecordBeforeIt) {
    service->startLogging(false);
    completeLap(lap(1));
    completeLap(lap(2));
    const qint64 twoLaps = journalSize();
    completeLap(lap(3));
    const QByteArray journal = readFile(journalOf(folder));
    ASSERT_GT(journal.size(), twoLaps + 10);
    service->stopLogging();
    const QByteArray stopped = readFile(runFile(folder));
    const QByteArray beforeLap3 = withoutLastLine(stopped);

    const QString damaged =
        QStringLiteral("The journal of Run_001.csv ended in a damaged record (a write cut "
                       "short); everything before it was recovered.");
    QByteArray zeroed = journal;
    zeroed.replace(twoLaps, journal.size() - twoLaps, QByteArray(journal.size() - twoLaps, '\0'));
    const struct {
        const char* name;
        QByteArray bytes;
        QStringList lines;
    } cases[] = {
        {"whole", journal, {"Recovered Run_001.csv with 3 laps."}},
        {"cut at the record boundary", journal.left(twoLaps), {"Recovered Run_001.csv with 2 laps."}},
        {"cut in the middle",
         journal.left(twoLaps + (journal.size() - twoLaps) / 2),
         {"Recovered Run_001.csv with 2 laps.", damaged}},
        {"zeros after a power cut", zeroed, {"Recovered Run_001.csv with 2 laps.", damaged}},
    };
    for (const auto& c : cases) {
        const QString dir = root.filePath(QString::fromLatin1(c.name));
        ASSERT_TRUE(QDir().mkpath(dir));
        ASSERT_TRUE(writeFile(journalOf(dir), c.bytes));
        EXPECT_EQ(RunRecovery::recoverFolder(dir), c.lines) << c.name;
        EXPECT_EQ(readFile(runFile(dir)), c.bytes == journal ? stopped : beforeLap3) << c.name;
        EXPECT_TRUE(hiddenFiles(dir).isEmpty()) << c.name;
    }
}

// The next program start finds the run in its folder, a reset during the run
// included, and nothing is left to recover after that.
TEST_F(RunJournalTest, RecoveryAtStartUpNamesTheFileAndItsLaps) {
    service->setLogDescription(QStringLiteral("Helmet B"));
    service->startLogging(false);
    completeLap(lap(1));
    completeLap(lap(2));
    service->resetLaps();
    for (int i = 3; i <= 14; ++i) {
        completeLap(lap(i, 0.3 + i / 1000.0));
    }
    const QString crashed = crashCopy(folder, root.filePath("crashed"));
    service->stopLogging();

    store(".lastLogFolder", crashed);
    EXPECT_EQ(restart()->messageLogs(), QStringList{"Recovered Run_001.csv with 12 laps."});
    EXPECT_EQ(readFile(runFile(crashed)), readFile(runFile(folder)));
    EXPECT_TRUE(hiddenFiles(crashed).isEmpty());
    EXPECT_TRUE(restart()->messageLogs().isEmpty());
}

TEST_F(RunJournalTest, ARecoveredRunKeepsItsNumberAndTheNextRunGetsANewOne) {
    service->startLogging(false);
    completeLap(lap(1));
    const QString crashed = crashCopy(folder, root.filePath("crashed"));
    // Only the journal survived, not even line 1 of the run file.
    ASSERT_TRUE(QFile::remove(runFile(crashed)));
    service->stopLogging();

    service->setLogFolderPath(crashed);
    service->startLogging(false);
    EXPECT_EQ(service->messageLogs().mid(2),
              (QStringList{"Recovered Run_001.csv with 1 lap.", "Opened log file."}));
    EXPECT_EQ(service->logFileName(), "Run_002.csv");
    EXPECT_EQ(readFile(runFile(crashed)), readFile(runFile(folder)));
}

TEST_F(RunJournalTest, AJournalOfARunStillBeingLoggedIsLeftAlone) {
    service->startLogging(false);
    completeLap(lap(1));
    const QByteArray line1 = readFile(runFile(folder));
    // Another instance, or this one choosing the folder again.
    EXPECT_TRUE(RunRecovery::recoverFolder(folder).isEmpty());
    EXPECT_TRUE(restart()->messageLogs().isEmpty());
    EXPECT_EQ(readFile(runFile(folder)), line1);
    ASSERT_TRUE(QFile::exists(journalOf(folder)));
    service->stopLogging();
    EXPECT_FALSE(QFile::exists(journalOf(folder)));
}

TEST_F(RunJournalTest, JournalsThatHoldNoRunOrThatThisProgramCannotRead) {
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(writeFile(journalOf(folder, "Run_002.csv"), ""));
    ASSERT_TRUE(writeFile(journalOf(folder, "Run_003.csv"), "journal\t2\t00000000\nsomething newer\n"));
    ASSERT_TRUE(writeFile(journalOf(folder, "Run_%2.csv"), "journal"));
    EXPECT_EQ(RunRecovery::recoverFolder(folder),
              (QStringList{"Removed the journal of Run_%2.csv, which held no run yet.",
                           "Removed the journal of Run_002.csv, which held no run yet.",
                           "Could not recover Run_003.csv: its journal .Run_003.csv.journal is not one this "
                           "program can read. Its journal is kept."}));
    EXPECT_EQ(hiddenFiles(folder), QStringList{".Run_003.csv.journal"});
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList{});
}

TEST(RunJournalSizeTest, ALongRunStartsItsJournalOver) {
    QTemporaryDir dir;
    RunJournal journal;
    std::vector<LapDataRef> laps{makeLapData()};
    ASSERT_TRUE(journal.begin(dir.path(), "Run_001.csv", "06/12/26 14:00:00", ",", "", laps));
    const QString path = journalOf(dir.path());
    qint64 largest = 0;
    // A megabyte of description per change: twelve changes pass the limit.
    for (int i = 0; i < 12; ++i) {
        ASSERT_TRUE(journal.record(",", QString(1024 * 1024, QChar(u'a' + i)), laps));
        largest = std::max(largest, QFileInfo(path).size());
    }
    EXPECT_LE(largest, RunJournal::kRewriteAbove);
    EXPECT_LT(QFileInfo(path).size(), largest);
    journal.close();
    EXPECT_EQ(RunRecovery::recoverFolder(dir.path()), QStringList{"Recovered Run_001.csv with 1 lap."});
    EXPECT_TRUE(readFile(QDir(dir.path()).filePath("Run_001.csv"))
                    .contains("Description: " + QByteArray(1024 * 1024, 'l') + "\n"));
}

} // namespace
} // namespace draftwell::test
