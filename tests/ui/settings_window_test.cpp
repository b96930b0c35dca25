#include "app/ant_scanner_service.h"
#include "tests/ui/ui_test_support.h"
#include "ui/settings_window.h"
#include "ui/stepper.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include <QApplication>

#include <gtest/gtest.h>

namespace draftwell::test {
namespace {

class SettingsWindowTest : public ::testing::Test {
  protected:
    SettingsWindowTest() : window(fixture.service()) {
        window.show();
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
    }

    ANTScannerService& service() { return fixture.service(); }
    void type(const QString& text) {
        QLineEdit* field = window.lapCountField();
        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, text);
    }
    void stepUp() { QTest::mouseClick(window.lapCountStepper()->upButton(), Qt::LeftButton); }
    void stepDown() { QTest::mouseClick(window.lapCountStepper()->downButton(), Qt::LeftButton); }

    ServiceFixture fixture;
    SettingsWindow window;
};

TEST_F(SettingsWindowTest, LooksLikeTheSettingsWindow) {
    EXPECT_EQ(window.windowTitle(), "Application Settings");
    EXPECT_EQ(window.width(), 430);
    EXPECT_EQ(window.minimumWidth(), window.maximumWidth());
    EXPECT_EQ(window.minimumHeight(), window.maximumHeight());
    EXPECT_EQ(window.lapCountField()->text(), "5");
    EXPECT_EQ(window.lapCountField()->width(), 64);
    EXPECT_TRUE(window.lapCountField()->alignment() & Qt::AlignRight);
    EXPECT_EQ(window.autoCalBox()->text(), "Automatically apply average calibration");
    EXPECT_TRUE(window.autoCalBox()->isChecked());
    EXPECT_EQ(window.commaButton()->text(), "Comma (,)");
    EXPECT_EQ(window.semicolonButton()->text(), "Semicolon (;)");
    EXPECT_TRUE(window.commaButton()->isChecked());
    EXPECT_TRUE(window.closeButton()->isDefault());
}

TEST_F(SettingsWindowTest, FieldStoresWhatIsTypedOnReturnOrLeavingTheField) {
    type(QStringLiteral("150"));
    EXPECT_EQ(service().calLapCount(), 5) << "nothing is stored while typing";
    QTest::keyClick(window.lapCountField(), Qt::Key_Return);
    EXPECT_EQ(service().calLapCount(), 150) << "only the stepper is limited to 99";
    EXPECT_EQ(window.lapCountField()->text(), "150");
    EXPECT_TRUE(window.isVisible()) << "Return in the field must not close the window";

    type(QStringLiteral("-4"));
    window.closeButton()->setFocus();
    ASSERT_TRUE(waitUntil([&] { return service().calLapCount() == 0; }));
    EXPECT_EQ(window.lapCountField()->text(), "0");

    type(QStringLiteral("lots"));
    QTest::keyClick(window.lapCountField(), Qt::Key_Enter);
    EXPECT_EQ(service().calLapCount(), 0);
    EXPECT_EQ(window.lapCountField()->text(), "0");
}

TEST_F(SettingsWindowTest, FieldReadsAndShowsNumbersInTheCurrentLocale) {
    const ScopedLocale german(QLocale(QLocale::German, QLocale::Germany));
    type(QStringLiteral("1.200"));
    QTest::keyClick(window.lapCountField(), Qt::Key_Return);
    EXPECT_EQ(service().calLapCount(), 1200);
    EXPECT_EQ(window.lapCountField()->text(), "1.200");
}

TEST_F(SettingsWindowTest, StepperStaysWithinZeroToNinetyNine) {
    stepUp();
    EXPECT_EQ(service().calLapCount(), 6);
    EXPECT_EQ(window.lapCountField()->text(), "6");
    stepDown();
    stepDown();
    EXPECT_EQ(service().calLapCount(), 4);

    service().setCalLapCount(99);
    stepUp();
    EXPECT_EQ(service().calLapCount(), 99);
    EXPECT_FALSE(window.lapCountStepper()->upButton()->isEnabled());

    service().setCalLapCount(0);
    stepDown();
    EXPECT_EQ(service().calLapCount(), 0);
    EXPECT_FALSE(window.lapCountStepper()->downButton()->isEnabled());
    stepUp();
    EXPECT_EQ(service().calLapCount(), 1);

    // A count typed above the range steps down into it.
    service().setCalLapCount(150);
    window.lapCountStepper()->downButton()->click();
    EXPECT_EQ(service().calLapCount(), 99);
}

TEST_F(SettingsWindowTest, TickBoxAndSeparatorWriteTheService) {
    QTest::mouseClick(window.autoCalBox(), Qt::LeftButton);
    EXPECT_FALSE(service().autoCal());
    QTest::mouseClick(window.autoCalBox(), Qt::LeftButton);
    EXPECT_TRUE(service().autoCal());

    QSignalSpy delimiterChanges(&service(), &ANTScannerService::csvDelimiterChanged);
    window.semicolonButton()->click();
    EXPECT_EQ(service().csvDelimiter(), ";");
    EXPECT_EQ(delimiterChanges.count(), 1);
    window.semicolonButton()->click();
    EXPECT_EQ(delimiterChanges.count(), 1) << "choosing the current separator again changes nothing";
    EXPECT_TRUE(window.semicolonButton()->isChecked());
    window.commaButton()->click();
    EXPECT_EQ(service().csvDelimiter(), ",");

    // The window shows changes made elsewhere.
    service().setCSVDelimiter(CSVDelimiterOption::semicolon);
    service().setAutoCal(false);
    EXPECT_TRUE(window.semicolonButton()->isChecked());
    EXPECT_FALSE(window.autoCalBox()->isChecked());
}

TEST_F(SettingsWindowTest, TabLandsOnTheStoredSeparatorAndSpaceKeepsIt) {
    service().setCSVDelimiter(CSVDelimiterOption::semicolon);
    window.autoCalBox()->setFocus(Qt::TabFocusReason);
    QTest::keyClick(&window, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), window.semicolonButton());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    EXPECT_EQ(service().csvDelimiterOption(), CSVDelimiterOption::semicolon);
    // The arrow keys still reach the other one.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
    EXPECT_EQ(service().csvDelimiterOption(), CSVDelimiterOption::comma);
}

TEST_F(SettingsWindowTest, CloseOnlyClosesTheWindow) {
    type(QStringLiteral("7"));
    QTest::mouseClick(window.closeButton(), Qt::LeftButton);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(service().calLapCount(), 7) << "leaving the field commits it";
}

} // namespace
} // namespace draftwell::test
