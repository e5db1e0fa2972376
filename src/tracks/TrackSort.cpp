#include "tracks/TrackSort.h"

#include <QCollator>
#include <QLocale>
#include <algorithm>
#include <numeric>

#include "tracks/TrackList.h"

namespace quillet {

std::vector<int> NaturalOrder(const QStringList& captions) {
    QLocale locale;
    // The C locale compares code points and knows no numbers: "Z" before "a", "10" before
    // "2". A user without a language gets the common order of Latin letters instead.
    if (locale.language() == QLocale::C) locale = QLocale(QLocale::English);
    QCollator collator(locale);
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);

    std::vector<int> order(static_cast<size_t>(captions.size()));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return collator.compare(captions[a], captions[b]) < 0; });
    return order;
}

void SwapRows(TrackList& tracks, int& current, int s, int t) {
    if (current == s) {
        current = t;
    } else if (current == t) {
        current = s;
    }
    tracks.Swap(s, t);
}

void MoveRow(TrackList& tracks, int& current, int from, int to) {
    const int step = to > from ? 1 : -1;
    for (int s = from; s != to; s += step) SwapRows(tracks, current, s, s + step);
}

void SortByName(TrackList& tracks, int& current) {
    QStringList captions;
    for (int row = 0; row < tracks.Rows(); ++row) captions << tracks.Caption(row);
    const std::vector<int> order = NaturalOrder(captions);
    const auto place = std::find(order.begin(), order.end(), current);
    if (place != order.end()) current = static_cast<int>(place - order.begin());
    // The selection follows its row.
    tracks.Reorder(order);
}

}  // namespace quillet
