#include "tests/uidriver/UIDriver.h"

#include <commctrl.h>
#include <shlwapi.h>

#include <algorithm>
#include <cctype>
#include <cstring>

namespace uidriver {
namespace {

constexpr char kNameProperty[] = "ZarelName";
// A target that does not answer within this time is hung; the driver reports a failure
// instead of hanging with it.
constexpr UINT kSendTimeoutMs = 5000;

bool Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD_PTR* result = nullptr) {
  DWORD_PTR dummy = 0;
  return SendMessageTimeoutA(window, message, wParam, lParam, SMTO_ABORTIFHUNG | SMTO_BLOCK,
                             kSendTimeoutMs, result ? result : &dummy) != 0;
}

std::string ClassOf(HWND window) {
  char name[256] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

bool SameText(const std::string& a, const std::string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

DWORD ProcessOf(HWND window) {
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  return pid;
}

// Memory in another process, for the list view messages whose parameters are pointers
// (only a few messages are marshalled between processes).
class TRemoteBuffer {
 public:
  TRemoteBuffer(HWND owner, size_t size) : size_(size) {
    process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, ProcessOf(owner));
    if (process_ != nullptr)
      address_ = VirtualAllocEx(process_, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  }
  ~TRemoteBuffer() {
    if (address_ != nullptr) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
    if (process_ != nullptr) CloseHandle(process_);
  }
  TRemoteBuffer(const TRemoteBuffer&) = delete;
  TRemoteBuffer& operator=(const TRemoteBuffer&) = delete;

  bool Valid() const { return address_ != nullptr; }
  char* Address(size_t offset = 0) const { return static_cast<char*>(address_) + offset; }
  bool Write(size_t offset, const void* data, size_t size) {
    SIZE_T done = 0;
    return offset + size <= size_ && WriteProcessMemory(process_, Address(offset), data, size, &done) && done == size;
  }
  bool Read(size_t offset, void* data, size_t size) {
    SIZE_T done = 0;
    return offset + size <= size_ && ReadProcessMemory(process_, Address(offset), data, size, &done) && done == size;
  }

 private:
  HANDLE process_ = nullptr;
  void* address_ = nullptr;
  size_t size_;
};

bool IsListView(HWND window) { return SameText(ClassOf(window), WC_LISTVIEWA); }
bool IsListBox(HWND window) { return SameText(ClassOf(window), "LISTBOX") || SameText(ClassOf(window), "ComboLBox"); }

std::optional<std::string> ListViewItemText(HWND list, int index) {
  constexpr size_t kTextSize = 1024;
  TRemoteBuffer buffer(list, sizeof(LVITEMA) + kTextSize);
  if (!buffer.Valid()) return std::nullopt;
  LVITEMA item{};
  item.iSubItem = 0;
  item.pszText = buffer.Address(sizeof(LVITEMA));
  item.cchTextMax = kTextSize;
  DWORD_PTR length = 0;
  if (!buffer.Write(0, &item, sizeof item) ||
      !Send(list, LVM_GETITEMTEXTA, index, reinterpret_cast<LPARAM>(buffer.Address()), &length))
    return std::nullopt;
  std::string text(std::min<size_t>(length, kTextSize - 1), '\0');
  if (!text.empty() && !buffer.Read(sizeof(LVITEMA), text.data(), text.size())) return std::nullopt;
  return text;
}

bool ListViewSetState(HWND list, int index, UINT state, UINT mask) {
  TRemoteBuffer buffer(list, sizeof(LVITEMA));
  LVITEMA item{};
  item.stateMask = mask;
  item.state = state;
  return buffer.Valid() && buffer.Write(0, &item, sizeof item) &&
         Send(list, LVM_SETITEMSTATE, index, reinterpret_cast<LPARAM>(buffer.Address()));
}

struct TKey {
  const char* name;
  UINT vk;
};
constexpr TKey kKeys[] = {
    {"escape", VK_ESCAPE}, {"enter", VK_RETURN}, {"tab", VK_TAB},     {"space", VK_SPACE},
    {"back", VK_BACK},     {"delete", VK_DELETE}, {"f4", VK_F4},      {"up", VK_UP},
    {"down", VK_DOWN},     {"left", VK_LEFT},     {"right", VK_RIGHT}, {"home", VK_HOME},
    {"end", VK_END},
};

LPARAM KeyLParam(UINT vk, bool up, bool alt) {
  LPARAM lParam = 1 | (static_cast<LPARAM>(MapVirtualKeyA(vk, 0 /* virtual key to scan code */)) << 16);
  if (alt) lParam |= 1 << 29;  // context code: Alt is down
  if (up) lParam |= (1u << 30) | (1u << 31);
  return lParam;
}

HKEY ParseRoot(const std::string& key, std::string& path) {
  const size_t slash = key.find('\\');
  const std::string root = key.substr(0, slash);
  path = slash == std::string::npos ? std::string() : key.substr(slash + 1);
  if (SameText(root, "HKLM") || SameText(root, "HKEY_LOCAL_MACHINE")) return HKEY_LOCAL_MACHINE;
  if (SameText(root, "HKCU") || SameText(root, "HKEY_CURRENT_USER")) return HKEY_CURRENT_USER;
  if (SameText(root, "HKCR") || SameText(root, "HKEY_CLASSES_ROOT")) return HKEY_CLASSES_ROOT;
  if (SameText(root, "HKU") || SameText(root, "HKEY_USERS")) return HKEY_USERS;
  return nullptr;
}

}  // namespace

namespace {
BOOL CALLBACK Collect(HWND window, LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
  return TRUE;
}
}  // namespace

std::vector<HWND> AllTopWindows() {
  std::vector<HWND> windows;
  EnumWindows(Collect, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

std::vector<HWND> AllChildWindows(HWND top) {
  std::vector<HWND> windows;
  EnumChildWindows(top, Collect, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs, DWORD pollMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (condition()) return true;
    if (GetTickCount() - start >= timeoutMs) return false;
    Sleep(pollMs);
  }
}

std::vector<HWND> TopWindows(const std::string& className, DWORD pid, bool visibleOnly) {
  std::vector<HWND> found;
  for (HWND window : AllTopWindows()) {
    if (ClassOf(window) != className) continue;
    if (pid != 0 && ProcessOf(window) != pid) continue;
    if (visibleOnly && !IsWindowVisible(window)) continue;
    found.push_back(window);
  }
  return found;
}

HWND WaitForTopWindow(const std::string& className, DWORD pid, DWORD timeoutMs, bool visibleOnly) {
  HWND found = nullptr;
  WaitFor(
      [&] {
        const auto windows = TopWindows(className, pid, visibleOnly);
        found = windows.empty() ? nullptr : windows.front();
        return found != nullptr;
      },
      timeoutMs);
  return found;
}

std::string ControlName(HWND control) {
  const auto atom = static_cast<ATOM>(reinterpret_cast<UINT_PTR>(GetPropA(control, kNameProperty)));
  if (atom == 0) return {};
  char name[256] = {};
  const UINT length = GlobalGetAtomNameA(atom, name, sizeof name);
  return std::string(name, length);
}

std::vector<TWindowInfo> NamedControls(HWND top) {
  std::vector<TWindowInfo> controls;
  for (HWND child : AllChildWindows(top)) {
    if (!ControlName(child).empty()) controls.push_back(Describe(child));
  }
  return controls;
}

HWND FindControl(HWND top, const std::string& name) {
  for (HWND child : AllChildWindows(top)) {
    if (ControlName(child) == name) return child;
  }
  return nullptr;
}

TWindowInfo Describe(HWND window) {
  TWindowInfo info;
  info.Handle = window;
  info.Name = ControlName(window);
  info.ClassName = ClassOf(window);
  info.Text = ReadText(window).value_or("");
  info.Shown = info.Text;
  const LONG style = GetWindowLongA(window, GWL_STYLE);
  if ((SameText(info.ClassName, "STATIC") && !(style & SS_NOPREFIX) && (style & SS_TYPEMASK) <= SS_RIGHT) ||
      SameText(info.ClassName, "BUTTON"))
    info.Shown = ShownText(info.Text);
  info.Visible = IsWindowVisible(window) != FALSE;
  info.Enabled = IsWindowEnabled(window) != FALSE;
  info.ProcessId = ProcessOf(window);
  GetWindowRect(window, &info.Rect);
  RECT client{};
  GetClientRect(window, &client);
  info.Client = {client.right - client.left, client.bottom - client.top};
  info.Style = GetWindowLongA(window, GWL_STYLE);
  if (SameText(info.ClassName, "BUTTON")) {
    const LONG type = GetWindowLongA(window, GWL_STYLE) & BS_TYPEMASK;
    if (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_3STATE || type == BS_AUTO3STATE ||
        type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON) {
      DWORD_PTR checked = 0;
      if (Send(window, BM_GETCHECK, 0, 0, &checked)) info.Checked = static_cast<int>(checked);
    }
  }
  return info;
}

std::string ShownText(const std::string& text) {
  std::string shown;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '&' && i + 1 < text.size()) ++i;
    else if (text[i] == '&') continue;
    shown += text[i];
  }
  return shown;
}

std::optional<std::string> ReadText(HWND window) {
  DWORD_PTR length = 0;
  if (!Send(window, WM_GETTEXTLENGTH, 0, 0, &length)) return std::nullopt;
  std::string text(length + 1, '\0');
  DWORD_PTR copied = 0;
  if (!Send(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), &copied)) return std::nullopt;
  text.resize(std::min<size_t>(copied, length));
  return text;
}

bool TypeText(HWND edit, const std::string& text) {
  for (char c : text) {
    if (!Send(edit, WM_CHAR, static_cast<unsigned char>(c), 1)) return false;
  }
  return true;
}

bool ClearText(HWND edit) {
  return Send(edit, EM_SETSEL, 0, -1) && Send(edit, WM_CHAR, VK_BACK, 1);
}

bool SetText(HWND window, const std::string& text) {
  return Send(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

const char* ToString(TClickResult result) {
  switch (result) {
    case TClickResult::Posted: return "posted";
    case TClickResult::Hidden: return "hidden";
    case TClickResult::Disabled: return "disabled";
    case TClickResult::Blocked: return "blocked by a modal window";
    case TClickResult::Failed: return "failed";
  }
  return "failed";
}

TClickResult Click(HWND button) {
  if (!IsWindow(button)) return TClickResult::Failed;
  if (!IsWindowVisible(button)) return TClickResult::Hidden;
  if (!IsWindowEnabled(button)) return TClickResult::Disabled;
  const HWND top = GetAncestor(button, GA_ROOT);
  if (top != nullptr && !IsWindowEnabled(top)) return TClickResult::Blocked;
  return PostMessageA(button, BM_CLICK, 0, 0) ? TClickResult::Posted : TClickResult::Failed;
}

HWND FocusOf(HWND window) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info)) return nullptr;
  return info.hwndFocus;
}

