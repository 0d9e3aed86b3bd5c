// The wizard window TMainForm: top band with logo and page caption, one panel per page,
// bottom band with Back, Next and Cancel. It walks the pages, and is the engine's UI while the install sequence runs (status, progress, message
// pump, task-modal message boxes it owns).
#pragma once

#include <windows.h>

#include <exception>
#include <functional>
#include <map>
#include <string>
#include <utility>

#include "engine/InstallUI.h"
#include "engine/SetupCore.h"
#include "wizard/ControlModel.h"
#include "wizard/MainFormLayout.h"

class TBrowseFolder;

class TMainForm final : public TInstallUI {
 public:
  TMainForm();
  ~TMainForm() override;

  // Creates the (hidden) window with all its controls. False when the system refused.
  bool CreateFormWindow(HINSTANCE instance);

  HWND Handle() const { return handle_; }
  TFormModel& Model() { return model_; }
  void SetBrowseFolder(TBrowseFolder* browse) { browse_ = browse; }

  // Renders what the start-up found, once it has run: the window's captions, the licence, the
  // folder offered and whether it is an upgrade; the window is left on its first page.
  void ShowStartup(const TStartupFacts& facts);

  // Page navigation and the handlers of the window's controls.
  unsigned char PageIndex() const { return pageIndex_; }
  // Moves to a page without its entry action (tests start from a later page this way).
  void SetPageIndex(unsigned char page) { pageIndex_ = page; }
  // The install sequence the installing page runs (InstallSequence unless a test sets one).
  void SetInstallSequence(std::function<void()> sequence) { installSequence_ = std::move(sequence); }
  void ShowPage();
  void BackButtonClick(int senderTag);
  void CloseButtonClick();
  void AdvancedModeClick();
  void HostNameEditChange(TControl* sender);
  void BrowseButtonClick();

  // Control state by name.
  TControl& Control(const std::string& name);
  HWND ControlHandle(const std::string& name);
  std::string ControlText(const std::string& name);
  bool IsChecked(const std::string& name);
  void SetChecked(const std::string& name, bool checked);
  bool ComponentChecked(int item);
  // The finish page's check boxes as the finish actions take them.
  TFinishChoices FinishChoices();
  bool DestinationAccepted(const std::string& folder);
  void SetComponentChecked(int item, bool checked);

  // TInstallUI
  void SetStatus(const std::string& text) override;
  void StepProgress() override;
  void ProcessMessages() override;
  MessageAnswer ShowMessage(const TMessageBox& box) override;
  bool CancelRequested() override { return cancelRequested_; }

  // Keys the window previews before its controls see them (Escape asks the Cancel
  // question). True when the message was handled.
  bool PreviewMessage(MSG& message);

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK PanelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK ComponentListProc(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void HandleCommand(WORD id, WORD code);
  LRESULT HandleNotify(NMHDR* header);

  // The controls of the layout table, in its order, with their few extra settings.
  void CreateControls();
  HWND MakeControl(TControl& control, const TLayoutRow& row, HWND parent);
  int Scaled(int value) const;
  HFONT FontFor(TFontKind kind) const;
  void CreateFonts();
  void PlaceControl(HWND window, const TLayoutRow& row);
  void ScaleImages();
  void SizeWindowToDpi(const RECT* suggested);
  void ApplyDpi(int dpi, const RECT* suggested);
  void FillComponentList();
  std::string PageCaptionText(const TPageRow& page);
  void LoadLicence();
  void ControlChanged(TControl& control);
  void ShowHint(HWND window, const std::string& hint);
  void SetButton(const std::string& name, const std::string* caption, TSwitch enabled,
                 TSwitch shown);
  void GoForward();
  void GoBack();
  void EnterPage(int page);

  // What each page does besides its caption and buttons (kPageRows): when it is shown, once it
  // is entered (either way), and when Next leaves it (false keeps the page). One row per page.
  struct TPageActions {
    void (TMainForm::*Shown)();
    void (TMainForm::*Entered)();
    bool (TMainForm::*Leaving)();
  };
  static const TPageActions kPageActions[kPageCount];
  // The actions of the table.
  void CheckNewVersionOnEntry();
  void LoadComponentChecks();
  bool StoreComponentChecks();
  bool AcceptDestination();
  void RunInstallSequence();
  void PrepareFinishPage();
  void FinishUnlessFirstRun();
  void PrepareFirstRunPage();
  bool RunFirstRunAndFinish();

  bool IsWizardWindow(HWND window) const;

  HWND handle_ = nullptr;
  HINSTANCE instance_ = nullptr;
  TFormModel model_;
  std::map<int, TControl*> controlsById_;
  int nextId_ = 100;
  HFONT font_ = nullptr;
  HFONT boldFont_ = nullptr;
  HFONT headingFont_ = nullptr;
  HICON logoIcon_ = nullptr;
  int dpi_ = 96;
  HBRUSH whiteBrush_ = nullptr;
  HWND topPanel_ = nullptr;
  HWND tooltip_ = nullptr;
  unsigned char pageIndex_ = 0;
  bool busy_ = false;
  bool installRunning_ = false;
  bool cancelAsked_ = false;
  bool cancelRequested_ = false;
  TBrowseFolder* browse_ = nullptr;
  WNDPROC listDefaultProc_ = nullptr;
  std::function<void()> installSequence_;
};

// The process's wizard window (null before it is created).
TMainForm* MainForm();

