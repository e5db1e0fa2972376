#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/audio/Mp3InfoFrame.h"
#include "platform/audio/PendingFile.h"

namespace quillet {

class Mp3SourceFrames;

// The frames a copy puts before the source's frame that holds its first sample.
struct Mp3LeadIn {
    std::vector<uint8_t> bytes;
    int frames = 0;
};

// A stretch of an MP3 file copied frame by frame, exact to the sample: the frames from the one
// holding the first sample to the one holding the last, unchanged, after a lead-in that puts the
// decoder in the state the source's own frames leave it in, and an Info frame whose LAME tag
// makes gapless decoders drop exactly what lies outside the stretch.
//
// The lead-in is one or two frames. MPEG-1 needs the frame before the first one decoded whole
// (its granules overlap the first's in the IMDCT and fill the 512-sample synthesis window);
// MPEG-2 and 2.5 frames hold one granule, so two are needed. Their main data may lie in frames
// further back (the bit reservoir): those are not copied, the lead-in frame is laid out again
// with its granules' data and the reservoir of the frame after it in its own slot. mpg123
// decodes only two frames before the first one it plays, and its float synthesis rounds
// differently on every other frame, so the lead-in is as long as keeps that parity with its
// decoding of the source.
class Mp3FrameCopy {
  public:
    // Copies [start, end) (positions as the engine counts them) into out. Returns why the stretch
    // cannot be copied exactly (out then holds nothing useful), or an empty text once it is
    // copied. Throws AudioError when a file cannot be read or written.
    static QString Copy(Mp3SourceFrames& source, int64_t start, int64_t end, PendingFile& out);

    // The lead-in before source frame `first` when the copy's first sample lies `offset`
    // samples into it; none when the frames before it are damaged.
    static std::optional<Mp3LeadIn> LeadIn(Mp3SourceFrames& source, int64_t first, int64_t offset);
};

// What the source's own LAME tag says of its encoding, to be carried into a copy.
std::optional<LameEncoding> SourceEncoding(Mp3SourceFrames& source);

}  // namespace quillet