bool PressKey(HWND target, const std::string& key) {
  std::string name = key;
  bool alt = false;
  if (name.size() > 4 && SameText(name.substr(0, 4), "alt+")) {
    alt = true;
    name = name.substr(4);
  }
  const TKey* found = std::find_if(std::begin(kKeys), std::end(kKeys), [&](const TKey& k) { return SameText(k.name, name); });
  if (found == std::end(kKeys)) return false;
  const UINT down = alt ? WM_SYSKEYDOWN : WM_KEYDOWN;
  const UINT up = alt ? WM_SYSKEYUP : WM_KEYUP;
  return PostMessageA(target, down, found->vk, KeyLParam(found->vk, false, alt)) &&
         PostMessageA(target, up, found->vk, KeyLParam(found->vk, true, alt));
}

bool PostSysClose(HWND top) { return PostMessageA(top, WM_SYSCOMMAND, SC_CLOSE, 0) != FALSE; }
bool PostClose(HWND top) { return PostMessageA(top, WM_CLOSE, 0, 0) != FALSE; }

std::optional<std::vector<TListItem>> ListItems(HWND list) {
  std::vector<TListItem> items;
  DWORD_PTR count = 0;
  if (IsListView(list)) {
    if (!Send(list, LVM_GETITEMCOUNT, 0, 0, &count)) return std::nullopt;
    for (int i = 0; i < static_cast<int>(count); ++i) {
      TListItem item;
      auto text = ListViewItemText(list, i);
      if (!text) return std::nullopt;
      item.Text = *text;
      DWORD_PTR state = 0;
      if (!Send(list, LVM_GETITEMSTATE, i, LVIS_STATEIMAGEMASK | LVIS_SELECTED, &state)) return std::nullopt;
      item.Checked = ((state & LVIS_STATEIMAGEMASK) >> 12) == 2;
      item.Selected = (state & LVIS_SELECTED) != 0;
      items.push_back(item);
    }
    return items;
  }
  if (IsListBox(list)) {
    if (!Send(list, LB_GETCOUNT, 0, 0, &count) || count == static_cast<DWORD_PTR>(LB_ERR)) return std::nullopt;
    for (int i = 0; i < static_cast<int>(count); ++i) {
      TListItem item;
      DWORD_PTR length = 0;
      if (!Send(list, LB_GETTEXTLEN, i, 0, &length) || length == static_cast<DWORD_PTR>(LB_ERR)) return std::nullopt;
      // Wine hands LB_GETTEXT from another process over in UTF-16 even to the ANSI call,
      // so ask for UTF-16 and convert here.
      std::wstring wide(length + 1, L'\0');
      DWORD_PTR copied = 0;
      if (!SendMessageTimeoutW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(wide.data()), SMTO_ABORTIFHUNG | SMTO_BLOCK,
                               kSendTimeoutMs, &copied))
        return std::nullopt;
      wide.resize(std::min<size_t>(copied, length));
      std::string text;
      if (!wide.empty()) {
        const int size = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
        text.resize(size);
        WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), text.data(), size, nullptr, nullptr);
      }
      item.Text = text;
      DWORD_PTR selected = 0;
      Send(list, LB_GETSEL, i, 0, &selected);
      item.Selected = selected > 0 && selected != static_cast<DWORD_PTR>(LB_ERR);
      items.push_back(item);
    }
    return items;
  }
  return std::nullopt;
}

