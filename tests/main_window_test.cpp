#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QResource>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

#include "app/MainForms.h"
#include "app/Tfm_main.h"
#include "dialogs/Tfm_about.h"
#include "dialogs/Tfm_dir.h"
#include "dialogs/Tfm_set.h"
#include "platform/audio/AudioError.h"
#include "platform/skin/TSkin.h"
#include "support/MainWindowFixture.h"
#include "support/Oracle.h"

namespace quillet {
namespace {

// A skin object of any name, for names the skin does not have.
class NamedObject : public ISkinObject {
  public:
    explicit NamedObject(QString name) : name_(std::move(name)) {}
    QString GetName() const override { return name_; }
    ISkinSlider* Slider() override { return nullptr; }
    ISkinLabel* Label() override { return nullptr; }
    ISkinElement* Element() override { return nullptr; }

  private:
    QString name_;
};

QString SettingsPath() { return SettingsFile::DefaultPath(); }

void StoreSettings(const QByteArray& text) {
    QDir().mkpath(QFileInfo(SettingsPath()).absolutePath());
    QFile file(SettingsPath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
}

class MainWindowTest : public test::MainWindowFixture {
  protected:
    void SetUp() override {
        QFile::remove(SettingsPath());
        QDir(SettingsPath()).removeRecursively();
    }

    void TearDown() override {
        MainWindowFixture::TearDown();
        QDir(SettingsPath()).removeRecursively();
    }

    // Start-up as the program's entry does it, with scripted prompts.
    Tfm_main& Start() {
        Open();
        return W();
    }

    Tfm_main& Window() { return W(); }

    void Click(const QString& name) {
        ISkinObject* object = Object(name);
        ASSERT_NE(object, nullptr) << name.toStdString();
        emit Window().Skin->OnClick(object);
    }

    bool SkinWidgetVisible(const QString& name) {
        auto* widget = Window().findChild<QWidget*>(name);
        EXPECT_NE(widget, nullptr) << name.toStdString();
        return widget && widget->isVisibleTo(&Window());
    }

    void Activate() {
        Window().activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&Window()));
    }
};

// The actions of both menus, by object name, as the command table gives them.
const char* const kMainItems[] = {
    "AddFile1", "AddPath1", "Remove1", "Clear1",  "Exit1",    "Play1",    "Pause1", "Stopplay1",
    "Cut1",     "Join2",    "Stop1",   "Option1", "Content1", "WebSite1", "About1", "EditStretch1"};
const char* const kPopupItems[] = {"AddFile2", "AddPath2", "Remove2",      "Clear2",
                                   "Play2",    "Pause2",   "StopPlaying1", "Cut2",
                                   "Join1",    "Stop2",    "EditStretch2"};

QStringList Disabled(Tfm_main& window) {
    QStringList names;
    for (const char* name : kMainItems) {
        auto* action = window.findChild<QAction*>(name);
        if (action && !action->isEnabled()) names << name;
    }
    for (const char* name : kPopupItems) {
        auto* action = window.findChild<QAction*>(name);
        if (action && !action->isEnabled()) names << name;
    }
    names.sort();
    return names;
}

QStringList Sorted(QStringList names) {
    names.sort();
    return names;
}

QStringList Captions(const QMenu& menu) {
    QStringList captions;
    for (const QAction* action : menu.actions())
        captions << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return captions;
}

TEST_F(MainWindowTest, StartUpCreatesTheFormsInOrderAndCentresTheWindow) {
    Tfm_main& window = Start();
    EXPECT_EQ(QCoreApplication::applicationName(), "Quillet");
    ASSERT_NE(forms_.fm_set, nullptr);
    EXPECT_EQ(forms_.fm_set->windowTitle(), "Settings");
    EXPECT_EQ(forms_.fm_about->windowTitle(), "About");
    EXPECT_EQ(window.fm_set, forms_.fm_set);
    EXPECT_EQ(window.fm_about, forms_.fm_about);
    EXPECT_EQ(window.fm_dir, forms_.fm_dir);
    const QList<QDialog*> dialogs = window.findChildren<QDialog*>(Qt::FindDirectChildrenOnly);
    ASSERT_EQ(dialogs.size(), 3);
    EXPECT_EQ(dialogs[0], forms_.fm_set);
    EXPECT_EQ(dialogs[1], forms_.fm_about);
    EXPECT_EQ(dialogs[2], static_cast<QDialog*>(forms_.fm_dir));
    for (QDialog* dialog : dialogs) EXPECT_FALSE(dialog->isVisible());

    EXPECT_EQ(window.client->size(), QSize(610, 388));
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
    const QRect screen = window.screen()->availableGeometry();
    const QRect frame = window.frameGeometry();
    EXPECT_EQ(frame.left(), screen.left() + (screen.width() - frame.width()) / 2);
    EXPECT_EQ(frame.top(), screen.top() + (screen.height() - frame.height()) / 2);
}

TEST_F(MainWindowTest, ControlsSitAtTheirFixedBoundsAboveTheSkin) {
    Tfm_main& window = Start();
    EXPECT_EQ(window.lv->geometry(), QRect(6, 73, 402, 247));
    EXPECT_EQ(window.pb->geometry(), QRect(19, 330, 573, 12));
    EXPECT_EQ(window.cb_format->geometry(), QRect(373, 357, 54, 21));
    EXPECT_EQ(window.edt_dir->geometry(), QRect(433, 357, 96, 21));
    for (QWidget* control :
         {static_cast<QWidget*>(window.lv), static_cast<QWidget*>(window.pb),
          static_cast<QWidget*>(window.cb_format), static_cast<QWidget*>(window.edt_dir)}) {
        EXPECT_EQ(control->parentWidget(), window.client);
        EXPECT_TRUE(control->isVisible()) << control->objectName().toStdString();
        QWidget* top = window.client->childAt(control->geometry().center());
        EXPECT_TRUE(top == control || control->isAncestorOf(top))
            << control->objectName().toStdString() << " is covered by "
            << (top ? top->objectName().toStdString() : "nothing");
    }
}

TEST_F(MainWindowTest, ControlsAreSetUpAsTheCommandsNeedThem) {
    Tfm_main& window = Start();
    QTreeView& lv = *window.lv;
    ASSERT_EQ(lv.model()->columnCount(), 4);
    const QStringList captions = {"File Name", "Start Time - End Time", "Length", "Status"};
    const int widths[] = {125, 120, 62, 75};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(lv.model()->headerData(i, Qt::Horizontal).toString(), captions[i]);
        EXPECT_EQ(lv.columnWidth(i), widths[i]);
        EXPECT_EQ(lv.header()->sectionResizeMode(i), QHeaderView::Fixed);
    }
    EXPECT_FALSE(lv.header()->sectionsClickable());
    EXPECT_EQ(lv.selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_EQ(lv.selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(lv.editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_EQ(lv.contextMenuPolicy(), Qt::CustomContextMenu);

    EXPECT_EQ(window.pb->minimum(), 0);
    EXPECT_EQ(window.pb->maximum(), 100);
    EXPECT_EQ(window.pb->value(), 0);
    EXPECT_FALSE(window.pb->isTextVisible());
    window.pb->setValue(37);
    EXPECT_EQ(window.pb->text(), "37%");

    ASSERT_EQ(window.cb_format->count(), 4);
    EXPECT_EQ(window.cb_format->itemText(0), "MP3");
    EXPECT_EQ(window.cb_format->itemText(1), "WAV");
    EXPECT_EQ(window.cb_format->itemText(2), "WMA");
    EXPECT_EQ(window.cb_format->itemText(3), "OGG");
    EXPECT_TRUE(window.edt_dir->isReadOnly());
    EXPECT_FALSE(window.edt_title->isVisible());
    EXPECT_FALSE(window.Timer->isActive());
    EXPECT_EQ(window.Timer->interval(), 10);
}

TEST_F(MainWindowTest, WithoutSettingsFileTheWindowShowsDefaultsAndWritesNothing) {
    Tfm_main& window = Start();
    EXPECT_EQ(window.edt_dir->text(),
              QStandardPaths::writableLocation(QStandardPaths::MusicLocation));
    EXPECT_EQ(window.cb_format->currentIndex(), 0);
    EXPECT_TRUE(SkinWidgetVisible("Pre-listen-off"));
    EXPECT_FALSE(QFile::exists(SettingsPath()));
    EXPECT_NE(window.Settings(), nullptr);
    EXPECT_FALSE(R().IsConverting || P().IsPlaying() || P().IsPaused() || R().IsAdding);
    for (SkinBar bar : {kBeginBar, kEndBar, kCurrentBar}) EXPECT_EQ(Bar(bar), 0);
}

TEST_F(MainWindowTest, StoredSettingsAreRestored) {
    StoreSettings("[Cut]\nOutput Directory=/srv/out put\nformat=0x3\npre-listen=2\n");
    Tfm_main& window = Start();
    EXPECT_EQ(window.edt_dir->text(), "/srv/out put");
    EXPECT_EQ(window.cb_format->currentIndex(), 3);
    EXPECT_FALSE(SkinWidgetVisible("Pre-listen-off"));
}

TEST_F(MainWindowTest, StoredFormatOutsideTheListSelectsNothing) {
    for (const QByteArray stored : {"4", "-1", "99"}) {
        StoreSettings("[cut]\nformat=" + stored + "\n");
        Tfm_main& window = Start();
        EXPECT_EQ(window.cb_format->currentIndex(), -1) << stored.data();
        EXPECT_EQ(window.cb_format->currentText(), "") << stored.data();
        forms_.fm_main.reset();
    }
    StoreSettings("[cut]\nformat=two\n");
    EXPECT_EQ(Start().cb_format->currentIndex(), 0);
}

TEST_F(MainWindowTest, MenusHoldTheCommandTable) {
    Tfm_main& window = Start();
    const QList<QAction*> top = window.mm->actions();
    ASSERT_EQ(top.size(), 4);
    EXPECT_EQ(top[0]->text(), "File");
    EXPECT_EQ(top[1]->text(), "Action");
    EXPECT_EQ(top[2], window.Option1);
    EXPECT_EQ(top[2]->text(), "Options");
    EXPECT_EQ(top[2]->menu(), nullptr);
    EXPECT_EQ(top[3]->text(), "Help");
    EXPECT_EQ(Captions(*top[0]->menu()), QStringList({"Add File", "Add Path", "Remove File",
                                                      "Clear", "Sort by Name", "-", "Exit"}));
    // The stretch editor's item comes after the command table's, which keeps its order.
    EXPECT_EQ(Captions(*top[1]->menu()), QStringList({"Play", "Pause", "Stop Playing", "-", "Cut",
                                                      "Join", "Stop", "-", "Edit Stretch..."}));
    EXPECT_EQ(Captions(*top[3]->menu()), QStringList({"Content", "-", "Web Site", "-", "About"}));
    EXPECT_EQ(Captions(*window.pm),
              QStringList({"Add File", "Add Path", "Remove File", "Clear", "Sort by Name", "-",
                           "Play", "Pause", "Stop Playing", "-", "Cut", "Join", "Stop", "-",
                           "Edit Stretch..."}));
    // Only the stretch editor's item has a key; the others show none.
    for (QMenu* menu : {top[0]->menu(), top[1]->menu(), top[3]->menu(), window.pm})
        for (const QAction* a : menu->actions())
            EXPECT_EQ(a->shortcut().isEmpty(), !a->text().startsWith("Edit Stretch"))
                << a->text().toStdString();
    for (const char* name : kMainItems)
        EXPECT_NE(window.findChild<QAction*>(name), nullptr) << name;
    for (const char* name : kPopupItems) {
        QAction* action = window.findChild<QAction*>(name);
        ASSERT_NE(action, nullptr) << name;
        EXPECT_TRUE(window.pm->actions().contains(action)) << name;
    }
    EXPECT_EQ(window.AddFile2->objectName(), "AddFile2");
    EXPECT_EQ(window.Join1->objectName(), "Join1");
    EXPECT_EQ(window.StopPlaying1->objectName(), "StopPlaying1");
}

TEST_F(MainWindowTest, MenuEnablingFollowsTheEvents) {
    Tfm_main& window = Start();
    const QStringList stops = Sorted({"Stop1", "Stop2", "Stopplay1", "StopPlaying1"});
    EXPECT_EQ(Disabled(window), stops);

    const QStringList adding = {"AddFile1", "AddFile2", "Remove1", "Remove2", "Clear1", "Clear2",
                                "Cut1",     "Cut2",     "Join1",   "Join2",   "Play1",  "Play2"};
    window.SetAddingMenus(false);
    EXPECT_EQ(Disabled(window), Sorted(stops + adding));
    window.SetAddingMenus(true);
    EXPECT_EQ(Disabled(window), stops);

    window.SetConversionMenus(false);
    EXPECT_EQ(Disabled(window),
              Sorted(adding + QStringList{"Option1", "Stopplay1", "StopPlaying1"}));
    window.SetConversionMenus(true);
    EXPECT_EQ(Disabled(window), stops);

    EditorView& view = window;
    view.ShowPlayingMenus(true);
    EXPECT_EQ(Disabled(window),
              Sorted({"Stop1", "Stop2", "Cut1", "Cut2", "Join1", "Join2", "Clear1", "Clear2"}));
    view.ShowPauseMenus(false);
    EXPECT_EQ(Disabled(window), Sorted({"Stop1", "Stop2", "Cut1", "Cut2", "Join1", "Join2",
                                        "Clear1", "Clear2", "Pause1", "Pause2"}));
    view.ShowPauseMenus(true);
    view.ShowPlayingMenus(false);
    EXPECT_EQ(Disabled(window),
              Sorted({"Stop1", "Stop2", "Stopplay1", "StopPlaying1", "Pause1", "Pause2"}));
    // Never disabled by any event.
    for (QAction* action : {window.AddPath1, window.AddPath2, window.Exit1, window.Content1,
                            window.WebSite1, window.About1})
        EXPECT_TRUE(action->isEnabled()) << action->objectName().toStdString();
}

TEST_F(MainWindowTest, StopClearsTheConversionFlagFromSkinAndMenus) {
    Tfm_main& window = Start();
    window.Run().IsConverting = true;
    Click("Stop");
    EXPECT_FALSE(window.Run().IsConverting);
    for (QAction* stop : {window.Stop1, window.Stop2}) {
        window.Run().IsConverting = true;
        stop->setEnabled(true);
        stop->trigger();
        EXPECT_FALSE(window.Run().IsConverting);
    }
    // A click on "Stop" while nothing converts changes nothing.
    Click("Stop");
    EXPECT_FALSE(window.Run().IsConverting);
    EXPECT_EQ(window.pb->value(), 0);
}

TEST_F(MainWindowTest, AnErrorWhoseCleanUpFailsTooStillEndsTheConversion) {
    // A full disk fails the write and then the close of the output as well; the conversion
    // must still end, or every command would refuse as if one were running.
    Tfm_main& window = Start();
    auto dir = std::make_unique<QTemporaryDir>();
    const QString target = dir->filePath("out.wav");
    window.AudioFileWrite.CreateForWrite(target, 0);
    window.AudioFileWrite.SetSourceFormat(8000, 1);
    dir.reset();  // the folder goes, so the output can no longer be put in place
    window.Run().IsConverting = true;
    window.pb->setValue(40);
    window.ApplicationEventsException(QStringLiteral("No space left on device"));
    ASSERT_FALSE(prompts_->informations.isEmpty());
    EXPECT_EQ(prompts_->informations.front(), "No space left on device");
    EXPECT_FALSE(window.AudioFileWrite.IsOpen());
    EXPECT_FALSE(window.Run().IsConverting);
    EXPECT_EQ(window.pb->value(), 0);
    EXPECT_FALSE(QFileInfo::exists(target));
}

TEST_F(MainWindowTest, SkinNamesMatchExactlyCaseIncluded) {
    Tfm_main& window = Start();
    window.Run().IsConverting = true;
    for (const char* name : {"Cut", "Join", "Help", "stop", "STOP", "Options ", ""}) {
        NamedObject object(QString::fromLatin1(name));
        emit window.Skin->OnClick(&object);
    }
    EXPECT_TRUE(window.Run().IsConverting);
    EXPECT_TRUE(prompts_->urls.isEmpty());
    window.Run().IsConverting = false;
    NamedObject help(QStringLiteral("Help"));
    emit window.Skin->OnClick(&help);
    EXPECT_TRUE(prompts_->urls.isEmpty());
    EXPECT_TRUE(prompts_->shown.isEmpty());

    Click("help");
    ASSERT_EQ(prompts_->urls.size(), 1);
    EXPECT_EQ(prompts_->urls[0],
              QUrl::fromLocalFile(QCoreApplication::applicationDirPath() + "/help/quillet.html"));
    EXPECT_TRUE(QFile::exists(prompts_->urls[0].toLocalFile()));
}

TEST_F(MainWindowTest, OptionsOpenTheSettingsDialogCentredUnlessConverting) {
    Tfm_main& window = Start();
    window.Run().IsConverting = true;
    Click("Options");
    window.Option1->trigger();
    EXPECT_TRUE(prompts_->shown.isEmpty());

    window.Run().IsConverting = false;
    Click("Options");
    window.Option1->trigger();
    ASSERT_EQ(prompts_->shown.size(), 2);
    EXPECT_EQ(prompts_->shown[0], forms_.fm_set);
    EXPECT_EQ(prompts_->shown[1], forms_.fm_set);

    // "About" works at any time.
    window.Run().IsConverting = true;
    window.About1->trigger();
    ASSERT_EQ(prompts_->shown.size(), 3);
    EXPECT_EQ(prompts_->shown[2], forms_.fm_about);

    const QRect main = window.frameGeometry();
    for (int i = 0; i < 3; ++i) {
        const QSize size = prompts_->shown[i]->frameGeometry().size();
        EXPECT_EQ(prompts_->shownAt[i], QPoint(main.left() + (main.width() - size.width()) / 2,
                                               main.top() + (main.height() - size.height()) / 2));
    }
}

TEST_F(MainWindowTest, PreListenSwitchShowsAndStoresItsStateUnlessPlaying) {
    Start();
    SettingsFile settings(SettingsPath());
    QTemporaryDir dir;

    PlayTone(dir.path());
    Click("Pre-listen-off");
    EXPECT_TRUE(SkinWidgetVisible("Pre-listen-off"));
    EXPECT_EQ(settings.ReadString("cut", "pre-listen", "absent"), "absent");

    P().PausePlayback();  // paused counts as playing
    Click("Pre-listen-off");
    EXPECT_TRUE(SkinWidgetVisible("Pre-listen-off"));
    P().StopPlayback();
    Click("Pre-listen-off");
    EXPECT_FALSE(SkinWidgetVisible("Pre-listen-off"));
    EXPECT_EQ(settings.ReadString("cut", "pre-listen", "absent"), "1");

    W().Play1Click();
    ASSERT_TRUE(P().IsPlaying());
    Click("Pre-listen-on");
    EXPECT_FALSE(SkinWidgetVisible("Pre-listen-off"));
    EXPECT_EQ(settings.ReadString("cut", "pre-listen", "absent"), "1");

    P().StopPlayback();
    Click("Pre-listen-on");
    EXPECT_TRUE(SkinWidgetVisible("Pre-listen-off"));
    EXPECT_EQ(settings.ReadString("cut", "pre-listen", "absent"), "0");
}

TEST_F(MainWindowTest, PressingABarSavesItsPositionAndTimeText) {
    Tfm_main& window = Start();
    Slider("Begin bar")->SetPosition(437);
    Object("Begin time")->Label()->SetText("00:01:02");
    Slider("End bar")->SetPosition(901);
    Object("End time")->Label()->SetText("00:09:09");

    emit window.Skin->OnMouseDown(Object("Begin bar"), 0, 3, 4);
    EXPECT_EQ(R().SavedBarPos, 437);
    EXPECT_EQ(R().SavedTimeText, "00:01:02");
    emit window.Skin->OnMouseDown(Object("End bar"), 1, 3, 4);  // any button
    EXPECT_EQ(R().SavedBarPos, 901);
    EXPECT_EQ(R().SavedTimeText, "00:09:09");
    // Other objects leave the saved state alone.
    emit window.Skin->OnMouseDown(Object("Current bar"), 0, 3, 4);
    emit window.Skin->OnMouseDown(Object("Play"), 0, 3, 4);
    EXPECT_EQ(R().SavedBarPos, 901);
    EXPECT_EQ(R().SavedTimeText, "00:09:09");
}

TEST_F(MainWindowTest, ReleasingTheCurrentBarResumesOnlyRunningPlayback) {
    Tfm_main& window = Start();
    QTemporaryDir dir;
    PlayTone(dir.path());
    P().PausePlayback();
    emit window.Skin->OnMouseUp(Object("Current bar"), 0, 0, 0);
    EXPECT_TRUE(P().IsPlaying());
    EXPECT_TRUE(P().IsPaused());
    EXPECT_EQ(L().Status(0), "pause");

    W().Play1Click();  // resumes
    ASSERT_FALSE(P().IsPaused());
    L().SetStatus(0, "marked");
    emit window.Skin->OnMouseUp(Object("Begin bar"), 0, 0, 0);
    EXPECT_EQ(L().Status(0), "marked");

    // A release on a running player starts it again from the bar's place in the same range.
    Slider("Current bar")->SetPosition(500);
    emit window.Skin->OnScrollTrack(Object("Current bar"), 500);
    emit window.Skin->OnMouseUp(Object("Current bar"), 0, 0, 0);
    EXPECT_TRUE(P().IsPlaying());
    EXPECT_EQ(L().Status(0), "Playing");
    EXPECT_EQ(P().OffsetPos(), 44100 * 10 / 2);
}

TEST_F(MainWindowTest, RestoreTimerPutsTheRefusedBarBackOnce) {
    Tfm_main& window = Start();
    Slider("Begin bar")->SetPosition(800);
    Slider("End bar")->SetPosition(900);
    R().SavedBarPos = 250;
    R().RestoreBeginBar = true;
    window.Timer->start();
    EXPECT_TRUE(QTest::qWaitFor([&] { return Bar(kBeginBar) == 250; }));
    EXPECT_FALSE(window.Timer->isActive());
    EXPECT_EQ(Bar(kEndBar), 900);

    R().SavedBarPos = 333;
    R().RestoreBeginBar = false;
    window.Timer->start();
    EXPECT_TRUE(QTest::qWaitFor([&] { return Bar(kEndBar) == 333; }));
    EXPECT_EQ(Bar(kBeginBar), 250);
}

TEST_F(MainWindowTest, EscapeClosesTheActiveMainWindow) {
    Tfm_main& window = Start();
    Activate();
    window.Run().IsConverting = true;
    QTest::keyClick(window.windowHandle(), Qt::Key_Escape);
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(window.Run().IsConverting);
    EXPECT_EQ(window.Settings(), nullptr);
    EXPECT_TRUE(prompts_->urls.isEmpty());
}

TEST_F(MainWindowTest, EscapeInTheAboutBoxLeavesTheMainWindowOpenAndF1StillHelps) {
    Tfm_main& window = Start();
    Activate();
    bool aboutWasActive = false;
    prompts_->modal = [&](QDialog& dialog) {
        QTimer::singleShot(0, &dialog, [&] {
            aboutWasActive = QTest::qWaitForWindowActive(&dialog);
            QTest::keyClick(dialog.windowHandle(), Qt::Key_F1);
            QTest::keyClick(dialog.windowHandle(), Qt::Key_Escape);
            // Escape closes the about box itself; make sure it ends whatever the style does.
            if (dialog.isVisible()) dialog.reject();
        });
        return dialog.exec();
    };
    window.About1->trigger();
    EXPECT_TRUE(aboutWasActive);
    EXPECT_FALSE(forms_.fm_about->isVisible());
    EXPECT_TRUE(window.isVisible());
    EXPECT_NE(window.Settings(), nullptr);
    ASSERT_EQ(prompts_->urls.size(), 1);
    EXPECT_TRUE(prompts_->urls[0].toLocalFile().endsWith("/help/quillet.html"));

    Activate();
    QTest::keyClick(window.windowHandle(), Qt::Key_F1);
    EXPECT_EQ(prompts_->urls.size(), 2);
    EXPECT_TRUE(window.isVisible());
}

TEST_F(MainWindowTest, OneKeyPressOpensHelpOnceWhateverWidgetHasTheFocus) {
    Tfm_main& window = Start();
    Activate();
    window.edt_dir->setFocus();
    QTest::keyClick(window.windowHandle(), Qt::Key_F1);
    window.lv->setFocus();
    QTest::keyClick(window.windowHandle(), Qt::Key_F1);
    EXPECT_EQ(prompts_->urls.size(), 2);
    // Keys sent to a widget directly are no messages from the queue.
    QTest::keyClick(window.lv, Qt::Key_F1);
    EXPECT_EQ(prompts_->urls.size(), 2);
}

TEST_F(MainWindowTest, RightClickOnTheListOpensThePopupMenuWhoseEscapeKeepsTheWindow) {
    Tfm_main& window = Start();
    Activate();
    QWidget* popup = nullptr;
    QTimer::singleShot(0, &window, [&] {
        popup = QApplication::activePopupWidget();
        if (popup) QTest::keyClick(popup->windowHandle(), Qt::Key_Escape);
        if (QWidget* still = QApplication::activePopupWidget()) still->close();
    });
    emit window.lv->customContextMenuRequested(QPoint(20, 20));
    EXPECT_EQ(popup, window.pm);
    EXPECT_FALSE(window.pm->isVisible());
    EXPECT_TRUE(window.isVisible());
    EXPECT_NE(window.Settings(), nullptr);
}

TEST_F(MainWindowTest, ListTextsFitTheirFixedColumns) {
    Tfm_main& window = Start();
    QTreeView& lv = *window.lv;
    const QFontMetrics metrics(lv.font());
    const QStringList captions = {"File Name", "Start Time - End Time", "Length", "Status"};
    for (int i = 0; i < 4; ++i)
        EXPECT_LT(metrics.horizontalAdvance(captions[i]), lv.columnWidth(i)) << i;
    EXPECT_LT(metrics.horizontalAdvance("  00:00:00 - 01:02:05"), lv.columnWidth(1));
    EXPECT_LT(metrics.horizontalAdvance("01:02:05"), lv.columnWidth(2));
    EXPECT_LT(metrics.horizontalAdvance("unconverted"), lv.columnWidth(3));
    EXPECT_GE(lv.font().pointSizeF(), 6.5);
    EXPECT_LE(lv.font().pointSizeF(), 8);
}

TEST_F(MainWindowTest, ExitAndTheCloseBoxCloseWithoutAsking) {
    Tfm_main& window = Start();
    window.Run().IsConverting = true;
    window.Exit1->trigger();
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(window.Run().IsConverting);
    EXPECT_EQ(window.Settings(), nullptr);
    EXPECT_TRUE(prompts_->questions.isEmpty());
    // Nothing is written at shutdown.
    EXPECT_FALSE(QFile::exists(SettingsPath()));
}

// An error thrown inside a handler travels up to QApplication::notify like any the commands
// raise: a settings write that fails while a conversion runs.
TEST_F(MainWindowTest, UncaughtErrorIsShownAndTheConversionCleanedUp) {
    Tfm_main& window = Start();
    QDir().mkpath(SettingsPath());  // a folder where the file should be: every write fails
    window.Run().IsConverting = true;
    window.pb->setValue(57);
    QTimer::singleShot(0, &window, [&] { emit window.Skin->OnClick(Object("Pre-listen-off")); });
    EXPECT_TRUE(QTest::qWaitFor([&] { return !prompts_->informations.isEmpty(); }));
    EXPECT_EQ(prompts_->informations, QStringList{"Unable to write to " + SettingsPath()});
    EXPECT_FALSE(window.Run().IsConverting);
    EXPECT_EQ(window.pb->value(), 0);

    // The program goes on: the next command works.
    window.Run().IsConverting = true;
    window.Stop1->setEnabled(true);
    window.Stop1->trigger();
    EXPECT_FALSE(window.Run().IsConverting);
}

TEST_F(MainWindowTest, EngineErrorDuringAConversionClosesBothAudioFiles) {
    QTemporaryDir dir;
    const QString wav = dir.filePath("tone.wav");
    test::MakeTone(wav, 44100, 44100, 2);
    Tfm_main& window = Start();
    window.AudioFileRead.OpenForRead(wav, 0, 1);
    window.AudioFileWrite.OpenForRead(wav, 0, 1);
    ASSERT_TRUE(window.AudioFileRead.IsOpen() && window.AudioFileWrite.IsOpen());
    window.Run().IsConverting = true;
    window.pb->setValue(80);
    const QString missing = dir.filePath("gone.mp3");
    QTimer::singleShot(0, &window, [&] {
        TAudioFile2 other;
        other.OpenForRead(missing, 0, 1);
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return !prompts_->informations.isEmpty(); }));
    ASSERT_EQ(prompts_->informations.size(), 1);
    EXPECT_TRUE(prompts_->informations[0].contains("gone.mp3"))
        << prompts_->informations[0].toStdString();
    EXPECT_FALSE(window.AudioFileRead.IsOpen());
    EXPECT_FALSE(window.AudioFileWrite.IsOpen());
    EXPECT_EQ(window.pb->value(), 0);
    EXPECT_FALSE(window.Run().IsConverting);
}

TEST_F(MainWindowTest, UncaughtErrorOutsideAConversionLeavesTheRunStateAlone) {
    Tfm_main& window = Start();
    QTemporaryDir dir;
    PlayTone(dir.path());
    P().PausePlayback();
    window.pb->setValue(12);
    QTimer::singleShot(0, &window, [] { throw AudioError("The sound device went away."); });
    EXPECT_TRUE(QTest::qWaitFor([&] { return !prompts_->informations.isEmpty(); }));
    EXPECT_EQ(prompts_->informations, QStringList{"The sound device went away."});
    EXPECT_EQ(window.pb->value(), 12);
    EXPECT_TRUE(P().IsPlaying());
    EXPECT_TRUE(P().IsPaused());
    EXPECT_EQ(L().Status(0), "pause");
}

TEST_F(MainWindowTest, UncaughtErrorAppearsInARealInformationBox) {
    forms_ = CreateMainForms();  // the real prompts
    Tfm_main& window = *forms_.fm_main;
    window.show();
    ASSERT_EQ(window.StartupError(), QString());
    QString caption;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int buttons = 0;
    QTimer::singleShot(0, &window,
                       [] { throw std::runtime_error("Disk full while writing x.mp3"); });
    QTimer watcher;
    watcher.setInterval(10);
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        watcher.stop();
        caption = box->windowTitle();
        text = box->text();
        icon = box->icon();
        buttons = static_cast<int>(box->buttons().size());
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    });
    watcher.start();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !text.isEmpty(); }, 5000));
    EXPECT_EQ(caption, "Information");
    EXPECT_EQ(text, "Disk full while writing x.mp3");
    EXPECT_EQ(icon, QMessageBox::Information);
    EXPECT_EQ(buttons, 1);
    EXPECT_TRUE(QTest::qWaitFor([] { return QApplication::activeModalWidget() == nullptr; }));
    EXPECT_TRUE(window.isVisible());
}

