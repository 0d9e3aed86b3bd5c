#include "net/HTTPClientUnit.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <vector>

#include "base/FileSystemUnit.h"
#include "base/StringUnit.h"
#include "net/CustomWinSocket.h"
#include "net/DNSResolver.h"
#include "net/TLSLayer.h"

namespace {

// Every download attempt of the process, redirects included, gets its own number.
std::atomic<unsigned> downloadCounter{0};

// A name can only be taken when it is new; an existing file (another setup running in the
// same second) moves on to the next number this many times.
constexpr int kFileNameTries = 16;

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
  return text.size() >= prefix.size() && LowerCase(text.substr(0, prefix.size())) == LowerCase(prefix);
}

bool EndsWithLetter(const std::string& text) {
  if (text.empty()) return false;
  const char c = text.back();
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The address as it stands in a URL: IPv6 literals in brackets.
std::string UrlHost(const std::string& hostName, const std::string& address) {
  if (!hostName.empty()) return hostName;
  return address.find(':') != std::string::npos ? "[" + address + "]" : address;
}

std::string StatusLine(const std::string& head) {
  const std::size_t end = head.find("\r\n");
  return head.substr(0, end);
}

// A header value that carries a line break of its own would start lines of its own in the
// next request (a cookie) or in its request line (a location); such a value is not used.
bool HasControlCharacters(const std::string& value) {
  for (const char c : value)
    if ((static_cast<unsigned char>(c) < ' ' && c != '\t') || c == '\x7f') return true;
  return false;
}

// One connection, plain or through a TLS session; every wait ends by the deadline.
class THttpConnection final : public THttpLink {
 public:
  explicit THttpConnection(const TNetDeadline& deadline) : deadline_(deadline) { socket_.Deadline = deadline; }

  bool Open(const THttpTarget& target) override {
    try {
      socket_.Open(target.HostName, target.Address, target.Port);
    } catch (const ESocketError&) {
      return false;
    }
    socket_.TimeOut = kHttpReadWaitMs;
    if (!target.Secure) return true;
    // Without a session, or with a server that cannot prove to be the one asked for, an
    // https address is not fetched at all: sending the request in clear would give away
    // what was meant to be protected, and an answer from anyone else is worth nothing.
    secure_ = true;
    if (!tls_.Create(socket_, target.HostName.empty() ? target.Address : target.HostName) || !tls_.Handshake()) {
      Close();
      return false;
    }
    return true;
  }

  bool SendAll(const std::string& text) override {
    std::size_t done = 0;
    while (done < text.size()) {
      if (!socket_.Connected()) return false;
      const int chunk = static_cast<int>(std::min<std::size_t>(text.size() - done, 65536));
      const int sent = secure_ ? tls_.Send(text.data() + done, chunk) : socket_.SendBuf(text.data() + done, chunk);
      if (sent <= 0) return false;
      done += static_cast<std::size_t>(sent);
    }
    return true;
  }

  std::string ReceivePiece() override {
    if (!socket_.Connected()) return {};
    char buffer[kHttpPieceSize];
    int got = -1;
    if (secure_) {
      got = tls_.Receive(buffer, sizeof buffer);
    } else if (socket_.WaitForData(kHttpReadWaitMs)) {
      // Readable: 0 is the peer's end of the stream, -1 an error (a reset included).
      got = netbackend::ReceiveBytes(socket_.Handle(), buffer, sizeof buffer);
    }
    if (got <= 0) {
      ended_ = got == 0 && !deadline_.Passed();
      Close();
      return {};
    }
    return std::string(buffer, static_cast<std::size_t>(got));
  }

  void Close() override {
    tls_.Free();
    socket_.Close();
  }

  bool Ended() const override { return ended_; }
  bool DeadlineReached() const override { return deadline_.Passed(); }

 private:
  TNetDeadline deadline_;
  TCustomWinSocket socket_;
  TTLSSession tls_;
  bool secure_ = false;
  bool ended_ = false;
};

THttpLinkMaker& LinkMaker() {
  static THttpLinkMaker maker;
  return maker;
}

std::unique_ptr<THttpLink> MakeLink(const TNetDeadline& deadline) {
  if (LinkMaker()) return LinkMaker()(deadline);
  return std::make_unique<THttpConnection>(deadline);
}

std::string TemporaryFolder() {
  const std::string folder = GetSpecialFolder(SpecialFolder::Temporary, false);
  ForceDirectories(folder);
  return folder;
}

// A new file in the temporary folder, named after the time and the download counter.
std::FILE* CreateDownloadFile(std::string& path) {
  const std::string folder = TemporaryFolder();
  for (int attempt = 0; attempt < kFileNameTries; ++attempt) {
    const unsigned counter = attempt == 0 ? downloadCounter.load() : ++downloadCounter;
    path = folder + DownloadFileName(netbackend::LocalTimeNow(), counter);
    if (std::FILE* file = netbackend::CreateNewFile(path)) return file;
  }
  path.clear();
  return nullptr;
}

struct TAttemptResult {
  std::string FilePath;
  std::string NextAddress;  // a redirect to follow
  std::string ExtraHeaders;
  bool KeepHead = false;
};

// How the head says the body ends.
struct TBodyFraming {
  enum TKind { UntilClose, Length, Chunked, Refused } Kind = UntilClose;
  std::uint64_t Bytes = 0;  // with Length
};

TBodyFraming FramingOf(const std::string& head) {
  TBodyFraming framing;
  // A transfer coding takes precedence over a length; only chunked is understood.
  const std::string coding = LowerCase(HeadFieldValue(head, "Transfer-Encoding"));
  if (!coding.empty()) {
    framing.Kind = coding == "chunked" ? TBodyFraming::Chunked : TBodyFraming::Refused;
    return framing;
  }
  const std::string length = HeadFieldValue(head, "Content-Length");
  if (length.empty()) return framing;
  if (length.size() > 9 || length.find_first_not_of("0123456789") != std::string::npos) {
    framing.Kind = TBodyFraming::Refused;  // no telling where the body ends
    return framing;
  }
  framing.Kind = TBodyFraming::Length;
  framing.Bytes = std::stoull(length);
  return framing;
}

// The body's bytes in piece, as the framing has them; false when the body is broken. Sets
// complete once the body has ended as its head said.
bool TakeBody(const TBodyFraming& framing, TChunkedDecoder& chunks, std::uint64_t& received,
              const std::string& piece, std::string& data, bool& complete) {
  data.clear();
  switch (framing.Kind) {
    case TBodyFraming::Chunked:
      if (!chunks.Feed(piece, data)) return false;
      complete = chunks.Finished();
      break;
    case TBodyFraming::Length:
      data = piece.substr(0, static_cast<std::size_t>(std::min<std::uint64_t>(piece.size(), framing.Bytes - received)));
      complete = received + data.size() == framing.Bytes;
      break;
    default:
      data = piece;
      break;
  }
  received += data.size();
  return true;
}

// Writes the body (head first when asked) into a new file. Empty when nothing was written,
// the download grew too large, or the body did not end as its head said (the server ended
// the connection first, or without a length or chunks it did not end it itself: a time-out,
// an error, the deadline): a cut download is no download. The file is then removed.
std::string SaveBody(THttpLink& connection, const std::string& head, std::string piece, bool keepHead) {
  const TBodyFraming framing = FramingOf(head);
  if (framing.Kind == TBodyFraming::Refused) return {};
  std::string path;
  std::FILE* file = CreateDownloadFile(path);
  if (file == nullptr) return {};
  std::size_t written = 0;
  bool abandoned = false;
  if (keepHead) {
    written = head.size();
    abandoned = std::fwrite(head.data(), 1, head.size(), file) != head.size();
  }
  TChunkedDecoder chunks;
  std::uint64_t received = 0;
  bool complete = framing.Kind == TBodyFraming::Length && framing.Bytes == 0;
  std::string data;
  // The head may have come in a read of its own: the body then starts with the next piece.
  if (piece.empty() && !complete) piece = connection.ReceivePiece();
  while (!abandoned && !complete && !piece.empty()) {
    if (!TakeBody(framing, chunks, received, piece, data, complete)) {
      abandoned = true;
      break;
    }
    written += data.size();
    if (written > kHttpMaxDownloadBytes || std::fwrite(data.data(), 1, data.size(), file) != data.size()) {
      abandoned = true;
      break;
    }
    if (!complete) piece = connection.ReceivePiece();
  }
  // An end of the connection proves nothing when the head said where the body ends (a TLS
  // stream cut between two records looks the same).
  if (framing.Kind == TBodyFraming::UntilClose) complete = connection.Ended();
  if (std::fclose(file) != 0) abandoned = true;
  if (abandoned || !complete || written == 0) {
    DeleteFileAt(path);
    return {};
  }
  return path;
}

TAttemptResult RunAttempt(const std::string& address, bool keepHead, const std::string& method,
                          const std::string& proxy, std::string extraHeaders, const TNetDeadline& deadline) {
  TAttemptResult result;
  result.KeepHead = keepHead;
  result.ExtraHeaders = extraHeaders;
  const THttpTarget target = SplitHttpAddress(address, proxy);
  if (!target.Valid) return result;

  const std::unique_ptr<THttpLink> link = MakeLink(deadline);
  THttpLink& connection = *link;
  if (!connection.Open(target)) return result;

  if (target.HasUser)
    extraHeaders += "Authorization: Basic " + Base64Encode(target.User + ":" + target.Password) + "\r\n";
  result.ExtraHeaders = extraHeaders;
  const std::string request = (method.empty() ? std::string("GET") : method) + " " + target.Path +
                              " HTTP/1.0\r\nHost: " + target.HostValue + "\r\n" + extraHeaders + "\r\n";
  connection.SendAll(request);

  std::string received, head, bodyStart;
  bool complete = false;
  for (;;) {
    if (SplitResponseHead(received, head, bodyStart)) {
      complete = true;
      break;
    }
    if (received.size() > kHttpMaxHeadBytes) return result;
    const std::string piece = connection.ReceivePiece();
    if (piece.empty()) break;
    received += piece;
  }
  if (!complete) {
    head = received;
    bodyStart.clear();
  }
  if (connection.DeadlineReached()) return result;

  const std::string cookie = HeadFieldValue(head, "Set-Cookie");
  if (!cookie.empty() && !HasControlCharacters(cookie)) {
    result.ExtraHeaders += "Cookie: " + cookie + "\r\n";
    result.KeepHead = true;
  }
  if (HeadIsOK(head)) {
    result.FilePath = SaveBody(connection, head, bodyStart, result.KeepHead);
  } else if (HeadIsRedirect(head)) {
    const std::string location = HeadFieldValue(head, "Location");
    if (!location.empty() && !HasControlCharacters(location))
      result.NextAddress = RedirectAddress(target, proxy, location);
  }
  connection.Close();
  return result;
}

}  // namespace