bool SelectItem(HWND list, int index) {
  if (IsListView(list)) {
    // Moving the focus away first makes the list view report the change as a person's
    // click does, also when the item was focused already.
    return ListViewSetState(list, -1, 0, LVIS_SELECTED) &&
           ListViewSetState(list, index, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  }
  if (IsListBox(list)) {
    DWORD_PTR result = 0;
    if (!Send(list, LB_SETCURSEL, index, 0, &result) || result == static_cast<DWORD_PTR>(LB_ERR)) return false;
    // LB_SETCURSEL does not notify; a person's selection does.
    const HWND parent = GetParent(list);
    return PostMessageA(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(list), LBN_SELCHANGE),
                        reinterpret_cast<LPARAM>(list)) != FALSE;
  }
  return false;
}

bool ToggleItem(HWND list, int index) {
  if (!IsListView(list) || !IsWindowVisible(list) || !IsWindowEnabled(list)) return false;
  return SelectItem(list, index) && PressKey(list, "space");
}

bool ClickItemCheckBox(HWND list, int index) {
  if (!IsListView(list) || !IsWindowVisible(list) || !IsWindowEnabled(list)) return false;
  TRemoteBuffer buffer(list, sizeof(RECT));
  RECT rect{};
  rect.left = LVIR_BOUNDS;
  DWORD_PTR ok = 0;
  if (!buffer.Valid() || !buffer.Write(0, &rect, sizeof rect) ||
      !Send(list, LVM_GETITEMRECT, index, reinterpret_cast<LPARAM>(buffer.Address()), &ok) || !ok ||
      !buffer.Read(0, &rect, sizeof rect))
    return false;
  // The check box is the state image at the left end of the item.
  const LPARAM point = MAKELPARAM(rect.left + GetSystemMetrics(SM_CXSMICON) / 2, (rect.top + rect.bottom) / 2);
  return PostMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, point) && PostMessageA(list, WM_LBUTTONUP, 0, point);
}

