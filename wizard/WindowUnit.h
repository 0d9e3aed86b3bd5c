// Small Win32 pieces shared by the wizard window and the folder chooser.
#pragma once

#include <windows.h>

#include <string>

// Names a control for test drivers: the window property "ZarelName" holds a global atom with
// the control's name (the contract described in wizard/ControlModel.h).
void SetControlName(HWND window, const std::string& name);

// The window's text as a person sees it.
std::string WindowText(HWND window);
