// Small Win32 pieces shared by the wizard window and the folder chooser.
#pragma once

#include <windows.h>

#include <string>

#include "engine/InstallUI.h"

// Names a control for test drivers: the window property "ZarelName" holds a global atom with
// the control's name (the contract described in wizard/ControlModel.h).
void SetControlName(HWND window, const std::string& name);

// The window's text as a person sees it.
std::string WindowText(HWND window);

// Layout positions and sizes are given for 96 pixels per inch and scaled to the DPI shown.
constexpr int kDesignDpi = 96;
inline int ScaleToDpi(int value, int dpi) { return MulDiv(value, dpi, kDesignDpi); }

// The dialog font (the face of the system's DEFAULT_GUI_FONT at 8 points) at a DPI.
LOGFONTA DialogFont(int dpi);

// The pixels per inch of the system (the primary screen), and of the screen the window is on
// where the system knows one per screen (Windows 10 1607 and later; else the system's).
int SystemDpi();
int WindowDpi(HWND window);
// The window rectangle for a client area at a DPI (the frame's metrics at that DPI where
// the system offers them).
RECT FrameForClient(int clientWidth, int clientHeight, DWORD style, DWORD exStyle, int dpi);

// The size the control's window needs to show its text whole in its own font, or {0, 0} for a
// control that shows no text of its own or shortens it on purpose (a path with "..."), or
// scrolls it. Labels wrap at their width, so a label needs more width only for a word wider
// than itself.
SIZE NeededTextSize(HWND control);

// Shows the box task-modal, owned by owner (null: no owner), and gives its answer.
MessageAnswer ShowTaskModalBox(HWND owner, const TMessageBox& box);
