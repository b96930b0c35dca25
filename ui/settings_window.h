#pragma once

#include <QDialog>

class QButtonGroup;
class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace draftwell {

class ANTScannerService;
class Stepper;

// "Application Settings": calibration lap count, automatic calibration and
// the CSV separator, each written to the service as soon as it is changed.
class SettingsWindow : public QDialog {
    Q_OBJECT
  public:
    explicit SettingsWindow(ANTScannerService& service, QWidget* parent = nullptr);
    ~SettingsWindow() override;

    static constexpr int kMinLapCount = 0;
    static constexpr int kMaxLapCount = 99;
    static constexpr int kWidth = 430;

    QLineEdit* lapCountField() const { return lapCountField_; }
    Stepper* lapCountStepper() const { return stepper_; }
    QCheckBox* autoCalBox() const { return autoCalBox_; }
    QRadioButton* commaButton() const { return comma_; }
    QRadioButton* semicolonButton() const { return semicolon_; }
    QPushButton* closeButton() const { return closeButton_; }

    // Parses the field in the current locale and hands the number to the
    // service; text that is not a whole number puts the stored value back.
    void commitLapCount();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void refresh();
    void step(int delta);

    ANTScannerService& service_;
    QLineEdit* lapCountField_;
    Stepper* stepper_;
    QCheckBox* autoCalBox_;
    QButtonGroup* separatorGroup_;
    QRadioButton* comma_;
    QRadioButton* semicolon_;
    QPushButton* closeButton_;
};

} // namespace draftwell
