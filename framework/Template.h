#pragma once
// What a dialog is built from, the same for both window backends: dialog and control
// templates (geometry in dialog units) and bitmaps (24-bit, bottom-up, blue-green-red rows
// padded to 4 bytes, as a device-independent bitmap stores them). The application owns the
// data and hands each dialog its template.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace vel::fw {

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

}  // namespace vel::fw
