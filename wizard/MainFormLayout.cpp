#include "wizard/MainFormLayout.h"

#include <commctrl.h>

#include "engine/SetupCore.h"
#include "texts/TextTable.h"

const char* const kPagePanels[kPageCount] = {"WelcomePanel",    "LicensePanel",   "SetupTypePanel",
                                             "SetupComponents", "InstallPanel",   "InstallingPanel",
                                             "FinishedPanel",   "TutorialPanel"};

namespace {

constexpr DWORD kShown = WS_VISIBLE;
constexpr DWORD kHidden = 0;
constexpr DWORD kLabel = WS_VISIBLE | SS_LEFT;
constexpr DWORD kCheck = WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX;
constexpr DWORD kButton = WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON;
// The first-run memos carry their own line breaks; they do not wrap.
constexpr DWORD kMemo = WS_VISIBLE | ES_MULTILINE | ES_READONLY;
constexpr DWORD kField = WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL;
constexpr DWORD kBevel = WS_VISIBLE | SS_ETCHEDHORZ;
constexpr DWORD kPanelEx = WS_EX_CONTROLPARENT;
constexpr DWORD kEdge = WS_EX_CLIENTEDGE;

constexpr TFontKind N = TFontKind::Normal;
constexpr TFontKind B = TFontKind::Bold;
constexpr TFontKind H = TFontKind::Heading;

constexpr int kPageWidth = 423;
constexpr int kButtonY = kClientHeight - 35;

// clang-format off
const TLayoutRow kRows[] = {
  // parent, name, class word, design text, tag,
  //   window class, style, extended style, x, y, width, height, font, options
  // Top band: logo and page caption on white.
  {nullptr, "TopPanel", "tpanel", "", 0,
     kPanelClass, kShown, kPanelEx, 0, 0, kClientWidth, kTopBandHeight, N, 0},
  {"TopPanel", "LogoImage", "timage", "", 0,
     "STATIC", WS_VISIBLE | SS_ICON, 0, kClientWidth - 50, 13, 32, 32, N, 0},
  {"TopPanel", "PageCaption", "tlabel", "", 0,
     "STATIC", kLabel, 0, 16, 20, kClientWidth - 80, 20, B, 0},
  {nullptr, "TopBevel", "tbevel", "", 0,
     "STATIC", kBevel, 0, 0, kTopBandHeight, kClientWidth - 2, 2, N, 0},

  // Page 0: welcome.
  {nullptr, "WelcomePanel", "tpanel", "", 0,
     kPanelClass, kShown, kPanelEx, 0, kPageTop, kClientWidth, kPageHeight, N, 0},
  {"WelcomePanel", "AboutLabel", "tlabel", "Welcome to the Zarel Mail Server Setup Wizard", 0,
     "STATIC", kLabel, 0, 16, 10, kPageWidth, 40, H, 0},
  {"WelcomePanel", "TextLabel", "tlabel",
     "Zarel Mail Server is the ultimate communication solution providing complete messaging "
     "solutions, groupware, antispam and antivirus features. It can be installed as a "
     "stand-alone, LAN or ISP server.", 0,
     "STATIC", kLabel, 0, 16, 58, kPageWidth, 54, N, 0},
  {"WelcomePanel", "TipALabel", "tlabel",
     "It is strongly recommended that you exit all Windows programs before running this setup "
     "program. ", 0,
     "STATIC", kLabel, 0, 16, 118, kPageWidth, 28, N, 0},
  {"WelcomePanel", "TipBLabel", "tlabel",
     "Click Cancel to quit Setup and then close any programs you have running. Click Next to "
     "continue with the Setup program.", 0,
     "STATIC", kLabel, 0, 16, 152, kPageWidth, 28, N, 0},
  {"WelcomePanel", "CheckLatest", "tcheckbox", "Check for new version on the Internet", 0,
     "BUTTON", kCheck, 0, 16, 222, kPageWidth, 18, N, kChecked},

  // Page 1: licence agreement.
  {nullptr, "LicensePanel", "tpanel", "", 0,
     kPanelClass, kHidden, kPanelEx, 0, kPageTop, kClientWidth, kPageHeight, N, 0},
  {"LicensePanel", "LicenseLabel", "tlabel",
     "Please read the following license agreement. Use the scroll bar to view the rest of this "
     "agreement.", 0,
     "STATIC", kLabel, 0, 16, 6, kPageWidth, 28, N, 0},
  {"LicensePanel", "LicenseMemo", "tmemo", "", 0,
     "EDIT", kMemo | WS_TABSTOP | WS_VSCROLL | ES_AUTOVSCROLL, kEdge, 16, 36, kPageWidth, 170, N, 0},
  {"LicensePanel", "LicenseAcceptLabel", "tlabel",
     "Do you accept all the terms of the preceding license agreement? If so, click on the Yes "
     "button. If you select No, Setup will close.", 0,
     "STATIC", kLabel, 0, 16, 212, kPageWidth, 40, N, 0},

  // Page 2: interface mode.
  {nullptr, "SetupTypePanel", "tpanel", "", 0,
     kPanelClass, kHidden, kPanelEx, 0, kPageTop, kClientWidth, kPageHeight, N, 0},
  {"SetupTypePanel", "SetupTypeLabel", "tlabel", "New Installation", 0,
     "STATIC", kLabel, 0, 16, 10, kPageWidth, 20, B, 0},
  {"SetupTypePanel", "InterfaceModePanel", "tpanel", "", 0,
     kPanelClass, kShown, kPanelEx, 16, 44, kPageWidth, 150, N, 0},
  {"InterfaceModePanel", "InterfaceModeLabel", "tlabel",
     "Select the interface mode (Can be changed later):", 0,
     "STATIC", kLabel, 0, 10, 10, 400, 16, N, 0},
  {"InterfaceModePanel", "AdvancedMode", "tradiobutton", "Advanced", 0,
     "BUTTON", WS_VISIBLE | WS_TABSTOP | WS_GROUP | BS_AUTORADIOBUTTON, 0, 20, 36, 380, 18, N, 0},
  {"InterfaceModePanel", "BasicMode", "tradiobutton", "Basic", 0,
     "BUTTON", WS_VISIBLE | BS_AUTORADIOBUTTON, 0, 20, 60, 380, 18, N, 0},
  {"InterfaceModePanel", "ConsoleMemo", "tmemo", "", 0,
     "EDIT", WS_VISIBLE | ES_READONLY | ES_AUTOHSCROLL | WS_GROUP, kEdge, 10, 100, 400, 22, N, 0},

  // Page 3: components.
  {nullptr, "SetupComponents", "tpanel", "", 0,
     kPanelClass, kHidden, kPanelEx, 0, kPageTop, kClientWidth, kPageHeight, N, 0},
  {"SetupComponents", "ComponentsLabel", "tlabel", "Select components you want to have installed:", 0,
     "STATIC", kLabel, 0, 16, 10, kPageWidth, 16, N, 0},
  {"SetupComponents", "ComponentList", "tchecklistbox", "", 0,
     WC_LISTVIEWA,
     WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_NOCOLUMNHEADER | LVS_SINGLESEL | LVS_SHOWSELALWAYS,
     kEdge, 16, 32, kPageWidth, 150, N, 0},

  // Page 4: destination.
  {nullptr, "InstallPanel", "tpanel", "", 0,
     kPanelClass, kHidden, kPanelEx, 0, kPageTop, kClientWidth, kPageHeight, N, 0},
  {"InstallPanel", "InstallLabel", "tlabel",
     "Click the Browse button to select the destination directory. Click the Install button to "
     "start copying files and to finish the setup process.", 0,
     "STATIC", kLabel, 0, 16, 10, kPageWidth, 42, N, 0},
  {"InstallPanel", "DestinationGroup", "tgroupbox", "Destination Directory", 0,
     "BUTTON", WS_VISIBLE | BS_GROUPBOX, 0, 16, 150, kPageWidth, 58, N, 0},
  // The destination folder; start-up puts the program files folder in front of it.
  {"InstallPanel", "PathEdit", "tlabel", kDefaultFolderName, 0,
     "STATIC", WS_VISIBLE | SS_LEFT | SS_PATHELLIPSIS | SS_NOPREFIX, 0, 28, 176, 300, 18, N,
     kCarriesData},
  {"InstallPanel", "BrowseButton", "tbutton", "&Browse...", 0,
     "BUTTON", kButton, 0, 344, 171, 85, 24, N, 0},

  // Page 5: installing.
  {nullptr, "InstallingPanel", "tpanel", "", 0,
     kPanelClass, kHidden, kPanelEx, 0, kPageTop, kClientWidth, kPageHeight, N, 0},
  {"InstallingPanel", "InstallPanelText", "tlabel", "", 0,
     "STATIC", kLabel | SS_NOPREFIX, 0, 16, 60, kPageWidth, 60, N, 0},
  {"InstallingPanel", "ProgressBar", "tprogressbar", "", 0,
     PROGRESS_CLASSA, WS_VISIBLE, 0, 16, 140, kPageWidth, 18, N, 0},

  // Page 6: finished, with the finish actions.
  {nullptr, "FinishedPanel", "tpanel", "", 0,
     kPanelClass, kHidden, kPanelEx, 0, kPageTop, kClientWidth, kPageHeight, N, 0},
  {"FinishedPanel", "SetupComplete", "tlabel",
     "Installation was successful. You may run the installed program now.", 0,
     "STATIC", kLabel, 0, 16, 10, kPageWidth, 30, N, 0},
  {"FinishedPanel", "SelectActionL", "tlabel",
     "Select actions below you want to have performed when clicked the Next button.", 0,
     "STATIC", kLabel, 0, 16, 46, kPageWidth, 30, N, 0},
  {"FinishedPanel", "RunConfig", "tcheckbox", "Run Server Administration Console", 0,
     "BUTTON", kCheck, 0, 32, 84, 400, 18, N, 0},
  {"FinishedPanel", "ViewReadme", "tcheckbox", "View Readme File", 0,
     "BUTTON", kCheck, 0, 32, 108, 400, 18, N, 0},
  {"FinishedPanel", "ShowTutorial", "tcheckbox", "View Quick Start Tutorial", 0,
     "BUTTON", kCheck, 0, 32, 132, 400, 18, N, kChecked},
  {"FinishedPanel", "ViewReleaseNotes", "tcheckbox", "View Release Notes", 0,
     "BUTTON", kCheck, 0, 32, 156, 400, 18, N, 0},
  {"FinishedPanel", "RunTutorial", "tcheckbox", "Run Installation Wizard", 0,
     "BUTTON", kCheck, 0, 32, 180, 400, 18, N, kChecked},
  {"FinishedPanel", "RunAntivirus", "tcheckbox", "Run Antivirus Update Now", 0,
     "BUTTON", kCheck, 0, 32, 204, 400, 18, N, kChecked},

  // Page 7: first-run configuration. Steps on the left (heading and instructions), fields on
  // the right with their label above and an example below.
  {nullptr, "TutorialPanel", "tpanel", "", 0,
     kPanelClass, kHidden, kPanelEx, 0, kPageTop, kClientWidth, kPageHeight, N, 0},
  {"TutorialPanel", "HostNameStepLabel", "tlabel", "Setting the hostname", 0,
     "STATIC", kLabel, 0, 6, 2, 290, 14, B, 0},
  {"TutorialPanel", "HostNameMemo", "tmemo", "", 0,
     "EDIT", kMemo | ES_AUTOHSCROLL, 0, 6, 18, 288, 44, N, 0},
  {"TutorialPanel", "HostNameLabel", "tlabel", "Hostname:", 0,
     "STATIC", kLabel, 0, 300, 2, 148, 14, N, 0},
  {"TutorialPanel", "HostNameEdit", "tedit", "", 0,
     "EDIT", kField, kEdge, 300, 17, 148, 20, N, 0},
  {"TutorialPanel", "HostNameExample", "tlabel", "Eg: mail.example.com", 0,
     "STATIC", kLabel | SS_NOPREFIX, 0, 300, 39, 148, 14, N, 0},
  {"TutorialPanel", "DomainStepLabel", "tlabel", "Setting the primary domain", 0,
     "STATIC", kLabel, 0, 6, 64, 290, 14, B, 0},
  {"TutorialPanel", "DomainMemo", "tmemo", "", 0,
     "EDIT", kMemo | ES_AUTOHSCROLL, 0, 6, 80, 288, 30, N, 0},
  {"TutorialPanel", "DomainLabel", "tlabel", "Domain:", 0,
     "STATIC", kLabel, 0, 300, 64, 148, 14, N, 0},
  {"TutorialPanel", "DomainEdit", "tedit", "", 0,
     "EDIT", kField, kEdge, 300, 79, 148, 20, N, 0},
  {"TutorialPanel", "DomainExample", "tlabel", "Eg: example.com", 0,
     "STATIC", kLabel | SS_NOPREFIX, 0, 300, 101, 148, 14, N, 0},
  {"TutorialPanel", "AdminStepLabel", "tlabel", "Setting the primary domain administrator", 0,
     "STATIC", kLabel, 0, 6, 118, 290, 14, B, 0},
  {"TutorialPanel", "AdminMemo", "tmemo", "", 0,
     "EDIT", kMemo | ES_AUTOHSCROLL, 0, 6, 134, 288, 72, N, 0},
  {"TutorialPanel", "UserLabel", "tlabel", "Username:", 0,
     "STATIC", kLabel, 0, 300, 118, 148, 14, N, 0},
  // Tag 2: an "@" typed here cuts the domain off.
  {"TutorialPanel", "UserEdit", "tedit", "", 2,
     "EDIT", kField, kEdge, 300, 133, 148, 20, N, 0},
  {"TutorialPanel", "UserExample", "tlabel", "Eg: administrator", 0,
     "STATIC", kLabel | SS_NOPREFIX, 0, 300, 155, 148, 14, N, 0},
  {"TutorialPanel", "PassLabel", "tlabel", "Password:", 0,
     "STATIC", kLabel, 0, 300, 171, 148, 14, N, 0},
  // Tag 1: each change refills the confirmation.
  {"TutorialPanel", "PassEdit", "tedit", "", 1,
     "EDIT", kField | ES_PASSWORD, kEdge, 300, 186, 148, 20, N, 0},
  {"TutorialPanel", "ConfirmLabel", "tlabel", "Confirm:", 0,
     "STATIC", kLabel, 0, 300, 209, 148, 14, N, 0},
  {"TutorialPanel", "ConfirmEdit", "tedit", "", 0,
     "EDIT", kField | ES_PASSWORD, kEdge, 300, 224, 148, 20, N, 0},
  // Why Finish stays disabled when a name could not be a folder of the store.
  {"TutorialPanel", "NameProblemLabel", "tlabel", "", 0,
     "STATIC", kLabel | SS_NOPREFIX, 0, 6, 210, 288, 44, N, kCarriesData},

  // Bottom band. Back and Next share one handler and tell themselves apart by the tag.
  {nullptr, "BottomBevel", "tbevel", "", 0,
     "STATIC", kBevel, 0, 0, kPageTop + kPageHeight + 2, kClientWidth - 2, 2, N, 0},
  {nullptr, "BackButton", "tbutton", "< &Back", 0,
     "BUTTON", kButton, 0, 201, kButtonY, 75, 23, N, 0},
  {nullptr, "NextButton", "tbutton", "&Next >", 1,
     "BUTTON", kButton, 0, 276, kButtonY, 75, 23, N, 0},
  {nullptr, "CloseButton", "tbutton", "&Cancel", 0,
     "BUTTON", kButton, 0, 364, kButtonY, 75, 23, N, 0},
};

constexpr TSwitch K = TSwitch::Keep;
constexpr TSwitch On = TSwitch::On;
constexpr TSwitch Off = TSwitch::Off;
constexpr TPageCaption T = TPageCaption::Text;
constexpr TPageCaption W = TPageCaption::WelcomeHeading;
constexpr TPageCaption P = TPageCaption::ProductInstalling;

}  // namespace

