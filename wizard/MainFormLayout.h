// The wizard window's layout as data: every control of TMainForm as one row, in creation order
// (which is also the tab order and the order a language file lists them in), and what each
// page does to the caption and the three buttons when it is shown.
#pragma once

#include <windows.h>

#include <span>
#include <string>

constexpr int kClientWidth = 455;
constexpr int kClientHeight = 363;
constexpr int kTopBandHeight = 58;
constexpr int kPageTop = 60;
constexpr int kPageHeight = 256;

// The window class of the wizard's panels (pages, top band, interface-mode group).
constexpr char kPanelClass[] = "TPanel";

// The page panels, in page order (index 8 has none).
constexpr int kPageCount = 8;
extern const char* const kPagePanels[kPageCount];

enum class TFontKind : unsigned char {
  Normal,   // the dialog font
  Bold,     // page caption, headings inside a page
  Heading,  // the welcome heading: bold and half as large again
};

// Design options of a control.
enum TLayoutOption : unsigned {
  kChecked = 1,       // a check box or radio button that starts checked
  kCarriesData = 2,   // shows data, not a text: no language file lists or changes it
};

struct TLayoutRow {
  const char* Parent;  // the panel the control sits on; null for the window itself
  const char* Name;
  const char* ClassWord;
  const char* Text;    // the design text
  int Tag;
  const char* WindowClass;
  DWORD Style;         // WS_CHILD is always added
  DWORD ExStyle;
  int X, Y, Width, Height;
  TFontKind Font;
  unsigned Options;
};

std::span<const TLayoutRow> MainFormLayout();

// What ShowPage does to one button: a caption (null leaves it) and its enabled and shown
// state.
enum class TSwitch : unsigned char { Keep, On, Off };
enum class TFocus : unsigned char {
  Keep,
  WhenShown,  // the Next button takes the focus once the window is visible
  Always,
};

struct TPageButtons {
  const std::string* Back;
  TSwitch BackEnabled, BackShown;
  const std::string* Next;
  TSwitch NextEnabled, NextShown;
  TFocus NextFocus;
  const std::string* Cancel;
};

// Where a page's caption comes from.
enum class TPageCaption : unsigned char {
  Text,               // TPageRow::Caption
  WelcomeHeading,     // the welcome heading (AboutLabel), as start-up filled it in
  ProductInstalling,  // the product name and "Installing"
};

struct TPageRow {
  TPageCaption CaptionFrom;
  const std::string* Caption;  // for TPageCaption::Text
  TPageButtons Buttons;
};

extern const TPageRow kPageRows[kPageCount];
