// Files and folders from outside the dialogs (the command line, a later start, a file
// manager's drop), rows dragged to a new place, and "Sort by Name".
#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QDrag>
#include <QDragEnterEvent>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <memory>

#include "common/FormatTime.h"
#include "support/MainWindowFixture.h"
#include "support/Oracle.h"
#include "tracks/PathOpener.h"

namespace quillet {
namespace {

struct Files {
    QTemporaryDir dir;
    QString Path(const QString& name) const { return dir.filePath(name); }
};
std::unique_ptr<Files> gFiles;

class ListDropTest : public test::MainWindowFixture {
  protected:
    static void SetUpTestSuite() {
        gFiles = std::make_unique<Files>();
        const Files& f = *gFiles;
        QDir().mkpath(f.Path("folder/inner"));
        QDir().mkpath(f.Path("names"));
        test::MakeTone(f.Path("a.mp3"), 44100, 44100, 2, {"-c:a", "libmp3lame"});
        test::MakeTone(f.Path("b.wav"), 88200, 44100, 2, {"-c:a", "pcm_s16le"});
        test::MakeTone(f.Path("c.ogg"), 22050, 22050, 1, {"-c:a", "libvorbis"});
        test::MakeTone(f.Path("folder/one.wav"), 44100, 44100, 1, {"-c:a", "pcm_s16le"});
        test::MakeTone(f.Path("folder/inner/two.WMA"), 44100, 44100, 2, {"-c:a", "wmav2"});
        test::MakeTone(f.Path("folder/.hidden.wav"), 4410, 44100, 1, {"-c:a", "pcm_s16le"});
        QFile text(f.Path("folder/notes.txt"));
        if (text.open(QIODevice::WriteOnly)) text.write("not audio\n");
        text.close();
        QFile fake(f.Path("fake.mp3"));
        if (fake.open(QIODevice::WriteOnly)) fake.write("not a song\n");
        fake.close();
        // Names that sort differently by code point, by case and by number.
        int seconds = 1;
        for (const char* name : {"Track 10.wav", "track 2.wav", "Track 1.wav", "b side.wav",
                                 "A side.wav", "écho.wav"}) {
            test::MakeTone(f.Path(QStringLiteral("names/") + name), 8000 * seconds++, 8000, 1,
                           {"-c:a", "pcm_s16le"});
        }
    }
    static void TearDownTestSuite() { gFiles.reset(); }

    void SetUp() override {
        RemoveSettings();
        Open();
        QCoreApplication::processEvents();
    }

    static QString Path(const QString& name) { return gFiles->Path(name); }

    QStringList FilesOfRows() {
        QStringList paths;
        for (int row = 0; row < Rows(); ++row) paths << L().Record(row).FilePath;
        return paths;
    }
    bool WaitForRows(int rows) {
        return QTest::qWaitFor([&] { return Rows() == rows && !R().IsAdding; }, 30000);
    }

