#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

namespace draftwell {

// One coloured status tile: a small title above a large value on a coloured,
// rounded background. Type sizes follow the tile's size.
class StatusCard : public QWidget {
    Q_OBJECT
  public:
    StatusCard(const QString& title, double minWidth, QWidget* parent = nullptr);

    QString title() const { return title_; }
    QString value() const { return value_; }
    QColor color() const { return color_; }
    double minWidth() const { return minWidth_; }

    void setValue(const QString& value);
    void setColor(const QColor& color);

    // Pixel sizes of the two texts for a card of width w and height h.
    static double titleFontSize(double w, double h);
    static double valueFontSize(double w, double h);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QString title_;
    QString value_;
    QColor color_;
    double minWidth_;
};

} // namespace draftwell
