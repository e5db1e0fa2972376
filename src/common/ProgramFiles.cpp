#include "common/ProgramFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "QuilletBuildConfig.h"

namespace quillet {

QStringList ProgramFileFolders(const QString& programDir) {
    QStringList folders{
        QDir::cleanPath(programDir),
        QDir::cleanPath(QDir(programDir).filePath(QStringLiteral(QUILLET_INSTALLED_DATA_DIR)))};
    for (const QString& data :
         QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
        folders << QDir::cleanPath(data + QStringLiteral("/quillet"));
    folders.removeDuplicates();
    return folders;
}

QString FindProgramFile(const QString& relativePath, const QString& programDir) {
    for (const QString& folder : ProgramFileFolders(programDir)) {
        const QString path = QDir(folder).filePath(relativePath);
        if (QFileInfo(path).isFile()) return path;
    }
    return QDir(QDir::cleanPath(programDir)).filePath(relativePath);
}

QString SkinLibraryPath() {
    return FindProgramFile(QStringLiteral("quilletskin.dll"),
                           QCoreApplication::applicationDirPath());
}

QString HelpFilePath() {
    return FindProgramFile(QStringLiteral("help/quillet.html"),
                           QCoreApplication::applicationDirPath());
}

}  // namespace quillet
