#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <random>

#include "app/MainForms.h"
#include "app/Tfm_main.h"
#include "common/FormatTime.h"
#include "dialogs/Tfm_dir.h"
#include "platform/skin/SkinSlider.h"
#include "platform/skin/TSkin.h"
#include "support/MainWindowFixture.h"
#include "support/Oracle.h"
#include "tracks/TrackRowText.h"

namespace quillet {
namespace {

// Short files of the four formats, made once for all tests.
struct Fixtures {
    QTemporaryDir dir;
    QStringList audio;   // valid, of the four formats
    QList<int> seconds;  // their whole seconds by ffprobe
    QString text;        // a text file named .mp3
    QString zero;        // a zero-byte .wav
    QString shortWav;    // half a second
    QString longWav;     // 3725.9 seconds
};

std::unique_ptr<Fixtures> gFixtures;

int ProbeSeconds(const QString& path) {
    return static_cast<int>(test::ProbeStream(path, "duration").toDouble());
}

QString ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

class TrackListTest : public test::MainWindowFixture {
  protected:
    static void SetUpTestSuite() {
        gFixtures = std::make_unique<Fixtures>();
        Fixtures& f = *gFixtures;
        const QString base = f.dir.path() + "/src/";
        QDir().mkpath(base);
        struct Make {
            const char* name;
            int frames;
            QStringList options;
        };
        const Make makes[] = {
            {"one.wav", 66150, {"-c:a", "pcm_s16le"}},
            {"two é.mp3", 99225, {"-c:a", "libmp3lame", "-b:a", "96k"}},
            {"three 'q'.ogg", 52920, {"-c:a", "libvorbis"}},
            {"four.wma", 110250, {"-c:a", "wmav2", "-b:a", "64k"}},
        };
        for (const Make& m : makes) {
            const QString path = base + m.name;
            test::MakeTone(path, m.frames, 44100, 2, m.options);
            f.audio << path;
            f.seconds << ProbeSeconds(path);
        }
        f.text = base + "text.mp3";
        QFile t(f.text);
        if (t.open(QIODevice::WriteOnly)) t.write("not a song\n");
        t.close();
        f.zero = base + "zero.wav";
        QFile z(f.zero);
        if (z.open(QIODevice::WriteOnly)) z.close();
        f.shortWav = base + "short.wav";
        test::MakeTone(f.shortWav, 22050, 44100, 1, {"-c:a", "pcm_s16le"});
        // 3725.9 s at a low rate keeps the file small.
        f.longWav = base + "long.wav";
        test::Ffmpeg({"-f", "lavfi", "-i", "anullsrc=r=1000:cl=mono", "-t", "3725.9", "-c:a",
                      "pcm_u8", f.longWav});
    }
    static void TearDownTestSuite() { gFixtures.reset(); }

    void SetUp() override {
        RemoveSettings();
        Open();
    }

    Fixtures& F() { return *gFixtures; }
    // The user's drag of the "Current bar", which the skin reports as a whole gesture.
    void DragCurrentBar(int position) {
        auto* bar = dynamic_cast<SkinSlider*>(Object("Current bar"));
        ASSERT_NE(bar, nullptr);
        bar->MoveByUser(position);
    }

    // Shows the folder chooser for real and answers it.
    void AddFolder(const QString& folder, bool sub) {
        prompts_->inside = [folder, sub](QDialog& d) {
            auto& dir = static_cast<Tfm_dir&>(d);
            ASSERT_TRUE(dir.SelectFolder(folder));
            ASSERT_TRUE(dir.cbx_sub->isVisible());
            dir.cbx_sub->setChecked(sub);
            dir.btn_ok->click();
        };
        W().AddPath1Click();
    }