bool ClickListBoxItem(HWND list, int index, bool twice) {
  if (!IsListBox(list) || !IsWindowVisible(list) || !IsWindowEnabled(list)) return false;
  // LB_GETITEMRECT is marshalled between processes like LB_GETTEXT.
  RECT rect{};
  DWORD_PTR result = 0;
  if (!Send(list, LB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&rect), &result) ||
      result == static_cast<DWORD_PTR>(LB_ERR) || rect.bottom <= rect.top)
    return false;
  const LPARAM point = MAKELPARAM(rect.left + 4, (rect.top + rect.bottom) / 2);
  if (!PostMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, point) || !PostMessageA(list, WM_LBUTTONUP, 0, point))
    return false;
  return !twice || (PostMessageA(list, WM_LBUTTONDBLCLK, MK_LBUTTON, point) && PostMessageA(list, WM_LBUTTONUP, 0, point));
}

std::vector<HWND> MessageBoxes(DWORD pid, const std::string& caption) {
  std::vector<HWND> boxes;
  for (HWND box : TopWindows("#32770", pid, true)) {
    if (!caption.empty() && ReadText(box).value_or("") != caption) continue;
    boxes.push_back(box);
  }
  return boxes;
}

HWND WaitForMessageBox(DWORD pid, const std::string& caption, DWORD timeoutMs) {
  HWND found = nullptr;
  WaitFor(
      [&] {
        const auto boxes = MessageBoxes(pid, caption);
        found = boxes.empty() ? nullptr : boxes.front();
        return found != nullptr;
      },
      timeoutMs);
  return found;
}

