#pragma once

#include <QString>

namespace quillet {

// Texts of the list's columns and of the rename box.

inline const QString kUnconverted = QStringLiteral("unconverted");

// "  hh:mm:ss - hh:mm:ss": the stretch column. A new row shows "  00:00:00 - " + its length.
QString SegmentText(int startSec, int endSec);

// The caption with every character that cannot stand in a file name removed, in the order
// * ? | : " / \ < >.
QString CleanCaption(const QString& text);

// The caption a rename leaves: the cleaned text, or the old caption when nothing is left.
QString RenamedCaption(const QString& oldCaption, const QString& typed);

}  // namespace quillet
