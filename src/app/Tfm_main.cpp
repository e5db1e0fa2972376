#include "app/Tfm_main.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QScreen>
#include <QTimer>
#include <QUrl>
#include <QWindow>
#include <utility>

#include "common/EngineLease.h"
#include "common/Guard.h"
#include "common/ProgramFiles.h"
#include "convert/OutputNames.h"
#include "dialogs/FormFont.h"
#include "dialogs/StretchEditorSide.h"
#include "dialogs/Tfm_about.h"
#include "dialogs/Tfm_dir.h"
#include "dialogs/Tfm_set.h"
#include "editor/PlaybackSession.h"
#include "editor/SegmentEditor.h"
#include "platform/audio/OutputFormats.h"
#include "platform/player/TAudioPlayer2.h"
#include "platform/skin/TSkin.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsKeys.h"
#include "tracks/PathOpener.h"
#include "tracks/SessionKeeper.h"
#include "tracks/TrackList.h"
#include "widgets/Centring.h"
#include "widgets/RenameBox.h"
#include "widgets/TrackListView.h"

namespace quillet {

namespace {

void Enable(std::initializer_list<QAction*> actions, bool enabled) {
    for (QAction* action : actions) action->setEnabled(enabled);
}

}  // namespace

Tfm_main::Tfm_main(QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                              Qt::WindowCloseButtonHint),
      tracks_(new TrackList(this)),
      prompts_(std::make_unique<QtUserPrompts>(this)) {
    setObjectName(QStringLiteral("fm_main"));
    setFont(FormFont());
    CreateControls();
    const auto preListen = [this] { return PreListen(); };
    EditorView& view = *this;
    AddView& adding = *this;
    playback_ = std::make_unique<PlaybackSession>(*tracks_, run_, AudioFileRead, *AudioPlayer, view,
                                                  preListen);
    editor_ = std::make_unique<SegmentEditor>(*tracks_, run_, *playback_, view);
    adder_ = std::make_unique<TrackAdder>(*tracks_, run_, adding);
    stretch_ = std::make_unique<StretchEditorSide>(
        *tracks_, run_, *playback_, *editor_, [this]() -> UserPrompts& { return Prompts(); },
        [this] { return settings_.get(); });
    opener_ = std::make_unique<PathOpener>(
        *adder_, AudioFileWrite, [this] { return settings_.get(); },
        [this] { return BusyForPaths(); });
    session_ = std::make_unique<SessionKeeper>(*tracks_, run_, *adder_, adding, [this](int row) {
        lv->SelectRow(row);
        lvClick();
    });
    CreateMenus();
    ConnectEvents();
    FormCreate();
}

Tfm_main::~Tfm_main() {
    SetUncaughtHandler({});
    qApp->removeEventFilter(this);
    // QWidget's destructor hides the window, which takes the focus from an open rename box:
    // nothing of this class may answer by then.
    for (QObject* child : findChildren<QObject*>()) child->disconnect(this);
}

void Tfm_main::CreateControls() {
    client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(kClientWidth, kClientHeight);
    setCentralWidget(client);
    // The window keeps the size of its menu bar and client area.
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    Skin = new TSkin(client);
    Skin->setObjectName(QStringLiteral("Skin"));
    Skin->hide();

    lv = new TrackListView(*tracks_, client);
    lv->setObjectName(QStringLiteral("lv"));

    pb = new QProgressBar(client);
    pb->setObjectName(QStringLiteral("pb"));
    pb->setRange(0, 100);
    pb->setValue(0);
    pb->setFormat(QStringLiteral("%p%"));
    pb->setTextVisible(false);

    cb_format = new QComboBox(client);
    cb_format->setObjectName(QStringLiteral("cb_format"));
    cb_format->addItems(OutputFormatNames());

    edt_dir = new QLineEdit(client);
    edt_dir->setObjectName(QStringLiteral("edt_dir"));
    edt_dir->setReadOnly(true);
    // A long folder shows from its start; the whole path is in the tool tip.
    connect(edt_dir, &QLineEdit::textChanged, edt_dir, [this](const QString& text) {
        edt_dir->setCursorPosition(0);
        edt_dir->setToolTip(text);
    });

    edt_title = new RenameBox(lv->viewport());
    edt_title->setObjectName(QStringLiteral("edt_title"));

    Timer = new QTimer(this);
    Timer->setObjectName(QStringLiteral("Timer"));
    Timer->setInterval(10);
    Timer->setSingleShot(true);

    AudioPlayer = new TAudioPlayer2(this);
    AudioPlayer->setObjectName(QStringLiteral("AudioPlayer"));
}

// One menu item: its caption, its name, the field that keeps it and its handler; a caption of
// nullptr is a separator.
struct MenuItem {
    const char* caption;
    const char* name;
    QAction* Tfm_main::*field;
    void (Tfm_main::*handler)();
};

void Tfm_main::AddItems(QMenu& menu, std::initializer_list<MenuItem> items) {
    for (const MenuItem& item : items) {
        if (!item.caption) {
            menu.addSeparator();
            continue;
        }
        QAction* action = menu.addAction(QString::fromLatin1(item.caption));
        action->setObjectName(QString::fromLatin1(item.name));
        connect(action, &QAction::triggered, this,
                Guarded([this, h = item.handler] { (this->*h)(); }));
        this->*item.field = action;
    }
}

void Tfm_main::CreateMenus() {
    using M = Tfm_main;
    mm = menuBar();
    mm->setObjectName(QStringLiteral("mm"));
    AddItems(*mm->addMenu(QStringLiteral("File")),
             {{"Add File", "AddFile1", &M::AddFile1, &M::AddFile1Click},
              {"Add Path", "AddPath1", &M::AddPath1, &M::AddPath1Click},
              {"Remove File", "Remove1", &M::Remove1, &M::Remove1Click},
              {"Clear", "Clear1", &M::Clear1, &M::Clear1Click},
              {"Sort by Name", "SortbyName1", &M::SortbyName1, &M::SortbyName1Click},
              {},
              {"Exit", "Exit1", &M::Exit1, &M::Exit1Click}});
    AddItems(*mm->addMenu(QStringLiteral("Action")),
             {{"Play", "Play1", &M::Play1, &M::Play1Click},
              {"Pause", "Pause1", &M::Pause1, &M::Pause1Click},
              {"Stop Playing", "Stopplay1", &M::Stopplay1, &M::Stopplay1Click},
              {},
              {"Cut", "Cut1", &M::Cut1, &M::Cut1Click},
              {"Join", "Join2", &M::Join2, &M::Join2Click},
              {"Stop", "Stop1", &M::Stop1, &M::Stop1Click},
              {},
              {"Edit Stretch...", "EditStretch1", &M::EditStretch1, &M::EditStretch1Click}});
    Option1 = mm->addAction(QStringLiteral("Options"));
    Option1->setObjectName(QStringLiteral("Option1"));
    connect(Option1, &QAction::triggered, this, GuardedSlot(this, &Tfm_main::Option1Click));
    AddItems(*mm->addMenu(QStringLiteral("Help")),
             {{"Content", "Content1", &M::Content1, &M::Content1Click},
              {},
              {"Web Site", "WebSite1", &M::WebSite1, &M::WebSite1Click},
              {},
              {"About", "About1", &M::About1, &M::About1Click}});

    pm = new QMenu(this);
    pm->setObjectName(QStringLiteral("pm"));
    AddItems(*pm, {{"Add File", "AddFile2", &M::AddFile2, &M::AddFile1Click},
                   {"Add Path", "AddPath2", &M::AddPath2, &M::AddPath1Click},
                   {"Remove File", "Remove2", &M::Remove2, &M::Remove1Click},
                   {"Clear", "Clear2", &M::Clear2, &M::Clear1Click},
                   {"Sort by Name", "SortbyName2", &M::SortbyName2, &M::SortbyName1Click},
                   {},
                   {"Play", "Play2", &M::Play2, &M::Play1Click},
                   {"Pause", "Pause2", &M::Pause2, &M::Pause1Click},
                   {"Stop Playing", "StopPlaying1", &M::StopPlaying1, &M::Stopplay1Click},
                   {},
                   {"Cut", "Cut2", &M::Cut2, &M::Cut1Click},
                   {"Join", "Join1", &M::Join1, &M::Join2Click},
                   {"Stop", "Stop2", &M::Stop2, &M::Stop1Click},
                   {},
                   {"Edit Stretch...", "EditStretch2", &M::EditStretch2, &M::EditStretch1Click}});
    // The popup shows the key; the main menu's item takes it.
    EditStretch1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    EditStretch2->setShortcut(EditStretch1->shortcut());
    EditStretch2->setShortcutContext(Qt::WidgetShortcut);
    EditStretch2->setShortcutVisibleInContextMenu(true);
}

void Tfm_main::ConnectEvents() {
    // Every slot runs guarded: an error goes to ApplicationEventsException, not through Qt.
    const auto on = [this](auto* sender, auto signal, auto slot) {
        connect(sender, signal, this, GuardedSlot(this, slot));
    };
    on(Skin, &TSkin::OnClick, &Tfm_main::SkinClick);
    on(Skin, &TSkin::OnMouseDown, &Tfm_main::SkinMouseDown);
    on(Skin, &TSkin::OnMouseUp, &Tfm_main::SkinMouseUp);
    on(Skin, &TSkin::OnScrollTrack, &Tfm_main::SkinScrollTrack);

    on(lv, &TrackListView::Pressed, &Tfm_main::lvMouseDown);
    on(lv, &TrackListView::Clicked, &Tfm_main::lvClick);
    on(lv, &TrackListView::DoubleClicked, &Tfm_main::lvDblClick);
    on(lv, &TrackListView::KeySelected, &Tfm_main::lvClick);
    lv->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(lv, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { pm->exec(lv->viewport()->mapToGlobal(at)); });
    on(edt_title, &RenameBox::Left, &Tfm_main::edt_titleExit);
    on(lv, &TrackListView::FilesDropped, &Tfm_main::lvFilesDropped);
    on(lv, &TrackListView::RowDropped, &Tfm_main::lvRowDropped);
    lv->SetDropChecks([this] { return !run_.IsConverting && !run_.IsAdding && !Closed(); },
                      [this] { return !run_.IsConverting; });
    // The current row is kept with the list.
    connect(lv->selectionModel(), &QItemSelectionModel::currentRowChanged, session_.get(),
            &SessionKeeper::Changed);
    on(Timer, &QTimer::timeout, &Tfm_main::TimerTimer);

    on(AudioPlayer, &TAudioPlayer2::OnEndArrayPlay, &Tfm_main::AudioPlayerEndArrayPlay);
    on(AudioPlayer, &TAudioPlayer2::OnTimer, &Tfm_main::AudioPlayerTimer);
    on(AudioPlayer, &TAudioPlayer2::OnRequestOnLoadArray, &Tfm_main::AudioPlayerRequestOnLoadArray);
    on(AudioPlayer, &TAudioPlayer2::OnEndPlay, &Tfm_main::AudioPlayerEndPlay);

    qApp->installEventFilter(this);
    SetUncaughtHandler([this](const QString& message) { ApplicationEventsException(message); });
}

void Tfm_main::SetDialogs(Tfm_set* set, Tfm_about* about, Tfm_dir* dir) {
    fm_set = set;
    fm_about = about;
    if (fm_about)
        connect(fm_about, &Tfm_about::OpenUrlRequested, this,
                [this](const QUrl& url) { Prompts().OpenUrl(url); });
    fm_dir = dir;
}

void Tfm_main::SetPrompts(std::unique_ptr<UserPrompts> prompts) {
    stretch_->CloseEditor();
    prompts_ = std::move(prompts);
}

// Start-up

void Tfm_main::FormCreate() {
    AudioFileWrite.SetOptionFlag(true);
    AudioFileRead.SetOptionFlag(true);
    AudioInformation.SetOptionFlag(true);
}

void Tfm_main::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (shown_) return;
    shown_ = true;
    CentreOnScreen();
    try {
        FormShow();
    } catch (const std::exception& e) {
        startupError_ = QString::fromUtf8(e.what());
    }
}

