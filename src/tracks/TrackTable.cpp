#include "tracks/TrackTable.h"

#include <QtGlobal>
#include <algorithm>
#include <limits>
#include <utility>

#include "common/MulDiv.h"

namespace quillet {

TrackTable::TrackTable() : records_(kCapacity) {}

TrackInfo& TrackTable::operator[](int row) {
    Q_ASSERT(HasRoom(row));
    return records_[static_cast<size_t>(row)];
}

const TrackInfo& TrackTable::operator[](int row) const {
    Q_ASSERT(HasRoom(row));
    return records_[static_cast<size_t>(row)];
}

bool TrackTable::FillNew(int row, const QString& path, int32_t length, int32_t durationMs) {
    if (!HasRoom(row)) return false;
    TrackInfo& t = records_[static_cast<size_t>(row)];
    const int32_t seconds = durationMs / 1000;
    t.StartPos = 0;
    t.EndPos = length;
    t.StartSec = 0;
    t.EndSec = seconds;
    t.LengthPos = length;
    t.LengthSec = seconds;
    t.FilePath = path;
    return true;
}

void TrackTable::RemoveRow(int s, int newCount) {
    if (s < 0) return;
    const int last = std::min(newCount, kCapacity - 1);
    for (int k = s; k < last; ++k) {
        records_[static_cast<size_t>(k)] = std::move(records_[static_cast<size_t>(k + 1)]);
    }
}

void TrackTable::Swap(int a, int b) {
    if (!HasRoom(a) || !HasRoom(b)) return;
    std::swap(records_[static_cast<size_t>(a)], records_[static_cast<size_t>(b)]);
}

int TrackTable::TotalSeconds(int count) const {
    int64_t total = 0;
    const int n = std::clamp(count, 0, kCapacity);
    for (int k = 0; k < n; ++k) {
        const TrackInfo& t = records_[static_cast<size_t>(k)];
        total += int64_t{t.EndSec} - t.StartSec;
    }
    return static_cast<int>(std::clamp<int64_t>(total, std::numeric_limits<int>::min(),
                                                std::numeric_limits<int>::max()));
}

int TrackTable::TotalSecondsByPositions(int count) const {
    int64_t total = 0;
    const int n = std::clamp(count, 0, kCapacity);
    for (int k = 0; k < n; ++k) {
        const TrackInfo& t = records_[static_cast<size_t>(k)];
        // The difference is taken on the low halves, as the scaling is.
        const auto span = static_cast<int32_t>(static_cast<uint32_t>(Low32(t.EndPos)) -
                                               static_cast<uint32_t>(Low32(t.StartPos)));
        // A zero length gives MulDiv's -1: such a row has no seconds to add.
        if (Low32(t.LengthPos) == 0) continue;
        total += MulDiv(span, t.LengthSec, Low32(t.LengthPos));
    }
    return static_cast<int>(std::clamp<int64_t>(total, std::numeric_limits<int>::min(),
                                                std::numeric_limits<int>::max()));
}

}  // namespace quillet
