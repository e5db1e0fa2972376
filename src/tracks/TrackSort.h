#pragma once

#include <QStringList>
#include <vector>

namespace quillet {

// The order "Sort by Name" gives the rows: by caption, as people read names (digits by their
// value, so "Track 2" before "Track 10"; letters as the user's language orders them), equal
// captions in their present order. Element i is the row that goes to place i.
std::vector<int> NaturalOrder(const QStringList& captions);

class TrackList;

// The list's reorderings. `current` is the row the editor shows; it follows its file.
// Neighbouring rows s and t change places.
void SwapRows(TrackList& tracks, int& current, int s, int t);
// Row `from` goes to row `to` one place at a time, as "Up" and "Down" move it: every row between
// keeps its file, record and status, and the playing row follows through the moves.
void MoveRow(TrackList& tracks, int& current, int from, int to);
// The rows in NaturalOrder of their captions.
void SortByName(TrackList& tracks, int& current);

}  // namespace quillet
