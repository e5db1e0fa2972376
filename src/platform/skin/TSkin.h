#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <memory>
#include <stdexcept>

#include "platform/skin/SkinObject.h"

namespace quillet {

class SkinError : public std::runtime_error {
  public:
    explicit SkinError(const QString& message) : std::runtime_error(message.toStdString()) {}
};

class SkinLibrary;
class SkinFormWidget;

// Draws a window from a skin library file and reports the user's actions on its named objects.
// Failures throw SkinError with a message naming the file and what is wrong.
//
// The form is laid into the window (into the central widget of a QMainWindow), covers it and
// sits beneath the window's own controls, so controls placed in the same parent show over it.
// The TSkin widget itself stays hidden. Mouse buttons are reported as 0 left, 1 right,
// 2 middle; x and y are relative to the object.
class TSkin : public QWidget {
    Q_OBJECT
  public:
    explicit TSkin(QWidget* parent = nullptr);
    ~TSkin() override;

    void LoadSkin(const QString& path);
    void ApplySkin(QWidget* window);
    void ApplyFormByName(QWidget* window, const QString& formName);
    // The form laid onto window, or nullptr when none was applied.
    ISkinForm* GetFormObject(QWidget* window);

  signals:
    void OnClick(quillet::ISkinObject* source);
    void OnMouseDown(quillet::ISkinObject* source, int button, int x, int y);
    void OnMouseUp(quillet::ISkinObject* source, int button, int x, int y);
    void OnScrollTrack(quillet::ISkinObject* source, int newPos);

  private:
    const SkinLibrary& Library() const;

    std::unique_ptr<SkinLibrary> library_;
    QPointer<SkinFormWidget> form_;  // lies in the skinned window, which owns it
};

}  // namespace quillet
