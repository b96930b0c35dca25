#include "tests/ui/ui_test.h"
#include "ui/folder_dialog.h"
#include "ui/log_pane.h"
#include "ui/logo_view.h"
#include "ui/named_colors.h"
#include "ui/session_summary_row.h"

#include <QAccessible>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTextBlock>

#include <cmath>

namespace draftwell::test {
namespace {

class ContentViewTest : public UiTest {
  protected:
    void SetUp() override {
        UiTest::SetUp();
        view = &open<ContentView>(QSize(ContentView::kMinWidth, ContentView::kMinHeight), *service,
                                  [this](const QString& id) { opened.append(id); });
    }

    QStringList summary() {
        view->refreshNow();
        return view->summaryRow()->valueTexts();
    }
    LapTableModel& lapModel() { return *view->lapTable()->lapModel(); }
    Qt::CheckState flag(int row) {
        return lapModel().index(row, 0).data(Qt::CheckStateRole).value<Qt::CheckState>();
    }
    // The laps' ticks, newest first, and the summary's lap count and CdACal.
    QStringList ticks() {
        const QStringList figures = summary();
        QStringList texts;
        for (int row = 0; row < lapModel().rowCount(); ++row) {
            texts << (flag(row) == Qt::Checked ? "x" : "-");
        }
        return texts << figures.at(0) << figures.at(3);
    }
    void answer(const QString& text) {
        ASSERT_NE(view->resetQuestion(), nullptr);
        for (QAbstractButton* b : view->resetQuestion()->buttons()) {
            if (b->text() == text) {
                b->click();
            }
        }
        ASSERT_TRUE(QTest::qWaitFor([&] { return view->resetQuestion() == nullptr; }));
    }
    bool waitForOpenCloseEnabled(bool enabled) {
        return QTest::qWaitFor([&] { return view->openCloseButton()->isEnabled() == enabled; });
    }

    ContentView* view = nullptr;
    QStringList opened;
};

TEST_F(ContentViewTest, ConnectionCardFollowsTheScannerState) {
    const struct {
        bool open, receiving, multiple;
        const char* value;
        QColor color;
    } rows[] = {
        {false, false, false, "Closed", NamedColors::red()},
        {true, false, false, "Open", NamedColors::orange()},
        {true, true, false, "Receiving", NamedColors::green()},
        {true, true, true, "Multiple Garmins", NamedColors::pink()},
        {true, false, true, "Multiple Garmins", NamedColors::pink()},
        // Closed wins over everything the bridge may still report.
        {false, true, true, "Closed", NamedColors::red()},
    };
    for (const auto& row : rows) {
        bridge->reportStatus(row.open, row.receiving, row.multiple);
        view->refreshNow();
        EXPECT_EQ(view->connectionCard()->value(), row.value);
        EXPECT_EQ(view->connectionCard()->color(), row.color) << row.value;
        EXPECT_EQ(view->openCloseButton()->text(), row.open ? "Close" : "Open") << row.value;
    }
}

TEST_F(ContentViewTest, LapCardsTurnGreenWhenTheLapIsComplete) {
    const auto pages = lapPages({});
    for (int received = 1; received <= 3; ++received) {
        bridge->receive(pages[received - 1]);
        view->refreshNow();
        EXPECT_EQ(view->lapDataCard()->value(), QStringLiteral("%1/3").arg(received));
        for (StatusCard* card : {view->latestLapCard(), view->lapDataCard(), view->lapStatusCard()}) {
            EXPECT_EQ(card->color(), received == 3 ? NamedColors::green() : NamedColors::orange())
                << card->title().toStdString() << received;
        }
    }
    EXPECT_EQ(view->latestLapCard()->value(), service->currentLapNumber());
    EXPECT_EQ(view->lapStatusCard()->value(), service->lapStatus());
}

// The keyboard's focus stays on the button through a request, and only the button is disabled meanwhile.
TEST_F(ContentViewTest, OnlyTheOpenButtonIsDisabledWhileARequestIsInFlight) {
    view->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(view));
    view->openCloseButton()->setFocus(Qt::TabFocusReason);
    QTest::keyClick(view->openCloseButton(), Qt::Key_Space);
    EXPECT_EQ(bridge->openRequests.size(), 1u);
    ASSERT_TRUE(waitForOpenCloseEnabled(false));
    for (QWidget* w : std::initializer_list<QWidget*>{
             view->loggingButton(), view->browseButton(), view->selectAllButton(), view->selectNoneButton(),
             view->popoutButton(), view->resetButton(), view->folderField(), view->descriptionField()}) {
        EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
    }
    EXPECT_NE(QApplication::focusWidget(), static_cast<QWidget*>(view->messageLogPane()));
    // A second press while disabled cannot send a second request.
    QTest::mouseClick(view->openCloseButton(), Qt::LeftButton);
    EXPECT_EQ(bridge->openRequests.size(), 1u);