    // Row k holds the file of record k, with the caption given (its file name by default);
    // the count and the total time agree with the rows.
    void ExpectList(const QStringList& paths, const QStringList& captions = {}) {
        ASSERT_EQ(Rows(), L().Count());
        ASSERT_EQ(Rows(), paths.size());
        int total = 0;
        for (int k = 0; k < Rows(); ++k) {
            const TrackInfo& t = L().Record(k);
            EXPECT_EQ(t.FilePath, paths[k]) << "row " << k;
            const QString caption =
                captions.isEmpty() ? QFileInfo(paths[k]).fileName() : captions[k];
            EXPECT_EQ(Cell(k, 0), caption) << "row " << k;
            EXPECT_EQ(Cell(k, 2), FormatTime(t.LengthSec)) << "row " << k;
            total += t.EndSec - t.StartSec;
        }
        EXPECT_EQ(Text(kTotalTime), FormatTime(total));
    }

    bool AddingMenusEnabled() {
        for (QAction* a : {W().AddFile1, W().AddFile2, W().Remove1, W().Remove2, W().Clear1,
                           W().Clear2, W().Cut1, W().Cut2, W().Join1, W().Join2}) {
            if (!a->isEnabled()) return false;
        }
        return true;
    }
};

}  // namespace

TEST_F(TrackListTest, InvalidFileInTheMiddleGivesOneMessageAndTwoRows) {
    const QStringList files = {F().audio[0], F().text, F().audio[2]};
    Add(files);
    EXPECT_EQ(prompts_->messages, QStringList({F().text + " is an invalid audio file!"}));
    ExpectList({F().audio[0], F().audio[2]});
    EXPECT_EQ(Cell(0, 1), "  00:00:00 - " + FormatTime(F().seconds[0]));
    EXPECT_EQ(Cell(0, 2), FormatTime(F().seconds[0]));
    EXPECT_EQ(Cell(0, 3), "unconverted");
    EXPECT_EQ(L().Record(1).LengthSec, F().seconds[2]);
    EXPECT_EQ(L().Record(1).EndPos, L().Record(1).LengthPos);
    EXPECT_GT(L().Record(1).LengthPos, 0);
    EXPECT_FALSE(R().IsAdding);
    EXPECT_TRUE(AddingMenusEnabled());
    // The folder of the chosen files is where the next dialog opens.
    EXPECT_EQ(S().ReadString("cut", "file path", ""), QFileInfo(F().audio[0]).absolutePath());
    Add({});
    EXPECT_EQ(prompts_->openDirs.last(), QFileInfo(F().audio[0]).absolutePath());
}

// The filter as the dialog shows it; that Qt's dialog then offers every case of the
// extensions is the prompts' own (file_dialog_test).
TEST_F(TrackListTest, OpenDialogShowsThePlainFilter) {
    Add({});
    ASSERT_EQ(prompts_->openFilters.size(), 1);
    EXPECT_EQ(prompts_->openFilters.front(),
              "All Supported Files(*.mp3 *.wav *.wma *.ogg);;MP3 Files(*.mp3);;"
              "WAV Files(*.wav);;WMA Files(*.wma);;OGG Files(*.ogg)");
}

TEST_F(TrackListTest, MissingZeroByteAndAwkwardFiles) {
    const QString gone = F().dir.path() + "/src/gone.mp3";
    Add({gone, F().zero, F().shortWav, F().longWav});
    EXPECT_EQ(prompts_->messages,
              QStringList({gone + " has been removed!", F().zero + " is an invalid audio file!"}));
    ExpectList({F().shortWav, F().longWav});
    EXPECT_EQ(Cell(0, 1), "  00:00:00 - 00:00:00");
    EXPECT_EQ(Cell(1, 1), "  00:00:00 - 01:02:05");
    EXPECT_EQ(Cell(1, 2), "01:02:05");
}

TEST_F(TrackListTest, AddingToAnEmptyListPreparesTheEditor) {
    Add({F().audio[1], F().audio[0]});
    EXPECT_EQ(Selected(), 0);
    EXPECT_EQ(Text(kEndTime), FormatTime(F().seconds[1]));
    EXPECT_EQ(Bar(kBeginBar), 0);
    EXPECT_EQ(Bar(kEndBar), 1000);
    EXPECT_EQ(Bar(kCurrentBar), 0);
    EXPECT_EQ(Text(kCurrentTime), "00:00:00");

    // Adding while a row is selected keeps that row and leaves the editor alone.
    Select(1);
    const QString endTime = Text(kEndTime);
    Add({F().longWav});
    EXPECT_EQ(Selected(), 1);
    EXPECT_EQ(R().CurrentTrack, 1);
    EXPECT_EQ(Text(kEndTime), endTime);
    ExpectList({F().audio[1], F().audio[0], F().longWav});
    EXPECT_EQ(Text(kTotalTime), FormatTime(F().seconds[1] + F().seconds[0] + 3725));
}

TEST_F(TrackListTest, RemovingRows) {
    const QStringList all = {F().audio[0], F().audio[1], F().audio[2], F().audio[3]};
    Add(all);
    // The last row: the row above becomes selected.
    Select(3);
    W().RemoveSelected();
    ExpectList(all.mid(0, 3));
    EXPECT_EQ(Selected(), 2);
    EXPECT_EQ(R().CurrentTrack, 2);
    // A middle row: the row that moved up into its place.
    Select(1);
    W().RemoveSelected();
    ExpectList({all[0], all[2]});
    EXPECT_EQ(Selected(), 1);
    EXPECT_EQ(Text(kEndTime), FormatTime(F().seconds[2]));
    // The only row: the editor goes back to zero, the Current bar stays.
    Select(0);
    W().RemoveSelected();
    DragCurrentBar(300);
    W().RemoveSelected();
    ExpectList({});
    for (SkinText t : {kTotalTime, kCurrentTime, kBeginTime, kEndTime})
        EXPECT_EQ(Text(t), "00:00:00");
    EXPECT_EQ(Bar(kBeginBar), 0);
    EXPECT_EQ(Bar(kEndBar), 0);
    EXPECT_EQ(Bar(kCurrentBar), 300);
    // Nothing selected in an empty list: nothing happens.
    W().RemoveSelected();
    EXPECT_EQ(Rows(), 0);
}

TEST_F(TrackListTest, ThePlayingRowStaysAndFollowsItsFileWhenARowAboveGoes) {
    const QStringList all = {F().audio[0], F().longWav, F().audio[2]};
    Add(all);
    Select(1);
    W().Play1Click();
    ASSERT_TRUE(P().IsPlaying());
    ASSERT_EQ(P().PlayingTrack(), 1);
    W().RemoveSelected();
    EXPECT_EQ(prompts_->informations, QStringList({"Please stop playing first."}));
    ExpectList(all);
    Select(0);
    W().RemoveSelected();
    EXPECT_EQ(P().PlayingTrack(), 0);
    EXPECT_EQ(L().Record(P().PlayingTrack()).FilePath, F().longWav);
    EXPECT_EQ(L().Status(0), "Playing");
    EXPECT_TRUE(P().IsPlaying());
    ExpectList({all[1], all[2]});
}

TEST_F(TrackListTest, ClearIsRefusedWhileConvertingOrPlaying) {
    Add({F().audio[0], F().audio[1]});
    R().IsConverting = true;
    W().Clear1Click();
    R().IsConverting = false;
    W().Play1Click();
    ASSERT_TRUE(P().IsPlaying());
    W().Clear1Click();
    P().StopPlayback();
    EXPECT_EQ(prompts_->informations,
              QStringList({"Please stop converting first.", "Please stop playing first."}));
    EXPECT_EQ(Rows(), 2);
    DragCurrentBar(400);
    W().Clear1Click();
    ExpectList({});
    EXPECT_EQ(Bar(kCurrentBar), 0);
    EXPECT_EQ(Text(kEndTime), "00:00:00");
    // Adding after a clear starts from row 0 again and edits that row.
    Add({F().audio[2]});
    ExpectList({F().audio[2]});
    EXPECT_EQ(Selected(), 0);
    EXPECT_EQ(R().CurrentTrack, 0);
}

TEST_F(TrackListTest, MovingRows) {
    const QStringList all = {F().audio[0], F().audio[1], F().audio[2]};
    Add(all);
    Select(0);
    W().MoveUp();  // the first row cannot go up
    ExpectList(all);
    EXPECT_EQ(Selected(), 0);
    Select(2);
    W().MoveDown();  // nor the last row down
    ExpectList(all);

    Select(1);
    W().Play1Click();
    ASSERT_EQ(P().PlayingTrack(), 1);
    L().SetStatus(2, "finish");
    Select(2);
    W().MoveUp();
    ExpectList({all[0], all[2], all[1]});
    EXPECT_EQ(Selected(), 1);
    EXPECT_EQ(Cell(1, 3), "finish");
    EXPECT_EQ(P().PlayingTrack(), 2);
    // The editor still shows the moved file, and its commands still act on it.
    EXPECT_EQ(L().Record(R().CurrentTrack).FilePath, all[2]);
    W().MoveDown();
    ExpectList(all);
    EXPECT_EQ(Selected(), 2);
    EXPECT_EQ(P().PlayingTrack(), 1);
    R().IsConverting = true;
    W().MoveUp();
    R().IsConverting = false;
    ExpectList(all);
}

TEST_F(TrackListTest, RenamingInPlace) {
    Add({F().audio[0], F().audio[1]});
    Select(1);
    W().lvDblClick();
    ASSERT_TRUE(W().edt_title->isVisible());
    EXPECT_EQ(W().edt_title->text(), QFileInfo(F().audio[1]).fileName());
    EXPECT_EQ(W().edt_title->width(), 125);
    EXPECT_EQ(W().edt_title->height(), 16);
    const QRect row = W().lv->visualRect(L().index(1, 0));
    EXPECT_EQ(W().edt_title->y(), row.top() - 1);
    W().edt_title->setText("a*b?.mp3");
    QTest::keyClick(W().edt_title, Qt::Key_Return);
    EXPECT_FALSE(W().edt_title->isVisible());
    EXPECT_EQ(Cell(1, 0), "ab.mp3");
    EXPECT_EQ(L().Record(1).FilePath, F().audio[1]);

    // Forbidden characters only, or nothing: the caption stays.
    for (const QString& typed : {QStringLiteral(R"(*?|:"/\<>)"), QString()}) {
        W().lvDblClick();
        W().edt_title->setText(typed);
        W().edt_titleExit();
        EXPECT_FALSE(W().edt_title->isVisible());
        EXPECT_EQ(Cell(1, 0), "ab.mp3");
    }
    // Leaving the box ends the edit as Enter does.
    W().lvDblClick();
    W().edt_title->setText("x<y>.ogg");
    W().edt_titleExit();
    EXPECT_EQ(Cell(1, 0), "xy.ogg");
    EXPECT_EQ(Cell(0, 0), QFileInfo(F().audio[0]).fileName());

    R().IsConverting = true;
    W().lvDblClick();
    EXPECT_FALSE(W().edt_title->isVisible());
    R().IsConverting = false;
}

TEST_F(TrackListTest, ARenameStillOpenEndsOnItsOwnRowWhenRowsChange) {
    // The skin's buttons take no focus, so "Up", "Down", "Remove" and "Clear" can run while
    // the rename box is open; the typed name must go to the row it was typed for, and the box
    // must not stay open over a row that now holds another file.
    const QStringList all = {F().audio[0], F().audio[1], F().audio[2]};
    Add(all);
    Select(1);
    W().lvDblClick();
    W().edt_title->setText("up.mp3");
    W().MoveUp();
    EXPECT_FALSE(W().edt_title->isVisible());
    ExpectList({all[1], all[0], all[2]},
               {"up.mp3", QFileInfo(all[0]).fileName(), QFileInfo(all[2]).fileName()});

    W().lvDblClick();  // row 0 is selected
    W().edt_title->setText("down.mp3");
    W().MoveDown();
    EXPECT_FALSE(W().edt_title->isVisible());
    ExpectList({all[0], all[1], all[2]},
               {QFileInfo(all[0]).fileName(), "down.mp3", QFileInfo(all[2]).fileName()});

    W().lvDblClick();  // row 1 is selected
    W().edt_title->setText("gone.mp3");
    W().RemoveSelected();
    EXPECT_FALSE(W().edt_title->isVisible());
    ExpectList({all[0], all[2]});

    W().lvDblClick();
    W().edt_title->setText("cleared.mp3");
    W().Clear1Click();
    EXPECT_FALSE(W().edt_title->isVisible());
    Add({all[0], all[1]});
    ExpectList({all[0], all[1]});
}

TEST_F(TrackListTest, ClickOnEmptySpaceKeepsTheCurrentRow) {
    Add({F().audio[0], F().audio[1]});
    Select(1);
    QWidget* viewport = W().lv->viewport();
    const QPoint below(10, viewport->height() - 5);
    ASSERT_FALSE(W().lv->indexAt(below).isValid());
    QTest::mouseClick(viewport, Qt::LeftButton, {}, below);
    EXPECT_EQ(Selected(), 1);
    EXPECT_EQ(R().CurrentTrack, 1);
    // A click on a row loads its stretch into the editor.
    const QRect row0 = W().lv->visualRect(L().index(0, 0));
    QTest::mouseClick(viewport, Qt::LeftButton, {}, row0.center());
    EXPECT_EQ(R().CurrentTrack, 0);
    EXPECT_EQ(Text(kEndTime), FormatTime(F().seconds[0]));
    EXPECT_EQ(Text(kBeginTime), "00:00:00");
    EXPECT_EQ(Bar(kEndBar), 1000);
}

TEST_F(TrackListTest, ListHoldsAtMost10001Files) {
    // Rows up to one short of the end, as earlier adds would have left them.
    for (int k = 0; k < TrackTable::kCapacity - 2; ++k)
        ASSERT_TRUE(L().Append(F().audio[0], "x", 100, 1000));
    L().UpdateCount();
    Add({F().audio[1], F().audio[2], F().audio[3]});
    EXPECT_EQ(Rows(), TrackTable::kCapacity);
    EXPECT_EQ(L().Count(), TrackTable::kCapacity);
    EXPECT_EQ(L().Record(TrackTable::kCapacity - 1).FilePath, F().audio[2]);
    EXPECT_EQ(prompts_->messages, QStringList({"The list is full: at most 10001 files."}));
    EXPECT_FALSE(R().IsAdding);
    EXPECT_TRUE(AddingMenusEnabled());
}

TEST_F(TrackListTest, SettingsThatCannotBeWrittenLeaveTheMenusUsable) {
    // A folder where the settings file should be: every write fails.
    QFile::remove(SettingsFile::DefaultPath());
    ASSERT_TRUE(QDir().mkpath(SettingsFile::DefaultPath()));
    prompts_->files = {F().audio[0]};
    EXPECT_THROW(W().AddFiles(), SettingsError);
    QDir(SettingsFile::DefaultPath()).removeRecursively();
    EXPECT_FALSE(R().IsAdding);
    EXPECT_TRUE(AddingMenusEnabled());
    EXPECT_EQ(L().Count(), Rows());
    Add({F().audio[0]});
    ExpectList({F().audio[0]});
}

TEST_F(TrackListTest, ClosingTheWindowEndsAnAddCleanly) {
    QStringList many;
    for (int i = 0; i < 40; ++i) many << F().audio[i % 4];
    QString iniAtClose;
    QTimer watcher;
    watcher.setInterval(0);
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        if (Rows() < 3 || !W().isVisible()) return;
        W().close();
        iniAtClose = ReadAll(SettingsFile::DefaultPath());
    });
    watcher.start();
    Add(many);
    watcher.stop();
    EXPECT_FALSE(W().isVisible());
    EXPECT_GE(Rows(), 3);
    EXPECT_LT(Rows(), 40);
    EXPECT_EQ(L().Count(), Rows());
    EXPECT_FALSE(R().IsAdding);
    EXPECT_TRUE(prompts_->messages.isEmpty());
    EXPECT_EQ(ReadAll(SettingsFile::DefaultPath()), iniAtClose);
}