void SetHttpLinkMaker(THttpLinkMaker maker) { LinkMaker() = std::move(maker); }

bool TChunkedDecoder::Feed(const std::string& piece, std::string& body) {
  for (std::size_t at = 0; at < piece.size() && state_ != TState::Done && state_ != TState::Broken;) {
    if (state_ == TState::Data) {
      const std::size_t step = static_cast<std::size_t>(std::min<std::uint64_t>(left_, piece.size() - at));
      body.append(piece, at, step);
      at += step;
      left_ -= step;
      if (left_ == 0) state_ = TState::DataEnd;
      continue;
    }
    // Size, trailer and data-end lines: up to their LF, which must follow a CR.
    const char c = piece[at++];
    if (c != '\n') {
      line_ += c;
      if (line_.size() > kMaxLine + 1) state_ = TState::Broken;
      continue;
    }
    if (line_.empty() || line_.back() != '\r') {
      state_ = TState::Broken;
      continue;
    }
    line_.pop_back();
    if (state_ == TState::DataEnd) {
      state_ = line_.empty() ? TState::Size : TState::Broken;
    } else if (state_ == TState::Size) {
      if (!TakeSizeLine()) state_ = TState::Broken;
    } else if (!TakeTrailerLine()) {
      state_ = TState::Broken;
    }
    line_.clear();
  }
  return state_ != TState::Broken;
}

