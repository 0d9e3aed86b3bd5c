// The small form/control model behind the setup's windows: every window (form) and every
// control it owns, with its name, class word, caption, hint and items, in creation order.
// Language files are exported from and applied to this model by name; the Win32 windows
// follow it through the form's change callback. Portable: no <windows.h>.
//
// Contract with the UI driver of the tests (tests/uidriver/), kept stable on purpose:
//  - The wizard is a top-level window of class "TMainForm"; the folder chooser a top-level
//    window of class "TBrowseFolder". Their captions are the forms' captions.
//  - Every child window (controls and the page panels) carries its model name as the window
//    property "ZarelName", whose value is a global atom:
//        SetPropA(hwnd, "ZarelName", (HANDLE)(UINT_PTR)GlobalAddAtomA(name))
//    A driver reads it with GetPropA + GlobalGetAtomNameA. Names are unique per window.
//  - Pages are panels (window class "TPanel") named WelcomePanel, LicensePanel,
//    SetupTypePanel, SetupComponents, InstallPanel, InstallingPanel, FinishedPanel,
//    TutorialPanel; exactly one is visible (IsWindowVisible) while the wizard shows a page.
//    TopPanel (logo and PageCaption) and InterfaceModePanel (inside SetupTypePanel) are
//    panels too. PathEdit of the wizard is a STATIC label (read-only destination); PathEdit
//    of the folder chooser is an EDIT.
//  - Controls are standard Win32 classes: buttons "BUTTON" (BS_PUSHBUTTON, BS_AUTOCHECKBOX,
//    BS_AUTORADIOBUTTON, BS_GROUPBOX), labels "STATIC", fields and memos "EDIT" (memos
//    ES_MULTILINE|ES_READONLY), the progress bar "msctls_progress32", the folder chooser's
//    directory list "LISTBOX" and drive list "COMBOBOX". WM_GETTEXT, BM_GETCHECK, BM_CLICK,
//    WM_CHAR (typing sends EN_CHANGE as a person's typing does), IsWindowEnabled and
//    IsWindowVisible work on them as usual.
//  - ComponentList is a "SysListView32" in report view with LVS_EX_CHECKBOXES, one column,
//    six items. Cross-process readable state: LVM_GETITEMCOUNT; the check state of item i is
//    ((ListView_GetItemState(i, LVIS_STATEIMAGEMASK) >> 12) - 1) (LVM_GETITEMSTATE needs no
//    buffer); item texts need LVM_GETITEMTEXTA with a buffer in the wizard's process.
//    Toggle item i by a left click on its check box or by selecting it (LVM_SETITEMSTATE
//    with LVIS_SELECTED|LVIS_FOCUSED) and sending WM_KEYDOWN/WM_KEYUP VK_SPACE. Item 0 is
//    locked: it stays checked whatever is done to it. The wizard also answers the private
//    message kComponentCheckMessage (WM_APP + 2) sent to the ComponentList window:
//    wParam = item, lParam = 0 uncheck / 1 check / 2 query; result = the check state after it
//    (0 or 1), -1 for an item out of range.
//  - Keys: Escape (WM_KEYDOWN VK_ESCAPE posted to the wizard or any of its controls) asks
//    the Cancel question; in the folder chooser it closes the chooser with Cancel. Alt+F4,
//    the close box and WM_CLOSE ask the Cancel question too. Keys must be posted: the
//    windows preview them in their message loop.
//  - Message boxes are standard MessageBoxA boxes ("#32770"), task-modal and owned by the
//    wizard; their caption and buttons identify them. The folder chooser's boxes (caption
//    "Setup") have no owner.
//  - WM_USER + 1 (1281) sent to the wizard shows its window.
//  - kTextSizeMessage (WM_APP + 3) sent to the wizard with wParam = one of its controls: the
//    size that control's window needs to show its text whole in its own font, width in the
//    low and height in the high word (0 for a control without a text of its own, a path
//    shortened with "..." or a memo that scrolls). Labels wrap at their width.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

class TFormModel;

// Private message of the ComponentList window (see the contract above).
constexpr unsigned kComponentCheckMessage = 0x8000 + 2;  // WM_APP + 2
// Private message of the wizard window (see the contract above).
constexpr unsigned kTextSizeMessage = 0x8000 + 3;  // WM_APP + 3

struct TControl {
  std::string Name;
  // The class name in lower case ("tlabel", "tbutton", "tcheckbox", "tradiobutton",
  // "tgroupbox", "tedit", "tmemo", "tpanel", "tchecklistbox", ...): decides how a language
  // file treats the control.
  std::string ClassWord;
  std::string Caption;
  std::string Hint;
  // Items of a list, or the column captions of a list view.
  std::vector<std::string> Items;
  int ItemIndex = -1;
  int Tag = 0;
  // The control shows data (the destination folder), not a text: a language file neither
  // lists nor changes it.
  bool CarriesData = false;
  // The window of the control once it exists (HWND on Windows), null in a bare model.
  void* Handle = nullptr;
  TFormModel* Owner = nullptr;

  // Setters tell the owning form, so its window follows.
  void SetCaption(const std::string& text);
  void SetHint(const std::string& text);
  void SetItems(const std::vector<std::string>& items);
};

class TFormModel {
 public:
  TFormModel(std::string className, std::string name, std::string caption);
  ~TFormModel();
  TFormModel(const TFormModel&) = delete;
  TFormModel& operator=(const TFormModel&) = delete;

  const std::string& ClassName() const { return className_; }
  const std::string& Name() const { return name_; }
  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& text);

  // Appends a control; names are unique per form (a second one with the same name is a
  // programming error and throws).
  TControl& Add(const std::string& name, const std::string& classWord,
                const std::string& caption = {}, int tag = 0);
  // Exact, case-sensitive match, or null.
  TControl* FindComponent(const std::string& name);
  const std::vector<std::unique_ptr<TControl>>& Components() const { return components_; }

  // Called after a control's caption, hint or items changed through the model.
  std::function<void(TControl&)> OnControlChanged;
  // Called after the form's caption changed through the model.
  std::function<void()> OnCaptionChanged;

  void Changed(TControl& control);

 private:
  std::string className_;
  std::string name_;
  std::string caption_;
  std::vector<std::unique_ptr<TControl>> components_;
};

// The application's forms in creation order. A form registers itself when constructed and
// leaves the list when destroyed.
const std::vector<TFormModel*>& ApplicationForms();
// The first form of that class name (exact, case-sensitive), or null.
TFormModel* FindApplicationForm(const std::string& className);