void Tfm_main::CentreOnScreen() {
    const QScreen* where = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!where) return;
    adjustSize();
    move(CentredOn(where->availableGeometry(), frameGeometry().size()));
}

void Tfm_main::FormShow() {
    skin_.Load(*Skin, this, SkinLibraryPath());
    stretch_->AttachOverview(skin_.Overviews());
    for (Bar bar : {Bar::Begin, Bar::End, Bar::Current}) skin_.SetPosition(bar, 0, true);

    settings_ = std::make_unique<quillet::SettingsFile>(quillet::SettingsFile::DefaultPath());
    edt_dir->setText(ReadString(*settings_, keys::CutOutputDirectory, DefaultMusicFolder()));
    const int format = ReadInteger(*settings_, keys::CutFormat);
    // A hand-edited index outside the list selects nothing, as the list itself would.
    cb_format->setCurrentIndex(format >= 0 && format < cb_format->count() ? format : -1);
    if (ReadBool(*settings_, keys::PreListen)) skin_.ShowPreListenOff(false);

    // IsPlaying and IsPaused start false in the playback session.
    run_.IsConverting = false;
    Enable({Stop1, Stop2, Stopplay1, StopPlaying1}, false);
    PlaceControls();
    // Once the window has painted.
    QTimer::singleShot(0, this, Guarded([this] { StartSession(); }));
}

