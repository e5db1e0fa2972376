#pragma once

#include <QString>
#include <memory>

#include "platform/audio/PendingFile.h"

namespace quillet {

struct AudioTags;

// Carries the descriptive information (title, artist, album, year, track, genre, comment,
// cover picture) of one file into another, across MP3, WAV, WMA and OGG.
class TAudioInformation2 {
  public:
    TAudioInformation2();
    ~TAudioInformation2();
    TAudioInformation2(const TAudioInformation2&) = delete;
    TAudioInformation2& operator=(const TAudioInformation2&) = delete;

    // Accepted for callers that set it; it changes nothing here.
    void SetOptionFlag(bool on);
    void LoadInformation(const QString& path);
    // Writes the loaded information into a file beside its target (from
    // TAudioFile2::ClosePending), then puts it in the target's place. On any failure the pending
    // file is removed, the target left as it was, and AudioError names the target.
    void SaveInformation(PendingFile& output);
    // The same for a file already in place: it is copied beside itself, the copy written and
    // renamed over it, so that a failure leaves it as it was.
    void SaveInformation(const QString& path);

  private:
    std::unique_ptr<AudioTags> tags_;
    bool optionFlag_ = false;
};

}  // namespace quillet
