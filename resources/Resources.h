#pragma once
// The dialogs' resources, defined once for both window backends: the dialog templates, the
// string table and the bitmaps, in the window framework's types.

#include <span>
#include <string>

#include "framework/Template.h"
#include "resources/ControlIds.h"

namespace vel::res {

extern const fw::DialogTemplate kSettingsTemplate;
extern const fw::DialogTemplate kAboutTemplate;
extern const fw::DialogTemplate kProgressTemplate;

// The string table entry, or empty when there is none (LoadString fails).
std::string LoadString(int id);
bool HasString(int id);

// Null when there is no bitmap of that id.
const fw::Bitmap* FindBitmap(int id);

// Every template, for tools that show them all.
std::span<const fw::DialogTemplate* const> AllDialogTemplates();

}  // namespace vel::res
