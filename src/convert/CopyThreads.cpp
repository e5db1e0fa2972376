#include "convert/CopyThreads.h"

#include <exception>
#include <memory>
#include <utility>

#include "common/MulDiv.h"
#include "platform/audio/TAudioFile2.h"

namespace quillet {

namespace {

void CloseIfOpen(TAudioFile2& file) {
    if (file.IsOpen()) file.Close();
}

}  // namespace

// The copy loop's reader: the blocks the decoding thread has read ahead, in order.
class CopyThreads::AheadReader {
  public:
    AheadReader(CopyThreads& threads, int32_t bytesPerPosition)
        : threads_(threads), bytesPerPosition_(bytesPerPosition) {}

    // The decoding thread asked the reader for the count the loop asks for here.
    SampleArray ReadSamples(int32_t) {
        if (threads_.recalled_) return SampleArray();
        std::optional<ReadItem> item;
        try {
            item = threads_.items_.Pop(Wait::WithEvents);
        } catch (...) {
            // The blocks before the failed read go into the output first, as they would have
            // without the threads; a write that failed meanwhile came first and is raised.
            const std::exception_ptr readError = std::current_exception();
            threads_.encoding_.Drain();
            std::rethrow_exception(readError);
        }
        // None: the files were reclaimed while the loop waited.
        if (!item) return SampleArray();
        return std::move(item->block);
    }
    int32_t BytesPerPosition() const { return bytesPerPosition_; }

  private:
    CopyThreads& threads_;
    int32_t bytesPerPosition_;
};

// The copy loop's writer: hands each block to the encoding thread.
class CopyThreads::BehindWriter {
  public:
    explicit BehindWriter(CopyThreads& threads) : threads_(threads) {}

    void WriteSamples(SampleArray&& block) {
        if (threads_.recalled_) return;
        const size_t weight = block.ByteCount();
        // std::function copies what it holds; the block is shared instead, and used once.
        auto shared = std::make_shared<SampleArray>(std::move(block));
        TAudioFile2& writer = threads_.writer_;
        threads_.encoding_.Post(
            [&writer, shared] {
                writer.WriteSamples(*shared);
                *shared = SampleArray();  // released as soon as it is written
            },
            weight);
    }

  private:
    CopyThreads& threads_;
};

CopyThreads::CopyThreads(TAudioFile2& reader, TAudioFile2& writer)
    : reader_(reader),
      writer_(writer),
      readerLease_(&reader, [this] { Recall(); }),
      writerLease_(&writer, [this] { Recall(); }) {}

CopyThreads::~CopyThreads() {
    // A read waiting for room is let go first, so the decoding thread can end.
    items_.Stop();
    decoding_.Close();
    encoding_.Close();
}

void CopyThreads::Read(SourceJob job) {
    jobs_.push_back(job);
    if (recalled_) return;
    if (items_.Stopped()) {
        // A copy that was stopped left the queue closed; the segments after it start afresh.
        decoding_.Drain();
        items_.Reset();
    }
    decoding_.Post([this, job = std::move(job)] { ReadSegment(job); });
}

void CopyThreads::ReadSegment(const SourceJob& job) {
    if (items_.Stopped()) return;
    try {
        CloseIfOpen(reader_);
        reader_.OpenForRead(job.path, 0, 1);
        reader_.SeekPosition(Low32(job.startPos), 3);
        const SourceFormat format{reader_.SampleRate(), reader_.Channels(),
                                  reader_.BytesPerPosition()};
        if (!items_.Push(ReadItem{format, SampleArray()})) return;
        int32_t chunk = job.chunkOf(format);
        int64_t left = job.total;
        while (left > 0) {
            if (chunk > left) chunk = static_cast<int32_t>(left);
            SampleArray block = reader_.ReadSamples(chunk);
            const bool empty = block.Empty();
            const int64_t positions =
                static_cast<int64_t>(block.ByteCount()) / format.bytesPerPosition;
            if (!items_.Push(ReadItem{std::nullopt, std::move(block)}) || empty) break;
            left -= positions;
        }
        CloseIfOpen(reader_);
    } catch (...) {
        items_.Fail(std::current_exception());
    }
}

SourceFormat CopyThreads::Opened() {
    const SourceJob job = jobs_.front();
    jobs_.pop_front();
    if (recalled_) return OpenHere(job);
    std::optional<ReadItem> item = items_.Pop(Wait::WithEvents);
    // Blocks of an earlier segment that its copy did not take (a reader that gave more than it
    // was asked for) are passed over.
    while (item && !item->opened) item = items_.Pop(Wait::WithEvents);
    // Reclaimed while waiting: the segment is opened here, as after the reclaim.
    if (!item) return OpenHere(job);
    return *item->opened;
}

void CopyThreads::EndReading() {
    items_.Stop();
    decoding_.Call([this] { CloseIfOpen(reader_); });
}

SourceFormat CopyThreads::OpenHere(const SourceJob& job) {
    CloseIfOpen(reader_);
    reader_.OpenForRead(job.path, 0, 1);
    reader_.SeekPosition(Low32(job.startPos), 3);
    return SourceFormat{reader_.SampleRate(), reader_.Channels(), reader_.BytesPerPosition()};
}

CopyEnd CopyThreads::Copy(int64_t total, int32_t chunk, int32_t slice, int32_t bytesPerPosition,
                          CopyProgress& progress, const CopyHooks& hooks) {
    // About one block may wait for the encoder: the loop stays that close behind it, so a Stop
    // ends the row after at most that much more encoding.
    encoding_.SetQueueLimit(static_cast<size_t>(chunk) * static_cast<size_t>(bytesPerPosition));
    AheadReader ahead(*this, bytesPerPosition);
    BehindWriter behind(*this);
    const CopyEnd end = CopySegment(ahead, behind, total, chunk, slice, progress, hooks);
    // A stopped copy drops what was read ahead: the decoding thread ends its reads.
    if (end == CopyEnd::Stopped) items_.Stop();
    return end;
}

void CopyThreads::Recall() {
    if (recalled_) return;
    recalled_ = true;
    items_.Stop();
    decoding_.Close();
    // What the loop handed to the writer is written before the writer is given back.
    try {
        encoding_.Drain(Wait::Plain);
    } catch (...) {
        // The write failed; the handler that reclaims the files closes them all the same.
    }
    encoding_.Close();
}

}  // namespace quillet
