// The boxes of the setup by identity: the one table of every question and notice the program
// can show, with its caption, text pattern, buttons and icon, and the answer an unattended run
// gives it with the reason for that answer. Both faces show boxes only through it: the wizard
// shows them to its person, the unattended run answers them from the table by identity, never
// by what a box looks like. Portable.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "engine/InstallUI.h"

// What an unattended run answers, and why.
struct TUnattendedRule {
  MessageAnswer Answer;
  // allowdowngrade=yes turns the answer into Yes (the downgrade question alone).
  bool YesWhenDowngradeAllowed;
  const char* Reason;
};

struct TQuestionRow {
  TQuestion Question;
  const char* Name;  // for the tests and the documentation: "opening", "downgrade", ...
  // The caption; a "%s" in it takes the product name.
  const std::string* Caption;
  // The text pattern, filled with the caller's arguments; null for the notices whose whole
  // text the caller gives (a failure's own words).
  const std::string* Text;
  MessageButtons Buttons;
  MessageIcon Icon;
  TUnattendedRule Unattended;
};

// Every row, in the order of TQuestion.
std::span<const TQuestionRow> QuestionTable();
const TQuestionRow& QuestionRow(TQuestion question);

// The box of a question or notice with a text pattern, filled with the arguments.
TMessageBox QuestionBox(TQuestion question, const std::vector<std::string>& arguments = {});
// The box of a notice whose text the caller gives.
TMessageBox NoticeBox(TQuestion question, const std::string& text);

// Shows the box through CurrentUI() and gives the answer.
MessageAnswer Ask(TQuestion question, const std::vector<std::string>& arguments = {});
// A question with Yes and No: any answer but Yes counts as No.
bool AskYes(TQuestion question, const std::vector<std::string>& arguments = {});
// A notice with a text pattern.
void Notify(TQuestion question, const std::vector<std::string>& arguments = {});
// A notice whose text the caller gives.
void NotifyText(TQuestion question, const std::string& text);

// The unattended run's answer to a box (TQuestionRow::Unattended).
MessageAnswer UnattendedAnswer(TQuestion question, bool allowDowngrade);
