#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include "wizard/MainForm.h"

#include <exception>
#include <stdexcept>

#include "base/FileSystemUnit.h"
#include "base/StringUnit.h"
#include "base/TextFormat.h"
#include "engine/DestinationCheck.h"
#include "engine/ExitCodes.h"
#include "engine/FailureUnit.h"
#include "engine/FinishActions.h"
#include "engine/FirstRunNames.h"
#include "engine/FirstRunUnit.h"
#include "engine/InstallLog.h"
#include "engine/InstallSequence.h"
#include "engine/NewVersionOffer.h"
#include "engine/ProgramEnd.h"
#include "engine/SetupQuestions.h"
#include "engine/SetupState.h"
#include "texts/TextTable.h"
#include "wizard/BrowseUnit.h"
#include "wizard/MainFormLayout.h"
#include "wizard/WindowUnit.h"

namespace {

constexpr char kFormClass[] = "TMainForm";
constexpr int kProgressSteps = 12;
constexpr UINT kShowWizardMessage = WM_USER + 1;
// At 96 DPI: the logo and the component list's column.
constexpr int kLogoSize = 32;
constexpr int kComponentColumnWidth = 400;
// WM_DPICHANGED, which the headers give only to programs built for Windows 7 and later.
constexpr UINT kDpiChangedMessage = 0x02E0;

TMainForm* theForm = nullptr;

}  // namespace

TMainForm* MainForm() { return theForm; }

TMainForm::TMainForm() : model_(kFormClass, "MainForm", ""), installSequence_(InstallSequence) {
  theForm = this;
}

TMainForm::~TMainForm() {
  if (theForm == this) theForm = nullptr;
  SetLoggedCurrentUI(nullptr);
  if (handle_ != nullptr) DestroyWindow(handle_);
  for (HFONT font : {font_, boldFont_, headingFont_})
    if (font != nullptr) DeleteObject(font);
  if (logoIcon_ != nullptr) DestroyIcon(logoIcon_);
  if (whiteBrush_ != nullptr) DeleteObject(whiteBrush_);
}

// ---- window and controls -------------------------------------------------------------------

bool TMainForm::CreateFormWindow(HINSTANCE instance) {
  instance_ = instance;
  WNDCLASSEXA formClass{};
  formClass.cbSize = sizeof formClass;
  formClass.lpfnWndProc = WindowProc;
  formClass.hInstance = instance;
  formClass.hIcon = LoadIconA(instance, "MAINICON");
  formClass.hIconSm = formClass.hIcon;
  formClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
  formClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  formClass.lpszClassName = kFormClass;
  RegisterClassExA(&formClass);

  WNDCLASSEXA panelClass{};
  panelClass.cbSize = sizeof panelClass;
  panelClass.lpfnWndProc = PanelProc;
  panelClass.hInstance = instance;
  panelClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
  panelClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  panelClass.lpszClassName = kPanelClass;
  RegisterClassExA(&panelClass);

  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
  const DWORD exStyle = WS_EX_CONTROLPARENT;
  // Sized for the system's DPI first; the screen the window lands on may have its own.
  dpi_ = SystemDpi();
  const RECT frame = FrameForClient(Scaled(kClientWidth), Scaled(kClientHeight), style, exStyle, dpi_);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  const int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  const int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  handle_ = CreateWindowExA(exStyle, kFormClass, "", style, x, y, width, height, nullptr, nullptr,
                            instance, this);
  if (handle_ == nullptr) return false;
  if (const int screenDpi = WindowDpi(handle_); screenDpi != dpi_) {
    dpi_ = screenDpi;
    SizeWindowToDpi(nullptr);
  }
  CreateFonts();
  whiteBrush_ = CreateSolidBrush(RGB(255, 255, 255));

  model_.OnControlChanged = [this](TControl& control) { ControlChanged(control); };
  model_.OnCaptionChanged = [this] { SetWindowTextA(handle_, model_.Caption().c_str()); };
  CreateControls();
  SetLoggedCurrentUI(this);
  return true;
}

// ---- DPI: the layout's 96-DPI positions and the fonts scaled to the screen's DPI --------------

int TMainForm::Scaled(int value) const { return ScaleToDpi(value, dpi_); }

