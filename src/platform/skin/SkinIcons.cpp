#include "platform/skin/SkinIcons.h"

#include <QMap>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>
#include <functional>

namespace quillet {

namespace {

// Every icon is drawn on a 24 x 24 grid with a 2-unit round pen, then scaled.
constexpr qreal kGrid = 24.0;
constexpr qreal kStroke = 2.0;

using IconPainter = std::function<void(QPainter&, const QColor&)>;

void Stroke(QPainter& p, const QColor& c) {
    p.setPen(QPen(c, kStroke, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
}

void Solid(QPainter& p, const QColor& c) {
    p.setPen(QPen(c, 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(c);
}

void Polyline(QPainter& p, std::initializer_list<QPointF> points) {
    const QVector<QPointF> v(points);
    p.drawPolyline(v.constData(), v.size());
}

void Polygon(QPainter& p, std::initializer_list<QPointF> points) {
    const QVector<QPointF> v(points);
    p.drawPolygon(v.constData(), v.size());
}

const QMap<QString, IconPainter>& Icons() {
    static const QMap<QString, IconPainter> icons = {
        {"plus",
         [](QPainter& p, const QColor& c) {
             Stroke(p, c);
             p.drawLine(QPointF(12, 5), QPointF(12, 19));
             p.drawLine(QPointF(5, 12), QPointF(19, 12));
         }},
        {"minus",
         [](QPainter& p, const QColor& c) {
             Stroke(p, c);
             p.drawLine(QPointF(5, 12), QPointF(19, 12));
         }},
        {"trash",
         [](QPainter& p, const QColor& c) {
             Stroke(p, c);
             p.drawLine(QPointF(4, 7), QPointF(20, 7));
             Polyline(p, {{9, 7}, {9, 4}, {15, 4}, {15, 7}});
             Polyline(p, {{6, 7}, {7, 20}, {17, 20}, {18, 7}});
             p.drawLine(QPointF(10, 11), QPointF(10, 16));
             p.drawLine(QPointF(14, 11), QPointF(14, 16));
         }},
        {"up",
         [](QPainter& p, const QColor& c) {
             Stroke(p, c);
             p.drawLine(QPointF(12, 19), QPointF(12, 5));
             Polyline(p, {{6, 11}, {12, 5}, {18, 11}});
         }},
        {"down",
         [](QPainter& p, const QColor& c) {
             Stroke(p, c);
             p.drawLine(QPointF(12, 5), QPointF(12, 19));
             Polyline(p, {{6, 13}, {12, 19}, {18, 13}});
         }},
        {"play",
         [](QPainter& p, const QColor& c) {
             Solid(p, c);
             Polygon(p, {{7.5, 4.5}, {19.5, 12}, {7.5, 19.5}});
         }},
        {"pause",
         [](QPainter& p, const QColor& c) {
             p.setPen(Qt::NoPen);
             p.setBrush(c);
             p.drawRoundedRect(QRectF(6, 5, 4.5, 14), 1.2, 1.2);
             p.drawRoundedRect(QRectF(13.5, 5, 4.5, 14), 1.2, 1.2);
         }},
        {"stop",
         [](QPainter& p, const QColor& c) {
             p.setPen(Qt::NoPen);
             p.setBrush(c);
             p.drawRoundedRect(QRectF(6, 6, 12, 12), 2, 2);
         }},
        {"left",
         [](QPainter& p, const QColor& c) {
             Stroke(p, c);
             Polyline(p, {{14.5, 6}, {8.5, 12}, {14.5, 18}});
         }},
        {"right",
         [](QPainter& p, const QColor& c) {
             Stroke(p, c);
             Polyline(p, {{9.5, 6}, {15.5, 12}, {9.5, 18}});
         }},
        {"mark-begin",
         [](QPainter& p, const QColor& c) {
             Stroke(p, c);
             Polyline(p, {{9, 4}, {5, 4}, {5, 20}, {9, 20}});
             Solid(p, c);
             Polygon(p, {{10, 7.5}, {18, 12}, {10, 16.5}});
         }},
        {"mark-end",
         [](QPainter& p, const QColor& c) {
             Stroke(p, c);
             Polyline(p, {{15, 4}, {19, 4}, {19, 20}, {15, 20}});
             Solid(p, c);
             Polygon(p, {{14, 7.5}, {6, 12}, {14, 16.5}});
         }},
        {"scissors",
         [](QPainter& p, const QColor& c) {
             Stroke(p, c);
             p.drawEllipse(QPointF(6, 6), 3, 3);
             p.drawEllipse(QPointF(6, 18), 3, 3);
             p.drawLine(QPointF(20, 4), QPointF(8.1, 15.9));
             p.drawLine(QPointF(14.5, 14.5), QPointF(20, 20));
             p.drawLine(QPointF(8.1, 8.1), QPointF(12, 12));
         }},
        {"join",
         [](QPainter& p, const QColor& c) {
             Stroke(p, c);
             Polyline(p, {{3, 6}, {8, 6}, {12.5, 12}, {21, 12}});
             Polyline(p, {{3, 18}, {8, 18}, {12.5, 12}});
             Polyline(p, {{17, 8}, {21, 12}, {17, 16}});
         }},
        {"halt",
         [](QPainter& p, const QColor& c) {
             Stroke(p, c);
             p.drawEllipse(QPointF(12, 12), 9, 9);
             p.setPen(Qt::NoPen);
             p.setBrush(c);
             p.drawRoundedRect(QRectF(8.5, 8.5, 7, 7), 1.2, 1.2);
         }},
        {"gear",
         [](QPainter& p, const QColor& c) {
             Stroke(p, c);
             p.drawEllipse(QPointF(12, 12), 3, 3);
             p.drawEllipse(QPointF(12, 12), 6.5, 6.5);
             p.setPen(QPen(c, 3.2, Qt::SolidLine, Qt::FlatCap));
             for (int i = 0; i < 8; ++i) {
                 const qreal a = qDegreesToRadians(45.0 * i);
                 p.drawLine(QPointF(12 + 6.5 * qCos(a), 12 + 6.5 * qSin(a)),
                            QPointF(12 + 9.5 * qCos(a), 12 + 9.5 * qSin(a)));
             }
         }},
        {"folder",
         [](QPainter& p, const QColor& c) {
             Stroke(p, c);
             Polygon(p, {{3, 6}, {9.5, 6}, {11.5, 8.5}, {21, 8.5}, {21, 19}, {3, 19}});
         }},
        {"help",
         [](QPainter& p, const QColor& c) {
             Stroke(p, c);
             p.drawEllipse(QPointF(12, 12), 9.5, 9.5);
             QPainterPath hook;
             hook.moveTo(9.2, 9.3);
             hook.cubicTo(9.4, 6.2, 14.8, 6.2, 14.8, 9.4);
             hook.cubicTo(14.8, 11.6, 12, 11.8, 12, 14);
             p.drawPath(hook);
             p.setPen(Qt::NoPen);
             p.setBrush(c);
             p.drawEllipse(QPointF(12, 17.3), 1.3, 1.3);
         }},
        {"headphones",
         [](QPainter& p, const QColor& c) {
             Stroke(p, c);
             QPainterPath band;
             band.moveTo(4.5, 15);
             band.arcTo(QRectF(4.5, 4, 15, 15), 180, -180);
             p.drawPath(band);
             p.setPen(Qt::NoPen);
             p.setBrush(c);
             p.drawRoundedRect(QRectF(3, 13, 5, 8), 1.8, 1.8);
             p.drawRoundedRect(QRectF(16, 13, 5, 8), 1.8, 1.8);
         }},
        {"switch-off",
         [](QPainter& p, const QColor& c) {
             p.setPen(QPen(c, 1.6));
             p.setBrush(Qt::NoBrush);
             p.drawRoundedRect(QRectF(1, 6.5, 22, 11), 5.5, 5.5);
             p.setPen(Qt::NoPen);
             p.setBrush(c);
             p.drawEllipse(QPointF(7, 12), 3.4, 3.4);
         }},
        {"switch-on",
         [](QPainter& p, const QColor& c) {
             p.setPen(Qt::NoPen);
             p.setBrush(c);
             p.drawRoundedRect(QRectF(1, 6.5, 22, 11), 5.5, 5.5);
             p.setBrush(QColor(255, 255, 255, 235));
             p.drawEllipse(QPointF(17, 12), 3.6, 3.6);
         }},
        {"wave-edit",
         [](QPainter& p, const QColor& c) {
             // A stretch of sound between its two handles.
             Stroke(p, c);
             Polyline(p, {{5, 4}, {3, 4}, {3, 20}, {5, 20}});
             Polyline(p, {{19, 4}, {21, 4}, {21, 20}, {19, 20}});
             static const qreal heights[] = {5, 11, 15, 8, 4};
             for (int i = 0; i < 5; ++i) {
                 const qreal x = 7 + i * 2.5;
                 p.drawLine(QPointF(x, 12 - heights[i] / 2), QPointF(x, 12 + heights[i] / 2));
             }
         }},
        {"logo",
         [](QPainter& p, const QColor& c) {
             // A waveform cut by a quill stroke.
             static const qreal heights[] = {6, 12, 18, 10, 15, 7, 4};
             p.setPen(Qt::NoPen);
             for (int i = 0; i < 7; ++i) {
                 QColor bar = c;
                 bar.setAlphaF(i == 3 ? 1.0f : 0.55f + 0.06f * std::abs(3 - i));
                 p.setBrush(bar);
                 const qreal h = heights[i];
                 p.drawRoundedRect(QRectF(1.5 + i * 3.1, 12 - h / 2, 2.1, h), 1, 1);
             }
         }},
    };
    return icons;
}

}  // namespace

bool SkinIcons::IsKnown(const QString& name) { return Icons().contains(name); }

void SkinIcons::Draw(QPainter& painter, const QString& name, const QRectF& rect,
                     const QColor& color) {
    const auto icon = Icons().constFind(name);
    if (icon == Icons().constEnd()) return;
    const qreal side = qMin(rect.width(), rect.height());
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(rect.center().x() - side / 2, rect.center().y() - side / 2);
    painter.scale(side / kGrid, side / kGrid);
    (*icon)(painter, color);
    painter.restore();
}

}  // namespace quillet
