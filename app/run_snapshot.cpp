#include "app/run_snapshot.h"

#include "app/description_text.h"
#include "app/lap_csv_logger.h"

namespace draftwell {

QByteArray RunSnapshot::render() const {
    // Every piece passes through csvLineText: a journal is input, and nothing
    // in it may add a line or invalid UTF-8 to the file.
    QString text;
    text += csvLineText(startLine) + u'\n';
    text += QStringLiteral("Description: ") + csvDescriptionText(descriptionText) + u'\n';
    text += LapCSVLogger::headerRow(delimiter) + u'\n';
    for (const QStringList& fields : rows) {
        text += csvLineText(LapCSVLogger::joinFields(fields, delimiter)) + u'\n';
    }
    return text.toUtf8();
}

} // namespace draftwell
