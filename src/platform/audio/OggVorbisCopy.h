#pragma once

#include <QString>
#include <cstdint>

#include "platform/audio/PendingFile.h"

namespace quillet {

// A stretch of an Ogg Vorbis file copied packet by packet, exact to the sample: the source's
// three headers, then the packets from the one before the packet whose output holds the first
// sample (Vorbis decodes nothing for a stream's first packet; the second completes the overlap
// with it) to the one whose output holds the last. The first audio page holds only those two,
// and its granule position lies below what they decode by the samples before the stretch, so
// decoders drop them; the last page's granule position is the stretch's length, so decoders
// drop what lies after it. A new serial number, sequence numbers from 0 and the checksums make
// it a stream of its own.
class OggVorbisCopy {
  public:
    // Copies [start, end) (positions as the engine counts them) into out. Returns why the stretch
    // cannot be copied exactly, or an empty text once it is copied. Throws AudioError when a file
    // cannot be read or written.
    static QString Copy(const QString& source, int64_t start, int64_t end, PendingFile& out);
};

}  // namespace quillet
