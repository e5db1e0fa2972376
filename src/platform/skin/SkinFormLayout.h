#pragma once

#include <QColor>
#include <QFont>
#include <QMap>
#include <QPalette>
#include <QRect>
#include <QString>
#include <QVector>

namespace quillet {

// A form of the skin library as read from its layout description: everything the widgets need to
// draw and behave, resolved (colours, fonts, styles) so that nothing is looked up while painting.

struct SkinFill {
    QColor top;
    QColor bottom;  // equal to top for a flat fill
};

struct SkinButtonFace {
    SkinFill fill;
    QColor border;
    QColor text;
    QColor icon;
};

struct SkinButtonStyle {
    SkinButtonFace normal;
    SkinButtonFace hover;
    SkinButtonFace pressed;
    int radius = 6;
    QColor focus;
};

enum class SkinFillSide { Left, Right, None };

struct SkinSliderStyle {
    SkinFillSide fillSide = SkinFillSide::Left;  // which side of the handle shows the fill
    QColor groove;
    QColor fill;
    QColor handle;
    QColor handleBorder;
    int grooveHeight = 4;
    int handleRadius = 7;
};

struct SkinTextStyle {
    QFont font;
    QColor color;
    SkinFill fill;  // fill.top invalid: no box behind the text
    QColor border;
    int radius = 0;
    Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter;
    int padding = 0;
    // A text too wide for its box: false elides its middle, true draws it smaller, whole.
    bool shrinkToFit = false;
};

// The envelope of a sound (a "wave" object): dim outside its span, bright inside.
struct SkinWaveStyle {
    QColor color;
    QColor span;
};

enum class SkinObjectKind { Button, Slider, Text, Wave };

struct SkinObjectLayout {
    QString name;
    SkinObjectKind kind = SkinObjectKind::Button;
    QRect rect;
    QString label;           // button caption, may be empty for icon-only buttons
    QString icon;            // icon drawn by SkinIcons, may be empty
    bool iconAfter = false;  // icon to the right of the label
    int iconSize = 0;        // 0: fitted to the button's height
    QString text;            // initial text of a text object
    QString tip;             // tool tip and accessible description
    QString styleName;
    SkinButtonStyle button;
    SkinSliderStyle slider;
    SkinTextStyle textStyle;
    SkinWaveStyle wave;
    QFont font;  // button caption font
};

enum class SkinDecorationKind { Panel, Text, Icon, Line };

// Drawn on the form's background, in list order, beneath every object.
struct SkinDecorationLayout {
    SkinDecorationKind kind = SkinDecorationKind::Panel;
    QRect rect;
    SkinFill fill;
    QColor border;
    int radius = 0;
    QString text;
    QString icon;
    QFont font;
    QColor color;
    Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter;
};

struct SkinFormLayout {
    QString name;
    QSize size;
    SkinFill background;
    QVector<SkinDecorationLayout> decorations;
    QVector<SkinObjectLayout> objects;  // in z-order: a later object lies over an earlier one
};

}  // namespace quillet