// The real program, started from a copy of its folder without (or with a broken) skin library.
class StartUpFailureTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const QString bin = QCoreApplication::applicationDirPath();
        program_ = bin + "/quillet";
        ASSERT_TRUE(QFile::exists(program_)) << "build the quillet target first";
        ASSERT_TRUE(dir_.isValid());
        ASSERT_TRUE(QFile::copy(program_, dir_.filePath("quillet")));
        QFile::setPermissions(dir_.filePath("quillet"),
                              QFile::permissions(program_) | QFileDevice::ExeOwner);
    }

    // Exit code, and what the program printed on stderr.
    std::pair<int, QString> Run() {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("HOME", dir_.path());
        env.insert("XDG_CONFIG_HOME", dir_.filePath("config"));
        process.setProcessEnvironment(env);
        process.start(dir_.filePath("quillet"), {});
        EXPECT_TRUE(process.waitForFinished(30000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardError())};
    }

    QString program_;
    QTemporaryDir dir_;
};

TEST_F(StartUpFailureTest, MissingSkinLibraryEndsWithAClearMessage) {
    const auto [code, errors] = Run();
    EXPECT_EQ(code, 1);
    EXPECT_TRUE(errors.contains("quilletskin.dll")) << errors.toStdString();
    EXPECT_FALSE(QFile::exists(dir_.filePath("config/quillet.ini")));
}

