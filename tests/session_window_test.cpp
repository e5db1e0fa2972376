// The list kept between runs, as the window keeps and restores it; Escape in the rename box.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

#include "dialogs/Tfm_set.h"
#include "support/MainWindowFixture.h"
#include "support/Oracle.h"
#include "tracks/SessionFile.h"
#include "tracks/SessionKeeper.h"

namespace quillet {
namespace {

class SessionWindowTest : public test::MainWindowFixture {
  protected:
    void SetUp() override {
        RemoveSettings();
        ASSERT_TRUE(dir_.isValid());
        for (const char* name : {"one.wav", "two.mp3", "three.ogg"}) files_ << Path(name);
        test::MakeTone(files_[0], 88200, 44100, 2, {"-c:a", "pcm_s16le"});
        test::MakeTone(files_[1], 132300, 44100, 2, {"-c:a", "libmp3lame"});
        test::MakeTone(files_[2], 66150, 44100, 1, {"-c:a", "libvorbis"});
    }

    QString Path(const QString& name) const { return dir_.filePath(name); }
    QString SessionPath() const { return Path("state/quillet/session.json"); }
    SessionFile Kept() const { return SessionFile(SessionPath()); }

    // Start-up as the program's first instance does it: keeping the list in the session file.
    // beforeStart runs between the first showing and the restore.
    void OpenKeeping(const std::function<void()>& beforeStart = {}) {
        forms_.fm_main.reset();
        forms_ = CreateMainForms();
        auto prompts = std::make_unique<test::ScriptedPrompts>();
        prompts_ = prompts.get();
        W().SetPrompts(std::move(prompts));
        W().KeepSession(SessionPath());
        W().show();
        ASSERT_EQ(W().StartupError(), QString());
        if (beforeStart) beforeStart();
        // The restore runs once the window has painted.
        QCoreApplication::processEvents();
        ASSERT_FALSE(R().IsAdding);
    }
    // What the window has written, once it holds the given rows.
    std::optional<Session> WaitForKept(size_t rows) {
        std::optional<Session> kept;
        const bool there = QTest::qWaitFor(
            [&] {
                kept = Kept().Read();
                return kept && kept->rows.size() == rows;
            },
            10000);
        return there ? kept : std::nullopt;
    }
    void PressEscape() {
        W().activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&W()));
        QTest::keyClick(W().windowHandle(), Qt::Key_Escape);
    }
    // Rows as the list has them now.
    std::vector<SessionRow> Rows_() {
        std::vector<SessionRow> rows;
        for (int row = 0; row < Rows(); ++row) rows.push_back({L().Record(row), L().Caption(row)});
        return rows;
    }
    static void ExpectSameRows(const std::vector<SessionRow>& a, const std::vector<SessionRow>& b) {
        ASSERT_EQ(a.size(), b.size());
        for (size_t i = 0; i < a.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(a[i].caption, b[i].caption);
            EXPECT_EQ(a[i].record.FilePath, b[i].record.FilePath);
            EXPECT_EQ(a[i].record.StartPos, b[i].record.StartPos);
            EXPECT_EQ(a[i].record.EndPos, b[i].record.EndPos);
            EXPECT_EQ(a[i].record.StartSec, b[i].record.StartSec);
            EXPECT_EQ(a[i].record.EndSec, b[i].record.EndSec);
            EXPECT_EQ(a[i].record.LengthPos, b[i].record.LengthPos);
            EXPECT_EQ(a[i].record.LengthSec, b[i].record.LengthSec);
        }
    }

    QTemporaryDir dir_;
    QStringList files_;
};

