#pragma once
// What each window backend provides to the backend-neutral parts of the framework.

#include <string>

#include "framework/App.h"

namespace vel::fw::backend {

int ShowMessageBox(const std::string& text, uint32_t type);
void Beep(uint32_t type);
// kIdOk with path set, or kIdCancel.
int ShowFileDialog(const CFileDialog& dialog, CWnd* parent, std::string& path);
bool EnsureGui();
bool PumpMessages();

}  // namespace vel::fw::backend
