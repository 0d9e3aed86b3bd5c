// The wizard window itself, created for real (Wine's display driver or the null one): names
// on every control, pages and buttons, component choices, first-run fields, the Cancel
// question, the destination check and how the install sequence's end is handled.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>

#include "engine/InstallUI.h"
#include "wizard/BrowseUnit.h"
#include "engine/ExitCodes.h"
#include "engine/FailureUnit.h"
#include "wizard/MainForm.h"
#include "engine/ProgramEnd.h"
#include "engine/SetupState.h"
#include "texts/TextTable.h"
#include "tests/TestFolder.h"
#include "tests/support/RecordingUI.h"

namespace {


class WizardFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSetupState();
    firstEnd_.reset();
    SetProgramEndHandler([this](int code) {
      if (!firstEnd_) firstEnd_ = code;
      throw TProgramEnded{code};
    });
    ASSERT_TRUE(form_.CreateFormWindow(GetModuleHandleA(nullptr)));
    // Boxes go to the recorder from here on.
    SetCurrentUI(&ui_);
    form_.SetChecked("CheckLatest", false);
    form_.SetPageIndex(0);
    form_.ShowPage();
  }
  void TearDown() override {
    SetCurrentUI(nullptr);
    SetProgramEndHandler(nullptr);
  }

  // Runs a step that may end the program; gives the first exit code, if any.
  template <typename Step>
  std::optional<int> Ends(Step step) {
    try {
      step();
    } catch (const TProgramEnded&) {
    }
    return firstEnd_;
  }

  bool Visible(const std::string& name) { return IsWindowVisible(form_.ControlHandle(name)) != FALSE; }
  bool Enabled(const std::string& name) { return IsWindowEnabled(form_.ControlHandle(name)) != FALSE; }
  void Type(const std::string& name, const std::string& text) {
    // WM_SETTEXT makes the edit report EN_CHANGE, as typing does.
    SendMessageA(form_.ControlHandle(name), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  }

  TMainForm form_;
  TRecordingUI ui_;
  std::optional<int> firstEnd_;
};

std::string PropertyName(HWND window) {
  const auto atom = static_cast<ATOM>(reinterpret_cast<UINT_PTR>(GetPropA(window, "ZarelName")));
  char name[256] = {};
  if (atom == 0 || GlobalGetAtomNameA(atom, name, sizeof name) == 0) return {};
  return name;
}

TEST_F(WizardFormTest, WindowAndControlsFollowTheDrivingContract) {
  char className[64] = {};
  GetClassNameA(form_.Handle(), className, sizeof className);
  EXPECT_STREQ(className, "TMainForm");
  RECT client;
  GetClientRect(form_.Handle(), &client);
  EXPECT_EQ(client.right - client.left, 455);
  EXPECT_EQ(client.bottom - client.top, 363);

  int named = 0;
  for (const auto& control : form_.Model().Components()) {
    HWND window = static_cast<HWND>(control->Handle);
    ASSERT_NE(window, nullptr) << control->Name;
    EXPECT_EQ(PropertyName(window), control->Name);
    // Every control lies inside the client area (nothing cut off).
    RECT area;
    GetWindowRect(window, &area);
    MapWindowPoints(nullptr, form_.Handle(), reinterpret_cast<POINT*>(&area), 2);
    EXPECT_GE(area.left, 0) << control->Name;
    EXPECT_GE(area.top, 0) << control->Name;
    EXPECT_LE(area.right, 455) << control->Name;
    EXPECT_LE(area.bottom, 363) << control->Name;
    ++named;
  }
  EXPECT_GT(named, 60);
  for (const char* panel : kPagePanels) EXPECT_NE(form_.Model().FindComponent(panel), nullptr) << panel;

  HWND list = form_.ControlHandle("ComponentList");
  GetClassNameA(list, className, sizeof className);
  EXPECT_STREQ(className, "SysListView32");
  EXPECT_EQ(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0), 6);
  EXPECT_EQ(SendMessageA(list, kComponentCheckMessage, 7, 2), -1);
}

