#pragma once

namespace quillet {

class ISkinObject;

// Where a skin object reports what the user did to it. Buttons are 0 left, 1 right, 2 middle;
// x and y are relative to the object.
class SkinEventSink {
  public:
    virtual ~SkinEventSink() = default;
    virtual void Click(ISkinObject* source) = 0;
    virtual void MouseDown(ISkinObject* source, int button, int x, int y) = 0;
    virtual void MouseUp(ISkinObject* source, int button, int x, int y) = 0;
    virtual void ScrollTrack(ISkinObject* source, int newPos) = 0;
};

}  // namespace quillet
