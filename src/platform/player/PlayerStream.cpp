#include "platform/player/PlayerStream.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace quillet {

PlayerStream::PlayerStream() {
    // Unbuffered: QIODevice's own read-ahead would take blocks out of the queue long before the
    // device asks for them and spoil the counts.
    open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

void PlayerStream::Reset(int bytesPerFrame, int channels) {
    std::deque<Block> dropped;
    const std::lock_guard<std::mutex> lock(mutex_);
    dropped.swap(blocks_);
    peaks_.clear();
    queuedBytes_ = 0;
    framesAppended_ = 0;
    endAfter_ = -1;
    framesHanded_ = 0;
    blocksHanded_ = 0;
    bytesPerFrame_ = std::max(1, bytesPerFrame);
    channels_ = std::max(1, channels);
    endOfSource_ = false;
    paddingStarted_ = false;
    starved_ = false;
}

bool PlayerStream::Append(const uint8_t* data, size_t bytes) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (bytes == 0) {
        endOfSource_ = true;
    } else if (!paddingStarted_) {
        // Once silence follows the end, late audio could only play after it; it is dropped.
        const bool limited = endAfter_ >= 0;
        size_t whole = bytes / bytesPerFrame_ * bytesPerFrame_;
        if (limited)
            whole = std::min(
                whole, static_cast<size_t>(std::max<int64_t>(endAfter_ - framesAppended_, 0)) *
                           bytesPerFrame_);
        if (whole > 0) {
            blocks_.push_back(Block{std::vector<uint8_t>(data, data + whole), 0});
            queuedBytes_ += static_cast<int64_t>(whole);
            framesAppended_ += static_cast<int64_t>(whole) / bytesPerFrame_;
        }
        // Audio beyond the end counts as the end.
        endOfSource_ = limited && framesAppended_ >= endAfter_;
        if (whole == 0 && !endOfSource_) return false;
    }
    return std::exchange(starved_, false);
}

void PlayerStream::EndAfter(int64_t frames) {
    const std::lock_guard<std::mutex> lock(mutex_);
    endAfter_ = std::max<int64_t>(frames, 0);
    if (framesAppended_ >= endAfter_) endOfSource_ = true;
}

int64_t PlayerStream::FramesHanded() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return framesHanded_;
}

int64_t PlayerStream::BlocksHanded() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return blocksHanded_;
}

bool PlayerStream::EndOfSource() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return endOfSource_;
}

int64_t PlayerStream::FramesQueued() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return queuedBytes_ / bytesPerFrame_;
}

bool PlayerStream::Drained() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return endOfSource_ && blocks_.empty();
}

bool PlayerStream::Starved() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return starved_;
}

qint64 PlayerStream::bytesAvailable() const {
    std::unique_lock<std::mutex> lock(mutex_);
    const int64_t queued = queuedBytes_;
    lock.unlock();
    return queued + QIODevice::bytesAvailable();
}

qint64 PlayerStream::readData(char* data, qint64 maxSize) {
    std::unique_lock<std::mutex> lock(mutex_);
    const qint64 want = maxSize / bytesPerFrame_ * bytesPerFrame_;
    if (want <= 0) return 0;
    qint64 given = 0;
    bool blockDone = false;
    while (given < want && !blocks_.empty()) {
        Block& block = blocks_.front();
        const size_t n =
            std::min<size_t>(static_cast<size_t>(want - given), block.bytes.size() - block.offset);
        std::memcpy(data + given, block.bytes.data() + block.offset, n);
        block.offset += n;
        given += static_cast<qint64>(n);
        queuedBytes_ -= static_cast<int64_t>(n);
        if (block.offset == block.bytes.size()) {
            blocks_.pop_front();
            ++blocksHanded_;
            blockDone = true;
        }
    }
    const int64_t frames = given / bytesPerFrame_;
    NotePeaks(data, frames);
    framesHanded_ += frames;

    if (given < want && endOfSource_) {
        // After the end, silence keeps the device running until the last audio has been heard.
        std::memset(data + given, 0, static_cast<size_t>(want - given));
        given = want;
        paddingStarted_ = true;
    }
    if (given == 0) starved_ = true;
    const bool changed = blockDone || starved_;
    lock.unlock();
    if (changed && onChange) onChange();
    return given;
}

qint64 PlayerStream::writeData(const char*, qint64) { return -1; }

void PlayerStream::NotePeaks(const char* data, int64_t frames) {
    if (frames <= 0) return;
    float left = 0.0f;
    float right = 0.0f;
    const int rightChannel = channels_ > 1 ? 1 : 0;
    for (int64_t i = 0; i < frames; ++i) {
        float l = 0.0f;
        float r = 0.0f;
        std::memcpy(&l, data + (i * channels_) * 4, 4);
        std::memcpy(&r, data + (i * channels_ + rightChannel) * 4, 4);
        left = std::max(left, std::fabs(l));
        right = std::max(right, std::fabs(r));
    }
    auto scale = [](float peak) {
        return static_cast<int>(std::lround(std::min(1.0f, peak) * 32767.0f));
    };
    peaks_.push_back(Peak{framesHanded_ + frames, scale(left), scale(right)});
}

void PlayerStream::TakeLevels(int64_t playedFrame, int& left, int& right) {
    const std::lock_guard<std::mutex> lock(mutex_);
    left = 0;
    right = 0;
    while (!peaks_.empty() && peaks_.front().endFrame <= playedFrame) {
        left = std::max(left, peaks_.front().left);
        right = std::max(right, peaks_.front().right);
        peaks_.pop_front();
    }
    if (!peaks_.empty()) {  // the piece being heard right now
        left = std::max(left, peaks_.front().left);
        right = std::max(right, peaks_.front().right);
    }
}

}  // namespace quillet
