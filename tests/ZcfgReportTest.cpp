// zcfg show: the report of a configuration folder built with the store's own code.
#include <sstream>

#include "serverconfig/AccountStore.h"
#include "serverconfig/DomainTable.h"
#include "tests/ServerSettingsTestFixture.h"
#include "tools/zcfg/ConfigReport.h"

namespace {

class ZcfgReportTest : public StoreTest {};

TEST_F(ZcfgReportTest, ShowsSettingsDomainsAndAccountsButNoPassword) {
  ServerSettings().Set(settings::kHostName, "mx.example.org");
  ServerSettings().Set(settings::kSmtpPort, 2525);
  ServerSettings().Set(settings::kConsoleLayout, "basic.xml");
  AddDomain("example.com");
  AddDomain("other.example");
  SetDomainAddress(1, "192.0.2.8");
  TAccountRecord admin;
  admin.Set(account::kAliases, "admin;postmaster");
  admin.Set(account::kAccountName, "admin");
  admin.Set(account::kFullName, "Admin");
  admin.Set(account::kPassword, "S3cret-Pass");
  admin.Set(account::kMailboxPath, "example.com\\admin\\");
  admin.Set(account::kRights, 1);
  admin.Set(account::kExpires, 1);
  admin.Set(account::kExpiryDate, 45658.0);
  ASSERT_TRUE(SaveAccount(0, admin, -1, false));
  ASSERT_TRUE(SaveServerSettings());

  std::ostringstream out;
  ASSERT_TRUE(ShowConfiguration(Config(), out));
  const std::string report = out.str();
  for (const std::string& expected :
       {std::string("host name:    mx.example.org"),
        std::string("SMTP 2525, POP3 110, IMAP 143, HTTP 32000, control 32001, LDAP 389"),
        "mail folder:  " + Config() + "..\\mail\\", std::string("console:      basic.xml"),
        std::string("domains:      2"), std::string("domain 0: example.com"),
        std::string("domain 1: other.example"), std::string("address:  192.0.2.8"),
        std::string("account 0: type 0 (user)"), std::string("aliases:   admin;postmaster"),
        std::string("rights:    1 (administrator)"), std::string("expires:   2025-01-01"),
        std::string("example.com\\admin\\")}) {
    EXPECT_NE(report.find(expected), std::string::npos) << expected << "\n" << report;
  }
  EXPECT_EQ(report.find("S3cret"), std::string::npos);
}

TEST_F(ZcfgReportTest, AFolderWithoutSettingsIsReported) {
  std::ostringstream out;
  EXPECT_FALSE(ShowConfiguration(Root() + "nothing", out));
  EXPECT_NE(out.str().find("cannot load"), std::string::npos);
}

TEST(StoreDateTest, FormatsDaysSince1899) {
  const std::pair<double, const char*> rows[] = {
      {0.0, "1899-12-30"}, {2.0, "1900-01-01"}, {36526.0, "2000-01-01"}, {45658.75, "2025-01-01"},
      {-1.0, "1899-12-29"}, {1e300, "invalid date"}};
  for (const auto& [days, text] : rows) EXPECT_EQ(FormatStoreDate(days), text) << days;
}

}  // namespace
