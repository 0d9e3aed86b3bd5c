#include "tools/zcfg/ConfigReport.h"

#include <cmath>
#include <cstdio>

#include "serverconfig/AccountStore.h"
#include "serverconfig/DomainTable.h"
#include "serverconfig/ServerStore.h"

namespace {

// Days from 1 March 0000 (proleptic Gregorian) to 30 December 1899.
constexpr long kStoreEpochDays = 693899;

void CivilFromDays(long days, long& year, unsigned& month, unsigned& day) {
  // The usual civil-from-days conversion, in 400-year eras counted from 1 March 0000.
  const long era = (days >= 0 ? days : days - 146096) / 146097;
  const long dayOfEra = days - era * 146097;
  const long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const long monthIndex = (5 * dayOfYear + 2) / 153;
  day = static_cast<unsigned>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
  month = static_cast<unsigned>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
  year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
}

const char* AccountType(std::uint8_t type) {
  return type == account::kUserAccount ? "user" : "other";
}

void ShowAccounts(const std::string& domain, std::ostream& out) {
  TAccountList list;
  if (!OpenAccountList(domain, list, "", 0, 0)) {
    out << "    (no accounts)\n";
    return;
  }
  while (!NextAccount(list)) {
    const TAccountRecord& a = list.Account;
    out << "    account " << list.Index << ": type " << static_cast<int>(a.Get(account::kType))
        << " (" << AccountType(a.Get(account::kType)) << ")\n"
        << "      aliases:   " << a.Get(account::kAliases) << "\n"
        << "      name:      " << a.Get(account::kAccountName) << "\n"
        << "      full name: " << a.Get(account::kFullName) << "\n"
        << "      rights:    " << static_cast<int>(a.Get(account::kRights))
        << (a.Get(account::kRights) == account::kAdministratorRights ? " (administrator)" : "")
        << "\n"
        << "      mailbox:   " << GetMailboxPath(a.Get(account::kMailboxPath), false, "") << "\n"
        << "      expires:   "
        << (a.Get(account::kExpires) != 0 ? FormatStoreDate(a.Get(account::kExpiryDate))
                                          : std::string("never"))
        << "\n";
  }
  CloseAccountList(list);
}

}  // namespace

std::string FormatStoreDate(double days) {
  if (!std::isfinite(days) || std::fabs(days) > 3e6) return "invalid date";
  long year;
  unsigned month, day;
  CivilFromDays(static_cast<long>(std::floor(days)) + kStoreEpochDays, year, month, day);
  char text[32];
  std::snprintf(text, sizeof text, "%04ld-%02u-%02u", year, month, day);
  return text;
}

bool ShowConfiguration(const std::string& configFolder, std::ostream& out) {
  ResetServerStore();
  SetConfigFolder(configFolder);
  if (!LoadServerSettings(true, false)) {
    out << "cannot load the settings of " << ConfigFolder() << "\n";
    return false;
  }
  // The store takes the account database's domains at its first domain search.
  FindDomain(std::string());
  const TServerSettings& s = ServerSettings();
  out << "configuration folder: " << ConfigFolder() << "\n"
      << "host name:    " << s.Get(settings::kHostName) << "\n"
      << "ports:        SMTP " << s.Get(settings::kSmtpPort) << ", POP3 " << s.Get(settings::kPop3Port)
      << ", IMAP " << s.Get(settings::kImapPort) << ", HTTP " << s.Get(settings::kHttpPort)
      << ", control " << s.Get(settings::kControlPort) << ", LDAP " << s.Get(settings::kLdapPort)
      << "\n"
      << "temp folder:  " << TempFolder() << "\n"
      << "mail folder:  " << MailFolder() << "\n"
      << "logs folder:  " << LogsFolder() << "\n"
      << "console:      " << s.Get(settings::kConsoleLayout) << "\n"
      << "domains:      " << DomainCount() << "\n";
  for (int i = 0; i < DomainCount(); ++i) {
    const std::string name = GetDomainName(i);
    const std::string address = GetDomainAddress(i);
    out << "  domain " << i << ": " << name << "\n"
        << "    address:  " << (address.empty() ? "0.0.0.0" : address) << "\n"
        << "    bindings: " << GetDomainBindings(i) << "\n";
    ShowAccounts(name, out);
  }
  return true;
}
