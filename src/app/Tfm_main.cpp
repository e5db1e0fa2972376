#include "app/Tfm_main.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QKeyEvent>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QScreen>
#include <QStandardPaths>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <QWindow>
#include <utility>

#include "app/QuilletApplication.h"
#include "widgets/TrackListView.h"
#include "common/FormatTime.h"
#include "common/ProgramFiles.h"
#include "dialogs/FormFont.h"
#include "dialogs/Tfm_about.h"
#include "dialogs/Tfm_dir.h"
#include "dialogs/Tfm_set.h"
#include "platform/skin/TSkin.h"

namespace quillet {

namespace {

const QString kSkinFile = QStringLiteral("quilletskin.dll");
const QString kSkinForm = QStringLiteral("Pellicle");
constexpr int kStatusColumn = 3;

QAction* AddItem(QMenu& menu, const char* caption, const char* name, Tfm_main& window,
                 void (Tfm_main::*handler)()) {
    QAction* action = menu.addAction(QString::fromLatin1(caption));
    action->setObjectName(QString::fromLatin1(name));
    QObject::connect(action, &QAction::triggered, &window, handler);
    return action;
}

void Enable(std::initializer_list<QAction*> actions, bool enabled) {
    for (QAction* action : actions) action->setEnabled(enabled);
}

SkinError MissingObject(const QString& name) {
    return SkinError(
        QStringLiteral("The skin object \"%1\" is missing from %2").arg(name, kSkinFile));
}

SkinError WrongKind(const QString& name, const char* kind) {
    return SkinError(QStringLiteral("The skin object \"%1\" in %2 is not %3")
                         .arg(name, kSkinFile, QString::fromLatin1(kind)));
}

ISkinObject* FindRequired(ISkinForm& form, const QString& name) {
    ISkinObject* object = form.FindObject(name);
    if (!object) throw MissingObject(name);
    return object;
}

SkinBar BindBar(ISkinForm& form, const QString& name) {
    ISkinObject* object = FindRequired(form, name);
    SkinBar bar{object, object->Slider(), object->Element()};
    if (!bar.slider || !bar.element) throw WrongKind(name, "a slider");
    return bar;
}

SkinText BindText(ISkinForm& form, const QString& name) {
    ISkinObject* object = FindRequired(form, name);
    SkinText text{object, object->Label(), object->Element()};
    if (!text.label || !text.element) throw WrongKind(name, "a text");
    return text;
}

SkinSwitch BindSwitch(ISkinForm& form, const QString& name) {
    ISkinObject* object = FindRequired(form, name);
    SkinSwitch button{object, object->Element()};
    if (!button.element) throw WrongKind(name, "a button");
    return button;
}

}  // namespace

void SetText(SkinText& t, const QString& text) {
    if (t.label) t.label->SetText(text);
    if (t.element) t.element->Redraw();
}

Tfm_main::Tfm_main(QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                              Qt::WindowCloseButtonHint),
      prompts_(std::make_unique<QtUserPrompts>(this)) {
    setObjectName(QStringLiteral("fm_main"));
    setFont(FormFont());
    CreateControls();
    CreateMenus();
    ConnectEvents();
    FormCreate();
}

Tfm_main::~Tfm_main() {
    if (QuilletApplication* app = QuilletApplication::Instance()) app->SetExceptionHandler({});
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

    auto* list = new TrackListView(client);
    lv = list;
    lv->setObjectName(QStringLiteral("lv"));

    pb = new QProgressBar(client);
    pb->setObjectName(QStringLiteral("pb"));
    pb->setRange(0, 100);
    pb->setValue(0);
    pb->setFormat(QStringLiteral("%p%"));
    pb->setTextVisible(false);

    cb_format = new QComboBox(client);
    cb_format->setObjectName(QStringLiteral("cb_format"));
    cb_format->addItems({QStringLiteral("MP3"), QStringLiteral("WAV"), QStringLiteral("WMA"),
                         QStringLiteral("OGG")});

    edt_dir = new QLineEdit(client);
    edt_dir->setObjectName(QStringLiteral("edt_dir"));
    edt_dir->setReadOnly(true);
    // A long folder shows from its start; the whole path is in the tool tip.
    connect(edt_dir, &QLineEdit::textChanged, edt_dir, [this](const QString& text) {
        edt_dir->setCursorPosition(0);
        edt_dir->setToolTip(text);
    });

    edt_title = new QLineEdit(lv->viewport());
    edt_title->setObjectName(QStringLiteral("edt_title"));
    edt_title->hide();

    Timer = new QTimer(this);
    Timer->setObjectName(QStringLiteral("Timer"));
    Timer->setInterval(10);
    Timer->setSingleShot(true);

    AudioPlayer = new TAudioPlayer2(this);
    AudioPlayer->setObjectName(QStringLiteral("AudioPlayer"));
}

void Tfm_main::CreateMenus() {
    mm = menuBar();
    mm->setObjectName(QStringLiteral("mm"));

    QMenu* file = mm->addMenu(QStringLiteral("File"));
    AddFile1 = AddItem(*file, "Add File", "AddFile1", *this, &Tfm_main::AddFile1Click);
    AddPath1 = AddItem(*file, "Add Path", "AddPath1", *this, &Tfm_main::AddPath1Click);
    Remove1 = AddItem(*file, "Remove File", "Remove1", *this, &Tfm_main::Remove1Click);
    Clear1 = AddItem(*file, "Clear", "Clear1", *this, &Tfm_main::Clear1Click);
    file->addSeparator();
    Exit1 = AddItem(*file, "Exit", "Exit1", *this, &Tfm_main::Exit1Click);

    QMenu* action = mm->addMenu(QStringLiteral("Action"));
    Play1 = AddItem(*action, "Play", "Play1", *this, &Tfm_main::Play1Click);
    Pause1 = AddItem(*action, "Pause", "Pause1", *this, &Tfm_main::Pause1Click);
    Stopplay1 = AddItem(*action, "Stop Playing", "Stopplay1", *this, &Tfm_main::Stopplay1Click);
    action->addSeparator();
    Cut1 = AddItem(*action, "Cut", "Cut1", *this, &Tfm_main::Cut1Click);
    Join2 = AddItem(*action, "Join", "Join2", *this, &Tfm_main::Join2Click);
    Stop1 = AddItem(*action, "Stop", "Stop1", *this, &Tfm_main::Stop1Click);

    Option1 = mm->addAction(QStringLiteral("Options"));
    Option1->setObjectName(QStringLiteral("Option1"));
    connect(Option1, &QAction::triggered, this, &Tfm_main::Option1Click);

    QMenu* help = mm->addMenu(QStringLiteral("Help"));
    Content1 = AddItem(*help, "Content", "Content1", *this, &Tfm_main::Content1Click);
    help->addSeparator();
    WebSite1 = AddItem(*help, "Web Site", "WebSite1", *this, &Tfm_main::WebSite1Click);
    help->addSeparator();
    About1 = AddItem(*help, "About", "About1", *this, &Tfm_main::About1Click);

    pm = new QMenu(this);
    pm->setObjectName(QStringLiteral("pm"));
    AddFile2 = AddItem(*pm, "Add File", "AddFile2", *this, &Tfm_main::AddFile1Click);
    AddPath2 = AddItem(*pm, "Add Path", "AddPath2", *this, &Tfm_main::AddPath1Click);
    Remove2 = AddItem(*pm, "Remove File", "Remove2", *this, &Tfm_main::Remove1Click);
    Clear2 = AddItem(*pm, "Clear", "Clear2", *this, &Tfm_main::Clear1Click);
    pm->addSeparator();
    Play2 = AddItem(*pm, "Play", "Play2", *this, &Tfm_main::Play1Click);
    Pause2 = AddItem(*pm, "Pause", "Pause2", *this, &Tfm_main::Pause1Click);
    StopPlaying1 = AddItem(*pm, "Stop Playing", "StopPlaying1", *this, &Tfm_main::Stopplay1Click);
    pm->addSeparator();
    Cut2 = AddItem(*pm, "Cut", "Cut2", *this, &Tfm_main::Cut1Click);
    Join1 = AddItem(*pm, "Join", "Join1", *this, &Tfm_main::Join2Click);
    Stop2 = AddItem(*pm, "Stop", "Stop2", *this, &Tfm_main::Stop1Click);
}

void Tfm_main::ConnectEvents() {
    connect(Skin, &TSkin::OnClick, this, &Tfm_main::SkinClick);
    connect(Skin, &TSkin::OnMouseDown, this, &Tfm_main::SkinMouseDown);
    connect(Skin, &TSkin::OnMouseUp, this, &Tfm_main::SkinMouseUp);
    connect(Skin, &TSkin::OnScrollTrack, this, &Tfm_main::SkinScrollTrack);

    auto* list = static_cast<TrackListView*>(lv);
    connect(list, &TrackListView::Pressed, this, &Tfm_main::lvMouseDown);
    connect(list, &TrackListView::Clicked, this, &Tfm_main::lvClick);
    connect(list, &TrackListView::DoubleClicked, this, &Tfm_main::lvDblClick);
    lv->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(lv, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { pm->exec(lv->viewport()->mapToGlobal(at)); });
    edt_title->installEventFilter(this);

    connect(Timer, &QTimer::timeout, this, &Tfm_main::TimerTimer);

    connect(AudioPlayer, &TAudioPlayer2::OnEndArrayPlay, this, &Tfm_main::AudioPlayerEndArrayPlay);
    connect(AudioPlayer, &TAudioPlayer2::OnTimer, this, &Tfm_main::AudioPlayerTimer);
    connect(AudioPlayer, &TAudioPlayer2::OnRequestOnLoadArray, this,
            &Tfm_main::AudioPlayerRequestOnLoadArray);
    connect(AudioPlayer, &TAudioPlayer2::OnEndPlay, this, &Tfm_main::AudioPlayerEndPlay);

    qApp->installEventFilter(this);
    if (QuilletApplication* app = QuilletApplication::Instance()) {
        app->SetExceptionHandler(
            [this](const QString& message) { ApplicationEventsException(message); });
    }
}

void Tfm_main::SetDialogs(Tfm_set* set, Tfm_about* about, Tfm_dir* dir) {
    fm_set = set;
    fm_about = about;
    if (fm_about)
        connect(fm_about, &Tfm_about::OpenUrlRequested, this,
                [this](const QUrl& url) { Prompts().OpenUrl(url); });
    fm_dir = dir;
}

void Tfm_main::SetPrompts(std::unique_ptr<UserPrompts> prompts) { prompts_ = std::move(prompts); }

QString Tfm_main::MusicFolder() {
    const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    return music.isEmpty() ? QDir::homePath() + QStringLiteral("/Music") : music;
}

int Tfm_main::RowCount() const { return lv->topLevelItemCount(); }

int Tfm_main::SelectedRow() const {
    int first = -1;
    for (QTreeWidgetItem* item : lv->selectedItems()) {
        const int row = lv->indexOfTopLevelItem(item);
        if (row >= 0 && (first < 0 || row < first)) first = row;
    }
    return first;
}

void Tfm_main::SelectRow(int row) {
    QTreeWidgetItem* item = lv->topLevelItem(row);
    if (!item) return;
    lv->setCurrentItem(item);
    item->setSelected(true);
}

void Tfm_main::SetRowStatus(int row, const QString& status) {
    if (QTreeWidgetItem* item = lv->topLevelItem(row)) item->setText(kStatusColumn, status);
}

void Tfm_main::ShowTotalTime() {
    SetText(TotalTime, FormatTime(TrackTable.TotalSeconds(TrackCount)));
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
    const QRect area = where->availableGeometry();
    const QSize size = frameGeometry().size();
    move(area.left() + (area.width() - size.width()) / 2,
         area.top() + (area.height() - size.height()) / 2);
}

void Tfm_main::FormShow() {
    Skin->LoadSkin(SkinLibraryPath());
    Skin->ApplySkin(this);
    Skin->ApplyFormByName(this, kSkinForm);
    BindSkinObjects();

    for (SkinBar* bar : {&BeginBar, &EndBar, &CurrentBar}) {
        bar->slider->SetPosition(0);
        bar->element->Redraw();
    }

    SettingsFile = std::make_unique<quillet::SettingsFile>(quillet::SettingsFile::DefaultPath());
    edt_dir->setText(SettingsFile->ReadString(kCut, kOutputDirectory, MusicFolder()));
    const int format = SettingsFile->ReadInteger(kCut, QStringLiteral("format"), 0);
    // A hand-edited index outside the list selects nothing, as the list itself would.
    cb_format->setCurrentIndex(format >= 0 && format < cb_format->count() ? format : -1);
    if (SettingsFile->ReadBool(kCut, kPreListen, false)) PreListenOff.element->SetVisible(false);

    IsPlaying = false;
    IsPaused = false;
    IsConverting = false;
    Enable({Stop1, Stop2, Stopplay1, StopPlaying1}, false);
    PlaceControls();
}

void Tfm_main::BindSkinObjects() {
    ISkinForm* form = Skin->GetFormObject(this);
    if (!form) {
        throw SkinError(
            QStringLiteral("The skin form \"%1\" is missing from %2").arg(kSkinForm, kSkinFile));
    }
    BeginBar = BindBar(*form, QStringLiteral("Begin bar"));
    EndBar = BindBar(*form, QStringLiteral("End bar"));
    CurrentBar = BindBar(*form, QStringLiteral("Current bar"));
    BeginTime = BindText(*form, QStringLiteral("Begin time"));
    EndTime = BindText(*form, QStringLiteral("End time"));
    CurrentTime = BindText(*form, QStringLiteral("Current time"));
    TotalTime = BindText(*form, QStringLiteral("Total time"));
    Filename = BindText(*form, QStringLiteral("Filename"));
    PreListenOff = BindSwitch(*form, QStringLiteral("Pre-listen-off"));
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

void Tfm_main::SetPlayingMenus(bool playing) {
    Enable({Pause1, Pause2, Stopplay1, StopPlaying1}, playing);
    Enable({Cut1, Cut2, Join1, Join2, Clear1, Clear2}, !playing);
}

void Tfm_main::SetPauseMenus(bool enabled) { Enable({Pause1, Pause2}, enabled); }

// Dialogs

int Tfm_main::ShowCentred(QDialog& dialog) {
    if (!dialog.testAttribute(Qt::WA_Resized)) dialog.adjustSize();
    const QRect main = frameGeometry();
    const QSize size = dialog.frameGeometry().size();
    dialog.move(main.left() + (main.width() - size.width()) / 2,
                main.top() + (main.height() - size.height()) / 2);
    return Prompts().ShowModal(dialog);
}

// Application events

void Tfm_main::ApplicationEventsException(const QString& message) {
    Prompts().Information(message);
    if (IsConverting) {
        // Closing the output can fail for the same reason (a full disk); the file object is
        // closed all the same, and the conversion must still end.
        for (TAudioFile2* file : {&AudioFileRead, &AudioFileWrite}) {
            try {
                if (file->IsOpen()) file->Close();
            } catch (const std::exception& e) {
                Prompts().Information(QString::fromUtf8(e.what()));
            }
        }
        pb->setValue(0);
        IsConverting = false;
    }
    if (IsPlaying) AudioPlayer->Stop();
}

bool Tfm_main::eventFilter(QObject* watched, QEvent* event) {
    // A key press reaches the application's filters once for the platform window and again
    // for every widget it is passed on to; the window's turn is the one that counts, once.
    if (event->type() == QEvent::KeyPress && watched->isWindowType()) {
        ApplicationEventsMessage(*static_cast<QKeyEvent*>(event), watched);
        return false;
    }
    if (watched == edt_title) {
        if (event->type() == QEvent::FocusOut) edt_titleExit();
        if (event->type() == QEvent::KeyPress)
            edt_titleKeyDown(static_cast<QKeyEvent*>(event)->key());
    }
    return QMainWindow::eventFilter(watched, event);
}

void Tfm_main::ApplicationEventsMessage(const QKeyEvent& key, const QObject* targetWindow) {
    if (key.key() == Qt::Key_Escape) {
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
    SkinBar& bar = RestoreBeginBar ? BeginBar : EndBar;
    bar.slider->SetPosition(SavedBarPos);
}

// Closing

void Tfm_main::closeEvent(QCloseEvent* event) {
    FormCloseQuery();
    event->accept();
}

void Tfm_main::FormCloseQuery() {
    IsConverting = false;
    SettingsFile.reset();
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
        {"Pause", [](Tfm_main& w) { w.PausePlayback(); }},
        {"Stop playing", [](Tfm_main& w) { w.StopPlayback(); }},
        {"cut", [](Tfm_main& w) { w.Cut1Click(); }},
        {"join", [](Tfm_main& w) { w.Join2Click(); }},
        {"Stop", [](Tfm_main& w) { w.Stop1Click(); }},
        {"Begin", [](Tfm_main& w) { w.MarkBegin(); }},
        {"End", [](Tfm_main& w) { w.MarkEnd(); }},
        {"Begin right", [](Tfm_main& w) { w.IncreaseTime(1); }},
        {"Begin left", [](Tfm_main& w) { w.DecreaseTime(1); }},
        {"End right", [](Tfm_main& w) { w.IncreaseTime(2); }},
        {"End left", [](Tfm_main& w) { w.DecreaseTime(2); }},
        {"Options", [](Tfm_main& w) { w.Option1Click(); }},
        {"Browse",
         [](Tfm_main& w) {
             if (!w.IsConverting) w.ChooseOutputDirectory();
         }},
        {"Pre-listen-off",
         [](Tfm_main& w) {
             if (!w.IsPlaying) w.SetPreListen(true);
         }},
        {"Pre-listen-on",
         [](Tfm_main& w) {
             if (!w.IsPlaying) w.SetPreListen(false);
         }},
        {"help", [](Tfm_main& w) { w.Content1Click(); }},
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

void Tfm_main::SetPreListen(bool on) {
    PreListenOff.element->SetVisible(!on);
    if (SettingsFile) SettingsFile->WriteBool(kCut, kPreListen, on);
}

void Tfm_main::SkinMouseDown(ISkinObject* source, int, int, int) {
    if (!source) return;
    const QString name = source->GetName();
    if (name == QLatin1String("Current bar")) {
        AudioPlayer->Stop();
    } else if (name == QLatin1String("Begin bar")) {
        SavedBarPos = BeginBar.slider->GetPosition();
        SavedTimeText = BeginTime.label->GetText();
    } else if (name == QLatin1String("End bar")) {
        SavedBarPos = EndBar.slider->GetPosition();
        SavedTimeText = EndTime.label->GetText();
    }
}

void Tfm_main::SkinMouseUp(ISkinObject* source, int, int, int) {
    if (!source || source->GetName() != QLatin1String("Current bar")) return;
    if (!IsPlaying || IsPaused) return;
    IsPlaying = false;
    FreshPlay = false;
    StartPlayback();
}

void Tfm_main::SkinScrollTrack(ISkinObject* source, int newPos) {
    if (!source || RowCount() == 0) return;
    const QString name = source->GetName();
    if (name == QLatin1String("Current bar")) CurrentBarScrollTrack(newPos);
    if (IsPlaying) return;
    SegmentScrollTrack(name, newPos);
}

// Menu commands that lead elsewhere

void Tfm_main::AddFile1Click() { AddFiles(); }

void Tfm_main::Remove1Click() { RemoveSelected(); }

void Tfm_main::Exit1Click() { close(); }

void Tfm_main::Play1Click() {
    FreshPlay = true;
    StartPlayback();
}

void Tfm_main::Pause1Click() { PausePlayback(); }

void Tfm_main::Stopplay1Click() { StopPlayback(); }

void Tfm_main::Option1Click() {
    if (IsConverting || !fm_set) return;
    fm_set->SetSettingsFile(SettingsFile.get());
    ShowCentred(*fm_set);
}

void Tfm_main::Content1Click() {
    Prompts().OpenUrl(QUrl::fromLocalFile(HelpFilePath()));
}

void Tfm_main::WebSite1Click() { Prompts().OpenUrl(Tfm_about::WebSiteUrl()); }

void Tfm_main::About1Click() {
    if (fm_about) ShowCentred(*fm_about);
}

}  // namespace quillet
