#include "wizard/WindowUnit.h"

#include <algorithm>
#include <vector>

namespace {
constexpr char kNameProperty[] = "ZarelName";
}  // namespace

void SetControlName(HWND window, const std::string& name) {
  const ATOM atom = GlobalAddAtomA(name.c_str());
  SetPropA(window, kNameProperty, reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(atom)));
}

std::string WindowText(HWND window) {
  const int length = GetWindowTextLengthA(window);
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  const int copied = GetWindowTextA(window, text.data(), length + 1);
  text.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
  return text;
}

namespace {

template <typename Function>
Function User32Entry(const char* name) {
  const HMODULE user32 = GetModuleHandleA("user32.dll");
  return user32 == nullptr ? nullptr
                           : reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(user32, name)));
}

using TGetDpiForSystem = UINT(WINAPI*)();
using TGetDpiForWindow = UINT(WINAPI*)(HWND);
using TAdjustForDpi = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
using TMetricForDpi = int(WINAPI*)(int, UINT);

int SystemMetric(int index, int dpi) {
  static const auto forDpi = User32Entry<TMetricForDpi>("GetSystemMetricsForDpi");
  return forDpi != nullptr ? forDpi(index, static_cast<UINT>(dpi)) : GetSystemMetrics(index);
}

// The text extent of each line in the control's font, on the control's own device context.
struct TTextMeasure {
  explicit TTextMeasure(HWND control) : window(control), dc(GetDC(control)) {
    const auto font = reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0));
    previous = SelectObject(dc, font != nullptr ? font : GetStockObject(DEFAULT_GUI_FONT));
    GetTextMetricsA(dc, &metrics);
  }
  ~TTextMeasure() {
    SelectObject(dc, previous);
    ReleaseDC(window, dc);
  }
  SIZE Line(const std::string& line, bool prefix) const {
    RECT area{0, 0, 0, 0};
    const UINT flags = DT_CALCRECT | DT_SINGLELINE | DT_EXPANDTABS | (prefix ? 0 : DT_NOPREFIX);
    DrawTextA(dc, line.empty() ? " " : line.c_str(), -1, &area, flags);
    return {area.right, area.bottom};
  }
  SIZE Wrapped(const std::string& text, int width, bool prefix) const {
    RECT area{0, 0, width, 0};
    const UINT flags = DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | (prefix ? 0 : DT_NOPREFIX);
    DrawTextA(dc, text.c_str(), -1, &area, flags);
    return {area.right, area.bottom};
  }
  HWND window;
  HDC dc;
  HGDIOBJ previous;
  TEXTMETRICA metrics{};
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t from = 0;
  for (;;) {
    const std::size_t end = text.find('\n', from);
    std::string line = text.substr(from, end == std::string::npos ? std::string::npos : end - from);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    if (end == std::string::npos) return lines;
    from = end + 1;
  }
}

bool IsClass(HWND window, const char* name) {
  char className[32] = {};
  GetClassNameA(window, className, sizeof className);
  return lstrcmpiA(className, name) == 0;
}

SIZE BorderOf(HWND window) {
  RECT outer{}, inner{};
  GetWindowRect(window, &outer);
  GetClientRect(window, &inner);
  return {(outer.right - outer.left) - inner.right, (outer.bottom - outer.top) - inner.bottom};
}

SIZE LabelSize(HWND label, const std::string& text, LONG style) {
  const LONG type = style & SS_TYPEMASK;
  if ((type != SS_LEFT && type != SS_CENTER && type != SS_RIGHT && type != SS_LEFTNOWORDWRAP) ||
      (style & SS_ELLIPSISMASK) != 0)
    return {0, 0};
  RECT client{};
  GetClientRect(label, &client);
  const TTextMeasure measure(label);
  const bool prefix = (style & SS_NOPREFIX) == 0;
  const SIZE textSize = type == SS_LEFTNOWORDWRAP ? measure.Line(text, prefix) : measure.Wrapped(text, client.right, prefix);
  const SIZE border = BorderOf(label);
  return {textSize.cx + border.cx, textSize.cy + border.cy};
}

SIZE ButtonSize(HWND button, const std::string& text, LONG style, int dpi) {
  const TTextMeasure measure(button);
  const SIZE line = measure.Line(text, true);
  const LONG type = style & BS_TYPEMASK;
  const int edge = SystemMetric(SM_CXEDGE, dpi);
  switch (type) {
    case BS_CHECKBOX: case BS_AUTOCHECKBOX: case BS_RADIOBUTTON: case BS_AUTORADIOBUTTON: case BS_3STATE:
    case BS_AUTO3STATE: {
      // The box, the gap the control leaves after it (about half a character) and the text.
      const int box = SystemMetric(SM_CXMENUCHECK, dpi);
      return {box + measure.metrics.tmAveCharWidth / 2 + line.cx + edge,
              std::max<LONG>(SystemMetric(SM_CYMENUCHECK, dpi), line.cy)};
    }
    case BS_GROUPBOX:
      return {line.cx + 4 * measure.metrics.tmAveCharWidth, line.cy};
    case BS_PUSHBUTTON: case BS_DEFPUSHBUTTON:
      return {line.cx + 2 * measure.metrics.tmAveCharWidth + 4 * edge, line.cy + 4 * edge};
    default:
      return {0, 0};
  }
}

