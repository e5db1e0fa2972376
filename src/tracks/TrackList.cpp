#include "tracks/TrackList.h"

#include <algorithm>

#include "common/FormatTime.h"
#include "tracks/TrackRowText.h"

namespace quillet {

namespace {

const char* const kCaptions[TrackList::ColumnCount] = {"File Name", "Start Time - End Time",
                                                       "Length", "Status"};

}  // namespace

TrackList::TrackList(QObject* parent) : QAbstractTableModel(parent) {}

int TrackList::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : Rows(); }

int TrackList::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TrackList::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || !IsRow(index.row())) return {};
    const RowTexts& r = Row(index.row());
    switch (index.column()) {
        case CaptionColumn:
            return r.caption;
        case SegmentColumn:
            return r.segment;
        case LengthColumn:
            return r.length;
        case StatusColumn:
            return r.status;
        default:
            return {};
    }
}

QVariant TrackList::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= ColumnCount)
        return {};
    return QString::fromLatin1(kCaptions[section]);
}

Qt::ItemFlags TrackList::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

bool TrackList::Append(const QString& path, const QString& caption, int32_t length,
                       int32_t durationMs, int sampleRate) {
    const int row = Rows();
    if (!HasRoom()) return false;
    table_.FillNew(row, path, length, durationMs);
    const int seconds = durationMs / 1000;
    beginInsertRows(QModelIndex(), row, row);
    rows_.push_back({caption, quillet::SegmentText(0, seconds), FormatTime(seconds), kUnconverted,
                     std::max(sampleRate, 0), ++lastId_});
    endInsertRows();
    return true;
}

void TrackList::Remove(int row) {
    if (!IsRow(row)) return;
    beginRemoveRows(QModelIndex(), row, row);
    rows_.erase(rows_.begin() + row);
    // The last row's record simply stays behind as a leftover.
    if (row < Rows()) table_.RemoveRow(row, Rows());
    endRemoveRows();
    UpdateCount();
}

void TrackList::Swap(int a, int b) {
    if (!IsRow(a) || !IsRow(b) || (a - b != 1 && b - a != 1)) return;
    const int upper = std::min(a, b);
    // The lower row moves above the upper one; selections and persistent indices follow it.
    beginMoveRows(QModelIndex(), upper + 1, upper + 1, QModelIndex(), upper);
    std::swap(Row(a), Row(b));
    table_.Swap(a, b);
    endMoveRows();
}

void TrackList::Reorder(const std::vector<int>& order) {
    const size_t n = rows_.size();
    std::vector<int> place(n, -1);
    if (order.size() != n) return;
    for (size_t i = 0; i < n; ++i) {
        const int from = order[i];
        if (from < 0 || static_cast<size_t>(from) >= n || place[from] >= 0) return;
        place[from] = static_cast<int>(i);
    }
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<RowTexts> rows;
    std::vector<TrackInfo> records;
    rows.reserve(n);
    records.reserve(n);
    for (const int from : order) {
        rows.push_back(std::move(rows_[from]));
        records.push_back(std::move(table_[from]));
    }
    rows_ = std::move(rows);
    for (size_t i = 0; i < n; ++i) table_[static_cast<int>(i)] = std::move(records[i]);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    for (const QModelIndex& index : before)
        after << (index.isValid() ? this->index(place[index.row()], index.column()) : index);
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void TrackList::Clear() {
    beginResetModel();
    rows_.clear();
    count_ = 0;
    endResetModel();
}

void TrackList::Rename(int row, const QString& caption) {
    if (!IsRow(row)) return;
    Row(row).caption = caption;
    Changed(row, CaptionColumn);
}

void TrackList::SetStatus(int row, const QString& status) {
    if (!IsRow(row)) return;
    Row(row).status = status;
    Changed(row, StatusColumn);
}

void TrackList::SetSampleRate(int row, int sampleRate) {
    if (IsRow(row)) Row(row).sampleRate = std::max(sampleRate, 0);
}

void TrackList::SetBegin(int row, int64_t position, int32_t seconds) {
    if (!IsRow(row)) return;
    table_[row].StartPos = position;
    table_[row].StartSec = seconds;
    emit StretchChanged(row);
}

void TrackList::SetEnd(int row, int64_t position, int32_t seconds) {
    if (!IsRow(row)) return;
    table_[row].EndPos = position;
    table_[row].EndSec = seconds;
    emit StretchChanged(row);
}

void TrackList::SetStretch(int row, int64_t startPos, int32_t startSec, int64_t endPos,
                           int32_t endSec) {
    if (!IsRow(row)) return;
    TrackInfo& t = table_[row];
    t.StartPos = startPos;
    t.StartSec = startSec;
    t.EndPos = endPos;
    t.EndSec = endSec;
    emit StretchChanged(row);
}

void TrackList::ShowSegment(int row) {
    if (!IsRow(row)) return;
    SetSegmentText(row, quillet::SegmentText(table_[row].StartSec, table_[row].EndSec));
}

void TrackList::SetSegmentText(int row, const QString& text) {
    if (!IsRow(row)) return;
    Row(row).segment = text;
    Changed(row, SegmentColumn);
}

int TrackList::TotalSecondsByPositions() const { return table_.TotalSecondsByPositions(count_); }

void TrackList::Changed(int row, Column column) {
    const QModelIndex at = index(row, column);
    emit dataChanged(at, at, {Qt::DisplayRole});
}

}  // namespace quillet
