// The stretch editor in the real program: opened from the main window, changing the rows' stretch
// to the frame, following and marking real playback through the sound server (run through
// scripts/test.sh, which starts a null sink), and the overview of the file behind the bars.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <cstdlib>
#include <memory>
#include <vector>

#include "app/Tfm_main.h"
#include "dialogs/StretchEditorSide.h"
#include "dialogs/Tfm_stretch.h"
#include "editor/ListStretchHost.h"
#include "editor/StretchCommands.h"
#include "editor/TypedTime.h"
#include "platform/player/TAudioPlayer2.h"
#include "platform/skin/SkinSlider.h"
#include "platform/skin/SkinWave.h"
#include "support/MainWindowFixture.h"
#include "support/Oracle.h"
#include "widgets/RenameBox.h"
#include "widgets/WaveformView.h"

QT_BEGIN_NAMESPACE
void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
QT_END_NAMESPACE

namespace quillet {
namespace {

struct Files {
    QTemporaryDir dir;
    QString five;   // 5 s, 44.1 kHz stereo: 220500 frames
    QString three;  // 3 s
    QString long2;  // 2 minutes, where a bar step is 120 ms
    QString shape;  // 2 s of silence, then 2 s of a sine at half scale, mono
};
std::unique_ptr<Files> gFiles;

constexpr int kWait = 20000;
// 20 ms at 44.1 kHz.
constexpr int64_t kTwentyMs = 882;

class StretchWindowTest : public test::MainWindowFixture {
  protected:
    static void SetUpTestSuite() {
        gFiles = std::make_unique<Files>();
        Files& f = *gFiles;
        f.five = f.dir.filePath("five.wav");
        test::MakeTone(f.five, 220500, 44100, 2, {"-c:a", "pcm_s16le"});
        f.three = f.dir.filePath("three.wav");
        test::MakeTone(f.three, 132300, 44100, 2, {"-c:a", "pcm_s16le"});
        f.long2 = f.dir.filePath("long.wav");
        test::MakeTone(f.long2, 44100 * 120, 44100, 2, {"-c:a", "pcm_s16le"});
        f.shape = f.dir.filePath("shape.wav");
        test::Ffmpeg({"-f", "lavfi", "-i",
                      "aevalsrc=if(gte(t\\,2)\\,0.5*sin(2*PI*440*t)\\,0):s=44100:d=4", "-c:a",
                      "pcm_s16le", f.shape});
    }
    static void TearDownTestSuite() { gFiles.reset(); }

    void SetUp() override {
        RemoveSettings();
        Open();
        if (HasFatalFailure()) return;
        prompts_->answerYes = true;
        // After the window's own handler: what the player reported at each timer event.
        QObject::connect(
            W().AudioPlayer, &TAudioPlayer2::OnTimer, W().AudioPlayer,
            [this](int current, int, int) { heard_.push_back(P().OffsetPos() + current); });
        Activate();
    }

    Files& F() { return *gFiles; }
    void Activate() {
        W().activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&W()));
    }
    // A key as the user gives it to the main window.
    void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(W().windowHandle(), static_cast<Qt::Key>(key), modifiers);
    }
    Tfm_stretch* Editor() { return W().StretchSide().Editor(); }
    void OpenEditor() {
        W().EditStretch1->trigger();
        ASSERT_NE(Editor(), nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowActive(Editor()));
    }
    QLineEdit* Edit(const QString& name) {
        for (QLineEdit* e : Editor()->findChildren<QLineEdit*>())
            if (e->accessibleName() == name) return e;
        ADD_FAILURE() << "no edit named " << name.toStdString();
        return nullptr;
    }
    void Type(const QString& name, const QString& text) {
        QLineEdit* edit = Edit(name);
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, text);
        QTest::keyClick(edit, Qt::Key_Return);
        Editor()->waveform->setFocus();
    }
    const TrackInfo& Record(int row) { return L().Record(row); }
    SkinWave* Overview(const QString& name) { return dynamic_cast<SkinWave*>(Object(name)); }
    // The head the player last reported, once playback has gone on for a while. A loaded sound
    // server can take a second or more to start a new stream: the events are counted once the
    // head moves.
    bool PlayedFor(size_t events) {
        const auto moving = [&] {
            const size_t n = heard_.size();
            return n >= 2 && heard_[n - 1] != heard_[n - 2];
        };
        if (!QTest::qWaitFor(moving, kWait)) return false;
        const size_t from = heard_.size();
        return QTest::qWaitFor([&] { return heard_.size() >= from + events; }, kWait);
    }
    // How far a mark lies from the last two heads the player reported before it.
    int64_t FromHeard(int64_t mark) const {
        int64_t best = INT64_MAX;
        for (size_t i = heard_.size() >= 2 ? heard_.size() - 2 : 0; i < heard_.size(); ++i)
            best = std::min(best, std::abs(mark - heard_[i]));
        return best;
    }

    std::vector<int64_t> heard_;
};