TEST_F(TrackListTest, AddPathScansInEnumerationOrder) {
    QTemporaryDir tmp;
    const QString root = tmp.path() + "/lib";
    const auto put = [&](const QString& rel, const QString& from) {
        QDir().mkpath(QFileInfo(root + "/" + rel).path());
        ASSERT_TRUE(QFile::copy(from, root + "/" + rel));
    };
    put("a.mp3", F().audio[1]);
    put("b.txt", F().text);
    put("c.WMA", F().audio[3]);
    put(".hidden.mp3", F().audio[1]);
    put("bad.ogg", F().text);
    for (int i = 0; i < 4; ++i) put(QStringLiteral("sub%1/in%1.wav").arg(i), F().audio[0]);
    put("sub1/deeper/x.ogg", F().audio[2]);

    // The order the file system gives, walked the same way (depth first, unsorted).
    std::function<void(const QString&, QStringList&)> walk = [&](const QString& dir,
                                                                 QStringList& out) {
        QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        while (it.hasNext()) {
            it.next();
            const QString name = it.fileName();
            if (name.startsWith('.')) continue;
            if (it.fileInfo().isDir()) {
                walk(it.filePath(), out);
            } else if (QRegularExpression(R"(\.(mp3|wav|ogg|wma)$)",
                                          QRegularExpression::CaseInsensitiveOption)
                           .match(name)
                           .hasMatch() &&
                       name != "bad.ogg") {
                out << it.filePath();
            }
        }
    };
    QStringList expected;
    walk(root, expected);
    ASSERT_EQ(expected.size(), 7);

    AddFolder(root, true);
    EXPECT_EQ(W().fm_dir->windowTitle(), "Open Folder");
    EXPECT_EQ(W().fm_dir->lbl_action->text(), "Please select the folder you want to add.");
    EXPECT_EQ(prompts_->messages, QStringList({root + "/bad.ogg is an invalid audio file!"}));
    ExpectList(expected);
    EXPECT_EQ(Selected(), 0);
    EXPECT_EQ(Bar(kEndBar), 1000);
    EXPECT_FALSE(R().IsAdding);
    EXPECT_TRUE(AddingMenusEnabled());
    EXPECT_TRUE(S().ReadBool("basic", "enable sub dir", false));
    EXPECT_TRUE(W().fm_dir->cbx_sub->isHidden());

    // Without sub-folders only the top level comes in, after the rows already there.
    AddFolder(root, false);
    EXPECT_FALSE(S().ReadBool("basic", "enable sub dir", true));
    QStringList top = expected.filter(QRegularExpression(R"(/lib/[^/]+$)"));
    ExpectList(expected + top);
    EXPECT_EQ(Selected(), 0);
}