// "1a", "1A;name=value", "0": the size in hex; 2^60 or more is no size any server sends.
bool TChunkedDecoder::TakeSizeLine() {
  std::size_t digits = 0;
  std::uint64_t size = 0;
  for (; digits < line_.size() && HexValue(line_[digits]) >= 0; ++digits) {
    size = size * 16 + static_cast<std::uint64_t>(HexValue(line_[digits]));
    if (size >= (std::uint64_t{1} << 60)) return false;
  }
  if (digits == 0) return false;
  const std::size_t rest = line_.find_first_not_of(" \t", digits);
  if (rest != std::string::npos && line_[rest] != ';') return false;
  left_ = size;
  state_ = size == 0 ? TState::Trailer : TState::Data;
  return true;
}

bool TChunkedDecoder::TakeTrailerLine() {
  trailerBytes_ += line_.size() + 2;
  if (trailerBytes_ > kHttpMaxHeadBytes) return false;
  if (line_.empty()) state_ = TState::Done;
  return true;
}

std::string PercentDecode(const std::string& text) {
  std::string decoded;
  decoded.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
      decoded += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      decoded += text[i];
    }
  }
  return decoded;
}

void SplitAuthority(const std::string& authority, std::string& hostName, std::string& address,
                    std::uint16_t& port) {
  hostName.clear();
  address.clear();
  std::string host = authority, portText;
  if (!authority.empty() && authority.front() == '[') {
    const std::size_t close = authority.find(']');
    host = authority.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    const std::size_t colon = close == std::string::npos ? std::string::npos : authority.find(':', close);
    if (colon != std::string::npos) portText = authority.substr(colon + 1);
    address = host;
  } else {
    const std::size_t colon = authority.find(':');
    host = authority.substr(0, colon);
    if (colon != std::string::npos) portText = authority.substr(colon + 1);
    (EndsWithLetter(host) ? hostName : address) = host;
  }
  if (!portText.empty() && portText.size() <= 5 &&
      portText.find_first_not_of("0123456789") == std::string::npos) {
    const unsigned long value = std::stoul(portText);
    if (value > 0 && value <= 65535) port = static_cast<std::uint16_t>(value);
  }
}

