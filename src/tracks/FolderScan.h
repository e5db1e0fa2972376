#pragma once

#include <QSet>
#include <QString>

namespace quillet {

// Receives what a folder scan finds, one folder level at a time.
class FolderScanListener {
  public:
    virtual ~FolderScanListener() = default;
    // Before a level is enumerated (depth 0 is the chosen folder). False: the level does nothing
    // more and LeaveFolder is not called for it.
    virtual bool EnterFolder(const QString& folder, int depth) = 0;
    // An entry whose name carries an accepted extension; path = folder + name, where folder ends
    // with "/". Return false to end the whole scan.
    virtual bool AcceptedEntry(const QString& path, const QString& name) = 0;
    // After the last entry of an entered level, also when the scan was ended.
    virtual void LeaveFolder(const QString& folder, int depth) = 0;
    // The accepted entry that comes next in this level, told before the one in hand (or, for
    // the first of a level, before it) when no sub-folder to enter lies between: a listener
    // may start on it early. The entry still arrives through AcceptedEntry.
    virtual void Upcoming(const QString& path) { (void)path; }
};

// Walks a folder depth first, in the order the file system returns the entries (never sorted).
// Names beginning with "." are skipped; sub-folders are entered only when asked, and a folder
// reached twice (through symbolic links, or a link loop) is entered once.
class FolderScan {
  public:
    explicit FolderScan(FolderScanListener& listener) : listener_(listener) {}

    // False when the listener ended the scan.
    bool Run(const QString& folder, bool includeSubFolders);

    // ".wav", ".mp3", ".ogg" or ".wma" from the last "." on, compared in lower case.
    static bool HasAudioExtension(const QString& name);
    static QString WithTrailingSlash(const QString& folder);

  private:
    void ScanLevel(const QString& folder, bool includeSubFolders, int depth);

    FolderScanListener& listener_;
    QSet<QString> visited_;
    bool ended_ = false;
};

}  // namespace quillet
