#include "app/ant_scanner_service.h"
#include "tests/ui/fake_scanner_bridge.h"
#include "tests/ui/ui_test_support.h"
#include "ui/content_view.h"
#include "ui/folder_dialog.h"
#include "ui/lap_data_table.h"
#include "ui/lap_table_model.h"
#include "ui/log_pane.h"
#include "ui/logo_view.h"
#include "ui/named_colors.h"
#include "ui/session_summary_row.h"
#include "ui/status_card.h"

#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>

#include <cmath>

#include <gtest/gtest.h>

namespace draftwell::test {
namespace {

class ContentViewTest : public ::testing::Test {
  protected:
    ContentViewTest() : view(fixture.service(), [this](const QString& id) { opened.append(id); }) {
        view.resize(ContentView::kMinWidth, ContentView::kMinHeight);
        view.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&view));
    }

    ANTScannerService& service() { return fixture.service(); }
    FakeScannerBridge& bridge() { return fixture.bridge(); }
    QStringList summary() {
        view.refreshNow();
        return view.summaryRow()->valueTexts();
    }
    LapTableModel& lapModel() { return *view.lapTable()->lapModel(); }
    Qt::CheckState flag(int row) {
        return lapModel().index(row, 0).data(Qt::CheckStateRole).value<Qt::CheckState>();
    }
    QStringList runFiles() { return QDir(fixture.logFolder()).entryList({QStringLiteral("Run_*.csv")}); }

    ServiceFixture fixture;
    QStringList opened;
    ContentView view;
};

TEST_F(ContentViewTest, ConnectionCardFollowsTheScannerState) {
    StatusCard& card = *view.connectionCard();
    const auto showsAfter = [&](bool open, bool receiving, bool multiple) {
        bridge().reportStatus(open, receiving, multiple);
        view.refreshNow();
        return std::make_pair(card.value(), card.color());
    };
    view.refreshNow();
    EXPECT_EQ(card.value(), "Closed");
    EXPECT_EQ(card.color(), NamedColors::red());
    EXPECT_EQ(view.openCloseButton()->text(), "Open");

    EXPECT_EQ(showsAfter(true, false, false), std::make_pair(QString("Open"), NamedColors::orange()));
    EXPECT_EQ(view.openCloseButton()->text(), "Close");
    EXPECT_EQ(showsAfter(true, true, false), std::make_pair(QString("Receiving"), NamedColors::green()));
    EXPECT_EQ(showsAfter(true, true, true), std::make_pair(QString("Multiple Garmins"), NamedColors::pink()));
    EXPECT_EQ(showsAfter(true, false, true),
              std::make_pair(QString("Multiple Garmins"), NamedColors::pink()));
    // Closed wins over everything the bridge may still report.
    EXPECT_EQ(showsAfter(false, true, true), std::make_pair(QString("Closed"), NamedColors::red()));
    EXPECT_EQ(view.openCloseButton()->text(), "Open");
}

TEST_F(ContentViewTest, LapCardsTurnGreenWhenTheLapIsComplete) {
    const auto pages = lapPages({});
    bridge().receive(pages[0]);
    view.refreshNow();
    EXPECT_EQ(view.latestLapCard()->value(), service().currentLapNumber());
    EXPECT_EQ(view.lapDataCard()->value(), "1/3");
    for (StatusCard* card : {view.latestLapCard(), view.lapDataCard(), view.lapStatusCard()}) {
        EXPECT_EQ(card->color(), NamedColors::orange()) << card->title().toStdString();
    }
    bridge().receive(pages[1]);
    bridge().receive(pages[2]);
    view.refreshNow();
    EXPECT_EQ(view.lapDataCard()->value(), "3/3");
    EXPECT_EQ(view.lapStatusCard()->value(), service().lapStatus());
    for (StatusCard* card : {view.latestLapCard(), view.lapDataCard(), view.lapStatusCard()}) {
        EXPECT_EQ(card->color(), NamedColors::green()) << card->title().toStdString();
    }
}

