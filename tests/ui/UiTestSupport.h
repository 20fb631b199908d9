#pragma once
// The dialogs' tests run unchanged on both window backends; the user's input and a look at the
// native controls come from the backend's driver (QtDriver.cpp, Win32Driver.cpp).

#include <functional>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "framework/App.h"

namespace vel::test {

// Message boxes and beeps are recorded, never shown.
inline struct Recorded {
    std::vector<std::pair<std::string, uint32_t>> messages;
    std::vector<uint32_t> beeps;
} recorded;

enum class Key { Escape, Enter };

// Texts of the dialog's controls that nobody addresses.
std::multiset<std::string> LabelTexts(const fw::CWnd& dialog);
// Input as the user gives it; a key goes to the window with the focus (else to window) and
// arrives with the next message pump.
void PressKey(fw::CWnd& window, Key key);
// A click (left button down and up) or a move to a point of the control.
void Mouse(fw::CWnd& control, fw::Point at, bool click);
// The left button pressed at from, the mouse moved to to with it held, and released there.
void Drag(fw::CWnd& window, fw::Point from, fw::Point to);
#ifndef _WIN32
// The item texts of a combo box of the active modal dialog, which is then cancelled as with
// its Cancel button; for dialogs of another copy of the framework.
std::vector<std::string> CloseActiveDialog(int comboId);
#endif
// Runs step from the event loop, as soon as it next runs (a modal dialog's loop included).
void Later(std::function<void()> step);

}  // namespace vel::test
