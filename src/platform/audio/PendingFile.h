#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace quillet {

// A file written beside its target and put in the target's place by one rename once it is
// complete. Until then the target is untouched. One owner: a pending file that is discarded, or
// whose owner goes away without committing it, is removed.
//
// Its name is ".<target name>.quillet-<pid>-<random>.part" in the target's folder. A process
// killed while writing leaves its file behind; the next pending file for the same target removes
// those whose process no longer runs.
class PendingFile {
  public:
    PendingFile() = default;
    ~PendingFile();
    PendingFile(PendingFile&& other) noexcept;
    PendingFile& operator=(PendingFile&& other) noexcept;
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    // An empty file beside target. Throws AudioError naming target.
    static PendingFile Create(const QString& target);
    // A copy of the existing file target, beside it. Throws AudioError naming target.
    static PendingFile CopyOf(const QString& target);

    bool IsOpen() const { return fd_ >= 0; }
    int Handle() const { return fd_; }
    // The path as the caller named it, for messages and the kind of file.
    const QString& Target() const { return target_; }
    QString Path() const;

    // Syncs the file and renames it over the target. Throws AudioError naming the target; the
    // pending file is removed then and the target left as it was.
    void Commit();
    // Removes the pending file; the target stays as it was.
    void Discard();

  private:
    void Open(const QString& target);

    QString target_;
    QByteArray final_;  // where the rename goes: the target, links resolved
    QByteArray path_;   // the pending file
    int fd_ = -1;
};

}  // namespace quillet
