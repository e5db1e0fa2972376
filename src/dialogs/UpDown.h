#pragma once

#include <QLocale>
#include <QWidget>

class QLineEdit;
class QToolButton;

namespace quillet {

// An up-down control beside a buddy edit, as the settings dialog's quality fields need it: a
// position inside a range that the arrows (and the edit's Up and Down keys) step without
// wrapping, shown in the edit with thousands separators ("1,000"). Digits typed into the edit
// become the position as they are typed; the edit is left as typed unless it had to be clamped.
class UpDown : public QWidget {
    Q_OBJECT
  public:
    UpDown(QLineEdit& buddy, int minimum, int maximum, QWidget* parent = nullptr);

    int Position() const { return position_; }
    // Clamps into the range and shows the position in the edit when its text says otherwise.
    void SetPosition(int position);
    // The same, leaving the edit's text as it is.
    void SetPositionQuietly(int position);

    QString Format(int position) const;
    // The number the edit's text stands for, separators removed; empty text or other
    // characters give no number.
    static bool Parse(const QString& text, int& value);

    QToolButton* UpButton() const { return up_; }
    QToolButton* DownButton() const { return down_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void Step(int delta);
    void BuddyEdited(const QString& text);

    QLineEdit& buddy_;
    QToolButton* up_;
    QToolButton* down_;
    int minimum_;
    int maximum_;
    int position_;
    // English grouping whatever the desktop's language: the quality text is read back with its
    // commas removed.
    QLocale locale_{QLocale::English, QLocale::UnitedStates};
};

}  // namespace quillet