TEST_F(WizardFormTest, PagesSetCaptionAndButtons) {
  struct Row {
    int page;
    const char* panel;
    std::string caption, back, next, cancel;
    bool backVisible;
  };
  const Row rows[] = {
      {0, "WelcomePanel", "Welcome to the Zarel Mail Server Setup Wizard", "< &Back", "&Next >", "&Cancel", false},
      {1, "LicensePanel", "Software License Agreement", "< &Back", "&Yes", "&No", true},
      {2, "SetupTypePanel", "Server Type && Console Mode", "< &Back", "&Next >", "&Cancel", true},
      {3, "SetupComponents", "Components To Install", "< &Back", "&Next >", "&Cancel", true},
      {4, "InstallPanel", "Start The Installation Process", "< &Back", "&Install >", "&Cancel", true},
  };
  ShowWindow(form_.Handle(), SW_SHOW);
  for (const Row& row : rows) {
    if (row.page > 0) form_.BackButtonClick(1);
    ASSERT_EQ(form_.PageIndex(), row.page);
    for (const char* panel : kPagePanels) EXPECT_EQ(Visible(panel), std::string(panel) == row.panel) << panel;
    EXPECT_EQ(form_.ControlText("PageCaption"), row.caption);
    EXPECT_EQ(form_.ControlText("BackButton"), row.back);
    EXPECT_EQ(Visible("BackButton"), row.backVisible) << row.page;
    EXPECT_EQ(form_.ControlText("NextButton"), row.next);
    EXPECT_TRUE(Enabled("NextButton"));
    EXPECT_EQ(form_.ControlText("CloseButton"), row.cancel);
  }
  // Back from page 1 to 0 hides Back again.
  form_.SetPageIndex(1);
  form_.BackButtonClick(0);
  EXPECT_EQ(form_.PageIndex(), 0);
  EXPECT_FALSE(Visible("BackButton"));
  EXPECT_TRUE(ui_.boxes.empty());
}

TEST_F(WizardFormTest, ComponentChoicesSurviveBackFromTheDestination) {
  SetupState().NoInstallAV = true;  // as read from the registry
  form_.SetPageIndex(2);
  form_.BackButtonClick(1);
  ASSERT_EQ(form_.PageIndex(), 3);
  EXPECT_TRUE(form_.ComponentChecked(0));
  EXPECT_FALSE(form_.ComponentChecked(3));
  form_.SetComponentChecked(1, false);
  form_.SetComponentChecked(3, true);
  // Item 0 cannot be unchecked, neither directly nor through the list's message.
  form_.SetComponentChecked(0, false);
  EXPECT_TRUE(form_.ComponentChecked(0));
  EXPECT_EQ(SendMessageA(form_.ControlHandle("ComponentList"), kComponentCheckMessage, 0, 0), 1);
  EXPECT_EQ(SendMessageA(form_.ControlHandle("ComponentList"), kComponentCheckMessage, 5, 0), 0);

  form_.BackButtonClick(1);  // page 4 stores the choices
  EXPECT_TRUE(SetupState().NoInstallWebMail);
  EXPECT_FALSE(SetupState().NoInstallAV);
  EXPECT_TRUE(SetupState().NoInstallCalendar);
  form_.BackButtonClick(0);  // page 3 shows them again
  EXPECT_FALSE(form_.ComponentChecked(1));
  EXPECT_TRUE(form_.ComponentChecked(3));
  EXPECT_FALSE(form_.ComponentChecked(5));
}

TEST_F(WizardFormTest, EnterMovesOnOnlyWhenNextCanBeClicked) {
  SendMessageA(form_.Handle(), WM_COMMAND, IDOK, 0);  // window not shown yet
  EXPECT_EQ(form_.PageIndex(), 0);
  ShowWindow(form_.Handle(), SW_SHOW);
  SendMessageA(form_.Handle(), WM_COMMAND, IDOK, 0);
  EXPECT_EQ(form_.PageIndex(), 1);
  form_.SetPageIndex(7);
  form_.ShowPage();
  ASSERT_FALSE(Enabled("NextButton"));
  SendMessageA(form_.Handle(), WM_COMMAND, IDOK, 0);
  EXPECT_EQ(form_.PageIndex(), 7);
}

