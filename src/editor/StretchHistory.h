#pragma once

#include <QString>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

namespace quillet {

// The chosen stretch of a row: begin and end as exact frame positions.
struct Stretch {
    int64_t begin = 0;
    int64_t end = 0;
    friend bool operator==(const Stretch& a, const Stretch& b) {
        return a.begin == b.begin && a.end == b.end;
    }
    friend bool operator!=(const Stretch& a, const Stretch& b) { return !(a == b); }
};

// Undo and redo of the changes of one row's stretch, kept to a bounded depth: past it the
// oldest change is forgotten.
class StretchHistory {
  public:
    static constexpr int kDefaultDepth = 200;

    explicit StretchHistory(int depth = kDefaultDepth);

    // A change, named for the undo command ("Set begin at play head"). Whatever could be redone
    // is forgotten. A change that leaves the stretch as it was is not a change.
    void Record(const Stretch& before, const Stretch& after, const QString& reason);
    // A held key goes on changing the same stretch: the last change now ends at `after`, and is
    // dropped when that is where it began. Records a new change when there is none to extend.
    void ExtendLast(const Stretch& before, const Stretch& after, const QString& reason);

    bool CanUndo() const { return !undo_.empty(); }
    bool CanRedo() const { return !redo_.empty(); }
    QString UndoReason() const;
    QString RedoReason() const;
    int UndoCount() const { return static_cast<int>(undo_.size()); }
    int RedoCount() const { return static_cast<int>(redo_.size()); }

    // The stretch to go back to (or forward to), or nothing when there is no such change.
    std::optional<Stretch> Undo();
    std::optional<Stretch> Redo();

    void Clear();

  private:
    struct Change {
        Stretch before;
        Stretch after;
        QString reason;
    };

    int depth_;
    std::deque<Change> undo_;   // oldest first
    std::vector<Change> redo_;  // next redo last
};

}  // namespace quillet
