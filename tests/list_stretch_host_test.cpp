// The stretch editor's host over the real track list, playback session and segment editor, and
// the editor's commands over that host. The player records what it is given; what it is given is
// judged against ffmpeg's decoding of the same file.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTemporaryDir>
#include <map>
#include <memory>
#include <vector>

#include "common/RunState.h"
#include "editor/EditorView.h"
#include "editor/ListStretchHost.h"
#include "editor/PlaybackSession.h"
#include "editor/SegmentEditor.h"
#include "editor/StretchCommands.h"
#include "platform/audio/IAudioPlayer2.h"
#include "platform/audio/TAudioFile2.h"
#include "support/AudioMatch.h"
#include "support/Oracle.h"
#include "support/ShownView.h"
#include "tracks/TrackList.h"

QT_BEGIN_NAMESPACE
void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
QT_END_NAMESPACE

namespace quillet {
namespace {

using Bar = EditorView::Bar;
using Text = EditorView::Text;

class RecordingPlayer : public IAudioPlayer2 {
  public:
    void SetFormat(int, int) override {}
    void Play() override { ++plays; }
    void QueueSamples(const SampleArray& samples) override {
        queued.emplace_back(samples.Samples(), samples.Samples() + samples.SampleCount());
    }
    void EndAfter(int64_t frames) override { endsAfter.push_back(frames); }
    void Stop() override { ++stops; }

    int plays = 0;
    int stops = 0;
    std::vector<int64_t> endsAfter;
    std::vector<std::vector<float>> queued;
};

using test::ShownView;

// Ten seconds of a chirp at 44.1 kHz (441000 frames), different on each channel; two seconds at
// 48 kHz.
struct Files {
    QTemporaryDir dir;
    QString ten;
    QString two48;
    std::vector<float> tenDecoded;  // by ffmpeg
};
std::unique_ptr<Files> gFiles;

constexpr int kTen = 441000;
constexpr int kBlock = PlaybackSession::kBlockPositions;

class ListStretchHostTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        gFiles = std::make_unique<Files>();
        gFiles->ten = gFiles->dir.filePath("ten.wav");
        test::MakeChirp(gFiles->ten, kTen, 44100, 2, {"-c:a", "pcm_s16le"});
        gFiles->two48 = gFiles->dir.filePath("two48.wav");
        test::MakeTone(gFiles->two48, 96000, 48000, 1, {"-c:a", "pcm_s16le"});
        gFiles->tenDecoded = test::DecodeWithFfmpeg(gFiles->ten);
        ASSERT_EQ(gFiles->tenDecoded.size(), size_t{kTen} * 2);
    }
    static void TearDownTestSuite() { gFiles.reset(); }

    // A row as an add leaves it, with its rate unless told otherwise, loaded as a click does.
    void Add(const QString& path, int32_t frames, int rate, bool withRate = true) {
        ASSERT_TRUE(tracks_.Append(path, path.section('/', -1), frames,
                                   static_cast<int32_t>(int64_t{frames} * 1000 / rate),
                                   withRate ? rate : 0));
        tracks_.UpdateCount();
    }
    void Click(int row) {
        view_.selected = row;
        editor_.LoadCurrentRow();
    }
    // The first of the two blocks a start queues, against ffmpeg's decoding from frame `from`.
    void ExpectQueuedFrom(int64_t from) {
        ASSERT_GE(player_.queued.size(), 2u);
        const std::vector<float>& last = player_.queued[player_.queued.size() - 2];
        ASSERT_EQ(last.size(), size_t{kBlock} * 2);
        const auto begin = gFiles->tenDecoded.begin() + from * 2;
        EXPECT_TRUE(last == std::vector<float>(begin, begin + kBlock * 2))
            << "not the audio from frame " << from;
    }

    RunState run_;
    TrackList tracks_;
    TAudioFile2 reader_;
    RecordingPlayer player_;
    ShownView view_;
    bool preListen_ = false;
    PlaybackSession session_{tracks_, run_, reader_, player_, view_, [this] { return preListen_; }};
    SegmentEditor editor_{tracks_, run_, session_, view_};
    ListStretchHost host_{tracks_, run_, session_, editor_};
};