TEST_F(ContentViewTest, OnlyTheOpenButtonIsDisabledWhileARequestIsInFlight) {
    QTest::mouseClick(view.openCloseButton(), Qt::LeftButton);
    EXPECT_EQ(bridge().openRequests, 1);
    ASSERT_TRUE(waitUntil([&] { return !view.openCloseButton()->isEnabled(); }));
    for (QPushButton* b : {view.loggingButton(), view.browseButton(), view.selectAllButton(),
                           view.selectNoneButton(), view.popoutButton(), view.resetButton()}) {
        EXPECT_TRUE(b->isEnabled()) << b->text().toStdString();
    }
    EXPECT_TRUE(view.folderField()->isEnabled());
    EXPECT_TRUE(view.descriptionField()->isEnabled());
    // A second press while disabled cannot send a second request.
    QTest::mouseClick(view.openCloseButton(), Qt::LeftButton);
    EXPECT_EQ(bridge().openRequests, 1);

    bridge().reportStatus(true, false, false);
    bridge().finishOpen();
    ASSERT_TRUE(waitUntil([&] { return view.openCloseButton()->isEnabled(); }));
    EXPECT_EQ(view.openCloseButton()->text(), "Close");

    QTest::mouseClick(view.openCloseButton(), Qt::LeftButton);
    EXPECT_EQ(bridge().closeRequests, 1);
    ASSERT_TRUE(waitUntil([&] { return !view.openCloseButton()->isEnabled(); }));
    bridge().reportStatus(false, false, false);
    bridge().finishClose();
    ASSERT_TRUE(waitUntil([&] { return view.openCloseButton()->isEnabled(); }));
    EXPECT_EQ(view.openCloseButton()->text(), "Open");
}

TEST_F(ContentViewTest, StartLoggingWithoutLapsStartsAtOnce) {
    QTest::mouseClick(view.loggingButton(), Qt::LeftButton);
    EXPECT_EQ(view.resetQuestion(), nullptr);
    EXPECT_TRUE(service().isLogging()) << service().logs().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(runFiles(), QStringList{"Run_001.csv"});
    ASSERT_TRUE(waitUntil([&] { return view.loggingButton()->text() == "Stop logging"; }));
    EXPECT_EQ(view.fileField()->text(), "Run_001.csv");
    EXPECT_TRUE(view.fileField()->isReadOnly());
}

TEST_F(ContentViewTest, StartLoggingWithLapsAsksAndYesEmptiesTheList) {
    fixture.completeLap({.lap = 1});
    fixture.completeLap({.lap = 2});
    QTest::mouseClick(view.loggingButton(), Qt::LeftButton);
    QMessageBox* question = view.resetQuestion();
    ASSERT_NE(question, nullptr);
    EXPECT_TRUE(question->isVisible());
    EXPECT_FALSE(service().isLogging());
    EXPECT_TRUE(question->windowTitle().isEmpty());
    EXPECT_EQ(question->text(), "Do you want to reset data?\nAny existing laps will be lost forever.");
    QStringList answers;
    for (QAbstractButton* b : question->buttons()) {
        answers.append(b->text());
    }
    answers.sort();
    EXPECT_EQ(answers, (QStringList{"No", "Yes"}));

    QAbstractButton* yes = nullptr;
    for (QAbstractButton* b : question->buttons()) {
        if (b->text() == "Yes") {
            yes = b;
        }
    }
    ASSERT_NE(yes, nullptr);
    yes->click();
    EXPECT_TRUE(service().isLogging());
    EXPECT_TRUE(service().allLapData().empty());
    ASSERT_TRUE(waitUntil([&] { return view.resetQuestion() == nullptr; }));
    view.refreshNow();
    EXPECT_EQ(lapModel().rowCount(), 0);
}

