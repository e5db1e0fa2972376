#pragma once

#include <QMap>
#include <QPointer>
#include <QWidget>

#include "platform/skin/SkinEventSink.h"
#include "platform/skin/SkinFormLayout.h"
#include "platform/skin/SkinObject.h"

namespace quillet {

// A skin form laid over a window: paints the background and decorations, owns the named
// objects as child widgets, and covers its host widget, beneath the host's own controls.
class SkinFormWidget : public QWidget, public ISkinForm, public SkinEventSink {
    Q_OBJECT
  public:
    SkinFormWidget(const SkinFormLayout& item, QWidget* window, QWidget* host);

    QWidget* Window() const { return window_; }
    ISkinObject* FindObject(const QString& name) override;

    void Click(ISkinObject* source) override { emit clicked(source); }
    void MouseDown(ISkinObject* source, int button, int x, int y) override {
        emit mouseDown(source, button, x, y);
    }
    void MouseUp(ISkinObject* source, int button, int x, int y) override {
        emit mouseUp(source, button, x, y);
    }
    void ScrollTrack(ISkinObject* source, int newPos) override { emit scrollTrack(source, newPos); }

  signals:
    void clicked(quillet::ISkinObject* source);
    void mouseDown(quillet::ISkinObject* source, int button, int x, int y);
    void mouseUp(quillet::ISkinObject* source, int button, int x, int y);
    void scrollTrack(quillet::ISkinObject* source, int newPos);

  protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void Build();

    SkinFormLayout item_;
    QPointer<QWidget> window_;
    QMap<QString, ISkinObject*> objects_;  // the child widgets, owned by Qt
};

}  // namespace quillet
