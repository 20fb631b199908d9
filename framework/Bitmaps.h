#pragma once
// Bitmaps loaded for buttons: the standard button colours of a picture follow the system's.

#include "framework/Template.h"
#include "framework/Wnd.h"

namespace vel::fw {

// Black -> button text, dark grey (128) -> button shadow, light grey (192) -> button face,
// white -> button highlight; every other colour stays.
Bitmap MapButtonColours(const Bitmap& source);

}  // namespace vel::fw
