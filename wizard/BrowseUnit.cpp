#include <windows.h>
#include <winnetwk.h>

#include "wizard/BrowseUnit.h"

#include "texts/TextTable.h"

#include <algorithm>

#include "base/FileSystemUnit.h"
#include "base/HandleTypes.h"
#include "base/SafeLibrary.h"
#include "engine/InstallLog.h"
#include "engine/SetupCore.h"
#include "engine/SetupQuestions.h"
#include "wizard/WindowUnit.h"


namespace {

constexpr char kBrowseClass[] = "TBrowseFolder";
constexpr int kClientWidth = 250;
constexpr int kClientHeight = 266;
constexpr int kDirectoryListId = 201;
constexpr int kDriveComboId = 202;
constexpr int kNetButtonId = 203;
constexpr int kIndent = 3;  // spaces per level in the directory list

std::string FolderWithoutSlash(const std::string& folder) {
  if (folder.size() > 3 && (folder.back() == '\\' || folder.back() == '/')) {
    return folder.substr(0, folder.size() - 1);
  }
  return folder;
}

std::vector<std::string> Subfolders(const std::string& folder) {
  std::vector<std::string> names;
  for (const TDirEntry& entry : ListDirectory(folder, "*"))
    if (entry.isDirectory) names.push_back(entry.name);
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return lstrcmpiA(a.c_str(), b.c_str()) < 0;
  });
  return names;
}

}  // namespace

std::vector<TDirectoryLine> DirectoryLines(const std::string& folder,
                                           const std::vector<std::string>& subfolders) {
  std::vector<TDirectoryLine> lines;
  const std::string path = FolderWithoutSlash(folder);
  // The root ("C:\" or "\\server\share") is the first line; every further part one level down.
  std::size_t rootEnd = 0;
  if (path.size() >= 2 && path[1] == ':') {
    rootEnd = 2;
  } else if (path.rfind("\\\\", 0) == 0) {
    const std::size_t server = path.find('\\', 2);
    rootEnd = server == std::string::npos ? path.size() : path.find('\\', server + 1);
    if (rootEnd == std::string::npos) rootEnd = path.size();
  }
  std::string root = path.substr(0, rootEnd);
  std::string rootPath = root.size() == 2 ? root + "\\" : root;
  lines.push_back({root.size() == 2 ? root + "\\" : root, rootPath, 0, true});
  std::string current = rootPath;
  int level = 1;
  std::size_t from = rootEnd;
  while (from < path.size()) {
    if (path[from] == '\\' || path[from] == '/') {
      ++from;
      continue;
    }
    std::size_t end = path.find_first_of("\\/", from);
    if (end == std::string::npos) end = path.size();
    const std::string part = path.substr(from, end - from);
    current = NormalizePath(current, true, false) + part;
    lines.push_back({part, current, level++, true});
    from = end;
  }
  for (const std::string& name : subfolders) {
    lines.push_back({name, NormalizePath(current, true, false) + name, level, false});
  }
  return lines;
}

TBrowseFolder::TBrowseFolder() : model_(kBrowseClass, "BrowseFolder", "Choose Folder") {
  ShowBox = [](const TMessageBox& box) {
    InstallLog("Message box \"" + box.Caption + "\":\r\n" + box.Text);
    const MessageAnswer answer = ShowTaskModalBox(nullptr, box);
    InstallLog(std::string("Answer: ") + MessageAnswerName(answer));
    return answer;
  };
}

TBrowseFolder::~TBrowseFolder() {
  if (handle_ != nullptr) DestroyWindow(handle_);
  if (font_ != nullptr) DeleteObject(font_);
}