TEST_F(StretchWindowTest, TheEditorOpensFromTheMenusCtrlEAndTheSkinOnTheCurrentRow) {
    AddAll({F().five, F().three});
    Select(1);
    QMenu* action = W().mm->actions().at(1)->menu();
    ASSERT_TRUE(action->actions().contains(W().EditStretch1));
    EXPECT_EQ(W().EditStretch1->text(), "Edit Stretch...");
    EXPECT_EQ(W().EditStretch1->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_E));
    ASSERT_TRUE(W().pm->actions().contains(W().EditStretch2));
    EXPECT_EQ(W().EditStretch2->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_E));
    EXPECT_TRUE(W().EditStretch2->isShortcutVisibleInContextMenu());

    OpenEditor();
    Tfm_stretch& editor = *Editor();
    EXPECT_FALSE(editor.isModal());
    EXPECT_EQ(editor.waveform->FilePath(), F().three);
    EXPECT_EQ(Edit("Begin")->text(), "00:00:00.000");
    EXPECT_EQ(Edit("End")->text(), "00:00:03.000");
    // The main window goes on: a click on another row shows that one.
    Select(0);
    EXPECT_EQ(editor.waveform->FilePath(), F().five);
    EXPECT_EQ(Edit("End")->text(), "00:00:05.000");

    editor.close();
    Activate();
    Key(Qt::Key_E, Qt::ControlModifier);
    EXPECT_TRUE(editor.isVisible());
    EXPECT_EQ(Editor(), &editor);  // the same window, kept
    editor.close();
    Press("Edit stretch");
    EXPECT_TRUE(editor.isVisible());
    editor.close();
    W().EditStretch2->trigger();
    EXPECT_TRUE(editor.isVisible());
}

TEST_F(StretchWindowTest, TypedTimesSetTheRowToTheFrameAndACutWritesExactlyThoseFrames) {
    AddAll({F().five});
    Select(0);
    OpenEditor();
    Type("Begin", "00:00:01.250");
    Type("End", "00:00:03.500");
    EXPECT_TRUE(prompts_->boxes.isEmpty());
    EXPECT_EQ(Record(0).StartPos, 55125);
    EXPECT_EQ(Record(0).EndPos, 154350);
    EXPECT_EQ(Record(0).StartSec, 1);
    EXPECT_EQ(Record(0).EndSec, 3);
    EXPECT_EQ(Cell(0, 1), "  00:00:01 - 00:00:03");
    EXPECT_EQ(Text(kBeginTime), "00:00:01");
    EXPECT_EQ(Text(kEndTime), "00:00:03");
    EXPECT_EQ(Text(kTotalTime), "00:00:02");
    // 55125 and 154350 of 220500 frames.
    EXPECT_EQ(Bar(kBeginBar), 250);
    EXPECT_EQ(Bar(kEndBar), 700);

    // A refused time says so and changes nothing.
    Type("End", "00:00:01");
    EXPECT_EQ(prompts_->boxes, QStringList{"End-time must be larger than start-time."});
    EXPECT_EQ(Record(0).EndPos, 154350);

    QTemporaryDir out;
    S().WriteString("cut", "output directory", out.path());
    W().cb_format->setCurrentIndex(1);  // WAV
    W().Cut1Click();
    const QString written = out.filePath("five.wav");
    ASSERT_TRUE(QFile::exists(written)) << QDir(out.path()).entryList().join(", ").toStdString();
    EXPECT_EQ(test::ProbeStream(written, "duration_ts"), "99225");
    // Those very frames of the file, as ffmpeg reads both.
    const std::vector<float> source = test::DecodeWithFfmpeg(F().five);
    const std::vector<float> cut = test::DecodeWithFfmpeg(written);
    ASSERT_EQ(cut.size(), size_t{99225} * 2);
    EXPECT_TRUE(std::equal(cut.begin(), cut.end(), source.begin() + 55125 * 2));
}