TEST_F(SessionWindowTest, EscapeThenAStartBringsBackTheSameRowsAndStretches) {
    OpenKeeping();
    AddAll(files_);
    // A stretch to the exact position, as the stretch editor sets it, on the second row, and
    // one by the skin's step on the first; a rename on the third.
    L().SetBegin(1, 12345, 0);
    L().SetEnd(1, 100001, 2);
    L().ShowSegment(1);
    Select(0);
    Press("Begin right");
    Select(2);
    W().lvDblClick();
    W().edt_title->setText("Opening.ogg");
    QTest::keyClick(W().edt_title, Qt::Key_Return);
    Select(1);
    const std::vector<SessionRow> before = Rows_();
    const QString segment = Cell(1, 1);
    ASSERT_EQ(before[0].record.StartPos, 44100);
    ASSERT_EQ(before[2].caption, "Opening.ogg");

    PressEscape();
    EXPECT_FALSE(W().isVisible());
    const auto kept = Kept().Read();
    ASSERT_TRUE(kept.has_value());
    ExpectSameRows(kept->rows, before);
    EXPECT_EQ(kept->current, 1);

    OpenKeeping();
    ExpectSameRows(Rows_(), before);
    EXPECT_TRUE(prompts_->messages.isEmpty());
    EXPECT_EQ(L().Count(), 3);
    EXPECT_EQ(Cell(1, 1), segment);
    EXPECT_EQ(Cell(1, 3), "unconverted");
    // The row that was current is selected and in the editor.
    EXPECT_EQ(Selected(), 1);
    EXPECT_EQ(R().CurrentTrack, 1);
    EXPECT_EQ(Text(kBeginTime), "00:00:00");
    EXPECT_EQ(Text(kEndTime), "00:00:02");
    EXPECT_EQ(Text(kTotalTime), "00:00:04");  // (2 - 1) + (2 - 0) + (1 - 0)
    EXPECT_FALSE(R().IsAdding);
    EXPECT_TRUE(W().AddFile1->isEnabled());
    // Nothing changed, so nothing is written again.
    const QDateTime written = QFileInfo(SessionPath()).lastModified();
    QTest::qWait(SessionKeeper::kDelayMs * 3);
    EXPECT_EQ(QFileInfo(SessionPath()).lastModified(), written);
}

TEST_F(SessionWindowTest, WithoutASessionFileTheWindowStartsAsBeforeAndLeavesNone) {
    OpenKeeping();
    EXPECT_EQ(Rows(), 0);
    EXPECT_TRUE(prompts_->messages.isEmpty());
    EXPECT_EQ(Text(kTotalTime), "00:00:00");
    QTest::qWait(SessionKeeper::kDelayMs * 2);
    W().Exit1->trigger();
    EXPECT_FALSE(QFile::exists(SessionPath()));
    EXPECT_FALSE(QDir(Path("state")).exists());
}

TEST_F(SessionWindowTest, TheListIsWrittenAsItChanges) {
    OpenKeeping();
    AddAll({files_[0], files_[1]});
    auto kept = WaitForKept(2);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->rows[1].record.FilePath, files_[1]);
    Select(1);
    W().MoveUp();
    ASSERT_TRUE(QTest::qWaitFor([&] {
        kept = Kept().Read();
        return kept && kept->rows[0].record.FilePath == files_[1];
    }));
    EXPECT_EQ(kept->current, 0);
    // A move of a few samples changes no text in the list, and is kept all the same.
    L().SetBegin(0, 1234, 0);
    ASSERT_TRUE(QTest::qWaitFor([&] {
        kept = Kept().Read();
        return kept && kept->rows[0].record.StartPos == 1234;
    }));
    W().Clear1Click();
    ASSERT_TRUE(WaitForKept(0));
    AddAll(files_);
    ASSERT_TRUE(WaitForKept(3));
}

