#include "platform/audio/DecodeTimeline.h"

#include <algorithm>
#include <cstring>

namespace quillet {

void DecodeTimeline::Reset(int64_t readPos, int64_t nextPos, bool anchored, bool checkLanding) {
    chunkFrames_ = 0;
    chunkPos_ = 0;
    readPos_ = readPos;
    nextPos_ = nextPos;
    anchored_ = anchored;
    checkLanding_ = checkLanding;
    inputEnded_ = false;
    exhausted_ = false;
}

void DecodeTimeline::TookDirect(int64_t pos, int64_t made) {
    anchored_ = true;
    checkLanding_ = false;
    chunkFrames_ = 0;
    chunkPos_ = pos;
    readPos_ = pos + made;
    nextPos_ = readPos_;
}

float* DecodeTimeline::Hold(int64_t pos, int64_t frames) {
    anchored_ = true;
    chunk_.resize(static_cast<size_t>(frames * channels_));
    chunkPos_ = pos;
    chunkFrames_ = 0;
    return chunk_.data();
}

void DecodeTimeline::Held(int64_t made) {
    chunkFrames_ = made;
    nextPos_ = chunkPos_ + made;
}

DecodeTimeline::Next DecodeTimeline::Plan(int64_t wanted) const {
    if (exhausted_) return {Step::End, wanted};
    if (chunkFrames_ > 0 && chunkPos_ > readPos_) {
        if (checkLanding_) return {Step::Restart, 0};
        return {Step::Gap, std::min(chunkPos_ - readPos_, wanted)};
    }
    const int64_t chunkEnd = chunkPos_ + chunkFrames_;
    if (chunkFrames_ > 0 && readPos_ < chunkEnd)
        return {Step::Copy, std::min(chunkEnd - readPos_, wanted)};
    return {Step::Decode, 0};
}

void DecodeTimeline::CopyOut(float* out, int64_t n) {
    checkLanding_ = false;
    std::memcpy(out, chunk_.data() + (readPos_ - chunkPos_) * channels_,
                static_cast<size_t>(n * channels_) * sizeof(float));
    readPos_ += n;
}

}  // namespace quillet
