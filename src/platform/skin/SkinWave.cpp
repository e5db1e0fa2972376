#include "platform/skin/SkinWave.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

namespace quillet {

SkinWave::SkinWave(const SkinObjectLayout& item, QWidget* parent) : QWidget(parent), item_(item) {
    setObjectName(item.name);
    setAccessibleName(item.name);
    setAccessibleDescription(item.tip);
    setGeometry(item.rect);
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void SkinWave::SetEnvelope(const QVector<float>& low, const QVector<float>& high) {
    const qsizetype n = std::min(low.size(), high.size());
    low_ = low.first(n);
    high_ = high.first(n);
    update();
}

void SkinWave::SetSpan(int begin, int end) {
    spanBegin_ = begin;
    spanEnd_ = end;
    update();
}

void SkinWave::paintEvent(QPaintEvent*) {
    if (low_.isEmpty()) return;
    QPainter painter(this);
    const double mid = height() / 2.0;
    const double half = std::max(1.0, height() / 2.0 - 1);
    const int w = std::max(1, width());
    const int xb = spanBegin_ < spanEnd_ ? spanBegin_ * w / 1000 : w;
    const int xe = spanBegin_ < spanEnd_ ? spanEnd_ * w / 1000 : w;
    const int columns = std::min(static_cast<int>(low_.size()), width());
    for (int x = 0; x < columns; ++x) {
        const double top = std::clamp(static_cast<double>(high_[x]), -1.0, 1.0);
        const double bottom = std::clamp(static_cast<double>(low_[x]), -1.0, top);
        // Every column shows at least its middle pixel, so silence is a line, not a gap.
        const int y0 = static_cast<int>(std::floor(mid - top * half));
        const int y1 = std::max(y0, static_cast<int>(std::ceil(mid - bottom * half)) - 1);
        painter.fillRect(x, y0, 1, y1 - y0 + 1,
                         x >= xb && x <= xe ? item_.wave.span : item_.wave.color);
    }
}

}  // namespace quillet