    bridge->reportStatus(true, false, false);
    bridge->finishOpen();
    ASSERT_TRUE(waitForOpenCloseEnabled(true));
    EXPECT_EQ(QApplication::focusWidget(), view->openCloseButton());
    // Closing is gated the same way (the service's connection tests); the end-to-end test closes by the
    // button.
    QTest::mouseClick(view->openCloseButton(), Qt::LeftButton);
    EXPECT_EQ(bridge->closeRequests.size(), 1u);
}

TEST_F(ContentViewTest, StartLoggingAsksOnlyWhenThereAreLapsAndStopNeverAsks) {
    QTest::mouseClick(view->loggingButton(), Qt::LeftButton);
    EXPECT_EQ(view->resetQuestion(), nullptr);
    EXPECT_TRUE(service->isLogging()) << service->logs().join('|').toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return view->loggingButton()->text() == "Stop logging"; }));
    EXPECT_EQ(view->fileField()->text(), "Run_001.csv");
    EXPECT_TRUE(view->fileField()->isReadOnly());
    completeLap({.lap = 1, .cdA = 0.31});
    QTest::mouseClick(view->loggingButton(), Qt::LeftButton);
    EXPECT_EQ(view->resetQuestion(), nullptr);
    EXPECT_FALSE(service->isLogging());

    // No keeps the laps and still starts: they are in the next run.
    QTest::mouseClick(view->loggingButton(), Qt::LeftButton);
    QMessageBox* question = view->resetQuestion();
    ASSERT_NE(question, nullptr);
    EXPECT_FALSE(service->isLogging());
    EXPECT_TRUE(question->windowTitle().isEmpty());
    EXPECT_EQ(question->text(), "Do you want to reset data?\nAny existing laps will be lost forever.");
    EXPECT_EQ(question->buttons().size(), 2); // "No" and "Yes", each answered below
    answer("No");                             // the service's logging tests check what such a run writes
    EXPECT_TRUE(service->isLogging());
    EXPECT_EQ(service->allLapData().size(), 1u);
    QTest::mouseClick(view->loggingButton(), Qt::LeftButton);

    // Yes empties the list.
    QTest::mouseClick(view->loggingButton(), Qt::LeftButton);
    answer("Yes");
    EXPECT_TRUE(service->isLogging());
    EXPECT_TRUE(service->allLapData().empty());
    view->refreshNow();
    EXPECT_EQ(lapModel().rowCount(), 0);
}

