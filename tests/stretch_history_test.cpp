#include <gtest/gtest.h>

#include <QString>
#include <deque>
#include <random>

#include "editor/StretchHistory.h"

namespace quillet {
namespace {

TEST(StretchHistory, UndoesAndRedoesInOrder) {
    StretchHistory h;
    EXPECT_FALSE(h.CanUndo());
    EXPECT_FALSE(h.Undo().has_value());
    h.Record({0, 1000}, {100, 1000}, "Begin typed");
    h.Record({100, 1000}, {100, 900}, "End at play head");
    EXPECT_EQ(h.UndoReason(), "End at play head");
    EXPECT_EQ(h.Undo(), (Stretch{100, 1000}));
    EXPECT_EQ(h.RedoReason(), "End at play head");
    EXPECT_EQ(h.UndoReason(), "Begin typed");
    EXPECT_EQ(h.Undo(), (Stretch{0, 1000}));
    EXPECT_FALSE(h.Undo().has_value());
    EXPECT_EQ(h.Redo(), (Stretch{100, 1000}));
    EXPECT_EQ(h.Redo(), (Stretch{100, 900}));
    EXPECT_FALSE(h.Redo().has_value());
}

TEST(StretchHistory, ANewChangeForgetsWhatCouldBeRedone) {
    StretchHistory h;
    h.Record({0, 1000}, {10, 1000}, "a");
    h.Record({10, 1000}, {20, 1000}, "b");
    ASSERT_TRUE(h.Undo());
    h.Record({10, 1000}, {10, 500}, "c");
    EXPECT_FALSE(h.CanRedo());
    EXPECT_EQ(h.Undo(), (Stretch{10, 1000}));
    EXPECT_EQ(h.Undo(), (Stretch{0, 1000}));
}

TEST(StretchHistory, KeepsOnlyItsDepthAndSkipsNonChanges) {
    StretchHistory h(3);
    for (int64_t i = 0; i < 5; ++i) h.Record({i, 100}, {i + 1, 100}, "step");
    h.Record({5, 100}, {5, 100}, "nothing");
    EXPECT_EQ(h.UndoCount(), 3);
    EXPECT_EQ(h.Undo(), (Stretch{4, 100}));
    EXPECT_EQ(h.Undo(), (Stretch{3, 100}));
    EXPECT_EQ(h.Undo(), (Stretch{2, 100}));
    EXPECT_FALSE(h.CanUndo());  // {0..2} fell off the end
    EXPECT_EQ(h.RedoCount(), 3);
}

TEST(StretchHistory, AHeldKeyIsOneChange) {
    StretchHistory h;
    h.Record({0, 1000}, {0, 990}, "End moved");
    h.ExtendLast({0, 990}, {0, 980}, "End moved");
    h.ExtendLast({0, 980}, {0, 970}, "End moved");
    EXPECT_EQ(h.UndoCount(), 1);
    // Another kind of change starts a change of its own.
    h.ExtendLast({0, 970}, {5, 970}, "Begin moved");
    EXPECT_EQ(h.UndoCount(), 2);
    EXPECT_EQ(h.Undo(), (Stretch{0, 970}));
    EXPECT_EQ(h.Undo(), (Stretch{0, 1000}));
    EXPECT_EQ(h.Redo(), (Stretch{0, 970}));
    // After an undo the held key does not extend the change it undid.
    ASSERT_TRUE(h.Undo());
    h.ExtendLast({0, 1000}, {0, 1010}, "End moved");
    EXPECT_EQ(h.UndoCount(), 1);
    EXPECT_FALSE(h.CanRedo());
    // Held back to where it began: no change is left.
    h.ExtendLast({0, 1010}, {0, 1000}, "End moved");
    EXPECT_FALSE(h.CanUndo());
}

// The record: every stretch the row has had, in order, with the place of the present one.
// Undo steps back along it, redo forward; a change cuts what lies ahead and appends; the
// depth keeps only the last depth steps reachable.
class Record {
  public:
    Record(Stretch start, int depth) : depth_(depth) { states_.push_back(start); }
    Stretch Now() const { return states_[at_]; }
    void Change(Stretch next) {
        if (next == Now()) return;
        states_.resize(at_ + 1);
        states_.push_back(next);
        ++at_;
        while (static_cast<int>(states_.size()) > depth_ + 1) {
            states_.pop_front();
            --at_;
        }
    }
    bool Undo() {
        if (at_ == 0) return false;
        --at_;
        return true;
    }
    bool Redo() {
        if (at_ + 1 >= states_.size()) return false;
        ++at_;
        return true;
    }

  private:
    int depth_;
    std::deque<Stretch> states_;
    size_t at_ = 0;
};

TEST(StretchHistory, FollowsTheRecordOfEveryStretchTheRowHad) {
    for (const int depth : {1, 4, 50}) {
        std::mt19937 random(1234 + depth);
        Stretch now{0, 44100};
        StretchHistory history(depth);
        Record record(now, depth);
        for (int i = 0; i < 3000; ++i) {
            const int what = std::uniform_int_distribution<int>(0, 9)(random);
            if (what < 5) {
                Stretch next = now;
                const int64_t to = std::uniform_int_distribution<int64_t>(0, 44100)(random);
                (what % 2 ? next.end : next.begin) = to;
                history.Record(now, next, "change");
                record.Change(next);
                now = next;
            } else if (what < 8) {
                const std::optional<Stretch> back = history.Undo();
                ASSERT_EQ(back.has_value(), record.Undo()) << "step " << i;
                if (back) now = *back;
            } else {
                const std::optional<Stretch> forward = history.Redo();
                ASSERT_EQ(forward.has_value(), record.Redo()) << "step " << i;
                if (forward) now = *forward;
            }
            ASSERT_EQ(now, record.Now()) << "step " << i << " depth " << depth;
        }
    }
}

}  // namespace
}  // namespace quillet
