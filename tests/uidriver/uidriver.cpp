// uidriver: the UI driver as a command-line program, so tests in any language can drive
// the setup's windows.
//
//   uidriver COMMAND ARG...      one command, its answer on standard output
//   uidriver serve               one command a line on standard input, one answer a line
//
// In serve mode the fields of a line are separated by TAB; "\t", "\n", "\r" and "\\" stand
// for those characters inside a field, and text is UTF-8. Every answer is one line of JSON:
// {"ok":true,"value":...} or {"ok":false,"error":"..."}. Window handles are written as
// "0x..." texts and accepted that way; where a command takes TOP, a window class name
// works too (the first visible window of that class, of the started program when there is
// one). `uidriver help` lists the commands.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/uidriver/UIDriver.h"

namespace {

using Args = std::vector<std::string>;
using namespace uidriver;

struct TCommandError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// ----- JSON output (ASCII only: everything else as \u escapes of the UTF-16 text) -----

std::string JsonString(const std::string& ansi) {
  std::wstring wide;
  if (!ansi.empty()) {
    const int length = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
    wide.resize(length);
    MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), wide.data(), length);
  }
  std::string json = "\"";
  for (wchar_t c : wide) {
    switch (c) {
      case L'"': json += "\\\""; break;
      case L'\\': json += "\\\\"; break;
      case L'\n': json += "\\n"; break;
      case L'\r': json += "\\r"; break;
      case L'\t': json += "\\t"; break;
      default:
        if (c < 0x20 || c > 0x7E) {
          char escape[8];
          std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
          json += escape;
        } else {
          json += static_cast<char>(c);
        }
    }
  }
  return json + "\"";
}

std::string JsonBool(bool value) { return value ? "true" : "false"; }

std::string HandleText(HWND window) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%lx", static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(window)));
  return text;
}

class TJsonObject {
 public:
  TJsonObject& Add(const std::string& key, const std::string& rawJson) {
    if (!body_.empty()) body_ += ',';
    body_.append(JsonString(key)).append(1, ':').append(rawJson);
    return *this;
  }
  std::string Text() const { return "{" + body_ + "}"; }

 private:
  std::string body_;
};

std::string JsonArray(const std::vector<std::string>& rawItems) {
  std::string json = "[";
  for (size_t i = 0; i < rawItems.size(); ++i) json += (i ? "," : "") + rawItems[i];
  return json + "]";
}

std::string JsonRect(const RECT& rect) {
  return TJsonObject()
      .Add("left", std::to_string(rect.left))
      .Add("top", std::to_string(rect.top))
      .Add("right", std::to_string(rect.right))
      .Add("bottom", std::to_string(rect.bottom))
      .Text();
}

// What a person does in the services list: change a start type, start or stop a service.
bool ChangeService(const std::string& name, const std::string& action) {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  if (manager == nullptr) throw TCommandError("no service manager");
  SC_HANDLE service = OpenServiceA(manager, name.c_str(), SERVICE_ALL_ACCESS);
  bool done = false;
  if (service != nullptr) {
    SERVICE_STATUS status{};
    if (action == "start")
      done = StartServiceA(service, 0, nullptr) != FALSE;
    else if (action == "stop")
      done = ControlService(service, SERVICE_CONTROL_STOP, &status) != FALSE;
    else if (action == "disabled" || action == "auto" || action == "demand")
      done = ChangeServiceConfigA(service, SERVICE_NO_CHANGE,
                                  action == "disabled" ? SERVICE_DISABLED
                                                       : action == "auto" ? SERVICE_AUTO_START : SERVICE_DEMAND_START,
                                  SERVICE_NO_CHANGE, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr) != FALSE;
    else
      throw TCommandError("unknown action " + action);
    CloseServiceHandle(service);
  }
  CloseServiceHandle(manager);
  return done;
}

