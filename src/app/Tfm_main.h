#pragma once

#include <QMainWindow>
#include <QString>
#include <cstdint>
#include <memory>

#include "app/UserPrompts.h"
#include "platform/audio/TAudioFile2.h"
#include "platform/audio/TAudioFile2LameEnc.h"
#include "platform/audio/TAudioInformation2.h"
#include "platform/player/TAudioPlayer2.h"
#include "platform/skin/SkinObject.h"
#include "settings/SettingsFile.h"
#include "tracks/TrackTable.h"

class QAction;
class QComboBox;
class QDialog;
class QKeyEvent;
class QLineEdit;
class QMenu;
class QMenuBar;
class QProgressBar;
class QTimer;
class QTreeWidget;

namespace quillet {

class TSkin;
class Tfm_about;
class Tfm_dir;
class Tfm_set;

// References to the skin objects bound at first show; they live as long as the skin form.
struct SkinBar {
    ISkinObject* object = nullptr;
    ISkinSlider* slider = nullptr;
    ISkinElement* element = nullptr;
};

struct SkinText {
    ISkinObject* object = nullptr;
    ISkinLabel* label = nullptr;
    ISkinElement* element = nullptr;
};

struct SkinSwitch {
    ISkinObject* object = nullptr;
    ISkinElement* element = nullptr;
};

// The text of a skin text element, redrawn at once. Does nothing before the skin is bound.
void SetText(SkinText& t, const QString& text);

// The settings section of the main window and the keys it shares between its parts.
inline const QString kCut = QStringLiteral("cut");
inline const QString kPreListen = QStringLiteral("pre-listen");
inline const QString kOutputDirectory = QStringLiteral("output directory");
// What a time text shows when nothing is loaded or played.
inline const QString kZeroTime = QStringLiteral("00:00:00");

// The main window: the skin, the track list, the menus, the run-state every command reads, and
// the audio engine objects. Its fields carry the names the commands use; the handlers of the
// track list, of the editor and of the conversion live in Tfm_main_tracks.cpp,
// Tfm_main_editor.cpp and Tfm_main_convert.cpp.
class Tfm_main : public QMainWindow {
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

    // The music folder, where Cut and Join write and whose path the window shows when no
    // output folder is stored.
    static QString MusicFolder();

    // The list's rows: how many, the lowest selected one (-1 when none), selecting one (a row
    // out of range is ignored), and the status column of one.
    int RowCount() const;
    int SelectedRow() const;
    void SelectRow(int row);
    void SetRowStatus(int row, const QString& status);
    // "Total time" from the whole seconds of the first TrackCount rows.
    void ShowTotalTime();

    // Controls.
    QWidget* client = nullptr;  // the 610 x 388 area under the menu bar that the skin covers
    TSkin* Skin = nullptr;
    QTreeWidget* lv = nullptr;
    QProgressBar* pb = nullptr;
    QComboBox* cb_format = nullptr;
    QLineEdit* edt_dir = nullptr;
    QLineEdit* edt_title = nullptr;
    QMenuBar* mm = nullptr;
    QMenu* pm = nullptr;
    QTimer* Timer = nullptr;

    // Main menu items.
    QAction* AddFile1 = nullptr;
    QAction* AddPath1 = nullptr;
    QAction* Remove1 = nullptr;
    QAction* Clear1 = nullptr;
    QAction* Exit1 = nullptr;
    QAction* Play1 = nullptr;
    QAction* Pause1 = nullptr;
    QAction* Stopplay1 = nullptr;
    QAction* Cut1 = nullptr;
    QAction* Join2 = nullptr;
    QAction* Stop1 = nullptr;
    QAction* Option1 = nullptr;
    QAction* Content1 = nullptr;
    QAction* WebSite1 = nullptr;
    QAction* About1 = nullptr;
    // Popup menu items, the twins of the above.
    QAction* AddFile2 = nullptr;
    QAction* AddPath2 = nullptr;
    QAction* Remove2 = nullptr;
    QAction* Clear2 = nullptr;
    QAction* Play2 = nullptr;
    QAction* Pause2 = nullptr;
    QAction* StopPlaying1 = nullptr;
    QAction* Cut2 = nullptr;
    QAction* Join1 = nullptr;
    QAction* Stop2 = nullptr;

