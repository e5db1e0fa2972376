#pragma once

#include <QString>
#include <functional>
#include <optional>

#include "convert/ListConversionHost.h"

class QComboBox;
class QProgressBar;

namespace quillet {

class MainSkin;
class UserPrompts;

// What Join's save dialog keeps for the next Join of the run: the file and its type (1-based).
struct JoinSaveChoice {
    QString fileName;
    int filterIndex = 1;
};

// The main window as Cut and Join see it: its format box, progress bar, skin bars, menus and
// boxes over the list's rows. The window outlives the command: closing it only clears
// IsConverting (and drops the settings file, which the copy no longer reads), and the window is
// destroyed after the event loop has ended, that is after the command returned.
class WindowConversionHost : public ListConversionHost {
  public:
    struct Controls {
        QComboBox& format;
        QProgressBar& progress;
        MainSkin& skin;
        UserPrompts& prompts;
        JoinSaveChoice& save;
        std::function<void(bool enabled)> enableMenus;
    };

    WindowConversionHost(RunState& run, TrackList& tracks, const PlaybackSession& playback,
                         SettingsFile& settings, Engine engine, Controls controls)
        : ListConversionHost(run, tracks, playback, settings, engine),
          controls_(std::move(controls)) {}

    int FormatIndex() const override;
    void PumpMessages() override;
    void SetProgress(int percent) override;
    // The 13 items off, "Begin bar" and "End bar" hidden, the bar's caption on; and back.
    void ShowConverting() override { ShowRunning(true); }
    void ShowIdle() override { ShowRunning(false); }
    void ShowInformation(const QString& text) override;
    bool ConfirmOverwrite() override;
    std::optional<JoinTarget> ChooseJoinTarget(const QString& startFolder) override;

  private:
    void ShowRunning(bool running);

    Controls controls_;
};

}  // namespace quillet
