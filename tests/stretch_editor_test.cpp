#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

#include "dialogs/UserPrompts.h"
#include "dialogs/Tfm_stretch.h"
#include "editor/SegmentEdit.h"
#include "editor/StretchEditorHost.h"
#include "editor/TypedTime.h"
#include "support/Oracle.h"
#include "support/ScriptedPrompts.h"
#include "widgets/WaveformView.h"

QT_BEGIN_NAMESPACE
// Texts in failure messages as text.
void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
QT_END_NAMESPACE

namespace quillet {
namespace {

// The program as the editor sees it: one row and a player that only keeps its state. Every
// command is written down.
class FakeHost : public StretchEditorHost {
  public:
    bool HasRow() const override { return hasRow; }
    QString FilePath() const override { return path; }
    int SampleRate() const override { return rate; }
    int64_t LengthPos() const override { return length; }
    int64_t StartPos() const override { return start; }
    int64_t EndPos() const override { return end; }
    bool SetStretch(int64_t s, int64_t e, const QString& reason) override {
        calls << QStringLiteral("SetStretch %1 %2 %3").arg(s).arg(e).arg(reason);
        if (refuse) return false;
        start = s;
        end = e;
        emit StretchChanged();
        return true;
    }
    int64_t PlayHeadPos() const override { return head; }
    bool IsPlaying() const override { return playing; }
    void SetPlayHead(int64_t pos) override {
        calls << QStringLiteral("SetPlayHead %1").arg(pos);
        head = pos;
        emit PlaybackChanged();
    }
    void Play() override {
        calls << QStringLiteral("Play");
        playing = true;
        emit PlaybackChanged();
    }
    void Pause() override {
        calls << QStringLiteral("Pause");
        playing = false;
        emit PlaybackChanged();
    }
    void PlayRange(int64_t from, int64_t to) override {
        calls << QStringLiteral("PlayRange %1 %2").arg(from).arg(to);
        head = from;
        playing = true;
        emit PlaybackChanged();
    }

    bool hasRow = true;
    QString path;
    int rate = 44100;
    int64_t length = 0;
    int64_t start = 0;
    int64_t end = 0;
    int64_t head = 0;
    bool playing = false;
    bool refuse = false;
    QStringList calls;
};

class StretchEditor : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir_ = std::make_unique<QTemporaryDir>();
        qputenv("XDG_CACHE_HOME", dir_->filePath("cache").toUtf8());
        // Ten seconds of stereo at 44.1 kHz: 441000 frames.
        test::MakeTone(dir_->filePath("tone.wav"), 441000, 44100, 2, {"-c:a", "pcm_s16le"});
        test::MakeTone(dir_->filePath("other.wav"), 96000, 48000, 1, {"-c:a", "pcm_s16le"});
    }
    static void TearDownTestSuite() { dir_.reset(); }

    void SetUp() override {
        host_.path = dir_->filePath("tone.wav");
        host_.length = 441000;
        host_.start = 55125;  // 00:00:01.250
        host_.end = 154350;   // 00:00:03.500
        host_.head = 88200;   // 2 s
        editor_ = std::make_unique<Tfm_stretch>(host_, prompts_);
        editor_->show();
        editor_->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(editor_.get()));
        editor_->waveform->setFocus();
        host_.calls.clear();
    }

    QLineEdit* Edit(const QString& name) {
        for (QLineEdit* e : editor_->findChildren<QLineEdit*>())
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
        editor_->waveform->setFocus();
    }
    void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(editor_->waveform, static_cast<Qt::Key>(key), modifiers);
    }
    QString Text(const QString& name) { return Edit(name)->text(); }

    static std::unique_ptr<QTemporaryDir> dir_;
    FakeHost host_;
    test::ScriptedPrompts prompts_;
    std::unique_ptr<Tfm_stretch> editor_;
};

std::unique_ptr<QTemporaryDir> StretchEditor::dir_;

TEST_F(StretchEditor, ShowsTheRowsStretchToTheMillisecond) {
    EXPECT_EQ(Text("Begin"), "00:00:01.250");
    EXPECT_EQ(Text("End"), "00:00:03.500");
    EXPECT_EQ(Text("Length"), "00:00:02.250");
    EXPECT_EQ(editor_->waveform->FilePath(), host_.path);
    EXPECT_EQ(editor_->waveform->Begin(), 55125);
    EXPECT_EQ(editor_->waveform->End(), 154350);
    EXPECT_EQ(editor_->waveform->PlayHead(), 88200);
    EXPECT_FALSE(editor_->isModal());
    EXPECT_TRUE(editor_->windowTitle().contains("tone.wav"));
    // Dark as the skin, and free to grow.
    EXPECT_LT(editor_->palette().color(QPalette::Window).lightness(), 60);
    EXPECT_GT(editor_->maximumWidth(), 5000);
}