TEST_F(WizardFormTest, PrivateMessageShowsTheWindow) {
  ShowWindow(form_.Handle(), SW_HIDE);
  SendMessageA(form_.Handle(), WM_USER + 1, 0, 0);
  EXPECT_TRUE(IsWindowVisible(form_.Handle()));
}

TEST_F(WizardFormTest, InterfaceModeHint) {
  form_.SetChecked("AdvancedMode", true);
  form_.AdvancedModeClick();
  EXPECT_EQ(form_.ControlText("ConsoleMemo"), cHintAdvanced);
  form_.SetChecked("AdvancedMode", false);
  form_.SetChecked("BasicMode", true);
  form_.AdvancedModeClick();
  EXPECT_EQ(form_.ControlText("ConsoleMemo"), cHintBasic);
}

TEST_F(WizardFormTest, FirstRunFieldsGateFinish) {
  form_.SetPageIndex(6);
  form_.ShowPage();
  ASSERT_TRUE(form_.IsChecked("RunTutorial"));
  form_.BackButtonClick(1);
  ASSERT_EQ(form_.PageIndex(), 7);
  EXPECT_EQ(form_.ControlText("HostNameMemo"), cWizardHostName);
  EXPECT_EQ(form_.ControlText("AdminMemo"), cWizardAdmin);
  EXPECT_FALSE(Enabled("NextButton"));

  Type("HostNameEdit", "mail.example.com");
  Type("DomainEdit", "example.com");
  Type("UserEdit", "admin@example.com");
  EXPECT_EQ(form_.ControlText("UserEdit"), "admin");
  DWORD start = 0, end = 0;
  SendMessageA(form_.ControlHandle("UserEdit"), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
               reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(start, 5u);
  EXPECT_EQ(end, 5u);
  EXPECT_FALSE(Enabled("NextButton"));
  Type("PassEdit", "Secret1");
  EXPECT_EQ(form_.ControlText("ConfirmEdit"), "Secret1");
  EXPECT_TRUE(Enabled("NextButton"));
  Type("ConfirmEdit", "secret1");
  EXPECT_FALSE(Enabled("NextButton"));
  Type("PassEdit", "   ");
  EXPECT_EQ(form_.ControlText("ConfirmEdit"), "   ");
  EXPECT_FALSE(Enabled("NextButton"));
  Type("PassEdit", "pw");
  Type("DomainEdit", "  ");
  EXPECT_FALSE(Enabled("NextButton"));

  // Back returns to the finish page; Next there repeats the first-run page.
  form_.BackButtonClick(0);
  EXPECT_EQ(form_.PageIndex(), 6);
  EXPECT_FALSE(Visible("BackButton"));
}

TEST_F(WizardFormTest, UpgradeFinishesWithoutTheFirstRunPage) {
  SetupState().IsUpgrade = true;
  form_.SetPageIndex(6);
  form_.ShowPage();
  EXPECT_FALSE(form_.IsChecked("RunTutorial"));
  EXPECT_FALSE(form_.IsChecked("ShowTutorial"));
  EXPECT_FALSE(Enabled("RunTutorial"));
  form_.SetChecked("RunAntivirus", false);
  EXPECT_EQ(Ends([&] { form_.BackButtonClick(1); }), kExitSuccess);
}

TEST_F(WizardFormTest, CancelAsksFromEveryPathAndNoKeepsEverything) {
  form_.SetPageIndex(7);
  form_.ShowPage();
  Type("HostNameEdit", "mail.example.com");
  ui_.answers = {MessageAnswer::No, MessageAnswer::No, MessageAnswer::No};

  form_.CloseButtonClick();
  SendMessageA(form_.Handle(), WM_CLOSE, 0, 0);
  MSG escape{form_.ControlHandle("HostNameEdit"), WM_KEYDOWN, VK_ESCAPE, 0, 0, {}};
  EXPECT_TRUE(form_.PreviewMessage(escape));
  ASSERT_EQ(ui_.boxes.size(), 3u);
  for (const RecordedBox& box : ui_.boxes) {
    EXPECT_EQ(box.question, TQuestion::Cancel);
    EXPECT_EQ(box.caption, "Exit Setup");
    EXPECT_EQ(box.text, "Do you wish to cancel this installation?");
    EXPECT_EQ(box.buttons, MessageButtons::YesNo);
    EXPECT_EQ(box.icon, MessageIcon::Question);
  }
  EXPECT_FALSE(firstEnd_.has_value());
  EXPECT_EQ(form_.PageIndex(), 7);
  EXPECT_EQ(form_.ControlText("HostNameEdit"), "mail.example.com");

  ui_.answers = {MessageAnswer::Yes};
  EXPECT_EQ(Ends([&] { form_.CloseButtonClick(); }), kExitSuccess);
}

TEST_F(WizardFormTest, OnlyAnAbsoluteDestinationNobodyPreparedIsInstalledInto) {
  bool ran = false;
  form_.SetInstallSequence([&] { ran = true; });
  form_.SetPageIndex(4);
  form_.ShowPage();
  form_.Control("PathEdit").SetCaption("Zarel\\");
  form_.BackButtonClick(1);
  EXPECT_EQ(form_.PageIndex(), 4);
  EXPECT_FALSE(ran);
  ASSERT_EQ(ui_.boxes.size(), 1u);
  EXPECT_EQ(ui_.boxes[0].question, TQuestion::FolderNotAbsolute);
  EXPECT_EQ(ui_.boxes[0].caption, cError);
  EXPECT_NE(ui_.boxes[0].text.find("'Zarel\\'"), std::string::npos);

  // A folder holding someone else's files, and a drive's root: refused with the reason.
  for (const char* folder : {"C:\\windows\\", "C:\\"}) {
    form_.Control("PathEdit").SetCaption(folder);
    form_.BackButtonClick(1);
  }
  EXPECT_EQ(form_.PageIndex(), 4);
  EXPECT_FALSE(ran);
  ASSERT_EQ(ui_.boxes.size(), 3u);
  EXPECT_EQ(ui_.boxes[1].question, TQuestion::FolderRefused);
  EXPECT_NE(ui_.boxes[1].text.find("'C:\\windows\\'\r\n\r\ncannot be the installation folder: it holds files but no "
                                   "installation"),
            std::string::npos)
      << ui_.boxes[1].text;
  EXPECT_NE(ui_.boxes[2].text.find("the root folder of a drive"), std::string::npos) << ui_.boxes[2].text;

  form_.Control("PathEdit").SetCaption("C:\\Zarel\\");
  form_.BackButtonClick(1);
  EXPECT_TRUE(ran);
  EXPECT_EQ(form_.PageIndex(), 6);  // moved on by itself after the sequence
  EXPECT_TRUE(Enabled("NextButton"));
}

TEST_F(WizardFormTest, ErrorEscapingTheInstallSequenceIsShownAndEndsWithItsCode) {
  form_.SetInstallSequence([] { throw std::runtime_error("disk on fire"); });
  form_.SetPageIndex(4);
  form_.Control("PathEdit").SetCaption("C:\\Zarel\\");
  EXPECT_EQ(Ends([&] { form_.BackButtonClick(1); }), kExitInstallException);
  ASSERT_EQ(ui_.boxes.size(), 1u);
  EXPECT_EQ(ui_.boxes[0].caption, "Error");
  EXPECT_EQ(ui_.boxes[0].icon, MessageIcon::Error);
  EXPECT_NE(ui_.boxes[0].text.find("disk on fire"), std::string::npos);
  EXPECT_EQ(ui_.boxes[0].text.find("successful"), std::string::npos);
}

TEST_F(WizardFormTest, CancelDuringTheInstallSequenceStopsItWithItsCode) {
  ui_.answers = {MessageAnswer::No, MessageAnswer::Yes};
  form_.SetInstallSequence([&] {
    EXPECT_FALSE(Enabled("NextButton"));
    EXPECT_FALSE(Enabled("BackButton"));
    EXPECT_TRUE(Enabled("CloseButton"));
    form_.SetStatus("Extracting Files...");
    EXPECT_EQ(form_.ControlText("InstallPanelText"), "Extracting Files...");
    form_.CloseButtonClick();  // No: goes on
    EXPECT_FALSE(form_.CancelRequested());
    form_.StepProgress();
    form_.CloseButtonClick();  // Yes: the sequence stops at its next step
    ASSERT_TRUE(form_.CancelRequested());
    FailCancelled("the next step");
  });
  form_.SetPageIndex(4);
  form_.Control("PathEdit").SetCaption("C:\\Zarel\\");
  EXPECT_EQ(Ends([&] { form_.BackButtonClick(1); }), kExitCancelledDuringInstall);
  EXPECT_EQ(SendMessageA(form_.ControlHandle("ProgressBar"), PBM_GETPOS, 0, 0), 1);
}

TEST(BrowseFolder, DirectoryListShowsThePathDownAndTheSubfolders) {
  struct Line {
    std::string text, path;
    int level;
  };
  auto check = [](const std::string& folder, const std::vector<std::string>& subfolders,
                  const std::vector<Line>& expected) {
    const std::vector<TDirectoryLine> lines = DirectoryLines(folder, subfolders);
    ASSERT_EQ(lines.size(), expected.size()) << folder;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      EXPECT_EQ(lines[i].Text, expected[i].text) << folder << " " << i;
      EXPECT_EQ(lines[i].Path, expected[i].path) << folder << " " << i;
      EXPECT_EQ(lines[i].Level, expected[i].level) << folder << " " << i;
    }
  };
  check("C:\\Program Files\\Zarel", {"a", "b"},
        {{"C:\\", "C:\\", 0}, {"Program Files", "C:\\Program Files", 1},
         {"Zarel", "C:\\Program Files\\Zarel", 2}, {"a", "C:\\Program Files\\Zarel\\a", 3},
         {"b", "C:\\Program Files\\Zarel\\b", 3}});
  check("D:\\", {"Mail"}, {{"D:\\", "D:\\", 0}, {"Mail", "D:\\Mail", 1}});
  check("E:\\Data\\", {}, {{"E:\\", "E:\\", 0}, {"Data", "E:\\Data", 1}});
  check("\\\\server\\share\\x", {},
        {{"\\\\server\\share", "\\\\server\\share", 0}, {"x", "\\\\server\\share\\x", 1}});
}

class BrowseFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(browse_.CreateFormWindow(GetModuleHandleA(nullptr)));
    browse_.ShowBox = [this](const TMessageBox& box) {
      boxes_.push_back(box);
      return answer_;
    };
  }
  TBrowseFolder browse_;
  std::vector<TMessageBox> boxes_;
  MessageAnswer answer_ = MessageAnswer::No;
  TestFolder folder_;
};

TEST_F(BrowseFolderTest, ClosingWithOkChecksTheFolder) {
  struct Row {
    std::string path;
    MessageAnswer answer;
    bool closes;
    std::size_t boxes;
    TQuestion question;
    const char* textPart;
  };
  constexpr MessageAnswer Yes = MessageAnswer::Yes;
  constexpr MessageAnswer No = MessageAnswer::No;
  const Row rows[] = {
      {folder_.path(), No, true, 0, TQuestion::CreateFolder, nullptr},
      {folder_ / "new\\", Yes, true, 1, TQuestion::CreateFolder, "does not exist"},
      {folder_ / "new", No, false, 1, TQuestion::CreateFolder, "does not exist"},
      // Relative and empty folders are refused outright, whatever the answer.
      {"Zarel\\", Yes, false, 1, TQuestion::ChooserFolderNotAbsolute, "is not a full path"},
      {"", Yes, false, 1, TQuestion::ChooserFolderNotAbsolute, "is not a full path"},
      {"C:relative", Yes, false, 1, TQuestion::ChooserFolderNotAbsolute, "is not a full path"},
  };
  for (const Row& row : rows) {
    boxes_.clear();
    answer_ = row.answer;
    browse_.SetPathText(row.path);
    EXPECT_EQ(browse_.FormCloseQuery(), row.closes) << row.path;
    ASSERT_EQ(boxes_.size(), row.boxes) << row.path;
    if (row.boxes > 0) {
      EXPECT_EQ(boxes_[0].Question, row.question) << row.path;
      EXPECT_EQ(boxes_[0].Caption, "Setup");
      EXPECT_NE(boxes_[0].Text.find(row.textPart), std::string::npos) << boxes_[0].Text;
      EXPECT_NE(boxes_[0].Text.find("'" + row.path + "'"), std::string::npos) << boxes_[0].Text;
    }
    EXPECT_EQ(browse_.PathText(), row.path);  // the typed text is kept as it is
  }
}

