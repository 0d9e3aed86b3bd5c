// A small HTTP/1.0 client that downloads one address into a new temporary file, following
// redirects. Used by the new-version check. Portable.
#pragma once

#include <cstdint>
#include <string>

#include "net/NetBackend.h"
#include "net/NetDeadline.h"

constexpr int kHttpReadWaitMs = 300000;
constexpr std::size_t kHttpPieceSize = 2048;
// Redirects followed after the first request.
constexpr int kHttpMaxRedirects = 32;
// A longer head or download is abandoned: the products list is small, and a hostile
// server must not fill the memory or the disk.
constexpr std::size_t kHttpMaxHeadBytes = 65536;
constexpr std::size_t kHttpMaxDownloadBytes = 16u * 1024 * 1024;

// One request target, split out of an address (and a proxy).
struct THttpTarget {
  bool Valid = false;  // false: not an http:// or https:// address
  bool Secure = false;
  bool HasUser = false;
  std::string User, Password;
  std::string HostName;  // set when the host is a name
  std::string Address;   // set when the host is a numeric address (IPv6 without brackets)
  std::uint16_t Port = 80;
  std::string Path;       // request path (with a proxy: the whole address)
  std::string HostValue;  // for the Host header
  // Scheme, host and port of the server the request is meant for; credentials and
  // cookies are only sent on while this stays the same.
  std::string Origin;
};

THttpTarget SplitHttpAddress(const std::string& address, const std::string& proxy);
// "%41" -> "A"; a "%" not followed by two hex digits stays as it is.
std::string PercentDecode(const std::string& text);
// Host name or address and port out of an authority ("host", "host:81", "1.2.3.4:8080",
// "[::1]:8080"); the port stays as given when none is written.
void SplitAuthority(const std::string& authority, std::string& hostName, std::string& address,
                    std::uint16_t& port);
// "." and ".." segments of a path removed; ".." above the root stays at the root.
std::string RemoveDotSegments(const std::string& path);
// A Location value without "://" against the request path it answers.
std::string ResolveRelativeLocation(const std::string& requestPath, const std::string& location);
// The address a redirect leads to, or empty when it must not be followed (another scheme).
std::string RedirectAddress(const THttpTarget& target, const std::string& proxy,
                            const std::string& location);
std::string Base64Encode(const std::string& data);

// Splits received bytes at the empty line; false while it has not arrived. The head keeps
// the CR LF of its last line.
bool SplitResponseHead(const std::string& received, std::string& head, std::string& bodyStart);
// The trimmed value of the first header line called name (letter case ignored), or empty.
std::string HeadFieldValue(const std::string& head, const std::string& name);
// The status line says " 200 OK" (letter case ignored, any HTTP version).
bool HeadIsOK(const std::string& head);
// The status line carries 301 or 302.
bool HeadIsRedirect(const std::string& head);
// Drops the Authorization and Cookie lines from a block of header lines.
std::string WithoutCredentials(const std::string& headerLines);

// "yyyymmddhhnnss" + the counter in four hex digits + ".tmp".
std::string DownloadFileName(const netbackend::TLocalTime& time, unsigned counter);

// Downloads address into a new file in the temporary folder; the path, or empty when
// nothing was written. keepHead writes the response head first; method defaults to GET;
// with a proxy the whole address is requested from it; extraHeaders are whole lines with
// CR LF. An https address is only fetched from a server that proves to be the one named,
// and never redirected to plain http. Everything (look-ups, connects, handshakes, every
// wait) ends by the deadline, which abandons the download.
std::string HttpGetToFile(const std::string& address, bool keepHead = false,
                          const std::string& method = std::string(),
                          const std::string& proxy = std::string(), int redirectCount = 0,
                          const std::string& extraHeaders = std::string(),
                          const TNetDeadline& deadline = TNetDeadline());
