#pragma once
// The window framework's base: windows addressed by handle or by control id, painting,
// fonts and cursors. A slice of an MFC-style interface; qt/ and win32/ implement it.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "framework/StandardIds.h"

namespace vel::fw {

struct Bitmap;

struct Point {
    int x = 0;
    int y = 0;
    bool operator==(const Point&) const = default;
};

struct Size {
    int cx = 0;
    int cy = 0;
    bool operator==(const Size&) const = default;
};

struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool Contains(Point p) const {
        return p.x >= left && p.x < right && p.y >= top && p.y < bottom;
    }
    bool operator==(const Rect&) const = default;
};

// 0x00BBGGRR, as the Windows colour reference.
using Colour = uint32_t;
constexpr Colour Rgb(uint8_t r, uint8_t g, uint8_t b) {
    return static_cast<Colour>(r) | (static_cast<Colour>(g) << 8) | (static_cast<Colour>(b) << 16);
}
constexpr uint8_t RedOf(Colour c) {
    return static_cast<uint8_t>(c & 0xFFu);
}
constexpr uint8_t GreenOf(Colour c) {
    return static_cast<uint8_t>((c >> 8) & 0xFFu);
}
constexpr uint8_t BlueOf(Colour c) {
    return static_cast<uint8_t>((c >> 16) & 0xFFu);
}

enum class SysColour { ButtonFace, ButtonShadow, ButtonText, ButtonHighlight, Window, WindowText };
Colour GetSysColor(SysColour which);

// Window message numbers that cross the framework.
inline constexpr uint32_t kWmUser = 0x0400;
// Notification codes of a control's command.
inline constexpr int kBnClicked = 0;      // button or notifying static clicked
inline constexpr int kCbnSelChange = 1;   // combo box selection changed by the user
inline constexpr int kEnChange = 0x0300;  // edit text changed

// Show commands.
inline constexpr int kSwHide = 0;
inline constexpr int kSwShowNormal = 1;
inline constexpr int kSwShow = 5;

class CWnd;
class CDC;
struct WindowImpl;  // the backend's window
struct FontImpl;
struct CursorImpl;

// A font made from a window's font.
class CFont {
  public:
    CFont();
    ~CFont();
    CFont(const CFont&) = delete;
    CFont& operator=(const CFont&) = delete;
    // The window's current font with the underline attribute set as given.
    bool CreateFromWindow(const CWnd& wnd, bool underline);
    bool IsValid() const { return impl_ != nullptr; }
    bool Underlined() const;
    FontImpl* impl() const { return impl_.get(); }

  private:
    std::unique_ptr<FontImpl> impl_;
};

// A mouse cursor. The standard arrow is a null cursor.
class Cursor {
  public:
    ~Cursor();
    Cursor(const Cursor&) = delete;
    Cursor& operator=(const Cursor&) = delete;
    // The hand cursor used over links and draggable areas; null when it cannot be loaded.
    static std::unique_ptr<Cursor> LoadHand();
    CursorImpl* impl() const { return impl_.get(); }
    explicit Cursor(std::unique_ptr<CursorImpl> impl);

  private:
    std::unique_ptr<CursorImpl> impl_;
};
// Sets the cursor shown now (null: the standard arrow).
void SetCursor(const Cursor* cursor);

// What the owner of an owner-drawn button gets to draw it.
struct DrawItemInfo {
    CDC& dc;
    Rect rect;
    bool selected = false;
    bool focused = false;
    bool disabled = false;
    int controlId = 0;
};

// Text drawing flags.
enum DrawTextFlags : uint32_t {
    kDtLeft = 0,
    kDtCenter = 1u << 0,
    kDtRight = 1u << 1,
    kDtVCenter = 1u << 2,
    kDtSingleLine = 1u << 3,
    kDtExpandTabs = 1u << 4,
};

// A device context: painting in a paint handler or an owner-draw request, or measuring
// only when made for a window outside painting.
class CDC {
  public:
    struct Impl;
    explicit CDC(Impl* impl) : impl_(impl) {}
    CDC(const CDC&) = delete;
    CDC& operator=(const CDC&) = delete;

    void FillSolidRect(const Rect& rect, Colour colour);
    // A sunken frame: shadow on the top and left edges, light on the bottom and right.
    void Draw3dRect(const Rect& rect, Colour topLeft, Colour bottomRight);
    // The push-button frame of the system's look, pushed while the item is selected.
    void DrawPushButtonFrame(const Rect& rect, bool pushed);
    // A 24-bit bottom-up bitmap (rows padded to 4 bytes) with its top-left corner at (x, y).
    void DrawBitmap(int x, int y, int width, int height, int stride, const uint8_t* bits);
    void DrawBitmap(int x, int y, const Bitmap& bitmap);
    void SelectFont(const CFont& font);
    void SetTextColor(Colour colour);
    void SetBkTransparent();
    Size GetTextExtent(std::string_view text, bool expandTabs = false) const;
    void DrawText(std::string_view text, const Rect& rect, uint32_t flags);
    Impl* impl() const { return impl_; }

