#include "tests/ui/ui_test.h"
#include "ui/lap_check_settings.h"
#include "ui/stepper.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QRadioButton>
#include <QSignalSpy>
#include <QToolButton>

namespace draftwell::test {
namespace {

class SettingsWindowTest : public UiTest {
  protected:
    void SetUp() override {
        UiTest::SetUp();
        window = &open<SettingsWindow>(QSize(), *service);
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    }
    void type(const QString& text) {
        window->lapCountField()->setFocus();
        window->lapCountField()->selectAll();
        QTest::keyClicks(window->lapCountField(), text);
    }

    SettingsWindow* window = nullptr;
};

// Its texts and starting values; the window cannot be resized.
TEST_F(SettingsWindowTest, LooksLikeTheSettingsWindow) {
    EXPECT_EQ(
        (QStringList{window->windowTitle(), window->lapCountField()->text(), window->autoCalBox()->text(),
                     window->commaButton()->text(), window->semicolonButton()->text()}),
        (QStringList{"Application Settings", "5", "Automatically apply average calibration", "Comma (,)",
                     "Semicolon (;)"}));
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    EXPECT_TRUE(window->autoCalBox()->isChecked() && window->commaButton()->isChecked());
    EXPECT_TRUE(window->closeButton()->isDefault());
}

// What is typed is stored on Return, Enter or leaving the field (also by Close), read in the current locale.
TEST_F(SettingsWindowTest, LapCountFieldStoresWhatIsTyped) {
    const struct {
        const char* typed;
        std::optional<Qt::Key> key; // none: focus moves to Close; Key_Escape: Close is pressed
        const char* locale;
        qint64 stored;
        const char* shown;
    } rows[] = {
        {"150", Qt::Key_Return, "C", 150, "150"}, // only the stepper is limited to 99
        {"-4", std::nullopt, "C", 0, "0"},
        {"lots", Qt::Key_Enter, "C", 0, "0"},
        {"1.200", Qt::Key_Return, "de_DE", 1200, "1.200"},
        {"7", Qt::Key_Escape, "C", 7, "7"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.typed);
        QLocale::setDefault(QLocale(QString::fromLatin1(row.locale)));
        const qint64 before = service->calLapCount();
        type(QString::fromLatin1(row.typed));
        EXPECT_EQ(service->calLapCount(), before) << "nothing is stored while typing";
        if (!row.key) {
            window->closeButton()->setFocus();
        } else if (*row.key == Qt::Key_Escape) {
            QTest::mouseClick(window->closeButton(), Qt::LeftButton);
        } else {
            QTest::keyClick(window->lapCountField(), *row.key);
        }
        ASSERT_TRUE(QTest::qWaitFor([&] { return service->calLapCount() == row.stored; }));
        EXPECT_EQ(window->lapCountField()->text(), row.shown);
        // Return in the field must not close the window; Close only closes it.
        EXPECT_EQ(window->isVisible(), row.key != Qt::Key_Escape);
    }
}

TEST_F(SettingsWindowTest, StepperStaysWithinZeroToNinetyNine) {
    const struct {
        qint64 from;
        QToolButton* (Stepper::*button)() const;
        qint64 to;
        bool upEnabled, downEnabled;
    } rows[] = {
        {5, &Stepper::upButton, 6, true, true},
        {6, &Stepper::downButton, 5, true, true},
        {99, &Stepper::upButton, 99, false, true},
        {0, &Stepper::downButton, 0, true, false},
        {0, &Stepper::upButton, 1, true, true},
        // A count typed above the range steps down into it.
        {150, &Stepper::downButton, 99, false, true},
    };
    for (const auto& row : rows) {
        service->setCalLapCount(row.from);
        QTest::mouseClick((window->lapCountStepper()->*row.button)(), Qt::LeftButton);
        EXPECT_EQ(service->calLapCount(), row.to) << row.from;
        EXPECT_EQ(window->lapCountField()->text(), QString::number(row.to));
        EXPECT_EQ(window->lapCountStepper()->upButton()->isEnabled(), row.upEnabled) << row.from;
        EXPECT_EQ(window->lapCountStepper()->downButton()->isEnabled(), row.downEnabled) << row.from;
    }
}

TEST_F(SettingsWindowTest, TickBoxAndSeparatorWriteTheServiceAndShowItsChanges) {
    for (const bool autoCal : {false, true}) {
        QTest::mouseClick(window->autoCalBox(), Qt::LeftButton);
        EXPECT_EQ(service->autoCal(), autoCal);
    }

    QSignalSpy delimiterChanges(service.get(), &ANTScannerService::csvDelimiterChanged);
    window->semicolonButton()->click();
    EXPECT_EQ(service->csvDelimiter(), ";");
    window->semicolonButton()->click();
    EXPECT_EQ(delimiterChanges.count(), 1) << "choosing the current separator again changes nothing";
    window->commaButton()->click();
    EXPECT_EQ(service->csvDelimiter(), ",");

    service->setCSVDelimiter(CSVDelimiterOption::semicolon);
    service->setAutoCal(false);
    EXPECT_TRUE(window->semicolonButton()->isChecked() && !window->autoCalBox()->isChecked());
    // Tab lands on the stored separator and Space keeps it; the arrow keys still reach the other one.
    window->autoCalBox()->setFocus(Qt::TabFocusReason);
    QTest::keyClick(window, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), window->semicolonButton());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    EXPECT_EQ(service->csvDelimiterOption(), CSVDelimiterOption::semicolon);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
    EXPECT_EQ(service->csvDelimiterOption(), CSVDelimiterOption::comma);
}

TEST_F(SettingsWindowTest, LapCheckLimitsAreShownAndStored) {
    auto* checks = window->findChild<LapCheckSettings*>();
    ASSERT_NE(checks, nullptr);
    const struct {
        QDoubleSpinBox* field;
        double shown;
        double analysis::QualityLimits::*limit;
        const char* key;
    } rows[] = {
        {checks->outlierField(), 3.5, &analysis::QualityLimits::outlierZ, ".outlierZLimit"},
        {checks->paceField(), 3.0, &analysis::QualityLimits::pacePercent, ".paceLimitPercent"},
        {checks->calDriftField(), 5.0, &analysis::QualityLimits::calDriftPercent, ".calDriftLimitPercent"},
        {checks->trendField(), 1.0, &analysis::QualityLimits::trendPercent, ".cdATrendLimitPercent"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(row.field->value(), row.shown) << row.key;
        row.field->setFocus();
        row.field->selectAll();
        QTest::keyClicks(row.field, "7");
        QTest::keyClick(row.field, Qt::Key_Return);
        EXPECT_EQ(service->lapQuality().limits().*row.limit, 7.0) << row.key;
        EXPECT_EQ(stored(row.key).toDouble(), 7.0) << row.key;
    }
}

} // namespace
} // namespace draftwell::test
