// The first run's values against the fields of the store that keep them: the one check of the
// first-run page, the unattended settings and ApplyTutorialSettings.
#include <gtest/gtest.h>

#include <string>

#include "engine/FirstRunNames.h"
#include "texts/TextTable.h"

namespace {

using F = TFirstRunField;

TEST(FirstRunNames, NamesStayInsideTheStoreAndItsFields) {
  struct Row {
    std::string host, domain, user, password;
    F field;
  };
  const std::string host127(127, 'h');
  const std::string label63(63, 'a');
  const Row rows[] = {
      {"mail.example.com", "example.com", "admin", "secret", F::None},
      {" mail.example.com ", " example.com ", " admin ", "  pass  ", F::None},
      {"localhost", "localhost", "john.smith", "pw", F::None},
      {"h", "xn--bcher-kva.example", "a-b_c", "pw", F::None},
      {"h", "my-domain.example", "O'Brien", "pw", F::None},
      // International names as the store keeps them: in the ANSI code page.
      {"h", "b\xFC" "cher.example", "J\xF6rg", "p\xE4ss", F::None},
      {"h", "a.b.c.d.e.example", "a b", "pw", F::None},
      // Blank values wait for the completeness check.
      {"", "", "", "", F::None},
      // Lengths: what each field keeps is accepted, one more is not.
      {host127, "example.com", "admin", "pw", F::None},
      {host127 + "h", "example.com", "admin", "pw", F::HostName},
      {"  " + host127 + "  ", "example.com", "admin", "pw", F::None},  // trimmed as stored
      {"h", std::string(91, 'a'), "admin", "pw", F::None},
      {"h", std::string(92, 'a'), "admin", "pw", F::Domain},
      {"h", label63 + "." + label63 + ".example", "admin", "pw", F::Domain},
      {"h", "example.com", std::string(127, 'u'), "pw", F::None},
      {"h", "example.com", std::string(128, 'u'), "pw", F::User},
      {"h", "example.com", std::string(300, 'u'), "pw", F::User},
      {"h", "example.com", "admin", std::string(127, 'p'), F::None},
      {"h", "example.com", "admin", std::string(128, 'p'), F::Password},
      {"h", "example.com", "admin", " " + std::string(127, 'p'), F::Password},  // blanks count
      // Domains: labels of letters, digits and hyphens between dots.
      {"h", "admin@new.test", "admin", "pw", F::Domain},
      {"h", "new test", "admin", "pw", F::Domain},
      {"h", "new.test;other.test", "admin", "pw", F::Domain},
      {"h", "new_test.example", "admin", "pw", F::Domain},
      {"h", "-new.test", "admin", "pw", F::Domain},
      {"h", "new-.test", "admin", "pw", F::Domain},
      {"h", "..\\..\\Windows", "admin", "pw", F::Domain},
      {"h", "a\\b", "admin", "pw", F::Domain},
      {"h", "c:x", "admin", "pw", F::Domain},
      {"h", "example.com/x", "admin", "pw", F::Domain},
      {"h", "example..com", "admin", "pw", F::Domain},
      {"h", "..", "admin", "pw", F::Domain},
      {"h", ".example.com", "admin", "pw", F::Domain},
      {"h", "example.com.", "admin", "pw", F::Domain},
      {"h", "exa*mple.com", "admin", "pw", F::Domain},
      {"h", "exa\tmple.com", "admin", "pw", F::Domain},
      {"h", "ex|a<m>p?l\"e", "admin", "pw", F::Domain},
      // User names: no path character, no alias separator, not dots and blanks alone.
      {"h", "example.com", ";admin", "pw", F::User},
      {"h", "example.com", "ad;min", "pw", F::User},
      {"h", "example.com", ". .", "pw", F::User},
      {"h", "example.com", "..", "pw", F::User},
      {"h", "example.com", " . ", "pw", F::User},
      {"h", "example.com", "..\\..\\Windows", "pw", F::User},
      {"h", "example.com", "a\\b", "pw", F::User},
      {"h", "example.com", "c:x", "pw", F::User},
      {"h", "example.com", "a/b", "pw", F::User},
      {"h", "example.com", "ad\x01min", "pw", F::User},
      {"h", "example.com", "a*", "pw", F::User},
      // The page's order: host name, domain, user name, password.
      {host127 + "h", "a\\b", "c:x", std::string(128, 'p'), F::HostName},
      {"h", "a\\b", "c:x", std::string(128, 'p'), F::Domain},
      {"h", "example.com", "c:x", std::string(128, 'p'), F::User},
  };
  for (const Row& row : rows) {
    const TFirstRunProblem problem = FirstRunValueProblem(row.host, row.domain, row.user, row.password);
    EXPECT_EQ(problem.Field, row.field) << row.host.size() << "|" << row.domain << "|" << row.user << "|"
                                        << row.password.size();
    EXPECT_EQ(static_cast<bool>(problem), row.field != F::None);
    EXPECT_EQ(problem.Text.empty(), row.field == F::None) << problem.Text;
  }
}

TEST(FirstRunNames, EachRefusalNamesItsRuleOrItsLimit) {
  EXPECT_EQ(HostNameProblem(std::string(128, 'h')).Text, "The hostname must not be longer than 127 characters.");
  EXPECT_EQ(DomainNameProblem(std::string(92, 'd')).Text, "The domain must not be longer than 91 characters.");
  EXPECT_EQ(UserNameProblem(std::string(300, 'u')).Text, "The username must not be longer than 127 characters.");
  EXPECT_EQ(PasswordProblem(std::string(128, 'p')).Text, "The password must not be longer than 127 characters.");
  EXPECT_EQ(DomainNameProblem("admin@new.test").Text, cWizardDomainInvalid);
  EXPECT_EQ(UserNameProblem(";admin").Text, cWizardUserInvalid);
  // The limits are the store's fields.
  EXPECT_EQ(kHostNameMax, 127u);
  EXPECT_EQ(kDomainNameMax, 91u);
  EXPECT_EQ(kUserNameMax, 127u);
  EXPECT_EQ(kPasswordMax, 127u);
}

}  // namespace