TEST_F(StretchWindowTest, ARowChosenWithTheArrowKeysIsTheCurrentRowAsAClickMakesIt) {
    AddAll({F().five, F().three});
    Select(0);
    OpenEditor();
    Activate();
    W().lv->setFocus();
    Key(Qt::Key_Down);
    EXPECT_EQ(Selected(), 1);
    EXPECT_EQ(R().CurrentTrack, 1);
    EXPECT_EQ(Text(kEndTime), "00:00:03");
    EXPECT_EQ(Editor()->waveform->FilePath(), F().three);
    // The one-second step and the editor now change the same row.
    Press("Begin right");
    EXPECT_EQ(Record(1).StartSec, 1);
    EXPECT_EQ(Record(0).StartSec, 0);
    EXPECT_EQ(Edit("Begin")->text(), "00:00:01.000");
    Key(Qt::Key_Up);
    EXPECT_EQ(R().CurrentTrack, 0);
    EXPECT_EQ(Text(kBeginTime), "00:00:00");
    EXPECT_EQ(Editor()->waveform->FilePath(), F().five);
}

TEST_F(StretchWindowTest, TheMainWindowsKeysMoveTheHandleAndUndoLeavingTheControlsTheirKeys) {
    AddAll({F().five});
    Select(0);
    W().lv->setFocus();
    // Steps of 10 ms (441 frames), ten with Shift, on the begin.
    Key(Qt::Key_Right);
    EXPECT_EQ(Record(0).StartPos, 441);
    Key(Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_EQ(Record(0).StartPos, 441 + 4410);
    // 4851 of 220500 frames.
    EXPECT_EQ(Bar(kBeginBar), 22);
    Key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Record(0).StartPos, 441);
    Key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Record(0).StartPos, 0);
    Key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(Record(0).StartPos, 441);
    // N with the play head at the start refuses, as the mark does.
    Key(Qt::Key_N);
    EXPECT_EQ(prompts_->boxes, QStringList{"End-time must be larger than start-time."});

    // The step chosen in the editor is the main window's too, and is kept.
    OpenEditor();
    Editor()->cb_step->setCurrentIndex(Tfm_stretch::OneFrame);
    EXPECT_EQ(S().ReadInteger("stretch", "step", -1), 0);
    Editor()->close();
    Activate();
    W().lv->setFocus();
    Key(Qt::Key_Right);
    EXPECT_EQ(Record(0).StartPos, 442);

    // A focused bar keeps Left and Right: the bar's own step on its scale, undone here as well.
    auto* bar = dynamic_cast<SkinSlider*>(Object("End bar"));
    ASSERT_NE(bar, nullptr);
    bar->setFocus(Qt::TabFocusReason);
    Key(Qt::Key_Left);
    EXPECT_EQ(Bar(kEndBar), 990);
    EXPECT_EQ(Record(0).EndPos, 218295);  // 990 of 1000 of 220500, the bar's own arithmetic
    EXPECT_EQ(Record(0).StartPos, 442);
    Key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Record(0).EndPos, 220500);

    // The rename box keeps every key it types.
    W().lv->setFocus();
    W().lvDblClick();
    ASSERT_TRUE(W().edt_title->isVisible());
    Key(Qt::Key_B);
    Key(Qt::Key_Space);
    Key(Qt::Key_Right);
    EXPECT_EQ(W().edt_title->text(), "five.wavb ");
    EXPECT_EQ(Record(0).StartPos, 442);
}

TEST_F(StretchWindowTest, MarksDuringPlaybackLandOnTheHeadThePlayerReportsAndTheEditorFollows) {
    AddAll({F().long2});
    Select(0);
    W().lv->setFocus();
    Key(Qt::Key_Space);
    ASSERT_TRUE(P().IsPlaying());
    ASSERT_TRUE(PlayedFor(20));
    Key(Qt::Key_B);
    const int64_t begin = Record(0).StartPos;
    EXPECT_LE(FromHeard(begin), kTwentyMs) << begin;
    // Whole seconds of the frame; the bars and the column follow.
    EXPECT_EQ(Record(0).StartSec, begin / 44100);
    EXPECT_EQ(Cell(0, 1),
              QStringLiteral("  00:00:%1 - 00:02:00").arg(begin / 44100, 2, 10, QLatin1Char('0')));
    EXPECT_TRUE(P().IsPlaying());

    // The editor follows the real playback, and marks there too.
    OpenEditor();
    Tfm_stretch& editor = *Editor();
    ASSERT_TRUE(PlayedFor(3));
    EXPECT_EQ(editor.btn_play->text(), "Pause");
    const int64_t shown = editor.waveform->PlayHead();
    EXPECT_LE(FromHeard(shown), 0);
    ASSERT_TRUE(PlayedFor(10));
    EXPECT_GT(editor.waveform->PlayHead(), shown);
    QTest::keyClick(editor.windowHandle(), Qt::Key_N);
    const int64_t end = Record(0).EndPos;
    EXPECT_LE(FromHeard(end), kTwentyMs) << end;
    EXPECT_GT(end, begin);
    EXPECT_EQ(Edit("End")->text(), FormatPosition(end, 44100));
    EXPECT_TRUE(prompts_->boxes.isEmpty())
        << (prompts_->boxes.isEmpty() ? std::string() : prompts_->boxes[0].toStdString());

    // Space pauses where the player is, to the frame, and resumes from there.
    QTest::keyClick(editor.windowHandle(), Qt::Key_Space);
    ASSERT_TRUE(P().IsPaused());
    const int64_t paused = W().StretchSide().Host().PlayHeadPos();
    EXPECT_LE(FromHeard(paused), 0);
    EXPECT_EQ(editor.btn_play->text(), "Play");
    QTest::keyClick(editor.windowHandle(), Qt::Key_Space);
    EXPECT_FALSE(P().IsPaused());
    EXPECT_EQ(P().OffsetPos(), paused);
}

