#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include "tests/support/run_files.h"
#include "tests/support/service_fixture.h"
#include "tests/support/signal_recorder.h"

namespace draftwell::test {
namespace {

using ServiceSettingsTest = ServiceFixture;

const QString kKey = QStringLiteral("Setting com.draftwell.LapLogger.");

// Stored values, set by the program or edited by hand, and what the service
// makes of them. The folder and the separator are written back at once.
TEST_F(ServiceSettingsTest, StoredValuesAreUsedOrFallBackWithALineEach) {
    QByteArray garbage;
    for (int i = 0; i < 4096; ++i) {
        garbage += static_cast<char>((i * 7919) % 256);
    }
    const QString d = defaultFolder();
    const QByteArray g = "[General]\ncom.draftwell.LapLogger.";
    const QByteArray k = "\ncom.draftwell.LapLogger.";
    const struct {
        std::vector<std::pair<const char*, QVariant>> stored;
        QByteArray file;  // the settings file as a user left it
        QString settings; // folder|autoCal|calLapCount|delimiter
        std::optional<QStringList> messages;
    } cases[] = {
        // clang-format off
        {{}, {}, d + "|1|5|,", QStringList{}},
        {{{".lastLogFolder", " \t/data/runs\n "}, {".autoCal", false}, {".calLapCount", 3}, {".csvDelimiter", ";"}}, {},
         "/data/runs|0|3|;", QStringList{}},
        {{{".lastLogFolder", "     "}, {".autoCal", "yes"}, {".calLapCount", -3}, {".csvDelimiter", "\t"}}, {},
         d + "|1|0|,", {}},
        {{}, g + "autoCal=false" + k + "calLapCount=3" + k + "csvDelimiter=\";\"" + k + "lastLogFolder=/tmp/runs \n",
         "/tmp/runs|0|3|;", QStringList{}},
        {{}, g + "autoCal=maybe" + k + "calLapCount=5.5" + k + "csvDelimiter=|" + k + "lastLogFolder=/a, /b\n",
         d + "|1|5|,", QStringList{kKey + "lastLogFolder holds a list (/a, /b), which is not a folder path; " + d + " is used.",
                                   kKey + "autoCal holds \"maybe\", which is not true or false; true is used.",
                                   kKey + "calLapCount holds \"5.5\", which is not a whole number; 5 is used.",
                                   kKey + "csvDelimiter holds \"|\", which is not \",\" or \";\"; \",\" is used."}},
        {{}, garbage, d + "|1|5|,", QStringList{"The settings file %file could not be read; the defaults are used."}},
        // clang-format on
    };
    int row = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.settings.toStdString());
        // A settings path of its own, so no row reads another's from the cache.
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           root.filePath(QString::number(++row)));
        for (const auto& [suffix, value] : c.stored) {
            store(suffix, value);
        }
        if (!c.file.isEmpty()) {
            ASSERT_TRUE(QDir().mkpath(QFileInfo(QSettings().fileName()).absolutePath()));
            ASSERT_TRUE(writeFile(QSettings().fileName(), c.file));
        }
        auto& s = makeService();
        EXPECT_EQ(QStringList({s.logFolderPath(), QString::number(s.autoCal()),
                               QString::number(s.calLapCount()), s.csvDelimiter()})
                      .join('|'),
                  c.settings);
        EXPECT_EQ(s.csvDelimiterOption(),
                  s.csvDelimiter() == ";" ? CSVDelimiterOption::semicolon : CSVDelimiterOption::comma);
        // The folder and the separator are written back at once, the others only when changed.
        EXPECT_EQ(stored(".lastLogFolder").toString(), s.logFolderPath());
        EXPECT_EQ(stored(".csvDelimiter").toString(), s.csvDelimiter());
        if (c.stored.empty() && c.file.isEmpty()) {
            EXPECT_FALSE(stored(".autoCal").isValid() || stored(".calLapCount").isValid());
        }
        if (c.messages) {
            EXPECT_EQ(s.messageLogs(),
                      QStringList(*c.messages).replaceInStrings("%file", QSettings().fileName()));
        }
        if (c.messages && c.messages->size() == 4) {
            // So the other two are reported again.
            EXPECT_EQ(makeService().messageLogs(), c.messages->mid(1, 2));
        }
    }
}

TEST_F(ServiceSettingsTest, ChangesAreStoredOnceAndSurviveARestartFromDisk) {
    {
        auto& s = makeService();
        completeLap(LapFigures{});
        SignalRecorder recorder(s);
        // Unchanged values do nothing.
        s.setCalLapCount(5);
        s.setAutoCal(true);
        s.setCSVDelimiter(CSVDelimiterOption::comma);
        EXPECT_EQ(recorder.emitted(), QStringList{});
        EXPECT_FALSE(stored(".calLapCount").isValid());

        s.setCalLapCount(-4);
        EXPECT_EQ(s.calLapCount(), 0);
        EXPECT_EQ(stored(".calLapCount").toLongLong(), 0);
        s.setCalLapCount(7);
        EXPECT_EQ(recorder.count("calLapCountChanged"), 2);
        EXPECT_EQ(recorder.count("sessionDataChanged"), 2);
        s.setAutoCal(false);
        EXPECT_FALSE(stored(".autoCal").toBool());
        EXPECT_EQ(recorder.count("sessionDataChanged"), 3);
        // The separator changes no figure.
        s.setCSVDelimiter(CSVDelimiterOption::semicolon);
        EXPECT_EQ(s.csvDelimiter(), ";");
        EXPECT_EQ(recorder.count("csvDelimiterChanged"), 1);
        EXPECT_EQ(recorder.count("sessionDataChanged"), 3);
        // The folder is kept as typed and stored trimmed, or removed when blank.
        s.setLogFolderPath(QStringLiteral(" \n "));
        EXPECT_FALSE(stored(".lastLogFolder").isValid());
        s.setLogFolderPath(QStringLiteral(" \n "));
        s.setLogFolderPath(QStringLiteral("  /runs/a, b; c  "));
        EXPECT_EQ(s.logFolderPath(), "  /runs/a, b; c  ");
        EXPECT_EQ(stored(".lastLogFolder").toString(), "/runs/a, b; c");
        EXPECT_EQ(recorder.count("logFolderPathChanged"), 3);
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

TEST_F(ServiceSettingsTest, FolderChooserStartsAtTheFolderAndMayBeCancelled) {
    auto& s = makeService();
    for (const std::optional<QString>& picked :
         {std::optional<QString>(), std::optional<QString>("/picked/folder")}) {
        s.setLogFolderPath(picked ? QStringLiteral("  /start/here ") : QStringLiteral("   "));
        QString startedIn;
        s.setFolderChooser([&](const QString& start) {
            startedIn = start;
            return picked;
        });
        SignalRecorder recorder(s);
        s.chooseLogFolder();
        EXPECT_EQ(startedIn, picked ? "/start/here" : defaultFolder());
        EXPECT_EQ(s.logFolderPath(), picked.value_or("   "));
        EXPECT_EQ(recorder.emitted().isEmpty(), !picked);
    }
    EXPECT_EQ(stored(".lastLogFolder").toString(), "/picked/folder");
    EXPECT_EQ(s.messageLogs(), QStringList{"Selected folder /picked/folder"});
}

} // namespace
} // namespace draftwell::test