THttpTarget SplitHttpAddress(const std::string& rawAddress, const std::string& proxy) {
  THttpTarget target;
  const std::string address = TrimText(rawAddress);
  const std::size_t scheme = address.find("://");
  const std::size_t firstSlash = address.find('/');
  // Only web addresses are fetched; a scheme-less "host/path" counts as http.
  if (scheme != std::string::npos && scheme < firstSlash && !StartsWithNoCase(address, "http://") &&
      !StartsWithNoCase(address, "https://"))
    return target;
  const bool addressSecure = StartsWithNoCase(address, "https://");

  std::string rest = address;
  const std::size_t slashes = rest.find("//");
  if (slashes != std::string::npos) rest.erase(0, slashes + 2);
  if (rest.find('/') == std::string::npos) rest += "/";
  std::string authority = rest.substr(0, rest.find('/'));
  const std::string addressAuthority = authority;
  const std::string addressPath = rest.substr(rest.find('/'));

  if (proxy.empty()) {
    target.Secure = addressSecure;
    target.Path = addressPath;
  } else {
    authority = TrimText(proxy);
    target.Path = address;
  }
  const std::size_t at = authority.find('@');
  if (at != std::string::npos) {
    const std::string userInfo = authority.substr(0, at);
    authority.erase(0, at + 1);
    const std::size_t colon = userInfo.find(':');
    target.HasUser = true;
    target.User = userInfo.substr(0, colon);
    target.Password = colon == std::string::npos ? std::string() : userInfo.substr(colon + 1);
    if (target.User.find('%') != std::string::npos) target.User = PercentDecode(target.User);
    if (target.Password.find('%') != std::string::npos) target.Password = PercentDecode(target.Password);
  }
  if (authority.find('%') != std::string::npos) authority = PercentDecode(authority);
  target.Port = target.Secure ? 443 : 80;
  SplitAuthority(authority, target.HostName, target.Address, target.Port);
  if (target.HostName.empty() && target.Address.empty()) return target;

  if (proxy.empty()) {
    target.HostValue = UrlHost(target.HostName, target.Address);
    target.Origin = std::string(target.Secure ? "https://" : "http://") +
                    LowerCase(UrlHost(target.HostName, target.Address)) + ":" + std::to_string(target.Port);
  } else {
    std::string host = addressAuthority;
    if (host.find('@') != std::string::npos) host.erase(0, host.find('@') + 1);
    target.HostValue = host;
    target.Origin = std::string(addressSecure ? "https://" : "http://") + LowerCase(host);
  }
  // A line break in the host (a decoded "%0d%0a" too) or the path would start lines of its own
  // in the request: such an address is no address.
  if (HasControlCharacters(target.HostName) || HasControlCharacters(target.Address) ||
      HasControlCharacters(target.HostValue) || HasControlCharacters(target.Path)) {
    return target;
  }
  target.Valid = true;
  return target;
}

