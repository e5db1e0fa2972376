#include "platform/skin/SkinLayoutReader.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>

#include "platform/skin/SkinIcons.h"
#include "platform/skin/TSkin.h"

namespace quillet {

namespace {

// The form's size is fixed by the program's own controls placed over it.
constexpr int kMaxFormSide = 4096;

const QMap<QString, QPalette::ColorRole>& PaletteRoles() {
    static const QMap<QString, QPalette::ColorRole> roles = {
        {"window", QPalette::Window},
        {"windowText", QPalette::WindowText},
        {"base", QPalette::Base},
        {"alternateBase", QPalette::AlternateBase},
        {"text", QPalette::Text},
        {"button", QPalette::Button},
        {"buttonText", QPalette::ButtonText},
        {"highlight", QPalette::Highlight},
        {"highlightedText", QPalette::HighlightedText},
        {"placeholderText", QPalette::PlaceholderText},
        {"toolTipBase", QPalette::ToolTipBase},
        {"toolTipText", QPalette::ToolTipText},
        {"light", QPalette::Light},
        {"midlight", QPalette::Midlight},
        {"mid", QPalette::Mid},
        {"dark", QPalette::Dark},
        {"shadow", QPalette::Shadow},
        {"brightText", QPalette::BrightText},
        {"link", QPalette::Link},
    };
    return roles;
}

}  // namespace

SkinLayoutReader::SkinLayoutReader(QString libraryPath, QString formName, QString context)
    : libraryPath_(std::move(libraryPath)),
      formName_(std::move(formName)),
      context_(std::move(context)) {}

void SkinLayoutReader::Fail(const QString& what) const {
    throw SkinError(QStringLiteral("The skin library %1 is damaged: %2: %3.")
                        .arg(libraryPath_, context_, what));
}

SkinFormLayout SkinLayoutReader::Read(const QByteArray& json) {
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        Fail(QStringLiteral("the layout is not valid JSON (%1 at offset %2)")
                 .arg(parseError.errorString())
                 .arg(parseError.offset));
    if (!document.isObject()) Fail(QStringLiteral("the layout is not a JSON object"));
    const QJsonObject root = document.object();

    SkinFormLayout form;
    form.name = formName_;
    const QJsonArray size = root.value("size").toArray();
    if (size.size() != 2) Fail(QStringLiteral("\"size\" must be [width, height]"));
    form.size = QSize(Integer(size[0], -1, "size"), Integer(size[1], -1, "size"));
    if (form.size.width() <= 0 || form.size.height() <= 0 || form.size.width() > kMaxFormSide ||
        form.size.height() > kMaxFormSide)
        Fail(QStringLiteral("\"size\" is out of range"));

    ReadColors(root);
    ReadFonts(root);
    ReadButtonStyles(root);
    ReadSliderStyles(root);
    ReadTextStyles(root);
    form.background = Fill(root.value("background"), "background");

    const QJsonArray decorations = root.value("decorations").toArray();
    for (int i = 0; i < decorations.size(); ++i)
        form.decorations.append(ReadDecoration(decorations[i], i));

    if (!root.value("objects").isArray()) Fail(QStringLiteral("\"objects\" must be a list"));
    const QJsonArray objects = root.value("objects").toArray();
    QSet<QString> names;
    for (int i = 0; i < objects.size(); ++i) {
        SkinObjectLayout object = ReadObject(objects[i], i);
        if (names.contains(object.name))
            Fail(QStringLiteral("two objects are named \"%1\"").arg(object.name));
        names.insert(object.name);
        form.objects.append(std::move(object));
    }
    return form;
}

void SkinLayoutReader::ReadColors(const QJsonObject& root) {
    const QJsonObject colors = Object(root.value("colors"), "colors");
    for (auto it = colors.begin(); it != colors.end(); ++it) {
        const QColor color(it.value().toString());
        if (!color.isValid())
            Fail(QStringLiteral("colour \"%1\" is not a colour: \"%2\"")
                     .arg(it.key(), it.value().toString()));
        colors_.insert(it.key(), color);
    }
}

void SkinLayoutReader::ReadFonts(const QJsonObject& root) {
    const QJsonObject fonts = Object(root.value("fonts"), "fonts");
    for (auto it = fonts.begin(); it != fonts.end(); ++it) {
        const QString where = QStringLiteral("font \"%1\"").arg(it.key());
        const QJsonObject item = Object(it.value(), where);
        QFont font;
        const QJsonValue family = item.value("family");
        QStringList families;
        if (family.isArray()) {
            for (const QJsonValue& f : family.toArray()) families.append(f.toString());
        } else {
            families.append(family.toString());
        }
        families.removeAll(QString());
        if (families.isEmpty()) Fail(where + QStringLiteral(" has no family"));
        font.setFamilies(families);
        const int px = Integer(item.value("px"), -1, where);
        if (px <= 0 || px > 200) Fail(where + QStringLiteral(" has no valid \"px\" size"));
        font.setPixelSize(px);
        const int weight = Integer(item.value("weight"), QFont::Normal, where);
        if (weight < 1 || weight > 1000) Fail(where + QStringLiteral(" has an invalid weight"));
        font.setWeight(static_cast<QFont::Weight>(weight));
        if (item.value("mono").toBool()) {
            font.setStyleHint(QFont::Monospace);
            font.setFixedPitch(true);
        }
        if (item.contains("letterSpacing"))
            font.setLetterSpacing(QFont::AbsoluteSpacing, item.value("letterSpacing").toDouble());
        if (item.value("capitals").toBool()) font.setCapitalization(QFont::AllUppercase);
        fonts_.insert(it.key(), font);
    }
}

void SkinLayoutReader::ReadButtonStyles(const QJsonObject& root) {
    const QJsonObject styles = Object(root.value("buttonStyles"), "buttonStyles");
    for (auto it = styles.begin(); it != styles.end(); ++it) {
        const QString where = QStringLiteral("button style \"%1\"").arg(it.key());
        const QJsonObject item = Object(it.value(), where);
        SkinButtonStyle style;
        style.normal = Face(item.value("normal"), SkinButtonFace{}, where + " normal");
        style.hover = Face(item.value("hover"), style.normal, where + " hover");
        style.pressed = Face(item.value("pressed"), style.hover, where + " pressed");
        style.radius = Integer(item.value("radius"), 6, where);
        style.focus =
            item.contains("focus") ? Color(item.value("focus"), where) : style.normal.text;
        buttonStyles_.insert(it.key(), style);
    }
}

void SkinLayoutReader::ReadSliderStyles(const QJsonObject& root) {
    const QJsonObject styles = Object(root.value("sliderStyles"), "sliderStyles");
    for (auto it = styles.begin(); it != styles.end(); ++it) {
        const QString where = QStringLiteral("slider style \"%1\"").arg(it.key());
        const QJsonObject item = Object(it.value(), where);
        SkinSliderStyle style;
        style.groove = Color(item.value("groove"), where);
        style.fill = Color(item.value("fill"), where);
        style.handle = Color(item.value("handle"), where);
        style.handleBorder = Color(item.value("handleBorder"), where);
        const QString side = item.value("fillSide").toString("left");
        if (side == "left") {
            style.fillSide = SkinFillSide::Left;
        } else if (side == "right") {
            style.fillSide = SkinFillSide::Right;
        } else if (side == "none") {
            style.fillSide = SkinFillSide::None;
        } else {
            Fail(where + QStringLiteral(" has an unknown fillSide \"%1\"").arg(side));
        }
        style.grooveHeight = Integer(item.value("grooveHeight"), 4, where);
        style.handleRadius = Integer(item.value("handleRadius"), 7, where);
        if (style.handleRadius < 2 || style.grooveHeight < 1)
            Fail(where + QStringLiteral(" has a handle or groove too small to see"));
        sliderStyles_.insert(it.key(), style);
    }
}

void SkinLayoutReader::ReadTextStyles(const QJsonObject& root) {
    const QJsonObject styles = Object(root.value("textStyles"), "textStyles");
    for (auto it = styles.begin(); it != styles.end(); ++it) {
        const QString where = QStringLiteral("text style \"%1\"").arg(it.key());
        const QJsonObject item = Object(it.value(), where);
        SkinTextStyle style;
        style.font = Font(item.value("font"), where);
        style.color = Color(item.value("color"), where);
        if (item.contains("fill")) style.fill = Fill(item.value("fill"), where);
        style.border = OptionalColor(item.value("border"), where);
        style.radius = Integer(item.value("radius"), 0, where);
        style.align = Alignment(item.value("align"), where);
        style.padding = Integer(item.value("padding"), 0, where);
        const QString overflow = item.value("overflow").toString("elide");
        if (overflow != "elide" && overflow != "shrink")
            Fail(where + QStringLiteral(" has an unknown overflow \"%1\"").arg(overflow));
        style.shrinkToFit = overflow == "shrink";
        textStyles_.insert(it.key(), style);
    }
}

QPalette SkinLayoutReader::ReadPalette(const QJsonValue& value) const {
    const QJsonObject item = Object(value, "palette");
    QPalette palette;
    for (auto it = item.begin(); it != item.end(); ++it) {
        const auto role = PaletteRoles().constFind(it.key());
        if (role == PaletteRoles().constEnd())
            Fail(QStringLiteral("palette has an unknown role \"%1\"").arg(it.key()));
        const QColor color = Color(it.value(), QStringLiteral("palette \"%1\"").arg(it.key()));
        palette.setColor(QPalette::All, *role, color);
        if (*role == QPalette::WindowText || *role == QPalette::Text ||
            *role == QPalette::ButtonText) {
            QColor disabled = color;
            disabled.setAlphaF(0.45f);
            palette.setColor(QPalette::Disabled, *role, disabled);
        }
    }
    return palette;
}

SkinDecorationLayout SkinLayoutReader::ReadDecoration(const QJsonValue& value, int index) const {
    const QString where = QStringLiteral("decoration %1").arg(index + 1);
    const QJsonObject item = Object(value, where);
    SkinDecorationLayout decoration;
    decoration.rect = Rect(item.value("rect"), where);
    const QString type = item.value("type").toString();
    if (type == "panel") {
        decoration.kind = SkinDecorationKind::Panel;
        decoration.fill = Fill(item.value("fill"), where);
        decoration.border = OptionalColor(item.value("border"), where);
        decoration.radius = Integer(item.value("radius"), 0, where);
    } else if (type == "text") {
        decoration.kind = SkinDecorationKind::Text;
        decoration.text = item.value("text").toString();
        decoration.font = Font(item.value("font"), where);
        decoration.color = Color(item.value("color"), where);
        decoration.align = Alignment(item.value("align"), where);
    } else if (type == "icon") {
        decoration.kind = SkinDecorationKind::Icon;
        decoration.icon = Icon(item.value("icon"), where);
        decoration.color = Color(item.value("color"), where);
    } else if (type == "line") {
        decoration.kind = SkinDecorationKind::Line;
        decoration.color = Color(item.value("color"), where);
    } else {
        Fail(where + QStringLiteral(" has an unknown type \"%1\"").arg(type));
    }
    return decoration;
}

SkinObjectLayout SkinLayoutReader::ReadObject(const QJsonValue& value, int index) const {
    const QJsonObject item = Object(value, QStringLiteral("object %1").arg(index + 1));
    SkinObjectLayout object;
    object.name = item.value("name").toString();
    if (object.name.isEmpty()) Fail(QStringLiteral("object %1 has no name").arg(index + 1));
    const QString where = QStringLiteral("object \"%1\"").arg(object.name);
    object.rect = Rect(item.value("rect"), where);
    object.tip = item.value("tip").toString();
    object.styleName = item.value("style").toString();
    const QString kind = item.value("kind").toString();
    if (kind == "button") {
        object.kind = SkinObjectKind::Button;
        const auto style = buttonStyles_.constFind(object.styleName);
        if (style == buttonStyles_.constEnd())
            Fail(where +
                 QStringLiteral(" uses an unknown button style \"%1\"").arg(object.styleName));
        object.button = *style;
        object.label = item.value("label").toString();
        if (item.contains("icon")) object.icon = Icon(item.value("icon"), where);
        object.iconAfter = item.value("iconAfter").toBool();
        object.iconSize = Integer(item.value("iconSize"), 0, where);
        if (object.iconSize < 0 || object.iconSize > object.rect.height())
            Fail(where + QStringLiteral(" has an icon larger than itself"));
        if (object.label.isEmpty() && object.icon.isEmpty())
            Fail(where + QStringLiteral(" has neither a label nor an icon"));
        if (!object.label.isEmpty()) object.font = Font(item.value("font"), where);
    } else if (kind == "slider") {
        object.kind = SkinObjectKind::Slider;
        const auto style = sliderStyles_.constFind(object.styleName);
        if (style == sliderStyles_.constEnd())
            Fail(where +
                 QStringLiteral(" uses an unknown slider style \"%1\"").arg(object.styleName));
        object.slider = *style;
        if (object.rect.width() <= 2 * object.slider.handleRadius + 2)
            Fail(where + QStringLiteral(" is too narrow for its handle"));
    } else if (kind == "text") {
        object.kind = SkinObjectKind::Text;
        const auto style = textStyles_.constFind(object.styleName);
        if (style == textStyles_.constEnd())
            Fail(where +
                 QStringLiteral(" uses an unknown text style \"%1\"").arg(object.styleName));
        object.textStyle = *style;
        object.text = item.value("text").toString();
    } else if (kind == "wave") {
        object.kind = SkinObjectKind::Wave;
        object.wave.color = Color(item.value("color"), where);
        object.wave.span = Color(item.value("span"), where);
    } else {
        Fail(where + QStringLiteral(" has an unknown kind \"%1\"").arg(kind));
    }
    return object;
}

QColor SkinLayoutReader::Color(const QJsonValue& value, const QString& where) const {
    const QString text = value.toString();
    if (text.isEmpty()) Fail(where + QStringLiteral(" lacks a colour"));
    if (text.startsWith('#')) {
        const QColor color(text);
        if (!color.isValid())
            Fail(where + QStringLiteral(" has an invalid colour \"%1\"").arg(text));
        return color;
    }
    const auto named = colors_.constFind(text);
    if (named == colors_.constEnd())
        Fail(where + QStringLiteral(" names an unknown colour \"%1\"").arg(text));
    return *named;
}

QColor SkinLayoutReader::OptionalColor(const QJsonValue& value, const QString& where) const {
    return value.isUndefined() || value.isNull() ? QColor() : Color(value, where);
}

SkinFill SkinLayoutReader::Fill(const QJsonValue& value, const QString& where) const {
    if (value.isArray()) {
        const QJsonArray stops = value.toArray();
        if (stops.size() != 2) Fail(where + QStringLiteral(" needs a fill of one or two colours"));
        return {Color(stops[0], where), Color(stops[1], where)};
    }
    const QColor flat = Color(value, where);
    return {flat, flat};
}

QFont SkinLayoutReader::Font(const QJsonValue& value, const QString& where) const {
    const auto font = fonts_.constFind(value.toString());
    if (font == fonts_.constEnd())
        Fail(where + QStringLiteral(" uses an unknown font \"%1\"").arg(value.toString()));
    return *font;
}

QRect SkinLayoutReader::Rect(const QJsonValue& value, const QString& where) const {
    const QJsonArray numbers = value.toArray();
    if (numbers.size() != 4) Fail(where + QStringLiteral(" needs \"rect\": [x, y, width, height]"));
    const QRect rect(Integer(numbers[0], -1, where), Integer(numbers[1], -1, where),
                     Integer(numbers[2], -1, where), Integer(numbers[3], -1, where));
    if (rect.x() < 0 || rect.y() < 0 || rect.width() <= 0 || rect.height() <= 0 ||
        rect.right() >= kMaxFormSide || rect.bottom() >= kMaxFormSide)
        Fail(where + QStringLiteral(" has a rect out of range"));
    return rect;
}

int SkinLayoutReader::Integer(const QJsonValue& value, int fallback, const QString& where) const {
    if (value.isUndefined()) return fallback;
    const double number = value.toDouble(-1e9);
    if (!value.isDouble() || number != static_cast<int>(number) || number < -kMaxFormSide * 8 ||
        number > kMaxFormSide * 8)
        Fail(where + QStringLiteral(" has a number that is not a small whole number"));
    return static_cast<int>(number);
}

Qt::Alignment SkinLayoutReader::Alignment(const QJsonValue& value, const QString& where) const {
    const QString text = value.toString("left");
    if (text == "left") return Qt::AlignLeft | Qt::AlignVCenter;
    if (text == "center") return Qt::AlignCenter;
    if (text == "right") return Qt::AlignRight | Qt::AlignVCenter;
    Fail(where + QStringLiteral(" has an unknown alignment \"%1\"").arg(text));
}

QString SkinLayoutReader::Icon(const QJsonValue& value, const QString& where) const {
    const QString name = value.toString();
    if (!SkinIcons::IsKnown(name))
        Fail(where + QStringLiteral(" uses an unknown icon \"%1\"").arg(name));
    return name;
}

SkinButtonFace SkinLayoutReader::Face(const QJsonValue& value, const SkinButtonFace& base,
                                      const QString& where) const {
    if (value.isUndefined()) {
        if (!base.fill.top.isValid()) Fail(where + QStringLiteral(" is missing"));
        return base;
    }
    const QJsonObject item = Object(value, where);
    SkinButtonFace face = base;
    if (item.contains("fill")) face.fill = Fill(item.value("fill"), where);
    if (item.contains("border")) face.border = Color(item.value("border"), where);
    if (item.contains("text")) face.text = Color(item.value("text"), where);
    if (item.contains("icon")) face.icon = Color(item.value("icon"), where);
    if (!face.fill.top.isValid() || !face.text.isValid())
        Fail(where + QStringLiteral(" needs at least \"fill\" and \"text\""));
    if (!face.icon.isValid()) face.icon = face.text;
    return face;
}

QJsonObject SkinLayoutReader::Object(const QJsonValue& value, const QString& where) const {
    if (!value.isObject()) Fail(where + QStringLiteral(" must be a JSON object"));
    return value.toObject();
}

}  // namespace quillet
