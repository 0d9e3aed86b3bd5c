// The UI driver against a window whose behaviour is known exactly (DriverTestForm), so a
// failing end-to-end test of the wizard points at the wizard, not at the driver.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/uidriver/UIDriver.h"

using namespace uidriver;

namespace {

std::string WinePath(std::string path) {
  for (char& c : path)
    if (c == '/') c = '\\';
  return path.size() > 1 && path[1] == ':' ? path : "Z:" + path;
}

const std::string kFormExe = WinePath(ZAREL_DRIVER_FORM_EXE);
const std::string kDriverExe = WinePath(ZAREL_UIDRIVER_EXE);
constexpr char kFormClass[] = "TDriverTestForm";
constexpr DWORD kWaitMs = 10000;
// Process ids are multiples of four and small: this one belongs to nobody.
constexpr DWORD kNoSuchProcess = 0xFFFFFFF0;

class UIDriverTest : public ::testing::Test {
 protected:
  TProcess form;
  HWND top = nullptr;

  void SetUp() override {
    ASSERT_TRUE(form.Start(kFormExe, ""));
    top = WaitForTopWindow(kFormClass, form.Id(), kWaitMs);
    ASSERT_NE(top, nullptr);
  }
  void TearDown() override { form.Kill(); }

  HWND Control(const char* name) {
    HWND control = FindControl(top, name);
    EXPECT_NE(control, nullptr) << name;
    return control;
  }
  std::string Text(const char* name) { return ReadText(Control(name)).value_or("<no answer>"); }
  bool Shows(const char* name) { return IsWindowVisible(Control(name)) != FALSE; }
  // Waits for a condition the target reaches on its own thread after a posted action.
  static bool Eventually(const std::function<bool()>& condition) { return WaitFor(condition, kWaitMs); }
};

TEST_F(UIDriverTest, FindsTheWindowOfTheProcessAndItsControlsByName) {
  EXPECT_EQ(TopWindows(kFormClass, form.Id()).size(), 1u);
  EXPECT_TRUE(TopWindows(kFormClass, kNoSuchProcess).empty()) << "another process's windows do not count";
  EXPECT_TRUE(TopWindows("TNoSuchForm").empty());
  EXPECT_EQ(FindControl(top, "NoSuchControl"), nullptr);
  EXPECT_EQ(FindControl(top, "nextbutton"), nullptr) << "names are exact";

  const HWND next = Control("NextButton");
  EXPECT_EQ(ControlName(next), "NextButton");
  EXPECT_EQ(Text("NextButton"), "&Next >");

  // The visible page is the visible panel; controls of a hidden panel are not visible.
  bool sawFirst = false, sawSecond = false, sawExit = false;
  for (const TWindowInfo& info : NamedControls(top)) {
    if (info.Name == "FirstPanel") sawFirst = info.Visible;
    if (info.Name == "SecondPanel") sawSecond = !info.Visible;
    if (info.Name == "ExitButton") sawExit = !info.Visible && info.Enabled && _stricmp(info.ClassName.c_str(), "button") == 0;
  }
  EXPECT_TRUE(sawFirst && sawSecond && sawExit);
}

TEST_F(UIDriverTest, TypingIsSeenByTheProgramAsAPersonsTyping) {
  const HWND edit = Control("NameEdit");
  ASSERT_TRUE(TypeText(edit, "user@example.com"));
  EXPECT_EQ(Text("NameEdit"), "user@example.com");
  // The form copies the edit's text on every EN_CHANGE: typing must send it.
  EXPECT_EQ(Text("EchoLabel"), "user@example.com");
  ASSERT_TRUE(ClearText(edit));
  EXPECT_EQ(Text("NameEdit"), "");
  EXPECT_EQ(Text("EchoLabel"), "");
  ASSERT_TRUE(SetText(edit, "set at once"));
  EXPECT_EQ(Text("EchoLabel"), "set at once");
  // A window's own creation text is all GetWindowText gives for another process's edit on
  // some systems; the driver reads what is shown.
  char creation[64] = {};
  GetWindowTextA(edit, creation, sizeof creation);
  SUCCEED() << "GetWindowText gave \"" << creation << "\"";
}

TEST_F(UIDriverTest, ClicksOnlyWhatAPersonCouldClick) {
  EXPECT_EQ(Click(Control("DisabledButton")), TClickResult::Disabled);
  EXPECT_EQ(Click(Control("BackButton")), TClickResult::Hidden);
  EXPECT_EQ(Click(Control("ExitButton")), TClickResult::Hidden) << "on a hidden panel";

  ASSERT_EQ(Click(Control("OptionCheck")), TClickResult::Posted);
  EXPECT_TRUE(Eventually([&] { return Describe(Control("OptionCheck")).Checked == BST_CHECKED; }));

  // While a task-modal box is shown, the form behind it cannot be clicked.
  ASSERT_EQ(Click(Control("AskButton")), TClickResult::Posted);
  const HWND box = WaitForMessageBox(form.Id(), "Question Box", kWaitMs);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(Click(Control("NextButton")), TClickResult::Blocked);
  ASSERT_TRUE(AnswerMessageBox(box, IDCANCEL));
  EXPECT_TRUE(WaitGone(box, kWaitMs));
  EXPECT_TRUE(Eventually([&] { return Text("AnswerLabel") == "cancel"; }));
  EXPECT_EQ(Click(Control("NextButton")), TClickResult::Posted);
  // The form switches the panels before the buttons: wait for the whole page change.
  EXPECT_TRUE(Eventually([&] {
    return Shows("SecondPanel") && !Shows("FirstPanel") && Shows("BackButton") &&
           !IsWindowEnabled(Control("NextButton"));
  }));
}

TEST_F(UIDriverTest, ReadsAndAnswersMessageBoxesByCaptionAndButton) {
  ASSERT_EQ(Click(Control("AskButton")), TClickResult::Posted);
  EXPECT_EQ(WaitForMessageBox(form.Id(), "Some Other Caption", 300), nullptr);
  const HWND box = WaitForMessageBox(form.Id(), "Question Box", kWaitMs);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(MessageBoxes(kNoSuchProcess, "").size(), 0u) << "another process's boxes do not count";
  const auto info = ReadMessageBox(box);
  ASSERT_TRUE(info.has_value());
  EXPECT_EQ(info->Caption, "Question Box");
  EXPECT_EQ(info->Text, "Proceed with the test?");
  std::vector<int> ids;
  for (const auto& [id, text] : info->Buttons) ids.push_back(id);
  EXPECT_EQ(ids, (std::vector<int>{IDYES, IDNO, IDCANCEL}));
  EXPECT_FALSE(AnswerMessageBox(box, IDOK)) << "the box has no OK button";
  ASSERT_TRUE(AnswerMessageBox(box, AnswerId("No")));
  EXPECT_TRUE(WaitGone(box, kWaitMs));
  EXPECT_TRUE(Eventually([&] { return Text("AnswerLabel") == "no"; }));

  EXPECT_EQ(AnswerId("yes"), IDYES);
  EXPECT_EQ(AnswerId("CANCEL"), IDCANCEL);
  EXPECT_EQ(AnswerId("7"), 7);
  EXPECT_EQ(AnswerId("maybe"), -1);
}

TEST_F(UIDriverTest, EveryWayOfClosingAsksAndNoKeepsTheInputs) {
  ASSERT_TRUE(TypeText(Control("NameEdit"), "kept"));
  const std::function<bool()> ways[] = {
      [&] { return PressKey(FocusOf(top) ? FocusOf(top) : top, "escape"); },
      [&] { return PressKey(Control("NameEdit"), "alt+f4"); },
      [&] { return PostSysClose(top); },
      [&] { return PostClose(top); },
  };
  int way = 0;
  for (const auto& close : ways) {
    SCOPED_TRACE(way++);
    ASSERT_TRUE(close());
    const HWND box = WaitForMessageBox(form.Id(), "Exit Test", kWaitMs);
    ASSERT_NE(box, nullptr);
    ASSERT_TRUE(AnswerMessageBox(box, IDNO));
    EXPECT_TRUE(WaitGone(box, kWaitMs));
    EXPECT_TRUE(form.Running());
    EXPECT_EQ(Text("NameEdit"), "kept");
  }
  ASSERT_TRUE(PressKey(Control("OptionCheck"), "escape"));
  const HWND box = WaitForMessageBox(form.Id(), "Exit Test", kWaitMs);
  ASSERT_NE(box, nullptr);
  ASSERT_TRUE(AnswerMessageBox(box, IDYES));
  EXPECT_EQ(form.WaitExit(kWaitMs), std::optional<DWORD>(3));
}

TEST_F(UIDriverTest, ReadsAndTogglesCheckListItems) {
  const HWND list = Control("ItemList");
  auto checks = [&] {
    std::string marks;
    for (const TListItem& item : ListItems(list).value_or(std::vector<TListItem>{})) marks += item.Checked ? 'x' : '-';
    return marks;
  };
  const auto items = ListItems(list);
  ASSERT_TRUE(items.has_value());
  ASSERT_EQ(items->size(), 3u);
  EXPECT_EQ((*items)[0].Text, "Locked item");
  EXPECT_EQ((*items)[2].Text, "Third item");
  EXPECT_EQ(checks(), "x-x");

  ASSERT_TRUE(ToggleItem(list, 1));
  EXPECT_TRUE(Eventually([&] { return checks() == "xxx"; })) << checks();
  EXPECT_TRUE(ListItems(list).value()[1].Selected);
  ASSERT_TRUE(ClickItemCheckBox(list, 2));
  EXPECT_TRUE(Eventually([&] { return checks() == "xx-"; })) << checks();
  // The form refuses to uncheck its first item, whichever way it is tried.
  ASSERT_TRUE(ToggleItem(list, 0));
  ASSERT_TRUE(ClickItemCheckBox(list, 0));
  ASSERT_TRUE(ToggleItem(list, 1));
  EXPECT_TRUE(Eventually([&] { return checks() == "x--"; })) << checks();

  const auto plain = ListItems(Control("PlainList"));
  ASSERT_TRUE(plain.has_value());
  ASSERT_EQ(plain->size(), 2u);
  EXPECT_EQ((*plain)[1].Text, "beta");
  ASSERT_TRUE(SelectItem(Control("PlainList"), 1));
  EXPECT_TRUE(ListItems(Control("PlainList")).value()[1].Selected);
  ASSERT_TRUE(ClickListBoxItem(Control("PlainList"), 0, false));
  EXPECT_TRUE(Eventually([&] { return ListItems(Control("PlainList")).value()[0].Selected; }));
  EXPECT_FALSE(ClickListBoxItem(Control("PlainList"), 5, false)) << "no such item";
  EXPECT_FALSE(ListItems(Control("NameEdit")).has_value()) << "an edit has no items";
}

TEST(UIDriverProcessTest, ReadsExitCodesAndShowsAHiddenWindowOnRequest) {
  TProcess quick;
  ASSERT_TRUE(quick.Start(kFormExe, "exit=7"));
  EXPECT_EQ(quick.WaitExit(kWaitMs), std::optional<DWORD>(7));
  EXPECT_TRUE(TopWindows(kFormClass, quick.Id(), false).empty());

  TProcess hidden;
  ASSERT_TRUE(hidden.Start(kFormExe, "hidden"));
  const HWND window = WaitForTopWindow(kFormClass, hidden.Id(), kWaitMs, false);
  ASSERT_NE(window, nullptr);
  EXPECT_FALSE(IsWindowVisible(window));
  EXPECT_FALSE(hidden.WaitExit(200).has_value());
  PostMessageA(window, WM_USER + 1, 0, 0);
  EXPECT_EQ(WaitForTopWindow(kFormClass, hidden.Id(), kWaitMs), window);
  const HWND next = FindControl(window, "NextButton");
  ASSERT_EQ(Click(next), TClickResult::Posted);
  ASSERT_TRUE(WaitFor([&] { return IsWindowVisible(FindControl(window, "ExitButton")) != FALSE; }, kWaitMs));
  ASSERT_EQ(Click(FindControl(window, "ExitButton")), TClickResult::Posted);
  EXPECT_EQ(hidden.WaitExit(kWaitMs), std::optional<DWORD>(42));
}

TEST(UIDriverRegistryTest, WritesReadsAndRemovesValues) {
  const std::string key = "HKCU\\Software\\ZarelDriverTest";
  RegRemoveKey(key);
  EXPECT_FALSE(RegQuery(key, "Text").has_value());
  ASSERT_TRUE(RegSetString(key + "\\Sub", "Text", "D:\\Mail\\"));
  ASSERT_TRUE(RegSetDword(key + "\\Sub", "Number", 32000));
  EXPECT_EQ(RegQuery(key + "\\Sub", "Text"), std::optional<std::string>("D:\\Mail\\"));
  EXPECT_EQ(RegQuery(key + "\\Sub", "Number"), std::optional<std::string>("32000"));
  EXPECT_TRUE(RegDeleteValueAt(key + "\\Sub", "Text"));
  EXPECT_FALSE(RegQuery(key + "\\Sub", "Text").has_value());
  EXPECT_TRUE(RegRemoveKey(key));
  EXPECT_FALSE(RegQuery(key + "\\Sub", "Number").has_value());
  EXPECT_FALSE(RegSetString("HKXX\\Nowhere", "a", "b"));
}

// The command-line program's serve mode, as the end-to-end scripts use it: one command a
// line in, one JSON answer a line out, text in UTF-8.
TEST(UIDriverProgramTest, ServesCommandsOverPipes) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE toDriverRead, toDriverWrite, fromDriverRead, fromDriverWrite;
  ASSERT_TRUE(CreatePipe(&toDriverRead, &toDriverWrite, &inherit, 0));
  ASSERT_TRUE(CreatePipe(&fromDriverRead, &fromDriverWrite, &inherit, 0));
  SetHandleInformation(toDriverWrite, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(fromDriverRead, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = toDriverRead;
  startup.hStdOutput = fromDriverWrite;
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION driver{};
  std::string commandLine = QuoteArgument(kDriverExe) + " serve";
  ASSERT_TRUE(CreateProcessA(kDriverExe.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                             &startup, &driver));
  CloseHandle(toDriverRead);
  CloseHandle(fromDriverWrite);

  std::string pending;
  auto ask = [&](const std::string& line) {
    DWORD written = 0;
    const std::string request = line + "\n";
    WriteFile(toDriverWrite, request.data(), static_cast<DWORD>(request.size()), &written, nullptr);
    for (;;) {
      const size_t end = pending.find('\n');
      if (end != std::string::npos) {
        std::string answer = pending.substr(0, end);
        pending.erase(0, end + 1);
        if (!answer.empty() && answer.back() == '\r') answer.pop_back();
        return answer;
      }
      char chunk[1024];
      DWORD read = 0;
      if (!ReadFile(fromDriverRead, chunk, sizeof chunk, &read, nullptr) || read == 0) return std::string("<closed>");
      pending.append(chunk, read);
    }
  };

  std::string formField;  // a backslash is the escape character of a field
  for (char c : kFormExe) formField += c == '\\' ? std::string("\\\\") : std::string(1, c);
  const std::string started = ask("start\t" + formField);
  EXPECT_EQ(started.rfind("{\"ok\":true,\"value\":", 0), 0u) << started;
  EXPECT_EQ(ask("wait-window\tTDriverTestForm\t10000").rfind("{\"ok\":true,\"value\":\"0x", 0), 0u);
  // "\t" inside a field, and a letter outside ASCII (UTF-8 in, \u escape out).
  EXPECT_EQ(ask("type\tTDriverTestForm\tNameEdit\tcaf\xc3\xa9 a\\\\b"), "{\"ok\":true,\"value\":true}");
  EXPECT_EQ(ask("text\tTDriverTestForm\tEchoLabel"), "{\"ok\":true,\"value\":\"caf\\u00e9 a\\\\b\"}");
  EXPECT_EQ(ask("click\tTDriverTestForm\tDisabledButton"),
            "{\"ok\":false,\"error\":\"cannot click: disabled\"}");
  EXPECT_EQ(ask("text\tTDriverTestForm\tNoSuchControl"), "{\"ok\":false,\"error\":\"no control named NoSuchControl\"}");
  EXPECT_EQ(ask("frobnicate"), "{\"ok\":false,\"error\":\"unknown command: frobnicate\"}");
  EXPECT_EQ(ask("click\tTDriverTestForm\tAskButton"), "{\"ok\":true,\"value\":true}");
  const std::string box = ask("wait-box\tQuestion Box\t10000");
  EXPECT_NE(box.find("\"text\":\"Proceed with the test?\""), std::string::npos) << box;
  EXPECT_EQ(ask("answer\tQuestion Box\tyes"), "{\"ok\":true,\"value\":true}");
  EXPECT_EQ(ask("key\tTDriverTestForm\t-\tescape"), "{\"ok\":true,\"value\":true}");
  EXPECT_EQ(ask("wait-box\tExit Test\t10000").rfind("{\"ok\":true", 0), 0u);
  EXPECT_EQ(ask("answer\tExit Test\tyes"), "{\"ok\":true,\"value\":true}");
  EXPECT_EQ(ask("wait-exit\t10000"), "{\"ok\":true,\"value\":3}");
  EXPECT_EQ(ask("running"), "{\"ok\":true,\"value\":false}");

  // A form left running would hold the test's output pipe open.
  EXPECT_EQ(ask("kill"), "{\"ok\":true,\"value\":true}");
  ask("quit");
  EXPECT_EQ(WaitForSingleObject(driver.hProcess, kWaitMs), WAIT_OBJECT_0);
  CloseHandle(driver.hProcess);
  CloseHandle(driver.hThread);
  CloseHandle(toDriverWrite);
  CloseHandle(fromDriverRead);
}

}  // namespace

TEST(UIDriverShownTextTest, DropsMnemonicMarkersAsLabelsDraw) {
  const std::pair<const char*, const char*> cases[] = {
      {"&Next >", "Next >"},
      {"Server Type && Console Mode", "Server Type & Console Mode"},
      {"a&&&b", "a&b"},
      {"ends with &", "ends with "},
      {"", ""},
  };
  for (const auto& [text, shown] : cases) EXPECT_EQ(ShownText(text), shown) << text;
}