std::string RemoveDotSegments(const std::string& path) {
  std::vector<std::string> segments;
  const bool absolute = !path.empty() && path.front() == '/';
  bool trailingSlash = false;
  std::size_t start = absolute ? 1 : 0;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    const bool last = end == std::string::npos;
    if (last) end = path.size();
    const std::string segment = path.substr(start, end - start);
    if (segment == ".") {
      trailingSlash = last;
    } else if (segment == "..") {
      if (!segments.empty()) segments.pop_back();
      trailingSlash = last;
    } else if (last) {
      if (!segment.empty()) segments.push_back(segment);
      trailingSlash = segment.empty();
    } else {
      segments.push_back(segment);
    }
    start = end + 1;
  }
  std::string result = absolute ? "/" : "";
  for (std::size_t i = 0; i < segments.size(); ++i) {
    if (i > 0) result += "/";
    result += segments[i];
  }
  if (trailingSlash && !segments.empty()) result += "/";
  return result;
}

std::string ResolveRelativeLocation(const std::string& requestPath, const std::string& location) {
  std::string base = requestPath.substr(0, requestPath.find('?'));
  base = base.substr(0, base.rfind('/') + 1);
  const std::size_t question = location.find('?');
  const std::string locationPath = location.substr(0, question);
  std::string path = !locationPath.empty() && locationPath.front() == '/' ? locationPath : base + locationPath;
  path = RemoveDotSegments(path);
  if (question != std::string::npos) path += location.substr(question);
  return path;
}

std::string RedirectAddress(const THttpTarget& target, const std::string& proxy,
                            const std::string& location) {
  if (location.find("://") != std::string::npos) {
    // A redirect may only lead to another web address.
    return StartsWithNoCase(location, "http://") || StartsWithNoCase(location, "https://")
               ? location
               : std::string();
  }
  if (!proxy.empty()) {
    // Through a proxy the location belongs to the address asked for, not to the proxy.
    const THttpTarget direct = SplitHttpAddress(target.Path, std::string());
    if (!direct.Valid) return {};
    return RedirectAddress(direct, std::string(), location);
  }
  std::string path = ResolveRelativeLocation(target.Path, location);
  if (!path.empty() && path.front() == '/') path.erase(0, 1);
  return std::string(target.Secure ? "https://" : "http://") + UrlHost(target.HostName, target.Address) +
         ":" + std::to_string(target.Port) + "/" + path;
}