TEST_F(StretchEditor, TypedTimesSetExactPositions) {
    Type("Begin", "2.5");
    EXPECT_EQ(host_.calls, QStringList({"SetStretch 110250 154350 Begin typed"}));
    EXPECT_EQ(Text("Begin"), "00:00:02.500");
    EXPECT_EQ(Text("Length"), "00:00:01.000");
    Type("End", "00:00:04.000001");  // 176400.0441 frames
    EXPECT_EQ(host_.start, 110250);
    EXPECT_EQ(host_.end, 176400);
    Type("Length", "0:00.5");
    EXPECT_EQ(host_.end, 110250 + 22050);
    // Past the end of the file is its end.
    Type("End", "1:00:00");
    EXPECT_EQ(host_.end, 441000);
    EXPECT_TRUE(prompts_.informations.isEmpty());
    // Editing done without a change of text changes nothing.
    host_.calls.clear();
    Edit("Begin")->setFocus();
    editor_->waveform->setFocus();
    EXPECT_TRUE(host_.calls.isEmpty());
}

TEST_F(StretchEditor, ATimeTypedWhenTheWindowClosesIsTakenButNotWhenItIsDestroyed) {
    QLineEdit* begin = Edit("Begin");
    begin->setFocus();
    begin->selectAll();
    QTest::keyClicks(begin, "2");
    editor_->close();
    EXPECT_EQ(host_.calls, QStringList({"SetStretch 88200 154350 Begin typed"}));
    editor_->show();
    editor_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(editor_.get()));
    begin->setFocus();
    begin->selectAll();
    QTest::keyClicks(begin, "3");
    editor_.reset();
    EXPECT_EQ(host_.calls.size(), 1);
    EXPECT_EQ(host_.start, 88200);
}

TEST_F(StretchEditor, RefusedTimesGiveTheirMessageAndChangeNothing) {
    Type("Begin", "3.5");  // onto the end
    Type("Begin", "9");
    Type("End", "1.25");  // onto the begin
    Type("End", "0:00.5");
    Type("Length", "0");
    Type("Begin", "abc");
    Type("End", "00:61:00");
    EXPECT_EQ(prompts_.informations,
              QStringList({kBeginRefused, kBeginRefused, kEndRefused, kEndRefused, kEndRefused,
                           kTimeCharacters, kTimeMinutes}));
    EXPECT_TRUE(host_.calls.isEmpty()) << host_.calls.join("; ").toStdString();
    EXPECT_EQ(Text("Begin"), "00:00:01.250");
    EXPECT_EQ(Text("End"), "00:00:03.500");
    EXPECT_EQ(Text("Length"), "00:00:02.250");
    EXPECT_FALSE(editor_->History().CanUndo());
}

TEST_F(StretchEditor, RefusalsAreInformationBoxesWithOneOkButton) {
    QtUserPrompts real(editor_.get());
    Tfm_stretch editor(host_, real);
    editor.show();
    QString caption, text;
    int buttons = 0;
    host_.head = 1000;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        caption = box->windowTitle();
        text = box->text();
        buttons = static_cast<int>(box->buttons().size());
        EXPECT_EQ(box->icon(), QMessageBox::Information);
        box->button(QMessageBox::Ok)->click();
    });
    // The play head before the begin: the end cannot go there.
    editor.MarkEnd();
    EXPECT_EQ(caption, "Information");
    EXPECT_EQ(text, kEndRefused);
    EXPECT_EQ(buttons, 1);
}

TEST_F(StretchEditor, KeysMarkAndMoveThePlayHeadAndPlay) {
    Key(Qt::Key_Space);
    EXPECT_TRUE(host_.playing);
    EXPECT_EQ(editor_->btn_play->text(), "Pause");
    Key(Qt::Key_Space);
    EXPECT_FALSE(host_.playing);
    EXPECT_EQ(editor_->btn_play->text(), "Play");

    host_.head = 100000;
    Key(Qt::Key_B);
    EXPECT_EQ(host_.start, 100000);
    EXPECT_EQ(editor_->waveform->SelectedHandle(), WaveformView::Handle::Begin);
    host_.head = 120000;
    Key(Qt::Key_N);
    EXPECT_EQ(host_.end, 120000);
    EXPECT_EQ(editor_->waveform->SelectedHandle(), WaveformView::Handle::End);
    Key(Qt::Key_BracketLeft);
    EXPECT_EQ(host_.head, 100000);
    EXPECT_EQ(editor_->waveform->PlayHead(), 100000);
    Key(Qt::Key_BracketRight);
    EXPECT_EQ(host_.head, 120000);

    // N at or before the begin, B at or after the end are refused.
    host_.head = 100000;
    Key(Qt::Key_N);
    host_.head = 130000;
    Key(Qt::Key_B);
    EXPECT_EQ(prompts_.informations, QStringList({kEndRefused, kBeginRefused}));
    EXPECT_EQ(host_.start, 100000);
    EXPECT_EQ(host_.end, 120000);

    // P plays two seconds (88200 frames) either side of the selected handle, within the file.
    host_.calls.clear();
    Key(Qt::Key_P);
    EXPECT_EQ(host_.calls, QStringList({"PlayRange 31800 208200"}));
    editor_->waveform->SelectHandle(WaveformView::Handle::Begin);
    editor_->SetPreRollMs(500);
    editor_->SetPostRollMs(250);
    host_.calls.clear();
    Key(Qt::Key_P);
    EXPECT_EQ(host_.calls, QStringList({"PlayRange 77950 111025"}));
}

