#include "app/run_file_reader.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/qstring_printer.h"
#include "tests/support/run_files.h"

namespace draftwell::test {
namespace {

const QByteArray kStart = "05/12/26 14:03:27\n";
const QByteArray kSemicolon = "Flag;Lap;CdACal;Cal;CdARaw;Time;Dist;Speed;Power;Head;Chest\n";
const QByteArray kHead = kStart + "Description: A\n" + kHeader;
const QByteArray kRow = "X,1,0.300000,1.000000,0.300000,60.000,500.000,30.000,250.00,90.0,100.0\n";

// Every variant the writer ever produced, and the damage a file can have:
// the file's text -> its reading ("configuration|delimiter|laps", each lap
// "<flag><lap>:<CdACal>:<time>") or why it is no run.
TEST(RunFileReaderTest, ReadsRunsAndTellsWhyAFileIsNone) {
    const char* noStart = "not a run file (no start time on line 1)";
    const char* columns = "malformed (line 4 does not have the eleven columns)";
    const char* field = "malformed (line 4 has a field that is not a lap's)";
    const struct {
        QByteArray bytes;
        QString reading;
    } cases[] = {
        // clang-format off
        {kStart + "Description:  helmet A \n" + kHeader +
         "X,5,0.308800,1.000000,0.308800,123.456,500.000,14.580,250.00,90.0,100.0\n"
         ",6,0.310000,1.000000,0.310000,60.000,500.000,30.000,250.00,90.0,100.0\n", "helmet A|,|X5:0.3088:123.456 -6:0.31:60"},
        {kStart + "Description: B; low\n" + kSemicolon +
         "X;5;0,308800;1,000000;0,308800;123,456;500,000;14,580;250,00;90,0;100,0\n", "B; low|;|X5:0.3088:123.456"},
        {kStart + "Description: C\n" + kHeader + "\"X\",5,\"0,308800\",\"1,000000\",\"0,308800\",\"123,456\","
         "\"500,000\",\"14,580\",\"250,00\",\"90,0\",\"100,0\"\n", "C|,|X5:0.3088:123.456"},
        // Older files wrote decimal commas unquoted between "," fields.
        {kStart + "Description: D\n" + kHeader +
         "X,5,0,308800,1,000000,0,308800,123,456,500,000,14,580,250,00,90,0,100,0\n"
         ",12,-0,100000,1,000000,nan,0,000,500,000,,250,00,90,0,100,0\n"
         ",13,inf,1.0,-inf,+7,1,2,3,4,5\n", "D|,|X5:0.3088:123.456 -12:-0.1:0 -13:inf:7"},
        {kStart + "Description: \n" + kSemicolon, "|;|"},
        {"05/12/26 14:03:27\r\nDescription: E\r\n" + kSemicolon + "X;1;;1.0;0.25;;0.000;;0.00;0.0;0.0\r\n", "E|;|X1:nan:0"},
        {"", "empty"},
        {"name,age\nbob,3\n", noStart},
        {"31/02/26 14:03:27\nDescription: A\n" + kHeader, noStart},
        {"05/12/26 24:03:27\nDescription: A\n" + kHeader, noStart},
        {kStart, "truncated (the run has no description or laps yet)"},
        {kStart + "Descr", "truncated (the run has no description or laps yet)"},
        {kStart + "Description: A\n", "truncated (no header row)"},
        {kStart + "Notes: A\n" + kHeader, "not a run file (no description on line 2)"},
        {kStart + "Description: A\nFlag,Lap\n", "not a run file (unknown header row)"},
        {kStart + "Description: \xff\n" + kHeader, "not a run file (not text)"},
        {kStart + QByteArray("Description: \0\n", 15) + kHeader, "not a run file (not text)"},
        {kHead + "X,5,0.308800,1.000000\n", columns},
        {kHead + kRow + "Y,5,0.3,1.0,0.3,1.0,1.0,1.0,1.0,1.0,1.0\n", "malformed (line 5 has a field that is not a lap's)"},
        {kHead + "X,5,abc,1.0,0.3,1.0,1.0,1.0,1.0,1.0,1.0\n", field},
        {kHead + "X,5.5,0.3,1.0,0.3,1.0,1.0,1.0,1.0,1.0,1.0\n", field},
        {kHead + "X,5,\"0,3,1.0,0.3,1.0,1.0,1.0,1.0,1.0,1.0\n", columns},
        {kHead + "X,5,\"0.3\"x,1.0,0.3,1.0,1.0,1.0,1.0,1.0,1.0\n", columns},
        {kHead + "X,5,0.3\",1.0,0.3,1.0,1.0,1.0,1.0,1.0,1.0\n", columns},
        {kHead + "X,\"5\",\"0.3\",1,0.3,1,1,1,1,1\n", columns},
        // Decimal commas that run out of columns, or leave one over.
        {kHead + "X,5,0,308800,1,000000,0,308800,123,456,500,000\n", columns},
        {kHead + "X,5,0,308800,1,000000,0,308800,123,456,500,000,14,580,250,00,90,0,100,0,7\n", columns},
        {kStart + "Description: A\n" + kSemicolon + "X;5;0;3;1;0;3;1;1;1;1;1;1\n", columns},
        {kHead + "X,5,0.308800,1.000000,0.30", "truncated (the last line is unfinished)"},
        // clang-format on
    };
    for (const auto& c : cases) {
        QString reason;
        const auto run = RunFileReader::parse(c.bytes, reason);
        QString reading = reason;
        if (run) {
            QStringList laps;
            for (const RunFileLap& l : run->laps) {
                laps << (l.use ? "X" : "-") + QString::number(l.lap) + ':' + QString::number(l.cdACal) + ':' +
                            QString::number(l.lapTime);
            }
            reading = run->configuration + '|' + run->delimiter + '|' + laps.join(' ');
            EXPECT_EQ(run->start, QDateTime(QDate(2026, 12, 5), QTime(14, 3, 27)));
        }
        EXPECT_EQ(reading, c.reading) << c.bytes.toStdString();
    }
    EXPECT_FALSE(RunFileReader::splitRow(QStringLiteral("a"), QStringLiteral(",,")));
    EXPECT_EQ(RunFileReader::splitRow(QStringLiteral("\"a\"\"b\",,c,d,e,f,g,h,i,j,k"), QStringLiteral(",")),
              (QStringList{"a\"b", "", "c", "d", "e", "f", "g", "h", "i", "j", "k"}));
}

TEST(RunFileReaderTest, FolderListsRunsInOrderAndSkipsTheRestUntouched) {
    QTemporaryDir dir;
    for (const char* name : {"Run_010.csv", "Run_002.csv", "Run_004.csv", "Run_7.CSV", "notes.csv",
                             "Run_.csv", "Run_x.csv", "Run_99999999999999999999.csv", "Run_011.csv"}) {
        ASSERT_TRUE(writeFile(dir.filePath(name), kHead + kRow));
    }
    ASSERT_TRUE(writeFile(dir.filePath("Run_003.csv"), kStart));
    ASSERT_TRUE(QDir(dir.path()).mkdir("Run_005.csv"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath("Run_006.csv")).constData(), 0600), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(dir.filePath("Run_011.csv")).constData(), 0), 0);
    QFile large(dir.filePath("Run_012.csv"));
    ASSERT_TRUE(large.open(QIODevice::WriteOnly) && large.resize(RunFileReader::kMaxFileBytes + 1));
    large.close();
    const bool root = ::geteuid() == 0; // root reads it all the same
    const auto before = QFileInfo(dir.filePath("Run_003.csv")).lastModified();

