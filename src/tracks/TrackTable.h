#pragma once

#include <QString>
#include <cstdint>
#include <vector>

namespace quillet {

// The chosen stretch of one list row and the whole file it comes from.
struct TrackInfo {
    int64_t StartPos = 0;
    int64_t EndPos = 0;
    int32_t StartSec = 0;
    int32_t EndSec = 0;
    int64_t LengthPos = 0;
    int32_t LengthSec = 0;
    QString FilePath;
};

// The fixed table in which record i belongs to list row i. Records at and after the row count
// are leftovers and never read.
class TrackTable {
  public:
    static constexpr int kCapacity = 10001;

    TrackTable();

    // Row indices are checked by the caller through HasRoom; out-of-range access asserts.
    TrackInfo& operator[](int row);
    const TrackInfo& operator[](int row) const;

    static bool HasRoom(int row) { return row >= 0 && row < kCapacity; }

    // The record of a newly appended row: its stretch is the whole file. The engine's 32-bit
    // length is sign-extended. False (nothing written) when the row lies beyond the table.
    bool FillNew(int row, const QString& path, int32_t length, int32_t durationMs);

    // Row s was deleted and newCount rows remain: records s+1 .. newCount move down by one.
    void RemoveRow(int s, int newCount);

    void Swap(int a, int b);

    // Sum of EndSec - StartSec over the first count rows. Clamped to the int range so that a
    // list of many long files cannot wrap into a negative time.
    int TotalSeconds(int count) const;
    // The same sum scaled from positions, MulDiv(EndPos - StartPos, LengthSec, LengthPos) on the
    // low 32 bits: what a bar drag shows. A row of no length counts 0.
    int TotalSecondsByPositions(int count) const;

  private:
    std::vector<TrackInfo> records_;
};

}  // namespace quillet