// A service as a person sees it in the services list: state, start type, program path,
// display name; null when it does not exist.
std::string ServiceJson(const std::string& name) {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  if (manager == nullptr) throw TCommandError("no service manager");
  SC_HANDLE service = OpenServiceA(manager, name.c_str(), SERVICE_QUERY_STATUS | SERVICE_QUERY_CONFIG);
  if (service == nullptr) {
    CloseServiceHandle(manager);
    return "null";
  }
  SERVICE_STATUS status{};
  QueryServiceStatus(service, &status);
  DWORD needed = 0;
  QueryServiceConfigA(service, nullptr, 0, &needed);
  std::vector<BYTE> buffer(needed + 1);
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
  const bool configured = needed > 0 && QueryServiceConfigA(service, config, needed, &needed);
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
  TJsonObject object;
  object.Add("state", std::to_string(status.dwCurrentState));
  if (configured) {
    object.Add("startType", std::to_string(config->dwStartType))
        .Add("path", JsonString(config->lpBinaryPathName ? config->lpBinaryPathName : ""))
        .Add("displayName", JsonString(config->lpDisplayName ? config->lpDisplayName : ""));
  }
  return object.Text();
}

std::string JsonWindow(const TWindowInfo& info) {
  TJsonObject object;
  object.Add("hwnd", JsonString(HandleText(info.Handle)))
      .Add("name", JsonString(info.Name))
      .Add("class", JsonString(info.ClassName))
      .Add("text", JsonString(info.Text))
      .Add("shown", JsonString(info.Shown))
      .Add("visible", JsonBool(info.Visible))
      .Add("enabled", JsonBool(info.Enabled))
      .Add("pid", std::to_string(info.ProcessId))
      .Add("parent", JsonString(HandleText(GetAncestor(info.Handle, GA_PARENT))))
      .Add("rect", JsonRect(info.Rect))
      .Add("client", TJsonObject()
                         .Add("width", std::to_string(info.Client.cx))
                         .Add("height", std::to_string(info.Client.cy))
                         .Text())
      .Add("style", std::to_string(static_cast<unsigned long>(info.Style)));
  if (info.Checked >= 0) object.Add("checked", std::to_string(info.Checked));
  return object.Text();
}

// The program file of a process, empty when it cannot be asked.
std::string ProgramOf(DWORD pid) {
  // Looked up: the headers offer it only for a newer target than ours.
  using TQueryName = BOOL(WINAPI*)(HANDLE, DWORD, LPSTR, PDWORD);
  static const auto query = reinterpret_cast<TQueryName>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "QueryFullProcessImageNameA")));
  constexpr DWORD kQueryLimitedInformation = 0x1000;
  HANDLE process = query != nullptr ? OpenProcess(kQueryLimitedInformation, FALSE, pid) : nullptr;
  if (process == nullptr) return {};
  char path[MAX_PATH * 2] = {};
  DWORD size = sizeof path;
  const bool found = query(process, 0, path, &size) != FALSE;
  CloseHandle(process);
  return found ? std::string(path, size) : std::string();
}

bool EndsWithNoCase(const std::string& text, const std::string& end) {
  if (end.size() > text.size()) return false;
  return lstrcmpiA(text.substr(text.size() - end.size()).c_str(), end.c_str()) == 0;
}

std::string JsonBox(HWND box, const TMessageBoxInfo& info) {
  std::vector<std::string> buttons;
  for (const auto& [id, text] : info.Buttons)
    buttons.push_back(TJsonObject().Add("id", std::to_string(id)).Add("text", JsonString(text)).Text());
  return TJsonObject()
      .Add("hwnd", JsonString(HandleText(box)))
      .Add("caption", JsonString(info.Caption))
      .Add("text", JsonString(info.Text))
      .Add("buttons", JsonArray(buttons))
      .Text();
}

// ----- Argument parsing -----

TProcess gProcess;
bool gProcessStarted = false;

DWORD ProcessFilter() { return gProcessStarted ? gProcess.Id() : 0; }

unsigned long Number(const std::string& text, const char* what) {
  char* end = nullptr;
  const unsigned long value = std::strtoul(text.c_str(), &end, 0);
  if (text.empty() || *end != '\0') throw TCommandError(std::string("not a number for ") + what + ": " + text);
  return value;
}

