#pragma once
// The dialogs' resources, defined once for both window backends: dialog templates (geometry
// in dialog units), the string table and the bitmaps (24-bit, bottom-up, blue-green-red rows
// padded to 4 bytes, as a device-independent bitmap stores them).

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vel::res {

// Template and control ids.
inline constexpr int kSettingsDialog = 2000;
inline constexpr int kAboutDialog = 2003;
inline constexpr int kProgressDialog = 2007;
inline constexpr int kAboutButtonBitmap = 2002;
inline constexpr int kAboutPictureBitmap = 2004;
inline constexpr int kZoomBitmap = 2005;
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdStatic = -1;  // a control nobody addresses

enum class ControlKind {
    Label,            // static text
    PushButton,       // button
    DefPushButton,    // the default button
    OwnerDrawButton,  // drawn by its owner
    CheckBox,         // automatic check box
    Edit,             // single-line edit box
    ComboBox,         // drop-down list
    Slider,           // trackbar
    Progress,         // progress bar
};

// Control style bits that matter to the dialogs.
enum ControlStyle : uint32_t {
    kAlignLeft = 0,
    kAlignCenter = 1u << 0,
    kAlignRight = 1u << 1,
    kCenterVertically = 1u << 2,
    kBorder = 1u << 3,
    kAutoTicks = 1u << 4,  // slider: a tick at every position
    kVScroll = 1u << 5,    // combo box list: vertical scroll bar
    kNoFrame = 1u << 6,    // owner-drawn button drawn without a frame
    kTabStop = 1u << 7,
    kNotify = 1u << 8,  // static: reports clicks
};

// Dialog style bits.
enum DialogStyle : uint32_t {
    kCaption = 1u << 0,     // caption bar
    kSysMenu = 1u << 1,     // system menu (and its close box)
    kModalFrame = 1u << 2,  // dialog frame
    kCentered = 1u << 3,    // centred on the screen
};

struct ControlTemplate {
    int id;
    ControlKind kind;
    const char* text;  // with '&&' for a literal ampersand
    int x, y, cx, cy;  // dialog units
    uint32_t style;
    std::span<const char* const> items;  // fixed items of a combo box
};

struct DialogTemplate {
    int id;
    const char* caption;
    int cx, cy;  // dialog units
    uint32_t style;
    const char* fontName;
    int pointSize;
    std::span<const ControlTemplate> controls;
};

// Null when there is no template of that id.
const DialogTemplate* FindDialogTemplate(int id);
const ControlTemplate* FindControl(const DialogTemplate& dialog, int controlId);

// The string table entry, or empty when there is none (LoadString fails).
std::string LoadString(int id);
bool HasString(int id);

struct Bitmap {
    int width = 0;
    int height = 0;
    int stride = 0;             // bytes per row, a multiple of 4
    std::vector<uint8_t> bits;  // rows bottom-up, pixels blue, green, red

    // Pixel (x, y) counted from the top row.
    const uint8_t* Pixel(int x, int y) const {
        return bits.data() + static_cast<size_t>(height - 1 - y) * static_cast<size_t>(stride) +
               static_cast<size_t>(x) * 3u;
    }
    uint8_t* Pixel(int x, int y) {
        return bits.data() + static_cast<size_t>(height - 1 - y) * static_cast<size_t>(stride) +
               static_cast<size_t>(x) * 3u;
    }
};

// Null when there is no bitmap of that id.
const Bitmap* FindBitmap(int id);

// Every template, for tools that show them all.
std::span<const DialogTemplate* const> AllDialogTemplates();

}  // namespace vel::res
