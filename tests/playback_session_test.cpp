// Playback without a window or a sound server: the session reads real files through the engine
// and feeds a recording stand-in for the player; what it queues is judged against ffmpeg.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <algorithm>
#include <algorithm>
#include <map>
#include <memory>
#include <vector>

#include "common/RunState.h"
#include "editor/EditorView.h"
#include "editor/PlaybackSession.h"
#include "platform/audio/AudioError.h"
#include "platform/audio/IAudioPlayer2.h"
#include "platform/audio/TAudioFile2.h"
#include "support/AudioMatch.h"
#include "support/Oracle.h"
#include "support/ShownView.h"
#include "tracks/TrackList.h"

namespace quillet {
namespace {

using Bar = EditorView::Bar;
using Text = EditorView::Text;

// The player's side: every call in order, and the samples of every queued array.
class RecordingPlayer : public IAudioPlayer2 {
  public:
    void SetFormat(int sampleRate, int channels) override {
        calls.push_back("format " + std::to_string(sampleRate) + " " + std::to_string(channels));
        if (refuseFormat) throw AudioError(QStringLiteral("This format cannot be played."));
    }
    void Play() override { calls.push_back("play"); }
    void QueueSamples(const SampleArray& samples) override {
        calls.push_back("queue " + std::to_string(samples.ByteCount()));
        queued.emplace_back(samples.Samples(), samples.Samples() + samples.SampleCount());
    }
    void EndAfter(int64_t frames) override {
        calls.push_back("end after " + std::to_string(frames));
    }
    void Stop() override { calls.push_back("stop"); }

    std::vector<std::string> calls;
    std::vector<std::vector<float>> queued;
    bool refuseFormat = false;
};

using test::ShownView;

// 3 s of a chirp (a different one on each channel) at 44.1 kHz, and a 1 s tone.
struct Files {
    QTemporaryDir dir;
    QString three;
    QString one;
    std::vector<float> threeDecoded;  // by ffmpeg
};
std::unique_ptr<Files> gFiles;

constexpr int kThree = 132300;
constexpr size_t kBlockBytes = 4410 * 2 * sizeof(float);

class PlaybackSessionTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        gFiles = std::make_unique<Files>();
        gFiles->three = gFiles->dir.filePath("three.wav");
        test::MakeChirp(gFiles->three, kThree, 44100, 2, {"-c:a", "pcm_s16le"});
        gFiles->one = gFiles->dir.filePath("one.wav");
        test::MakeTone(gFiles->one, 44100, 44100, 2, {"-c:a", "pcm_s16le"});
        gFiles->threeDecoded = test::DecodeWithFfmpeg(gFiles->three);
        ASSERT_EQ(gFiles->threeDecoded.size(), size_t{kThree} * 2);
    }
    static void TearDownTestSuite() { gFiles.reset(); }

    void Add(const QString& path, int32_t frames) {
        ASSERT_TRUE(tracks_.Append(path, path.section('/', -1), frames, frames / 44100 * 1000));
        tracks_.UpdateCount();
    }
    // The ffmpeg decode of three.wav from frame `from`, one block long.
    std::vector<float> Oracle(int64_t from) const {
        const auto begin = gFiles->threeDecoded.begin() + from * 2;
        return {begin, begin + 4410 * 2};
    }

    RunState run_;
    TrackList tracks_;
    TAudioFile2 reader_;
    RecordingPlayer player_;
    ShownView view_;
    bool preListen_ = false;
    PlaybackSession session_{tracks_, run_, reader_, player_, view_, [this] { return preListen_; }};
};

TEST_F(PlaybackSessionTest, PlayStartsThePlayerThenQueuesTwoBlocksOfTheStretch) {
    Add(gFiles->three, kThree);
    tracks_.SetBegin(0, 44100, 1);
    preListen_ = true;
    view_.selected = 0;
    session_.Play();
    // The sound ends with the stretch: 132300 - 44100 frames.
    EXPECT_EQ(player_.calls, (std::vector<std::string>{"format 44100 2", "play", "end after 88200",
                                                       "queue " + std::to_string(kBlockBytes),
                                                       "queue " + std::to_string(kBlockBytes)}));
    ASSERT_EQ(player_.queued.size(), 2u);
    EXPECT_EQ(player_.queued[0], Oracle(44100));
    EXPECT_EQ(player_.queued[1], Oracle(44100 + 4410));
    EXPECT_TRUE(session_.IsPlaying());
    EXPECT_FALSE(session_.IsPaused());
    EXPECT_EQ(session_.PlayingTrack(), 0);
    EXPECT_EQ(session_.Range().StartPos, 44100);
    EXPECT_EQ(session_.Range().LengthPos, kThree - 44100);
    EXPECT_EQ(session_.Range().LengthSec, 2);
    EXPECT_EQ(tracks_.Status(0), "Playing");
    EXPECT_EQ(view_.texts[Text::Filename], "three.wav");
    EXPECT_TRUE(view_.barVisible[Bar::Current]);
    EXPECT_FALSE(view_.barVisible[Bar::Begin]);
    EXPECT_FALSE(view_.barVisible[Bar::End]);
    EXPECT_TRUE(view_.playingMenus);

    // Each request of the player gets one block more, in order: 20 whole blocks from 1 s to
    // the end of the file, then an empty array.
    for (int k = 2; k < 20; ++k) {
        k % 2 ? session_.ArrayPlayed() : session_.RequestArray();
        ASSERT_EQ(player_.queued.back(), Oracle(44100 + int64_t{k} * 4410)) << k;
    }
    session_.ArrayPlayed();
    ASSERT_EQ(player_.queued.size(), 21u);
    EXPECT_TRUE(player_.queued.back().empty());
}