TEST_F(ListStretchHostTest, ShowsTheCurrentRowWhereverItMovesAndNothingWithoutOne) {
    EXPECT_FALSE(host_.HasRow());
    QSignalSpy rowChanged(&host_, &StretchEditorHost::RowChanged);
    Add(gFiles->ten, kTen, 44100);
    Add(gFiles->two48, 96000, 48000, false);
    Click(0);
    ASSERT_TRUE(host_.HasRow());
    EXPECT_EQ(host_.FilePath(), gFiles->ten);
    EXPECT_EQ(host_.SampleRate(), 44100);
    EXPECT_EQ(host_.LengthPos(), kTen);
    EXPECT_EQ(host_.StartPos(), 0);
    EXPECT_EQ(host_.EndPos(), kTen);
    const int shown = static_cast<int>(rowChanged.size());
    EXPECT_GE(shown, 1);

    // Another row: told once; a row added without its rate is asked for it.
    Click(1);
    EXPECT_EQ(rowChanged.size(), shown + 1);
    EXPECT_EQ(host_.FilePath(), gFiles->two48);
    EXPECT_EQ(host_.SampleRate(), 48000);
    EXPECT_EQ(host_.LengthPos(), 96000);

    // The same row moved up (the window keeps CurrentTrack on it) is no other row.
    run_.CurrentTrack = 0;
    tracks_.Swap(0, 1);
    EXPECT_EQ(rowChanged.size(), shown + 1);
    EXPECT_EQ(host_.FilePath(), gFiles->two48);

    tracks_.Clear();
    EXPECT_FALSE(host_.HasRow());
    EXPECT_EQ(rowChanged.size(), shown + 2);
    EXPECT_TRUE(host_.FilePath().isEmpty());
}

TEST_F(ListStretchHostTest, SetStretchWritesExactPositionsWholeSecondsAndEveryDisplay) {
    Add(gFiles->ten, kTen, 44100);
    Add(gFiles->ten, kTen, 44100);
    Click(0);
    QSignalSpy changed(&host_, &StretchEditorHost::StretchChanged);
    // 00:00:01.250 to 00:00:03.500.
    ASSERT_TRUE(host_.SetStretch(55125, 154350, "Begin typed"));
    const TrackInfo& t = tracks_.Record(0);
    EXPECT_EQ(t.StartPos, 55125);
    EXPECT_EQ(t.EndPos, 154350);
    EXPECT_EQ(t.StartSec, 1);
    EXPECT_EQ(t.EndSec, 3);
    EXPECT_EQ(changed.size(), 1);
    // 55125 of 441000 is 125 thousandths, 154350 is 350.
    EXPECT_EQ(view_.bars[Bar::Begin], 125);
    EXPECT_EQ(view_.bars[Bar::End], 350);
    EXPECT_EQ(view_.texts[Text::BeginTime], "00:00:01");
    EXPECT_EQ(view_.texts[Text::EndTime], "00:00:03");
    EXPECT_EQ(tracks_.SegmentText(0), "  00:00:01 - 00:00:03");
    // 2 s of this row and 10 s of the other.
    EXPECT_EQ(view_.texts[Text::TotalTime], "00:00:12");
    EXPECT_EQ(host_.StartPos(), 55125);
    EXPECT_EQ(host_.EndPos(), 154350);

    // The last frame before a second is still the second before it: 44099 is 999.97 ms.
    ASSERT_TRUE(host_.SetStretch(44099, 44100 * 7, "End typed"));
    EXPECT_EQ(t.StartSec, 0);
    EXPECT_EQ(t.EndSec, 7);
    ASSERT_TRUE(host_.SetStretch(0, kTen, "Undo"));
    EXPECT_EQ(t.EndSec, 10);
    EXPECT_EQ(tracks_.SegmentText(0), "  00:00:00 - 00:00:10");

    // What the program does not take changes nothing.
    const int before = static_cast<int>(changed.size());
    EXPECT_FALSE(host_.SetStretch(1000, 1000, "x"));
    EXPECT_FALSE(host_.SetStretch(2000, 1000, "x"));
    EXPECT_FALSE(host_.SetStretch(-1, 1000, "x"));
    EXPECT_FALSE(host_.SetStretch(0, kTen + 1, "x"));
    run_.IsConverting = true;
    EXPECT_FALSE(host_.SetStretch(100, 200, "x"));
    run_.IsConverting = false;
    EXPECT_EQ(changed.size(), before);
    EXPECT_EQ(t.StartPos, 0);
    EXPECT_EQ(t.EndPos, kTen);

    // The host changes the current row; a change of another row leaves the bars to this one.
    Click(1);
    ASSERT_TRUE(host_.SetStretch(88200, 176400, "x"));
    EXPECT_EQ(view_.bars[Bar::Begin], 200);
    EXPECT_EQ(tracks_.SegmentText(1), "  00:00:02 - 00:00:04");
    EXPECT_EQ(tracks_.SegmentText(0), "  00:00:00 - 00:00:10");
    ASSERT_TRUE(editor_.SetStretch(0, 44100, 88200, 44100));
    EXPECT_EQ(view_.bars[Bar::Begin], 200);
    EXPECT_EQ(view_.texts[Text::BeginTime], "00:00:02");
    EXPECT_EQ(tracks_.SegmentText(0), "  00:00:01 - 00:00:02");
}

