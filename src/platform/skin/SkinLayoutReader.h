#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QMap>
#include <QString>

#include "platform/skin/SkinFormLayout.h"

namespace quillet {

// Turns a form's layout description (JSON) into a SkinFormLayout. Anything missing or malformed
// throws SkinError naming the library file, the form and the offending entry.
class SkinLayoutReader {
  public:
    // context names the part of the library being read in messages, e.g. form "Pellicle".
    SkinLayoutReader(QString libraryPath, QString formName, QString context);

    SkinFormLayout Read(const QByteArray& json);
    // A palette of literal "#rrggbb" colours by role name ("window", "base", "text", ...).
    QPalette ReadPalette(const QJsonValue& value) const;

  private:
    [[noreturn]] void Fail(const QString& what) const;

    void ReadColors(const QJsonObject& root);
    void ReadFonts(const QJsonObject& root);
    void ReadButtonStyles(const QJsonObject& root);
    void ReadSliderStyles(const QJsonObject& root);
    void ReadTextStyles(const QJsonObject& root);
    SkinDecorationLayout ReadDecoration(const QJsonValue& value, int index) const;
    SkinObjectLayout ReadObject(const QJsonValue& value, int index) const;

    QColor Color(const QJsonValue& value, const QString& where) const;
    QColor OptionalColor(const QJsonValue& value, const QString& where) const;
    SkinFill Fill(const QJsonValue& value, const QString& where) const;
    QFont Font(const QJsonValue& value, const QString& where) const;
    QRect Rect(const QJsonValue& value, const QString& where) const;
    int Integer(const QJsonValue& value, int fallback, const QString& where) const;
    Qt::Alignment Alignment(const QJsonValue& value, const QString& where) const;
    QString Icon(const QJsonValue& value, const QString& where) const;
    SkinButtonFace Face(const QJsonValue& value, const SkinButtonFace& base,
                        const QString& where) const;
    QJsonObject Object(const QJsonValue& value, const QString& where) const;

    QString libraryPath_;
    QString formName_;
    QString context_;
    QMap<QString, QColor> colors_;
    QMap<QString, QFont> fonts_;
    QMap<QString, SkinButtonStyle> buttonStyles_;
    QMap<QString, SkinSliderStyle> sliderStyles_;
    QMap<QString, SkinTextStyle> textStyles_;
};

}  // namespace quillet