TEST_F(SessionWindowTest, AGoneFileIsNamedAndAChangedOneComesBackAsNew) {
    OpenKeeping();
    AddAll(files_);
    for (int row : {0, 2}) {
        L().SetBegin(row, 1000, 0);
        L().ShowSegment(row);
    }
    L().Rename(2, "Kept name.ogg");
    Select(2);
    W().Exit1Click();
    ASSERT_TRUE(Kept().Read());

    // Between the runs: the first file goes, the third is made longer.
    ASSERT_TRUE(QFile::remove(files_[0]));
    ASSERT_TRUE(QFile::remove(files_[2]));
    test::MakeTone(files_[2], 88200, 44100, 1, {"-c:a", "libvorbis"});

    OpenKeeping();
    EXPECT_EQ(prompts_->messages, QStringList({files_[0] + " has been removed!"}));
    ASSERT_EQ(Rows(), 2);
    EXPECT_EQ(L().Record(0).FilePath, files_[1]);
    EXPECT_EQ(L().Record(0).StartPos, 0);
    EXPECT_EQ(L().Record(1).FilePath, files_[2]);
    EXPECT_EQ(Cell(1, 0), "Kept name.ogg");
    // The whole of the new file, not the old stretch.
    EXPECT_EQ(L().Record(1).LengthPos, 88200);
    EXPECT_EQ(L().Record(1).StartPos, 0);
    EXPECT_EQ(L().Record(1).EndPos, 88200);
    EXPECT_EQ(Cell(1, 1), "  00:00:00 - 00:00:02");
    // The current row's file is still there: it is current again.
    EXPECT_EQ(Selected(), 1);
    // The gone file leaves the kept list, so the next start names it no more.
    const auto kept = WaitForKept(2);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->current, 1);
    OpenKeeping();
    EXPECT_TRUE(prompts_->messages.isEmpty());
    EXPECT_EQ(Rows(), 2);
}

TEST_F(SessionWindowTest, ClosingWhileTheListComesBackLosesNoneOfIt) {
    Session many;
    OpenKeeping();
    AddAll({files_[0]});
    for (int i = 0; i < 40; ++i)
        many.rows.push_back({L().Record(0), QStringLiteral("%1.wav").arg(i)});
    W().close();
    ASSERT_EQ(Kept().Write(many), std::nullopt);
    const QByteArray before = [&] {
        QFile f(SessionPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    // Closed in the restore's first message pump, by the window's close box as it were.
    OpenKeeping([&] { QTimer::singleShot(0, &W(), [&] { W().close(); }); });
    EXPECT_LT(Rows(), 40);
    QTest::qWait(SessionKeeper::kDelayMs * 3);
    forms_.fm_main.reset();
    QFile after(SessionPath());
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll(), before);
}

TEST_F(SessionWindowTest, ADamagedSessionFileIsIgnored) {
    OpenKeeping();
    AddAll(files_);
    W().close();
    QFile file(SessionPath());
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    const QByteArray whole = file.readAll();
    for (const QByteArray& damaged :
         {whole.left(whole.size() / 2), QByteArray("{\"format\": \"quillet-session\"}"),
          QByteArray(whole).replace("\"version\": 1", "\"version\": 7"), QByteArray()}) {
        ASSERT_TRUE(file.resize(0));
        file.seek(0);
        file.write(damaged);
        file.flush();
        OpenKeeping();
        EXPECT_EQ(Rows(), 0);
        EXPECT_TRUE(prompts_->messages.isEmpty());
        EXPECT_TRUE(W().AddFile1->isEnabled());
        W().close();
        // Left as it is until the list changes.
        file.seek(0);
        EXPECT_EQ(file.readAll(), damaged);
    }
    OpenKeeping();
    AddAll({files_[1]});
    const auto kept = WaitForKept(1);
    ASSERT_TRUE(kept);
}

TEST_F(SessionWindowTest, TheSettingsCheckBoxTurnsKeepingOffAndOn) {
    OpenKeeping();
    AddAll({files_[0]});
    ASSERT_TRUE(WaitForKept(1));
    // Off: the kept list goes, and nothing more is written.
    prompts_->inside = [](QDialog& d) {
        auto& set = static_cast<Tfm_set&>(d);
        EXPECT_TRUE(set.cbx_session->isChecked());
        set.cbx_session->setChecked(false);
        set.btn_ok->click();
    };
    W().Option1Click();
    EXPECT_FALSE(S().ReadBool("basic", "keep session", true));
    EXPECT_FALSE(QFile::exists(SessionPath()));
    Add({files_[1]});
    ASSERT_EQ(Rows(), 2);
    QTest::qWait(SessionKeeper::kDelayMs * 3);
    W().close();
    EXPECT_FALSE(QFile::exists(SessionPath()));

    // A start with keeping off does not bring back a list that a file holds.
    SessionFile(SessionPath()).Write(Session{{{L().Record(0), "one.wav"}}, 0});
    OpenKeeping();
    EXPECT_EQ(Rows(), 0);
    // On again: the list as it stands is kept at once.
    AddAll({files_[2]});
    prompts_->inside = [](QDialog& d) {
        auto& set = static_cast<Tfm_set&>(d);
        EXPECT_FALSE(set.cbx_session->isChecked());
        set.cbx_session->setChecked(true);
        set.btn_ok->click();
    };
    W().Option1Click();
    EXPECT_TRUE(S().ReadBool("basic", "keep session", false));
    EXPECT_TRUE(QTest::qWaitFor([&] {
        const auto kept = Kept().Read();
        return kept && kept->rows.size() == 1 && kept->rows[0].record.FilePath == files_[2];
    }));
}

TEST_F(SessionWindowTest, OkLeavesTheKeyAloneWhenTheBoxWasNotTouched) {
    OpenKeeping();
    prompts_->inside = [](QDialog& d) { static_cast<Tfm_set&>(d).btn_ok->click(); };
    W().Option1Click();
    QFile ini(SettingsFile::DefaultPath());
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    EXPECT_FALSE(ini.readAll().contains("keep session"));
}

TEST_F(SessionWindowTest, AFailedWriteIsShownOnceAndTheListStays) {
    // The state folder cannot be made: a file stands where it would go.
    QFile blocker(Path("state"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    OpenKeeping();
    AddAll({files_[0]});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !prompts_->messages.isEmpty(); }, 10000));
    Add({files_[1]});
    QTest::qWait(SessionKeeper::kDelayMs * 3);
    W().close();
    ASSERT_EQ(prompts_->messages.size(), 1);
    EXPECT_TRUE(prompts_->messages[0].startsWith("Unable to write to " + SessionPath()))
        << prompts_->messages[0].toStdString();
    EXPECT_EQ(Rows(), 2);
}

