#pragma once

#include <QString>
#include <QStringList>

namespace quillet {

// The program's own files (the skin library, the manual) sit beside its executable in the build
// tree and in a copied folder; an install keeps them in its share folder instead.

// The folders looked in, in order, for a program whose executable is in programDir: that folder,
// the install's share folder relative to it, then "quillet" in each of the system's data folders.
QStringList ProgramFileFolders(const QString& programDir);

// The first of those folders that holds relativePath, joined with it. When none does, the path
// beside the executable, so that a message about the missing file names where it belongs.
QString FindProgramFile(const QString& relativePath, const QString& programDir);

// The skin library "quilletskin.dll" and the manual "help/quillet.html" of the running program.
QString SkinLibraryPath();
QString HelpFilePath();

}  // namespace quillet
