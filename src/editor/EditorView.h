#pragma once

#include <QString>

namespace quillet {

// The editor's displays on the main window: the three bars and the time texts of the skin, the
// list's selection, the playback menus and the information box. Segment selection and playback
// show everything through here; the window implements it, tests may script it.
class EditorView {
  public:
    enum class Bar { Begin, End, Current };
    enum class Text { BeginTime, EndTime, CurrentTime, TotalTime, Filename };

    virtual ~EditorView() = default;

    // The lowest selected row of the list, -1 when none; selecting makes a row current in the
    // view (a row out of range is ignored).
    virtual int SelectedRow() const = 0;
    virtual void SelectRow(int row) = 0;

    // A bar's place (0..1000), with or without a redraw at once, and whether it shows.
    virtual void SetBar(Bar bar, int position, bool redraw) = 0;
    virtual void ShowBar(Bar bar, bool visible) = 0;
    // A text, redrawn at once.
    virtual void SetText(Text text, const QString& value) = 0;

    // Playback starts (true): "Pause" and "Stop Playing" on, "Cut", "Join", "Clear" off; it
    // stops (false): the other way round.
    virtual void ShowPlayingMenus(bool playing) = 0;
    // "Pause": off while paused.
    virtual void ShowPauseMenus(bool enabled) = 0;

    // Caption "Information", one OK button; returns once the user closed it.
    virtual void Information(const QString& text) = 0;
    // Puts the bar of RunState::RestoreBeginBar back to RunState::SavedBarPos 10 ms from now,
    // once, after the message box of a refused drag has gone.
    virtual void ArmRestoreTimer() = 0;
};

}  // namespace quillet
