#include "tracks/TrackSort.h"

#include <QCollator>
#include <QLocale>
#include <algorithm>
#include <numeric>

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

}  // namespace quillet
