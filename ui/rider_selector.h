#pragma once

#include <QWidget>

#include <vector>

#include "app/rider_lanes.h"

class QComboBox;
class QLineEdit;

namespace draftwell {

class ANTScannerService;

// The "Rider" selector: every transmitter heard, in order of first hearing,
// by device number and the name the user gave it. Choosing one makes it the
// followed rider at once; the name field names the rider chosen.
class RiderSelector : public QWidget {
    Q_OBJECT
  public:
    explicit RiderSelector(ANTScannerService& service, QWidget* parent = nullptr);

    QComboBox* riderBox() const { return riderBox_; }
    QLineEdit* nameField() const { return nameField_; }

  private:
    void rebuild();

    ANTScannerService& service_;
    std::vector<RiderKey> riders_; // one per item of the box
    QComboBox* riderBox_ = nullptr;
    QLineEdit* nameField_ = nullptr;
};

} // namespace draftwell
