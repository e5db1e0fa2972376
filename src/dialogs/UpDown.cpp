#include "dialogs/UpDown.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace quillet {

UpDown::UpDown(QLineEdit& buddy, int minimum, int maximum, QWidget* parent)
    : QWidget(parent),
      buddy_(buddy),
      up_(new QToolButton(this)),
      down_(new QToolButton(this)),
      minimum_(minimum),
      maximum_(maximum),
      position_(minimum) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (QToolButton* button : {up_, down_}) {
        button->setArrowType(button == up_ ? Qt::UpArrow : Qt::DownArrow);
        button->setAutoRepeat(true);
        button->setFocusPolicy(Qt::NoFocus);
        layout->addWidget(button);
    }
    // As high as the edit, the two arrows sharing it.
    const int height = buddy_.sizeHint().height();
    up_->setFixedSize(16, height / 2);
    down_->setFixedSize(16, height - height / 2);
    connect(up_, &QToolButton::clicked, this, [this] { Step(1); });
    connect(down_, &QToolButton::clicked, this, [this] { Step(-1); });
    connect(&buddy_, &QLineEdit::textEdited, this, &UpDown::BuddyEdited);
    buddy_.installEventFilter(this);
    buddy_.setText(Format(position_));
}

void UpDown::SetPosition(int position) {
    position_ = std::clamp(position, minimum_, maximum_);
    const QString text = Format(position_);
    if (buddy_.text() != text) buddy_.setText(text);
}

void UpDown::SetPositionQuietly(int position) {
    position_ = std::clamp(position, minimum_, maximum_);
}

QString UpDown::Format(int position) const { return locale_.toString(position); }

bool UpDown::Parse(const QString& text, int& value) {
    QString digits = text.trimmed();
    digits.remove(QLatin1Char(','));
    if (digits.isEmpty()) return false;
    for (QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return false;
    }
    bool ok = false;
    const int number = digits.toInt(&ok);
    if (!ok) return false;
    value = number;
    return true;
}

void UpDown::Step(int delta) {
    // A half-typed edit counts as what it shows.
    BuddyEdited(buddy_.text());
    SetPosition(position_ + delta);
}

void UpDown::BuddyEdited(const QString& text) {
    int value = 0;
    if (Parse(text, value)) SetPositionQuietly(value);
}

bool UpDown::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &buddy_ && event->type() == QEvent::KeyPress && isEnabled()) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            Step(key == Qt::Key_Up ? 1 : -1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace quillet
