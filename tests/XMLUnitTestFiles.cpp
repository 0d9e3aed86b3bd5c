// XML unit: loading from files, and documents far deeper than any call stack.
#include <gtest/gtest.h>

#include <string>

#include "base/FileSystemUnit.h"
#include "tests/TestFolder.h"
#include "xml/XMLUnit.h"

namespace {

constexpr std::size_t kDeep = 100000;

std::string Repeat(const std::string& piece, std::size_t count) {
  std::string text;
  text.reserve(piece.size() * count);
  for (std::size_t i = 0; i < count; ++i) text += piece;
  return text;
}

// Depth below node along first children, and the innermost node.
std::size_t Depth(const TXMLObject& node, const TXMLObject** innermost = nullptr) {
  const TXMLObject* current = &node;
  std::size_t depth = 0;
  while (!current->Children().empty()) {
    current = current->Children().front().get();
    ++depth;
  }
  if (innermost) *innermost = current;
  return depth;
}

TEST(XMLUnitTest, LoadFromFileAndLoadXMLType) {
  TestFolder folder;
  const std::string document = folder / "info.xml";
  const std::string empty = folder / "empty.xml";
  WriteWholeFile("<info><ver>8.2.0</ver><url>http://x/?a=1&amp;b=2</url></info>", document,
                 false);
  WriteWholeFile("", empty, false);
  ASSERT_TRUE(FileExists(empty));

  TXMLObject tree;
  EXPECT_FALSE(tree.LoadFromFile(folder / "missing.xml"));
  EXPECT_FALSE(tree.LoadFromFile(empty));
  EXPECT_FALSE(tree.LoadFromFile(""));
  EXPECT_TRUE(tree.Children().empty());
  ASSERT_TRUE(tree.LoadFromFile(document));
  ASSERT_NE(tree.FindChild("info"), nullptr);
  EXPECT_EQ(tree.FindChild("info")->FindChild("url")->GetText(), "http://x/?a=1&b=2");
  ASSERT_TRUE(tree.LoadFromFile(document));  // adds a second copy
  EXPECT_EQ(tree.Children().size(), 2u);

  TXMLType xml;
  InitXMLType(xml, "<ver>old</ver>", "ver");
  EXPECT_FALSE(LoadXMLType(xml, ""));
  EXPECT_FALSE(LoadXMLType(xml, folder / "missing.xml"));
  EXPECT_EQ(xml.Data, "");  // nothing stale left to find
  EXPECT_FALSE(LoadXMLType(xml, folder.path()));  // a folder does not open as a file
  EXPECT_TRUE(LoadXMLType(xml, empty));
  EXPECT_EQ(xml.Data, "");
  ASSERT_TRUE(LoadXMLType(xml, document));
  std::string text;
  EXPECT_TRUE(FindElement(xml, "ver", text));
  EXPECT_EQ(text, "8.2.0");
  EXPECT_TRUE(FindElement(xml, "url", text));
  EXPECT_EQ(text, "http://x/?a=1&b=2");
}

TEST(XMLUnitTest, DeeplyNestedDocumentsNeedNoDeepStack) {
  // Parsed: the whole tree, serialised back unchanged, freed at the end of the scope.
  {
    const std::string input = Repeat("<a>", kDeep) + "x" + Repeat("</a>", kDeep);
    TXMLObject document;
    document.ParseXML(input);
    const TXMLObject* innermost = nullptr;
    EXPECT_EQ(Depth(document, &innermost), kDeep);
    EXPECT_EQ(innermost->GetText(), "x");
    EXPECT_EQ(document.GetXML(false), input);

    std::string whole;
    ASSERT_TRUE(GetElement(input, "a", whole, false, true));
    EXPECT_EQ(whole, Repeat("<a>", kDeep) + "x</a>");
  }
  // Never closed: every level ends at the end of the text.
  {
    TXMLObject document;
    document.ParseXML(Repeat("<a x='1'>", kDeep));
    EXPECT_EQ(Depth(document), kDeep);
    EXPECT_EQ(document.GetXML(true), Repeat("<a x='1'>", kDeep - 1) + "<a x='1'/>\r\n" +
                                         Repeat("</a>\r\n", kDeep - 1));
    document.Clear();
    EXPECT_TRUE(document.Children().empty());
  }
  // Built by hand rather than parsed.
  {
    TXMLObject document;
    TXMLObject* node = &document;
    for (std::size_t i = 0; i < kDeep; ++i) node = node->AddChild("n");
    EXPECT_EQ(Depth(document), kDeep);
  }
}

}  // namespace
