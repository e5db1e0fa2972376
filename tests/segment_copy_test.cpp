#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <deque>
#include <vector>

#include "convert/SegmentCopy.h"
#include "platform/audio/TAudioFile2.h"
#include "support/Oracle.h"

namespace quillet {
namespace {

constexpr int32_t kBytesPerPosition = 8;  // stereo float
constexpr int32_t kNoSlice = 1 << 20;     // larger than any block here

// Hands out blocks of fixed sizes (in positions), never more than asked unless told to.
class FakeReader {
  public:
    explicit FakeReader(std::deque<int64_t> blockSizes, bool obeyCount = true)
        : sizes_(std::move(blockSizes)), obeyCount_(obeyCount) {}

    SampleArray ReadSamples(int32_t count) {
        requests.push_back(count);
        if (sizes_.empty()) return SampleArray();
        int64_t n = sizes_.front();
        sizes_.pop_front();
        if (obeyCount_ && n > count) n = count;
        return SampleArray(std::vector<uint8_t>(static_cast<size_t>(n * kBytesPerPosition), 1));
    }
    int32_t BytesPerPosition() const { return kBytesPerPosition; }

    std::vector<int32_t> requests;

  private:
    std::deque<int64_t> sizes_;
    bool obeyCount_;
};

struct FakeWriter {
    void WriteSamples(const SampleArray& block) {
        positions += block.ByteCount() / kBytesPerPosition;
        writes.push_back(block.ByteCount() / kBytesPerPosition);
    }
    size_t positions = 0;
    std::vector<size_t> writes;
};

struct Window {
    CopyHooks Hooks() {
        return {[this] {
                    ++pumps;
                    if (stopAfterPumps > 0 && pumps == stopAfterPumps) converting = false;
                },
                [this] { return converting; }, [this](int p) { bar.push_back(p); }};
    }
    int pumps = 0;
    int stopAfterPumps = 0;
    bool converting = true;
    std::vector<int> bar;
};

TEST(SegmentCopyCut, BarRoundsToNearestAndTheLastBlockIsCutDown) {
    FakeReader reader({2, 2, 2, 2});
    FakeWriter writer;
    Window window;
    RowProgress progress;
    EXPECT_EQ(CopySegment(reader, writer, 7, 2, kNoSlice, progress, window.Hooks()),
              CopyEnd::Copied);
    EXPECT_EQ(window.bar, (std::vector<int>{29, 57, 86, 100}));
    EXPECT_EQ(reader.requests, (std::vector<int32_t>{2, 2, 2, 1}));
    EXPECT_EQ(writer.positions, 7u);
    EXPECT_EQ(window.pumps, 8);  // twice per block
}

TEST(SegmentCopyCut, ReadsInChunksAndKeepsTheSmallerChunk) {
    FakeReader reader({4, 4, 4});
    FakeWriter writer;
    Window window;
    RowProgress progress;
    EXPECT_EQ(CopySegment(reader, writer, 10, 4, kNoSlice, progress, window.Hooks()),
              CopyEnd::Copied);
    EXPECT_EQ(reader.requests, (std::vector<int32_t>{4, 4, 2}));
    EXPECT_EQ(window.bar, (std::vector<int>{40, 80, 100}));
}

TEST(SegmentCopyCut, MoreThanAskedIsClampedToTheTotal) {
    FakeReader reader({5, 5}, /*obeyCount=*/false);
    FakeWriter writer;
    Window window;
    RowProgress progress;
    EXPECT_EQ(CopySegment(reader, writer, 7, 5, kNoSlice, progress, window.Hooks()),
              CopyEnd::Copied);
    EXPECT_EQ(window.bar, (std::vector<int>{71, 100}));
    EXPECT_EQ(reader.requests.size(), 2u);
}

TEST(SegmentCopyCut, AnEmptyBlockBeforeTheEndSetsTheBarTo100) {
    FakeReader reader({3});
    FakeWriter writer;
    Window window;
    RowProgress progress;
    EXPECT_EQ(CopySegment(reader, writer, 10, 3, kNoSlice, progress, window.Hooks()),
              CopyEnd::Exhausted);
    EXPECT_EQ(window.bar, (std::vector<int>{30, 100}));
    EXPECT_EQ(writer.positions, 3u);
}

TEST(SegmentCopyCut, AnEmptySegmentReadsNothingAndPumpsNothing) {
    FakeReader reader({3});
    FakeWriter writer;
    Window window;
    RowProgress progress;
    EXPECT_EQ(CopySegment(reader, writer, 0, 3, kNoSlice, progress, window.Hooks()),
              CopyEnd::Copied);
    EXPECT_TRUE(reader.requests.empty());
    EXPECT_EQ(window.pumps, 0);
    EXPECT_TRUE(window.bar.empty());
}

TEST(SegmentCopyCut, StopIsNoticedAfterThePairOfPumpsBeforeTheNextRead) {
    FakeReader reader({2, 2, 2, 2, 2});
    FakeWriter writer;
    Window window;
    window.stopAfterPumps = 3;  // during the pumps before the second block
    RowProgress progress;
    EXPECT_EQ(CopySegment(reader, writer, 10, 2, kNoSlice, progress, window.Hooks()),
              CopyEnd::Stopped);
    EXPECT_EQ(reader.requests.size(), 1u);
    EXPECT_EQ(writer.positions, 2u);
    EXPECT_EQ(window.pumps, 4);
    EXPECT_EQ(window.bar, (std::vector<int>{20}));
}

TEST(SegmentCopyJoin, ProgressRunsOverTheGrandTotal) {
    // Rows of 100, 0 and 300 positions.
    OverallProgress progress(400);
    FakeWriter writer;
    Window window;
    FakeReader row1({100});
    EXPECT_EQ(CopySegment(row1, writer, 100, 400, kNoSlice, progress, window.Hooks()),
              CopyEnd::Copied);
    EXPECT_EQ(window.bar, (std::vector<int>{25}));
    FakeReader row2({50});
    EXPECT_EQ(CopySegment(row2, writer, 0, 400, kNoSlice, progress, window.Hooks()),
              CopyEnd::Copied);
    EXPECT_TRUE(row2.requests.empty());
    FakeReader row3({120, 120, 120});
    EXPECT_EQ(CopySegment(row3, writer, 300, 120, kNoSlice, progress, window.Hooks()),
              CopyEnd::Copied);
    EXPECT_EQ(row3.requests, (std::vector<int32_t>{120, 120, 60}));
    EXPECT_EQ(window.bar, (std::vector<int>{25, 55, 85, 100}));
    EXPECT_EQ(progress.Overall(), 400);
    EXPECT_EQ(writer.positions, 400u);
}

TEST(SegmentCopyJoin, AnEmptyBlockLeavesTheBarWhereItIs) {
    OverallProgress progress(20);
    FakeWriter writer;
    Window window;
    FakeReader reader({5});
    EXPECT_EQ(CopySegment(reader, writer, 10, 5, kNoSlice, progress, window.Hooks()),
              CopyEnd::Exhausted);
    EXPECT_EQ(window.bar, (std::vector<int>{25}));
}

TEST(SegmentCopyJoin, TheOverallCountIsClampedAndEndsTheCopy) {
    // A reader that delivers more than asked reaches the grand total early.
    OverallProgress progress(10);
    FakeWriter writer;
    Window window;
    FakeReader reader({6, 6}, /*obeyCount=*/false);
    EXPECT_EQ(CopySegment(reader, writer, 10, 4, kNoSlice, progress, window.Hooks()),
              CopyEnd::Copied);
    EXPECT_EQ(window.bar, (std::vector<int>{60, 100}));
    EXPECT_EQ(progress.Overall(), 10);
}

TEST(SegmentCopySlices, ALongBlockIsWrittenInSlicesWithPumpsBetween) {
    FakeReader reader({10, 3});
    FakeWriter writer;
    Window window;
    window.stopAfterPumps = 3;  // a pump between slices: noticed only before the next read
    RowProgress progress;
    EXPECT_EQ(CopySegment(reader, writer, 13, 10, 4, progress, window.Hooks()), CopyEnd::Stopped);
    EXPECT_EQ(writer.writes, (std::vector<size_t>{4, 4, 2}));
    EXPECT_EQ(window.pumps, 6);  // 2 before the block, 2 between its slices, 2 before the next
    EXPECT_EQ(window.bar, (std::vector<int>{77}));
    EXPECT_EQ(reader.requests.size(), 1u);
}

// The loop over a real reader and writer: what is written is the segment, to the sample,
// whether blocks are sliced or not.
TEST(SegmentCopyEngine, CopiesTheSegmentExactlyBetweenRealFiles) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString input = dir.filePath("in.wav");
    test::MakeTone(input, 20000, 8000, 2, {"-c:a", "pcm_s16le"}, "anoisesrc");
    const std::vector<float> source = test::DecodeWithFfmpeg(input);
    for (int32_t slice : {kNoSlice, 333}) {
        TAudioFile2 reader;
        TAudioFile2 writer;
        reader.OpenForRead(input, 0, 1);
        reader.SeekPosition(1500, 3);
        writer.SetWavFormat(8000, 2, 16);
        const QString output = dir.filePath(QStringLiteral("out%1.wav").arg(slice));
        writer.CreateForWrite(output, 0);
        writer.SetSourceFormat(reader.SampleRate(), reader.Channels());
        Window window;
        RowProgress progress;
        EXPECT_EQ(CopySegment(reader, writer, 15000, 16000, slice, progress, window.Hooks()),
                  CopyEnd::Copied);
        writer.Close();
        const std::vector<float> written = test::DecodeWithFfmpeg(output);
        const std::vector<float> expected(source.begin() + 1500 * 2, source.begin() + 16500 * 2);
        EXPECT_TRUE(written == expected) << "slice " << slice;
        EXPECT_EQ(window.bar.back(), 100);
    }
}

}  // namespace
}  // namespace quillet