TEST_F(PlaybackSessionTest, TheTimerMovesTheHeadAndEndsPlaybackAtTheEndOfTheRange) {
    Add(gFiles->three, kThree);
    tracks_.SetBegin(0, 44100, 1);
    tracks_.SetEnd(0, 88200, 2);
    preListen_ = true;
    view_.selected = 0;
    session_.Play();
    // 22050 of 44100 positions: the bar at 500, 0.5 s into the range shown as 1 + 1 = 2.
    session_.Timer(22050);
    EXPECT_EQ(view_.bars[Bar::Current], 500);
    EXPECT_EQ(session_.HeadBar(), 500);
    EXPECT_EQ(view_.texts[Text::CurrentTime], "00:00:02");
    session_.Timer(4410);
    EXPECT_EQ(view_.bars[Bar::Current], 100);
    EXPECT_EQ(view_.texts[Text::CurrentTime], "00:00:01");
    EXPECT_TRUE(session_.IsPlaying());

    // 44078 of 44100 rounds to 1000: the end, half a thousandth early.
    player_.calls.clear();
    session_.Timer(44078);
    EXPECT_FALSE(session_.IsPlaying());
    EXPECT_EQ(player_.calls, std::vector<std::string>{"stop"});
    EXPECT_FALSE(reader_.IsOpen());
    EXPECT_EQ(tracks_.Status(0), "Stop");
    EXPECT_EQ(view_.texts[Text::Filename], "No file is playing");
    EXPECT_FALSE(view_.barVisible[Bar::Current]);
    EXPECT_TRUE(view_.barVisible[Bar::Begin] && view_.barVisible[Bar::End]);
    EXPECT_FALSE(view_.playingMenus);
    // The end of the range stays on show.
    EXPECT_EQ(view_.bars[Bar::Current], 1000);
    EXPECT_EQ(view_.texts[Text::CurrentTime], "00:00:02");
    // Late events of a stopped player change nothing.
    session_.Timer(100);
    session_.RequestArray();
    EXPECT_EQ(player_.calls, std::vector<std::string>{"stop"});
}

TEST_F(PlaybackSessionTest, PauseHoldsTheHeadAndPlayResumesWhereTheHeadWasMoved) {
    Add(gFiles->three, kThree);
    view_.selected = 0;
    session_.Play();
    session_.Timer(13230);  // the bar at 100
    session_.PausePlayback();
    EXPECT_TRUE(session_.IsPaused());
    EXPECT_EQ(player_.calls.back(), "stop");
    EXPECT_EQ(tracks_.Status(0), "pause");
    EXPECT_FALSE(view_.pauseMenus);
    session_.Timer(99999);  // a paused player's event moves nothing
    EXPECT_EQ(session_.HeadBar(), 100);
    session_.PausePlayback();  // twice changes nothing
    EXPECT_EQ(tracks_.Status(0), "pause");

    // The user drags the head while paused: the time follows, playback does not resume.
    session_.HeadPressed();
    session_.HeadMoved(600, true);
    session_.HeadReleased();
    EXPECT_TRUE(session_.IsPaused());
    EXPECT_EQ(view_.texts[Text::CurrentTime], "00:00:02");  // 1.8 s of 3
    player_.queued.clear();
    session_.Play();  // the same row is selected: a resume
    EXPECT_FALSE(session_.IsPaused());
    EXPECT_EQ(tracks_.Status(0), "Playing");
    EXPECT_TRUE(view_.pauseMenus);
    EXPECT_EQ(session_.OffsetPos(), 79380);  // 600 of 1000 of 132300
    ASSERT_EQ(player_.queued.size(), 2u);
    EXPECT_EQ(player_.queued[0], Oracle(79380));
    // What is left of the file from there is what sounds.
    EXPECT_NE(std::find(player_.calls.rbegin(), player_.calls.rend(), "end after 52920"),
              player_.calls.rend());
}