// A skin library like the real one, with the object of one name renamed away.
void WriteSkinWithout(const QString& missing, const QString& target, const QString& workDir) {
    const QString root = QStringLiteral("/skin-under-test");
    ASSERT_TRUE(QResource::registerResource(
        QCoreApplication::applicationDirPath() + "/quilletskin.dll", root));
    const QString files[] = {"skin.json", "forms/Pellicle.json"};
    for (const QString& name : files) {
        QFile in(":" + root + "/" + name);
        ASSERT_TRUE(in.open(QIODevice::ReadOnly)) << name.toStdString();
        QByteArray bytes = in.readAll();
        if (name.startsWith("forms/")) {
            QJsonObject form = QJsonDocument::fromJson(bytes).object();
            QJsonArray objects = form["objects"].toArray();
            bool renamed = false;
            for (int i = 0; i < objects.size(); ++i) {
                QJsonObject object = objects[i].toObject();
                if (object["name"].toString() != missing) continue;
                object["name"] = missing + " (renamed)";
                objects[i] = object;
                renamed = true;
            }
            ASSERT_TRUE(renamed) << missing.toStdString();
            form["objects"] = objects;
            bytes = QJsonDocument(form).toJson();
        }
        QDir().mkpath(QFileInfo(workDir + "/" + name).absolutePath());
        QFile out(workDir + "/" + name);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(bytes);
    }
    QResource::unregisterResource(QCoreApplication::applicationDirPath() + "/quilletskin.dll",
                                  root);
    QFile qrc(workDir + "/skin.qrc");
    ASSERT_TRUE(qrc.open(QIODevice::WriteOnly));
    qrc.write(
        "<RCC><qresource prefix=\"/\"><file>skin.json</file>"
        "<file>forms/Pellicle.json</file></qresource></RCC>\n");
    qrc.close();
    const QString rcc = QLibraryInfo::path(QLibraryInfo::LibraryExecutablesPath) + "/rcc";
    QProcess process;
    process.setWorkingDirectory(workDir);
    process.start(rcc, {"--binary", "-o", target, "skin.qrc"});
    ASSERT_TRUE(process.waitForFinished(30000));
    ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
}

TEST_F(StartUpFailureTest, SkinWithoutAnObjectTheProgramNeedsEndsWithItsName) {
    for (const QString name : {"Begin bar", "Filename", "Pre-listen-off"}) {
        QTemporaryDir work;
        WriteSkinWithout(name, dir_.filePath("quilletskin.dll"), work.path());
        const auto [code, errors] = Run();
        EXPECT_EQ(code, 1);
        EXPECT_TRUE(
            errors.contains("The skin object \"" + name + "\" is missing from quilletskin.dll"))
            << errors.toStdString();
    }
}

TEST_F(StartUpFailureTest, DamagedSkinLibraryEndsWithAClearMessage) {
    QFile fake(dir_.filePath("quilletskin.dll"));
    ASSERT_TRUE(fake.open(QIODevice::WriteOnly));
    fake.write("MZ this is no skin library\n");
    fake.close();
    const auto [code, errors] = Run();
    EXPECT_EQ(code, 1);
    EXPECT_TRUE(errors.contains("quilletskin.dll")) << errors.toStdString();
}

}  // namespace
}  // namespace quillet