TEST_F(TrackListTest, AddPathSurvivesLinksAndBadFiles) {
    QTemporaryDir tmp;
    const QString root = tmp.path();
    ASSERT_TRUE(QFile::copy(F().audio[0], root + "/a.wav"));
    ASSERT_TRUE(QFile::copy(F().audio[2], root + "/new\nline \"q\".ogg"));
    ASSERT_TRUE(QFile::copy(F().zero, root + "/empty.ogg"));
    ASSERT_TRUE(QFile::link(root, root + "/loop"));
    ASSERT_TRUE(QFile::link(root + "/nowhere.mp3", root + "/gone.mp3"));
    AddFolder(root, true);
    QStringList messages = prompts_->messages;
    messages.sort();
    EXPECT_EQ(messages, QStringList({root + "/empty.ogg is an invalid audio file!",
                                     root + "/gone.mp3 has been removed!"}));
    ASSERT_EQ(Rows(), 2);
    QStringList paths = {L().Record(0).FilePath, L().Record(1).FilePath};
    ExpectList(paths);
    paths.sort();
    EXPECT_EQ(paths, QStringList({root + "/a.wav", root + "/new\nline \"q\".ogg"}));
}

TEST_F(TrackListTest, AddPathIsIgnoredWhileBusyAndCancelAddsNothing) {
    for (bool* flag : {&R().IsConverting, &R().IsAdding}) {
        *flag = true;
        W().AddPath1Click();
        *flag = false;
    }
    Add({F().longWav});
    W().Play1Click();
    ASSERT_TRUE(P().IsPlaying());
    W().AddPath1Click();
    P().StopPlayback();
    W().Clear1Click();
    EXPECT_EQ(prompts_->shown.size(), 0);
    prompts_->inside = [](QDialog& d) { static_cast<Tfm_dir&>(d).btn_cancel->click(); };
    W().AddPath1Click();
    EXPECT_EQ(prompts_->shown.size(), 1);
    EXPECT_EQ(Rows(), 0);
    EXPECT_TRUE(prompts_->messages.isEmpty());
}