// A read-only memo without a scroll bar: its own line breaks, no wrapping.
SIZE MemoSize(HWND memo, const std::string& text, LONG style) {
  if ((style & ES_READONLY) == 0 || (style & WS_VSCROLL) != 0) return {0, 0};
  const TTextMeasure measure(memo);
  const DWORD margins = static_cast<DWORD>(SendMessageA(memo, EM_GETMARGINS, 0, 0));
  LONG width = 0;
  const std::vector<std::string> lines = (style & ES_MULTILINE) != 0 ? Lines(text) : std::vector<std::string>{text};
  for (const std::string& line : lines) width = std::max(width, measure.Line(line, false).cx);
  const SIZE border = BorderOf(memo);
  return {width + LOWORD(margins) + HIWORD(margins) + border.cx,
          static_cast<LONG>(lines.size()) * measure.metrics.tmHeight + border.cy};
}

}  // namespace

LOGFONTA DialogFont(int dpi) {
  constexpr int kDialogFontPixels = 11;  // 8 points at 96 DPI
  LOGFONTA logFont{};
  GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof logFont, &logFont);
  logFont.lfHeight = -ScaleToDpi(kDialogFontPixels, dpi);
  logFont.lfWidth = 0;
  return logFont;
}

int SystemDpi() {
  static const auto forSystem = User32Entry<TGetDpiForSystem>("GetDpiForSystem");
  if (forSystem != nullptr) return static_cast<int>(forSystem());
  const HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : kDesignDpi;
}

int WindowDpi(HWND window) {
  static const auto forWindow = User32Entry<TGetDpiForWindow>("GetDpiForWindow");
  const int dpi = forWindow != nullptr && window != nullptr ? static_cast<int>(forWindow(window)) : 0;
  return dpi > 0 ? dpi : SystemDpi();
}

RECT FrameForClient(int clientWidth, int clientHeight, DWORD style, DWORD exStyle, int dpi) {
  static const auto adjustForDpi = User32Entry<TAdjustForDpi>("AdjustWindowRectExForDpi");
  RECT frame{0, 0, clientWidth, clientHeight};
  if (adjustForDpi == nullptr || !adjustForDpi(&frame, style, FALSE, exStyle, static_cast<UINT>(dpi)))
    AdjustWindowRectEx(&frame, style, FALSE, exStyle);
  return frame;
}

SIZE NeededTextSize(HWND control) {
  const std::string text = WindowText(control);
  if (text.empty() || !IsWindow(control)) return {0, 0};
  const LONG style = GetWindowLongA(control, GWL_STYLE);
  if (IsClass(control, "STATIC")) return LabelSize(control, text, style);
  if (IsClass(control, "BUTTON")) return ButtonSize(control, text, style, WindowDpi(control));
  if (IsClass(control, "EDIT")) return MemoSize(control, text, style);
  return {0, 0};
}

namespace {

UINT BoxFlags(MessageButtons buttons, MessageIcon icon) {
  UINT flags = MB_TASKMODAL;
  switch (buttons) {
    case MessageButtons::Ok: flags |= MB_OK; break;
    case MessageButtons::YesNo: flags |= MB_YESNO; break;
    case MessageButtons::YesNoDefaultNo: flags |= MB_YESNO | MB_DEFBUTTON2; break;
    case MessageButtons::YesNoCancel: flags |= MB_YESNOCANCEL; break;
    case MessageButtons::OkCancel: flags |= MB_OKCANCEL; break;
  }
  switch (icon) {
    case MessageIcon::None: break;
    case MessageIcon::Information: flags |= MB_ICONINFORMATION; break;
    case MessageIcon::Warning: flags |= MB_ICONWARNING; break;
    case MessageIcon::Error: flags |= MB_ICONERROR; break;
    case MessageIcon::Question: flags |= MB_ICONQUESTION; break;
  }
  return flags;
}

MessageAnswer AnswerOf(int result) {
  switch (result) {
    case IDYES: return MessageAnswer::Yes;
    case IDNO: return MessageAnswer::No;
    case IDCANCEL: return MessageAnswer::Cancel;
    default: return MessageAnswer::Ok;
  }
}

}  // namespace

MessageAnswer ShowTaskModalBox(HWND owner, const TMessageBox& box) {
  return AnswerOf(MessageBoxA(owner, box.Text.c_str(), box.Caption.c_str(), BoxFlags(box.Buttons, box.Icon)));
}