const std::string& Arg(const Args& args, size_t index, const char* what) {
  if (index >= args.size()) throw TCommandError(std::string("missing argument: ") + what);
  return args[index];
}

DWORD Timeout(const Args& args, size_t index, DWORD fallback) {
  return index < args.size() && !args[index].empty() ? Number(args[index], "time-out") : fallback;
}

bool LooksLikeHandle(const std::string& text) {
  return !text.empty() && (text.rfind("0x", 0) == 0 || std::isdigit(static_cast<unsigned char>(text[0])));
}

HWND Window(const std::string& text) {
  if (LooksLikeHandle(text)) {
    HWND window = reinterpret_cast<HWND>(static_cast<UINT_PTR>(Number(text, "window")));
    if (!IsWindow(window)) throw TCommandError("no such window: " + text);
    return window;
  }
  const auto windows = TopWindows(text, ProcessFilter(), true);
  if (windows.empty()) throw TCommandError("no visible window of class " + text);
  return windows.front();
}

HWND Control(const Args& args, size_t topIndex) {
  const HWND top = Window(Arg(args, topIndex, "window"));
  const std::string& name = Arg(args, topIndex + 1, "control name");
  HWND control = FindControl(top, name);
  if (control == nullptr) throw TCommandError("no control named " + name);
  return control;
}

// The box named by a handle, or the first box of that caption (of the started program).
HWND Box(const std::string& text) {
  if (LooksLikeHandle(text)) return Window(text);
  const auto boxes = MessageBoxes(ProcessFilter(), text);
  if (boxes.empty()) throw TCommandError("no message box with caption " + text);
  return boxes.front();
}

// ----- Commands -----

struct TCommand {
  const char* usage;
  std::function<std::string(const Args&)> run;  // returns the JSON value
};

std::string Ok() { return "true"; }

// Files the hold command keeps open, by the path given.
std::map<std::string, HANDLE>& HeldFiles() {
  static std::map<std::string, HANDLE> files;
  return files;
}

