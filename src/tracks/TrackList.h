#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <cstdint>
#include <vector>

#include "tracks/TrackTable.h"

namespace quillet {

// The list of input files: for every row its TrackInfo record (record i belongs to row i, in
// the fixed table), its caption and its status, and TrackCount, the row count as last brought
// up to date. Views show it; Cut, Join, playback and the editor read and change it through
// these operations only.
class TrackList : public QAbstractTableModel {
    Q_OBJECT
  public:
    enum Column { CaptionColumn, SegmentColumn, LengthColumn, StatusColumn, ColumnCount };

    explicit TrackList(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    int Rows() const { return static_cast<int>(rows_.size()); }
    // TrackCount: equal to Rows() whenever no add is running.
    int Count() const { return count_; }
    void UpdateCount() { count_ = Rows(); }
    bool IsRow(int row) const { return row >= 0 && row < Rows(); }

    const TrackInfo& Record(int row) const { return table_[row]; }
    QString Caption(int row) const { return Row(row).caption; }
    QString SegmentText(int row) const { return Row(row).segment; }
    QString LengthText(int row) const { return Row(row).length; }
    QString Status(int row) const { return Row(row).status; }
    // The file's sample rate as the add found it; 0 when the row was added without it.
    int SampleRate(int row) const { return Row(row).sampleRate; }
    void SetSampleRate(int row, int sampleRate);
    // Names the row for the whole run, wherever it moves; never 0, never used again.
    uint64_t RowId(int row) const { return Row(row).id; }

    // Whether one more row has a record left in the table.
    bool HasRoom() const { return TrackTable::HasRoom(Rows()); }
    // A new last row for a file of length positions and durationMs milliseconds: its stretch is
    // the whole file, "unconverted". False (nothing added) when the table is full.
    bool Append(const QString& path, const QString& caption, int32_t length, int32_t durationMs,
                int sampleRate = 0);
    // Deletes the row; the records after it move down by one. Count() follows.
    void Remove(int row);
    // Exchanges two neighbouring rows with their records.
    void Swap(int a, int b);
    // Puts the rows in a new order, each with its record: order[i] is the row that goes to
    // place i. Selections and other persistent indices follow their rows. Anything but an
    // order of all the rows is ignored.
    void Reorder(const std::vector<int>& order);
    // Deletes every row; the records are left as they are. Count() is 0.
    void Clear();

    void Rename(int row, const QString& caption);
    void SetStatus(int row, const QString& status);

    // The stretch of a row, whole seconds beside positions. The column text is rebuilt only
    // by ShowSegment or set by SetSegmentText.
    void SetBegin(int row, int64_t position, int32_t seconds);
    void SetEnd(int row, int64_t position, int32_t seconds);
    // Both ends at once, so that no one sees a begin past the end in between.
    void SetStretch(int row, int64_t startPos, int32_t startSec, int64_t endPos, int32_t endSec);
    void ShowSegment(int row);
    void SetSegmentText(int row, const QString& text);

    // Sum over the first Count() rows of EndSec - StartSec.
    int TotalSeconds() const { return table_.TotalSeconds(count_); }
    // The same sum scaled from positions, as a bar drag shows it.
    int TotalSecondsByPositions() const;

  signals:
    // The record's StartPos, EndPos, StartSec or EndSec were written.
    void StretchChanged(int row);

  private:
    // What a row holds beside its record; it moves with the row.
    struct RowTexts {
        QString caption;
        QString segment;
        QString length;
        QString status;
        int sampleRate = 0;
        uint64_t id = 0;
    };

    const RowTexts& Row(int row) const { return rows_.at(static_cast<size_t>(row)); }
    RowTexts& Row(int row) { return rows_.at(static_cast<size_t>(row)); }
    void Changed(int row, Column column);

    TrackTable table_;
    std::vector<RowTexts> rows_;
    int count_ = 0;
    uint64_t lastId_ = 0;
};

}  // namespace quillet
