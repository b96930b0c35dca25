#include "app/run_file_reader.h"

#include <QDir>
#include <QLocale>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "app/lap_csv_logger.h"
#include "tests/app/run_files.h"
#include "tests/support/qstring_printer.h"

namespace draftwell {
namespace {

constexpr char kStart[] = "05/12/26 14:03:27\n";
constexpr char kCommaHeader[] = "Flag,Lap,CdACal,Cal,CdARaw,Time,Dist,Speed,Power,Head,Chest\n";
constexpr char kSemicolonHeader[] = "Flag;Lap;CdACal;Cal;CdARaw;Time;Dist;Speed;Power;Head;Chest\n";

struct Expected {
    const char* configuration;
    std::vector<std::pair<bool, double>> laps; // use, CdACal
    double firstLapTime;
};

TEST(RunFileReaderTest, ReadsEveryVariantTheWriterEverProduced) {
    const struct {
        const char* what;
        QByteArray bytes;
        Expected expected;
    } cases[] = {
        {"decimal point, commas",
         QByteArray(kStart) + "Description:  helmet A \n" + kCommaHeader +
             "X,5,0.308800,1.000000,0.308800,123.456,500.000,14.580,250.00,90.0,100.0\n"
             ",6,0.310000,1.000000,0.310000,60.000,500.000,30.000,250.00,90.0,100.0\n",
         {"helmet A", {{true, 0.3088}, {false, 0.31}}, 123.456}},
        {"decimal comma, semicolons",
         QByteArray(kStart) + "Description: B; low\n" + kSemicolonHeader +
             "X;5;0,308800;1,000000;0,308800;123,456;500,000;14,580;250,00;90,0;100,0\n",
         {"B; low", {{true, 0.3088}}, 123.456}},
        {"decimal comma, commas, quoted",
         QByteArray(kStart) + "Description: C\n" + kCommaHeader +
             "X,5,\"0,308800\",\"1,000000\",\"0,308800\",\"123,456\",\"500,000\",\"14,580\",\"250,00\",\"90,"
             "0\","
             "\"100,0\"\n",
         {"C", {{true, 0.3088}}, 123.456}},
        {"decimal comma, commas, older unquoted",
         QByteArray(kStart) + "Description: D\n" + kCommaHeader +
             "X,5,0,308800,1,000000,0,308800,123,456,500,000,14,580,250,00,90,0,100,0\n"
             ",12,-0,100000,1,000000,nan,0,000,500,000,,250,00,90,0,100,0\n",
         {"D", {{true, 0.3088}, {false, -0.1}}, 123.456}},
        {"empty speed, no laps at all",
         QByteArray(kStart) + "Description: \n" + kSemicolonHeader,
         {"", {}, 0}},
        {"lap time missing",
         QByteArray(kStart) + "Description: E\r\n" + kSemicolonHeader +
             "X;1;0.250000;1.000000;0.250000;;0.000;;0.00;0.0;0.0\n",
         {"E", {{true, 0.25}}, 0}},
    };
    for (const auto& c : cases) {
        QString reason;
        const auto run = RunFileReader::parse(c.bytes, reason);
        ASSERT_TRUE(run) << c.what << ": " << reason.toStdString();
        EXPECT_EQ(run->configuration, QString::fromUtf8(c.expected.configuration)) << c.what;
        ASSERT_EQ(run->laps.size(), c.expected.laps.size()) << c.what;
        for (std::size_t i = 0; i < run->laps.size(); ++i) {
            EXPECT_EQ(run->laps[i].use, c.expected.laps[i].first) << c.what;
            EXPECT_DOUBLE_EQ(run->laps[i].cdACal, c.expected.laps[i].second) << c.what;
        }
        if (!run->laps.empty()) {
            EXPECT_DOUBLE_EQ(run->laps[0].lapTime, c.expected.firstLapTime) << c.what;
        }
        EXPECT_EQ(run->start, QDateTime(QDate(2026, 12, 5), QTime(14, 3, 27))) << c.what;
    }
}

TEST(RunFileReaderTest, TellsWhyAFileIsNoRun) {
    const QByteArray head = QByteArray(kStart) + "Description: A\n" + kCommaHeader;
    const struct {
        QByteArray bytes;
        const char* reason;
    } cases[] = {
        {"", "empty"},
        {"name,age\nbob,3\n", "not a run file (no start time on line 1)"},
        {QByteArray(kStart), "truncated (the run has no description or laps yet)"},
        {QByteArray(kStart) + "Description: A\n", "truncated (no header row)"},
        {QByteArray(kStart) + "Notes: A\n" + kCommaHeader, "not a run file (no description on line 2)"},
        {QByteArray(kStart) + "Description: A\nFlag,Lap\n", "not a run file (unknown header row)"},
        {head + "X,5,0.308800,1.000000\n", "malformed (line 4 does not have the eleven columns)"},
        {head + "Y,5,0.3,1.0,0.3,1.0,1.0,1.0,1.0,1.0,1.0\n",
         "malformed (line 4 has a field that is not a lap's)"},
        {head + "X,5,abc,1.0,0.3,1.0,1.0,1.0,1.0,1.0,1.0\n",
         "malformed (line 4 has a field that is not a lap's)"},
        {head + "X,5,\"0,3,1.0,0.3,1.0,1.0,1.0,1.0,1.0,1.0\n",
         "malformed (line 4 does not have the eleven columns)"},
        {head + "X,5,0.308800,1.000000,0.30", "truncated (the last line is unfinished)"},
        {QByteArray(kStart) + "Description: \xff\n" + kCommaHeader, "not a run file (not text)"},
    };
    for (const auto& c : cases) {
        QString reason;
        EXPECT_FALSE(RunFileReader::parse(c.bytes, reason)) << c.reason;
        EXPECT_EQ(reason, QString::fromUtf8(c.reason));
    }
}

TEST(RunFileReaderTest, FolderListsRunsInOrderAndSkipsTheRestUntouched) {
    QTemporaryDir dir;
    const QByteArray good = QByteArray(kStart) + "Description: A\n" + kCommaHeader +
                            "X,1,0.300000,1.000000,0.300000,60.000,500.000,30.000,250.00,90.0,100.0\n";
    ASSERT_TRUE(test::writeFile(dir.filePath("Run_010.csv"), good));
    ASSERT_TRUE(test::writeFile(dir.filePath("Run_002.csv"), good));
    ASSERT_TRUE(test::writeFile(dir.filePath("Run_003.csv"), QByteArray(kStart)));
    ASSERT_TRUE(test::writeFile(dir.filePath("Run_004.csv"), good)); // the run being logged
    ASSERT_TRUE(test::writeFile(dir.filePath("notes.csv"), good));
    ASSERT_TRUE(QDir(dir.path()).mkdir("Run_005.csv"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath("Run_006.csv")).constData(), 0600), 0);
    ASSERT_TRUE(test::writeFile(dir.filePath("Run_007.csv"), good));
    ::chmod(QFile::encodeName(dir.filePath("Run_007.csv")).constData(), 0);
    const bool unreadable = ::geteuid() != 0; // root reads it all the same
    const auto before = QFileInfo(dir.filePath("Run_003.csv")).lastModified();