    const RunFolderContents contents = RunFileReader::readFolder(dir.path(), QStringLiteral("Run_004.csv"));
    QStringList runs, skipped;
    for (const RunFile& run : contents.runs) {
        runs << run.fileName;
    }
    for (const SkippedRunFile& s : contents.skipped) {
        skipped << s.fileName + ": " + s.reason;
    }
    EXPECT_EQ(runs, QStringList({"Run_002.csv", "Run_7.CSV", "Run_010.csv"}) +
                        (root ? QStringList{"Run_011.csv"} : QStringList{}));
    EXPECT_EQ(skipped,
              QStringList({"Run_003.csv: truncated (the run has no description or laps yet)",
                           "Run_005.csv: not a regular file", "Run_006.csv: not a regular file"}) +
                  (root ? QStringList{} : QStringList{"Run_011.csv: cannot be read (Permission denied)"}) +
                  QStringList{"Run_012.csv: too large for a run file"});
    EXPECT_EQ(readFile(dir.filePath("Run_003.csv")), kStart);
    EXPECT_EQ(QFileInfo(dir.filePath("Run_003.csv")).lastModified(), before);
    EXPECT_TRUE(RunFileReader::readFolder(dir.filePath("missing")).runs.empty());
}

} // namespace
} // namespace draftwell::test