TEST_F(PlaybackSessionTest, ReleasingTheHeadRestartsARunningPlayerInTheSameRange) {
    Add(gFiles->three, kThree);
    view_.selected = 0;
    session_.Play();
    session_.HeadPressed();
    EXPECT_EQ(player_.calls.back(), "stop");
    session_.HeadMoved(250, true);
    EXPECT_EQ(view_.texts[Text::CurrentTime], "00:00:01");  // 0.75 s
    player_.queued.clear();
    session_.HeadReleased();
    EXPECT_TRUE(session_.IsPlaying());
    EXPECT_FALSE(session_.FreshPlay());
    EXPECT_EQ(session_.OffsetPos(), 33075);
    ASSERT_EQ(player_.queued.size(), 2u);
    EXPECT_EQ(player_.queued[0], Oracle(33075));
    // A head moved while nothing plays is still where the bar is; the time is left alone.
    session_.StopPlayback();
    view_.texts[Text::CurrentTime] = "kept";
    session_.HeadMoved(700, true);
    EXPECT_EQ(session_.HeadBar(), 700);
    EXPECT_EQ(view_.texts[Text::CurrentTime], "kept");
}

TEST_F(PlaybackSessionTest, PlayWhileAnotherRowPlaysStopsItAndStartsTheNewRowFromItsStart) {
    Add(gFiles->three, kThree);
    Add(gFiles->one, 44100);
    view_.selected = 0;
    session_.Play();
    session_.Timer(66150);
    view_.selected = 1;
    session_.Play();
    EXPECT_EQ(tracks_.Status(0), "Stop");
    EXPECT_EQ(tracks_.Status(1), "Playing");
    EXPECT_EQ(session_.PlayingTrack(), 1);
    EXPECT_EQ(session_.HeadBar(), 0);
    EXPECT_EQ(session_.OffsetPos(), 0);
    EXPECT_EQ(session_.Range().LengthPos, 44100);
    EXPECT_EQ(view_.texts[Text::Filename], "one.wav");
    // With nothing selected, row 0 is.
    view_.selected = -1;
    session_.Play();
    EXPECT_EQ(view_.selected, 0);
    EXPECT_EQ(session_.PlayingTrack(), 0);
}

TEST_F(PlaybackSessionTest, NothingStartsWhileConvertingOrWithAnEmptyList) {
    session_.Play();
    EXPECT_FALSE(session_.IsPlaying());
    Add(gFiles->one, 44100);
    run_.IsConverting = true;
    session_.Play();
    EXPECT_FALSE(session_.IsPlaying());
    EXPECT_TRUE(player_.calls.empty());
    session_.StopPlayback();
    session_.PausePlayback();
    EXPECT_TRUE(player_.calls.empty());
    EXPECT_EQ(tracks_.Status(0), "unconverted");
}

TEST_F(PlaybackSessionTest, AFormatThePlayerRefusesIsRaisedOncePlaybackIsSetUp) {
    Add(gFiles->one, 44100);
    view_.selected = 0;
    player_.refuseFormat = true;
    EXPECT_THROW(session_.Play(), AudioError);
    // Every step after the format still ran.
    EXPECT_TRUE(session_.IsPlaying());
    EXPECT_EQ(player_.queued.size(), 2u);
    EXPECT_TRUE(view_.playingMenus);
    EXPECT_FALSE(view_.barVisible[Bar::Begin]);
    // A resume raises it again, and leaves the pause items as they were.
    session_.PausePlayback();
    EXPECT_THROW(session_.Play(), AudioError);
    EXPECT_FALSE(session_.IsPaused());
    EXPECT_FALSE(view_.pauseMenus);
    // The error handler halts the player, the state stays.
    player_.calls.clear();
    session_.Halt();
    EXPECT_EQ(player_.calls, std::vector<std::string>{"stop"});
    EXPECT_TRUE(session_.IsPlaying());
}

TEST_F(PlaybackSessionTest, ThePlayingRowFollowsItsFileWhenRowsMoveOrGo) {
    Add(gFiles->one, 44100);
    Add(gFiles->one, 44100);
    Add(gFiles->three, kThree);
    view_.selected = 2;
    session_.Play();
    tracks_.Remove(0);
    EXPECT_EQ(session_.PlayingTrack(), 1);
    tracks_.Swap(1, 0);
    EXPECT_EQ(session_.PlayingTrack(), 0);
    tracks_.Swap(0, 1);
    EXPECT_EQ(session_.PlayingTrack(), 1);
    tracks_.Remove(0);
    EXPECT_EQ(session_.PlayingTrack(), 0);
    EXPECT_EQ(tracks_.Record(session_.PlayingTrack()).FilePath, gFiles->three);
    // Rows below it change nothing.
    Add(gFiles->one, 44100);
    tracks_.Remove(1);
    EXPECT_EQ(session_.PlayingTrack(), 0);
}

}  // namespace
}  // namespace quillet
