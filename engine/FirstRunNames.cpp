#include "engine/FirstRunNames.h"

#include <string_view>

#include "base/StringUnit.h"
#include "base/TextFormat.h"
#include "texts/TextTable.h"

namespace {

bool IsAsciiLetterOrDigit(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// Letters, digits and hyphens; a byte beyond ASCII is a character of the ANSI code page
// (or part of one in a multi-byte code page), which the store keeps as it is.
bool IsLabelCharacter(char c) {
  return IsAsciiLetterOrDigit(c) || c == '-' || static_cast<unsigned char>(c) >= 0x80;
}

bool IsDomainLabel(std::string_view label) {
  if (label.empty() || label.front() == '-' || label.back() == '-') return false;
  for (const char c : label)
    if (!IsLabelCharacter(c)) return false;
  return true;
}

bool IsDomainSyntax(const std::string& name) {
  std::size_t from = 0;
  for (;;) {
    const std::size_t dot = name.find('.', from);
    const std::size_t end = dot == std::string::npos ? name.size() : dot;
    if (!IsDomainLabel(std::string_view(name).substr(from, end - from))) return false;
    if (dot == std::string::npos) return true;
    from = dot + 1;
  }
}

// Characters no folder name may hold, and ";", which separates the aliases of an account.
bool HoldsUserNameStopCharacter(const std::string& name) {
  constexpr std::string_view kStops = "\\/:*?\"<>|;";
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 32 || byte == 127 || kStops.find(c) != std::string_view::npos) return true;
  }
  return false;
}

TFirstRunProblem TooLong(TFirstRunField field, const std::string& pattern, std::size_t limit) {
  return {field, FormatText(pattern, {std::to_string(limit)})};
}

}  // namespace

TFirstRunProblem HostNameProblem(const std::string& hostName) {
  if (TrimText(hostName).size() > kHostNameMax)
    return TooLong(TFirstRunField::HostName, cWizardHostNameTooLong, kHostNameMax);
  return {};
}

TFirstRunProblem DomainNameProblem(const std::string& domain) {
  const std::string name = TrimText(domain);
  if (name.empty()) return {};
  if (name.size() > kDomainNameMax) return TooLong(TFirstRunField::Domain, cWizardDomainTooLong, kDomainNameMax);
  if (!IsDomainSyntax(name)) return {TFirstRunField::Domain, cWizardDomainInvalid};
  return {};
}

TFirstRunProblem UserNameProblem(const std::string& user) {
  const std::string name = TrimText(user);
  if (name.empty()) return {};
  if (name.size() > kUserNameMax) return TooLong(TFirstRunField::User, cWizardUserTooLong, kUserNameMax);
  // ". ." names no folder once Windows drops the trailing dots and blanks of a name.
  if (HoldsUserNameStopCharacter(name) || name.find_first_not_of(". ") == std::string::npos)
    return {TFirstRunField::User, cWizardUserInvalid};
  return {};
}

TFirstRunProblem PasswordProblem(const std::string& password) {
  if (password.size() > kPasswordMax) return TooLong(TFirstRunField::Password, cWizardPasswordTooLong, kPasswordMax);
  return {};
}

TFirstRunProblem FirstRunValueProblem(const std::string& hostName, const std::string& domain,
                                      const std::string& user, const std::string& password) {
  for (const TFirstRunProblem& problem :
       {HostNameProblem(hostName), DomainNameProblem(domain), UserNameProblem(user), PasswordProblem(password)}) {
    if (problem) return problem;
  }
  return {};
}

bool TutorialFieldsComplete(const std::string& host, const std::string& domain, const std::string& user,
                            const std::string& password, const std::string& confirmation) {
  return !TrimText(host).empty() && !TrimText(domain).empty() && !TrimText(user).empty() &&
         !TrimText(password).empty() && password == confirmation;
}

bool CutUserAtSign(std::string& user) {
  const std::size_t at = user.find('@');
  if (at == std::string::npos) return false;
  user.erase(at);
  return true;
}
