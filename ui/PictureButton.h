#pragma once
// An owner-drawn button that shows a bitmap resource (with its button colours mapped to the
// system's), optionally inside a push-button frame, and its text beside it.

#include "framework/Controls.h"

namespace vel::ui {

class CPictureButton : public fw::CButton {
  public:
    // Binds the object to the dialog's control and sets its picture.
    bool Attach(int controlId, fw::CWnd* dialog, int bitmapId, bool drawFrame);
    void SetBitmap(int bitmapId, bool drawFrame);
    int BitmapId() const { return bitmapId_; }
    bool DrawsFrame() const { return drawFrame_; }

    bool DrawItem(fw::DrawItemInfo& info) override;

  private:
    int bitmapId_ = 0;
    bool drawFrame_ = true;
};

// Where the bitmap's top-left corner goes in the client rectangle: without text centred
// horizontally, with text one third of the free width from the left (rounded); vertically
// top + (height - bitmap height + 1) / 2 rounded down.
fw::Point PictureButtonBitmapOrigin(const fw::Rect& client, int bitmapWidth, int bitmapHeight,
                                    int textWidth);

}  // namespace vel::ui