TEST_F(StretchWindowTest, TheOverviewShowsTheWholeFileBehindTheBarsWithTheStretchBrighter) {
    SkinWave* begin = Overview("Begin overview");
    SkinWave* end = Overview("End overview");
    ASSERT_NE(begin, nullptr);
    ASSERT_NE(end, nullptr);
    // Under the bars, across their tracks: the handles' centres run 8 pixels in from either end.
    for (auto [wave, barName] : {std::pair{begin, "Begin bar"}, std::pair{end, "End bar"}}) {
        auto* bar = dynamic_cast<QWidget*>(Object(barName));
        ASSERT_NE(bar, nullptr);
        EXPECT_EQ(wave->parentWidget(), bar->parentWidget());
        const QObjectList stack = bar->parentWidget()->children();
        EXPECT_LT(stack.indexOf(wave), stack.indexOf(bar)) << barName;
        EXPECT_EQ(wave->x(), bar->x() + 8);
        EXPECT_EQ(wave->width(), bar->width() - 16);
        EXPECT_TRUE(bar->geometry().adjusted(0, -2, 0, 2).contains(wave->geometry()));
        EXPECT_TRUE(wave->testAttribute(Qt::WA_TransparentForMouseEvents));
    }
    EXPECT_EQ(begin->ShownColumns(), 0);

    AddAll({F().shape});
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return begin->ShownColumns() == begin->Columns() &&
                   end->ShownColumns() == end->Columns();
        },
        kWait));
    // Columns wholly in the first two seconds are silence; those wholly in the last two hold
    // the sine's peaks at half scale (16383 of 32768 in the file).
    const int columns = begin->Columns();
    const int half = columns / 2;
    for (int x = 0; x < columns; ++x) {
        SCOPED_TRACE(x);
        if (x < half - 1) {
            EXPECT_LT(begin->High()[x], 0.001f);
            EXPECT_GT(begin->Low()[x], -0.001f);
        } else if (x > half + 1) {
            EXPECT_NEAR(begin->High()[x], 0.5f, 0.01f);
            EXPECT_NEAR(begin->Low()[x], -0.5f, 0.01f);
        }
    }
    EXPECT_EQ(begin->SpanBegin(), 0);
    EXPECT_EQ(begin->SpanEnd(), 1000);
    // A stretch from 1 s to 3 s of the 4 s file.
    ASSERT_TRUE(W().StretchSide().Host().SetStretch(44100, 132300, "test"));
    EXPECT_EQ(begin->SpanBegin(), 250);
    EXPECT_EQ(end->SpanEnd(), 750);

    // A row whose file is gone shows nothing, and the editor says why.
    const QString doomed = gFiles->dir.filePath("doomed.wav");
    ASSERT_TRUE(QFile::copy(F().five, doomed));
    Add({doomed});
    ASSERT_EQ(Rows(), 2);
    ASSERT_TRUE(QFile::remove(doomed));
    Select(1);
    EXPECT_EQ(begin->ShownColumns(), 0);
    OpenEditor();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return Editor()->lbl_status->text().contains("is not there"); }, kWait))
        << Editor()->lbl_status->text().toStdString();
    // Back on the first row its peaks come from the cache.
    Select(0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return begin->ShownColumns() == begin->Columns(); }, kWait));
}

}  // namespace
}  // namespace quillet
