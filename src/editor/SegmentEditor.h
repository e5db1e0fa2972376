#pragma once

#include <QObject>
#include <QString>
#include <cstdint>

#include "editor/SegmentEdit.h"

namespace quillet {

class EditorView;
class PlaybackSession;
class TrackList;
struct RunState;

// Changing the chosen stretch of a row: the bar drags and one-second steps while nothing plays,
// the marks at the play head while it plays, and what the editor shows of the current row. Every
// accepted change writes the row's record and keeps the bars, the time texts, the row's column
// and the total time in step. The stretch editor's changes come through SetStretch, to the frame.
class SegmentEditor : public QObject {
    Q_OBJECT
  public:
    SegmentEditor(TrackList& tracks, RunState& run, PlaybackSession& playback, EditorView& view,
                  QObject* parent = nullptr);

    // A click on the list: the selected row (or, with none, the current one selected again)
    // becomes the current row and is loaded into the bars and texts.
    void LoadCurrentRow();
    // With no row selected, the first row an add appended becomes selected and current: its
    // length on "End time", the bars on the whole file, the head at the start.
    void SelectFirstAppended(int row);
    // Nothing left to edit: every time at zero, the bars at 0 ("Current bar" too when asked).
    void Reset(bool withCurrentBar);

    // A scroll-track of "Begin bar" or "End bar" (or, for any other source, only the total time
    // by positions) while nothing plays.
    void ScrollTrack(const QString& sourceName, int newPos);
    // "Begin right"/"End right" (+1) and "Begin left"/"End left" (-1).
    void Step(SegmentEnd end, int delta);
    // "Begin" and "End": the stretch's begin or end at the play head.
    void Mark(SegmentEnd end);

    void ShowTotalTime();

    // The stretch of `row` set to exactly these positions, its whole seconds derived from them
    // (PositionToWholeSeconds), and the displays brought up to date as a mark does: the bars and
    // times when it is the current row, its column, the total time by seconds. Refused (false,
    // nothing changed) while a Cut or Join runs, without a sample rate, or unless
    // 0 <= startPos < endPos <= LengthPos.
    bool SetStretch(int row, int64_t startPos, int64_t endPos, int sampleRate);

  signals:
    // CurrentTrack was set: a click, a key in the list, an add into an empty list.
    void CurrentRowChanged();

  private:
    void Drag(SegmentEnd end, int row, int newPos);
    void ShowTotalByPositions();

    TrackList& tracks_;
    RunState& run_;
    PlaybackSession& playback_;
    EditorView& view_;
};

}  // namespace quillet
