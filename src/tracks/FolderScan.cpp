#include "tracks/FolderScan.h"

#include <vector>

#include "common/FileNames.h"

namespace quillet {

namespace {

struct Entry {
    QString name;
    bool isDir;
};

// One level's entries, read in full before any is handled: the directory is closed before the
// scan goes deeper (no descriptor per level of a deep tree), and a file that vanishes while
// earlier entries are handled is still seen and reported. Read with readdir: Qt does not list
// names that are not UTF-8.
std::vector<Entry> ReadLevel(const QString& folder) {
    std::vector<Entry> entries;
    for (const QString& name : FolderEntries(folder))
        entries.push_back({name, StatFile(folder + name).IsFolder()});
    return entries;
}

}  // namespace

bool FolderScan::HasAudioExtension(const QString& name) {
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0) return false;
    const QString ext = name.mid(dot).toLower();
    return ext == QLatin1String(".wav") || ext == QLatin1String(".mp3") ||
           ext == QLatin1String(".ogg") || ext == QLatin1String(".wma");
}

QString FolderScan::WithTrailingSlash(const QString& folder) {
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

bool FolderScan::Run(const QString& folder, bool includeSubFolders) {
    visited_.clear();
    ended_ = false;
    visited_.insert(CanonicalFilePath(folder));
    ScanLevel(folder, includeSubFolders, 0);
    return !ended_;
}

void FolderScan::ScanLevel(const QString& folder, bool includeSubFolders, int depth) {
    if (!listener_.EnterFolder(folder, depth)) return;
    const QString f = WithTrailingSlash(folder);
    for (const Entry& e : ReadLevel(f)) {
        if (ended_) break;
        const bool dotName = e.name.startsWith(QLatin1Char('.'));
        if (e.isDir && !dotName && includeSubFolders) {
            const QString sub = f + e.name;
            const QString canonical = CanonicalFilePath(sub);
            // A link back up the tree, or a second way into a folder already scanned.
            if (canonical.isEmpty() || visited_.contains(canonical)) continue;
            visited_.insert(canonical);
            ScanLevel(sub, true, depth + 1);
            continue;
        }
        if (dotName || !HasAudioExtension(e.name)) continue;
        if (!listener_.AcceptedEntry(f + e.name, e.name)) ended_ = true;
    }
    listener_.LeaveFolder(folder, depth);
}

}  // namespace quillet