TEST_F(TrackListTest, BrowseChoosesTheOutputDirectory) {
    const QString before = W().edt_dir->text();
    prompts_->inside = [](QDialog& d) {
        auto& dir = static_cast<Tfm_dir&>(d);
        EXPECT_EQ(dir.windowTitle(), "Output Directory");
        EXPECT_EQ(dir.lbl_action->text(), "Please select the folder you want to save your files.");
        EXPECT_FALSE(dir.cbx_sub->isVisible());
        dir.btn_cancel->click();
    };
    W().ChooseOutputDirectory();
    EXPECT_EQ(W().edt_dir->text(), before);
    EXPECT_EQ(S().ReadString("cut", "output directory", "none"), "none");

    QTemporaryDir out;
    prompts_->inside = [&](QDialog& d) {
        auto& dir = static_cast<Tfm_dir&>(d);
        ASSERT_TRUE(dir.SelectFolder(out.path()));
        dir.btn_ok->click();
    };
    W().ChooseOutputDirectory();
    EXPECT_EQ(W().edt_dir->text(), out.path());
    EXPECT_EQ(S().ReadString("cut", "output directory", "none"), out.path());
}

TEST_F(TrackListTest, ClosingTheWindowEndsAFolderScan) {
    QTemporaryDir tmp;
    for (int i = 0; i < 30; ++i) {
        const QString sub = tmp.path() + QStringLiteral("/d%1").arg(i % 5);
        QDir().mkpath(sub);
        ASSERT_TRUE(QFile::copy(F().audio[0], sub + QStringLiteral("/t%1.wav").arg(i)));
    }
    QTimer watcher;
    watcher.setInterval(0);
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        if (Rows() >= 4 && W().isVisible()) W().close();
    });
    watcher.start();
    AddFolder(tmp.path(), true);
    watcher.stop();
    EXPECT_LT(Rows(), 30);
    EXPECT_EQ(L().Count(), Rows());
    EXPECT_FALSE(R().IsAdding);
}

