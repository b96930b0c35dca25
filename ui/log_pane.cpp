#include "ui/log_pane.h"

#include <QFontDatabase>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

namespace draftwell {

namespace {

// A log line may hold a line break of its own; kept as a soft break it stays
// one block, so blocks and lines correspond one to one.
QString blockText(QString line) {
    line.replace(QLatin1Char('\n'), QChar(QChar::LineSeparator));
    return line;
}

// Number of leading lines of `before` that were dropped to give `after`,
// assuming `after` is `before` minus some front lines plus some new lines at
// the end; -1 when it is not.
qsizetype droppedFrontLines(const QStringList& before, const QStringList& after) {
    for (qsizetype dropped = 0; dropped <= before.size(); ++dropped) {
        const qsizetype kept = before.size() - dropped;
        if (kept > after.size()) {
            continue;
        }
        bool same = true;
        for (qsizetype i = 0; i < kept && same; ++i) {
            same = before.at(dropped + i) == after.at(i);
        }
        if (same) {
            return dropped;
        }
    }
    return -1;
}

} // namespace

LogPane::LogPane(const QString& bottomID, QWidget* parent) : QPlainTextEdit(parent), bottomID_(bottomID) {
    setObjectName(bottomID);
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setUndoRedoEnabled(false);
    setFrameShape(QFrame::NoFrame);
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPixelSize(11);
    setFont(mono);
    document()->setDocumentMargin(8);
    setStyleSheet(
        QStringLiteral("QPlainTextEdit { background: rgba(116, 116, 128, 0.12); border-radius: 8px; }"));
}

void LogPane::setLines(const QStringList& lines) {
    const bool firstFill = !filled_;
    filled_ = true;
    const qsizetype dropped = droppedFrontLines(lines_, lines);
    const qsizetype kept = lines_.size() - dropped;
    const bool added = dropped < 0 ? lines.size() != lines_.size() || lines != lines_ : lines.size() > kept;
    if (dropped < 0 || kept == 0) {
        replaceAll(lines);
    } else {
        removeFirstLines(dropped);
        appendLines(lines, kept);
    }
    lines_ = lines;
    if (added && !firstFill) {
        scrollToEnd();
    }
}

bool LogPane::isScrolledToEnd() const {
    const QScrollBar* bar = verticalScrollBar();
    return bar->value() == bar->maximum();
}

void LogPane::replaceAll(const QStringList& lines) {
    QStringList blocks;
    blocks.reserve(lines.size());
    for (const QString& line : lines) {
        blocks.append(blockText(line));
    }
    setPlainText(blocks.join(QLatin1Char('\n')));
}

void LogPane::appendLines(const QStringList& lines, qsizetype from) {
    if (from >= lines.size()) {
        return;
    }
    QTextCursor cursor(document());
    cursor.beginEditBlock();
    cursor.movePosition(QTextCursor::End);
    for (qsizetype i = from; i < lines.size(); ++i) {
        cursor.insertBlock();
        cursor.insertText(blockText(lines.at(i)));
    }
    cursor.endEditBlock();
}

void LogPane::removeFirstLines(qsizetype count) {
    if (count <= 0) {
        return;
    }
    QTextCursor cursor(document());
    cursor.beginEditBlock();
    cursor.movePosition(QTextCursor::Start);
    cursor.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor, static_cast<int>(count));
    cursor.removeSelectedText();
    cursor.endEditBlock();
}

void LogPane::scrollToEnd() {
    following_ = true;
    QScrollBar* bar = verticalScrollBar();
    bar->setValue(bar->maximum());
}

} // namespace draftwell