HFONT TMainForm::FontFor(TFontKind kind) const {
  return kind == TFontKind::Bold ? boldFont_ : kind == TFontKind::Heading ? headingFont_ : font_;
}

// The dialog font, bold, and bold half as large again.
void TMainForm::CreateFonts() {
  LOGFONTA logFont = DialogFont(dpi_);
  font_ = CreateFontIndirectA(&logFont);
  logFont.lfWeight = FW_BOLD;
  boldFont_ = CreateFontIndirectA(&logFont);
  logFont.lfHeight = logFont.lfHeight * 3 / 2;
  headingFont_ = CreateFontIndirectA(&logFont);
}

void TMainForm::PlaceControl(HWND window, const TLayoutRow& row) {
  MoveWindow(window, Scaled(row.X), Scaled(row.Y), Scaled(row.Width), Scaled(row.Height), FALSE);
  SendMessageA(window, WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(row.Font)), FALSE);
}

// The logo and the component list's column follow the DPI too.
void TMainForm::ScaleImages() {
  const HICON logo = static_cast<HICON>(LoadImageA(instance_, "MAINICON", IMAGE_ICON, Scaled(kLogoSize), Scaled(kLogoSize), 0));
  SendMessageA(ControlHandle("LogoImage"), STM_SETICON, reinterpret_cast<WPARAM>(logo), 0);
  if (logoIcon_ != nullptr) DestroyIcon(logoIcon_);
  logoIcon_ = logo;
  ListView_SetColumnWidth(ControlHandle("ComponentList"), 0, Scaled(kComponentColumnWidth));
}

