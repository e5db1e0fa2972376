#pragma once

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
    std::unique_ptr<SkinLibrary> library_;
    SkinFormWidget* form_ = nullptr;  // child widget, owned by Qt's parent chain
};

}  // namespace quillet
