#include "xml/XMLUnit.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <utility>

#include "base/FileSystemUnit.h"
#include "base/StringUnit.h"
#include "xml/CodePage.h"

namespace {

constexpr std::size_t npos = std::string::npos;
constexpr char16_t kReplacementChar = 0xFFFD;

std::string Cut(const std::string& text) { return text.substr(0, kXMLFieldMax); }

std::uint8_t Byte(char c) { return static_cast<std::uint8_t>(c); }

bool HasHighByte(const std::string& text) {
  return std::any_of(text.begin(), text.end(), [](char c) { return Byte(c) >= 0x80; });
}

// Tabs and line breaks separate attributes as spaces do: documents written by other tools
// wrap their start tags, and the scanner already treats them as delimiters.
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool IsQuote(char c) { return c == '"' || c == '\''; }

bool IsNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == ':' || c == '_';
}

// What may follow "<name" for it to be a start tag of name.
bool IsTagDelimiter(char c) { return IsBlank(c) || c == '/' || c == '>'; }

// One UTF-8 sequence at i: its length (1..4) and code point. 0 for a byte that cannot start a
// sequence or a lead whose next byte is no continuation byte; npos when the text ends inside it.
std::size_t Utf8SequenceAt(const std::string& bytes, std::size_t i, std::uint32_t& code) {
  const std::uint8_t lead = Byte(bytes[i]);
  std::size_t length;
  if (lead < 0x80) {
    code = lead;
    return 1;
  } else if (lead >= 0xC0 && lead < 0xE0) {
    length = 2;
    code = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead < 0xF0) {
    length = 3;
    code = lead & 0x0Fu;
  } else if (lead >= 0xF0 && lead < 0xF5) {
    length = 4;
    code = lead & 0x07u;
  } else {
    return 0;
  }
  for (std::size_t k = 1; k < length; ++k) {
    if (i + k >= bytes.size()) return npos;
    const std::uint8_t next = Byte(bytes[i + k]);
    if ((next & 0xC0u) != 0x80u) return 0;
    code = (code << 6) | (next & 0x3Fu);
  }
  return length;
}

// Whether a text with high bytes is UTF-8 rather than ANSI. A sequence cut off at the end is
// what a 255-character cut leaves of UTF-8, so it counts, but only beside a complete sequence:
// an ANSI text that merely ends in a letter such as 0xE9 must not lose that letter.
bool LooksLikeUtf8(const std::string& bytes) {
  bool multiByte = false;
  std::uint32_t code;
  for (std::size_t i = 0; i < bytes.size();) {
    const std::size_t length = Utf8SequenceAt(bytes, i, code);
    if (length == 0) return false;
    if (length == npos) return multiByte;
    if (length > 1) multiByte = true;
    i += length;
  }
  return true;
}

// Replaces every occurrence of pattern (lower-case ASCII), letter case ignored, left to right;
// replaced text is not looked at again.
void ReplaceAllNoCase(std::string& text, const std::string& pattern, const std::string& with) {
  if (text.find('&') == npos) return;
  std::string result;
  result.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    bool match = i + pattern.size() <= text.size();
    for (std::size_t k = 0; match && k < pattern.size(); ++k) {
      char c = text[i + k];
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      match = c == pattern[k];
    }
    if (match) {
      result += with;
      i += pattern.size();
    } else {
      result += text[i++];
    }
  }
  text = std::move(result);
}

