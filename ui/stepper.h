#pragma once

#include <QWidget>

class QToolButton;

namespace draftwell {

// A bare up/down stepper: two small arrow buttons with no number of their
// own. It asks for a step; the owner decides what the new value is.
class Stepper : public QWidget {
    Q_OBJECT
  public:
    explicit Stepper(QWidget* parent = nullptr);

    QToolButton* upButton() const { return up_; }
    QToolButton* downButton() const { return down_; }

  Q_SIGNALS:
    void stepped(int delta);

  private:
    QToolButton* up_;
    QToolButton* down_;
};

} // namespace draftwell
