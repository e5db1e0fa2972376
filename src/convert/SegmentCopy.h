#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "common/MulDiv.h"
#include "platform/audio/SampleArray.h"

namespace quillet {

// What the copy loop needs from the window: a message pump, the IsConverting flag and the
// progress bar.
struct CopyHooks {
    std::function<void()> pumpMessages;
    std::function<bool()> stillConverting;
    std::function<void(int)> setProgress;
};

// How the progress bar follows the copy. Cut shows each row's own progress; Join shows the
// progress over all rows together.
class CopyProgress {
  public:
    virtual ~CopyProgress() = default;
    // The position of the bar when the reader ran dry before the segment's end, or none.
    virtual std::optional<int> AtEmptyBlock() const = 0;
    // Counts positions just written into the row's done count; gives the bar's position.
    virtual int Advance(int64_t& done, int64_t total, int64_t positions) = 0;
    // True when the copy has reached its end by the count this progress keeps.
    virtual bool Finished(int64_t done, int64_t total) const = 0;
};

// Cut: done is clamped to the row's total; the bar shows done over total.
class RowProgress : public CopyProgress {
  public:
    std::optional<int> AtEmptyBlock() const override { return 100; }
    int Advance(int64_t& done, int64_t total, int64_t positions) override;
    bool Finished(int64_t done, int64_t total) const override { return done == total; }
};

// Join: the overall count of all rows is clamped to the grand total and the bar shows it over
// the grand total; a row's done count runs unclamped.
class OverallProgress : public CopyProgress {
  public:
    explicit OverallProgress(int64_t grandTotal) : grandTotal_(grandTotal) {}
    std::optional<int> AtEmptyBlock() const override { return std::nullopt; }
    int Advance(int64_t& done, int64_t total, int64_t positions) override;
    bool Finished(int64_t, int64_t) const override { return overall_ == grandTotal_; }
    int64_t Overall() const { return overall_; }

  private:
    int64_t grandTotal_;
    int64_t overall_ = 0;
};

enum class CopyEnd {
    Copied,     // the whole segment was copied
    Stopped,    // IsConverting was cleared
    Exhausted,  // the reader had nothing more before the segment's end
};

// Hands a block to the writer in slices of at most sliceBytes, pumping the window's messages
// between slices, so that the window is pumped as often as a slice takes to encode. The writer
// appends, so the output is the same.
template <typename Writer>
void WriteInSlices(Writer& writer, SampleArray block, size_t sliceBytes, const CopyHooks& hooks) {
    if (sliceBytes == 0 || block.ByteCount() <= sliceBytes) {
        writer.WriteSamples(std::move(block));
        return;
    }
    for (size_t offset = 0; offset < block.ByteCount(); offset += sliceBytes) {
        if (offset > 0) hooks.pumpMessages();
        const size_t size = std::min(sliceBytes, block.ByteCount() - offset);
        writer.WriteSamples(SampleArray(block.Data() + offset, size));
    }
}

// Copies total positions from the reader's current position to the writer, in blocks of at most
// chunk positions (the last one cut down to what is left), each written in slices of at most
// slice positions. Before each block the window's messages are pumped twice, and a cleared
// IsConverting ends the copy. In the program Reader and Writer are the ends of CopyThreads
// (a decoding and an encoding thread); tests may pass stand-ins with the same operations.
template <typename Reader, typename Writer>
CopyEnd CopySegment(Reader& reader, Writer& writer, int64_t total, int32_t chunk, int32_t slice,
                    CopyProgress& progress, const CopyHooks& hooks) {
    int64_t done = 0;
    while (done < total) {
        hooks.pumpMessages();
        hooks.pumpMessages();
        if (!hooks.stillConverting()) return CopyEnd::Stopped;
        if (chunk > total - done) chunk = static_cast<int32_t>(total - done);
        SampleArray block = reader.ReadSamples(chunk);
        if (block.Empty()) {
            if (const std::optional<int> percent = progress.AtEmptyBlock())
                hooks.setProgress(*percent);
            return CopyEnd::Exhausted;
        }
        const int64_t bytesPerPosition = reader.BytesPerPosition();
        const int64_t positions = static_cast<int64_t>(block.ByteCount()) / bytesPerPosition;
        // Released once written, before the next read.
        WriteInSlices(writer, std::move(block), static_cast<size_t>(slice * bytesPerPosition),
                      hooks);
        hooks.setProgress(progress.Advance(done, total, positions));
        if (progress.Finished(done, total)) return CopyEnd::Copied;
    }
    return CopyEnd::Copied;
}

}  // namespace quillet