int DigitValue(char c, bool hex) {
  if (c >= '0' && c <= '9') return c - '0';
  if (hex && c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (hex && c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Numeric references, walked from the end of the text towards its start, so a character that
// a reference produces is looked at again together with the "&" before it.
//
// Only a reference whose body is all digits becomes a character: "&#" + decimal digits + ";",
// or, as XML writes them, "&#x" + hexadecimal digits + ";". Both give the code modulo 256,
// reduced while reading, so a number of any length cannot overflow. Anything else ("&#;",
// "&#12 ab;", "&#-1;") stays as written instead of swallowing the text up to some later ";".
//
// The processed tail is kept reversed, so each replacement is a cut at the end of a buffer and
// the whole walk stays linear in the text's length.
std::string DecodeNumericReferences(const std::string& text) {
  std::string tail;  // reversed: tail.back() is the first character after position i
  tail.reserve(text.size());
  for (std::size_t i = text.size(); i-- > 0;) {
    if (text[i] == '&' && !tail.empty() && tail.back() == '#') {
      std::size_t next = tail.size() - 1;  // tail[next - 1] is the character after the '#'
      const bool hex = next > 0 && (tail[next - 1] == 'x' || tail[next - 1] == 'X');
      if (hex) --next;
      unsigned value = 0;
      std::size_t digits = 0;
      for (int digit; next > 0 && (digit = DigitValue(tail[next - 1], hex)) >= 0; --next) {
        value = (value * (hex ? 16u : 10u) + static_cast<unsigned>(digit)) & 0xFFu;
        ++digits;
      }
      if (digits > 0 && next > 0 && tail[next - 1] == ';') {
        tail.resize(next - 1);
        tail.push_back(static_cast<char>(value));
        continue;
      }
    }
    tail.push_back(text[i]);
  }
  std::reverse(tail.begin(), tail.end());
  return tail;
}

// The value that follows "name=" at position start of a tag. The first quote seen before a
// blank opens the value and only the same kind of quote closes it, so an apostrophe inside a
// double-quoted value is plain text. An unquoted value ends before the next blank or the tag's
// ">" (a "/" of an empty tag's "/>" is not part of it); an unclosed quote runs to the tag's ">".
std::string AttributeValueAt(const std::string& tag, std::size_t start) {
  char quote = 0;
  std::size_t valueStart = start;
  for (std::size_t k = start; k < tag.size(); ++k) {
    const char c = tag[k];
    if (quote != 0) {
      if (c == quote) return tag.substr(valueStart, k - valueStart);
    } else if (IsQuote(c)) {
      quote = c;
      valueStart = k + 1;
    } else if (IsBlank(c) || c == '>') {
      std::size_t end = k;
      if (c == '>' && end > start && tag[end - 1] == '/') --end;
      return tag.substr(start, end - start);
    }
  }
  if (quote == 0) return tag.substr(start);
  const std::size_t close = tag.find('>', valueStart);
  return tag.substr(valueStart, (close == npos ? tag.size() : close) - valueStart);
}

// Adds the attributes of one start tag to node. A blank marks where a name begins and "=" ends
// it ("a = 'b'" is not an attribute); quoted text is skipped, so "=" or blanks in a value do
// not start names. The value of a repeated name is that of its first occurrence, as
// GetTagAttribute gives it; the values are looked up here in the same pass to keep a tag with
// many attributes linear.
void ReadTagAttributes(const std::string& tag, TXMLObject& node) {
  std::map<std::string, std::string> firstValues;
  char quote = 0;
  std::size_t nameStart = npos;
  for (std::size_t i = 1; i < tag.size(); ++i) {
    const char c = tag[i];
    if (quote != 0) {
      if (c == quote) quote = 0;
    } else if (IsQuote(c)) {
      quote = c;
    } else if (IsBlank(c)) {
      nameStart = i + 1;
    } else if (c == '=') {
      if (nameStart != npos && i > nameStart) {
        const std::string name = tag.substr(nameStart, i - nameStart);
        auto found = firstValues.find(name);
        if (found == firstValues.end()) {
          found = firstValues.emplace(name, XMLUnescape(AttributeValueAt(tag, i + 1), false)).first;
        }
        node.AddAttribute(Cut(name), Cut(found->second), true);
      }
      nameStart = npos;
    } else if (c == '>') {
      break;
    }
  }
}

}  // namespace

// ---- text functions ----

std::string XMLEscape(const std::string& text, bool raw) {
  std::string result;
  result.reserve(text.size());
  // One pass gives what the five replacements in turn give: "&" is the only character an
  // entity contains that is replaced itself, and it is replaced first.
  for (char c : text) {
    switch (c) {
      case '&': result += "&amp;"; break;
      case '"': result += "&quot;"; break;
      case '\'': result += "&apos;"; break;
      case '<': result += "&lt;"; break;
      case '>': result += "&gt;"; break;
      default: result += c;
    }
  }
  if (!raw && HasHighByte(result)) result = EncodeUtf8(AnsiToUtf16(result));
  return result;
}

std::string XMLUnescape(const std::string& text, bool raw) {
  std::string result = text;
  // A file saved in the ANSI code page instead of UTF-8 keeps its letters rather than having
  // them decoded into garbage that swallows the characters after them.
  if (!raw && HasHighByte(result) && LooksLikeUtf8(result)) {
    result = Utf16ToAnsi(DecodeUtf8(result));
  }
  ReplaceAllNoCase(result, "&amp;", "&");
  ReplaceAllNoCase(result, "&quot;", "\"");
  ReplaceAllNoCase(result, "&apos;", "'");
  ReplaceAllNoCase(result, "&lt;", "<");
  ReplaceAllNoCase(result, "&gt;", ">");
  if (result.find("&#") != npos) result = DecodeNumericReferences(result);
  return result;
}

std::string EncodeUtf8(const std::u16string& text) {
  std::string result;
  result.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::uint32_t code = text[i];
    if (code < 0x80) {
      result += static_cast<char>(code);
    } else if (code < 0x800) {
      result += static_cast<char>(0xC0 | (code >> 6));
      result += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code >= 0xD800 && code < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
               text[i + 1] < 0xE000) {
      // A whole surrogate pair is one character and gets its proper four bytes; other UTF-8
      // readers reject the pair written as two three-byte halves.
      code = 0x10000 + ((code - 0xD800) << 10) + (text[++i] - 0xDC00u);
      result += static_cast<char>(0xF0 | (code >> 18));
      result += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      result += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      result += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      result += static_cast<char>(0xE0 | (code >> 12));
      result += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      result += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  return result;
}

std::u16string DecodeUtf8(const std::string& bytes) {
  std::u16string result;
  result.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size();) {
    std::uint32_t code = 0;
    const std::size_t length = Utf8SequenceAt(bytes, i, code);
    if (length == npos) break;  // cut off by the end of the text
    if (length == 0) {
      // A stray byte must not take the next characters with it (they may be ASCII markup).
      result += kReplacementChar;
      ++i;
      continue;
    }
    if (code >= 0x10000) {
      if (code > 0x10FFFF) {
        result += kReplacementChar;
      } else {
        code -= 0x10000;
        result += static_cast<char16_t>(0xD800 + (code >> 10));
        result += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
      }
    } else {
      result += static_cast<char16_t>(code);
    }
    i += length;
  }
  return result;
}

// ---- TXMLObject ----

TXMLObject::~TXMLObject() { FreeChildren(); }

// Frees the subtree with a work list of its own: letting each node's destructor free its
// children would nest one call per level, and a deep document would overflow the stack.
void TXMLObject::FreeChildren() {
  TXMLChildren pending = std::move(children_);
  children_.clear();
  while (!pending.empty()) {
    std::unique_ptr<TXMLObject> node = std::move(pending.back());
    pending.pop_back();
    for (auto& child : node->children_) pending.push_back(std::move(child));
    node->children_.clear();
  }
}

void TXMLObject::Clear() {
  FreeChildren();
  attributes_.clear();
  text_.clear();
  name_.clear();
}

TXMLObject* TXMLObject::AddChild(const std::string& name, const std::string& text, bool escape) {
  auto child = std::make_unique<TXMLObject>();
  child->name_ = Cut(name);
  if (!text.empty()) child->SetText(text, escape);
  children_.push_back(std::move(child));
  return children_.back().get();
}

void TXMLObject::AddAttribute(const std::string& name, const std::string& value, bool escape) {
  if (value.empty()) return;
  attributes_.push_back({Cut(name), Cut(escape ? XMLEscape(value) : value)});
}

void TXMLObject::SetText(const std::string& text, bool escape) {
  text_ = escape ? XMLEscape(text) : text;
}

std::string TXMLObject::GetXML(bool lineBreaks) const {
  std::string out;
  // Elements with content are opened on the way down and closed on the way up; the stack
  // holds each open element and the index of its next child.
  auto open = [&](const TXMLObject& node) {
    if (node.name_.empty()) {
      out += node.text_;
      return;
    }
    out += '<';
    out += node.name_;
    for (const auto& attribute : node.attributes_) {
      out += ' ';
      out += attribute.Name;
      out += "='";
      out += attribute.Value;
      out += '\'';
    }
    if (node.children_.empty() && node.text_.empty()) {
      out += "/>";
      if (lineBreaks) out += "\r\n";
    } else {
      out += '>';
      out += node.text_;
    }
  };
  auto close = [&](const TXMLObject& node) {
    if (node.name_.empty() || (node.children_.empty() && node.text_.empty())) return;
    out += "</";
    out += node.name_;
    out += '>';
    if (lineBreaks) out += "\r\n";
  };

  std::vector<std::pair<const TXMLObject*, std::size_t>> stack;
  open(*this);
  stack.emplace_back(this, 0);
  while (!stack.empty()) {
    auto& [node, next] = stack.back();
    if (next < node->children_.size()) {
      const TXMLObject& child = *node->children_[next++];
      open(child);
      if (child.children_.empty()) {
        close(child);
      } else {
        stack.emplace_back(&child, 0);
      }
    } else {
      close(*node);
      stack.pop_back();
    }
  }
  return out;
}

// Each element's content is parsed up to its end tag, with the positions shared between all
// levels. The levels are kept on a stack of our own rather than by recursion, so a document
// of any depth (100 000 nested start tags, say) gives its full tree and cannot overflow the
// stack; there is no depth limit to cut documents at.
void TXMLObject::ParseXML(const std::string& text) {
  struct Level {
    TXMLObject* node;
    std::size_t pending;  // where the character data not yet added to the node's text begins
  };
  std::vector<Level> levels{{this, 0}};
  std::size_t p = 0;
  while (!levels.empty()) {
    Level& level = levels.back();
    bool stop = p >= text.size();
    if (!stop && text[p] == '<') {
      level.node->text_.append(text, level.pending, p - level.pending);
      const std::size_t close = text.find('>', p + 1);
      if (close == npos) {
        stop = true;  // an unterminated tag ends this element
      } else {
        const std::string tag = text.substr(p, close - p + 1);
        p = close;
        level.pending = close + 1;
        if (tag[1] == '/') {
          stop = true;  // any end tag closes the current element, whatever its name
        } else {
          std::size_t nameEnd = 1;
          while (nameEnd < tag.size() && IsNameChar(tag[nameEnd])) ++nameEnd;
          // Declarations, comments and processing instructions have no name and are skipped.
          if (nameEnd > 1) {
            TXMLObject* child = level.node->AddChild(tag.substr(1, nameEnd - 1));
            ReadTagAttributes(tag, *child);
            if (tag[tag.size() - 2] != '/') {
              p = close + 1;
              levels.push_back({child, p});
              continue;  // the child's content starts right after its start tag
            }
          }
        }
      }
    }
    if (stop) {
      level.node->text_ = TrimText(level.node->text_);
      levels.pop_back();
      if (levels.empty()) break;
      // Back in the parent: its character data resumes after where the child stopped.
      levels.back().pending = p + 1;
    }
    ++p;
  }
}

bool TXMLObject::LoadFromFile(const std::string& path) {
  const std::string data = ReadWholeFile(path, false);
  if (data.empty()) return false;
  ParseXML(data);
  return true;
}

TXMLObject* TXMLObject::FindChild(const std::string& name) {
  for (auto& child : children_) {
    if (child->name_ == name) return child.get();
  }
  return nullptr;
}

const TXMLObject* TXMLObject::FindChild(const std::string& name) const {
  return const_cast<TXMLObject*>(this)->FindChild(name);
}

std::string TXMLObject::GetAttribute(const std::string& name, bool unescape) const {
  for (const auto& attribute : attributes_) {
    if (attribute.Name == name) {
      const std::string value = Cut(attribute.Value);
      return unescape ? XMLUnescape(value) : value;
    }
  }
  return {};
}

std::string TXMLObject::GetText(bool unescape) const {
  return unescape ? XMLUnescape(text_) : text_;
}

// ---- TXMLType ----

void InitXMLType(TXMLType& xml, const std::string& data, const std::string& name) {
  xml.Data = data;
  xml.Name = name;
  xml.Position = 0;
}

bool LoadXMLType(TXMLType& xml, const std::string& path) {
  xml.Data.clear();
  xml.Position = 0;
  if (path.empty() || !FileExists(path)) return false;
  xml.Data = ReadWholeFile(path, false);
  return true;
}

bool FindElement(TXMLType& xml, const std::string& name, std::string& text, bool unescape,
                 bool whole) {
  xml.Name = name;
  xml.Position = 0;
  return NextElement(xml, text, unescape, whole);
}

bool NextElement(TXMLType& xml, std::string& text, bool unescape, bool whole) {
  text.clear();
  const std::string& data = xml.Data;
  // "<" followed by a delimiter is no element's start tag; an empty name would match end tags.
  if (xml.Name.empty()) return false;

  // Position is 1-based and names the last character of the previous match, so the 0-based
  // index of the character after it is Position itself.
  const std::string open = "<" + xml.Name;
  std::size_t start = std::min(xml.Position, data.size());
  while ((start = data.find(open, start)) != npos) {
    const std::size_t after = start + open.size();
    if (after < data.size() && IsTagDelimiter(data[after])) break;
    ++start;
  }
  if (start == npos) return false;
  const std::size_t tagEnd = data.find('>', start + open.size());
  if (tagEnd == npos) return false;
  xml.Position = tagEnd + 1;

  if (data[tagEnd - 1] == '/') {
    if (whole) text = data.substr(start, tagEnd - start + 1);
  } else {
    const std::string closeTag = "</" + xml.Name + ">";
    const std::size_t end = data.find(closeTag, tagEnd + 1);
    if (end == npos) return false;
    const std::size_t last = end + closeTag.size() - 1;
    text = whole ? data.substr(start, last - start + 1) : data.substr(tagEnd + 1, end - tagEnd - 1);
    xml.Position = last + 1;
  }
  if (unescape) text = XMLUnescape(text);
  return true;
}

bool GetElement(const std::string& data, const std::string& name, std::string& text,
                bool unescape, bool whole) {
  TXMLType xml;
  InitXMLType(xml, data, name);
  return FindElement(xml, name, text, unescape, whole);
}

// Looks for the name after a blank and before the tag's first ">" outside quotes, so text
// inside another attribute's quoted value ("t='a y=1' y='2'") is never taken for it.
std::string GetTagAttribute(const std::string& tag, const std::string& name) {
  if (name.empty()) return {};
  char quote = 0;
  for (std::size_t i = 0; i < tag.size(); ++i) {
    const char c = tag[i];
    if (quote != 0) {
      if (c == quote) quote = 0;
    } else if (IsQuote(c)) {
      quote = c;
    } else if (c == '>') {
      break;
    } else if (IsBlank(c) && tag.compare(i + 1, name.size(), name) == 0) {
      const std::size_t equals = i + 1 + name.size();
      if (equals < tag.size() && tag[equals] == '=') {
        return XMLUnescape(AttributeValueAt(tag, equals + 1), false);
      }
    }
  }
  return {};
}
