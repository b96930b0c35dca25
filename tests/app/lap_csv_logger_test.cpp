#include "app/format_number.h"
#include "app/lap_csv_logger.h"

#include <QFile>
#include <QLocale>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <limits>

#include <unistd.h>

#include "tests/support/qstring_printer.h"
#include "tests/support/run_files.h"

namespace draftwell {
namespace {

using test::readFile;

TEST(RunNumberTest, OnePastTheHighestRunFileInTheFolder) {
    const struct {
        std::initializer_list<const char*> names;
        std::optional<std::int64_t> next;
    } cases[] = {
        {{}, 1},
        {{"Run_007.csv", "Run_12.csv", "Run_003.csv"}, 13},
        {{"Run_005.CSV"}, 6},
        {{"Run_+4.csv"}, 5},
        {{"Run_999.csv"}, 1000},
        {{"Run_-3.csv"}, 1},
        {{"run_009.csv", "Run_abc.csv", "Run_.csv", "Run_005.csv.bak", "Run_005.tmp.csv", "Run_ 5.csv",
          "RUN_010.csv", "Run_99999999999999999999.csv"},
         1},
        // The largest number has no successor.
        {{"Run_9223372036854775807.csv", "Run_004.csv"}, 5},
        // Other riders' files of a run count for it.
        {{"Run_003.csv", "Run_008_rider-12345.csv", "Run_009_rider-unnumbered.CSV"}, 10},
        {{"Run_007_rider-.csv", "Run_x_rider-1.csv", "Run_007rider-1.csv"}, 1},
    };
    for (const auto& c : cases) {
        QTemporaryDir dir;
        for (const char* name : c.names) {
            ASSERT_TRUE(test::writeFile(dir.filePath(QString::fromUtf8(name)), ""));
        }
        EXPECT_EQ(LapCSVLogger::nextRunNumber(dir.path()), c.next) << c.names.size() << " names";
    }
    // A folder that cannot be listed gives nothing.
    QTemporaryDir dir;
    EXPECT_EQ(LapCSVLogger::nextRunNumber(dir.filePath("missing")), std::nullopt);
    ASSERT_TRUE(test::writeFile(dir.filePath("plain"), ""));
    EXPECT_EQ(LapCSVLogger::nextRunNumber(dir.filePath("plain")), std::nullopt);
    EXPECT_EQ((QStringList{LapCSVLogger::fileNameForRun(1), LapCSVLogger::fileNameForRun(42),
                           LapCSVLogger::fileNameForRun(1000), LapCSVLogger::fileNameForRider(7, 12345),
                           LapCSVLogger::fileNameForRider(7, std::nullopt)}),
              (QStringList{"Run_001.csv", "Run_042.csv", "Run_1000.csv", "Run_007_rider-12345.csv",
                           "Run_007_rider-unnumbered.csv"}));
}

TEST(LapCSVLoggerTest, CreationNeverReplacesOrFollowsAnything) {
    QTemporaryDir dir;
    LapCSVLogger logger;
    const QString existing = dir.filePath("Run_001.csv");
    ASSERT_TRUE(test::writeFile(existing, "keep me\n"));
    EXPECT_EQ(logger.open(existing), LoggerError::fileAlreadyExists);
    EXPECT_EQ(readFile(existing), "keep me\n");

    // A link to a file that does not exist yet: created by someone else
    // between our check and our create, it must not be written through.
    const QString link = dir.filePath("Run_002.csv");
    const QString target = dir.filePath("elsewhere.csv");
    ASSERT_EQ(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()), 0);
    EXPECT_EQ(logger.open(link), LoggerError::fileAlreadyExists);
    EXPECT_FALSE(QFile::exists(target));

    EXPECT_EQ(logger.open(dir.filePath("no/such/folder/Run_001.csv")), LoggerError::failedToCreateFile);
    EXPECT_FALSE(logger.isOpen());
    // Without an open file there is nothing to write or close.
    EXPECT_EQ(logger.writeLine(QStringLiteral("x")), std::nullopt);
    EXPECT_EQ(logger.finish(QString(), {}, QStringLiteral(",")), std::nullopt);
}

TEST(LapCSVLoggerTest, TextIsUtf8AndTheDescriptionStaysOneWritableLine) {
    QTemporaryDir dir;
    LapCSVLogger logger;
    const QString path = dir.filePath("Run_001.csv");
    ASSERT_EQ(logger.open(path), std::nullopt);
    const QByteArray line1 = readFile(path);
    ASSERT_EQ(logger.writeLine(QStringLiteral("Vélodrome – Køge")), std::nullopt);
    const QByteArray line2 = "V\xC3\xA9lodrome \xE2\x80\x93 K\xC3\xB8ge\n";
    EXPECT_EQ(logger.writeLine(QString(QChar(0xD800))), LoggerError::failedToEncode);
    EXPECT_EQ(readFile(path), line1 + line2);
    // A lone surrogate in the description no longer costs the whole run.
    const QString description = QStringLiteral("a,b;\"c\"\r\nd\ne\u2028f\tg ") + QChar(0xD800);
    EXPECT_EQ(logger.finish(description, {}, QStringLiteral(",")), std::nullopt);
    EXPECT_FALSE(logger.isOpen());
    EXPECT_EQ(readFile(path), line1 + line2 + "Description: a,b;'c' d e f\tg \xEF\xBF\xBD\n" + test::kHeader);
}

TEST(FormatNumberTest, LocaleSeparatorFixedDigitsNoGroupingTiesToEven) {
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    const QLocale de(QLocale::German, QLocale::Germany);
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        QLocale locale;
        double value;
        int digits;
        const char* text;
    } cases[] = {
        {us, 0.3088, 6, "0.308800"},
        {us, 1234567.891, 2, "1234567.89"},
        {us, -14.58, 3, "-14.580"},
        {us, 250, 0, "250"},
        {us, 2.7, -1, "3"},
        {de, 0.312345, 6, "0,312345"},
        {de, 1234567.5, 1, "1234567,5"},
        // Exact binary ties go to the even digit; 0.3135 is stored just above
        // its tie (0.31350000000000000088...), 1.005 just below (1.00499999999999989...).
        {us, 0.3125, 3, "0.312"},
        {us, 0.375, 2, "0.38"},
        {us, 2.5, 0, "2"},
        {us, 3.5, 0, "4"},
        {us, 0.3135, 3, "0.314"},
        {us, 1.005, 2, "1.00"},
        // Not finite: plain text in every locale.
        {de, inf, 6, "inf"},
        {de, -inf, 6, "-inf"},
        {de, std::numeric_limits<double>::quiet_NaN(), 2, "nan"},
    };
    for (const auto& c : cases) {
        QLocale::setDefault(c.locale);
        EXPECT_EQ(formatNumber(c.value, c.digits), QString::fromLatin1(c.text)) << c.text;
    }
    QLocale::setDefault(QLocale::c());
    EXPECT_EQ(formatNumber(std::optional<double>(), 2), QStringLiteral("\u2013"));
}

} // namespace
} // namespace draftwell
