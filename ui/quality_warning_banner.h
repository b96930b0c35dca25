#pragma once

#include <QLabel>
#include <QStringList>

namespace draftwell {

// The run's drift warnings, one per line, on an orange strip; hidden while
// there is none so the window keeps its usual layout.
class QualityWarningBanner : public QLabel {
    Q_OBJECT
  public:
    QualityWarningBanner(int pixelSize, QWidget* parent = nullptr);

    void setWarnings(const QStringList& warnings);
};

} // namespace draftwell
