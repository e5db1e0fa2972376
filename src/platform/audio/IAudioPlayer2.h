#pragma once

#include <cstdint>

#include "platform/audio/SampleArray.h"

namespace quillet {

// What playback needs of a sound output. The player answers with four events (a request for an
// array, an array played, the end of play, and a timer with the positions played), which its
// owner routes back; they never arrive from inside one of these calls.
class IAudioPlayer2 {
  public:
    virtual ~IAudioPlayer2() = default;

    // The format of the arrays that will be queued.
    virtual void SetFormat(int sampleRate, int channels) = 0;
    // Starts output before any data is queued.
    virtual void Play() = 0;
    virtual void QueueSamples(const SampleArray& samples) = 0;
    // After Play, before the first array: the sound of this run ends after the given number of
    // frames, as if the source ended there; what is queued beyond them is not heard.
    virtual void EndAfter(int64_t frames) = 0;
    // Stops at once and drops what is queued; used for both pause and stop.
    virtual void Stop() = 0;
};

}  // namespace quillet
