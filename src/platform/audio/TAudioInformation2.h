#pragma once

#include <QString>
#include <memory>

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
    void SaveInformation(const QString& path);

private:
    std::unique_ptr<AudioTags> tags_;
    bool optionFlag_ = false;
};

}  // namespace quillet
