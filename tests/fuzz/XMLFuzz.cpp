// Fuzz target for the XML unit: the tree parser and writer, and the scanner, on any bytes.
// The first bytes that can form an element name choose the element the scanner looks for.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "xml/XMLUnit.h"

namespace {

bool IsNameByte(std::uint8_t c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == ':' || c == '_';
}

// Reads every value of the tree the way the language files do, walking with a stack of its own.
void ReadTree(const TXMLObject& root) {
  std::vector<const TXMLObject*> pending{&root};
  while (!pending.empty()) {
    const TXMLObject* node = pending.back();
    pending.pop_back();
    node->GetText(true);
    for (const auto& attribute : node->Attributes()) node->GetAttribute(attribute.Name, true);
    for (const auto& child : node->Children()) pending.push_back(child.get());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);

  TXMLObject document;
  document.ParseXML(text);
  ReadTree(document);
  // What we write we must read back: the second parse of our own output may not crash either.
  TXMLObject again;
  again.ParseXML(document.GetXML(true));
  ReadTree(again);

  std::size_t nameLength = 0;
  while (nameLength < size && nameLength < 16 && IsNameByte(data[nameLength])) ++nameLength;
  const std::string name = nameLength > 0 ? text.substr(0, nameLength) : "a";

  TXMLType xml;
  InitXMLType(xml, text, name);
  std::string element;
  std::size_t previous = 0;
  for (bool found = FindElement(xml, name, element, true, true); found;
       found = NextElement(xml, element, false, true)) {
    // Every match moves the scanner forward, so the walk always ends.
    if (xml.Position <= previous || xml.Position > text.size()) __builtin_trap();
    previous = xml.Position;
    GetTagAttribute(element, "id");
    GetTagAttribute(element, name);
  }
  GetTagAttribute(text, name);

  const std::string plain = XMLUnescape(text, false);
  XMLEscape(plain, false);
  EncodeUtf8(DecodeUtf8(text));
  return 0;
}
