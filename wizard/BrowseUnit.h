// The folder chooser TBrowseFolder: a path field, a directory list and a drive list that
// follow each other, a button to connect a network drive. Created once after the wizard
// window and shown modally for every browse.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "engine/InstallUI.h"
#include "wizard/ControlModel.h"

// The directory list's lines for a folder: its path from the root down (each level one line)
// followed by its subfolders. Level gives each line's indentation depth; Path its full folder.
struct TDirectoryLine {
  std::string Text;
  std::string Path;
  int Level = 0;
  bool Open = false;  // on the path to the current folder
};
std::vector<TDirectoryLine> DirectoryLines(const std::string& folder,
                                           const std::vector<std::string>& subfolders);

class TBrowseFolder {
 public:
  TBrowseFolder();
  ~TBrowseFolder();
  bool CreateFormWindow(HINSTANCE instance);
  HWND Handle() const { return handle_; }
  TFormModel& Model() { return model_; }

  // Shows the chooser modally over owner (disabled meanwhile) with the folder in PathEdit.
  // True (and the folder as typed) when it closed with OK.
  bool Execute(const std::string& initialFolder, std::string& folder, HWND owner);

  // Keys previewed by the window while it is shown. True when handled.
  bool PreviewMessage(MSG& message);

  // Handlers.
  void FormShow();
  void DirectoryListBoxDblClick();
  void NetbuttonClick();
  void DriveChanged();
  // Closing with OK: false keeps the window open.
  bool FormCloseQuery();
  void SetPathText(const std::string& folder);
  std::string PathText();

  // The chooser's boxes: task-modal, without owner, logged with their answers. Tests replace
  // it to answer from a script.
  std::function<MessageAnswer(const TMessageBox& box)> ShowBox;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  HWND MakeControl(TControl& control, const char* windowClass, DWORD style, DWORD exStyle, int id,
                   int x, int y, int width, int height);
  HWND ControlHandle(const std::string& name);
  void ShowFolder(const std::string& folder);
  void FillDrives();
  void Close(int result);

  HWND handle_ = nullptr;
  HINSTANCE instance_ = nullptr;
  TFormModel model_;
  std::string currentFolder_;
  std::vector<TDirectoryLine> lines_;
  int modalResult_ = 0;
  bool modal_ = false;
  // The chooser opens on the primary screen: laid out for the system's DPI.
  int dpi_ = 96;
  HFONT font_ = nullptr;
};