TEST_F(ListStretchHostTest, WholeSecondsTruncateTheMillisecondsAtEveryRate) {
    Add(gFiles->two48, 96000, 48000);
    Click(0);
    // 47999 frames at 48 kHz are 999.979 ms: second 0; 48000 are second 1; 95999 second 1.
    ASSERT_TRUE(host_.SetStretch(47999, 95999, "x"));
    EXPECT_EQ(tracks_.Record(0).StartSec, 0);
    EXPECT_EQ(tracks_.Record(0).EndSec, 1);
    ASSERT_TRUE(host_.SetStretch(48000, 96000, "x"));
    EXPECT_EQ(tracks_.Record(0).StartSec, 1);
    EXPECT_EQ(tracks_.Record(0).EndSec, 2);
    EXPECT_EQ(tracks_.Record(0).EndSec, tracks_.Record(0).LengthSec);
}

TEST_F(ListStretchHostTest, PlayStartsAtTheHeadPauseKeepsItToTheFrameAndSeeksGoOnFromThere) {
    Add(gFiles->ten, kTen, 44100);
    Click(0);
    QSignalSpy playback(&host_, &StretchEditorHost::PlaybackChanged);
    host_.SetPlayHead(100000);
    EXPECT_EQ(host_.PlayHeadPos(), 100000);
    EXPECT_FALSE(host_.IsPlaying());
    EXPECT_GE(playback.size(), 1);

    host_.Play();
    ASSERT_TRUE(session_.IsPlaying());
    EXPECT_TRUE(host_.IsPlaying());
    ExpectQueuedFrom(100000);
    EXPECT_EQ(host_.PlayHeadPos(), 100000);
    // The player reports what it played since Play.
    session_.Timer(4410);
    EXPECT_EQ(host_.PlayHeadPos(), 104410);
    // 104410 of 441000 on the bar: 236.76 thousandths.
    EXPECT_EQ(view_.bars[Bar::Current], 237);

    host_.Pause();
    EXPECT_TRUE(session_.IsPaused());
    EXPECT_FALSE(host_.IsPlaying());
    EXPECT_EQ(host_.PlayHeadPos(), 104410);
    host_.Play();
    EXPECT_FALSE(session_.IsPaused());
    ExpectQueuedFrom(104410);

    host_.SetPlayHead(300000);
    EXPECT_TRUE(host_.IsPlaying());
    ExpectQueuedFrom(300000);
    session_.Timer(2205);
    EXPECT_EQ(host_.PlayHeadPos(), 302205);

    // Stopped, the head is where it was put before playing.
    session_.StopPlayback();
    EXPECT_EQ(host_.PlayHeadPos(), 100000);
}

TEST_F(ListStretchHostTest, WithPreListenTheRangeIsTheStretchAndAHeadOutsideStartsItsBeginning) {
    Add(gFiles->ten, kTen, 44100);
    Click(0);
    ASSERT_TRUE(host_.SetStretch(44100, 132300, "x"));
    preListen_ = true;
    host_.Play();  // the head at 0 lies before the stretch
    ExpectQueuedFrom(44100);
    session_.Timer(22050);
    EXPECT_EQ(host_.PlayHeadPos(), 66150);
    // The time shown keeps the bar's arithmetic: a quarter of the 2 s stretch, 0.5 s, rounds
    // up, and the stretch starts at second 1.
    EXPECT_EQ(view_.texts[Text::CurrentTime], "00:00:02");
    session_.StopPlayback();

    host_.SetPlayHead(100000);
    host_.Play();
    ExpectQueuedFrom(100000);
}