std::optional<TMessageBoxInfo> ReadMessageBox(HWND box) {
  if (!IsWindow(box)) return std::nullopt;
  TMessageBoxInfo info;
  info.Caption = ReadText(box).value_or("");
  if (HWND text = GetDlgItem(box, 0xFFFF)) info.Text = ReadText(text).value_or("");
  for (HWND child = GetWindow(box, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    if (!SameText(ClassOf(child), "BUTTON") || !IsWindowVisible(child)) continue;
    info.Buttons.emplace_back(GetDlgCtrlID(child), ReadText(child).value_or(""));
  }
  return info;
}

int AnswerId(const std::string& answer) {
  static const std::pair<const char*, int> kAnswers[] = {
      {"ok", IDOK},       {"cancel", IDCANCEL}, {"abort", IDABORT},       {"retry", IDRETRY},
      {"ignore", IDIGNORE}, {"yes", IDYES},     {"no", IDNO},             {"tryagain", IDTRYAGAIN},
      {"continue", IDCONTINUE},
  };
  for (const auto& [word, id] : kAnswers)
    if (SameText(answer, word)) return id;
  if (!answer.empty() && std::all_of(answer.begin(), answer.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
    return std::atoi(answer.c_str());
  return -1;
}

bool AnswerMessageBox(HWND box, int id) {
  HWND button = GetDlgItem(box, id);
  if (button == nullptr || !IsWindowVisible(button)) return false;
  return PostMessageA(button, BM_CLICK, 0, 0) != FALSE;
}

bool WaitGone(HWND window, DWORD timeoutMs) {
  return WaitFor([&] { return !IsWindow(window) || !IsWindowVisible(window); }, timeoutMs);
}

TProcess::~TProcess() {
  if (handle_ != nullptr) CloseHandle(handle_);
}

std::string QuoteArgument(const std::string& argument) {
  if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) return argument;
  std::string quoted = "\"";
  size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, '\\');
  return quoted + "\"";
}

bool TProcess::Start(const std::string& exe, const std::string& arguments, const std::string& folder) {
  std::string commandLine = QuoteArgument(exe);
  if (!arguments.empty()) commandLine += " " + arguments;
  std::string workFolder = folder;
  if (workFolder.empty()) {
    const size_t slash = exe.find_last_of("\\/");
    if (slash != std::string::npos) workFolder = exe.substr(0, slash + 1);
  }
  // The program's standard handles go to NUL: under Wine a child otherwise writes into the
  // driver's own output (and keeps the pipe of whoever runs the driver open).
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE nulIn = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
  HANDLE nulOut = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nulIn;
  startup.hStdOutput = nulOut;
  startup.hStdError = nulOut;
  PROCESS_INFORMATION info{};
  const BOOL started = CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                      workFolder.empty() ? nullptr : workFolder.c_str(), &startup, &info);
  if (nulIn != INVALID_HANDLE_VALUE) CloseHandle(nulIn);
  if (nulOut != INVALID_HANDLE_VALUE) CloseHandle(nulOut);
  if (!started) return false;
  CloseHandle(info.hThread);
  if (handle_ != nullptr) CloseHandle(handle_);
  handle_ = info.hProcess;
  id_ = info.dwProcessId;
  return true;
}

