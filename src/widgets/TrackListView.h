#pragma once

#include <QTreeView>

namespace quillet {

class TrackList;

// The track list: a read-only report of the list's four fixed columns with grid lines, one
// selected row at most. It reports mouse presses and clicks anywhere in it, on rows and on the
// empty space below them, after the view has updated its selection.
class TrackListView : public QTreeView {
    Q_OBJECT
  public:
    explicit TrackListView(TrackList& tracks, QWidget* parent = nullptr);

    // The lowest selected row, -1 when none.
    int SelectedRow() const;
    // Makes the row current and selected; a row out of range is ignored.
    void SelectRow(int row);

  signals:
    void Pressed();
    void Clicked();
    void DoubleClicked();
    // A key (an arrow, Home, End, a page key) selected another row.
    void KeySelected();

  protected:
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    // The columns have fixed widths made for a narrow 8-point face; with a wider face the font
    // shrinks a little so that captions, times and statuses still show whole.
    void FitFont();
    bool Fits(const QFont& font) const;

    bool leftPressed_ = false;
    bool fitting_ = false;
};

}  // namespace quillet