// Keeps the window's centre, or takes the place the system suggests.
void TMainForm::SizeWindowToDpi(const RECT* suggested) {
  const LONG style = GetWindowLongA(handle_, GWL_STYLE);
  const LONG exStyle = GetWindowLongA(handle_, GWL_EXSTYLE);
  const RECT frame = FrameForClient(Scaled(kClientWidth), Scaled(kClientHeight), static_cast<DWORD>(style),
                                    static_cast<DWORD>(exStyle), dpi_);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  RECT now{};
  GetWindowRect(handle_, &now);
  const int x = suggested != nullptr ? suggested->left : (now.left + now.right - width) / 2;
  const int y = suggested != nullptr ? suggested->top : (now.top + now.bottom - height) / 2;
  SetWindowPos(handle_, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

// The window moved to a screen of another DPI (or that screen's scale changed).
void TMainForm::ApplyDpi(int dpi, const RECT* suggested) {
  if (dpi <= 0 || dpi == dpi_) return;
  dpi_ = dpi;
  const HFONT previous[] = {font_, boldFont_, headingFont_};
  CreateFonts();
  for (const TLayoutRow& row : MainFormLayout()) PlaceControl(ControlHandle(row.Name), row);
  for (HFONT font : previous) DeleteObject(font);
  ScaleImages();
  SizeWindowToDpi(suggested);
  InvalidateRect(handle_, nullptr, TRUE);
  InstallLog("Window scaled to " + std::to_string(dpi) + " DPI");
}

HWND TMainForm::MakeControl(TControl& control, const TLayoutRow& row, HWND parent) {
  const int id = nextId_++;
  HWND window = CreateWindowExA(row.ExStyle, row.WindowClass, control.Caption.c_str(),
                                WS_CHILD | row.Style, Scaled(row.X), Scaled(row.Y), Scaled(row.Width),
                                Scaled(row.Height), parent,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
  if (window == nullptr) throw std::runtime_error("control not created: " + control.Name);
  SetControlName(window, control.Name);
  SendMessageA(window, WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(row.Font)), FALSE);
  // Password fields mask with "*"; a themed edit would use a bullet otherwise.
  if ((row.Style & ES_PASSWORD) != 0 && lstrcmpiA(row.WindowClass, "EDIT") == 0) {
    SendMessageA(window, EM_SETPASSWORDCHAR, '*', 0);
  }
  control.Handle = window;
  controlsById_[id] = &control;
  return window;
}

void TMainForm::CreateControls() {
  for (const TLayoutRow& row : MainFormLayout()) {
    TControl& control = model_.Add(row.Name, row.ClassWord, row.Text, row.Tag);
    control.CarriesData = (row.Options & kCarriesData) != 0;
    HWND parent = row.Parent != nullptr ? ControlHandle(row.Parent) : handle_;
    HWND window = MakeControl(control, row, parent);
    if ((row.Options & kChecked) != 0) SendMessageA(window, BM_SETCHECK, BST_CHECKED, 0);
  }
  topPanel_ = ControlHandle("TopPanel");
  SetWindowLongPtrA(topPanel_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(whiteBrush_));
  SendMessageA(ControlHandle("LicenseMemo"), EM_LIMITTEXT, 0, 0);
  HWND progress = ControlHandle("ProgressBar");
  SendMessageA(progress, PBM_SETRANGE, 0, MAKELPARAM(0, kProgressSteps));
  SendMessageA(progress, PBM_SETSTEP, 1, 0);
  FillComponentList();
  ScaleImages();
}

void TMainForm::FillComponentList() {
  TControl& list = Control("ComponentList");
  list.Items.clear();
  for (const TComponentRow& component : kComponents) list.Items.push_back(component.ListText);
  HWND window = static_cast<HWND>(list.Handle);
  ListView_SetExtendedListViewStyle(window, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
  LVCOLUMNA column{};
  column.mask = LVCF_WIDTH;
  column.cx = Scaled(kComponentColumnWidth);
  SendMessageA(window, LVM_INSERTCOLUMNA, 0, reinterpret_cast<LPARAM>(&column));
  for (std::size_t i = 0; i < list.Items.size(); ++i) {
    LVITEMA item{};
    item.mask = LVIF_TEXT;
    item.iItem = static_cast<int>(i);
    item.pszText = const_cast<char*>(list.Items[i].c_str());
    SendMessageA(window, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
  }
  // Item 0 stays checked and the driver's private message is answered here.
  SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  listDefaultProc_ = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ComponentListProc)));
}

void TMainForm::ControlChanged(TControl& control) {
  HWND window = static_cast<HWND>(control.Handle);
  if (window == nullptr) return;
  if (!control.Hint.empty()) ShowHint(window, control.Hint);
  if (control.ClassWord == "tchecklistbox") {
    for (std::size_t i = 0; i < control.Items.size(); ++i) {
      LVITEMA item{};
      item.iSubItem = 0;
      item.pszText = const_cast<char*>(control.Items[i].c_str());
      SendMessageA(window, LVM_SETITEMTEXTA, i, reinterpret_cast<LPARAM>(&item));
    }
    return;
  }
  SetWindowTextA(window, control.Caption.c_str());
}

// A hint from a language file shows as the control's tooltip.
void TMainForm::ShowHint(HWND window, const std::string& hint) {
  if (tooltip_ == nullptr) {
    tooltip_ = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, handle_,
                               nullptr, instance_, nullptr);
    if (tooltip_ == nullptr) return;
  }
  TOOLINFOA tool{};
  tool.cbSize = sizeof tool;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = GetParent(window);
  tool.uId = reinterpret_cast<UINT_PTR>(window);
  tool.lpszText = const_cast<char*>(hint.c_str());
  SendMessageA(tooltip_, TTM_DELTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
  SendMessageA(tooltip_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
}

TControl& TMainForm::Control(const std::string& name) {
  TControl* control = model_.FindComponent(name);
  if (control == nullptr) throw std::logic_error("no control " + name);
  return *control;
}

HWND TMainForm::ControlHandle(const std::string& name) {
  return static_cast<HWND>(Control(name).Handle);
}

std::string TMainForm::ControlText(const std::string& name) {
  return WindowText(ControlHandle(name));
}

bool TMainForm::IsChecked(const std::string& name) {
  return SendMessageA(ControlHandle(name), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void TMainForm::SetChecked(const std::string& name, bool checked) {
  SendMessageA(ControlHandle(name), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool TMainForm::ComponentChecked(int item) {
  return ListView_GetCheckState(ControlHandle("ComponentList"), item) != 0;
}

void TMainForm::SetComponentChecked(int item, bool checked) {
  ListView_SetCheckState(ControlHandle("ComponentList"), item, checked ? TRUE : FALSE);
}

void TMainForm::SetButton(const std::string& name, const std::string* caption, TSwitch enabled,
                          TSwitch shown) {
  if (caption != nullptr) Control(name).SetCaption(*caption);
  HWND button = ControlHandle(name);
  if (enabled != TSwitch::Keep) EnableWindow(button, enabled == TSwitch::On ? TRUE : FALSE);
  if (shown != TSwitch::Keep) ShowWindow(button, shown == TSwitch::On ? SW_SHOW : SW_HIDE);
}

bool TMainForm::IsWizardWindow(HWND window) const {
  return window != nullptr && (window == handle_ || IsChild(handle_, window));
}

// ---- message handling ----------------------------------------------------------------------

LRESULT CALLBACK TMainForm::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* form = reinterpret_cast<TMainForm*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (form == nullptr || form->handle_ == nullptr) {
    return DefWindowProcA(window, message, wParam, lParam);
  }
  // An error that escapes a handler is dropped without a message; the wizard stays on its page.
  try {
    return form->HandleMessage(message, wParam, lParam);
  } catch (const std::exception& error) {
    InstallLog(std::string("Handler error discarded: ") + error.what());
  } catch (...) {
    InstallLog("Handler error discarded");
  }
  return 0;
}

// Panels pass their children's notifications up to the wizard window, which owns all
// handlers; a panel with a brush in its user data paints itself with it.
LRESULT CALLBACK TMainForm::PanelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
      return SendMessageA(GetAncestor(window, GA_ROOT), message, wParam, lParam);
    case WM_ERASEBKGND: {
      auto brush = reinterpret_cast<HBRUSH>(GetWindowLongPtrA(window, GWLP_USERDATA));
      if (brush == nullptr) break;
      RECT area;
      GetClientRect(window, &area);
      FillRect(reinterpret_cast<HDC>(wParam), &area, brush);
      return 1;
    }
    default:
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK TMainForm::ComponentListProc(HWND window, UINT message, WPARAM wParam,
                                              LPARAM lParam) {
  auto* form = reinterpret_cast<TMainForm*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (message == kComponentCheckMessage && form != nullptr) {
    const int count = static_cast<int>(SendMessageA(window, LVM_GETITEMCOUNT, 0, 0));
    const int item = static_cast<int>(wParam);
    if (item < 0 || item >= count) return -1;
    if (lParam == 0 || lParam == 1) form->SetComponentChecked(item, lParam == 1);
    return form->ComponentChecked(item) ? 1 : 0;
  }
  return CallWindowProcA(form != nullptr ? form->listDefaultProc_ : DefWindowProcA, window, message,
                         wParam, lParam);
}

LRESULT TMainForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      HandleCommand(LOWORD(wParam), HIWORD(wParam));
      return 0;
    case WM_NOTIFY:
      return HandleNotify(reinterpret_cast<NMHDR*>(lParam));
    case WM_CTLCOLORSTATIC: {
      HWND control = reinterpret_cast<HWND>(lParam);
      if (GetParent(control) == topPanel_) {
        SetBkColor(reinterpret_cast<HDC>(wParam), RGB(255, 255, 255));
        return reinterpret_cast<LRESULT>(whiteBrush_);
      }
      break;
    }
    case WM_CLOSE:
      // Close box, Alt+F4 and a WM_CLOSE from outside all ask first; the window never
      // closes by itself. While a modal box or the folder chooser is in front (the window
      // is disabled) a close from outside waits for the person to answer that first.
      if (IsWindowEnabled(handle_)) CloseButtonClick();
      return 0;
    case WM_KEYDOWN:
      if (wParam == VK_ESCAPE) {
        CloseButtonClick();
        return 0;
      }
      break;
    case WM_CHAR:
      if (wParam == VK_ESCAPE) return 0;
      break;
    case WM_SETCURSOR:
      if (busy_) {
        SetCursor(LoadCursor(nullptr, IDC_WAIT));
        return TRUE;
      }
      break;
    case kShowWizardMessage:
      ShowWindow(handle_, SW_SHOW);
      return 0;
    case kDpiChangedMessage:
      ApplyDpi(HIWORD(wParam), reinterpret_cast<const RECT*>(lParam));
      return 0;
    case kTextSizeMessage: {
      // Only the wizard's own controls are measured for whoever asks.
      const auto control = reinterpret_cast<HWND>(wParam);
      if (control == handle_ || !IsWizardWindow(control)) return 0;
      const SIZE needed = NeededTextSize(control);
      return MAKELRESULT(needed.cx, needed.cy);
    }
    default:
      break;
  }
  return DefWindowProcA(handle_, message, wParam, lParam);
}

void TMainForm::HandleCommand(WORD id, WORD code) {
  if (id == IDCANCEL) {  // Escape through the dialog navigation
    CloseButtonClick();
    return;
  }
  if (id == IDOK) {  // Enter outside a button: the Next button, when a person could click it
    HWND next = ControlHandle("NextButton");
    if (IsWindowVisible(next) && IsWindowEnabled(next)) BackButtonClick(1);
    return;
  }
  const auto found = controlsById_.find(id);
  if (found == controlsById_.end()) return;
  TControl& control = *found->second;
  if (control.ClassWord == "tedit") {
    if (code == EN_CHANGE) HostNameEditChange(&control);
    return;
  }
  if (code != BN_CLICKED) return;
  InstallLog("Click: " + control.Name);
  if (control.Name == "BackButton" || control.Name == "NextButton") {
    BackButtonClick(control.Tag);
  } else if (control.Name == "CloseButton") {
    CloseButtonClick();
  } else if (control.Name == "BrowseButton") {
    BrowseButtonClick();
  } else if (control.Name == "AdvancedMode" || control.Name == "BasicMode") {
    AdvancedModeClick();
  }
}

LRESULT TMainForm::HandleNotify(NMHDR* header) {
  if (header == nullptr || header->hwndFrom != ControlHandle("ComponentList")) return 0;
  if (header->code == LVN_ITEMCHANGING) {
    // Item 0 (the mail services) is always installed: refuse to uncheck it.
    const auto* change = reinterpret_cast<NMLISTVIEW*>(header);
    if (change->iItem == 0 && (change->uChanged & LVIF_STATE) != 0 &&
        (change->uNewState & LVIS_STATEIMAGEMASK) == INDEXTOSTATEIMAGEMASK(1) &&
        (change->uOldState & LVIS_STATEIMAGEMASK) == INDEXTOSTATEIMAGEMASK(2)) {
      return TRUE;
    }
    return FALSE;
  }
  if (header->code == NM_CUSTOMDRAW) {
    // Item 0 is drawn grey, as a disabled item.
    auto* draw = reinterpret_cast<NMLVCUSTOMDRAW*>(header);
    if (draw->nmcd.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
    if (draw->nmcd.dwDrawStage == CDDS_ITEMPREPAINT) {
      if (draw->nmcd.dwItemSpec == 0) draw->clrText = GetSysColor(COLOR_GRAYTEXT);
      return CDRF_DODEFAULT;
    }
  }
  return 0;
}

bool TMainForm::PreviewMessage(MSG& message) {
  if (!IsWizardWindow(message.hwnd)) return false;
  const bool escape = (message.message == WM_KEYDOWN && message.wParam == VK_ESCAPE) ||
                      (message.message == WM_CHAR && message.wParam == VK_ESCAPE);
  if (escape) {
    // The window previews all keys: Escape never reaches a control.
    if (message.message == WM_KEYDOWN) {
      try {
        CloseButtonClick();
      } catch (...) {
      }
    }
    return true;
  }
  return IsDialogMessageA(handle_, &message) != FALSE;
}

// ---- engine UI -----------------------------------------------------------------------------

void TMainForm::SetStatus(const std::string& text) {
  ProcessMessages();
  // Once Cancel is confirmed the page says that the setup is stopping until it has.
  Control("InstallPanelText").SetCaption(cancelRequested_ ? cSetupStopping : text);
  UpdateWindow(ControlHandle("InstallPanelText"));
}

void TMainForm::StepProgress() { SendMessageA(ControlHandle("ProgressBar"), PBM_STEPIT, 0, 0); }

void TMainForm::ProcessMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    if (PreviewMessage(message)) continue;
    if (browse_ != nullptr && browse_->PreviewMessage(message)) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

MessageAnswer TMainForm::ShowMessage(const TMessageBox& box) { return ShowTaskModalBox(handle_, box); }

// ---- start-up ------------------------------------------------------------------------------

namespace {

// Edit controls want CR LF; License.txt may come with bare LF.
std::string WithCrLf(const std::string& text) {
  std::string result;
  result.reserve(text.size() + text.size() / 32);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) result += '\r';
    result += text[i];
  }
  return result;
}

}  // namespace

void TMainForm::ShowStartup(const TStartupFacts& facts) {
  // Captions of the window, now that the language is known.
  model_.SetCaption(FormatText(cPSetup, {cName, ProductVersion}).substr(0, 255));
  TControl& about = Control("AboutLabel");
  if (about.Caption.find("%s") != std::string::npos) about.SetCaption(FormatText(about.Caption, {ProductVersion}));
  LoadLicence();
  if (facts.EarlierInstallation) Control("SetupTypeLabel").SetCaption(cUpdateSetup);
  // The wizard opens on its first page with the folder offered and the advanced console.
  Control("PathEdit").SetCaption(facts.OfferedFolder);
  SetPageIndex(0);
  ShowPage();
  SetChecked("AdvancedMode", true);
  SetChecked("BasicMode", false);
  AdvancedModeClick();
}

void TMainForm::LoadLicence() {
  const std::string licensePath = SetupFolder() + "License.txt";
  if (!FileExists(licensePath)) return;
  try {
    Control("LicenseMemo").SetCaption(WithCrLf(ReadWholeFile(licensePath, false)));
  } catch (...) {
    Control("LicenseMemo").SetCaption("");
  }
}

// ---- pages ---------------------------------------------------------------------------------

// clang-format off
const TMainForm::TPageActions TMainForm::kPageActions[kPageCount] = {
  // shown,                           entered,                              leaving with Next
  {nullptr,                           nullptr,                              nullptr},                             // welcome
  {nullptr,                           &TMainForm::CheckNewVersionOnEntry,   nullptr},                             // licence
  {nullptr,                           nullptr,                              nullptr},                             // interface mode
  {nullptr,                           &TMainForm::LoadComponentChecks,      &TMainForm::StoreComponentChecks},    // components
  {nullptr,                           nullptr,                              &TMainForm::AcceptDestination},       // destination
  {nullptr,                           &TMainForm::RunInstallSequence,       nullptr},                             // installing
  {&TMainForm::PrepareFinishPage,     nullptr,                              nullptr},                             // finished
  {&TMainForm::PrepareFirstRunPage,   &TMainForm::FinishUnlessFirstRun,     &TMainForm::RunFirstRunAndFinish},    // first run
};
// clang-format on

void TMainForm::ShowPage() {
  if (pageIndex_ >= kPageCount) return;
  for (int i = 0; i < kPageCount; ++i) {
    ShowWindow(ControlHandle(kPagePanels[i]), i == pageIndex_ ? SW_SHOW : SW_HIDE);
  }
  InstallLog("Page " + std::to_string(pageIndex_) + ": " + kPagePanels[pageIndex_]);
  const TPageRow& page = kPageRows[pageIndex_];
  Control("PageCaption").SetCaption(PageCaptionText(page));
  const TPageButtons& buttons = page.Buttons;
  SetButton("BackButton", buttons.Back, buttons.BackEnabled, buttons.BackShown);
  SetButton("NextButton", buttons.Next, buttons.NextEnabled, buttons.NextShown);
  SetButton("CloseButton", buttons.Cancel, TSwitch::Keep, TSwitch::Keep);
  if (buttons.NextFocus == TFocus::Always ||
      (buttons.NextFocus == TFocus::WhenShown && IsWindowVisible(handle_))) {
    SetFocus(ControlHandle("NextButton"));
  }
  if (const auto shown = kPageActions[pageIndex_].Shown; shown != nullptr) (this->*shown)();
}

std::string TMainForm::PageCaptionText(const TPageRow& page) {
  switch (page.CaptionFrom) {
    case TPageCaption::Text: return *page.Caption;
    case TPageCaption::WelcomeHeading: return Control("AboutLabel").Caption;
    case TPageCaption::ProductInstalling: return cName + " " + cInstallingFiles;
  }
  return std::string();
}

void TMainForm::BackButtonClick(int senderTag) {
  if (senderTag == 1) {
    GoForward();
  } else {
    GoBack();
  }
}

void TMainForm::GoForward() {
  if (pageIndex_ >= kPageCount) return;
  if (const auto leaving = kPageActions[pageIndex_].Leaving; leaving != nullptr && !(this->*leaving)()) return;
  EnterPage(pageIndex_ + 1);
}

void TMainForm::GoBack() {
  if (pageIndex_ == 0 || pageIndex_ >= kPageCount) return;
  EnterPage(pageIndex_ - 1);
}

void TMainForm::EnterPage(int page) {
  if (page < 0 || page >= kPageCount) return;
  pageIndex_ = static_cast<unsigned char>(page);
  ShowPage();
  if (const auto entered = kPageActions[pageIndex_].Entered; entered != nullptr) (this->*entered)();
}

void TMainForm::PrepareFinishPage() {
  if (FirstRunBelongsToThisRun(SetupState())) return;
  // The first run was configured at the first installation.
  SetChecked("ShowTutorial", false);
  SetChecked("RunTutorial", false);
  EnableWindow(ControlHandle("RunTutorial"), FALSE);
}

// Reached from the finish page: without "Run Installation Wizard" the finish actions run now
// and end the program; otherwise the first-run page stays and runs them at its end.
void TMainForm::FinishUnlessFirstRun() {
  const TFinishChoices choices = FinishChoices();
  if (!choices.RunTutorial) FinishActions(choices, handle_);
}

void TMainForm::PrepareFirstRunPage() {
  Control("HostNameMemo").SetCaption(cWizardHostName);
  Control("DomainMemo").SetCaption(cWizardDomain);
  Control("AdminMemo").SetCaption(cWizardAdmin);
  HostNameEditChange(nullptr);
  HWND host = ControlHandle("HostNameEdit");
  SetFocus(host);
  SendMessageA(host, EM_SETSEL, 0, -1);
}

bool TMainForm::RunFirstRunAndFinish() {
  const std::string password = ControlText("PassEdit");
  AddLogSecret(password);
  TSetupState& state = SetupState();
  state.FirstRunHostName = TrimText(ControlText("HostNameEdit"));
  state.FirstRunDomain = TrimText(ControlText("DomainEdit"));
  state.FirstRunAdministrator = TrimText(ControlText("UserEdit"));
  RunOrEnd("The first-run configuration", [&] {
    ApplyTutorialSettings(state.FirstRunHostName, state.FirstRunDomain, state.FirstRunAdministrator, password);
  });
  FinishActions(FinishChoices(), handle_);
}

bool TMainForm::AcceptDestination() { return DestinationAccepted(ControlText("PathEdit")); }

// Only a full path is installed into (a relative one would follow the current folder), and only
// a place that others cannot change or have prepared.
bool TMainForm::DestinationAccepted(const std::string& folder) {
  const TFolderVerdict verdict = JudgeFolder(folder, MachineDestinationFacts());
  if (verdict) return true;
  if (verdict.Kind == TFolderVerdictKind::NotAbsolute) {
    Notify(TQuestion::FolderNotAbsolute, {folder});
  } else {
    Notify(TQuestion::FolderRefused, {folder, verdict.Problem});
  }
  return false;
}

TFinishChoices TMainForm::FinishChoices() {
  TFinishChoices choices;
  choices.RunAntivirus = IsChecked("RunAntivirus");
  choices.ViewReadme = IsChecked("ViewReadme");
  choices.ViewReleaseNotes = IsChecked("ViewReleaseNotes");
  choices.ShowTutorial = IsChecked("ShowTutorial");
  choices.RunConfig = IsChecked("RunConfig");
  choices.RunTutorial = IsChecked("RunTutorial");
  return choices;
}

void TMainForm::CheckNewVersionOnEntry() {
  if (!IsChecked("CheckLatest")) return;  // nothing touches the network then
  busy_ = true;
  const TNewVersion latest = CheckForNewerVersion();
  busy_ = false;
  if (!OfferNewerVersion(latest)) return;
  ShellExecuteA(handle_, "open", latest.DownloadUrl.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  EndProgram(kExitSuccess);
}

void TMainForm::LoadComponentChecks() {
  const TComponentChecks checks = ComponentChecks(SetupState());
  for (int i = 0; i < kComponentCount; ++i) SetComponentChecked(i, checks[i]);
  ListView_SetItemState(ControlHandle("ComponentList"), 0, LVIS_SELECTED | LVIS_FOCUSED,
                        LVIS_SELECTED | LVIS_FOCUSED);
}

bool TMainForm::StoreComponentChecks() {
  TComponentChecks checks{};
  for (int i = 0; i < kComponentCount; ++i) checks[i] = ComponentChecked(i);
  ::StoreComponentChecks(checks, SetupState());
  return true;
}

void TMainForm::RunInstallSequence() {
  HWND back = ControlHandle("BackButton");
  HWND next = ControlHandle("NextButton");
  busy_ = true;
  SetCursor(LoadCursor(nullptr, IDC_WAIT));
  EnableWindow(next, FALSE);
  EnableWindow(back, FALSE);
  // What the install sequence reads from the pages.
  SetupState().ChosenFolder = ControlText("PathEdit");
  SetupState().AdvancedConsole = IsChecked("AdvancedMode");
  installRunning_ = true;
  RunOrEnd("The install sequence", installSequence_);
  installRunning_ = false;
  EnableWindow(next, TRUE);
  EnableWindow(back, TRUE);
  busy_ = false;
  SetCursor(LoadCursor(nullptr, IDC_ARROW));
  GoForward();
}

void TMainForm::CloseButtonClick() {
  // One question at a time (Escape and the close box together); none once Cancel was heard.
  if (cancelAsked_ || cancelRequested_) return;
  cancelAsked_ = true;
  const bool yes = AskYes(TQuestion::Cancel);
  cancelAsked_ = false;
  if (!yes) return;
  if (installRunning_) {
    // The install sequence stops at its next step, once it has put the servers back.
    InstallLog("Cancel confirmed during the installation");
    cancelRequested_ = true;
    // The page says so before any message is let through: whoever looks at it once the
    // question is gone reads that the setup is stopping.
    Control("InstallPanelText").SetCaption(cSetupStopping);
    EnableWindow(ControlHandle("CloseButton"), FALSE);
    SetStatus(cSetupStopping);
    return;
  }
  InstallLog("Cancelled");
  EndProgram(kExitSuccess);
}

void TMainForm::AdvancedModeClick() {
  const bool basic = IsChecked("BasicMode");
  Control("ConsoleMemo").SetCaption(basic ? cHintBasic : cHintAdvanced);
}

void TMainForm::HostNameEditChange(TControl* sender) {
  if (sender != nullptr && sender->Tag == 1) {
    SetWindowTextA(ControlHandle("ConfirmEdit"), ControlText("PassEdit").c_str());
  }
  if (sender != nullptr && sender->Tag == 2) {
    std::string user = ControlText("UserEdit");
    if (CutUserAtSign(user)) {
      HWND edit = ControlHandle("UserEdit");
      SetWindowTextA(edit, user.c_str());
      const auto end = static_cast<WPARAM>(user.size());
      SendMessageA(edit, EM_SETSEL, end, static_cast<LPARAM>(end));
    }
  }
  // A value the store would cut, or a name that would not stay inside it, keeps Finish
  // disabled, and the page says why (the check an unattended run applies too).
  const TFirstRunProblem problem = FirstRunValueProblem(ControlText("HostNameEdit"), ControlText("DomainEdit"),
                                                        ControlText("UserEdit"), ControlText("PassEdit"));
  Control("NameProblemLabel").SetCaption(problem.Text);
  const bool complete = TutorialFieldsComplete(ControlText("HostNameEdit"), ControlText("DomainEdit"),
                                               ControlText("UserEdit"), ControlText("PassEdit"),
                                               ControlText("ConfirmEdit"));
  EnableWindow(ControlHandle("NextButton"), complete && !problem ? TRUE : FALSE);
}

void TMainForm::BrowseButtonClick() {
  if (browse_ == nullptr) return;
  std::string folder;
  if (browse_->Execute(ControlText("PathEdit"), folder, handle_)) Control("PathEdit").SetCaption(folder);
}
