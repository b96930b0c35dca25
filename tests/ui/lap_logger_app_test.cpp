#include "app/ant_scanner_service.h"
#include "tests/ui/fake_scanner_bridge.h"
#include "tests/ui/ui_test_support.h"
#include "ui/app_version.h"
#include "ui/content_view.h"
#include "ui/lap_data_popout_view.h"
#include "ui/lap_logger_app.h"
#include "ui/main_window.h"
#include "ui/settings_window.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMenuBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace draftwell::test {
namespace {

template <typename Window> int countOpen() {
    int count = 0;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (qobject_cast<Window*>(w) && w->isVisible()) {
            ++count;
        }
    }
    return count;
}

class LapLoggerAppTest : public ::testing::Test {
  protected:
    LapLoggerAppTest() {
        isolateSettings(settingsDir.path());
        auto fake = std::make_unique<FakeScannerBridge>();
        bridge = fake.get();
        shell = std::make_unique<LapLoggerApp>(std::move(fake));
        shell->service().setLogFolderPath(logDir.path());
        shell->start();
    }

    void completeLap(int number) {
        for (const QByteArray& page : lapPages({.lap = number})) {
            bridge->receive(page);
        }
    }
    QAction* fileMenuItem(const QString& text) {
        for (QAction* menu : shell->mainWindow()->menuBar()->actions()) {
            for (QAction* item : menu->menu()->actions()) {
                if (item->text() == text) {
                    return item;
                }
            }
        }
        return nullptr;
    }
    QByteArray runFile() {
        QFile file(QDir(logDir.path()).filePath(QStringLiteral("Run_001.csv")));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir settingsDir;
    QTemporaryDir logDir;
    FakeScannerBridge* bridge = nullptr;
    std::unique_ptr<LapLoggerApp> shell;
};

TEST_F(LapLoggerAppTest, MainWindowCarriesTheVersionInItsTitle) {
    ASSERT_NE(shell->mainWindow(), nullptr);
    EXPECT_EQ(shell->mainWindow()->windowTitle(), "Draftwell Lap Logger V" + AppVersion::current());
    EXPECT_EQ(MainWindow::titleFor(AppVersion::orDefault(QString())), "Draftwell Lap Logger V1.0");
    EXPECT_EQ(AppVersion::orDefault(QStringLiteral("  ")), "1.0");
    EXPECT_EQ(AppVersion::orDefault(QStringLiteral("2.3")), "2.3");
    EXPECT_EQ(shell->mainWindow()->content()->size().expandedTo(QSize(1280, 860)), QSize(1280, 860));
    EXPECT_EQ(shell->mainWindow()->content()->minimumSize(), QSize(1080, 760));
}

TEST_F(LapLoggerAppTest, FileMenuOpensSingleWindowsWithoutShortcuts) {
    QAction* popout = fileMenuItem(QStringLiteral("Open Popout"));
    QAction* settings = fileMenuItem(QStringLiteral("Settings..."));
    ASSERT_NE(popout, nullptr);
    ASSERT_NE(settings, nullptr);
    EXPECT_TRUE(popout->shortcut().isEmpty());
    EXPECT_TRUE(settings->shortcut().isEmpty());

    popout->trigger();
    popout->trigger();
    QTest::mouseClick(shell->mainWindow()->content()->popoutButton(), Qt::LeftButton);
    EXPECT_EQ(countOpen<LapDataPopoutView>(), 1);
    ASSERT_NE(shell->popout(), nullptr);
    EXPECT_EQ(shell->popout()->windowTitle(), "Lap Data");
    EXPECT_EQ(shell->popout()->objectName(), "lap-data-popout");
    EXPECT_EQ(shell->popout()->size(), QSize(820, 420));

    settings->trigger();
    settings->trigger();
    EXPECT_EQ(countOpen<SettingsWindow>(), 1);
    EXPECT_EQ(shell->settings()->windowTitle(), "Application Settings");

    // A closed single window opens afresh.
    shell->popout()->close();
    ASSERT_TRUE(waitUntil([&] { return shell->popout() == nullptr; }));
    popout->trigger();
    EXPECT_EQ(countOpen<LapDataPopoutView>(), 1);
}

TEST_F(LapLoggerAppTest, TerminationWritesTheOpenRunAndClosesTheStick) {
    completeLap(1);
    completeLap(2);
    shell->service().setLogDescription(QStringLiteral("Quit test"));
    shell->service().startLogging(false);
    shell->service().connect();
    ASSERT_FALSE(shell->service().openConButtonEnabled());

    shell->terminate();
    EXPECT_FALSE(shell->service().isLogging());
    EXPECT_EQ(bridge->syncCloses, 1);
    EXPECT_TRUE(shell->service().openConButtonEnabled());
    const QList<QByteArray> lines = runFile().split('\n');
    ASSERT_EQ(lines.size(), 6);
    EXPECT_EQ(lines[1], "Description: Quit test");

    // Once only, whatever else ends the shell afterwards.
    shell.reset();
    EXPECT_EQ(runFile().split('\n').size(), 6);
}

TEST_F(LapLoggerAppTest, TerminationAlsoRunsWhenOnlyThePopoutIsLeft) {
    completeLap(1);
    shell->service().startLogging(false);
    shell->openWindow(QStringLiteral("lap-data-popout"));
    shell->mainWindow()->close();
    ASSERT_TRUE(waitUntil([&] { return shell->mainWindow() == nullptr; }));
    EXPECT_EQ(countOpen<LapDataPopoutView>(), 1);

    shell->terminate();
    EXPECT_FALSE(shell->service().isLogging());
    EXPECT_EQ(runFile().split('\n').size(), 5);
}

} // namespace
} // namespace draftwell::test