TEST_F(StretchEditor, KeysZoomAndMixTheView) {
    WaveformView* w = editor_->waveform;
    EXPECT_TRUE(w->View().ShowsAll());
    Key(Qt::Key_Z);
    // The stretch from a twentieth of the width to nineteen twentieths.
    EXPECT_NEAR(w->XOfFrame(55125), w->width() / 20.0, 1.0);
    EXPECT_NEAR(w->XOfFrame(154350), w->width() * 19 / 20.0, 1.0);
    const double close = w->View().FramesPerPixel();
    Key(Qt::Key_Plus);
    EXPECT_DOUBLE_EQ(w->View().FramesPerPixel(), close / 2);
    Key(Qt::Key_Minus);
    EXPECT_DOUBLE_EQ(w->View().FramesPerPixel(), close);
    Key(Qt::Key_A);
    EXPECT_TRUE(w->View().ShowsAll());
    Key(Qt::Key_M);
    EXPECT_TRUE(w->ChannelsMixed());
    EXPECT_TRUE(editor_->cbx_mix->isChecked());
    Key(Qt::Key_M);
    EXPECT_FALSE(w->ChannelsMixed());
    EXPECT_TRUE(host_.calls.isEmpty());
}

TEST_F(StretchEditor, ArrowsMoveTheSelectedHandleByTheStep) {
    editor_->waveform->SelectHandle(WaveformView::Handle::End);
    editor_->cb_step->setCurrentIndex(Tfm_stretch::OneFrame);
    Key(Qt::Key_Right);
    EXPECT_EQ(host_.end, 154351);
    Key(Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_EQ(host_.end, 154361);
    editor_->cb_step->setCurrentIndex(Tfm_stretch::TenMs);  // 441 frames
    Key(Qt::Key_Left);
    EXPECT_EQ(host_.end, 153920);
    editor_->cb_step->setCurrentIndex(Tfm_stretch::HundredMs);  // 4410 frames
    Key(Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_EQ(host_.end, 109820);
    editor_->cb_step->setCurrentIndex(Tfm_stretch::OneSecond);
    editor_->waveform->SelectHandle(WaveformView::Handle::Begin);
    // One second back from 1.25 s stops at the start of the file; then there is no further.
    Key(Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_EQ(host_.start, 0);
    host_.calls.clear();
    Key(Qt::Key_Left);
    EXPECT_TRUE(host_.calls.isEmpty());
    // Onto the end is refused.
    Key(Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_EQ(prompts_.informations, QStringList({kBeginRefused}));
    EXPECT_EQ(host_.start, 0);

    // In a time edit the arrows move its cursor.
    Edit("End")->setFocus();
    QTest::keyClick(Edit("End"), Qt::Key_Left);
    EXPECT_EQ(host_.end, 109820);
}

TEST_F(StretchEditor, AHeldArrowIsOneUndoStep) {
    editor_->waveform->SelectHandle(WaveformView::Handle::End);
    editor_->cb_step->setCurrentIndex(Tfm_stretch::OneFrame);
    for (int i = 0; i < 5; ++i) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier, QString(), i > 0);
        QApplication::sendEvent(editor_->waveform, &press);
    }
    EXPECT_EQ(host_.end, 154355);
    EXPECT_EQ(editor_->History().UndoCount(), 1);
    Key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(host_.end, 154350);
}

TEST_F(StretchEditor, UndoAndRedoGoThroughEveryChange) {
    Type("Begin", "2");
    host_.head = 200000;
    Key(Qt::Key_N);
    editor_->cb_step->setCurrentIndex(Tfm_stretch::OneFrame);
    Key(Qt::Key_Left);
    EXPECT_EQ(host_.start, 88200);
    EXPECT_EQ(host_.end, 199999);
    host_.calls.clear();
    Key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(host_.end, 200000);
    Key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(host_.end, 154350);
    Key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(host_.start, 55125);
    Key(Qt::Key_Z, Qt::ControlModifier);  // nothing left
    EXPECT_EQ(host_.calls.size(), 3);
    EXPECT_TRUE(host_.calls[0].endsWith(" Undo"));
    Key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    Key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(host_.start, 88200);
    EXPECT_EQ(host_.end, 200000);
    EXPECT_TRUE(editor_->btn_undo->isEnabled());
    EXPECT_TRUE(editor_->btn_redo->isEnabled());
    editor_->btn_redo->click();
    EXPECT_EQ(host_.end, 199999);
    EXPECT_FALSE(editor_->btn_redo->isEnabled());
}

TEST_F(StretchEditor, ChangesFromElsewhereAreShownAndUndoable) {
    host_.start = 44100;
    emit host_.StretchChanged();
    EXPECT_EQ(Text("Begin"), "00:00:01.000");
    EXPECT_EQ(editor_->waveform->Begin(), 44100);
    Key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(host_.start, 55125);

    // A change the program does not take leaves the program's stretch shown, and no undo.
    host_.refuse = true;
    Type("Begin", "2");
    EXPECT_EQ(Text("Begin"), "00:00:01.250");
    EXPECT_EQ(editor_->History().UndoCount(), 0);
}

TEST_F(StretchEditor, FollowsTheRowAndItsPlayback) {
    host_.playing = true;
    host_.head = 300000;
    emit host_.PlaybackChanged();
    EXPECT_EQ(editor_->waveform->PlayHead(), 300000);
    EXPECT_EQ(editor_->btn_play->text(), "Pause");

    Type("Begin", "2");
    ASSERT_TRUE(editor_->History().CanUndo());
    host_.path = dir_->filePath("other.wav");
    host_.rate = 48000;
    host_.length = 96000;
    host_.start = 0;
    host_.end = 96000;
    host_.head = 0;
    emit host_.RowChanged();
    EXPECT_EQ(editor_->waveform->FilePath(), host_.path);
    EXPECT_EQ(Text("End"), "00:00:02.000");
    EXPECT_FALSE(editor_->History().CanUndo());
    QSignalSpy ready(editor_->waveform, &WaveformView::PeaksReady);
    ASSERT_TRUE(ready.wait(20000) || editor_->waveform->PeaksComplete());
    EXPECT_EQ(editor_->waveform->Peaks().Channels(), 1);

    // The row went away: nothing to edit, and the keys do nothing.
    host_.hasRow = false;
    emit host_.RowChanged();
    EXPECT_FALSE(Edit("Begin")->isEnabled());
    EXPECT_TRUE(editor_->waveform->FilePath().isEmpty());
    host_.calls.clear();
    Key(Qt::Key_Space);
    Key(Qt::Key_B);
    Key(Qt::Key_Right);
    EXPECT_TRUE(host_.calls.isEmpty());
}

TEST_F(StretchEditor, AFileThatCannotBeReadIsSaidInTheWindow) {
    host_.path = dir_->filePath("gone.wav");
    QSignalSpy failed(editor_->waveform, &WaveformView::Failed);
    emit host_.RowChanged();
    ASSERT_TRUE(failed.wait(10000));
    EXPECT_TRUE(editor_->lbl_status->text().contains("is not there"))
        << editor_->lbl_status->text().toStdString();
    EXPECT_TRUE(editor_->lbl_status->text().contains("gone.wav"));
    // The stretch is still the program's to edit.
    Type("Begin", "2");
    EXPECT_EQ(host_.start, 88200);
    host_.path = dir_->filePath("tone.wav");
    emit host_.RowChanged();
    EXPECT_TRUE(editor_->lbl_status->text().isEmpty());
}

TEST_F(StretchEditor, DraggingAHandleSetsTheStretchOnceWhenLetGo) {
    WaveformView* w = editor_->waveform;
    const int y = w->WaveRect().center().y();
    const int x = w->XOfFrame(154350);
    QTest::mousePress(w, Qt::LeftButton, Qt::NoModifier, QPoint(x, y));
    QTest::mouseMove(w, QPoint(x + 40, y));
    EXPECT_TRUE(host_.calls.isEmpty());
    EXPECT_NE(Text("End"), "00:00:03.500");  // shown while dragged
    QTest::mouseRelease(w, Qt::LeftButton, Qt::NoModifier, QPoint(x + 40, y));
    ASSERT_EQ(host_.calls.size(), 1);
    EXPECT_TRUE(host_.calls[0].endsWith("End dragged"));
    EXPECT_EQ(host_.end, w->End());
    EXPECT_GT(host_.end, 154350);
    EXPECT_EQ(Text("End"), FormatPosition(host_.end, 44100));
    // A click beside the handles moves the play head there.
    QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, QPoint(w->XOfFrame(300000), y));
    EXPECT_NEAR(static_cast<double>(host_.head), 300000.0, w->View().FramesPerPixel());
}

}  // namespace
}  // namespace quillet
