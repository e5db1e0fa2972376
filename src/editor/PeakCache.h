#pragma once

#include <QString>
#include <cstdint>
#include <optional>

#include "editor/WaveformPeaks.h"

namespace quillet {

// What identifies the contents of an audio file for the cache: its absolute path, size and
// modification time (to the nanosecond where the file system keeps it).
struct SourceStamp {
    QString path;
    int64_t size = 0;
    int64_t modifiedNs = 0;

    // Nothing when there is no regular file at the path.
    static std::optional<SourceStamp> Of(const QString& path);

    friend bool operator==(const SourceStamp& a, const SourceStamp& b) {
        return a.path == b.path && a.size == b.size && a.modifiedNs == b.modifiedNs;
    }
    friend bool operator!=(const SourceStamp& a, const SourceStamp& b) { return !(a == b); }
};

// Peaks kept on disk between runs, one file per audio file in the cache folder. Each starts
// with a magic and a version and ends with a checksum; one that is damaged, of another version
// or of another state of the audio file is not used (and is replaced by the next Store). The
// folder may be deleted at any time. Safe to use from any thread: it holds no state but the
// folder.
class PeakCache {
  public:
    static constexpr uint32_t kVersion = 1;

    explicit PeakCache(QString dir = DefaultDir());

    // The XDG cache folder's quillet/peaks.
    static QString DefaultDir();
    const QString& Dir() const { return dir_; }
    QString FileFor(const QString& audioPath) const;

    // The complete peaks stored for exactly this state of the file, or nothing.
    std::optional<WaveformPeaks> Load(const SourceStamp& stamp) const;
    // Writes complete peaks beside the cache file and renames them over it. False when that
    // cannot be done (no rights, a full disk); the cache is then simply not there.
    bool Store(const SourceStamp& stamp, const WaveformPeaks& peaks) const;

  private:
    QString dir_;
};

}  // namespace quillet
