#include "tests/support/run_files.h"
#include "tests/support/scripted_scanner_bridge.h"
#include "tests/ui/ui_test.h"

#include <QAction>
#include <QMenuBar>

namespace draftwell::test {
namespace {

template <typename Window> int countOpen() {
    int count = 0;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        count += qobject_cast<Window*>(w) && w->isVisible() ? 1 : 0;
    }
    return count;
}

class LapLoggerAppTest : public IsolatedEnvironment {
  protected:
    void SetUp() override {
        IsolatedEnvironment::SetUp();
        shell = std::make_unique<LapLoggerApp>(std::make_unique<ScriptedScannerBridge>(bridge));
        shell->start();
    }
    void TearDown() override {
        shell.reset();
        IsolatedEnvironment::TearDown();
    }

    QAction* fileMenuItem(const QString& text) {
        for (QAction* item : shell->mainWindow()->menuBar()->actions().front()->menu()->actions()) {
            if (item->text() == text) {
                return item;
            }
        }
        return nullptr;
    }

    std::shared_ptr<ScriptedScannerBridge::State> bridge = std::make_shared<ScriptedScannerBridge::State>();
    std::unique_ptr<LapLoggerApp> shell;
};

TEST_F(LapLoggerAppTest, MainWindowCarriesTheVersionInItsTitle) {
    ASSERT_NE(shell->mainWindow(), nullptr);
    EXPECT_EQ(shell->mainWindow()->windowTitle(), "Draftwell Lap Logger V" + AppVersion::current());
    EXPECT_EQ(MainWindow::titleFor(AppVersion::orDefault(QString())), "Draftwell Lap Logger V1.0");
    EXPECT_EQ(AppVersion::orDefault("  "), "1.0");
    EXPECT_EQ(AppVersion::orDefault("2.3"), "2.3");
}

// Each entry opens its window once, however often it is chosen; a closed window opens afresh.
TEST_F(LapLoggerAppTest, FileMenuOpensSingleWindowsWithoutShortcuts) {
    const struct {
        const char* entry;
        std::function<QWidget*()> window;
        std::function<int()> count;
    } rows[] = {
        {"Open Popout", [&] { return shell->popout(); }, countOpen<LapDataPopoutView>},
        {"Settings...", [&] { return shell->settings(); }, countOpen<SettingsWindow>},
        {"Compare Configurations...", [&] { return shell->comparison(); }, countOpen<ComparisonWindow>},
    };
    for (const auto& row : rows) {
        QAction* entry = fileMenuItem(row.entry);
        ASSERT_NE(entry, nullptr) << row.entry;
        EXPECT_TRUE(entry->shortcut().isEmpty());
        entry->trigger();
        entry->trigger();
        EXPECT_EQ(row.count(), 1) << row.entry;
        EXPECT_NE(row.window(), nullptr);
    }
    // The other two titles are checked with their windows.
    EXPECT_EQ(shell->popout()->windowTitle(), "Lap Data");
    QTest::mouseClick(shell->mainWindow()->content()->popoutButton(), Qt::LeftButton);
    EXPECT_EQ(countOpen<LapDataPopoutView>(), 1);
    EXPECT_EQ(shell->popout()->objectName(), "lap-data-popout");
    shell->popout()->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return shell->popout() == nullptr; }));
    fileMenuItem("Open Popout")->trigger();
    EXPECT_EQ(countOpen<LapDataPopoutView>(), 1);
}

// Termination stops logging, writing the run once, and closes the stick, also when only the popout is left.
TEST_F(LapLoggerAppTest, TerminationWithOnlyThePopoutLeftWritesTheOpenRunAndClosesTheStick) {
    const QString folder = root.filePath("runs");
    shell->service().setLogFolderPath(folder);
    bridge->deliverLap({.lap = 1});
    bridge->deliverLap({.lap = 2});
    shell->service().setLogDescription("Quit test");
    shell->service().startLogging(false);
    shell->service().connect();
    ASSERT_FALSE(shell->service().openConButtonEnabled());
    shell->openWindow("lap-data-popout");
    shell->mainWindow()->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return shell->mainWindow() == nullptr; }));
    EXPECT_EQ(countOpen<LapDataPopoutView>(), 1);
    shell->terminate();
    EXPECT_FALSE(shell->service().isLogging());
    EXPECT_EQ(bridge->synchronousCloses, 1);
    EXPECT_TRUE(shell->service().openConButtonEnabled());
    const QByteArrayList lines = readFile(QDir(folder).filePath("Run_001.csv")).split('\n');
    ASSERT_EQ(lines.size(), 6);
    EXPECT_EQ(lines[1], "Description: Quit test");
    EXPECT_TRUE(hiddenFiles(folder).isEmpty());
    // Once only, whatever else ends the shell afterwards.
    shell.reset();
    EXPECT_EQ(readFile(QDir(folder).filePath("Run_001.csv")).split('\n'), lines);
}

} // namespace
} // namespace draftwell::test
