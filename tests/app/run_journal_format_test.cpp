#include <QByteArray>
#include <QStringList>

#include <gtest/gtest.h>

#include "app/run_journal_contents.h"
#include "app/run_journal_record.h"
#include "tests/support/qstring_printer.h"

namespace draftwell::test {
namespace {

QByteArray rec(const QStringList& fields) {
    return RunJournalRecord{fields}.encode();
}

QStringList lapFields(const QString& number) {
    return {"X",       number,   "0.300000", "1.000000", "0.300000", "60.000",
            "500.000", "30.000", "250.00",   "90.0",     "100.0"};
}

QByteArray journalWithLaps(int laps) {
    QByteArray j = rec({"journal", "1"}) + rec({"start", "05/12/26 14:03:27"}) + rec({"delimiter", ","}) +
                   rec({"description", "Helmet A"});
    for (int i = 0; i < laps; ++i) {
        j += rec(QStringList{"lap", QString::number(i)} + lapFields(QString::number(i + 1)));
    }
    return j;
}

TEST(RunJournalRecordTest, FieldsComeBackAsTheyWent) {
    const QStringList fields{"description", "tab\there", "line\nbreak\r\n", "back\\slash \\t", "Køge ✓", ""};
    const QByteArray line = RunJournalRecord{fields}.encode();
    EXPECT_EQ(line.count('\n'), 1);
    EXPECT_TRUE(line.endsWith('\n'));
    const auto decoded = RunJournalRecord::decode(QByteArrayView(line).chopped(1));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->fields, fields);
    // The checksum is standard CRC-32, pinned by its check value, so journals
    // stay readable whatever computes it.
    EXPECT_EQ(RunJournalRecord{QStringList{"123456789"}}.encode(), QByteArray("123456789\tcbf43926\n"));
}

TEST(RunJournalRecordTest, AnyChangedBitOrCutIsRejected) {
    const QByteArray line = rec(QStringList{"lap", "0"} + lapFields("1")).chopped(1);
    for (qsizetype i = 0; i < line.size(); ++i) {
        for (int bit = 0; bit < 8; ++bit) {
            QByteArray damaged = line;
            damaged[i] = static_cast<char>(damaged[i] ^ (1 << bit));
            EXPECT_FALSE(RunJournalRecord::decode(damaged)) << "byte " << i << " bit " << bit;
        }
        if (i > 0) {
            EXPECT_FALSE(RunJournalRecord::decode(line.left(i))) << "cut at " << i;
        }
    }
    EXPECT_FALSE(RunJournalRecord::decode(""));
    EXPECT_FALSE(RunJournalRecord::decode("\t00000000x"));
}

TEST(RunJournalContentsTest, EveryCutKeepsTheWholeRecordsBeforeIt) {
    const QByteArray journal = journalWithLaps(4);
    const qsizetype runStarts = rec({"journal", "1"}).size() + rec({"start", "05/12/26 14:03:27"}).size();
    for (qsizetype cut = 0; cut <= journal.size(); ++cut) {
        const RunJournalContents c = RunJournalContents::parse(journal.left(cut));
        const QByteArray kept = journal.left(cut);
        const auto wholeLines = kept.count('\n');
        if (cut < runStarts) {
            // Not even line 1 of the run is in it yet.
            EXPECT_EQ(c.status, RunJournalContents::Status::noRun) << cut;
            continue;
        }
        ASSERT_NE(c.status, RunJournalContents::Status::unreadable) << cut;
        const bool whole = cut == 0 || journal.at(cut - 1) == '\n';
        EXPECT_EQ(c.status,
                  whole ? RunJournalContents::Status::complete : RunJournalContents::Status::damagedEnd)
            << cut;
        EXPECT_EQ(static_cast<qsizetype>(c.snapshot.rows.size()), std::max<qsizetype>(0, wholeLines - 4))
            << cut;
        EXPECT_EQ(c.snapshot.startLine, "05/12/26 14:03:27") << cut;
    }
}

TEST(RunJournalContentsTest, RecordsThatMakeNoSenseEndTheReading) {
    const QByteArray good = journalWithLaps(2);
    const std::vector<QByteArray> bad{
        rec(QStringList{"lap", "3"} + lapFields("4")),  // leaves a gap
        rec(QStringList{"lap", "-1"} + lapFields("4")), // not a count
        rec(QStringList{"lap", "02"} + lapFields("4")), // not canonical
        rec(QStringList{"lap", "2"} + lapFields("4").mid(1)),
        rec({"laps", "3"}),
        rec({"laps", "18446744073709551616"}),
        rec({"delimiter", "\t"}),
        rec({"description"}),
        rec({"start", "again"}),
        rec({"unknown", "kind"}),
        rec({}),
        QByteArray("not a record\n"),
    };
    for (const QByteArray& b : bad) {
        const RunJournalContents c = RunJournalContents::parse(good + b + rec({"laps", "0"}));
        EXPECT_EQ(c.status, RunJournalContents::Status::damagedEnd) << b.toStdString();
        EXPECT_EQ(c.ignoredLines, 2) << b.toStdString();
        EXPECT_EQ(c.snapshot.rows.size(), 2U) << b.toStdString();
    }
}

TEST(RunSnapshotTest, NothingFromAJournalAddsALineOrInvalidText) {
    RunJournalContents c = RunJournalContents::parse(
        rec({"journal", "1"}) + rec({"start", "05/12/26\n14:03:27"}) + rec({"description", "a\r\nb\"c"}) +
        rec(QStringList{"lap", "0"} + QStringList{"X\n", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10"}) +
        QByteArray("\xff\xfe") + rec({"laps", "0"}));
    EXPECT_EQ(c.status, RunJournalContents::Status::damagedEnd);
    EXPECT_EQ(c.snapshot.render(), "05/12/26 14:03:27\n"
                                   "Description: a b'c\n"
                                   "Flag,Lap,CdACal,Cal,CdARaw,Time,Dist,Speed,Power,Head,Chest\n"
                                   "X ,1,2,3,4,5,6,7,8,9,10\n");
}

} // namespace
} // namespace draftwell::test
