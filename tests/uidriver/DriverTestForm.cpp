// A small window that follows the wizard's driving contract (class name, named child
// windows, panels as pages, task-modal boxes, Escape and the close box asking first), so
// the UI driver and the end-to-end harness are proven on a program whose behaviour the
// tests know exactly.
//
//   DriverTestForm.exe [hidden] [exit=N]
//     hidden   start with the window hidden; WM_USER + 1 shows it
//     exit=N   end at once with exit code N, without a window
#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr char kClassName[] = "TDriverTestForm";
constexpr UINT kShowMessage = WM_USER + 1;
constexpr int kExitConfirmed = 3;
constexpr int kExitButton = 42;

enum : int {
  kNameEdit = 100,
  kOptionCheck,
  kItemList,
  kPlainList,
  kAskButton,
  kDisabledButton,
  kNextButton,
  kBackButton,
  kShellButton,
  kExitButtonId,
};

HWND gForm = nullptr;
HWND gFirstPanel = nullptr;
HWND gSecondPanel = nullptr;
WNDPROC gStaticProc = nullptr;

void Name(HWND window, const char* name) {
  SetPropA(window, "ZarelName", reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(GlobalAddAtomA(name))));
}

struct TSearch {
  const char* name;
  HWND found;
};

BOOL CALLBACK MatchName(HWND window, LPARAM data) {
  auto& search = *reinterpret_cast<TSearch*>(data);
  char text[64] = {};
  const auto atom = static_cast<ATOM>(reinterpret_cast<UINT_PTR>(GetPropA(window, "ZarelName")));
  if (atom != 0 && GlobalGetAtomNameA(atom, text, sizeof text) && std::strcmp(text, search.name) == 0) {
    search.found = window;
    return FALSE;
  }
  return TRUE;
}

HWND Find(const char* name) {
  TSearch search{name, nullptr};
  EnumChildWindows(gForm, MatchName, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND Child(HWND parent, const char* windowClass, const char* name, const char* text, DWORD style, int x, int y,
           int width, int height, int id = 0) {
  HWND window = CreateWindowExA(0, windowClass, text, WS_CHILD | WS_VISIBLE | style, x, y, width, height, parent,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr), nullptr);
  SendMessageA(window, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
  Name(window, name);
  return window;
}

// Panels are static windows; their children's notifications go on to the form.
LRESULT CALLBACK PanelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COMMAND || message == WM_NOTIFY) return SendMessageA(gForm, message, wParam, lParam);
  return CallWindowProcA(gStaticProc, window, message, wParam, lParam);
}

HWND Panel(const char* name, bool visible) {
  HWND panel = Child(gForm, "STATIC", name, "", 0, 0, 0, 420, 300);
  gStaticProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(panel, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(PanelProc)));
  if (!visible) ShowWindow(panel, SW_HIDE);
  return panel;
}

void AskToExit() {
  if (MessageBoxA(gForm, "Do you want to quit?", "Exit Test", MB_YESNO | MB_ICONQUESTION | MB_TASKMODAL) == IDYES)
    ExitProcess(kExitConfirmed);
}

void ShellOpen(const std::string& target) {
  ShellExecuteA(gForm, "open", target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

std::string OwnFolder() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder = path;
  return folder.substr(0, folder.find_last_of('\\') + 1);
}

void CreateControls() {
  gFirstPanel = Panel("FirstPanel", true);
  Child(gFirstPanel, "EDIT", "NameEdit", "", WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 10, 10, 200, 22, kNameEdit);
  Child(gFirstPanel, "STATIC", "EchoLabel", "", 0, 220, 10, 190, 22);
  Child(gFirstPanel, "BUTTON", "OptionCheck", "Option", BS_AUTOCHECKBOX | WS_TABSTOP, 10, 40, 200, 22, kOptionCheck);
  HWND list = Child(gFirstPanel, WC_LISTVIEWA, "ItemList", "",
                    WS_BORDER | LVS_REPORT | LVS_NOCOLUMNHEADER | LVS_SINGLESEL | LVS_SHOWSELALWAYS, 10, 70, 200, 90,
                    kItemList);
  SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_CHECKBOXES, LVS_EX_CHECKBOXES);
  LVCOLUMNA column{};
  column.mask = LVCF_WIDTH;
  column.cx = 180;
  SendMessageA(list, LVM_INSERTCOLUMNA, 0, reinterpret_cast<LPARAM>(&column));
  const char* items[] = {"Locked item", "Second item", "Third item"};
  for (int i = 0; i < 3; ++i) {
    LVITEMA item{};
    item.mask = LVIF_TEXT;
    item.iItem = i;
    item.pszText = const_cast<char*>(items[i]);
    SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
  }
  LVITEMA checked{};
  checked.stateMask = LVIS_STATEIMAGEMASK;
  checked.state = INDEXTOSTATEIMAGEMASK(2);
  SendMessageA(list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&checked));
  SendMessageA(list, LVM_SETITEMSTATE, 2, reinterpret_cast<LPARAM>(&checked));
  HWND plain = Child(gFirstPanel, "LISTBOX", "PlainList", "", WS_BORDER | LBS_NOTIFY, 220, 70, 190, 90, kPlainList);
  SendMessageA(plain, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("alpha"));
  SendMessageA(plain, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("beta"));
  Child(gFirstPanel, "STATIC", "AnswerLabel", "", 0, 220, 170, 190, 22);
  // Sticks out of its panel on purpose: the layout check must find it.
  Child(gFirstPanel, "STATIC", "OverhangLabel", "cut off", 0, 380, 270, 80, 20);
  Child(gFirstPanel, "BUTTON", "AskButton", "&Ask", BS_PUSHBUTTON | WS_TABSTOP, 10, 170, 90, 24, kAskButton);
  HWND disabled = Child(gFirstPanel, "BUTTON", "DisabledButton", "&Disabled", BS_PUSHBUTTON, 110, 170, 90, 24, kDisabledButton);
  EnableWindow(disabled, FALSE);

  gSecondPanel = Panel("SecondPanel", false);
  Child(gSecondPanel, "BUTTON", "ShellButton", "&Open things", BS_PUSHBUTTON | WS_TABSTOP, 10, 10, 120, 24, kShellButton);
  Child(gSecondPanel, "BUTTON", "ExitButton", "E&xit 42", BS_PUSHBUTTON | WS_TABSTOP, 10, 40, 120, 24, kExitButtonId);

  Child(gForm, "BUTTON", "BackButton", "< &Back", BS_PUSHBUTTON | WS_TABSTOP, 220, 310, 90, 24, kBackButton);
  Child(gForm, "BUTTON", "NextButton", "&Next >", BS_PUSHBUTTON | WS_TABSTOP, 320, 310, 90, 24, kNextButton);
  ShowWindow(Find("BackButton"), SW_HIDE);
}

