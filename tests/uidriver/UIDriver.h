// Drives another process's windows the way a person would, for end-to-end tests: finds the
// wizard by window class and its controls by name, types, clicks, reads what is shown and
// answers message boxes. Every action that can start a modal loop in the target is posted,
// never sent, so the driver never blocks behind a box the action opened; callers wait for
// the effect instead (a page change, a new box, the process ending).
//
// Controls are named by the window property "ZarelName" (a global atom) that the wizard
// sets on every child window.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace uidriver {

// What a person (or a test) can see of one window.
struct TWindowInfo {
  HWND Handle = nullptr;
  std::string Name;       // "ZarelName" of a control; empty for unnamed windows
  std::string ClassName;  // Win32 class ("BUTTON", "EDIT", "#32770", ...)
  std::string Text;       // WM_GETTEXT
  std::string Shown;      // Text as drawn: "&&" shows "&", a single "&" underlines the next letter
  bool Visible = false;   // IsWindowVisible: the window and all its parents are shown
  bool Enabled = false;
  int Checked = -1;       // BM_GETCHECK for buttons, -1 for other classes
  DWORD ProcessId = 0;
  RECT Rect{};            // screen coordinates
  SIZE Client{};          // size of the client area
  LONG Style = 0;         // WS_* bits (minimise box, sizing frame, ...)
};

struct TListItem {
  std::string Text;
  bool Checked = false;
  bool Selected = false;
};

// Polls until condition() is true or timeoutMs passed; true when it became true.
bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs, DWORD pollMs = 20);

// Every top-level window, and every descendant of a window (depth first).
std::vector<HWND> AllTopWindows();
std::vector<HWND> AllChildWindows(HWND top);

// Top-level windows of a class (exact), optionally only those of one process (pid 0 = any)
// and only visible ones.
std::vector<HWND> TopWindows(const std::string& className, DWORD pid = 0, bool visibleOnly = true);
// The first matching top-level window, waiting up to timeoutMs; null on time-out.
HWND WaitForTopWindow(const std::string& className, DWORD pid, DWORD timeoutMs, bool visibleOnly = true);

// The name a control carries, empty when it has none.
std::string ControlName(HWND control);
// The descendant of top with that name (exact), or null.
HWND FindControl(HWND top, const std::string& name);
// Every named descendant of top, in z-order of a depth-first walk.
std::vector<TWindowInfo> NamedControls(HWND top);
TWindowInfo Describe(HWND window);

// A label's or button's text as it is drawn, without its mnemonic markers.
std::string ShownText(const std::string& text);

// WM_GETTEXT through the target's message queue (GetWindowText would give an edit's
// creation text only).
std::optional<std::string> ReadText(HWND window);
// One WM_CHAR per character, as typing does: the edit sends EN_CHANGE for each.
bool TypeText(HWND edit, const std::string& text);
// Selects everything and deletes it with a backspace, as a person would.
bool ClearText(HWND edit);
// WM_SETTEXT, where only the result matters (the edit still reports EN_CHANGE).
bool SetText(HWND window, const std::string& text);

enum class TClickResult { Posted, Hidden, Disabled, Blocked, Failed };
const char* ToString(TClickResult result);
// Posts BM_CLICK. Refuses what a person could not click: a hidden or disabled control, or
// one whose top-level window is disabled (a modal box is in front of it).
TClickResult Click(HWND button);

// Keys by name: "escape", "enter", "tab", "space", "back", "delete", "f4", "alt+f4",
// "up", "down", "left", "right", "home", "end". Posted as WM_(SYS)KEYDOWN/KEYUP to the
// target, so the target's own message loop translates and previews them as for real keys.
bool PressKey(HWND target, const std::string& key);
// The window that has the keyboard focus in the thread that owns window, or null.
HWND FocusOf(HWND window);

// The close box or the system menu's Close (WM_SYSCOMMAND SC_CLOSE), posted.
bool PostSysClose(HWND top);
bool PostClose(HWND top);

// Items of a LISTBOX or a SysListView32 (check boxes read from the state image).
std::optional<std::vector<TListItem>> ListItems(HWND list);
// Selects and focuses item index (LISTBOX: LB_SETCURSEL; list view: LVM_SETITEMSTATE).
bool SelectItem(HWND list, int index);
// Selects item index and presses Space, which toggles a list view check box.
bool ToggleItem(HWND list, int index);
// Left click on the check box of item index (list view in report view).
bool ClickItemCheckBox(HWND list, int index);
// Left click (or double click) on item index of a list box.
bool ClickListBoxItem(HWND list, int index, bool twice);

// Message boxes: visible "#32770" windows of process pid (0 = any) with that caption
// (empty = any caption).
std::vector<HWND> MessageBoxes(DWORD pid, const std::string& caption);
HWND WaitForMessageBox(DWORD pid, const std::string& caption, DWORD timeoutMs);
struct TMessageBoxInfo {
  std::string Caption;
  std::string Text;
  std::vector<std::pair<int, std::string>> Buttons;  // control id (IDYES, ...) and text
};
std::optional<TMessageBoxInfo> ReadMessageBox(HWND box);
// "yes", "no", "ok", "cancel", "abort", "retry", "ignore", "tryagain", "continue" or a
// number; -1 for an unknown word.
int AnswerId(const std::string& answer);
// Posts BM_CLICK to the box's button with that id; false when the box has none.
bool AnswerMessageBox(HWND box, int id);

// Waits until the window is destroyed or hidden.
bool WaitGone(HWND window, DWORD timeoutMs);

// Runs a program with its own folder as the current folder; keeps the process handle so
// the exit code can be read however long ago it ended.
class TProcess {
 public:
  TProcess() = default;
  ~TProcess();
  TProcess(const TProcess&) = delete;
  TProcess& operator=(const TProcess&) = delete;
  bool Start(const std::string& exe, const std::string& arguments, const std::string& folder = {});
  DWORD Id() const { return id_; }
  HANDLE Handle() const { return handle_; }
  // The exit code once the process ended within timeoutMs; empty on time-out.
  std::optional<DWORD> WaitExit(DWORD timeoutMs);
  bool Running();
  void Kill();

 private:
  HANDLE handle_ = nullptr;
  DWORD id_ = 0;
};

// Quotes one command-line argument the way the C runtime splits it.
std::string QuoteArgument(const std::string& argument);

// Registry helpers for scenario set-up and checks, in the 32-bit view the setup sees.
// key: "HKLM\\Software\\...", "HKCU\\...", "HKCR\\...".
std::optional<std::string> RegQuery(const std::string& key, const std::string& value);
bool RegSetString(const std::string& key, const std::string& value, const std::string& data);
bool RegSetDword(const std::string& key, const std::string& value, DWORD data);
bool RegDeleteValueAt(const std::string& key, const std::string& value);
// Removes a key with everything below it; true also when it did not exist.
bool RegRemoveKey(const std::string& key);

}  // namespace uidriver
