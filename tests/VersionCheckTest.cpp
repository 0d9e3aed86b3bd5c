// The new-version check: reading the products list, and the whole check against nginx and
// scripted servers (deadline, redirect loop, offered download addresses, cookie heads).
#include "tests/NetTestPeer.h"

#include <gtest/gtest.h>

#include "base/FileSystemBackend.h"
#include "base/FileSystemUnit.h"
#include "net/HTTPClientUnit.h"
#include "net/TLSLayer.h"
#include "net/VersionCheckUnit.h"
#include "tests/TestFolder.h"

namespace {

using nettest::TPeerConnection;
using nettest::TScriptedServer;

std::string ProductsList(const std::string& url) {
  return "<?xml version=\"1.0\"?>\r\n<products>\r\n"
         "<QM url=\"http://downloads.zarel.example/other.exe\" date=\"2026-01-01\">1.0.0</QM>\r\n"
         "<ZM url=\"" + url + "\" date=\"2026-11-30\">9.1.0</ZM>\r\n</products>\r\n";
}

TScriptedServer::TScript Serve(const std::string& response) {
  return [response](TPeerConnection& peer) {
    peer.ReadUntil("\r\n\r\n");
    peer.Send(response);
  };
}

// Runs the check with the temporary folder pointed at a fresh folder of the test.
struct TCheck {
  TestFolder Folder;
  TNewVersion Result;
  explicit TCheck(const std::string& address, int budgetMs = kVersionCheckBudgetMs) {
    nettest::TPrivateTemp temp(HostPath(Folder.path()));
    Result = CheckNewVersion(address, kProductCode, budgetMs);
  }
  bool FolderEmpty() const { return fsbackend::ListDirectory(HostPath(Folder.path()), "*").empty(); }
};

TEST(VersionCheckRules, OnlyWebDownloadAddressesAreOffered) {
  const struct {
    const char* url;
    bool found;
  } cases[] = {
      {"https://downloads.zarel.example/zarel-9.1.0.exe", true},
      {"http://downloads.zarel.example/zarel-9.1.0.exe", true},
      {"HTTP://DOWNLOADS.ZAREL.EXAMPLE/Z.EXE", true},
      {"file:///C:/Windows/System32/calc.exe", false},
      {"\\\\server\\share\\setup.exe", false},
      {"C:\\Windows\\notepad.exe", false},
      {"javascript:alert(1)", false},
      {"ftp://downloads.zarel.example/z.exe", false},
      {"", false},
  };
  for (const auto& c : cases) {
    const TNewVersion entry = ReadProductEntry(ProductsList(c.url), "ZM");
    EXPECT_EQ(entry.Found, c.found) << c.url;
    EXPECT_EQ(entry.Version, c.found ? "9.1.0" : "") << c.url;
    EXPECT_EQ(entry.DownloadUrl, c.found ? c.url : "") << c.url;
  }
  const TNewVersion entry = ReadProductEntry(ProductsList("https://d.zarel.example/z.exe"), "ZM");
  EXPECT_EQ(entry.Date, "2026-11-30");
  EXPECT_FALSE(ReadProductEntry(ProductsList("https://d.zarel.example/z.exe"), "XX").Found);
  EXPECT_FALSE(ReadProductEntry("<products><ZM>9.1.0</ZM></products>", "ZM").Found);
  EXPECT_FALSE(ReadProductEntry("", "ZM").Found);
}

TEST(VersionCheckExchange, ListReadAndItsFileDeleted) {
  TScriptedServer server(Serve("HTTP/1.0 200 OK\r\nContent-Type: text/xml\r\n\r\n" +
                               ProductsList("https://downloads.zarel.example/z.exe")));
  TCheck check("http://127.0.0.1:" + std::to_string(server.Port()) + "/products/QuenforProducts.xml");
  EXPECT_TRUE(check.Result.Found);
  EXPECT_EQ(check.Result.Version, "9.1.0");
  EXPECT_EQ(check.Result.DownloadUrl, "https://downloads.zarel.example/z.exe");
  EXPECT_TRUE(check.FolderEmpty());
}

TEST(VersionCheckExchange, TamperedListIsNotFound) {
  TScriptedServer server(Serve("HTTP/1.0 200 OK\r\n\r\n" + ProductsList("file://attacker/share/evil.exe")));
  TCheck check("http://127.0.0.1:" + std::to_string(server.Port()) + "/products/QuenforProducts.xml");
  EXPECT_FALSE(check.Result.Found);
  EXPECT_EQ(check.Result.DownloadUrl, "");
  EXPECT_TRUE(check.FolderEmpty());
}

TEST(VersionCheckExchange, CookieHeadBeforeTheListStillReads) {
  TScriptedServer server(Serve("HTTP/1.1 200 OK\r\nSet-Cookie: visit=1\r\n\r\n" +
                               ProductsList("http://downloads.zarel.example/z.exe")));
  TCheck check("http://127.0.0.1:" + std::to_string(server.Port()) + "/products/QuenforProducts.xml");
  EXPECT_TRUE(check.Result.Found);
  EXPECT_EQ(check.Result.Version, "9.1.0");
}

TEST(VersionCheckExchange, FailuresAreNotFound) {
  TScriptedServer missing(Serve("HTTP/1.0 404 Not Found\r\n\r\n"));
  EXPECT_FALSE(TCheck("http://127.0.0.1:" + std::to_string(missing.Port()) + "/x").Result.Found);
  TScriptedServer empty(Serve("HTTP/1.0 200 OK\r\n\r\n"));
  EXPECT_FALSE(TCheck("http://127.0.0.1:" + std::to_string(empty.Port()) + "/x").Result.Found);
  TScriptedServer loop(Serve("HTTP/1.0 302 Found\r\nLocation: /again\r\n\r\n"));
  EXPECT_FALSE(TCheck("http://127.0.0.1:" + std::to_string(loop.Port()) + "/x").Result.Found);
  EXPECT_EQ(loop.Transcripts(33).size(), 33u);
  EXPECT_FALSE(TCheck("http://127.0.0.1:" + std::to_string(nettest::ClosedPort()) + "/x").Result.Found);
  EXPECT_FALSE(TCheck("ftp://127.0.0.1/products/QuenforProducts.xml").Result.Found);
}

TEST(VersionCheckExchange, SilentServerEndsAtTheDeadline) {
  // Answers the head and then stalls in the middle of the list.
  TScriptedServer stalls([](TPeerConnection& peer) {
    peer.ReadUntil("\r\n\r\n");
    peer.Send("HTTP/1.0 200 OK\r\n\r\n<products><ZM url=\"http://d.zarel.example/z.exe\">9.1.0</ZM>");
    peer.StaySilent();
  });
  TScriptedServer silent([](TPeerConnection& peer) { peer.StaySilent(); });
  for (const TScriptedServer* server : {&silent, &stalls}) {
    const auto start = std::chrono::steady_clock::now();
    TCheck check("http://127.0.0.1:" + std::to_string(server->Port()) + "/x", 1500);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_FALSE(check.Result.Found);
    EXPECT_TRUE(check.FolderEmpty());
    EXPECT_GE(elapsed, std::chrono::milliseconds(1400));
    EXPECT_LT(elapsed, std::chrono::seconds(6));
  }
}

std::string Nginx(const std::string& scheme, const std::string& path) {
  return scheme + "://127.0.0.1:" + nettest::NetPeer(scheme == "https" ? "HTTPS_PORT" : "HTTP_PORT") + path;
}

TEST(VersionCheckAgainstNginx, PlainRedirectedAndSecure) {
  REQUIRE_NET_PEERS();
  const nettest::TTrustTestAuthority trust;
  for (const char* path : {"/products/QuenforProducts.xml", "/moved/relative.xml", "/cookie/QuenforProducts.xml"}) {
    TCheck check(Nginx("http", path));
    EXPECT_TRUE(check.Result.Found) << path;
    EXPECT_EQ(check.Result.Version, "9.1.0") << path;
    EXPECT_EQ(check.Result.DownloadUrl, "https://downloads.zarel.example/zarel-9.1.0.exe") << path;
    EXPECT_EQ(check.Result.Date, "2026-11-30") << path;
    EXPECT_TRUE(check.FolderEmpty()) << path;
  }
  // Over https from the server named (its authority is trusted inside this test only);
  // the same list from a server that cannot prove its name is "not found".
  ASSERT_TRUE(TLSAvailable());
  TCheck secure("https://localhost:" + nettest::NetPeer("HTTPS_PORT") + "/products/QuenforProducts.xml");
  EXPECT_TRUE(secure.Result.Found);
  EXPECT_EQ(secure.Result.Version, "9.1.0");
  TCheck impostor("https://localhost:" + nettest::NetPeer("WRONGNAME_PORT") + "/products/QuenforProducts.xml");
  EXPECT_FALSE(impostor.Result.Found);
  EXPECT_TRUE(impostor.FolderEmpty());
}

}  // namespace
