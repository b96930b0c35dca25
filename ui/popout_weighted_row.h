#pragma once

#include <QWidget>

namespace draftwell {

// Three slots side by side in the proportions 1 : 2 : 2.
class PopoutWeightedRow : public QWidget {
    Q_OBJECT
  public:
    PopoutWeightedRow(QWidget* first, QWidget* second, QWidget* third, double spacing,
                      QWidget* parent = nullptr);

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    QWidget* first_;
    QWidget* second_;
    QWidget* third_;
    double spacing_;
};

} // namespace draftwell
