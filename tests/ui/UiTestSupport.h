#pragma once
// The dialogs' tests run unchanged on both window backends (Qt offscreen, Win32 under Wine);
// the user's input and a look at the native controls come from the backend's driver
// (QtDriver.cpp, Win32Driver.cpp).

#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "framework/App.h"
#include "framework/Template.h"

namespace vel::test {

// Message boxes and beeps are recorded, never shown.
struct Recorded {
    std::vector<std::pair<std::string, uint32_t>> messages;
    std::vector<uint32_t> beeps;
};
inline Recorded& Recording() {
    static Recorded recorded;
    return recorded;
}

enum class Key { Escape, Enter };

// Whether the native control is of the backend's class for that kind.
bool IsOfKind(const fw::CWnd& control, fw::ControlKind kind);
// Texts of the dialog's controls that nobody addresses.
std::multiset<std::string> LabelTexts(const fw::CWnd& dialog);
bool FontUnderlined(const fw::CWnd& control);
// Input as the user gives it; a key goes to the window with the focus (else to window) and
// arrives with the next message pump.
void PressKey(fw::CWnd& window, Key key);
void MouseMove(fw::CWnd& control, fw::Point client);
void MouseClick(fw::CWnd& control);
void UserSelect(fw::CWnd& combo, int index);
void UserStepSlider(fw::CWnd& slider);

}  // namespace vel::test
