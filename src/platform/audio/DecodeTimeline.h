#pragma once

#include <cstdint>
#include <vector>

namespace quillet {

// Where reading stands on a decoded stream, in frames: the position the next Read starts at,
// the decoded frame at hand (chunk), where the next decoded sample belongs, and whether the
// stream has ended. The decoder places each frame it decodes; Plan says what reading does next.
class DecodeTimeline {
  public:
    enum class Step {
        Copy,     // copy `frames` from the chunk at hand
        Gap,      // damaged frames were dropped: `frames` of silence keep the timeline
        End,      // the stream ended before the wanted frames: `frames` are missing
        Decode,   // decode the next frame
        Restart,  // a seek landed past the target: decode from the start instead
    };
    struct Next {
        Step step;
        int64_t frames;
    };

    explicit DecodeTimeline(int channels = 1) : channels_(channels) {}
    void SetChannels(int channels) { channels_ = channels; }

    // After opening or a seek: reading starts at readPos; decoded samples start at nextPos, or,
    // when not anchored, where the first decoded frame's stamp says. With checkLanding, a first
    // frame that lies past readPos means the seek overshot.
    void Reset(int64_t readPos, int64_t nextPos, bool anchored, bool checkLanding);
    // Reading goes on at target; what is decoded before it is dropped.
    void SkipTo(int64_t target) { readPos_ = target; }

    int64_t ReadPos() const { return readPos_; }
    // Where a decoded frame without a usable stamp belongs.
    int64_t NextPos() const { return nextPos_; }
    bool Anchored() const { return anchored_; }

    // Whether a decoded frame at pos of `frames` frames may go straight to the reader's buffer,
    // which has room for `room` frames.
    bool FitsDirect(int64_t pos, int64_t frames, int64_t room) const {
        return pos == readPos_ && frames <= room;
    }
    // A frame at pos went straight to the reader: `made` frames were delivered.
    void TookDirect(int64_t pos, int64_t made);
    // Room for a frame at pos of `frames` frames, interleaved; then Held with what was made.
    float* Hold(int64_t pos, int64_t frames);
    void Held(int64_t made);

    // The demuxer has no more packets (the decoder may still hold frames).
    void InputEnded() { inputEnded_ = true; }
    bool IsInputEnded() const { return inputEnded_; }
    // The decoder has no more frames.
    void StreamEnded() { exhausted_ = true; }

    // What reading `wanted` (> 0) more frames does next.
    Next Plan(int64_t wanted) const;
    // Copies n frames of the chunk from ReadPos to out and moves on.
    void CopyOut(float* out, int64_t n);
    // Moves on over n frames of silence.
    void Advance(int64_t n) { readPos_ += n; }

  private:
    int channels_;
    std::vector<float> chunk_;
    int64_t chunkPos_ = 0;
    int64_t chunkFrames_ = 0;
    int64_t readPos_ = 0;
    int64_t nextPos_ = 0;
    bool anchored_ = true;
    bool checkLanding_ = false;
    bool inputEnded_ = false;
    bool exhausted_ = false;
};

}  // namespace quillet