void ShowPage(bool second) {
  ShowWindow(gFirstPanel, second ? SW_HIDE : SW_SHOW);
  ShowWindow(gSecondPanel, second ? SW_SHOW : SW_HIDE);
  ShowWindow(Find("BackButton"), second ? SW_SHOW : SW_HIDE);
  EnableWindow(Find("NextButton"), !second);
}

void OnCommand(int id, int code) {
  switch (id) {
    case kNameEdit:
      if (code == EN_CHANGE) {
        char text[256] = {};
        GetWindowTextA(Find("NameEdit"), text, sizeof text);
        SetWindowTextA(Find("EchoLabel"), text);
      }
      break;
    case kAskButton: {
      const int answer = MessageBoxA(gForm, "Proceed with the test?", "Question Box",
                                     MB_YESNOCANCEL | MB_ICONQUESTION | MB_TASKMODAL);
      SetWindowTextA(Find("AnswerLabel"), answer == IDYES ? "yes" : answer == IDNO ? "no" : "cancel");
      break;
    }
    case kNextButton: ShowPage(true); break;
    case kBackButton: ShowPage(false); break;
    case kShellButton: {
      const std::string folder = OwnFolder();
      HANDLE file = CreateFileA((folder + "readme.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
      CloseHandle(file);
      CreateDirectoryA((folder + "logs").c_str(), nullptr);
      ShellOpen("http://localhost:32000/accounts/");
      ShellOpen(folder + "readme.txt");
      ShellOpen(folder + "logs\\");
      break;
    }
    case kExitButtonId: ExitProcess(kExitButton);
  }
}

LRESULT CALLBACK FormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam));
      return 0;
    case WM_NOTIFY: {
      // The first item stays checked whatever is done to it.
      const auto* change = reinterpret_cast<const NMLISTVIEW*>(lParam);
      if (change->hdr.code == LVN_ITEMCHANGING && change->iItem == 0 && (change->uChanged & LVIF_STATE) &&
          (change->uNewState & LVIS_STATEIMAGEMASK) != 0 &&
          (change->uNewState & LVIS_STATEIMAGEMASK) != INDEXTOSTATEIMAGEMASK(2))
        return TRUE;
      return 0;
    }
    case WM_CLOSE:
      AskToExit();
      return 0;
    case kShowMessage:
      ShowWindow(window, SW_SHOW);
      return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  const std::string arguments = commandLine;
  const size_t exitAt = arguments.find("exit=");
  if (exitAt != std::string::npos) ExitProcess(std::atoi(arguments.c_str() + exitAt + 5));
  const bool hidden = arguments.find("hidden") != std::string::npos;

  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&controls);
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = FormProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kClassName;
  RegisterClassA(&windowClass);
  RECT rect{0, 0, 420, 345};
  const DWORD style = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  AdjustWindowRect(&rect, style, FALSE);
  gForm = CreateWindowExA(0, kClassName, "Driver Test Form", style, 40, 40, rect.right - rect.left,
                          rect.bottom - rect.top, nullptr, nullptr, instance, nullptr);
  CreateControls();
  if (!hidden) ShowWindow(gForm, SW_SHOW);
  SetFocus(Find("NameEdit"));

  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    // The form previews the keys, as the wizard does: Escape asks to quit.
    if (message.message == WM_KEYDOWN && message.wParam == VK_ESCAPE && GetAncestor(message.hwnd, GA_ROOT) == gForm) {
      AskToExit();
      continue;
    }
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return 0;
}
