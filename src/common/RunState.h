#pragma once

#include <QString>
#include <exception>

namespace quillet {

// The run-state of the main window that is not playback's: plain data, zero at start. Playback
// keeps its own flags (PlaybackSession).
struct RunState {
    bool IsConverting = false;
    bool IsAdding = false;
    // The row the editor's bars and one-second steps act on.
    int CurrentTrack = 0;
    // Output folder of the running conversion.
    QString OutputDir;
    // Bar-restore state: the pressed bar's place and time text at mouse-down, and which bar the
    // restore timer puts back.
    int SavedBarPos = 0;
    QString SavedTimeText;
    bool RestoreBeginBar = false;
    // The row whose caption is being edited in place.
    int RenameRow = 0;
    // A conversion was left by an error: the application's handler still has to close its files
    // and reset the progress bar, though IsConverting is already clear.
    bool ConversionFailed = false;
};

// IsConverting for the span of a Cut or Join: set on entry, cleared on every way out. Left by an
// exception, it marks the conversion failed for the application's handler, which runs next.
class ConvertingScope {
  public:
    explicit ConvertingScope(RunState& run) : run_(run), exceptions_(std::uncaught_exceptions()) {
        run_.IsConverting = true;
    }
    ~ConvertingScope() {
        if (std::uncaught_exceptions() > exceptions_ && run_.IsConverting)
            run_.ConversionFailed = true;
        run_.IsConverting = false;
    }
    ConvertingScope(const ConvertingScope&) = delete;
    ConvertingScope& operator=(const ConvertingScope&) = delete;

  private:
    RunState& run_;
    int exceptions_;
};

// IsAdding for the span of an add. A nested add (the skin's "Add" during an add) leaves the
// flag, and whatever the outer add switched, to the outer one.
class AddingScope {
  public:
    explicit AddingScope(RunState& run) : run_(run), outer_(!run.IsAdding) { run_.IsAdding = true; }
    ~AddingScope() {
        if (outer_) run_.IsAdding = false;
    }
    AddingScope(const AddingScope&) = delete;
    AddingScope& operator=(const AddingScope&) = delete;

    bool Outer() const { return outer_; }

  private:
    RunState& run_;
    bool outer_;
};

}  // namespace quillet
