#include "editor/StretchHistory.h"

#include <algorithm>

namespace quillet {

StretchHistory::StretchHistory(int depth) : depth_(std::max(depth, 1)) {}

void StretchHistory::Record(const Stretch& before, const Stretch& after, const QString& reason) {
    if (before == after) return;
    redo_.clear();
    undo_.push_back({before, after, reason});
    while (static_cast<int>(undo_.size()) > depth_) undo_.pop_front();
}

void StretchHistory::ExtendLast(const Stretch& before, const Stretch& after,
                                const QString& reason) {
    // Only the change just made can be extended: after an undo the held key starts anew.
    if (undo_.empty() || !redo_.empty() || undo_.back().after != before ||
        undo_.back().reason != reason) {
        Record(before, after, reason);
        return;
    }
    undo_.back().after = after;
    if (undo_.back().before == after) undo_.pop_back();
}

QString StretchHistory::UndoReason() const {
    return undo_.empty() ? QString() : undo_.back().reason;
}

QString StretchHistory::RedoReason() const {
    return redo_.empty() ? QString() : redo_.back().reason;
}

std::optional<Stretch> StretchHistory::Undo() {
    if (undo_.empty()) return std::nullopt;
    Change c = undo_.back();
    undo_.pop_back();
    redo_.push_back(c);
    return c.before;
}

std::optional<Stretch> StretchHistory::Redo() {
    if (redo_.empty()) return std::nullopt;
    Change c = redo_.back();
    redo_.pop_back();
    undo_.push_back(c);
    return c.after;
}

void StretchHistory::Clear() {
    undo_.clear();
    redo_.clear();
}

}  // namespace quillet
