#pragma once

#include <QByteArray>
#include <QMap>
#include <QPalette>
#include <QString>

#include "platform/skin/SkinFormLayout.h"

namespace quillet {

// A loaded skin library: a binary Qt resource bundle holding "skin.json" (the list of forms)
// and one layout description per form. The bundle is checked from end to end before Qt reads
// it, because Qt trusts the offsets inside a registered bundle.
class SkinLibrary {
  public:
    // Throws SkinError naming the file and what is wrong with it.
    explicit SkinLibrary(const QString& path);
    SkinLibrary(const SkinLibrary&) = delete;
    SkinLibrary& operator=(const SkinLibrary&) = delete;

    const QString& Path() const { return path_; }
    // The form of that name (case included), or nullptr.
    const SkinFormLayout* Form(const QString& name) const;
    // Given to a skinned window so that its standard controls match the skin.
    const QPalette& Palette() const { return palette_; }

  private:
    void Register();
    QByteArray ReadEntry(const QString& entry) const;
    void ReadForms();

    // Undoes the registration even when the constructor fails after it.
    class Registration {
      public:
        Registration() = default;
        Registration(const Registration&) = delete;
        Registration& operator=(const Registration&) = delete;
        ~Registration();
        bool Register(const QByteArray& data, const QString& root);

      private:
        const uchar* data_ = nullptr;
        QString root_;
    };

    QString path_;
    QString root_;     // where the bundle is mapped in the resource tree
    QByteArray data_;  // Qt reads the registered bundle in place, so it lives as long as we do
    Registration registration_;
    QMap<QString, SkinFormLayout> forms_;
    QPalette palette_;
};

}  // namespace quillet
