#pragma once

#include <QMainWindow>
#include <QString>
#include <initializer_list>
#include <memory>

#include "common/RunState.h"
#include "dialogs/UserPrompts.h"
#include "editor/EditorView.h"
#include "platform/audio/TAudioFile2.h"
#include "platform/audio/TAudioFile2LameEnc.h"
#include "platform/audio/TAudioInformation2.h"
#include "tracks/TrackAdder.h"
#include "widgets/MainSkin.h"
#include "widgets/WindowConversionHost.h"

class QAction;
class QComboBox;
class QDialog;
class QKeyEvent;
class QLineEdit;
class QMenu;
class QMenuBar;
class QProgressBar;
class QTimer;

namespace quillet {

class ISkinObject;
struct MenuItem;
class PathOpener;
class PlaybackSession;
class RenameBox;
class SegmentEditor;
class SessionKeeper;
class SettingsFile;
class StretchEditorSide;
class TAudioPlayer2;
class TSkin;
class Tfm_about;
class Tfm_dir;
class Tfm_set;
class TrackList;
class TrackListView;

// The main window: its controls and menus, the skin, and the wiring of their events to the
// track list, the editor, playback and the conversions, which hold the program's logic. The
// handlers of the list and of the conversions live in Tfm_main_tracks.cpp and
// Tfm_main_convert.cpp.
class Tfm_main : public QMainWindow, public EditorView, public AddView {
    Q_OBJECT
  public:
    static constexpr int kClientWidth = 610;
    static constexpr int kClientHeight = 388;

    explicit Tfm_main(QWidget* parent = nullptr);
    ~Tfm_main() override;

    // The three dialogs, created after this window.
    void SetDialogs(Tfm_set* set, Tfm_about* about, Tfm_dir* dir);

    UserPrompts& Prompts() { return *prompts_; }
    // Tests answer the boxes and dialogs with their own prompts.
    void SetPrompts(std::unique_ptr<UserPrompts> prompts);

    // Why the first showing failed (skin library missing, damaged or incomplete); empty when
    // it went well. The window is unusable after such a failure.
    const QString& StartupError() const { return startupError_; }

    // Every dialog of the main window opens through here: centred on this window, modal.
    int ShowCentred(QDialog& dialog);

    // The list is kept in this session file (while the settings let it): restored after the
    // first showing, written as it changes.
    void KeepSession(const QString& path);
    // Files and folders from outside the dialogs (the command line, a later start): added once
    // the window is shown and free, files as Add File adds them, folders with their
    // sub-folders.
    void OpenPaths(const QStringList& paths);

    TrackList& Tracks() { return *tracks_; }
    RunState& Run() { return run_; }
    PlaybackSession& Playback() { return *playback_; }
    StretchEditorSide& StretchSide() { return *stretch_; }
    MainSkin& SkinObjects() { return skin_; }
    // Open from the first show to the close of the window, null outside that span: a command
    // still running in a message pump after the close must check it.
    quillet::SettingsFile* Settings() { return settings_.get(); }

    // Controls.
    QWidget* client = nullptr;  // the 610 x 388 area under the menu bar that the skin covers
    TSkin* Skin = nullptr;
    TrackListView* lv = nullptr;
    QProgressBar* pb = nullptr;
    QComboBox* cb_format = nullptr;
    QLineEdit* edt_dir = nullptr;
    RenameBox* edt_title = nullptr;
    QMenuBar* mm = nullptr;
    QMenu* pm = nullptr;
    QTimer* Timer = nullptr;

    // Main menu items, and their popup twins.
    QAction *AddFile1 = nullptr, *AddPath1 = nullptr, *Remove1 = nullptr, *Clear1 = nullptr,
            *SortbyName1 = nullptr, *Exit1 = nullptr, *Play1 = nullptr, *Pause1 = nullptr,
            *Stopplay1 = nullptr, *Cut1 = nullptr, *Join2 = nullptr, *Stop1 = nullptr,
            *Option1 = nullptr, *Content1 = nullptr, *WebSite1 = nullptr, *About1 = nullptr;
    QAction *AddFile2 = nullptr, *AddPath2 = nullptr, *Remove2 = nullptr, *Clear2 = nullptr,
            *SortbyName2 = nullptr, *Play2 = nullptr, *Pause2 = nullptr, *StopPlaying1 = nullptr,
            *Cut2 = nullptr, *Join1 = nullptr, *Stop2 = nullptr;
    // Action > "Edit Stretch..." (Ctrl+E) and its popup twin.
    QAction *EditStretch1 = nullptr, *EditStretch2 = nullptr;

    Tfm_set* fm_set = nullptr;
    Tfm_about* fm_about = nullptr;
    Tfm_dir* fm_dir = nullptr;

