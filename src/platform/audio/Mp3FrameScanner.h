#pragma once

#include <QString>
#include <cstdint>
#include <vector>

namespace quillet {

// What a walk over an MPEG audio file's frame headers tells, without decoding: where each audio
// frame starts and how many samples reading from the start delivers once the encoder's delay
// and padding (LAME/Xing tag) are removed the way FFmpeg removes them.
struct Mp3FrameIndex {
    std::vector<int64_t> offsets;  // byte offset of every audio frame, the Xing frame excluded
    int64_t dataEnd = 0;           // byte just past the last complete frame
    int samplesPerFrame = 0;
    int sampleRate = 0;
    int channels = 0;       // of the first frame
    int layer = 0;          // 1, 2 or 3
    int64_t startSkip = 0;  // decoded samples dropped at the start
    // Decoded samples dropped inside the stream: the encoder's padding at the end its tag
    // declares, when more frames follow (files joined end to end, a tag that undercounts).
    // cutStart is the position (after the start skip) from which cutLength decoded samples are
    // dropped; cutLength 0 when none.
    int64_t cutStart = 0;
    int64_t cutLength = 0;
    int64_t length = 0;  // samples that remain after start skip, cut and end padding
    // Bytes missing from a last frame that the file's end cuts off; the decoder is given it
    // padded with zeros, which keeps what its bit reservoir and first bytes hold.
    int lastFrameMissing = 0;

    int64_t FrameCount() const { return static_cast<int64_t>(offsets.size()); }
    int64_t FrameBytes(int64_t i) const;
    // Index of the frame starting at byte offset pos, or -1.
    int64_t FrameAt(int64_t pos) const;
};

class Mp3FrameScanner {
  public:
    // Reads the file's frame headers. An empty index (no frames) when none are found; throws
    // AudioError when the file cannot be read.
    static Mp3FrameIndex Scan(const QString& path);
};

}  // namespace quillet
