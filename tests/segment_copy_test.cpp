#include <gtest/gtest.h>

#include <deque>
#include <vector>

#include "convert/SegmentCopy.h"

namespace quillet {
namespace {

constexpr int32_t kBytesPerPosition = 8;  // stereo float

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
    void WriteSamples(const SampleArray& block) { positions += block.ByteCount() / kBytesPerPosition; }
    size_t positions = 0;
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
    EXPECT_EQ(CopySegment(reader, writer, 7, 2, progress, window.Hooks()), CopyEnd::Copied);
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
    EXPECT_EQ(CopySegment(reader, writer, 10, 4, progress, window.Hooks()), CopyEnd::Copied);
    EXPECT_EQ(reader.requests, (std::vector<int32_t>{4, 4, 2}));
    EXPECT_EQ(window.bar, (std::vector<int>{40, 80, 100}));
}

TEST(SegmentCopyCut, MoreThanAskedIsClampedToTheTotal) {
    FakeReader reader({5, 5}, /*obeyCount=*/false);
    FakeWriter writer;
    Window window;
    RowProgress progress;
    EXPECT_EQ(CopySegment(reader, writer, 7, 5, progress, window.Hooks()), CopyEnd::Copied);
    EXPECT_EQ(window.bar, (std::vector<int>{71, 100}));
    EXPECT_EQ(reader.requests.size(), 2u);
}

TEST(SegmentCopyCut, AnEmptyBlockBeforeTheEndSetsTheBarTo100) {
    FakeReader reader({3});
    FakeWriter writer;
    Window window;
    RowProgress progress;
    EXPECT_EQ(CopySegment(reader, writer, 10, 3, progress, window.Hooks()), CopyEnd::Exhausted);
    EXPECT_EQ(window.bar, (std::vector<int>{30, 100}));
    EXPECT_EQ(writer.positions, 3u);
}

TEST(SegmentCopyCut, AnEmptySegmentReadsNothingAndPumpsNothing) {
    FakeReader reader({3});
    FakeWriter writer;
    Window window;
    RowProgress progress;
    EXPECT_EQ(CopySegment(reader, writer, 0, 3, progress, window.Hooks()), CopyEnd::Copied);
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
    EXPECT_EQ(CopySegment(reader, writer, 10, 2, progress, window.Hooks()), CopyEnd::Stopped);
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
    EXPECT_EQ(CopySegment(row1, writer, 100, 400, progress, window.Hooks()), CopyEnd::Copied);
    EXPECT_EQ(window.bar, (std::vector<int>{25}));
    FakeReader row2({50});
    EXPECT_EQ(CopySegment(row2, writer, 0, 400, progress, window.Hooks()), CopyEnd::Copied);
    EXPECT_TRUE(row2.requests.empty());
    FakeReader row3({120, 120, 120});
    EXPECT_EQ(CopySegment(row3, writer, 300, 120, progress, window.Hooks()), CopyEnd::Copied);
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
    EXPECT_EQ(CopySegment(reader, writer, 10, 5, progress, window.Hooks()), CopyEnd::Exhausted);
    EXPECT_EQ(window.bar, (std::vector<int>{25}));
}

TEST(SegmentCopyJoin, TheOverallCountIsClampedAndEndsTheCopy) {
    // A reader that delivers more than asked reaches the grand total early.
    OverallProgress progress(10);
    FakeWriter writer;
    Window window;
    FakeReader reader({6, 6}, /*obeyCount=*/false);
    EXPECT_EQ(CopySegment(reader, writer, 10, 4, progress, window.Hooks()), CopyEnd::Copied);
    EXPECT_EQ(window.bar, (std::vector<int>{60, 100}));
    EXPECT_EQ(progress.Overall(), 10);
}

}  // namespace
}  // namespace quillet
