#pragma once

#include <QPlainTextEdit>
#include <QStringList>

namespace draftwell {

// A read-only, selectable list of log lines. Each update is applied as the
// lines that fell off the front and the lines added at the end, so a busy
// log costs a few blocks per update rather than a full re-layout. The pane
// follows the newest line whenever lines are added, but stays where it is
// when first filled.
class LogPane : public QPlainTextEdit {
    Q_OBJECT
  public:
    LogPane(const QString& bottomID, QWidget* parent = nullptr);

    void setLines(const QStringList& lines);
    const QStringList& lines() const { return lines_; }
    QString bottomID() const { return bottomID_; }

    // True when the last line is in view.
    bool isScrolledToEnd() const;

  private:
    void replaceAll(const QStringList& lines);
    void appendLines(const QStringList& lines, qsizetype from);
    void removeFirstLines(qsizetype count);
    void scrollToEnd();

    QString bottomID_;
    QStringList lines_;
    bool filled_ = false;
    // Keeps the last line in view while late layout grows the document,
    // until the user moves the scroll bar.
    bool following_ = false;
};

} // namespace draftwell
