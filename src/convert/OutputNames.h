#pragma once

#include <QString>

namespace quillet {

// The user's music folder: where Cut and Join write when no folder is stored.
QString DefaultMusicFolder();

// The caption with the part from its last "." replaced by the extension (appended when the
// caption has no "."): song.wma -> song.mp3, a.b.c -> a.b.mp3, song -> song.mp3.
QString ReplaceExtension(const QString& caption, const QString& extension);

// The stored Cut folder ending in "/"; an empty stored value means the default folder.
QString CutOutputDir(const QString& stored);

// Join's output: the chosen file's folder, its name with the extension of the chosen type.
QString JoinOutputPath(const QString& chosenFile, const QString& extension);

// The folder of the chosen file as Join stores it: no trailing "/" except for the root.
QString JoinStoredFolder(const QString& chosenFile);

}  // namespace quillet