std::optional<DWORD> TProcess::WaitExit(DWORD timeoutMs) {
  if (handle_ == nullptr || WaitForSingleObject(handle_, timeoutMs) != WAIT_OBJECT_0) return std::nullopt;
  DWORD code = 0;
  if (!GetExitCodeProcess(handle_, &code)) return std::nullopt;
  return code;
}

bool TProcess::Running() { return handle_ != nullptr && WaitForSingleObject(handle_, 0) == WAIT_TIMEOUT; }

void TProcess::Kill() {
  if (Running()) {
    TerminateProcess(handle_, 1);
    WaitForSingleObject(handle_, 5000);
  }
}

std::optional<std::string> RegQuery(const std::string& key, const std::string& value) {
  std::string path;
  const HKEY root = ParseRoot(key, path);
  if (root == nullptr) return std::nullopt;
  HKEY handle = nullptr;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS) return std::nullopt;
  DWORD type = 0;
  DWORD size = 0;
  std::optional<std::string> result;
  if (RegQueryValueExA(handle, value.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
    std::string data(size, '\0');
    if (RegQueryValueExA(handle, value.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) ==
        ERROR_SUCCESS) {
      data.resize(size);
      if (type == REG_DWORD && size == sizeof(DWORD)) {
        DWORD number = 0;
        std::memcpy(&number, data.data(), sizeof number);
        result = std::to_string(number);
      } else {
        if (type == REG_SZ || type == REG_EXPAND_SZ) {
          while (!data.empty() && data.back() == '\0') data.pop_back();
        }
        result = data;
      }
    }
  }
  RegCloseKey(handle);
  return result;
}

namespace {
bool SetValue(const std::string& key, const std::string& value, DWORD type, const void* data, DWORD size) {
  std::string path;
  const HKEY root = ParseRoot(key, path);
  if (root == nullptr) return false;
  HKEY handle = nullptr;
  if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &handle, nullptr) != ERROR_SUCCESS)
    return false;
  const bool ok = RegSetValueExA(handle, value.empty() ? nullptr : value.c_str(), 0, type,
                                 static_cast<const BYTE*>(data), size) == ERROR_SUCCESS;
  RegCloseKey(handle);
  return ok;
}
}  // namespace

bool RegSetString(const std::string& key, const std::string& value, const std::string& data) {
  return SetValue(key, value, REG_SZ, data.c_str(), static_cast<DWORD>(data.size() + 1));
}

bool RegSetDword(const std::string& key, const std::string& value, DWORD data) {
  return SetValue(key, value, REG_DWORD, &data, sizeof data);
}

bool RegDeleteValueAt(const std::string& key, const std::string& value) {
  std::string path;
  const HKEY root = ParseRoot(key, path);
  if (root == nullptr) return false;
  HKEY handle = nullptr;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_SET_VALUE, &handle) != ERROR_SUCCESS) return false;
  const bool ok = RegDeleteValueA(handle, value.c_str()) == ERROR_SUCCESS;
  RegCloseKey(handle);
  return ok;
}

bool RegRemoveKey(const std::string& key) {
  std::string path;
  const HKEY root = ParseRoot(key, path);
  if (root == nullptr || path.empty()) return false;
  const DWORD status = SHDeleteKeyA(root, path.c_str());
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

}  // namespace uidriver
