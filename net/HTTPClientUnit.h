// A small HTTP/1.0 client that downloads one address into a new temporary file, following
// redirects. Used by the new-version check. Portable.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
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

// The chunked transfer coding, decoded piece by piece as the body arrives: hex size lines
// (extensions after ';' are ignored), each chunk's data followed by CR LF, a zero size, trailer
// lines and an empty line. Anything else in its place breaks the body; so does a size line or
// trailer line longer than kMaxLine, or a trailer longer than kHttpMaxHeadBytes.
class TChunkedDecoder {
 public:
  static constexpr std::size_t kMaxLine = 1024;
  // Appends the data of the chunks in piece to body. False once the coding is broken; bytes
  // after the end of the body are not taken.
  bool Feed(const std::string& piece, std::string& body);
  // The last chunk and the trailer's empty line have arrived.
  bool Finished() const { return state_ == TState::Done; }

 private:
  enum class TState { Size, Data, DataEnd, Trailer, Done, Broken };
  bool TakeSizeLine();
  bool TakeTrailerLine();
  TState state_ = TState::Size;
  std::string line_;          // the size or trailer line so far, without its CR LF
  std::uint64_t left_ = 0;    // data bytes of the current chunk still to come
  std::size_t trailerBytes_ = 0;
};

// One connection to a server as the download uses it. The real one is a socket (with a TLS
// session for https); tests and the fuzz harness hand in their own through SetHttpLinkMaker.
class THttpLink {
 public:
  virtual ~THttpLink() = default;
  virtual bool Open(const THttpTarget& target) = 0;
  virtual bool SendAll(const std::string& text) = 0;
  // One piece; empty at the end of the stream, on error, or when a wait expires (which
  // closes the connection). Ended() tells a proper end from the others.
  virtual std::string ReceivePiece() = 0;
  virtual void Close() = 0;
  // The server ended the response itself (not a time-out, an error or the deadline).
  virtual bool Ended() const = 0;
  virtual bool DeadlineReached() const = 0;
};
using THttpLinkMaker = std::function<std::unique_ptr<THttpLink>(const TNetDeadline&)>;
// Every later download connects through links the maker makes; an empty maker restores the
// sockets.
void SetHttpLinkMaker(THttpLinkMaker maker);

// "yyyymmddhhnnss" + the counter in four hex digits + ".tmp".
std::string DownloadFileName(const netbackend::TLocalTime& time, unsigned counter);

// Downloads address into a new file in the temporary folder; the path, or empty when
// nothing was written. The body ends where the head says: after Content-Length bytes (later
// bytes are not taken), at the last chunk of a chunked body, otherwise where the server ends
// the connection. A body in a transfer coding other than chunked, or with a length that is not
// a plain number, is refused. keepHead writes the response head first; method defaults to GET;
// with a proxy the whole address is requested from it; extraHeaders are whole lines with
// CR LF. An https address is only fetched from a server that proves to be the one named,
// and never redirected to plain http. Everything (look-ups, connects, handshakes, every
// wait) ends by the deadline, which abandons the download.
std::string HttpGetToFile(const std::string& address, bool keepHead = false,
                          const std::string& method = std::string(),
                          const std::string& proxy = std::string(), int redirectCount = 0,
                          const std::string& extraHeaders = std::string(),
                          const TNetDeadline& deadline = TNetDeadline());
