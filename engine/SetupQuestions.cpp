#include "engine/SetupQuestions.h"

#include <cstddef>

#include "base/TextFormat.h"
#include "texts/TextTable.h"

namespace {

// Captions and texts that no language file lists (they never were in the text table).
const std::string kWarningCaption = "Warning";
const std::string kChooserCaption = "Setup";
const std::string kMissingFolderText =
    "The Folder:\r\n\r\n'%s'\r\n\r\ndoes not exist. Do you want the folder to be created?";
const std::string kAnswersNotSavedText = "The answers could not be saved in %s";

using B = MessageButtons;
using I = MessageIcon;
using A = MessageAnswer;
using Q = TQuestion;

// clang-format off
const TQuestionRow kRows[] = {
  {Q::Opening, "opening", &cSetup, &cInstallQ, B::YesNo, I::Question,
   {A::Yes, false, "starting an unattended run is the wish to install"}},
  {Q::Uninstall, "uninstall", &cSetup, &cUnInstallQ, B::YesNo, I::Question,
   {A::Yes, false, "\"/UNINSTALL /unattended\" asked for the removal on the command line, so the question is not put"}},
  {Q::Downgrade, "downgrade", &cSetup, &cNewerInstalled, B::YesNoDefaultNo, I::Warning,
   {A::No, true, "newer programs are not replaced by older ones unless allowdowngrade=yes says so"}},
  {Q::NewerVersion, "newer-version", &cQuestion, &cNewerVersion, B::YesNoCancel, I::Question,
   {A::No, false, "nothing is downloaded: checkversion=yes only logs what the maker's site offers"}},
  {Q::Cancel, "cancel", &cDoYouExitTitle, &cDoYouExit, B::YesNo, I::Question,
   {A::No, false, "only the wizard's Cancel asks it; Ctrl+C in the console is a Cancel already confirmed"}},
  {Q::CreateFolder, "create-folder", &kChooserCaption, &kMissingFolderText, B::YesNo, I::Question,
   {A::No, false, "only the wizard's folder chooser asks it; the installation folder itself is made by the install sequence"}},
  {Q::Failure, "failure", &cError, nullptr, B::Ok, I::Error,
   {A::Ok, false, "a notice; the run ends with the failure's exit code"}},
  {Q::Cancelled, "cancelled", &cInformation, nullptr, B::Ok, I::Information,
   {A::Ok, false, "a notice; the run ends with the exit code of a Cancel"}},
  {Q::FolderNotAbsolute, "folder-not-absolute", &cError, &cFolderNotAbsolute, B::Ok, I::Error,
   {A::Ok, false, "a notice of the destination page; an unattended run refuses such a dir= before it starts"}},
  {Q::FolderRefused, "folder-refused", &cError, &cFolderRefused, B::Ok, I::Error,
   {A::Ok, false, "a notice of the destination page; an unattended run refuses such a folder before it starts"}},
  {Q::ChooserFolderNotAbsolute, "chooser-folder-not-absolute", &kChooserCaption, &cFolderNotAbsolute, B::Ok, I::Error,
   {A::Ok, false, "a notice of the folder chooser, which an unattended run has not"}},
  {Q::ConfigurationNotSaved, "configuration-not-saved", &kWarningCaption, &cConfigNotSaved, B::Ok, I::Warning,
   {A::Ok, false, "a notice; the log keeps it"}},
  {Q::ServiceError, "service-error", &kWarningCaption, nullptr, B::Ok, I::Warning,
   {A::Ok, false, "a notice; the log keeps it"}},
  {Q::ServersNotRunning, "servers-not-running", &kWarningCaption, &cNotRunning, B::Ok, I::Warning,
   {A::Ok, false, "a notice; the unattended run ends with exit code 7 because nobody read it"}},
  {Q::OlderWebMail, "older-web-mail", &kWarningCaption, &cSetupRequireWebMail, B::Ok, I::Information,
   {A::Ok, false, "a notice; the log keeps it"}},
  {Q::RemovalComplete, "removal-complete", &cInformation, &cCompleteRemove, B::Ok, I::Information,
   {A::Ok, false, "a notice; the log keeps it"}},
  {Q::AnswersNotSaved, "answers-not-saved", &kWarningCaption, &kAnswersNotSavedText, B::Ok, I::Warning,
   {A::Ok, false, "a notice of a wizard run with saveanswers="}},
};
// clang-format on

// A question added to TQuestion without its row does not build; the rows' order is checked by
// SetupQuestionsTest.
static_assert(sizeof kRows / sizeof kRows[0] == static_cast<std::size_t>(TQuestion::AnswersNotSaved) + 1,
              "one row per question, in the order of TQuestion");

std::string CaptionOf(const TQuestionRow& row) { return FormatText(*row.Caption, {cName}); }

}  // namespace

std::span<const TQuestionRow> QuestionTable() { return kRows; }

const TQuestionRow& QuestionRow(TQuestion question) { return kRows[static_cast<std::size_t>(question)]; }

TMessageBox QuestionBox(TQuestion question, const std::vector<std::string>& arguments) {
  const TQuestionRow& row = QuestionRow(question);
  return {question, CaptionOf(row), row.Text != nullptr ? FormatText(*row.Text, arguments) : std::string(),
          row.Buttons, row.Icon};
}

TMessageBox NoticeBox(TQuestion question, const std::string& text) {
  const TQuestionRow& row = QuestionRow(question);
  return {question, CaptionOf(row), text, row.Buttons, row.Icon};
}

MessageAnswer Ask(TQuestion question, const std::vector<std::string>& arguments) {
  return CurrentUI().ShowMessage(QuestionBox(question, arguments));
}

bool AskYes(TQuestion question, const std::vector<std::string>& arguments) {
  return Ask(question, arguments) == MessageAnswer::Yes;
}

void Notify(TQuestion question, const std::vector<std::string>& arguments) { Ask(question, arguments); }

void NotifyText(TQuestion question, const std::string& text) { CurrentUI().ShowMessage(NoticeBox(question, text)); }

MessageAnswer UnattendedAnswer(TQuestion question, bool allowDowngrade) {
  const TUnattendedRule& rule = QuestionRow(question).Unattended;
  return rule.YesWhenDowngradeAllowed && allowDowngrade ? MessageAnswer::Yes : rule.Answer;
}