const std::map<std::string, TCommand>& Commands() {
  static const std::map<std::string, TCommand> commands = {
      {"start", {"start EXE [ARG...]   start a program in its own folder; later class look-ups are limited to it",
                 [](const Args& a) {
                   std::string arguments;
                   for (size_t i = 2; i < a.size(); ++i) arguments += (i > 2 ? " " : "") + QuoteArgument(a[i]);
                   if (!gProcess.Start(Arg(a, 1, "program"), arguments))
                     throw TCommandError("cannot start " + a[1] + " (error " + std::to_string(GetLastError()) + ")");
                   gProcessStarted = true;
                   return std::to_string(gProcess.Id());
                 }}},
      {"start-line", {"start-line EXE COMMANDLINE   as start, with the arguments as one raw text",
                      [](const Args& a) {
                        if (!gProcess.Start(Arg(a, 1, "program"), a.size() > 2 ? a[2] : ""))
                          throw TCommandError("cannot start " + a[1] + " (error " + std::to_string(GetLastError()) + ")");
                        gProcessStarted = true;
                        return std::to_string(gProcess.Id());
                      }}},
      {"wait-exit", {"wait-exit [TIMEOUT_MS] [PID]   exit code of the started program (or of PID)",
                     [](const Args& a) {
                       const DWORD timeout = Timeout(a, 1, 10000);
                       if (a.size() > 2) {
                         HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, Number(a[2], "pid"));
                         if (process == nullptr) throw TCommandError("no such process: " + a[2]);
                         const bool ended = WaitForSingleObject(process, timeout) == WAIT_OBJECT_0;
                         DWORD code = 0;
                         GetExitCodeProcess(process, &code);
                         CloseHandle(process);
                         if (!ended) throw TCommandError("still running");
                         return std::to_string(code);
                       }
                       if (!gProcessStarted) throw TCommandError("no program was started");
                       const auto code = gProcess.WaitExit(timeout);
                       if (!code) throw TCommandError("still running");
                       return std::to_string(*code);
                     }}},
      {"running", {"running   whether the started program still runs",
                   [](const Args&) { return JsonBool(gProcessStarted && gProcess.Running()); }}},
      {"kill", {"kill   terminate the started program", [](const Args&) {
                  if (gProcessStarted) gProcess.Kill();
                  return Ok();
                }}},
      {"wait-window", {"wait-window CLASS [TIMEOUT_MS]   a visible top-level window of that class",
                       [](const Args& a) {
                         HWND window = WaitForTopWindow(Arg(a, 1, "class"), ProcessFilter(), Timeout(a, 2, 10000));
                         if (window == nullptr) throw TCommandError("no visible window of class " + a[1]);
                         return JsonString(HandleText(window));
                       }}},
      {"windows", {"windows [CLASS]   visible top-level windows (of the started program)",
                   [](const Args& a) {
                     std::vector<std::string> items;
                     std::vector<HWND> found;
                     for (HWND w : AllTopWindows()) {
                       DWORD pid = 0;
                       GetWindowThreadProcessId(w, &pid);
                       if ((ProcessFilter() == 0 || pid == ProcessFilter()) && IsWindowVisible(w)) found.push_back(w);
                     }
                     for (HWND w : found) {
                       const TWindowInfo info = Describe(w);
                       if (a.size() > 1 && info.ClassName != a[1]) continue;
                       items.push_back(JsonWindow(info));
                     }
                     return JsonArray(items);
                   }}},
      {"all-windows", {"all-windows [PROGRAM]   every top-level window, hidden ones too, with its process's program "
                       "(only those whose program file name ends in PROGRAM)",
                       [](const Args& a) {
                         std::vector<std::string> items;
                         for (HWND w : AllTopWindows()) {
                           const TWindowInfo info = Describe(w);
                           const std::string program = ProgramOf(info.ProcessId);
                           if (a.size() > 1 && !EndsWithNoCase(program, a[1])) continue;
                           TJsonObject object;
                           object.Add("hwnd", JsonString(HandleText(w)))
                               .Add("class", JsonString(info.ClassName))
                               .Add("text", JsonString(info.Text))
                               .Add("visible", JsonBool(info.Visible))
                               .Add("pid", std::to_string(info.ProcessId))
                               .Add("program", JsonString(program));
                           items.push_back(object.Text());
                         }
                         return JsonArray(items);
                       }}},
      {"controls", {"controls TOP   every named control of the window with its state",
                    [](const Args& a) {
                      std::vector<std::string> items;
                      for (const auto& info : NamedControls(Window(Arg(a, 1, "window")))) items.push_back(JsonWindow(info));
                      return JsonArray(items);
                    }}},
      {"state", {"state TOP NAME   one control's text, visibility, enabled and check state",
                 [](const Args& a) { return JsonWindow(Describe(Control(a, 1))); }}},
      {"describe", {"describe HWND   the same for any window",
                    [](const Args& a) { return JsonWindow(Describe(Window(Arg(a, 1, "window")))); }}},
      {"text", {"text TOP NAME   the control's text (WM_GETTEXT)",
                [](const Args& a) {
                  const auto text = ReadText(Control(a, 1));
                  if (!text) throw TCommandError("the window does not answer");
                  return JsonString(*text);
                }}},
      {"type", {"type TOP NAME TEXT   type the text character by character",
                [](const Args& a) {
                  if (!TypeText(Control(a, 1), Arg(a, 3, "text"))) throw TCommandError("typing failed");
                  return Ok();
                }}},
      {"clear", {"clear TOP NAME   select all and delete",
                 [](const Args& a) {
                   if (!ClearText(Control(a, 1))) throw TCommandError("clearing failed");
                   return Ok();
                 }}},
      {"settext", {"settext TOP NAME TEXT   replace the text at once (WM_SETTEXT)",
                   [](const Args& a) {
                     if (!SetText(Control(a, 1), Arg(a, 3, "text"))) throw TCommandError("setting the text failed");
                     return Ok();
                   }}},
      {"click", {"click TOP NAME   click a button without waiting for its handler",
                 [](const Args& a) {
                   const TClickResult result = Click(Control(a, 1));
                   if (result != TClickResult::Posted) throw TCommandError(std::string("cannot click: ") + ToString(result));
                   return Ok();
                 }}},
      {"key", {"key TOP NAME|- KEY   press a key (escape, enter, tab, space, alt+f4, ...) in the control or the focus",
               [](const Args& a) {
                 const HWND top = Window(Arg(a, 1, "window"));
                 HWND target = nullptr;
                 if (Arg(a, 2, "control name") == "-") {
                   target = FocusOf(top);
                   if (target == nullptr || GetAncestor(target, GA_ROOT) != top) target = top;
                 } else {
                   target = Control(a, 1);
                 }
                 if (!PressKey(target, Arg(a, 3, "key"))) throw TCommandError("unknown key or window: " + a[3]);
                 return Ok();
               }}},
      {"focus", {"focus TOP   the focused control: its name, or its class when it has none",
                 [](const Args& a) {
                   const HWND focus = FocusOf(Window(Arg(a, 1, "window")));
                   if (focus == nullptr) return std::string("null");
                   const TWindowInfo info = Describe(focus);
                   return JsonString(info.Name.empty() ? info.ClassName : info.Name);
                 }}},
      {"sysclose", {"sysclose TOP   the close box (WM_SYSCOMMAND SC_CLOSE)",
                    [](const Args& a) {
                      if (!PostSysClose(Window(Arg(a, 1, "window")))) throw TCommandError("posting failed");
                      return Ok();
                    }}},
      {"close", {"close TOP   WM_CLOSE", [](const Args& a) {
                   if (!PostClose(Window(Arg(a, 1, "window")))) throw TCommandError("posting failed");
                   return Ok();
                 }}},
      {"items", {"items TOP NAME   items of a list box or list view: text, checked, selected",
                 [](const Args& a) {
                   const auto items = ListItems(Control(a, 1));
                   if (!items) throw TCommandError("not a readable list");
                   std::vector<std::string> json;
                   for (const auto& item : *items)
                     json.push_back(TJsonObject()
                                        .Add("text", JsonString(item.Text))
                                        .Add("checked", JsonBool(item.Checked))
                                        .Add("selected", JsonBool(item.Selected))
                                        .Text());
                   return JsonArray(json);
                 }}},
      {"select-item", {"select-item TOP NAME INDEX", [](const Args& a) {
                         if (!SelectItem(Control(a, 1), Number(Arg(a, 3, "index"), "index"))) throw TCommandError("selecting failed");
                         return Ok();
                       }}},
      {"toggle-item", {"toggle-item TOP NAME INDEX   select the item and press Space", [](const Args& a) {
                         if (!ToggleItem(Control(a, 1), Number(Arg(a, 3, "index"), "index"))) throw TCommandError("toggling failed");
                         return Ok();
                       }}},
      {"click-item", {"click-item TOP NAME INDEX   click a list view item's check box, or a list box item", [](const Args& a) {
                        const HWND list = Control(a, 1);
                        const int index = Number(Arg(a, 3, "index"), "index");
                        if (!ClickItemCheckBox(list, index) && !ClickListBoxItem(list, index, false))
                          throw TCommandError("clicking failed");
                        return Ok();
                      }}},
      {"double-click-item", {"double-click-item TOP NAME INDEX   double click a list box item", [](const Args& a) {
                               if (!ClickListBoxItem(Control(a, 1), Number(Arg(a, 3, "index"), "index"), true))
                                 throw TCommandError("clicking failed");
                               return Ok();
                             }}},
      {"wait-box", {"wait-box [CAPTION] [TIMEOUT_MS]   a message box of the started program (any caption when empty)",
                    [](const Args& a) {
                      const std::string caption = a.size() > 1 ? a[1] : "";
                      HWND box = WaitForMessageBox(ProcessFilter(), caption, Timeout(a, 2, 10000));
                      if (box == nullptr) throw TCommandError("no message box" + (caption.empty() ? "" : " with caption " + caption));
                      return JsonBox(box, ReadMessageBox(box).value_or(TMessageBoxInfo{}));
                    }}},
      {"boxes", {"boxes   the message boxes shown now", [](const Args&) {
                   std::vector<std::string> items;
                   for (HWND box : MessageBoxes(ProcessFilter(), ""))
                     if (auto info = ReadMessageBox(box)) items.push_back(JsonBox(box, *info));
                   return JsonArray(items);
                 }}},
      {"answer", {"answer BOX|CAPTION ANSWER   press yes, no, ok, cancel, ... (or a button id)",
                  [](const Args& a) {
                    const HWND box = Box(Arg(a, 1, "message box"));
                    const int id = AnswerId(Arg(a, 2, "answer"));
                    if (id < 0 || !AnswerMessageBox(box, id)) throw TCommandError("the box has no button " + a[2]);
                    return Ok();
                  }}},
      {"wait-gone", {"wait-gone HWND [TIMEOUT_MS]   until the window is destroyed or hidden",
                     [](const Args& a) {
                       const std::string& text = Arg(a, 1, "window");
                       HWND window = reinterpret_cast<HWND>(static_cast<UINT_PTR>(Number(text, "window")));
                       if (!WaitGone(window, Timeout(a, 2, 10000))) throw TCommandError("still shown");
                       return Ok();
                     }}},
      {"send", {"send HWND|TOP NAME MESSAGE WPARAM LPARAM   SendMessage with numbers; its result",
                [](const Args& a) {
                  size_t next = 2;
                  HWND window = nullptr;
                  if (a.size() > 5) {
                    window = Control(a, 1);
                    next = 3;
                  } else {
                    window = Window(Arg(a, 1, "window"));
                  }
                  DWORD_PTR result = 0;
                  if (!SendMessageTimeoutA(window, Number(Arg(a, next, "message"), "message"), Number(Arg(a, next + 1, "wParam"), "wParam"),
                                           static_cast<LPARAM>(Number(Arg(a, next + 2, "lParam"), "lParam")),
                                           SMTO_ABORTIFHUNG | SMTO_BLOCK, 5000, &result))
                    throw TCommandError("the window does not answer");
                  return std::to_string(static_cast<long>(result));
                }}},
      {"reg-query", {"reg-query KEY VALUE   a registry value as text (DWORD as decimal), null when missing",
                     [](const Args& a) {
                       const auto value = RegQuery(Arg(a, 1, "key"), a.size() > 2 ? a[2] : "");
                       return value ? JsonString(*value) : std::string("null");
                     }}},
      {"reg-set", {"reg-set KEY VALUE TEXT", [](const Args& a) {
                     if (!RegSetString(Arg(a, 1, "key"), Arg(a, 2, "value"), Arg(a, 3, "data"))) throw TCommandError("cannot write");
                     return Ok();
                   }}},
      {"reg-set-dword", {"reg-set-dword KEY VALUE NUMBER", [](const Args& a) {
                           if (!RegSetDword(Arg(a, 1, "key"), Arg(a, 2, "value"), Number(Arg(a, 3, "data"), "data")))
                             throw TCommandError("cannot write");
                           return Ok();
                         }}},
      {"reg-delete", {"reg-delete KEY [VALUE]   a value, or the key with everything below it",
                      [](const Args& a) {
                        const bool ok = a.size() > 2 ? RegDeleteValueAt(Arg(a, 1, "key"), a[2]) : RegRemoveKey(Arg(a, 1, "key"));
                        return JsonBool(ok);
                      }}},
      {"service", {"service NAME   state, start type, program path and display name; null when missing",
                   [](const Args& a) { return ServiceJson(Arg(a, 1, "name")); }}},
      {"service-change", {"service-change NAME start|stop|disabled|auto|demand   true when done",
                          [](const Args& a) { return JsonBool(ChangeService(Arg(a, 1, "name"), Arg(a, 2, "action"))); }}},
      {"hold", {"hold PATH   open the file without sharing and keep it open, as another program holding it does",
                [](const Args& a) {
                  const std::string& path = Arg(a, 1, "path");
                  if (HeldFiles().count(path) != 0) throw TCommandError("already held: " + path);
                  const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
                  if (file == INVALID_HANDLE_VALUE)
                    throw TCommandError("cannot open " + path + " (error " + std::to_string(GetLastError()) + ")");
                  HeldFiles()[path] = file;
                  return Ok();
                }}},
      {"release", {"release PATH   close a file that hold opened", [](const Args& a) {
                     const auto found = HeldFiles().find(Arg(a, 1, "path"));
                     if (found == HeldFiles().end()) throw TCommandError("not held: " + a[1]);
                     CloseHandle(found->second);
                     HeldFiles().erase(found);
                     return Ok();
                   }}},
      {"sleep", {"sleep MS", [](const Args& a) {
                   Sleep(Number(Arg(a, 1, "milliseconds"), "milliseconds"));
                   return Ok();
                 }}},
  };
  return commands;
}

