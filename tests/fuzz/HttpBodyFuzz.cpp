// Fuzz target for the HTTP download as a whole: the bodies servers send (lengths, chunked
// transfer, connections that end early) and the redirects between them, through the real
// client with scripted connections in place of sockets.
//
// The first byte chooses: bit 0 an https start address, bit 1 keeping the head, the other bits
// the size of the pieces the server's bytes arrive in. The rest, cut at each "\n--\n", are the
// responses to the first, second, ... request. A response that starts with "chunks:" is
// written out here as a well-formed chunked response whose chunks are the '|'-separated
// pieces after it, so the saved body can be compared with them.
//
// What must hold besides "no crash": at most the allowed number of requests; an https start
// is never continued in clear; the start's credentials travel only to their own host; no request carries
// a line break a server put into a value; a saved body is exactly as long as its length
// says, is the concatenation of its chunks, and never exceeds the download limit.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "base/FileSystemUnit.h"
#include "net/HTTPClientUnit.h"
#include "tests/fuzz/FuzzInput.h"

#ifdef ZAREL_MEMORY_FILES
#include "base/FileSystemMemory.h"
#endif

namespace {

struct TExchange {
  std::vector<std::string> Responses;
  std::size_t PieceSize = 1;
  std::vector<THttpTarget> Opened;
  std::vector<std::string> Requests;
  std::size_t LastServed = 0;  // the index of the response served last
};

class TScriptedLink final : public THttpLink {
 public:
  explicit TScriptedLink(TExchange& exchange) : exchange_(exchange) {}

  bool Open(const THttpTarget& target) override {
    exchange_.LastServed = exchange_.Opened.size();
    exchange_.Opened.push_back(target);
    if (exchange_.LastServed < exchange_.Responses.size()) response_ = exchange_.Responses[exchange_.LastServed];
    return true;
  }
  bool SendAll(const std::string& text) override {
    exchange_.Requests.push_back(text);
    return true;
  }
  std::string ReceivePiece() override {
    if (at_ >= response_.size()) {
      ended_ = true;
      return {};
    }
    const std::string piece = response_.substr(at_, exchange_.PieceSize);
    at_ += piece.size();
    return piece;
  }
  void Close() override {}
  bool Ended() const override { return ended_; }
  bool DeadlineReached() const override { return false; }

 private:
  TExchange& exchange_;
  std::string response_;
  std::size_t at_ = 0;
  bool ended_ = false;
};

const char kChunkedHead[] = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n";

// "chunks:a|bc|" -> a chunked response of the chunks "a", "bc" (empty ones left out: a zero
// size ends the body); the body they make goes to body.
std::string ChunkedResponse(const std::string& spec, std::string& body) {
  std::string response = std::string(kChunkedHead) + "\r\n";
  std::size_t from = 0;
  for (bool odd = false; from <= spec.size(); odd = !odd) {
    std::size_t end = spec.find('|', from);
    if (end == std::string::npos) end = spec.size();
    const std::string chunk = spec.substr(from, end - from);
    if (!chunk.empty()) {
      char size[24];
      std::snprintf(size, sizeof size, odd ? "%zX;ext=1" : "%zx", chunk.size());
      response += std::string(size) + "\r\n" + chunk + "\r\n";
      body += chunk;
    }
    from = end + 1;
  }
  return response + "0\r\nTrailer: t\r\n\r\n";
}

bool IsHttps(const THttpTarget& target) { return target.Secure; }

const char kStartUserInfo[] = "user:secret";

const std::string& StartCredentials() {
  static const std::string line = "\r\nAuthorization: Basic " + Base64Encode(kStartUserInfo) + "\r\n";
  return line;
}

// Every CR is followed by LF and every LF follows a CR: no value started a line of its own.
bool LineBreaksAreWhole(const std::string& text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')) return false;
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) return false;
  }
  return true;
}

// The length a raw response's head gives its body, or -1 when it gives none that counts.
long long DeclaredLength(const std::string& response, std::string& head) {
  std::string body;
  if (!SplitResponseHead(response, head, body)) return -1;
  if (!HeadFieldValue(head, "Transfer-Encoding").empty()) return -1;
  const std::string length = HeadFieldValue(head, "Content-Length");
  if (length.empty() || length.size() > 9 || length.find_first_not_of("0123456789") != std::string::npos) return -1;
  return std::stoll(length);
}

void RequireSound(const TExchange& exchange, const std::string& start, const std::string& saved,
                  const std::vector<std::string>& expectedBodies) {
  if (exchange.Opened.size() > static_cast<std::size_t>(kHttpMaxRedirects) + 1) __builtin_trap();
  const THttpTarget first = SplitHttpAddress(start, std::string());
  for (std::size_t i = 0; i < exchange.Opened.size(); ++i) {
    if (IsHttps(first) && !IsHttps(exchange.Opened[i])) __builtin_trap();
    if (i >= exchange.Requests.size()) continue;
    const std::string& request = exchange.Requests[i];
    if (!LineBreaksAreWhole(request)) __builtin_trap();
    // A location may name credentials of its own for its own host; the start's stay home.
    if (exchange.Opened[i].Origin != first.Origin && request.find(StartCredentials()) != std::string::npos) {
      __builtin_trap();
    }
  }
  if (saved.size() > kHttpMaxDownloadBytes) __builtin_trap();
  if (saved.empty() || exchange.LastServed >= exchange.Responses.size()) return;
  const std::string& response = exchange.Responses[exchange.LastServed];
  const std::string& chunks = expectedBodies[exchange.LastServed];
  if (!chunks.empty()) {
    // The head is kept in front of the body when a cookie or the caller asked for it.
    if (saved != chunks && saved != kChunkedHead + chunks) __builtin_trap();
    return;
  }
  std::string head;
  const long long length = DeclaredLength(response, head);
  if (length >= 0 && saved.size() != static_cast<std::size_t>(length) &&
      saved.size() != head.size() + static_cast<std::size_t>(length)) {
    __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  TExchange exchange;
  exchange.PieceSize = 1 + (data[0] >> 2) * 7u;
  const bool https = (data[0] & 1) != 0;
  const bool keepHead = (data[0] & 2) != 0;
  std::vector<std::string> expectedBodies;
  for (std::string& part : SplitFuzzParts(data + 1, size - 1)) {
    std::string body;
    if (part.rfind("chunks:", 0) == 0) part = ChunkedResponse(part.substr(7), body);
    exchange.Responses.push_back(part);
    expectedBodies.push_back(body);
  }
  SetHttpLinkMaker([&exchange](const TNetDeadline&) { return std::make_unique<TScriptedLink>(exchange); });
  const std::string start =
      std::string(https ? "https://" : "http://") + kStartUserInfo + "@updates.example:8080/products/list.xml";
  const std::string path = HttpGetToFile(start, keepHead);
  SetHttpLinkMaker(nullptr);
  const std::string saved = path.empty() ? std::string() : ReadWholeFile(path, true);
  // A well-formed chunked response, once served, is a download.
  if (path.empty() && !exchange.Opened.empty() && exchange.LastServed < expectedBodies.size() &&
      !expectedBodies[exchange.LastServed].empty()) {
    __builtin_trap();
  }
  RequireSound(exchange, start, saved, expectedBodies);
#ifdef ZAREL_MEMORY_FILES
  ForgetAllMemoryFiles();
#endif
  return 0;
}