bool TBrowseFolder::CreateFormWindow(HINSTANCE instance) {
  instance_ = instance;
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kBrowseClass;
  RegisterClassExA(&windowClass);

  const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
  const DWORD exStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
  dpi_ = SystemDpi();
  const LOGFONTA logFont = DialogFont(dpi_);
  font_ = CreateFontIndirectA(&logFont);
  const RECT frame = FrameForClient(ScaleToDpi(kClientWidth, dpi_), ScaleToDpi(kClientHeight, dpi_), style, exStyle, dpi_);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  handle_ = CreateWindowExA(exStyle, kBrowseClass, model_.Caption().c_str(), style,
                            (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                            (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height, nullptr,
                            nullptr, instance, this);
  if (handle_ == nullptr) return false;
  model_.OnCaptionChanged = [this] { SetWindowTextA(handle_, model_.Caption().c_str()); };
  model_.OnControlChanged = [](TControl& control) {
    if (control.Handle != nullptr) SetWindowTextA(static_cast<HWND>(control.Handle), control.Caption.c_str());
  };

  auto add = [this](const char* name, const char* word, const char* caption = "") -> TControl& {
    return model_.Add(name, word, caption);
  };
  constexpr DWORD label = WS_VISIBLE | SS_LEFT;
  constexpr DWORD button = WS_VISIBLE | WS_TABSTOP;
  MakeControl(add("ChooseLabel", "tlabel", "Please choose the installation folder."), "STATIC",
              label, 0, -1, 8, 8, 234, 16);
  MakeControl(add("PathLabel", "tlabel", "&Path: "), "STATIC", label, 0, -1, 8, 30, 40, 16);
  MakeControl(add("PathEdit", "tedit"), "EDIT", WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL,
              WS_EX_CLIENTEDGE, -1, 48, 27, 194, 20);
  MakeControl(add("DirLabel", "tlabel", "&Directories"), "STATIC", label, 0, -1, 8, 54, 234, 16);
  MakeControl(add("DirectoryListBox", "tdirectorylistbox"), "LISTBOX",
              WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT,
              WS_EX_CLIENTEDGE, kDirectoryListId, 8, 72, 234, 118);
  MakeControl(add("DriveLabel", "tlabel", "Dr&ives:"), "STATIC", label, 0, -1, 8, 196, 234, 16);
  MakeControl(add("DriveComboBox", "tdrivecombobox"), "COMBOBOX",
              WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 0, kDriveComboId, 8, 212,
              234, 200);
  MakeControl(add("OKButton", "tbutton", "&OK"), "BUTTON", button | BS_DEFPUSHBUTTON, 0, IDOK, 8,
              238, 72, 23);
  MakeControl(add("CancelButton", "tbutton", "&Cancel"), "BUTTON", button | BS_PUSHBUTTON, 0,
              IDCANCEL, 89, 238, 72, 23);
  MakeControl(add("Netbutton", "tbutton", "&Network..."), "BUTTON", button | BS_PUSHBUTTON, 0,
              kNetButtonId, 170, 238, 72, 23);

  // The list starts at the process's current folder.
  char current[MAX_PATH + 1] = {};
  const DWORD length = GetCurrentDirectoryA(MAX_PATH, current);
  FillDrives();
  ShowFolder(length > 0 && length <= MAX_PATH ? std::string(current, length) : std::string("C:\\"));
  return true;
}

HWND TBrowseFolder::MakeControl(TControl& control, const char* windowClass, DWORD style,
                                DWORD exStyle, int id, int x, int y, int width, int height) {
  static int nextId = 300;
  if (id < 0) id = nextId++;
  HWND window = CreateWindowExA(exStyle, windowClass, control.Caption.c_str(), WS_CHILD | style,
                                ScaleToDpi(x, dpi_), ScaleToDpi(y, dpi_), ScaleToDpi(width, dpi_),
                                ScaleToDpi(height, dpi_), handle_,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
  if (window == nullptr) return nullptr;
  SetControlName(window, control.Name);
  SendMessageA(window, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  control.Handle = window;
  return window;
}

HWND TBrowseFolder::ControlHandle(const std::string& name) {
  TControl* control = model_.FindComponent(name);
  return control != nullptr ? static_cast<HWND>(control->Handle) : nullptr;
}

std::string TBrowseFolder::PathText() { return WindowText(ControlHandle("PathEdit")); }

void TBrowseFolder::SetPathText(const std::string& folder) {
  SetWindowTextA(ControlHandle("PathEdit"), folder.c_str());
}

void TBrowseFolder::FillDrives() {
  HWND combo = ControlHandle("DriveComboBox");
  SendMessageA(combo, CB_RESETCONTENT, 0, 0);
  const DWORD drives = GetLogicalDrives();
  for (int i = 0; i < 26; ++i) {
    if ((drives & (1u << i)) == 0) continue;
    const std::string drive = std::string(1, static_cast<char>('a' + i)) + ":";
    SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(drive.c_str()));
  }
}

void TBrowseFolder::ShowFolder(const std::string& folder) {
  currentFolder_ = FolderWithoutSlash(folder);
  if (currentFolder_.size() == 2 && currentFolder_[1] == ':') currentFolder_ += '\\';
  lines_ = DirectoryLines(currentFolder_, Subfolders(currentFolder_));
  HWND list = ControlHandle("DirectoryListBox");
  SendMessageA(list, WM_SETREDRAW, FALSE, 0);
  SendMessageA(list, LB_RESETCONTENT, 0, 0);
  int selected = 0;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    const std::string text =
        std::string(static_cast<std::size_t>(lines_[i].Level * kIndent), ' ') +
        (lines_[i].Open ? "[-] " : "[+] ") + lines_[i].Text;
    SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    if (lines_[i].Open) selected = static_cast<int>(i);
  }
  SendMessageA(list, LB_SETCURSEL, selected, 0);
  SendMessageA(list, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list, nullptr, TRUE);
  // The drive list follows the folder.
  if (currentFolder_.size() >= 2 && currentFolder_[1] == ':') {
    const std::string drive = std::string(1, static_cast<char>(std::tolower(
                                                 static_cast<unsigned char>(currentFolder_[0])))) + ":";
    SendMessageA(ControlHandle("DriveComboBox"), CB_SELECTSTRING, static_cast<WPARAM>(-1),
                 reinterpret_cast<LPARAM>(drive.c_str()));
  }
}

void TBrowseFolder::DirectoryListBoxDblClick() {
  SetWindowTextA(ControlHandle("PathEdit"), currentFolder_.c_str());
}

void TBrowseFolder::DriveChanged() {
  HWND combo = ControlHandle("DriveComboBox");
  const LRESULT index = SendMessageA(combo, CB_GETCURSEL, 0, 0);
  if (index == CB_ERR) return;
  char drive[8] = {};
  if (SendMessageA(combo, CB_GETLBTEXTLEN, index, 0) >= static_cast<LRESULT>(sizeof drive)) return;
  SendMessageA(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(drive));
  // The drive's current folder, as the system remembers it per drive.
  char full[MAX_PATH + 1] = {};
  const std::string request = std::string(drive) + ".";
  const DWORD length = GetFullPathNameA(request.c_str(), MAX_PATH, full, nullptr);
  std::string folder = length > 0 && length <= MAX_PATH ? std::string(full, length)
                                                        : std::string(drive) + "\\";
  if (!DirectoryExists(folder)) folder = std::string(drive) + "\\";
  ShowFolder(folder);
  DirectoryListBoxDblClick();
}

void TBrowseFolder::NetbuttonClick() {
  // mpr.dll is no known library: imported, a copy beside setup.exe would be loaded first.
  using TConnectionDialog = DWORD(WINAPI*)(HWND, DWORD);
  const TLibrary mpr(LoadSystemLibrary("mpr.dll"));
  const auto connectionDialog = LibraryEntry<TConnectionDialog>(mpr, "WNetConnectionDialog");
  const DWORD result = connectionDialog != nullptr ? connectionDialog(handle_, RESOURCETYPE_DISK)
                                                   : static_cast<DWORD>(ERROR_PROC_NOT_FOUND);
  InstallLog("Network drive dialog: " + std::to_string(result));
  FillDrives();
  ShowFolder(currentFolder_);
}

void TBrowseFolder::FormShow() {
  HWND edit = ControlHandle("PathEdit");
  SetFocus(edit);
  SendMessageA(edit, EM_SETSEL, 0, -1);
}

bool TBrowseFolder::FormCloseQuery() {
  const std::string folder = PathText();
  // A relative or empty folder would install relative to the current folder.
  if (!IsAcceptableFolder(folder)) {
    ShowBox(QuestionBox(TQuestion::ChooserFolderNotAbsolute, {folder}));
    return false;
  }
  if (DirectoryExists(folder)) return true;
  return ShowBox(QuestionBox(TQuestion::CreateFolder, {folder})) == MessageAnswer::Yes;
}

void TBrowseFolder::Close(int result) {
  if (result == IDOK && !FormCloseQuery()) return;
  modalResult_ = result;
}

bool TBrowseFolder::PreviewMessage(MSG& message) {
  if (!modal_ || handle_ == nullptr) return false;
  if (message.hwnd != handle_ && !IsChild(handle_, message.hwnd)) return false;
  if ((message.message == WM_KEYDOWN || message.message == WM_CHAR) && message.wParam == VK_ESCAPE) {
    if (message.message == WM_KEYDOWN) Close(IDCANCEL);
    return true;
  }
  return IsDialogMessageA(handle_, &message) != FALSE;
}

bool TBrowseFolder::Execute(const std::string& initialFolder, std::string& folder, HWND owner) {
  if (handle_ == nullptr) return false;
  SetPathText(initialFolder);
  if (owner != nullptr) EnableWindow(owner, FALSE);
  modalResult_ = 0;
  modal_ = true;
  ShowWindow(handle_, SW_SHOW);
  SetForegroundWindow(handle_);
  FormShow();
  MSG message;
  while (modalResult_ == 0 && GetMessageA(&message, nullptr, 0, 0) > 0) {
    if (PreviewMessage(message)) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  modal_ = false;
  if (owner != nullptr) EnableWindow(owner, TRUE);
  ShowWindow(handle_, SW_HIDE);
  if (owner != nullptr) SetActiveWindow(owner);
  if (modalResult_ != IDOK) return false;
  folder = PathText();
  return true;
}

LRESULT CALLBACK TBrowseFolder::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* form = reinterpret_cast<TBrowseFolder*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (form == nullptr || form->handle_ == nullptr) return DefWindowProcA(window, message, wParam, lParam);
  try {
    return form->HandleMessage(message, wParam, lParam);
  } catch (...) {
    return 0;
  }
}

LRESULT TBrowseFolder::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      const int code = HIWORD(wParam);
      if (id == IDOK && code == BN_CLICKED) Close(IDOK);
      if (id == IDCANCEL) Close(IDCANCEL);
      if (id == kNetButtonId && code == BN_CLICKED) NetbuttonClick();
      if (id == kDriveComboId && code == CBN_SELCHANGE) DriveChanged();
      if (id == kDirectoryListId && (code == LBN_SELCHANGE || code == LBN_DBLCLK)) {
        const LRESULT index = SendMessageA(ControlHandle("DirectoryListBox"), LB_GETCURSEL, 0, 0);
        if (index >= 0 && static_cast<std::size_t>(index) < lines_.size()) {
          const std::string path = lines_[static_cast<std::size_t>(index)].Path;
          if (code == LBN_DBLCLK) {
            ShowFolder(path);
            DirectoryListBoxDblClick();
          } else {
            // A click moves the list's current folder as well, as the list's change handler.
            currentFolder_ = path;
            DirectoryListBoxDblClick();
          }
        }
      }
      return 0;
    }
    case WM_CLOSE:
      Close(IDCANCEL);
      return 0;
    default:
      break;
  }
  return DefWindowProcA(handle_, message, wParam, lParam);
}
