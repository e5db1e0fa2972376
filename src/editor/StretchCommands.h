#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>

#include "editor/StretchHistory.h"

namespace quillet {

class SettingsFile;
class StretchEditorHost;

// What the stretch editor's keys and buttons do, over a host: marks at the play head, moving the
// selected handle by a step, playing around it, the play head to either end, and undo. It keeps
// the selected handle, the step, the pre- and post-roll and the undo history of the row shown,
// so that the editor window and the main window's keys share them: a change made in either is
// undone in either. Changes of the stretch made elsewhere are recorded too ("Changed elsewhere").
class StretchCommands : public QObject {
    Q_OBJECT
  public:
    enum class Handle { Begin, End };
    // The steps of Left and Right.
    enum Step { OneFrame, TenMs, HundredMs, OneSecond, StepCount };
    static constexpr int kDefaultRollMs = 2000;
    static constexpr int kMaxRollMs = 30000;

    explicit StretchCommands(StretchEditorHost& host, QObject* parent = nullptr);

    StretchEditorHost& Host() const { return host_; }
    // Where refusals are said ("Start-time must be smaller than end-time."); the program shows
    // an information box.
    void SetInform(std::function<void(const QString&)> inform) { inform_ = std::move(inform); }
    // The settings file that keeps the step and the rolls between runs, asked at every use (it
    // may be gone); without one they are kept here.
    void SetSettings(std::function<SettingsFile*()> settings) { settings_ = std::move(settings); }

    Handle SelectedHandle() const { return handle_; }
    void SelectHandle(Handle handle);
    int StepIndex() const;
    void SetStepIndex(int step);
    // One step in frames of the row's file (at least one).
    int64_t StepFrames() const;
    // Time played before and after the handle by PlayAround.
    int PreRollMs() const;
    int PostRollMs() const;
    void SetPreRollMs(int ms);
    void SetPostRollMs(int ms);

    const StretchHistory& History() const { return history_; }
    // The stretch as the host holds it, the last time it was looked at.
    const Stretch& Current() const { return stretch_; }

    void PlayPause();
    void MarkBegin();
    void MarkEnd();
    void PlayHeadToBegin();
    void PlayHeadToEnd();
    // steps (negative: earlier) of the selected handle; a held key (repeat) extends one change.
    void Nudge(int steps, bool held);
    void PlayAround();
    void Undo();
    void Redo();

    // The stretch set to `next`, which the caller has checked, and recorded for undo when the
    // program takes it.
    void Change(const Stretch& next, const QString& reason);
    // The refusal of a begin at or after the end (true), of an end at or before the begin.
    void Refuse(bool begin);

  signals:
    // Another row is shown: the history is empty.
    void RowLoaded();
    // The stretch, or what can be undone, changed.
    void StretchShown();
    void HandleChanged();
    void StepChanged();
    void RollsChanged();

  private:
    void LoadRow();
    void Sync();
    void StretchChangedElsewhere();
    bool Commit(const Stretch& next, const QString& reason);
    SettingsFile* Settings() const { return settings_ ? settings_() : nullptr; }

    StretchEditorHost& host_;
    std::function<void(const QString&)> inform_;
    std::function<SettingsFile*()> settings_;
    StretchHistory history_;
    Stretch stretch_;
    Handle handle_ = Handle::Begin;
    int step_ = TenMs;
    int preRollMs_ = kDefaultRollMs;
    int postRollMs_ = kDefaultRollMs;
    bool committing_ = false;
};

}  // namespace quillet
