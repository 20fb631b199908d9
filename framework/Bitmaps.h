#pragma once
// Bitmaps loaded for buttons: the standard button colours of a picture follow the system's.

#include <optional>

#include "framework/Wnd.h"
#include "resources/Resources.h"

namespace vel::fw {

// Black -> button text, dark grey (128) -> button shadow, light grey (192) -> button face,
// white -> button highlight; every other colour stays.
res::Bitmap MapButtonColours(const res::Bitmap& source);
// The bitmap resource with its button colours mapped; empty when there is none.
std::optional<res::Bitmap> LoadMappedBitmap(int id);

}  // namespace vel::fw
