#include "convert/OutputNames.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace quillet {

QString DefaultMusicFolder() {
    const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    return music.isEmpty() ? QDir::homePath() + QStringLiteral("/Music") : music;
}

QString ReplaceExtension(const QString& caption, const QString& extension) {
    const int dot = caption.lastIndexOf(QLatin1Char('.'));
    return (dot < 0 ? caption : caption.left(dot)) + extension;
}

QString CutOutputDir(const QString& stored) {
    const QString dir = stored.isEmpty() ? DefaultMusicFolder() : stored;
    return dir.endsWith(QLatin1Char('/')) ? dir : dir + QLatin1Char('/');
}

QString JoinOutputPath(const QString& chosenFile, const QString& extension) {
    const QFileInfo info(chosenFile);
    QString folder = info.absolutePath();
    if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
    return folder + ReplaceExtension(info.fileName(), extension);
}

QString JoinStoredFolder(const QString& chosenFile) { return QFileInfo(chosenFile).absolutePath(); }

}  // namespace quillet
