#include "app/description_text.h"

namespace draftwell {

namespace {

bool breaksTheLine(char16_t c) {
    return c < 0x20 || c == 0x7F || c == 0x85 || c == 0x2028 || c == 0x2029;
}

QString oneLine(const QString& text, bool replaceQuotes) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() &&
            QChar::isLowSurrogate(text.at(i + 1).unicode())) {
            out += text.at(i);
            out += text.at(i + 1);
            ++i;
        } else if (QChar::isSurrogate(c)) {
            out += QChar(QChar::ReplacementCharacter);
        } else if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n') {
            out += u' ';
            ++i;
        } else if (c == u'\t') {
            out += u'\t';
        } else if (breaksTheLine(c)) {
            out += u' ';
        } else if (replaceQuotes && c == u'"') {
            out += u'\'';
        } else {
            out += QChar(c);
        }
    }
    return out;
}

} // namespace

QString csvDescriptionText(const QString& description) {
    return oneLine(description, true);
}

QString csvLineText(const QString& text) {
    return oneLine(text, false);
}

} // namespace draftwell
