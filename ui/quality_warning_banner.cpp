#include "ui/quality_warning_banner.h"

#include "ui/named_colors.h"

namespace draftwell {

QualityWarningBanner::QualityWarningBanner(int pixelSize, QWidget* parent) : QLabel(parent) {
    setObjectName(QStringLiteral("qualityWarnings"));
    setWordWrap(true);
    setTextFormat(Qt::PlainText);
    setAutoFillBackground(true);
    QPalette colors = palette();
    colors.setColor(QPalette::Window, NamedColors::orange());
    colors.setColor(QPalette::WindowText, Qt::black);
    setPalette(colors);
    QFont f = font();
    f.setPixelSize(pixelSize);
    f.setWeight(QFont::DemiBold);
    setFont(f);
    setMargin(pixelSize / 2);
    setVisible(false);
}

void QualityWarningBanner::setWarnings(const QStringList& warnings) {
    const QString text = warnings.join(u'\n');
    if (text != this->text()) {
        setText(text);
    }
    setVisible(!warnings.isEmpty());
}

} // namespace draftwell