const TPageRow kPageRows[kPageCount] = {
  // caption from, caption,  Back: caption, enabled, shown;  Next: caption, enabled, shown, focus;  Cancel
  {W, nullptr,             {&cBack, K, Off,   &cNext, K, K, TFocus::WhenShown,        &cCancel}},
  {T, &cSLA,               {&cBack, K, On,    &cYes, On, K, TFocus::Keep,             &cNo}},
  {T, &cSetupType,         {&cBack, K, K,     &cNext, On, K, TFocus::Keep,            &cCancel}},
  {T, &cComponentSetup,    {nullptr, K, K,    &cNext, K, K, TFocus::Keep,             nullptr}},
  {T, &cStartCopyingFiles, {&cBack, On, On,   &cInstallC, On, On, TFocus::Keep,       &cCancel}},
  // Back and Next are disabled by the install sequence's own handler.
  {P, nullptr,             {nullptr, K, K,    nullptr, K, K, TFocus::Keep,            nullptr}},
  {T, &cSetupFinished,     {&cBack, Off, Off, &cFinish, On, On, TFocus::Always,       &cCancel}},
  // Next is enabled by the check of the first-run fields.
  {T, &cTutorialCaption,   {&cBack, On, On,   &cFinish, K, On, TFocus::Keep,          &cCancel}},
};
// clang-format on

std::span<const TLayoutRow> MainFormLayout() { return kRows; }
