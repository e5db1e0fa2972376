#pragma once

#include <QFile>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/audio/Mp3FrameHeader.h"
#include "platform/audio/Mp3FrameScanner.h"
#include "platform/audio/Mp3ReservoirLayout.h"

namespace quillet {

// The frames of an MP3 file as the engine counts them (Mp3FrameScanner's index: frame i decodes
// the samples from i * samplesPerFrame - startSkip on), read on demand.
class Mp3SourceFrames {
  public:
    // Throws AudioError when the file cannot be read.
    explicit Mp3SourceFrames(const QString& path);

    const QString& Path() const { return path_; }
    const Mp3FrameIndex& Index() const { return index_; }
    int64_t Count() const { return index_.FrameCount(); }
    // The first audio frame's header; none when the file holds no frames.
    const std::optional<Mp3FrameHeader>& First() const { return first_; }

    struct Frame {
        Mp3FrameHeader header;
        std::vector<uint8_t> bytes;
    };
    // Frame i, when a whole frame of the first frame's stream stands there and the next frame (or
    // the end of the audio) follows right after it, with nothing between.
    std::optional<Frame> At(int64_t i);
    // The main data frame i takes from the frames before it (main_data_begin bytes); none when
    // those frames do not hold it.
    std::optional<std::vector<uint8_t>> Reservoir(int64_t i);
    // Frame i taken apart, its main data gathered from the reservoir.
    std::optional<Mp3FrameDraft> Draft(int64_t i);
    // The Xing/Info frame just before the first audio frame, when there is one.
    std::optional<std::vector<uint8_t>> InfoFrame();

    // Reads size bytes at offset; throws AudioError when the file is shorter or unreadable.
    void Read(int64_t offset, int64_t size, uint8_t* out);

  private:
    QString path_;
    QFile file_;
    Mp3FrameIndex index_;
    std::optional<Mp3FrameHeader> first_;
};

}  // namespace quillet