std::string Run(const Args& args) {
  if (args.empty()) return TJsonObject().Add("ok", "false").Add("error", JsonString("empty command")).Text();
  const auto& commands = Commands();
  const auto found = commands.find(args[0]);
  if (found == commands.end())
    return TJsonObject().Add("ok", "false").Add("error", JsonString("unknown command: " + args[0])).Text();
  try {
    const std::string value = found->second.run(args);
    return TJsonObject().Add("ok", "true").Add("value", value).Text();
  } catch (const std::exception& error) {
    return TJsonObject().Add("ok", "false").Add("error", JsonString(error.what())).Text();
  }
}

std::string Utf8ToAnsi(const std::string& utf8) {
  if (utf8.empty()) return utf8;
  const int wideLength = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(wideLength, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), wideLength);
  const int length = WideCharToMultiByte(CP_ACP, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
  std::string ansi(length, '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.data(), wideLength, ansi.data(), length, nullptr, nullptr);
  return ansi;
}

Args SplitLine(const std::string& line) {
  Args fields(1);
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '\t') {
      fields.emplace_back();
    } else if (c == '\\' && i + 1 < line.size()) {
      const char next = line[++i];
      fields.back() += next == 't' ? '\t' : next == 'n' ? '\n' : next == 'r' ? '\r' : next;
    } else {
      fields.back() += c;
    }
  }
  for (auto& field : fields) field = Utf8ToAnsi(field);
  return fields;
}