  private:
    Impl* impl_;
};

// A measuring device context for a window, in its current font.
class CClientDC {
  public:
    explicit CClientDC(const CWnd& wnd);
    ~CClientDC();
    CClientDC(const CClientDC&) = delete;
    CClientDC& operator=(const CClientDC&) = delete;
    CDC& dc() { return *dc_; }

  private:
    std::unique_ptr<CDC::Impl> impl_;
    std::unique_ptr<CDC> dc_;
};

class CWnd {
  public:
    CWnd();
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    bool IsWindow() const;
    // Destroys the window (and its children); the object stays.
    virtual bool DestroyWindow();

    // Makes this object the owner of the parent's control id; its handlers then receive the
    // control's own messages. False when there is no such control.
    bool SubclassDlgItem(int id, CWnd* parent);
    // The object of a control: its subclassing object, else a plain wrapper owned by the
    // parent. Null when there is no such control.
    CWnd* GetDlgItem(int id) const;
    int GetDlgCtrlID() const;
    CWnd* GetParent() const;

    void ShowWindow(int showCommand);
    bool IsWindowVisible() const;
    void EnableWindow(bool enable);
    bool IsWindowEnabled() const;
    void SetWindowText(std::string_view text);
    std::string GetWindowText() const;
    void SetFocus();
    bool HasFocus() const;

    void Invalidate(bool erase = true);
    void InvalidateRect(const Rect& rect, bool erase = true);
    // Paints what is invalid now, without waiting for the event loop.
    void UpdateWindow();
    // Invalidate with erase, then update at once.
    void RedrawWindow();

    // Queues a message for this window's handler (OnMessage); safe from any thread. False when
    // the window does not exist.
    bool PostMessage(uint32_t message, uintptr_t wParam = 0, intptr_t lParam = 0);

    void SetCapture();
    bool HasCapture() const;
    static bool IsCaptureHeld();  // any window of the process holds it
    static void ReleaseCapture();

    Rect GetClientRect() const;
    // In screen coordinates.
    Rect GetWindowRect() const;
    Point ScreenToClient(Point p) const;
    Rect ScreenToClient(const Rect& r) const;
    // Moves and sizes the window, in its parent's client coordinates; the stacking order stays.
    void MoveWindow(const Rect& rect, bool repaint = true);
    // Dialog units to pixels, in the dialog font of this window's dialog.
    Rect MapDialogRect(const Rect& dialogUnits) const;
    // The horizontal and vertical dialog base units (pixels per 4 and per 8 dialog units) of
    // this window's dialog font. Pixel positions made for another font (6 x 13 is the base of
    // an 8-point "MS Shell Dlg" at 96 dpi) scale by these.
    Size GetDialogBaseUnits() const;

    // Style bits of a control from its template (ControlStyle); kNotify may be added.
    uint32_t GetStyle() const;
    void ModifyStyle(uint32_t remove, uint32_t add);

    void SetFont(const CFont& font, bool redraw = true);

    WindowImpl* impl() const { return impl_.get(); }

    // Handlers. The backend calls them on the window's thread.
    virtual bool OnMessage(uint32_t message, uintptr_t wParam, intptr_t lParam);
    virtual void OnPaint(CDC& dc);
    virtual void OnMouseMove(Point client);
    virtual void OnLButtonDown(Point client);
    virtual void OnLButtonUp(Point client);
    // True when the cursor was set.
    virtual bool OnSetCursor();
    // A static control's colour request reflected back to it: true with the text colour set
    // when the control paints its text transparently in that colour.
    virtual bool OnCtlColor(Colour& textColour);
    // A control's notification reflected back to it; true consumes it.
    virtual bool OnReflectedCommand(int code);
    // An owner-drawn control asks its object, then its parent, to draw it.
    virtual bool DrawItem(DrawItemInfo& info);
    // A control of this window notified a command; true when handled.
    virtual bool OnCommand(int id, int code);
    // A slider of this window was moved by the user (every step, dragging included).
    virtual void OnHScroll(int id, int position);
    // A tool without text of its own asks its window for it; true with text set.
    virtual bool OnToolTipNeedText(int controlId, std::string& text);
    // Called when the object is attached to an existing control.
    virtual void PreSubclassWindow();

  protected:
    std::unique_ptr<WindowImpl> impl_;
};

}  // namespace vel::fw