void Tfm_main::PlaceControls() {
    lv->setGeometry(6, 73, 402, 247);
    pb->setGeometry(19, 330, 573, 12);
    cb_format->setGeometry(373, 357, 54, 21);
    edt_dir->setGeometry(433, 357, 96, 21);
    for (QWidget* control : {static_cast<QWidget*>(lv), static_cast<QWidget*>(pb),
                             static_cast<QWidget*>(cb_format), static_cast<QWidget*>(edt_dir)}) {
        control->raise();
    }
}

// Menu enabling

void Tfm_main::SetAddingMenus(bool enabled) {
    Enable({AddFile1, AddFile2, Remove1, Remove2, Clear1, Clear2, Cut1, Cut2, Join1, Join2, Play1,
            Play2},
           enabled);
}

void Tfm_main::SetConversionMenus(bool enabled) {
    SetAddingMenus(enabled);
    Option1->setEnabled(enabled);
    // "Stop" is of use only while a conversion runs, so it is on exactly then.
    Enable({Stop1, Stop2}, !enabled);
}

void Tfm_main::ShowPlayingMenus(bool playing) {
    Enable({Pause1, Pause2, Stopplay1, StopPlaying1}, playing);
    Enable({Cut1, Cut2, Join1, Join2, Clear1, Clear2}, !playing);
}