int Serve() {
  std::string line;
  char chunk[4096];
  // Standard input is a pipe from the test: read it raw, a line at a time.
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  // Programs the driver starts inherit handles; never these.
  for (DWORD which : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE})
    SetHandleInformation(GetStdHandle(which), HANDLE_FLAG_INHERIT, 0);
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(input, chunk, sizeof chunk, &read, nullptr) || read == 0) return 0;
    line.append(chunk, read);
    size_t end;
    while ((end = line.find('\n')) != std::string::npos) {
      std::string command = line.substr(0, end);
      line.erase(0, end + 1);
      if (!command.empty() && command.back() == '\r') command.pop_back();
      const Args args = SplitLine(command);
      if (args.size() == 1 && args[0] == "quit") return 0;
      std::printf("%s\n", Run(args).c_str());
      std::fflush(stdout);
    }
  }
}

void Help() {
  std::printf("usage: uidriver COMMAND ARG...   or   uidriver serve\n");
  for (const auto& [name, command] : Commands()) std::printf("  %s\n", command.usage);
}

}  // namespace

int main(int argc, char** argv) {
  Args args(argv + 1, argv + argc);
  if (args.empty() || args[0] == "help" || args[0] == "--help") {
    Help();
    return args.empty() ? 2 : 0;
  }
  if (args[0] == "serve") return Serve();
  const std::string answer = Run(args);
  std::printf("%s\n", answer.c_str());
  return answer.rfind("{\"ok\":true", 0) == 0 ? 0 : 1;
}