TEST_F(ContentViewTest, TicksBySelectionButtonsModelKeyboardAndMouseRecomputeTheSummary) {
    completeLap({.lap = 1, .cdA = 0.300});
    completeLap({.lap = 2, .cdA = 0.320});
    EXPECT_EQ(ticks(), (QStringList{"x", "x", "2", "0.310"}));

    // Unticking the newest lap (top row) leaves the oldest one alone in the averages.
    ASSERT_TRUE(lapModel().setData(lapModel().index(0, 0), Qt::Unchecked, Qt::CheckStateRole));
    EXPECT_EQ(ticks(), (QStringList{"-", "x", "1", "0.300"}));
    QTest::mouseClick(view->selectNoneButton(), Qt::LeftButton);
    EXPECT_EQ(ticks(), (QStringList{"-", "-", "0", "0.000"}));
    QTest::mouseClick(view->selectAllButton(), Qt::LeftButton);
    EXPECT_EQ(ticks(), (QStringList{"x", "x", "2", "0.310"}));

    // By keyboard alone: Tab reaches the table, Down goes from the newest lap to the oldest.
    view->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(view));
    view->folderField()->setFocus(Qt::TabFocusReason);
    for (int i = 0; i < 30 && QApplication::focusWidget() != view->lapTable(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    ASSERT_EQ(QApplication::focusWidget(), view->lapTable());
    QTest::keyClick(view->lapTable(), Qt::Key_Down);
    QTest::keyClick(view->lapTable(), Qt::Key_Space);
    EXPECT_EQ(ticks(), (QStringList{"x", "-", "1", "0.320"}));
    QTest::keyClick(view->lapTable(), Qt::Key_Space);
    EXPECT_EQ(ticks(), (QStringList{"x", "x", "2", "0.310"}));

    // By mouse on the oldest lap's tick box.
    QTableView& table = *view->lapTable();
    QStyleOptionViewItem option;
    option.initFrom(&table);
    option.rect = table.visualRect(lapModel().index(1, 0));
    option.features = QStyleOptionViewItem::HasCheckIndicator;
    const QRect box = table.style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, &table);
    QTest::mouseClick(table.viewport(), Qt::LeftButton, {}, box.center());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !service->allLapData()[1]->use; }));
    EXPECT_EQ(ticks(), (QStringList{"x", "-", "1", "0.320"}));

    // A tick for a lap no longer listed (the table not redrawn yet) changes nothing.
    const QModelIndex stale = lapModel().index(0, 0);
    const LapDataRef lap = service->allLapData()[0];
    service->resetLaps();
    lapModel().setData(stale, Qt::Unchecked, Qt::CheckStateRole);
    EXPECT_TRUE(lap->use);
    EXPECT_EQ(summary().at(0), "0");
}