void Tfm_main::ShowPauseMenus(bool enabled) { Enable({Pause1, Pause2}, enabled); }

// Dialogs

int Tfm_main::ShowCentred(QDialog& dialog) {
    if (!dialog.testAttribute(Qt::WA_Resized)) dialog.adjustSize();
    dialog.move(CentredOn(frameGeometry(), dialog.frameGeometry().size()));
    return Prompts().ShowModal(dialog);
}

// Application events

void Tfm_main::ApplicationEventsException(const QString& message) {
    Prompts().Information(message);
    if (run_.IsConverting || std::exchange(run_.ConversionFailed, false)) {
        // Closing the output can fail for the same reason (a full disk); the file object is
        // closed all the same, and the conversion must still end.
        for (TAudioFile2* file : {&AudioFileRead, &AudioFileWrite}) {
            try {
                EngineLease::Reclaim(file);  // from the conversion's threads
                if (file->IsOpen()) file->Close();
            } catch (const std::exception& e) {
                Prompts().Information(QString::fromUtf8(e.what()));
            }
        }
        pb->setValue(0);
        run_.IsConverting = false;
    }
    playback_->Halt();
}

bool Tfm_main::eventFilter(QObject* watched, QEvent* event) {
    // A key press reaches the application's filters once for the platform window and again
    // for every widget it is passed on to; the window's turn is the one that counts, once.
    if (event->type() == QEvent::KeyPress && watched->isWindowType()) {
        const auto& key = *static_cast<QKeyEvent*>(event);
        ApplicationEventsMessage(key, watched);
        bool taken = false;
        if (watched == windowHandle())
            Guard([&] { taken = stretch_->TakeKey(key, QApplication::focusWidget()); });
        return taken;
    }
    return QMainWindow::eventFilter(watched, event);
}