    Tfm_set* fm_set = nullptr;
    Tfm_about* fm_about = nullptr;
    Tfm_dir* fm_dir = nullptr;

    // Audio engine.
    TAudioFile2 AudioFileRead;
    TAudioFile2 AudioFileWrite;
    TAudioPlayer2* AudioPlayer = nullptr;
    TAudioFile2LameEnc AudioFile2LameEnc;
    TAudioInformation2 AudioInformation;

    // Open from the first show to the close of the window, null outside that span: a command
    // still running in a message pump after the close must check it.
    std::unique_ptr<quillet::SettingsFile> SettingsFile;

    // Skin objects bound at first show.
    SkinBar BeginBar;
    SkinBar EndBar;
    SkinBar CurrentBar;
    SkinText BeginTime;
    SkinText EndTime;
    SkinText CurrentTime;
    SkinText TotalTime;
    SkinText Filename;
    SkinSwitch PreListenOff;

    // Record i belongs to list row i; TrackCount is the row count as last brought up to date.
    quillet::TrackTable TrackTable;
    int TrackCount = 0;

    // Run-state.
    bool IsConverting = false;
    bool IsPlaying = false;
    bool IsPaused = false;
    bool IsAdding = false;
    bool FreshPlay = false;
    int CurrentTrack = 0;
    int PlayingTrack = 0;
    QString OutputDir;
    // What Join's save dialog keeps for the next Join of the run: the file and its type (1-based).
    QString SaveDialogFileName;
    int SaveDialogFilterIndex = 1;
    int SavedBarPos = 0;
    QString SavedTimeText;
    bool RestoreBeginBar = false;
    int RenameRow = 0;

    // Play range of the track being played.
    int64_t PlayStartPos = 0;
    int32_t PlayStartSec = 0;
    int64_t PlayLengthPos = 0;
    int32_t PlayLengthSec = 0;
    int64_t PlayOffsetPos = 0;

    // Menu enabling, both menus at once.
    // "Add File", "Remove File", "Clear", "Cut", "Join", "Play": off while files are added.
    void SetAddingMenus(bool enabled);
    // The same six and "Options": off while a Cut or Join runs, while "Stop" is on.
    void SetConversionMenus(bool enabled);
    // Playback starts (true): "Pause" and "Stop Playing" on, "Cut", "Join", "Clear" off;
    // playback stops (false): the other way round.
    void SetPlayingMenus(bool playing);
    // "Pause": off while paused.
    void SetPauseMenus(bool enabled);

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

    // Track list (Tfm_main_tracks.cpp).
    void AddFiles();
    void RemoveSelected();
    void MoveUp();
    void MoveDown();
    void ScanFolder(const QString& folder, bool includeSubFolders);
    void ChooseOutputDirectory();  // the skin's "Browse"
    void lvClick();
    void lvDblClick();
    void lvMouseDown();
    void edt_titleExit();
    void edt_titleKeyDown(int key);

    // Segment selection and playback (Tfm_main_editor.cpp).
    void StartPlayback();
    void PausePlayback();
    void StopPlayback();
    void QueueNextBlock();
    void MarkBegin();
    void MarkEnd();
    void IncreaseTime(int which);  // 1 the begin, 2 the end
    void DecreaseTime(int which);
    void CurrentBarScrollTrack(int newPos);
    // The drag of "Begin bar" and "End bar" while nothing plays, and the total time for any
    // other source.
    void SegmentScrollTrack(const QString& sourceName, int newPos);
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
    void ConnectEvents();
    void CentreOnScreen();
    void BindSkinObjects();
    void PlaceControls();
    // Pre-listen on hides "Pre-listen-off" and stores true; off shows it and stores false.
    void SetPreListen(bool on);

    std::unique_ptr<UserPrompts> prompts_;
    QString startupError_;
    bool shown_ = false;
};

}  // namespace quillet
