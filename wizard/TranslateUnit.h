// Language files: export the application's window texts and the registered text table to an
// XML file, and apply such a file back by name.
//
//   <APPLICATION><FORMS><FORM ID='TMainForm' CAPTION='...'>
//       <ITEM ID='NextButton' CLASS='tbutton' CAPTION='&amp;Next &gt;' HINT='...'/> ...
//   </FORM></FORMS>
//   <STRINGS><ITEM ID='cname' VALUE='...'/> <ITEM ID='...'>text over 255 characters</ITEM>
//   </STRINGS></APPLICATION>
//
// Works on the forms that exist when called (ApplicationForms, creation order). Portable.
//
// A language file changes words only. Controls that carry data (the destination) are never
// written or applied; an ITEM applies only to a control whose own class carries the same
// kind of value (a file cannot turn a field or memo into a label); the texts that are a path
// or an identifier (cWebMailManualFile, cInstallProgram) are exported in their places, so the
// file lists every registered entry in registration order, but never applied; a shortcut
// name with a path or wildcard character is ignored.
#pragma once

#include <string>
#include <vector>


struct TControl;

// True when the file was written (its folder is created when needed).
bool ExportLanguageFile(const std::string& path, bool includeTexts);
// True when the file could be read and parsed. An error inside the forms (missing APPLICATION
// or FORMS, an item list longer than the control's) ends the application there: what was
// applied stays and the texts are then not applied. notes, when given, gets a line for each
// entry of the file that was left as it is (a path or an identifier).
bool ApplyLanguageFile(const std::string& path, bool includeTexts, std::vector<std::string>* notes = nullptr);

struct TLanguageStep {
  bool EndNow = false;  // the export was asked for: the program ends now
  // What the step did, for the log: it runs before the log of a wizard run is started.
  std::vector<std::string> Notes;
};
// The language step at start-up for SetupFolder() + "Setup.lng": register the texts when the
// file exists or an export is asked for (the "exportlanguage" switch); apply the file when it
// exists; export it when asked.
TLanguageStep RunLanguageStep(bool exportAsked, const std::string& setupFolder);

// How a class word carries its value in a language file.
enum class TTranslateKind { None, Caption, ItemsText };
TTranslateKind TranslateKindOf(const std::string& classWord);