void Tfm_main::ApplicationEventsMessage(const QKeyEvent& key, const QObject* targetWindow) {
    if (key.key() == Qt::Key_Escape) {
        // Escape in the rename box ends the edit there, not the program.
        if (edt_title->isVisible() && edt_title->hasFocus()) return;
        // The key's own window decides, not activeWindow(), whose change can still be pending
        // when a dialog has just opened. An open menu takes its own Escape.
        if (targetWindow == windowHandle() && QApplication::activeWindow() == this &&
            !QApplication::activeModalWidget() && !QApplication::activePopupWidget())
            close();
        return;
    }
    if (key.key() == Qt::Key_F1) Content1Click();
}

void Tfm_main::TimerTimer() {
    Timer->stop();
    skin_.SetPosition(run_.RestoreBeginBar ? Bar::Begin : Bar::End, run_.SavedBarPos, false);
}

// Closing

void Tfm_main::closeEvent(QCloseEvent* event) {
    FormCloseQuery();
    event->accept();
}

void Tfm_main::FormCloseQuery() {
    run_.IsConverting = false;
    session_->Flush();
    settings_.reset();
}

// Skin events

void Tfm_main::SkinClick(ISkinObject* source) {
    using Action = void (*)(Tfm_main&);
    static const std::pair<const char*, Action> kActions[] = {
        {"Add", [](Tfm_main& w) { w.AddFiles(); }},
        {"Remove", [](Tfm_main& w) { w.RemoveSelected(); }},
        {"Clear", [](Tfm_main& w) { w.Clear1Click(); }},
        {"Up", [](Tfm_main& w) { w.MoveUp(); }},
        {"Down", [](Tfm_main& w) { w.MoveDown(); }},
        {"Play", [](Tfm_main& w) { w.Play1Click(); }},
        {"Pause", [](Tfm_main& w) { w.playback_->PausePlayback(); }},
        {"Stop playing", [](Tfm_main& w) { w.playback_->StopPlayback(); }},
        {"cut", [](Tfm_main& w) { w.Cut1Click(); }},
        {"join", [](Tfm_main& w) { w.Join2Click(); }},
        {"Stop", [](Tfm_main& w) { w.Stop1Click(); }},
        {"Begin", [](Tfm_main& w) { w.editor_->Mark(SegmentEnd::Begin); }},
        {"End", [](Tfm_main& w) { w.editor_->Mark(SegmentEnd::End); }},
        {"Begin right", [](Tfm_main& w) { w.editor_->Step(SegmentEnd::Begin, +1); }},
        {"Begin left", [](Tfm_main& w) { w.editor_->Step(SegmentEnd::Begin, -1); }},
        {"End right", [](Tfm_main& w) { w.editor_->Step(SegmentEnd::End, +1); }},
        {"End left", [](Tfm_main& w) { w.editor_->Step(SegmentEnd::End, -1); }},
        {"Options", [](Tfm_main& w) { w.Option1Click(); }},
        {"Browse", [](Tfm_main& w) { w.ChooseOutputDirectory(); }},
        {"Pre-listen-off", [](Tfm_main& w) { w.SetPreListen(true); }},
        {"Pre-listen-on", [](Tfm_main& w) { w.SetPreListen(false); }},
        {"help", [](Tfm_main& w) { w.Content1Click(); }},
        {"Edit stretch", [](Tfm_main& w) { w.EditStretch1Click(); }},
    };
    if (!source) return;
    const QString name = source->GetName();
    for (const auto& [actionName, action] : kActions) {
        if (name == QLatin1String(actionName)) {
            action(*this);
            return;
        }
    }
}