    // A drag over the list and its drop, as the window system delivers them. False when the
    // list refused it at any step.
    bool DropOnList(const QMimeData& data, QPoint at) {
        QWidget* target = W().lv->viewport();
        const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction;
        QDragEnterEvent enter(at, actions, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        if (!enter.isAccepted()) return false;
        QDragMoveEvent move(at, actions, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &move);
        if (!move.isAccepted()) return false;
        QDropEvent drop(at, actions, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
        return drop.isAccepted();
    }
    static std::unique_ptr<QMimeData> Urls(const QStringList& paths) {
        auto data = std::make_unique<QMimeData>();
        QList<QUrl> urls;
        for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
        data->setUrls(urls);
        return data;
    }
    // Where a drop lands in the upper half of the row.
    QPoint AtRow(int row) {
        return W().lv->visualRect(L().index(row, 0)).topLeft() + QPoint(20, 2);
    }
    void DragRow(int from, int to) {
        std::unique_ptr<QMimeData> data(W().lv->RowMimeData(from));
        const QPoint at = to < Rows() ? AtRow(to) : QPoint(20, W().lv->viewport()->height() - 2);
        ASSERT_TRUE(DropOnList(*data, at));
    }
};

TEST_F(ListDropTest, PathsGivenToTheWindowAreAddedAfterItsFirstShowingAsAddFileAddsThem) {
    forms_.fm_main.reset();
    forms_ = CreateMainForms();
    auto prompts = std::make_unique<test::ScriptedPrompts>();
    prompts_ = prompts.get();
    W().SetPrompts(std::move(prompts));
    // As the program's entry hands them over: before the first showing, relative names too.
    const QString saved = QDir::currentPath();
    QDir::setCurrent(gFiles->dir.path());
    W().OpenPaths({"a.mp3", Path("missing.wav"), Path("fake.mp3"), "b.wav"});
    QDir::setCurrent(saved);
    QCoreApplication::processEvents();
    EXPECT_EQ(Rows(), 0);
    W().show();
    ASSERT_EQ(W().StartupError(), QString());
    ASSERT_TRUE(WaitForRows(2));
    EXPECT_EQ(FilesOfRows(), QStringList({Path("a.mp3"), Path("b.wav")}));
    EXPECT_EQ(prompts_->messages, QStringList({Path("missing.wav") + " has been removed!",
                                               Path("fake.mp3") + " is an invalid audio file!"}));
    // As after Add File: the rows, the first one selected and in the editor, the folder kept.
    EXPECT_EQ(Cell(1, 0), "b.wav");
    EXPECT_EQ(Cell(1, 1), "  00:00:00 - 00:00:02");
    EXPECT_EQ(Cell(1, 3), "unconverted");
    EXPECT_EQ(L().Record(1).LengthPos, 88200);
    EXPECT_EQ(L().Count(), 2);
    EXPECT_EQ(Selected(), 0);
    EXPECT_EQ(Bar(kEndBar), 1000);
    EXPECT_EQ(Text(kTotalTime), FormatTime(L().Record(0).LengthSec + 2));
    EXPECT_EQ(S().ReadString("cut", "file path", ""), gFiles->dir.path());
}

TEST_F(ListDropTest, PathsWaitWhileTheWindowIsBusy) {
    R().IsConverting = true;
    W().OpenPaths({Path("a.mp3")});
    QTest::qWait(300);
    EXPECT_EQ(Rows(), 0);
    R().IsConverting = false;
    ASSERT_TRUE(WaitForRows(1));
    // A second batch handed over while one is being added follows it.
    W().OpenPaths({Path("folder")});
    W().OpenPaths({Path("c.ogg")});
    ASSERT_TRUE(WaitForRows(4));
    EXPECT_EQ(FilesOfRows().last(), Path("c.ogg"));
    // Closed, what still waits is dropped.
    W().OpenPaths({Path("b.wav")});
    W().close();
    QTest::qWait(300);
    EXPECT_EQ(Rows(), 4);
}

TEST_F(ListDropTest, AFolderDroppedFromAFileManagerAddsItsAudioFilesAndThoseOfItsSubFolders) {
    ASSERT_TRUE(DropOnList(*Urls({Path("folder"), Path("c.ogg")}), QPoint(30, 30)));
    ASSERT_TRUE(WaitForRows(3));
    // The folder as Add Path with its sub-folders adds it (by extension in any case, no
    // hidden files, no text), then the file.
    const QStringList rows = FilesOfRows();
    EXPECT_EQ(QSet<QString>(rows.begin(), rows.begin() + 2),
              QSet<QString>({Path("folder/one.wav"), Path("folder/inner/two.WMA")}));
    EXPECT_EQ(rows[2], Path("c.ogg"));
    EXPECT_TRUE(prompts_->messages.isEmpty());
    EXPECT_EQ(Selected(), 0);

    // What is not a local file is not taken.
    QMimeData web;
    web.setUrls({QUrl("https://example.org/song.mp3")});
    EXPECT_FALSE(DropOnList(web, QPoint(30, 30)));
    QMimeData text;
    text.setText(Path("a.mp3"));
    EXPECT_FALSE(DropOnList(text, QPoint(30, 30)));
    QTest::qWait(100);
    EXPECT_EQ(Rows(), 3);
}

TEST_F(ListDropTest, DropsAreRefusedWhileAConversionOrAnAddRuns) {
    R().IsConverting = true;
    EXPECT_FALSE(DropOnList(*Urls({Path("a.mp3")}), QPoint(30, 30)));
    // A drop that got past the check and then finds a conversion changes nothing either.
    emit W().lv->FilesDropped({Path("a.mp3")});
    R().IsConverting = false;
    R().IsAdding = true;
    EXPECT_FALSE(DropOnList(*Urls({Path("a.mp3")}), QPoint(30, 30)));
    R().IsAdding = false;
    QTest::qWait(300);
    EXPECT_EQ(Rows(), 0);
    EXPECT_TRUE(prompts_->messages.isEmpty());
    EXPECT_TRUE(DropOnList(*Urls({Path("a.mp3")}), QPoint(30, 30)));
    EXPECT_TRUE(WaitForRows(1));
}

TEST_F(ListDropTest, ADraggedRowMovesWithItsRecordStatusAndThePlayingAndCurrentRows) {
    const QStringList all = {Path("a.mp3"), Path("b.wav"), Path("c.ogg"), Path("folder/one.wav")};
    AddAll(all);
    L().SetStatus(3, "finish");
    Select(1);
    W().Play1Click();
    ASSERT_TRUE(P().IsPlaying());
    ASSERT_EQ(P().PlayingTrack(), 1);

    // The last row to the top.
    DragRow(3, 0);
    EXPECT_EQ(FilesOfRows(), QStringList({all[3], all[0], all[1], all[2]}));
    EXPECT_EQ(Cell(0, 3), "finish");
    EXPECT_EQ(Cell(0, 0), "one.wav");
    EXPECT_EQ(Selected(), 0);
    EXPECT_EQ(L().Record(P().PlayingTrack()).FilePath, all[1]);
    EXPECT_EQ(L().Record(R().CurrentTrack).FilePath, all[1]);
    EXPECT_EQ(L().Status(P().PlayingTrack()), "Playing");

    // The playing row itself, below the last row.
    DragRow(2, Rows());
    EXPECT_EQ(FilesOfRows(), QStringList({all[3], all[0], all[2], all[1]}));
    EXPECT_EQ(P().PlayingTrack(), 3);
    EXPECT_EQ(R().CurrentTrack, 3);
    EXPECT_EQ(Selected(), 3);

    // Onto its own place: nothing moves.
    DragRow(1, 1);
    DragRow(1, 2);
    EXPECT_EQ(FilesOfRows(), QStringList({all[3], all[0], all[2], all[1]}));
    P().StopPlayback();

    // Not during a conversion: the drag is refused before it starts.
    R().IsConverting = true;
    std::unique_ptr<QMimeData> data(W().lv->RowMimeData(0));
    EXPECT_FALSE(DropOnList(*data, AtRow(3)));
    emit W().lv->RowDropped(0, 3);
    R().IsConverting = false;
    EXPECT_EQ(FilesOfRows(), QStringList({all[3], all[0], all[2], all[1]}));

    // Only a row of this list: the same data with another row count or from elsewhere is not.
    QMimeData forged;
    forged.setData("application/x-quillet-row", "1 2 0");
    EXPECT_FALSE(DropOnList(forged, AtRow(2)));
}

// A press on a row and a move: the view starts a drag of that row (the offscreen platform
// ends it at once; the drop side is the one above) and sweeps no selection.
TEST_F(ListDropTest, PressingOnARowAndMovingStartsADragOfIt) {
    const QStringList all = {Path("a.mp3"), Path("b.wav"), Path("c.ogg")};
    AddAll(all);
    QWidget* viewport = W().lv->viewport();
    const QPoint from = AtRow(1);
    QTest::mousePress(viewport, Qt::LeftButton, {}, from);
    ASSERT_EQ(Selected(), 1);
    QTest::mouseMove(viewport, from + QPoint(0, QApplication::startDragDistance() / 2));
    EXPECT_EQ(W().lv->findChild<QDrag*>(), nullptr);
    QTest::mouseMove(viewport, AtRow(2) + QPoint(0, 6));
    auto* drag = W().lv->findChild<QDrag*>();
    ASSERT_NE(drag, nullptr);
    EXPECT_EQ(Selected(), 1);
    // What it carries is the pressed row, and dropped on the last row's lower half it goes
    // there.
    QMimeData carried;
    carried.setData("application/x-quillet-row",
                    drag->mimeData()->data("application/x-quillet-row"));
    const QRect last = W().lv->visualRect(L().index(2, 0));
    ASSERT_TRUE(DropOnList(carried, QPoint(20, last.bottom() - 2)));
    EXPECT_EQ(FilesOfRows(), QStringList({all[0], all[2], all[1]}));
    EXPECT_EQ(Selected(), 2);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, AtRow(2));
}

TEST_F(ListDropTest, SortByNameOrdersTheRowsAsPeopleReadNames) {
    const QStringList names = {"Track 10.wav", "track 2.wav", "Track 1.wav",
                               "b side.wav",   "A side.wav",  "écho.wav"};
    QStringList all;
    for (const QString& name : names) all << Path("names/" + name);
    AddAll(all);
    // A renamed row sorts by its caption, not by its file.
    Select(5);
    W().lvDblClick();
    W().edt_title->setText("Zulu.wav");
    QTest::keyClick(W().edt_title, Qt::Key_Return);
    L().SetStatus(1, "finish");
    Select(1);
    const TrackInfo current = L().Record(1);

    W().SortbyName1->trigger();
    QStringList captions;
    for (int row = 0; row < Rows(); ++row) captions << Cell(row, 0);
    EXPECT_EQ(captions, QStringList({"A side.wav", "b side.wav", "Track 1.wav", "track 2.wav",
                                     "Track 10.wav", "Zulu.wav"}));
    // Records, lengths and statuses went with their rows.
    EXPECT_EQ(FilesOfRows(), QStringList({all[4], all[3], all[2], all[1], all[0], all[5]}));
    for (int row = 0; row < Rows(); ++row) {
        EXPECT_EQ(Cell(row, 2), FormatTime(L().Record(row).LengthSec)) << row;
    }
    EXPECT_EQ(L().Record(4).LengthSec, 1);  // "Track 10.wav" was made 1 s long
    EXPECT_EQ(Cell(3, 3), "finish");
    // The selected and current row is still "track 2.wav".
    EXPECT_EQ(Selected(), 3);
    EXPECT_EQ(R().CurrentTrack, 3);
    EXPECT_EQ(L().Record(3).FilePath, current.FilePath);
    EXPECT_TRUE(prompts_->informations.isEmpty());

    // The popup's twin does the same; sorted rows stay.
    W().SortbyName2->trigger();
    EXPECT_EQ(FilesOfRows(), QStringList({all[4], all[3], all[2], all[1], all[0], all[5]}));
}

TEST_F(ListDropTest, SortByNameIsRefusedWhileConvertingPlayingOrPausedAsClearIs) {
    const QStringList all = {Path("c.ogg"), Path("b.wav"), Path("a.mp3")};
    AddAll(all);
    R().IsConverting = true;
    W().SortbyName1Click();
    R().IsConverting = false;
    Select(0);
    W().Play1Click();
    ASSERT_TRUE(P().IsPlaying());
    W().SortbyName1Click();
    W().Pause1Click();
    ASSERT_TRUE(P().IsPaused());
    W().SortbyName2->trigger();
    EXPECT_EQ(prompts_->informations,
              QStringList({"Please stop converting first.", "Please stop playing first.",
                           "Please stop playing first."}));
    EXPECT_EQ(FilesOfRows(), all);
    P().StopPlayback();
    W().SortbyName1Click();
    EXPECT_EQ(FilesOfRows(), QStringList({all[2], all[1], all[0]}));
    // Never greyed out: it answers for itself.
    EXPECT_TRUE(W().SortbyName1->isEnabled());
    EXPECT_TRUE(W().SortbyName2->isEnabled());
}

TEST(PathOpenerTest, ArgumentsBecomeAbsoluteCleanPaths) {
    const QString saved = QDir::currentPath();
    QDir::setCurrent(QDir::tempPath());
    const QString here = QDir::currentPath();
    EXPECT_EQ(PathOpener::Absolute("a.mp3"), here + "/a.mp3");
    EXPECT_EQ(PathOpener::Absolute("./x/../b c.wav"), here + "/b c.wav");
    EXPECT_EQ(PathOpener::Absolute("/music//é/./d.ogg"), "/music/é/d.ogg");
    // As a file manager's "open with" may give them.
    EXPECT_EQ(PathOpener::Absolute("file:///music/a%20b.mp3"), "/music/a b.mp3");
    // Not a local address: taken as a name, as the shell gave it.
    EXPECT_EQ(PathOpener::Absolute("file:"), here + "/file:");
    QDir::setCurrent(saved);
}

}  // namespace
}  // namespace quillet