TEST_F(ContentViewTest, NoKeepsTheLapsAndStillStartsAndStopNeverAsks) {
    fixture.completeLap({.lap = 1, .cdA = 0.31});
    QTest::mouseClick(view.loggingButton(), Qt::LeftButton);
    ASSERT_NE(view.resetQuestion(), nullptr);
    for (QAbstractButton* b : view.resetQuestion()->buttons()) {
        if (b->text() == "No") {
            b->click();
        }
    }
    EXPECT_TRUE(service().isLogging());
    EXPECT_EQ(service().allLapData().size(), 1u);
    ASSERT_TRUE(waitUntil([&] { return view.resetQuestion() == nullptr; }));

    fixture.completeLap({.lap = 2, .cdA = 0.32});
    ASSERT_TRUE(waitUntil([&] { return view.loggingButton()->text() == "Stop logging"; }));
    QTest::mouseClick(view.loggingButton(), Qt::LeftButton);
    EXPECT_EQ(view.resetQuestion(), nullptr);
    EXPECT_FALSE(service().isLogging());

    QFile file(QDir(fixture.logFolder()).filePath(QStringLiteral("Run_001.csv")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    // Start time, description, header, the two laps oldest first, final line feed.
    ASSERT_EQ(lines.size(), 6);
    EXPECT_TRUE(lines[3].contains("0.310"));
    EXPECT_TRUE(lines[4].contains("0.320"));
}

TEST_F(ContentViewTest, TicksAndSelectionButtonsRecomputeTheSummary) {
    fixture.completeLap({.lap = 1, .cdA = 0.300, .cal = 1.0});
    fixture.completeLap({.lap = 2, .cdA = 0.320, .cal = 1.0});
    view.refreshNow();
    ASSERT_EQ(lapModel().rowCount(), 2);
    EXPECT_EQ(summary().at(0), "2");
    EXPECT_EQ(summary().at(3), "0.310");

    // Unticking the newest lap (top row) leaves the oldest one alone in the averages.
    ASSERT_TRUE(lapModel().setData(lapModel().index(0, 0), Qt::Unchecked, Qt::CheckStateRole));
    EXPECT_FALSE(service().allLapData()[0]->use);
    EXPECT_EQ(summary().at(0), "1");
    EXPECT_EQ(summary().at(3), "0.300");
    EXPECT_EQ(flag(0), Qt::Unchecked);

    QTest::mouseClick(view.selectNoneButton(), Qt::LeftButton);
    EXPECT_EQ(summary().at(0), "0");
    EXPECT_EQ(summary().at(3), "0.000");
    EXPECT_EQ(flag(0), Qt::Unchecked);
    EXPECT_EQ(flag(1), Qt::Unchecked);

    QTest::mouseClick(view.selectAllButton(), Qt::LeftButton);
    EXPECT_EQ(summary().at(0), "2");
    EXPECT_EQ(flag(0), Qt::Checked);
    EXPECT_EQ(flag(1), Qt::Checked);
}

TEST_F(ContentViewTest, ClickingATickBoxUnticksTheLap) {
    fixture.completeLap({.lap = 1});
    fixture.completeLap({.lap = 2});
    view.refreshNow();
    QTableView& table = *view.lapTable();
    QStyleOptionViewItem option;
    option.initFrom(&table);
    option.rect = table.visualRect(lapModel().index(1, 0));
    option.features = QStyleOptionViewItem::HasCheckIndicator;
    const QRect box = table.style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, &table);
    QTest::mouseClick(table.viewport(), Qt::LeftButton, {}, box.center());
    ASSERT_TRUE(waitUntil([&] { return !service().allLapData()[1]->use; }));
    EXPECT_TRUE(service().allLapData()[0]->use);
    EXPECT_EQ(summary().at(0), "1");
    EXPECT_EQ(flag(1), Qt::Unchecked);
}

TEST_F(ContentViewTest, KeyboardAloneTicksAndUnticksALap) {
    fixture.completeLap({.lap = 1, .cdA = 0.300});
    fixture.completeLap({.lap = 2, .cdA = 0.320});
    view.refreshNow();
    view.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
    view.folderField()->setFocus(Qt::TabFocusReason);
    for (int i = 0; i < 30 && QApplication::focusWidget() != view.lapTable(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    ASSERT_EQ(QApplication::focusWidget(), view.lapTable());
    QTest::keyClick(view.lapTable(), Qt::Key_Down); // from the newest lap to the oldest
    QTest::keyClick(view.lapTable(), Qt::Key_Space);
    EXPECT_EQ(flag(1), Qt::Unchecked);
    EXPECT_EQ(summary().at(3), "0.320");
    QTest::keyClick(view.lapTable(), Qt::Key_Space);
    EXPECT_EQ(flag(1), Qt::Checked);
    EXPECT_EQ(summary().at(0), "2");
}

TEST_F(ContentViewTest, FocusStaysWithOpenCloseThroughARequest) {
    view.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
    view.openCloseButton()->setFocus(Qt::TabFocusReason);
    QTest::keyClick(view.openCloseButton(), Qt::Key_Space);
    ASSERT_TRUE(waitUntil([&] { return !view.openCloseButton()->isEnabled(); }));
    EXPECT_NE(QApplication::focusWidget(), static_cast<QWidget*>(view.messageLogPane()));
    bridge().reportStatus(true, false, false);
    bridge().finishOpen();
    ASSERT_TRUE(waitUntil([&] { return view.openCloseButton()->isEnabled(); }));
    EXPECT_EQ(QApplication::focusWidget(), view.openCloseButton());
    QTest::keyClick(view.openCloseButton(), Qt::Key_Space);
    EXPECT_EQ(bridge().closeRequests, 1);
}

TEST_F(ContentViewTest, AssistiveToolsReadCardsAndFields) {
    bridge().reportStatus(true, true, true);
    view.refreshNow();
    const std::vector<std::pair<QWidget*, QStringList>> expected{
        {view.connectionCard(), {"Connection", "Multiple Garmins"}},
        {view.latestLapCard(), {"Latest Lap", "-"}},
        {view.lapDataCard(), {"Lap Data", "0/3"}},
        {view.lapStatusCard(), {"Lap Status", "Invalid"}},
        {view.folderField(), {"Folder", ""}},
        {view.fileField(), {"File", ""}},
        {view.descriptionField(), {"Description", ""}},
    };
    for (const auto& [widget, nameAndDescription] : expected) {
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(widget);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ((QStringList{a->text(QAccessible::Name), a->text(QAccessible::Description)}),
                  nameAndDescription);
    }
    // The run file's name is read-only text, not greyed out.
    EXPECT_TRUE(view.fileField()->isEnabled());
    EXPECT_TRUE(view.fileField()->isReadOnly());
    const auto luminance = [](const QColor& c) {
        const auto linear = [](double v) {
            return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
    };
    const QPalette palette = view.fileField()->palette();
    const double text = luminance(palette.color(QPalette::Active, QPalette::Text));
    const double base = luminance(palette.color(QPalette::Active, QPalette::Base));
    EXPECT_GE((std::max(text, base) + 0.05) / (std::min(text, base) + 0.05), 4.5);
}

TEST(FolderDialogTest, FirstBrowseStartsAtTheNearestExistingFolder) {
    QTemporaryDir root;
    ASSERT_TRUE(QDir(root.path()).mkpath(QStringLiteral("runs")));
    const QString runs = QDir(root.path()).filePath(QStringLiteral("runs"));
    const std::vector<std::pair<QString, QString>> cases{
        {runs, runs},
        {runs + QStringLiteral("/not/yet"), runs},
        {root.path() + QStringLiteral("/missing"), root.path()},
    };
    for (const auto& [path, start] : cases) {
        EXPECT_EQ(FolderDialog::nearestExistingFolder(path), start) << path.toStdString();
    }
}

TEST_F(ContentViewTest, ATickForALapNoLongerListedChangesNothing) {
    fixture.completeLap({.lap = 1});
    view.refreshNow();
    const QModelIndex stale = lapModel().index(0, 0);
    const LapDataRef lap = service().allLapData()[0];
    service().resetLaps();
    // The table has not been redrawn yet; the lap it still shows is gone.
    lapModel().setData(stale, Qt::Unchecked, Qt::CheckStateRole);
    EXPECT_TRUE(lap->use);
    EXPECT_EQ(summary().at(0), "0");
}

TEST_F(ContentViewTest, SummaryShowsZerosWithTheirDigitsAtStartUp) {
    EXPECT_EQ(view.summaryRow()->headerTexts(), (QStringList{"Laps", "CdACal", "Cal", "CdARaw", "Time",
                                                             "Dist", "Speed", "Power", "Head", "Chest"}));
    EXPECT_EQ(summary(),
              (QStringList{"0", "0.000", "0.000", "0.000", "0.000", "0.0", "0.0", "0.0", "0.0", "0.0"}));
    EXPECT_EQ(lapModel().rowCount(), 0);
}

TEST_F(ContentViewTest, LapTableListsNewestFirstWithFixedColumns) {
    fixture.completeLap({.lap = 1, .cdA = 0.3004, .cal = 1.0, .lapTime = 61.25, .dist = 712.3});
    fixture.completeLap({.lap = 2, .cdA = 0.3101, .cal = 1.0, .lapTime = 59.5, .dist = 705.0});
    view.refreshNow();
    QTableView& table = *view.lapTable();
    const QStringList headers{"Flag", "Lap",   "CdACal", "Cal",  "CdARaw", "Time",
                              "Dist", "Speed", "Power",  "Head", "Chest"};
    const QList<int> widths{42, 40, 70, 60, 72, 60, 60, 60, 60, 60, 60};
    // After the figures, the doubtful-lap reasons.
    ASSERT_EQ(lapModel().columnCount(), headers.size() + 1);
    for (int c = 0; c < headers.size(); ++c) {
        EXPECT_EQ(lapModel().headerData(c, Qt::Horizontal).toString(), headers[c]);
        EXPECT_EQ(table.horizontalHeader()->sectionSize(c), widths[c]) << c;
        EXPECT_EQ(table.horizontalHeader()->sectionResizeMode(c), QHeaderView::Fixed);
    }
    EXPECT_EQ(lapModel().headerData(headers.size(), Qt::Horizontal).toString(), "Check");
    EXPECT_FALSE(table.isSortingEnabled());
    EXPECT_EQ(table.selectionMode(), QAbstractItemView::SingleSelection); // the keyboard's lap
    const auto cell = [&](int row, int column) { return lapModel().index(row, column).data().toString(); };
    EXPECT_EQ(cell(0, 1), "2");
    EXPECT_EQ(cell(1, 1), "1");
    EXPECT_EQ(cell(1, 4), "0.300");
    EXPECT_EQ(cell(1, 5), "61.250");
    EXPECT_EQ(cell(1, 6), "712.3");
    EXPECT_EQ(flag(0), Qt::Checked);
}

TEST_F(ContentViewTest, NumbersFollowTheLocale) {
    const ScopedLocale german(QLocale(QLocale::German, QLocale::Germany));
    fixture.completeLap({.lap = 1, .cdA = 0.3, .cal = 1.0, .dist = 1234.5});
    view.refreshNow();
    EXPECT_EQ(lapModel().index(0, 4).data().toString(), "0,300");
    EXPECT_EQ(lapModel().index(0, 6).data().toString(), "1234,5");
    EXPECT_EQ(summary().at(0), "1");
    EXPECT_EQ(summary().at(5), "1234,5");
}

TEST_F(ContentViewTest, FixedHeightsLeaveTheRestToTheLapTable) {
    const auto* logo = view.findChild<LogoView*>(QStringLiteral("logo"));
    ASSERT_NE(logo, nullptr);
    EXPECT_TRUE(logo->hasImage());
    EXPECT_TRUE(logo->isVisible());
    EXPECT_EQ(logo->size(), QSize(190, 108));
    EXPECT_EQ(logo->mapTo(&view, QPoint(190, 0)).x(), view.width() - 12);
    EXPECT_EQ(view.summaryRow()->height(), 48);
    EXPECT_EQ(view.connectionCard()->height(), 84);
    EXPECT_GE(view.connectionCard()->width(), 200);
    EXPECT_GE(view.latestLapCard()->width(), 120);

    // Growing the window gives all the extra height to the lap table.
    const int tableHeight = view.lapTable()->height();
    const int summaryTop = view.summaryRow()->mapTo(&view, QPoint()).y();
    view.resize(ContentView::kMinWidth, ContentView::kMinHeight + 200);
    ASSERT_TRUE(waitUntil([&] { return view.lapTable()->height() > tableHeight; }));
    EXPECT_EQ(view.lapTable()->height(), tableHeight + 200);
    EXPECT_EQ(view.summaryRow()->mapTo(&view, QPoint()).y(), summaryTop);

    // And extra width to the stretching boxes, not the logo.
    view.resize(ContentView::kMinWidth + 300, ContentView::kMinHeight);
    ASSERT_TRUE(waitUntil([&] { return logo->mapTo(&view, QPoint(190, 0)).x() == view.width() - 12; }));
    EXPECT_EQ(logo->size(), QSize(190, 108));
}

TEST_F(ContentViewTest, ButtonsAndFieldsReachTheService) {
    QTest::mouseClick(view.popoutButton(), Qt::LeftButton);
    EXPECT_EQ(opened, QStringList{"lap-data-popout"});

    view.folderField()->selectAll();
    QTest::keyClicks(view.folderField(), QStringLiteral("/tmp/elsewhere"));
    EXPECT_EQ(service().logFolderPath(), "/tmp/elsewhere");
    QTest::keyClicks(view.descriptionField(), QStringLiteral("Skinsuit B"));
    EXPECT_EQ(service().logDescription(), "Skinsuit B");
    service().setLogDescription(QStringLiteral("From elsewhere"));
    ASSERT_TRUE(waitUntil([&] { return view.descriptionField()->text() == "From elsewhere"; }));

    fixture.completeLap({.lap = 1});
    QTest::mouseClick(view.resetButton(), Qt::LeftButton);
    EXPECT_TRUE(service().allLapData().empty());
    ASSERT_TRUE(waitUntil([&] { return lapModel().rowCount() == 0; }));
}

class LogPaneScrollTest : public ::testing::Test {
  protected:
    void fillLogs(int messageLines, int dataLines) {
        for (int i = 0; i < messageLines; ++i) {
            fixture.bridge().log(QStringLiteral("12:00:00.000 message %1").arg(i));
        }
        for (int i = 0; i < dataLines; ++i) {
            fixture.bridge().log(QStringLiteral("12:00:00.000 RX [%1] [00]").arg(i));
        }
    }

    ServiceFixture fixture;
};

TEST_F(LogPaneScrollTest, PanesStayPutWhenShownAndFollowNewLines) {
    fillLogs(120, 120);
    ContentView view(fixture.service(), {});
    view.resize(ContentView::kMinWidth, ContentView::kMinHeight);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    for (LogPane* pane : {view.messageLogPane(), view.dataLogPane()}) {
        EXPECT_EQ(pane->document()->blockCount(), 120);
        EXPECT_GT(pane->verticalScrollBar()->maximum(), 0) << pane->bottomID().toStdString();
        EXPECT_EQ(pane->verticalScrollBar()->value(), 0) << pane->bottomID().toStdString();
    }

    fixture.bridge().log(QStringLiteral("12:00:01.000 Scanner opened."));
    ASSERT_TRUE(waitUntil([&] { return view.messageLogPane()->isScrolledToEnd(); }));
    EXPECT_EQ(view.messageLogPane()->document()->lastBlock().text(), "Scanner opened.");
    EXPECT_EQ(view.dataLogPane()->verticalScrollBar()->value(), 0);

    fixture.bridge().log(QStringLiteral("12:00:01.250 RX [44] [57]"));
    ASSERT_TRUE(waitUntil([&] { return view.dataLogPane()->isScrolledToEnd(); }));
    EXPECT_EQ(view.dataLogPane()->document()->lastBlock().text(), "12:00:01.250 RX [44] [57]");
}

TEST_F(LogPaneScrollTest, AFullPaneKeepsFiveHundredLinesAndStillFollows) {
    fillLogs(0, 500);
    ContentView view(fixture.service(), {});
    view.resize(ContentView::kMinWidth, ContentView::kMinHeight);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    LogPane& pane = *view.dataLogPane();
    pane.verticalScrollBar()->setValue(0);

    fixture.bridge().log(QStringLiteral("12:00:02.000 RX [99] [99]"));
    ASSERT_TRUE(waitUntil([&] { return pane.isScrolledToEnd() && pane.verticalScrollBar()->value() > 0; }));
    // Still there once every pending layout and repaint has run.
    QCoreApplication::processEvents();
    EXPECT_TRUE(pane.isScrolledToEnd());
    EXPECT_EQ(pane.document()->blockCount(), 500);
    EXPECT_EQ(pane.document()->firstBlock().text(), "12:00:00.000 RX [1] [00]");
    EXPECT_EQ(pane.document()->lastBlock().text(), "12:00:02.000 RX [99] [99]");
    EXPECT_EQ(pane.document()->toPlainText().split('\n'), fixture.service().dataLogs());
}

TEST_F(LogPaneScrollTest, AMultiLineMessageStaysOneEntry) {
    ContentView view(fixture.service(), {});
    view.show();
    fixture.bridge().log(QStringLiteral("first"));
    fixture.service().connect();
    fixture.bridge().finishOpen(ScannerError{QStringLiteral("x"), 1, QStringLiteral("no stick")});
    fixture.bridge().log(QStringLiteral("last"));
    ASSERT_TRUE(waitUntil([&] { return view.messageLogPane()->lines().size() == 3; }));
    EXPECT_EQ(view.messageLogPane()->document()->blockCount(), 3);
    EXPECT_EQ(view.messageLogPane()->document()->lastBlock().text(), "last");
}

} // namespace
} // namespace draftwell::test