bool Tfm_main::PreListen() const { return settings_ && ReadBool(*settings_, keys::PreListen); }

void Tfm_main::SetPreListen(bool on) {
    if (playback_->IsPlaying()) return;
    skin_.ShowPreListenOff(!on);
    if (settings_) WriteBool(*settings_, keys::PreListen, on);
}

void Tfm_main::SkinMouseDown(ISkinObject* source, int, int, int) {
    if (!source) return;
    const QString name = source->GetName();
    if (name == QLatin1String("Current bar")) {
        playback_->HeadPressed();
    } else if (name == QLatin1String("Begin bar")) {
        run_.SavedBarPos = skin_.Position(Bar::Begin);
        run_.SavedTimeText = skin_.GetText(Text::BeginTime);
    } else if (name == QLatin1String("End bar")) {
        run_.SavedBarPos = skin_.Position(Bar::End);
        run_.SavedTimeText = skin_.GetText(Text::EndTime);
    }
}

void Tfm_main::SkinMouseUp(ISkinObject* source, int, int, int) {
    if (source && source->GetName() == QLatin1String("Current bar")) playback_->HeadReleased();
}

void Tfm_main::SkinScrollTrack(ISkinObject* source, int newPos) {
    if (!source) return;
    const QString name = source->GetName();
    // The session keeps the head where the skin's bar is, whatever else the event does.
    if (name == QLatin1String("Current bar")) playback_->HeadMoved(newPos, tracks_->Rows() > 0);
    if (tracks_->Rows() == 0 || playback_->IsPlaying()) return;
    editor_->ScrollTrack(name, newPos);
}

// EditorView

int Tfm_main::SelectedRow() const { return lv->SelectedRow(); }

void Tfm_main::SelectRow(int row) { lv->SelectRow(row); }

void Tfm_main::SetBar(Bar bar, int position, bool redraw) {
    skin_.SetPosition(bar, position, redraw);
}

void Tfm_main::ShowBar(Bar bar, bool visible) { skin_.Show(bar, visible); }

void Tfm_main::SetText(Text text, const QString& value) { skin_.SetText(text, value); }

void Tfm_main::Information(const QString& text) { Prompts().Information(text); }

void Tfm_main::ArmRestoreTimer() { Timer->start(); }

// Player events

void Tfm_main::AudioPlayerEndArrayPlay() { playback_->ArrayPlayed(); }

void Tfm_main::AudioPlayerRequestOnLoadArray() { playback_->RequestArray(); }

void Tfm_main::AudioPlayerEndPlay() { playback_->PlayEnded(); }

void Tfm_main::AudioPlayerTimer(int currentSamples, int, int) { playback_->Timer(currentSamples); }

// Menu commands that lead elsewhere

void Tfm_main::AddFile1Click() { AddFiles(); }

void Tfm_main::Remove1Click() { RemoveSelected(); }

void Tfm_main::Exit1Click() { close(); }

void Tfm_main::Play1Click() { playback_->Play(); }

void Tfm_main::Pause1Click() { playback_->PausePlayback(); }

void Tfm_main::Stopplay1Click() { playback_->StopPlayback(); }

void Tfm_main::Option1Click() {
    if (run_.IsConverting || !fm_set) return;
    fm_set->SetSettingsFile(settings_.get());
    ShowCentred(*fm_set);
    if (settings_ && started_) session_->SetEnabled(ReadBool(*settings_, keys::KeepSession));
}

void Tfm_main::Content1Click() { Prompts().OpenUrl(QUrl::fromLocalFile(HelpFilePath())); }

void Tfm_main::WebSite1Click() { Prompts().OpenUrl(Tfm_about::WebSiteUrl()); }

void Tfm_main::About1Click() {
    if (fm_about) ShowCentred(*fm_about);
}

void Tfm_main::EditStretch1Click() { stretch_->Open(this); }

}  // namespace quillet
