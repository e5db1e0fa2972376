#pragma once

#include <QLineEdit>

namespace quillet {

// The in-place edit of a row's caption: a box laid over the row's first cell. Enter hides it,
// which ends the edit as leaving the box does; both are reported as Left. Escape hides it and
// drops the edit: the caption stays as it was, and nothing is reported.
class RenameBox : public QLineEdit {
    Q_OBJECT
  public:
    explicit RenameBox(QWidget* parent = nullptr);

    // Over a row whose rectangle (in the parent's coordinates) is given, as wide as the first
    // column, with the caption to edit; the box takes the focus.
    void Open(const QRect& row, int width, const QString& caption);

  signals:
    void Left();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

  private:
    bool cancelling_ = false;
};

}  // namespace quillet