// Random commands, and after each the list and the table still tell the same story.
TEST_F(TrackListTest, RandomEditsKeepRowsAndRecordsTogether) {
    std::mt19937 rng(20240611);
    const auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    QStringList paths;
    QStringList captions;
    for (int step = 0; step < 120; ++step) {
        if (Rows() > 0 && pick(3) == 0) Select(pick(Rows()));
        const int s = Selected();
        switch (pick(6)) {
            case 0:
            case 1: {
                QStringList chosen;
                for (int i = 0, n = 1 + pick(3); i < n; ++i) {
                    chosen << (pick(8) == 0 ? F().text : F().audio[pick(4)]);
                }
                Add(chosen);
                for (const QString& p : chosen) {
                    if (p == F().text) continue;
                    paths << p;
                    captions << QFileInfo(p).fileName();
                }
                break;
            }
            case 2:
                W().RemoveSelected();
                if (s >= 0) {
                    paths.removeAt(s);
                    captions.removeAt(s);
                }
                break;
            case 3:
                W().MoveUp();
                if (s > 0) {
                    paths.swapItemsAt(s, s - 1);
                    captions.swapItemsAt(s, s - 1);
                }
                break;
            case 4:
                W().MoveDown();
                if (s >= 0 && s < paths.size() - 1) {
                    paths.swapItemsAt(s, s + 1);
                    captions.swapItemsAt(s, s + 1);
                }
                break;
            case 5:
                if (pick(4) == 0) {
                    W().Clear1Click();
                    paths.clear();
                    captions.clear();
                } else if (s >= 0) {
                    W().lvDblClick();
                    W().edt_title->setText(QStringLiteral("n%1:*.mp3").arg(step));
                    W().edt_titleExit();
                    captions[s] = QStringLiteral("n%1.mp3").arg(step);
                }
                break;
        }
        SCOPED_TRACE("step " + std::to_string(step));
        ExpectList(paths, captions);
        if (HasFatalFailure() || HasFailure()) return;
        if (Rows() > 0) {
            EXPECT_GE(Selected(), 0);
            EXPECT_LT(R().CurrentTrack, Rows());
        }
    }
}

}  // namespace quillet
