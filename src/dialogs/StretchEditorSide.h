#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <vector>

class QKeyEvent;
class QWidget;

namespace quillet {

class ISkinWave;
class ListStretchHost;
class PlaybackSession;
class SegmentEditor;
class SettingsFile;
class StretchCommands;
class StretchOverview;
class Tfm_stretch;
class TrackList;
class UserPrompts;
struct RunState;

// What the main window holds of the stretch editor: the host over the list and playback, the
// commands that its keys and buttons run, the overview behind the skin's bars, and the editor
// window once it has been opened.
class StretchEditorSide {
  public:
    StretchEditorSide(TrackList& tracks, RunState& run, PlaybackSession& playback,
                      SegmentEditor& editor, std::function<UserPrompts&()> prompts,
                      std::function<SettingsFile*()> settings);
    ~StretchEditorSide();

    ListStretchHost& Host() { return *host_; }
    StretchCommands& Commands() { return *commands_; }
    // Null until Open.
    Tfm_stretch* Editor() { return editor_.get(); }

    void AttachOverview(std::vector<ISkinWave*> waves);
    // Modeless, made once and kept; it shows the current row whatever happens in the window.
    void Open(QWidget* parent);
    // The editor answers through the prompts it was made with: a new set needs a new editor.
    void CloseEditor();
    // The editor's keys where the focused control takes none; true when one ran.
    bool TakeKey(const QKeyEvent& key, const QWidget* focus);

  private:
    std::function<UserPrompts&()> prompts_;
    // Destroyed in this order: the window first.
    std::unique_ptr<ListStretchHost> host_;
    std::unique_ptr<StretchCommands> commands_;
    std::unique_ptr<StretchOverview> overview_;
    std::unique_ptr<Tfm_stretch> editor_;
};

}  // namespace quillet