    // Audio engine.
    TAudioFile2 AudioFileRead;
    TAudioFile2 AudioFileWrite;
    TAudioPlayer2* AudioPlayer = nullptr;
    TAudioFile2LameEnc AudioFile2LameEnc;
    TAudioInformation2 AudioInformation;

    // Menu enabling, both menus at once.
    // "Add File", "Remove File", "Clear", "Cut", "Join", "Play": off while files are added.
    void SetAddingMenus(bool enabled);
    // The same six and "Options": off while a Cut or Join runs, while "Stop" is on.
    void SetConversionMenus(bool enabled);

    // Application-wide handlers.
    void FormCreate();
    void FormShow();
    void FormCloseQuery();
    void ApplicationEventsException(const QString& message);
    void ApplicationEventsMessage(const QKeyEvent& key, const QObject* targetWindow);
    void TimerTimer();

    // Skin events.
    void SkinClick(ISkinObject* source);
    void SkinMouseDown(ISkinObject* source, int button, int x, int y);
    void SkinMouseUp(ISkinObject* source, int button, int x, int y);
    void SkinScrollTrack(ISkinObject* source, int newPos);

    // Menu commands.
    void AddFile1Click();
    void AddPath1Click();
    void Remove1Click();
    void Clear1Click();
    void SortbyName1Click();
    void Exit1Click();
    void Play1Click();
    void Pause1Click();
    void Stopplay1Click();
    void Cut1Click();
    void Join2Click();
    void Stop1Click();
    void Option1Click();
    void Content1Click();
    void WebSite1Click();
    void About1Click();
    void EditStretch1Click();

    // Track list (Tfm_main_tracks.cpp).
    void AddFiles();
    void RemoveSelected();
    void MoveUp();
    void MoveDown();
    void ChooseOutputDirectory();  // the skin's "Browse"
    void lvClick();
    void lvDblClick();
    void lvMouseDown();
    void edt_titleExit();
    // Files and folders dropped on the list; refused while a conversion or an add runs.
    void lvFilesDropped(const QStringList& paths);
    // A row dragged before row `before`: the rows between move up or down by one, as with
    // "Up" and "Down".
    void lvRowDropped(int from, int before);

    // Player events.
    void AudioPlayerEndArrayPlay();
    void AudioPlayerRequestOnLoadArray();
    void AudioPlayerEndPlay();
    void AudioPlayerTimer(int currentSamples, int levelLeft, int levelRight);

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void CreateControls();
    void CreateMenus();
    void AddItems(QMenu& menu, std::initializer_list<MenuItem> items);
    void ConnectEvents();
    void CentreOnScreen();
    void PlaceControls();
    bool PreListen() const;
    // Pre-listen on hides "Pre-listen-off" and stores true; off shows it and stores false.
    // Neither while playing or paused.
    void SetPreListen(bool on);
    // The window's side of a Cut or Join.
    WindowConversionHost MakeConversionHost();
    // A rename still open ends on its own row before rows move.
    void EndRename();
    void SwapRows(int s, int t);
    // True, after saying why, while a conversion runs or a file plays.
    bool RefusedWhileBusy();
    // After the first showing: the kept list comes back, then the paths given to the window.
    void StartSession();
    // The paths given from outside wait for this.
    bool BusyForPaths() const;

    // EditorView.
    int SelectedRow() const override;
    void SelectRow(int row) override;
    void SetBar(Bar bar, int position, bool redraw) override;
    void ShowBar(Bar bar, bool visible) override;
    void SetText(Text text, const QString& value) override;
    void ShowPlayingMenus(bool playing) override;
    void ShowPauseMenus(bool enabled) override;
    void Information(const QString& text) override;
    void ArmRestoreTimer() override;

    // AddView (Tfm_main_tracks.cpp).
    void Message(const QString& text) override { Prompts().Message(text); }
    void PumpMessages() override;
    bool Closed() const override { return !settings_; }
    void ShowAdding(bool adding) override { SetAddingMenus(!adding); }
    void SelectFirstAppended(int row) override;
    void ShowTotalTime() override;

    RunState run_;
    JoinSaveChoice joinSave_;
    TrackList* tracks_ = nullptr;  // a child of this window
    MainSkin skin_;
    std::unique_ptr<quillet::SettingsFile> settings_;
    std::unique_ptr<PlaybackSession> playback_;
    std::unique_ptr<SegmentEditor> editor_;
    std::unique_ptr<TrackAdder> adder_;
    std::unique_ptr<UserPrompts> prompts_;
    std::unique_ptr<StretchEditorSide> stretch_;
    std::unique_ptr<PathOpener> opener_;
    // Last, so that it writes what waits while the list still exists.
    std::unique_ptr<SessionKeeper> session_;
    QString startupError_;
    bool shown_ = false;
    bool started_ = false;
};

}  // namespace quillet
