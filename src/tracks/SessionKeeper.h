#pragma once

#include <QByteArray>
#include <QObject>
#include <QTimer>
#include <functional>
#include <optional>

#include "tracks/SessionFile.h"

namespace quillet {

class AddView;
class TAudioFile2;
class TrackAdder;
class TrackList;
struct RunState;

// Keeps the list between runs: restores it from the session file at start, and writes it back
// whole as it changes (a burst of changes gives one write, a moment after the first) and at the
// close. Nothing is written while the list is as the file has it, so a start without a session
// file that adds nothing leaves none behind.
class SessionKeeper : public QObject {
    Q_OBJECT
  public:
    // How long after a change the list is written.
    static constexpr int kDelayMs = 250;

    // showRow selects a restored row and loads it into the editor.
    SessionKeeper(TrackList& tracks, RunState& run, TrackAdder& adder, AddView& view,
                  std::function<void(int row)> showRow, QObject* parent = nullptr);
    // A change still waiting is written, without a message.
    ~SessionKeeper() override;

    // The file this window keeps its list in; without one nothing is kept.
    void SetFile(const QString& path);
    bool HasFile() const { return file_.has_value(); }
    // At start, when the list is to be kept: keeping begins, and the rows of the file are
    // appended as an add appends them, each file checked with probe and named in a box when it
    // has gone or no longer opens. A row keeps its stretch when its file has the length it had;
    // a file whose length changed comes back as a new row (the whole file) under its caption.
    // The row that was current is selected and shown.
    void Start(TAudioFile2& probe);
    // The settings changed. Off: nothing is written, and the file is removed so that no old
    // list comes back. On again: the list as it stands is written.
    void SetEnabled(bool on);
    bool Enabled() const { return enabled_; }

    // The list or the current row changed.
    void Changed();
    // The window closes: what is waiting is written now.
    void Flush();

  private:
    Session Snapshot() const;
    void Write(bool report);

    TrackList& tracks_;
    RunState& run_;
    TrackAdder& adder_;
    AddView& view_;
    std::function<void(int)> showRow_;
    std::optional<SessionFile> file_;
    QTimer timer_;
    // What the file holds as far as this run knows; empty when unknown (nothing then matches).
    QByteArray written_;
    bool enabled_ = false;
    bool restoring_ = false;
    bool failureShown_ = false;
};

}  // namespace quillet
