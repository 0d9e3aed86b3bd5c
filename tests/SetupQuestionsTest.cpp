// Every box the setup can show, by identity: each has its caption and text, buttons its
// unattended answer is one of, and the reason for that answer; the answers an unattended run
// documents are the table's.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "base/StringUnit.h"
#include "engine/SetupQuestions.h"
#include "texts/TextTable.h"

namespace {

std::vector<TQuestion> EveryQuestion() {
  std::vector<TQuestion> questions;
  for (int i = 0; i <= static_cast<int>(TQuestion::AnswersNotSaved); ++i) questions.push_back(static_cast<TQuestion>(i));
  return questions;
}

std::set<MessageAnswer> AnswersOf(MessageButtons buttons) {
  switch (buttons) {
    case MessageButtons::Ok: return {MessageAnswer::Ok};
    case MessageButtons::YesNo:
    case MessageButtons::YesNoDefaultNo: return {MessageAnswer::Yes, MessageAnswer::No};
    case MessageButtons::YesNoCancel: return {MessageAnswer::Yes, MessageAnswer::No, MessageAnswer::Cancel};
    case MessageButtons::OkCancel: return {MessageAnswer::Ok, MessageAnswer::Cancel};
  }
  return {};
}

// The notices whose whole text is the caller's: a failure's own words, a service's error.
const std::set<TQuestion> kCallersText = {TQuestion::Failure, TQuestion::Cancelled, TQuestion::ServiceError};

TEST(SetupQuestions, EveryIdentityHasATextAndAnUnattendedAnswerWithItsReason) {
  std::set<std::string> names;
  ASSERT_EQ(QuestionTable().size(), EveryQuestion().size());
  for (const TQuestion question : EveryQuestion()) {
    const TQuestionRow& row = QuestionRow(question);
    const std::string name = row.Name != nullptr ? row.Name : "";
    SCOPED_TRACE(name);
    ASSERT_EQ(row.Question, question);
    EXPECT_FALSE(name.empty());
    EXPECT_TRUE(names.insert(name).second) << "named twice";

    const TMessageBox box = QuestionBox(question, {"C:\\Zarel\\", "a reason"});
    EXPECT_EQ(box.Question, question);
    EXPECT_FALSE(box.Caption.empty());
    EXPECT_EQ(box.Buttons, row.Buttons);
    if (kCallersText.count(question) != 0) {
      EXPECT_EQ(row.Buttons, MessageButtons::Ok) << "only a notice may take its text from the caller";
      EXPECT_EQ(NoticeBox(question, "what failed").Text, "what failed");
    } else {
      ASSERT_NE(row.Text, nullptr) << "no text";
      EXPECT_FALSE(TrimText(box.Text).empty()) << "an empty text";
    }

    const std::set<MessageAnswer> possible = AnswersOf(row.Buttons);
    EXPECT_EQ(possible.count(UnattendedAnswer(question, false)), 1u) << "answered with a button the box lacks";
    EXPECT_EQ(possible.count(UnattendedAnswer(question, true)), 1u) << "answered with a button the box lacks";
    EXPECT_TRUE(row.Unattended.Reason != nullptr && *row.Unattended.Reason != '\0') << "no reason";
  }
}

// The README's table of an unattended run's answers; allowdowngrade=yes changes one answer.
TEST(SetupQuestions, UnattendedAnswersAreTheDocumentedOnes) {
  struct Row {
    TQuestion question;
    MessageAnswer answer, withAllowDowngrade;
  };
  const Row rows[] = {
      {TQuestion::Opening, MessageAnswer::Yes, MessageAnswer::Yes},
      {TQuestion::Uninstall, MessageAnswer::Yes, MessageAnswer::Yes},
      {TQuestion::Downgrade, MessageAnswer::No, MessageAnswer::Yes},
      {TQuestion::NewerVersion, MessageAnswer::No, MessageAnswer::No},
      {TQuestion::Cancel, MessageAnswer::No, MessageAnswer::No},
      {TQuestion::CreateFolder, MessageAnswer::No, MessageAnswer::No},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(UnattendedAnswer(row.question, false), row.answer) << QuestionRow(row.question).Name;
    EXPECT_EQ(UnattendedAnswer(row.question, true), row.withAllowDowngrade) << QuestionRow(row.question).Name;
  }
  // Every other box is a notice: OK is all there is to answer.
  for (const TQuestion question : EveryQuestion()) {
    if (QuestionRow(question).Buttons != MessageButtons::Ok) continue;
    EXPECT_EQ(UnattendedAnswer(question, true), MessageAnswer::Ok) << QuestionRow(question).Name;
  }
}

// The boxes show the words they always showed: caption and text from the text table.
TEST(SetupQuestions, BoxesCarryTheirTextTableWords) {
  TMessageBox box = QuestionBox(TQuestion::Opening, {cName + " 8.2.0"});
  EXPECT_EQ(box.Caption, "Zarel Mail Server Setup");
  EXPECT_EQ(box.Text, "This will install Zarel Mail Server 8.2.0. Do you wish to continue?");
  EXPECT_EQ(box.Buttons, MessageButtons::YesNo);
  EXPECT_EQ(box.Icon, MessageIcon::Question);

  box = QuestionBox(TQuestion::Downgrade, {"9.0.0", cName, "8.2.0"});
  EXPECT_EQ(box.Buttons, MessageButtons::YesNoDefaultNo);
  EXPECT_EQ(box.Icon, MessageIcon::Warning);
  EXPECT_NE(box.Text.find("9.0.0"), std::string::npos) << box.Text;

  box = QuestionBox(TQuestion::Cancel);
  EXPECT_EQ(box.Caption, "Exit Setup");
  EXPECT_EQ(box.Text, "Do you wish to cancel this installation?");

  box = NoticeBox(TQuestion::Failure, "Setup.Dat is missing");
  EXPECT_EQ(box.Caption, cError);
  EXPECT_EQ(box.Icon, MessageIcon::Error);
  EXPECT_EQ(box.Text, "Setup.Dat is missing");
}

}  // namespace