    const RunFolderContents contents = RunFileReader::readFolder(dir.path(), QStringLiteral("Run_004.csv"));
    ASSERT_EQ(contents.runs.size(), unreadable ? 2u : 3u);
    EXPECT_EQ(contents.runs[0].fileName, "Run_002.csv");
    EXPECT_EQ(contents.runs.back().fileName, "Run_010.csv");
    ASSERT_EQ(contents.skipped.size(), unreadable ? 4u : 3u);
    if (unreadable) {
        EXPECT_EQ(contents.skipped[3].reason, "cannot be read (Permission denied)");
    }
    EXPECT_EQ(contents.skipped[0].reason, "truncated (the run has no description or laps yet)");
    EXPECT_EQ(contents.skipped[1].reason, "not a regular file");
    EXPECT_EQ(contents.skipped[2].reason, "not a regular file");
    EXPECT_EQ(test::readFile(dir.filePath("Run_003.csv")), QByteArray(kStart));
    EXPECT_EQ(QFileInfo(dir.filePath("Run_003.csv")).lastModified(), before);
    EXPECT_TRUE(RunFileReader::readFolder(dir.filePath("missing")).runs.empty());
}

// What the writer writes in every locale and separator reads back as written.
TEST(RunFileReaderTest, WriterOutputReadsBack) {
    for (const QLocale& locale : {QLocale::c(), QLocale(QLocale::German, QLocale::Germany)}) {
        for (const char* delimiter : {",", ";"}) {
            QLocale::setDefault(locale);
            QTemporaryDir dir;
            LapCSVLogger logger;
            ASSERT_FALSE(logger.open(dir.filePath("Run_001.csv")));
            auto lap = makeLapData();
            lap->use = true;
            lap->lap = 3;
            lap->cdACal = 0.312345;
            lap->lapTime = 61.5;
            ASSERT_FALSE(
                logger.finish(QStringLiteral(" TT, helmet A "), {lap}, QString::fromLatin1(delimiter)));
            QLocale::setDefault(QLocale::c());
            const RunFolderContents contents = RunFileReader::readFolder(dir.path());
            ASSERT_EQ(contents.runs.size(), 1u) << locale.name().toStdString() << delimiter;
            const RunFile& run = contents.runs[0];
            EXPECT_EQ(run.configuration, "TT, helmet A");
            EXPECT_EQ(run.delimiter, QString::fromLatin1(delimiter));
            ASSERT_EQ(run.laps.size(), 1u);
            EXPECT_DOUBLE_EQ(run.laps[0].cdACal, 0.312345);
            EXPECT_DOUBLE_EQ(run.laps[0].lapTime, 61.5);
            EXPECT_TRUE(run.start.has_value());
        }
    }
}

} // namespace
} // namespace draftwell