TEST_F(ListStretchHostTest, ARangePlayedOnceEndsAtItsEndAndMarksLandInTheFile) {
    Add(gFiles->ten, kTen, 44100);
    Click(0);
    host_.PlayRange(88200, 176400);
    ASSERT_TRUE(session_.IsPlaying());
    ExpectQueuedFrom(88200);
    EXPECT_TRUE(session_.RangeInFile());
    // The player sounds the range and no more.
    EXPECT_EQ(player_.endsAfter, std::vector<int64_t>{88200});
    // Halfway: the skin's "Begin" mark puts the begin there, in the file's frames.
    session_.Timer(44100);
    EXPECT_EQ(view_.bars[Bar::Current], 500);
    EXPECT_EQ(view_.texts[Text::CurrentTime], "00:00:03");
    editor_.Mark(SegmentEnd::Begin);
    EXPECT_EQ(tracks_.Record(0).StartPos, 132300);
    EXPECT_EQ(view_.bars[Bar::Begin], 300);
    // The range's end stops playback, showing its end.
    session_.Timer(88200);
    EXPECT_FALSE(session_.IsPlaying());
    EXPECT_EQ(view_.texts[Text::CurrentTime], "00:00:04");

    // "Play" after it plays the whole file again, from its start.
    session_.Play();
    EXPECT_FALSE(session_.RangeInFile());
    ExpectQueuedFrom(0);
    EXPECT_EQ(player_.endsAfter.back(), kTen);
}

TEST_F(ListStretchHostTest, CommandsChangeTheRecordAndUndoGoesBackToItExactly) {
    Add(gFiles->ten, kTen, 44100);
    Click(0);
    QStringList informed;
    StretchCommands commands(host_);
    commands.SetInform([&](const QString& text) { informed << text; });
    const TrackInfo& t = tracks_.Record(0);

    // The default step is 10 ms: 441 frames.
    commands.Nudge(3, false);
    EXPECT_EQ(t.StartPos, 1323);
    commands.SelectHandle(StretchCommands::Handle::End);
    commands.SetStepIndex(StretchCommands::OneSecond);
    commands.Nudge(-10, false);
    EXPECT_EQ(informed, QStringList{"End-time must be larger than start-time."});
    EXPECT_EQ(t.EndPos, kTen);  // refused: the end would fall before the begin
    commands.Nudge(-2, false);
    EXPECT_EQ(t.EndPos, kTen - 88200);
    EXPECT_EQ(t.EndSec, 8);

    // The one-second step of the main window changes the same stretch: undone here as well.
    view_.selected = 0;
    editor_.Step(SegmentEnd::Begin, +1);
    EXPECT_EQ(t.StartPos, 44100);
    EXPECT_EQ(commands.History().UndoCount(), 3);
    commands.Undo();
    EXPECT_EQ(t.StartPos, 1323);
    EXPECT_EQ(t.StartSec, 0);
    commands.Undo();
    EXPECT_EQ(t.EndPos, kTen);
    EXPECT_EQ(t.EndSec, 10);
    commands.Undo();
    EXPECT_EQ(t.StartPos, 0);
    commands.Redo();
    commands.Redo();
    EXPECT_EQ(t.StartPos, 1323);
    EXPECT_EQ(t.EndPos, kTen - 88200);

    // Marks at the play head, to the frame.
    host_.SetPlayHead(123457);
    commands.MarkBegin();
    EXPECT_EQ(t.StartPos, 123457);
    EXPECT_EQ(commands.SelectedHandle(), StretchCommands::Handle::Begin);
    host_.SetPlayHead(200001);
    commands.MarkEnd();
    EXPECT_EQ(t.EndPos, 200001);
    commands.PlayHeadToBegin();
    EXPECT_EQ(host_.PlayHeadPos(), 123457);

    // Another row empties the history.
    Add(gFiles->two48, 96000, 48000);
    Click(1);
    EXPECT_FALSE(commands.History().CanUndo());
    EXPECT_EQ(commands.Current().end, 96000);
}

TEST_F(ListStretchHostTest, PlayAroundPlaysTheRollsEitherSideOfTheHandleWithinTheFile) {
    Add(gFiles->ten, kTen, 44100);
    Click(0);
    ASSERT_TRUE(host_.SetStretch(22050, 300000, "x"));
    StretchCommands commands(host_);
    // Two seconds before the begin reach past the file's start: from 0 to 2.5 s.
    commands.PlayAround();
    EXPECT_EQ(session_.Range().StartPos, 0);
    EXPECT_EQ(session_.Range().LengthPos, 22050 + 88200);
    ExpectQueuedFrom(0);
    commands.SelectHandle(StretchCommands::Handle::End);
    commands.SetPreRollMs(500);
    commands.SetPostRollMs(1000);
    commands.PlayAround();
    EXPECT_EQ(session_.Range().StartPos, 300000 - 22050);
    EXPECT_EQ(session_.Range().LengthPos, 22050 + 44100);
    ExpectQueuedFrom(300000 - 22050);
}

}  // namespace
}  // namespace quillet
