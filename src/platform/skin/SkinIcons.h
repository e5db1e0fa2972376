#pragma once

#include <QColor>
#include <QRectF>
#include <QString>

class QPainter;

namespace quillet {

// The skin's icons, drawn as vector paths so they stay crisp at any size.
class SkinIcons {
  public:
    static bool IsKnown(const QString& name);
    // Draws the icon centred in the largest square that fits rect.
    static void Draw(QPainter& painter, const QString& name, const QRectF& rect,
                     const QColor& color);
};

}  // namespace quillet