std::string Base64Encode(const std::string& data) {
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string encoded;
  std::size_t i = 0;
  for (; i + 2 < data.size(); i += 3) {
    const unsigned v = (static_cast<unsigned char>(data[i]) << 16) |
                       (static_cast<unsigned char>(data[i + 1]) << 8) | static_cast<unsigned char>(data[i + 2]);
    encoded += kAlphabet[(v >> 18) & 63];
    encoded += kAlphabet[(v >> 12) & 63];
    encoded += kAlphabet[(v >> 6) & 63];
    encoded += kAlphabet[v & 63];
  }
  if (i < data.size()) {
    const bool two = i + 1 < data.size();
    const unsigned v = (static_cast<unsigned char>(data[i]) << 16) |
                       (two ? static_cast<unsigned char>(data[i + 1]) << 8 : 0);
    encoded += kAlphabet[(v >> 18) & 63];
    encoded += kAlphabet[(v >> 12) & 63];
    encoded += two ? kAlphabet[(v >> 6) & 63] : '=';
    encoded += '=';
  }
  return encoded;
}

bool SplitResponseHead(const std::string& received, std::string& head, std::string& bodyStart) {
  const std::size_t end = received.find("\r\n\r\n");
  if (end == std::string::npos) return false;
  head = received.substr(0, end + 2);
  bodyStart = received.substr(end + 4);
  return true;
}

std::string HeadFieldValue(const std::string& head, const std::string& name) {
  const std::string prefix = LowerCase(name) + ":";
  std::size_t start = head.find("\r\n");  // after the status line
  while (start != std::string::npos) {
    start += 2;
    std::size_t end = head.find("\r\n", start);
    const std::string line = head.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (LowerCase(line.substr(0, prefix.size())) == prefix) return TrimText(line.substr(prefix.size()));
    start = end;
  }
  return {};
}

bool HeadIsOK(const std::string& head) {
  return LowerCase(StatusLine(head)).find(" 200 ok") != std::string::npos;
}

bool HeadIsRedirect(const std::string& head) {
  const std::string line = StatusLine(head) + " ";
  return line.find(" 301 ") != std::string::npos || line.find(" 302 ") != std::string::npos;
}

std::string WithoutCredentials(const std::string& headerLines) {
  std::string kept;
  std::size_t start = 0;
  while (start < headerLines.size()) {
    std::size_t end = headerLines.find("\r\n", start);
    end = end == std::string::npos ? headerLines.size() : end + 2;
    const std::string line = headerLines.substr(start, end - start);
    if (!StartsWithNoCase(line, "Authorization:") && !StartsWithNoCase(line, "Cookie:")) kept += line;
    start = end;
  }
  return kept;
}

std::string DownloadFileName(const netbackend::TLocalTime& time, unsigned counter) {
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%04d%02d%02d%02d%02d%02d", time.Year % 10000, time.Month % 100,
                time.Day % 100, time.Hour % 100, time.Minute % 100, time.Second % 100);
  char hex[16];
  std::snprintf(hex, sizeof hex, "%x", counter);
  std::string digits = hex;
  if (digits.size() % 2 == 1) digits = '0' + digits;
  if (digits.size() < 4) digits = std::string(4 - digits.size(), '0') + digits;
  return std::string(stamp) + digits.substr(0, 4) + ".tmp";
}

std::string HttpGetToFile(const std::string& address, bool keepHead, const std::string& method,
                          const std::string& proxy, int redirectCount, const std::string& extraHeaders,
                          const TNetDeadline& deadline) {
  std::string current = address;
  std::string headers = extraHeaders;
  for (;;) {
    ++redirectCount;
    ++downloadCounter;
    TAttemptResult result;
    try {
      result = RunAttempt(current, keepHead, method, proxy, headers, deadline);
    } catch (...) {
      return {};
    }
    if (!result.FilePath.empty()) return result.FilePath;
    if (result.NextAddress.empty() || redirectCount > kHttpMaxRedirects || deadline.Passed()) return {};
    // What was asked for over https is never taken from a plain connection: anyone on the
    // way could answer that one.
    if (StartsWithNoCase(TrimText(current), "https://") && !StartsWithNoCase(result.NextAddress, "https://")) return {};
    const THttpTarget from = SplitHttpAddress(current, proxy);
    const THttpTarget to = SplitHttpAddress(result.NextAddress, proxy);
    headers = from.Origin == to.Origin ? result.ExtraHeaders : WithoutCredentials(result.ExtraHeaders);
    keepHead = result.KeepHead;
    current = result.NextAddress;
  }
}
