#pragma once

#include <QStringList>
#include <vector>

namespace quillet {

// The order "Sort by Name" gives the rows: by caption, as people read names (digits by their
// value, so "Track 2" before "Track 10"; letters as the user's language orders them), equal
// captions in their present order. Element i is the row that goes to place i.
std::vector<int> NaturalOrder(const QStringList& captions);

}  // namespace quillet
