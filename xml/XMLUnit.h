// The setup's own lightweight XML: an element tree (TXMLObject) and a forward scanner that pulls
// single elements out of a text by name (TXMLType). Used for the language files, info.xml and
// the products list.
//
// Both work on 8-bit texts in the ANSI code page; the escaping step converts to UTF-8 and back.
// Neither validates: malformed input gives a partial tree or an empty result, never an error.
// Values and texts are kept in escaped form; readers ask for them unescaped.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

// Names, attribute values and other fixed-size fields are cut here.
constexpr std::size_t kXMLFieldMax = 255;

// Replaces & " ' < > by their entities (in that order). Unless raw, a text holding any byte
// of 0x80 or above is then converted from the ANSI code page to UTF-8.
std::string XMLEscape(const std::string& text, bool raw = false);

// Unless raw, UTF-8 is first converted to the ANSI code page (a text that is not UTF-8 is taken
// as ANSI already). Then the five entities are replaced, letter case ignored, "&amp;" first
// (so "&amp;lt;" gives "<"), and numeric references "&#N;" / "&#xH;" give the byte N mod 256.
std::string XMLUnescape(const std::string& text, bool raw = false);

// UTF-16 -> UTF-8. A lone surrogate half is written as its own three-byte sequence.
std::string EncodeUtf8(const std::u16string& text);

// UTF-8 -> UTF-16. A sequence cut off by the end of the text ends decoding; a malformed byte
// gives U+FFFD and decoding goes on with the byte after it.
std::u16string DecodeUtf8(const std::string& bytes);

struct TXMLAttribute {
  std::string Name;
  std::string Value;  // escaped form
};
using TXMLAttributes = std::vector<TXMLAttribute>;

class TXMLObject;
using TXMLChildren = std::vector<std::unique_ptr<TXMLObject>>;

// One element, or the document node when it has no name. Each node owns its children.
// Deep trees are fine: parsing, serialising and freeing walk the tree with their own stack,
// never by recursion.
class TXMLObject {
 public:
  TXMLObject() = default;
  ~TXMLObject();
  TXMLObject(const TXMLObject&) = delete;
  TXMLObject& operator=(const TXMLObject&) = delete;

  // Frees all children, removes the attributes, clears text and name.
  void Clear();

  // Appends a child named name (cut to 255); a non-empty text is set as by SetText.
  TXMLObject* AddChild(const std::string& name, const std::string& text = {}, bool escape = true);

  // An empty value adds nothing. The value is escaped when asked and then cut to 255.
  void AddAttribute(const std::string& name, const std::string& value, bool escape = true);

  // Replaces the text; escaped first when asked.
  void SetText(const std::string& text, bool escape = true);

  // Serialises the tree: attributes in single quotes, values and texts as stored, no
  // declaration, no indentation; with lineBreaks every element's end is followed by "\r\n".
  std::string GetXML(bool lineBreaks) const;

  // Adds the document's elements to this node. Character data is kept as it stands.
  void ParseXML(const std::string& text);

  // Parses the file into this node; true when the file held at least one byte.
  bool LoadFromFile(const std::string& path);

  // First direct child with exactly this name (letter case significant), or nullptr.
  TXMLObject* FindChild(const std::string& name);
  const TXMLObject* FindChild(const std::string& name) const;

  // First attribute with exactly this name, or empty.
  std::string GetAttribute(const std::string& name, bool unescape = true) const;
  std::string GetText(bool unescape = true) const;

  const std::string& Name() const { return name_; }
  const TXMLChildren& Children() const { return children_; }
  const TXMLAttributes& Attributes() const { return attributes_; }

 private:
  void FreeChildren();

  std::string name_;
  std::string text_;
  TXMLAttributes attributes_;
  TXMLChildren children_;
};

// Forward scanner over one document text.
struct TXMLType {
  std::string Data;
  std::string Name;           // element being looked for
  std::size_t Position = 0;   // 1-based: the last character of the previous match; 0 = start
};

void InitXMLType(TXMLType& xml, const std::string& data, const std::string& name);

// Reads the whole file into Data and rewinds. False for an empty path or a file that does not
// open (Data is then empty).
bool LoadXMLType(TXMLType& xml, const std::string& path);

// Rewinds to the start and finds the first element called name. text gets its content, or with
// whole the element from its "<" to its end tag's ">" (an empty element gives its start tag).
bool FindElement(TXMLType& xml, const std::string& name, std::string& text, bool unescape = true,
                 bool whole = false);

// The next element of the same name after the previous match. Same-named nesting is not
// counted: the first matching end tag closes the element.
bool NextElement(TXMLType& xml, std::string& text, bool unescape = true, bool whole = false);

// One-shot FindElement on a temporary scanner.
bool GetElement(const std::string& data, const std::string& name, std::string& text,
                bool unescape = true, bool whole = false);

// The unescaped value of attribute name in the start tag tag, or empty.
std::string GetTagAttribute(const std::string& tag, const std::string& name);
