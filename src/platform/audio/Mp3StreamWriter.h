#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/audio/Mp3FrameHeader.h"
#include "platform/audio/Mp3InfoFrame.h"
#include "platform/audio/PendingFileWriter.h"

namespace quillet {

class Mp3SourceFrames;

// Writes an MP3 stream into a pending file: an Info frame first (written again by Finish, once
// the frame count, the delays and the music CRC are known), then whole frames.
class Mp3StreamWriter {
  public:
    // `like`: a frame of the stream, for the Info frame's kind and bitrate.
    Mp3StreamWriter(PendingFile& file, const Mp3FrameHeader& like);

    // Frames one after another, as laid out or read.
    void AppendFrames(const std::vector<uint8_t>& frames);
    // The source's frames [first, last] as they are. Returns why not when one of them is not a
    // whole frame of the stream followed right away by the next (the stream is then of no use);
    // an empty text once all are appended.
    QString AppendSource(Mp3SourceFrames& source, int64_t first, int64_t last);

    int64_t Frames() const { return static_cast<int64_t>(fields_.frameOffsets.size()); }
    void Finish(int encoderDelay, int padding, const std::optional<LameEncoding>& encoding);

  private:
    void Note(const Mp3FrameHeader& h, int64_t offset);

    PendingFileWriter out_;
    Mp3FrameHeader like_;
    Mp3InfoFields fields_;
    int64_t infoBytes_ = 0;
    uint16_t crc_ = 0;
};

}  // namespace quillet