TEST_F(SessionWindowTest, EscapeInTheRenameBoxCancelsTheRenameAndClosesNothing) {
    OpenKeeping();
    // A file name the rename filter would change: a cancel must not touch it.
    const QString odd = Path("a:b.wav");
    ASSERT_TRUE(QFile::copy(files_[0], odd));
    AddAll({odd, files_[1]});
    Select(0);
    W().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&W()));
    W().lvDblClick();
    ASSERT_TRUE(W().edt_title->isVisible());
    ASSERT_TRUE(QTest::qWaitFor([&] { return W().edt_title->hasFocus(); }));
    QTest::keyClick(W().windowHandle(), 'x');
    EXPECT_EQ(W().edt_title->text(), "a:b.wavx");
    QTest::keyClick(W().windowHandle(), Qt::Key_Escape);
    EXPECT_FALSE(W().edt_title->isVisible());
    EXPECT_TRUE(W().isVisible());
    EXPECT_NE(W().Settings(), nullptr);
    EXPECT_EQ(Cell(0, 0), "a:b.wav");
    // Rows moving after the cancel take no late rename with them.
    Select(1);
    W().MoveUp();
    EXPECT_EQ(Cell(1, 0), "a:b.wav");
    // With the box closed, Escape closes the window as before, and the list is kept.
    QTest::keyClick(W().windowHandle(), Qt::Key_Escape);
    EXPECT_FALSE(W().isVisible());
    const auto kept = Kept().Read();
    ASSERT_TRUE(kept);
    ASSERT_EQ(kept->rows.size(), 2u);
    EXPECT_EQ(kept->rows[1].caption, "a:b.wav");
}

}  // namespace
}  // namespace quillet
