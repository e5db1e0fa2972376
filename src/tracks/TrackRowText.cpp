#include "tracks/TrackRowText.h"

#include "common/FormatTime.h"

namespace quillet {

QString SegmentText(int startSec, int endSec) {
    return QStringLiteral("  ") + FormatTime(startSec) + QStringLiteral(" - ") + FormatTime(endSec);
}

QString CleanCaption(const QString& text) {
    QString cleaned = text;
    for (const QChar c : QStringLiteral("*?|:\"/\\<>")) cleaned.remove(c);
    return cleaned;
}

QString RenamedCaption(const QString& oldCaption, const QString& typed) {
    const QString cleaned = CleanCaption(typed);
    return cleaned.isEmpty() ? oldCaption : cleaned;
}

}  // namespace quillet
