#include "convert/KeptAudioCut.h"

#include "convert/ConversionHost.h"
#include "platform/audio/TAudioInformation2.h"

namespace quillet {

bool CutKeepingAudio(ConversionHost& host, const ConversionRow& row, StreamCoding keeps,
                     const QString& outputPath, QString& why) {
    why.clear();
    if (CodingOf(row.filePath) != keeps) return false;
    StretchCopy copy = CopyStretch(row.filePath, keeps, row.startPos, row.endPos, outputPath);
    if (!copy.refusal.isEmpty()) {
        why = copy.refusal;
        return false;
    }
    host.Information().LoadInformation(row.filePath);
    host.Information().SaveInformation(copy.file);
    return true;
}

QString FinishedStatus(const QString& reencodedBecause) {
    if (reencodedBecause.isEmpty()) return QStringLiteral("finish");
    return QStringLiteral("finish, re-encoded: ") + reencodedBecause;
}

}  // namespace quillet
