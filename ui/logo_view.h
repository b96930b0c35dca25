#pragma once

#include <QSvgRenderer>
#include <QWidget>

namespace draftwell {

// The program's logo, scaled to fit the widget with its proportions kept.
class LogoView : public QWidget {
    Q_OBJECT
  public:
    explicit LogoView(Qt::Alignment alignment = Qt::AlignCenter, QWidget* parent = nullptr);

    bool hasImage() const { return renderer_.isValid(); }
    // Where the picture lands inside a box of the given size.
    QRectF imageRect(const QRectF& box) const;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QSvgRenderer renderer_;
    Qt::Alignment alignment_;
};

} // namespace draftwell