TEST_F(BrowseFolderTest, ClickingAFolderReplacesTheTypedPath) {
  browse_.SetPathText("typed by hand");
  HWND list = nullptr;
  for (const auto& control : browse_.Model().Components()) {
    if (control->Name == "DirectoryListBox") list = static_cast<HWND>(control->Handle);
  }
  ASSERT_NE(list, nullptr);
  ASSERT_GT(SendMessageA(list, LB_GETCOUNT, 0, 0), 0);
  SendMessageA(list, LB_SETCURSEL, 0, 0);
  SendMessageA(browse_.Handle(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(list), LBN_SELCHANGE),
               reinterpret_cast<LPARAM>(list));
  const std::string path = browse_.PathText();
  EXPECT_NE(path, "typed by hand");
  EXPECT_EQ(path.size(), 3u) << path;  // the first line is the drive's root, "X:\\"
}

// What the wizard answers about a control's text: the room it needs in its own font, which
// the DPI scenario compares with the control. A text that wraps to more lines than the label
// holds, a word wider than the label and a check box's text past its edge all show.
TEST_F(WizardFormTest, TextSizeTellsWhenATextNeedsMoreRoom) {
  const auto needed = [this](const std::string& name) {
    const auto result = static_cast<DWORD>(SendMessageA(form_.Handle(), kTextSizeMessage,
                                                         reinterpret_cast<WPARAM>(form_.ControlHandle(name)), 0));
    return std::make_pair(static_cast<int>(LOWORD(result)), static_cast<int>(HIWORD(result)));
  };
  const auto room = [this](const std::string& name) {
    RECT rect{};
    GetWindowRect(form_.ControlHandle(name), &rect);
    return std::make_pair(static_cast<int>(rect.right - rect.left), static_cast<int>(rect.bottom - rect.top));
  };
  // The design texts fit.
  for (const char* name : {"AboutLabel", "TextLabel", "TipALabel", "CheckLatest", "NextButton"}) {
    const auto [width, height] = needed(name);
    EXPECT_GT(width, 0) << name;
    EXPECT_LE(width, room(name).first) << name;
    EXPECT_LE(height, room(name).second) << name;
  }
  SetWindowTextA(form_.ControlHandle("TipALabel"), std::string(40, ' ').insert(0, "word ").append(std::string(80, 'w')).c_str());
  EXPECT_GT(needed("TipALabel").first, room("TipALabel").first);
  std::string paragraph;
  for (int i = 0; i < 40; ++i) paragraph += "several words ";
  SetWindowTextA(form_.ControlHandle("TipALabel"), paragraph.c_str());
  EXPECT_LE(needed("TipALabel").first, room("TipALabel").first);
  EXPECT_GT(needed("TipALabel").second, room("TipALabel").second);
  SetWindowTextA(form_.ControlHandle("RunConfig"), paragraph.c_str());
  EXPECT_GT(needed("RunConfig").first, room("RunConfig").first);
  // Nothing is told about windows that are not the wizard's.
  EXPECT_EQ(SendMessageA(form_.Handle(), kTextSizeMessage, reinterpret_cast<WPARAM>(GetDesktopWindow()), 0), 0);
}

}  // namespace