TEST_F(ContentViewTest, AssistiveToolsReadCardsAndFields) {
    bridge->reportStatus(true, true, true);
    view->refreshNow();
    const std::vector<std::pair<QWidget*, QStringList>> expected{
        {view->connectionCard(), {"Connection", "Multiple Garmins"}},
        {view->latestLapCard(), {"Latest Lap", "-"}},
        {view->lapDataCard(), {"Lap Data", "0/3"}},
        {view->lapStatusCard(), {"Lap Status", "Invalid"}},
        {view->folderField(), {"Folder", ""}},
        {view->fileField(), {"File", ""}},
        {view->descriptionField(), {"Description", ""}},
    };
    for (const auto& [widget, nameAndDescription] : expected) {
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(widget);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ((QStringList{a->text(QAccessible::Name), a->text(QAccessible::Description)}),
                  nameAndDescription);
    }
    // The run file's name is read-only text (checked when logging starts), not greyed out.
    EXPECT_TRUE(view->fileField()->isEnabled());
    const auto luminance = [](const QColor& c) {
        const auto linear = [](double v) {
            return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
    };
    const QPalette palette = view->fileField()->palette();
    const double text = luminance(palette.color(QPalette::Active, QPalette::Text));
    const double base = luminance(palette.color(QPalette::Active, QPalette::Base));
    EXPECT_GE((std::max(text, base) + 0.05) / (std::min(text, base) + 0.05), 4.5);
}

TEST(FolderDialogTest, FirstBrowseStartsAtTheNearestExistingFolder) {
    QTemporaryDir root;
    ASSERT_TRUE(QDir(root.path()).mkpath("runs"));
    const QString runs = root.filePath("runs");
    for (const auto& [path, start] : std::vector<std::pair<QString, QString>>{
             {runs, runs}, {runs + "/not/yet", runs}, {root.filePath("missing"), root.path()}}) {
        EXPECT_EQ(FolderDialog::nearestExistingFolder(path), start) << path.toStdString();
    }
}

// Fixed columns, newest lap first (row 1 is lap 1), digits in the current locale and no grouping.
TEST_F(ContentViewTest, LapTableAndSummaryShowTheFigures) {
    EXPECT_EQ(view->summaryRow()->headerTexts(), (QStringList{"Laps", "CdACal", "Cal", "CdARaw", "Time",
                                                              "Dist", "Speed", "Power", "Head", "Chest"}));
    EXPECT_EQ(summary(),
              (QStringList{"0", "0.000", "0.000", "0.000", "0.000", "0.0", "0.0", "0.0", "0.0", "0.0"}));
    EXPECT_EQ(lapModel().rowCount(), 0);

    const auto cell = [&](int row, int column) { return lapModel().index(row, column).data().toString(); };
    for (const auto& [locale, digits] :
         {std::pair{QLocale::c(), QStringList{"0.300", "61.250", "1234.5", "969.8"}},
          {QLocale(QLocale::German, QLocale::Germany), QStringList{"0,300", "61,250", "1234,5", "969,8"}}}) {
        QLocale::setDefault(locale);
        service->resetLaps();
        completeLap({.lap = 1, .cdA = 0.3004, .lapTime = 61.25, .dist = 1234.5});
        completeLap({.lap = 2, .cdA = 0.3101, .lapTime = 59.5, .dist = 705.1});
        view->refreshNow();
        EXPECT_EQ((QStringList{cell(1, 4), cell(1, 5), cell(1, 6), summary().at(5)}), digits);
    }
    // After the figures, the doubtful-lap reasons.
    EXPECT_EQ(headerTexts(lapModel()), (QStringList{"Flag", "Lap", "CdACal", "Cal", "CdARaw", "Time", "Dist",
                                                    "Speed", "Power", "Head", "Chest", "Check"}));
}

TEST_F(ContentViewTest, TheLogoShowsAndGrowingTheWindowGivesTheLapTableTheRoom) {
    const auto* logo = view->findChild<LogoView*>("logo");
    ASSERT_NE(logo, nullptr);
    EXPECT_TRUE(logo->hasImage());
    EXPECT_TRUE(logo->isVisible());
    const QSize logoSize = logo->size();
    const auto logoGap = [&] { return view->width() - logo->mapTo(view, QPoint(logoSize.width(), 0)).x(); };
    const int gap = logoGap();
    // Growing the window gives all the extra height to the lap table.
    const int tableHeight = view->lapTable()->height();
    const int summaryTop = view->summaryRow()->mapTo(view, QPoint()).y();
    view->resize(ContentView::kMinWidth, ContentView::kMinHeight + 200);
    ASSERT_TRUE(QTest::qWaitFor([&] { return view->lapTable()->height() > tableHeight; }));
    EXPECT_EQ(view->lapTable()->height(), tableHeight + 200);
    EXPECT_EQ(view->summaryRow()->mapTo(view, QPoint()).y(), summaryTop);
    // And extra width to the stretching boxes, not the logo, which stays at the right edge.
    view->resize(ContentView::kMinWidth + 300, ContentView::kMinHeight);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return view->width() == ContentView::kMinWidth + 300 && logoGap() == gap; }));
    EXPECT_EQ(logo->size(), logoSize);
}

