#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <type_traits>

#include "common/BoundedQueue.h"
#include "common/EngineLease.h"
#include "common/WorkerThread.h"
#include "convert/SegmentCopy.h"
#include "platform/audio/SampleArray.h"

namespace quillet {

class TAudioFile2;

// The format of the audio a segment's reader delivers.
struct SourceFormat {
    int32_t sampleRate = 0;
    int32_t channels = 0;
    int32_t bytesPerPosition = 0;
};

// A segment for the decoding thread: opened on path at startPos (its low 32 bits, as the engine
// takes positions) and read in blocks of chunkOf(its format) positions, total in all.
struct SourceJob {
    QString path;
    int64_t startPos = 0;
    int64_t total = 0;
    std::function<int32_t(const SourceFormat&)> chunkOf;
};

// The engine work of a conversion on two threads of its own: decoding on one, encoding and
// writing on the other, with a few blocks between them. The window's thread runs the copy loop
// (its pumps, checks and progress) and waits for the threads with its events handled, so it
// paints and answers however slow a codec is, and the two halves of the work share the cores.
//
// The reader belongs to the decoding thread and the writer to the encoding thread for as long
// as this lives; the window does not touch them meanwhile. The application's error handler
// reclaims them (EngineLease::Reclaim) before it closes them: the reading stops, the writes
// handed over are finished, the threads end, and from then on the work runs on the window's
// thread and the copy hands nothing on.
class CopyThreads {
  public:
    CopyThreads(TAudioFile2& reader, TAudioFile2& writer);
    ~CopyThreads();
    CopyThreads(const CopyThreads&) = delete;
    CopyThreads& operator=(const CopyThreads&) = delete;

    // Queues a segment behind those queued before. The decoding thread closes the reader if it
    // is open, opens the segment and reads its blocks ahead of the copy, then closes it; the
    // blocks of the next segment follow, so a Join's rows come one after the other.
    void Read(SourceJob job);
    // The segment queued first and not yet taken, opened: its format, or the error of opening
    // it, raised here.
    SourceFormat Opened();
    // CopySegment between the two threads for the segment Opened gave: the loop takes the blocks
    // the decoding thread read ahead (the same counts the loop asks for: at most chunk, the last
    // cut down to what is left) and hands each on to the encoding thread, at most about one
    // block ahead of it; progress moves once per block. An error of either thread is raised
    // here, once the blocks before it are written.
    CopyEnd Copy(int64_t total, int32_t chunk, int32_t slice, int32_t bytesPerPosition,
                 CopyProgress& progress, const CopyHooks& hooks);

    // Drops what was read ahead and not taken, waits for the decoding thread to end its reads
    // and closes the reader.
    void EndReading();

    // f(writer) on the encoding thread, after the writes handed over before it.
    template <typename F>
    auto OnWriter(F f) -> std::invoke_result_t<F&, TAudioFile2&>;

  private:
    class AheadReader;
    class BehindWriter;

    // What the decoding thread hands on: a segment opened, or one of its blocks.
    struct ReadItem {
        std::optional<SourceFormat> opened;
        SampleArray block;
    };

    void ReadSegment(const SourceJob& job);
    SourceFormat OpenHere(const SourceJob& job);
    // Ends the threads' use of the files, keeping what was handed to the writer.
    void Recall();

    TAudioFile2& reader_;
    TAudioFile2& writer_;
    // Segments queued and not yet taken by Opened.
    std::deque<SourceJob> jobs_;
    // Read ahead and not yet taken: about two blocks.
    BoundedQueue<ReadItem> items_{3};
    WorkerThread decoding_;
    WorkerThread encoding_;
    bool recalled_ = false;
    EngineLease readerLease_;
    EngineLease writerLease_;
};

template <typename F>
auto CopyThreads::OnWriter(F f) -> std::invoke_result_t<F&, TAudioFile2&> {
    return encoding_.Call([&] { return f(writer_); });
}

}  // namespace quillet
