#include "ui/PictureButton.h"

#include <cmath>

#include "framework/Bitmaps.h"
#include "resources/Resources.h"

namespace vel::ui {

namespace {

int FloorDiv(int a, int b) {
    const int q = a / b;
    return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

}  // namespace

fw::Point PictureButtonBitmapOrigin(const fw::Rect& client, int bitmapWidth, int bitmapHeight,
                                    int textWidth) {
    int x;
    if (textWidth <= 0) {
        x = client.left + FloorDiv(client.Width() - bitmapWidth, 2);
    } else {
        const int free = client.Width() - textWidth - bitmapWidth;
        x = client.left + static_cast<int>(std::lround(static_cast<double>(free) / 3.0));
    }
    const int y = client.top + FloorDiv(client.Height() - bitmapHeight + 1, 2);
    return {x, y};
}

bool CPictureButton::Attach(int controlId, fw::CWnd* dialog, int bitmapId, bool drawFrame) {
    if (!SubclassDlgItem(controlId, dialog)) {
        return false;
    }
    SetBitmap(bitmapId, drawFrame);
    return true;
}

void CPictureButton::SetBitmap(int bitmapId, bool drawFrame) {
    bitmapId_ = bitmapId;
    drawFrame_ = drawFrame;
    Invalidate();
}

bool CPictureButton::DrawItem(fw::DrawItemInfo& info) {
    fw::CDC& dc = info.dc;
    const fw::Rect& r = info.rect;
    if (drawFrame_) {
        dc.DrawPushButtonFrame(r, info.selected);
    }
    const std::string text = GetWindowText();
    const int textWidth = text.empty() ? 0 : dc.GetTextExtent(text, true).cx;
    int bitmapWidth = 0;
    if (bitmapId_ != 0) {
        if (const fw::Bitmap* source = res::FindBitmap(bitmapId_)) {
            const fw::Bitmap bitmap = fw::MapButtonColours(*source);
            bitmapWidth = bitmap.width;
            const fw::Point at =
                PictureButtonBitmapOrigin(r, bitmap.width, bitmap.height, textWidth);
            dc.DrawBitmap(at.x, at.y, bitmap);
        }
    }
    if (!text.empty()) {
        dc.SetTextColor(fw::GetSysColor(fw::SysColour::ButtonText));
        dc.SetBkTransparent();
        dc.DrawText(text, {r.left + bitmapWidth, r.top, r.right, r.bottom},
                    fw::kDtCenter | fw::kDtVCenter | fw::kDtSingleLine | fw::kDtExpandTabs);
    }
    return true;
}

}  // namespace vel::ui
