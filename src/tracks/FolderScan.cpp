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
    const std::vector<Entry> entries = ReadLevel(f);
    // Whether the scan goes into e, and whether it takes e as a file.
    const auto enters = [includeSubFolders](const Entry& e) {
        return e.isDir && includeSubFolders && !e.name.startsWith(QLatin1Char('.'));
    };
    const auto accepts = [&enters](const Entry& e) {
        return !enters(e) && !e.name.startsWith(QLatin1Char('.')) && HasAudioExtension(e.name);
    };
    // The next entry taken as a file from index i on, unless a folder to enter comes first.
    const auto nextFile = [&](size_t i) -> const Entry* {
        for (; i < entries.size(); ++i) {
            if (enters(entries[i])) return nullptr;
            if (accepts(entries[i])) return &entries[i];
        }
        return nullptr;
    };
    if (const Entry* first = nextFile(0)) listener_.Upcoming(f + first->name);
    for (size_t i = 0; i < entries.size(); ++i) {
        const Entry& e = entries[i];
        if (ended_) break;
        const bool dotName = e.name.startsWith(QLatin1Char('.'));
        if (e.isDir && !dotName && includeSubFolders) {
            const QString sub = f + e.name;
            const QString canonical = CanonicalFilePath(sub);
            // A link back up the tree, or a second way into a folder already scanned.
            if (!canonical.isEmpty() && !visited_.contains(canonical)) {
                visited_.insert(canonical);
                ScanLevel(sub, true, depth + 1);
            }
            if (const Entry* next = nextFile(i + 1)) listener_.Upcoming(f + next->name);
            continue;
        }
        if (dotName || !HasAudioExtension(e.name)) continue;
        if (const Entry* next = nextFile(i + 1)) listener_.Upcoming(f + next->name);
        if (!listener_.AcceptedEntry(f + e.name, e.name)) ended_ = true;
    }
    listener_.LeaveFolder(folder, depth);
}

}  // namespace quillet