TEST_F(ContentViewTest, ButtonsAndFieldsReachTheService) {
    QTest::mouseClick(view->popoutButton(), Qt::LeftButton);
    EXPECT_EQ(opened, QStringList{"lap-data-popout"});
    view->folderField()->selectAll();
    QTest::keyClicks(view->folderField(), "/tmp/elsewhere");
    EXPECT_EQ(service->logFolderPath(), "/tmp/elsewhere");
    QTest::keyClicks(view->descriptionField(), "Skinsuit B");
    EXPECT_EQ(service->logDescription(), "Skinsuit B");
    service->setLogDescription("From elsewhere");
    ASSERT_TRUE(QTest::qWaitFor([&] { return view->descriptionField()->text() == "From elsewhere"; }));
    completeLap({.lap = 1});
    QTest::mouseClick(view->resetButton(), Qt::LeftButton);
    EXPECT_TRUE(service->allLapData().empty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return lapModel().rowCount() == 0; }));
}

using LogPaneTest = UiTest;

// Lines logged before the window opens are there, at the top; a new line scrolls its own pane to the end.
TEST_F(LogPaneTest, PanesStayPutWhenShownAndFollowNewLines) {
    const struct {
        int messages, data;
        QString line, shown, first;
        LogPane* (ContentView::*pane)() const;
        LogPane* (ContentView::*other)() const;
        int blocks;
    } rows[] = {
        {120, 120, "12:00:01.000 Scanner opened.", "Scanner opened.", "message 0",
         &ContentView::messageLogPane, &ContentView::dataLogPane, 121},
        // A full pane keeps five hundred lines and still follows.
        {0, 500, "12:00:02.000 RX [99] [99]", "12:00:02.000 RX [99] [99]", "12:00:00.000 RX [1] [00]",
         &ContentView::dataLogPane, &ContentView::messageLogPane, 500},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.line.toStdString());
        windows.clear();
        makeService();
        for (int i = 0; i < row.messages; ++i) {
            bridge->log(QStringLiteral("12:00:00.000 message %1").arg(i));
        }
        for (int i = 0; i < row.data; ++i) {
            bridge->log(QStringLiteral("12:00:00.000 RX [%1] [00]").arg(i));
        }
        ContentView& view = open<ContentView>(QSize(ContentView::kMinWidth, ContentView::kMinHeight),
                                              *service, WindowOpener{});
        LogPane& pane = *(view.*row.pane)();
        for (LogPane* p : {&pane, (view.*row.other)()}) {
            EXPECT_EQ(p->verticalScrollBar()->value(), 0) << p->bottomID().toStdString();
        }
        EXPECT_GT(pane.verticalScrollBar()->maximum(), 0);
        bridge->log(row.line);
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return pane.isScrolledToEnd() && pane.verticalScrollBar()->value() > 0; }));
        // Still there once every pending layout and repaint has run.
        QCoreApplication::processEvents();
        EXPECT_TRUE(pane.isScrolledToEnd());
        EXPECT_EQ((view.*row.other)()->verticalScrollBar()->value(), 0);
        EXPECT_EQ(pane.document()->blockCount(), row.blocks);
        EXPECT_EQ(pane.document()->firstBlock().text(), row.first);
        EXPECT_EQ(pane.document()->lastBlock().text(), row.shown);
        if (row.pane == &ContentView::dataLogPane) {
            EXPECT_EQ(pane.document()->toPlainText().split('\n'), service->dataLogs());
        }
    }
}

TEST_F(LogPaneTest, AMultiLineMessageStaysOneEntry) {
    ContentView& view = open<ContentView>(QSize(), *service, WindowOpener{});
    bridge->log("first");
    service->connect();
    bridge->finishOpen(ScannerError{"x", 1, "no stick"});
    bridge->log("last");
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.messageLogPane()->lines().size() == 3; }));
    EXPECT_EQ(view.messageLogPane()->document()->blockCount(), 3);
    EXPECT_EQ(view.messageLogPane()->document()->lastBlock().text(), "last");
}

} // namespace
} // namespace draftwell::test
