#pragma once

#include <QTreeView>
#include <functional>

class QMimeData;

namespace quillet {

class TrackList;

// The track list: a read-only report of the list's four fixed columns with grid lines, one
// selected row at most. It reports mouse presses and clicks anywhere in it, on rows and on the
// empty space below them, after the view has updated its selection. Files and folders dropped
// on it from a file manager, and rows dragged to a new place in it, are reported too; the
// window decides what they do.
class TrackListView : public QTreeView {
    Q_OBJECT
  public:
    explicit TrackListView(TrackList& tracks, QWidget* parent = nullptr);

    // The lowest selected row, -1 when none.
    int SelectedRow() const;
    // Makes the row current and selected; a row out of range is ignored.
    void SelectRow(int row);

    // Whether a drop of files, or a drag of a row, may start now; both are always allowed
    // until these are set.
    void SetDropChecks(std::function<bool()> filesAllowed, std::function<bool()> rowsAllowed);
    // What a row drag carries: the row, for this view of this process only.
    QMimeData* RowMimeData(int row) const;

  signals:
    void Pressed();
    void Clicked();
    void DoubleClicked();
    // A key (an arrow, Home, End, a page key) selected another row.
    void KeySelected();
    // Local files and folders dropped from outside, in the order given.
    void FilesDropped(const QStringList& paths);
    // Row `from` dropped before row `before` (the row count: after the last row).
    void RowDropped(int from, int before);

  protected:
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    // Drag and drop.
    enum class Carried { Nothing, Files, Row };
    Carried WhatIsCarried(const QMimeData* data, int* row = nullptr) const;
    // Where a row dropped at this point of the viewport goes: before the returned row.
    int DropPlace(const QPoint& at) const;
    void StartRowDrag(int row);
    void SetDropLine(int before);
    // The columns have fixed widths made for a narrow 8-point face; with a wider face the font
    // shrinks a little so that captions, times and statuses still show whole.
    void FitFont();
    bool Fits(const QFont& font) const;

    bool leftPressed_ = false;
    bool fitting_ = false;

    std::function<bool()> filesAllowed_;
    std::function<bool()> rowsAllowed_;
    // The row a left press landed on, and where: a row drag starts from there.
    int pressedRow_ = -1;
    QPoint pressedAt_;
    // Where a dragged row would go, drawn as a line; -1 when no row is dragged over the list.
    int dropLine_ = -1;
};

}  // namespace quillet
