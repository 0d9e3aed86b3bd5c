// XML unit: escaping and code pages, the tree (build, serialise, parse) and the scanner.
#include "xml/XMLUnit.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(XMLUnitTest, EscapeReplacesMarkupAndConvertsAnsiToUtf8) {
  struct Row {
    std::string text;
    bool raw;
    std::string escaped;
  } rows[] = {
      {"a&b\"c'd<e>f", false, "a&amp;b&quot;c&apos;d&lt;e&gt;f"},
      {"&amp;", false, "&amp;amp;"},
      {"\xE9", false, "\xC3\xA9"},             // e acute, ANSI -> UTF-8
      {"<\x80>", false, "&lt;\xE2\x82\xAC&gt;"},  // the euro sign sits at 0x80 in 1252
      {"\xE9", true, "\xE9"},
      {"", false, ""},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(XMLEscape(row.text, row.raw), row.escaped) << testing::PrintToString(row.text);
  }
}

TEST(XMLUnitTest, UnescapeEntitiesReferencesAndUtf8) {
  struct Row {
    std::string text;
    bool raw;
    std::string plain;
  } rows[] = {
      {"&amp;lt;", false, "<"},  // "&amp;" goes first, so the "&lt;" it leaves is replaced too
      {"&amp;amp;", false, "&amp;"},  // but text a replacement produced is not rescanned
      {"&AmP;&QUOT;&apos;&LT;&gt;", false, "&\"'<>"},
      {"&#65;&#66;", false, "AB"},
      {"&#300;", false, ","},  // 300 mod 256 = 44
      {"&#0065;", false, "A"},
      {"&#99999999999999999999;", false, "\xFF"},  // 10^20 - 1 mod 256, without overflowing
      {"&#x41;&#X62;", false, "Ab"},               // hexadecimal like decimal
      {"&#x141;", false, "A"},                     // ... and modulo 256 as well
      {"&#0;", false, std::string(1, '\0')},
      {"a &# b", false, "a &# b"},  // no ";": stays
      {"&#;&#x;&#12 ab;&#-1;&#1a;", false, "&#;&#x;&#12 ab;&#-1;&#1a;"},  // not numbers: stay
      {"&#38;#65;", false, "&#65;"},
      {"&&#35;65;", false, "A"},  // the "#" made from &#35; pairs with the "&" before it
      {"caf\xC3\xA9", false, "caf\xE9"},
      {"\xE2\x82\xAC", false, "\x80"},
      {"caf\xC3\xA9", true, "caf\xC3\xA9"},
      {"caf\xE9 au lait", false, "caf\xE9 au lait"},  // ANSI, not UTF-8: kept as it is
      {"Caf\xE9", false, "Caf\xE9"},                  // ANSI ending in a lead byte: kept
      {"\xC3\xA9\xC3", false, "\xE9"},               // UTF-8 cut by a 255 cut: the tail goes
      {"\xF0\x9F\x98\x80!", false, "?" "?!"},  // outside the code page: one '?' per UTF-16 unit
  };
  for (const auto& row : rows) {
    EXPECT_EQ(XMLUnescape(row.text, row.raw), row.plain) << testing::PrintToString(row.text);
  }
}

TEST(XMLUnitTest, Utf8EncodingAndDecoding) {
  struct EncodeRow {
    std::u16string text;
    std::string bytes;
  } encodeRows[] = {
      {u"A\u00E9\u20AC", "A\xC3\xA9\xE2\x82\xAC"},
      {u"\U0001F600", "\xF0\x9F\x98\x80"},        // a surrogate pair is one character
      {u"\xD800", "\xED\xA0\x80"},                // a lone half keeps its three bytes
      {u"\xDC00\xD800", "\xED\xB0\x80\xED\xA0\x80"},  // halves in the wrong order are no pair
  };
  for (const auto& row : encodeRows) EXPECT_EQ(EncodeUtf8(row.text), row.bytes);

  struct DecodeRow {
    std::string bytes;
    std::u16string text;
  } decodeRows[] = {
      {"A\xC3\xA9\xE2\x82\xAC", u"A\u00E9\u20AC"},
      {"\xF0\x9F\x98\x80", u"\U0001F600"},
      {"\xED\xA0\x80", u"\xD800"},
      {"A\xC3", u"A"},           // cut off by the end: decoding ends
      {"A\xE2\x82", u"A"},
      {"\x80" "A", u"\uFFFD" "A"},  // a stray continuation byte does not eat the "A"
      {"\xC3<b", u"\uFFFD<b"},      // nor does a lead without its continuation eat the "<"
      {"\xF8" "A", u"\uFFFD" "A"},
  };
  for (const auto& row : decodeRows) {
    EXPECT_EQ(DecodeUtf8(row.bytes), row.text) << testing::PrintToString(row.bytes);
  }
}

TEST(XMLUnitTest, BuildAndSerialise) {
  TXMLObject document;
  TXMLObject* lang = document.AddChild("lang");
  lang->AddAttribute("id", "en");
  lang->AddAttribute("empty", "");  // empty attributes are never stored
  lang->AddChild("text", "a&b", true);
  EXPECT_EQ(document.GetXML(true), "<lang id='en'><text>a&amp;b</text>\r\n</lang>\r\n");
  EXPECT_EQ(document.GetXML(false), "<lang id='en'><text>a&amp;b</text></lang>");
  EXPECT_EQ(lang->Attributes().size(), 1u);
  EXPECT_EQ(lang->GetAttribute("empty"), "");

  TXMLObject* leaf = document.AddChild("leaf", "<raw>", false);
  EXPECT_EQ(leaf->GetXML(false), "<leaf><raw></leaf>");
  leaf->SetText("x'y");
  EXPECT_EQ(leaf->GetText(false), "x&apos;y");
  EXPECT_EQ(leaf->GetText(true), "x'y");
  EXPECT_EQ(document.AddChild("e")->GetXML(true), "<e/>\r\n");
  EXPECT_EQ(document.FindChild("leaf"), leaf);
  EXPECT_EQ(document.FindChild("LEAF"), nullptr);
  EXPECT_EQ(document.FindChild("id"), nullptr);  // no deeper search

  // Fixed-size fields: names and values are cut at 255, values after escaping, so a cut may
  // fall inside a UTF-8 sequence; reading drops that half character and keeps the rest.
  TXMLObject* big = document.AddChild(std::string(300, 'n'));
  EXPECT_EQ(big->Name().size(), 255u);
  big->AddAttribute("v", std::string(200, '\xE9'));
  EXPECT_EQ(big->Attributes()[0].Value.size(), 255u);
  EXPECT_EQ(big->GetAttribute("v"), std::string(127, '\xE9'));

  document.Clear();
  EXPECT_TRUE(document.Children().empty());
  EXPECT_EQ(document.GetXML(true), "");
}

TEST(XMLUnitTest, ParseExampleDocument) {
  TXMLObject document;
  document.ParseXML("<?xml version='1.0'?><a x='1' y='2'>t<b/>u</a>");
  ASSERT_EQ(document.Children().size(), 1u);
  const TXMLObject* a = document.FindChild("a");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->GetAttribute("x"), "1");
  EXPECT_EQ(a->GetAttribute("y"), "2");
  EXPECT_EQ(a->GetText(), "tu");
  ASSERT_EQ(a->Children().size(), 1u);
  EXPECT_EQ(a->Children()[0]->Name(), "b");
  EXPECT_EQ(a->Children()[0]->GetXML(false), "<b/>");

  document.ParseXML("<c/>");  // parsing adds to what is there
  EXPECT_EQ(document.Children().size(), 2u);
}

TEST(XMLUnitTest, ParseTable) {
  struct Row {
    std::string input;
    std::string xml;  // GetXML(false) of the document node
  } rows[] = {
      {"<a>text</b><c/>", "<a>text</a><c/>"},  // any end tag closes the current element
      {"</x><a/>", ""},                       // ... also at the top: the document ends there
      {"<a>  t \r\n</a>", "<a>t</a>"},
      {"<!-- note --><!DOCTYPE a><a/>", "<a/>"},
      {"<a><b>x</b>y<c/>z</a>", "<a>yz<b>x</b><c/></a>"},
      {"<a>t</a>top<b/>", "top<a>t</a><b/>"},  // the document node's text comes first
      {"<a>&lt;&#65;</a>", "<a>&lt;&#65;</a>"},  // character data is kept as written
      {"<a>x<b>y", "<a>x<b/></a>"},  // data not followed by any tag is not kept
      {"<a><b", "<a/>"},              // an unterminated tag ends the element
      {"<", ""},
      {"<>", ""},
      {"<a/", ""},
      {"<\xC3\xA9/>", ""},  // no name: skipped like a declaration
      {"<a:b-c.d_1/>", "<a:b-c.d_1/>"},
      {"<a x=\"it's\"/>", "<a x='it&apos;s'/>"},   // an apostrophe inside double quotes
      {"<a\r\n  x='1'\ty='2'/>", "<a x='1' y='2'/>"},  // wrapped start tags
      {"<a x = '1' y=''/>", "<a/>"},  // blanks around "=", and an empty value
      {"<a t='p y=9' y='2'/>", "<a t='p y=9' y='2'/>"},
      {"<a x=1 y=2/>", "<a x='1' y='2'/>"},
      {"<a x=1\ty=2/>", "<a x='1' y='2'/>"},  // an unquoted value ends at any blank
      {"<a x=1\r\ny=2>", "<a x='1' y='2'/>"},
      {"<a x='1' x='2'/>", "<a x='1' x='1'/>"},  // a repeated name reads its first value
      {"<a x='caf&#233;'/>", "<a x='caf\xC3\xA9'/>"},  // stored escaped again, as UTF-8
  };
  for (const auto& row : rows) {
    TXMLObject document;
    document.ParseXML(row.input);
    EXPECT_EQ(document.GetXML(false), row.xml) << testing::PrintToString(row.input);
  }

  TXMLObject document;
  document.ParseXML("<" + std::string(300, 'n') + " " + std::string(300, 'k') + "='" +
                    std::string(300, 'v') + "'/>");
  const TXMLObject& child = *document.Children().at(0);
  EXPECT_EQ(child.Name(), std::string(255, 'n'));
  EXPECT_EQ(child.Attributes().at(0).Name, std::string(255, 'k'));
  EXPECT_EQ(child.Attributes().at(0).Value, std::string(255, 'v'));
}

TEST(XMLUnitTest, GetTagAttributeQuoting) {
  struct Row {
    std::string tag;
    std::string name;
    std::string value;
  } rows[] = {
      {"<a x='1'>", "x", "1"},
      {"<a x=\"1\"/>", "x", "1"},
      {"<a x=\"it's\">", "x", "it's"},
      {"<a y='it\"s'>", "y", "it\"s"},
      {"<a xx='1' x='2'>", "x", "2"},
      {"<a X='1'>", "x", ""},    // letter case counts
      {"<a x = '1'>", "x", ""},  // blanks around "=" are not recognised
      {"<a\tx='1'>", "x", "1"},
      {"<a t='q x=1' x='2'>", "x", "2"},  // never inside another quoted value
      {"<a>text x='1'", "x", ""},          // only the start tag counts
      {"<a x=1 y=2>", "x", "1"},
      {"<a x=1 y=2>", "y", "2"},
      {"<a x=1\ty=2>", "x", "1"},
      {"<a x=1\r\ny=2>", "x", "1"},
      {"<a x=1\ny=2>", "y", "2"},
      {"<a x=1/>", "x", "1"},
      {"<a x=ab'cd'>", "x", "cd"},  // a quote anywhere before a blank opens the value
      {"<a x='open>", "x", "open"},
      {"<a x='&lt;&#65;&amp;lt;'>", "x", "<A<"},
      {"<a x='caf\xC3\xA9'>", "x", "caf\xE9"},
      {"<a x=''>", "x", ""},
      {"<a x='1'>", "", ""},
      {"", "x", ""},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(GetTagAttribute(row.tag, row.name), row.value) << row.tag << " / " << row.name;
  }
}

TEST(XMLUnitTest, FindElementTable) {
  struct Row {
    std::string data;
    std::string name;
    bool unescape;
    bool whole;
    bool found;
    std::string text;
    std::size_t position;  // 1-based, of the match's last character
  } rows[] = {
      {"<version>1</version><ver>2</ver>", "ver", true, false, true, "2", 32},
      {"<a><a>x</a></a>", "a", true, true, true, "<a><a>x</a>", 11},  // nesting not counted
      {"<a><a>x</a></a>", "a", true, false, true, "<a>x", 11},
      {"<a x='1'/>", "a", true, true, true, "<a x='1'/>", 10},
      {"<a x='1'/>", "a", true, false, true, "", 10},
      {"<a>&lt;b&gt;</a>", "a", true, false, true, "<b>", 16},
      {"<a>&lt;b&gt;</a>", "a", false, false, true, "&lt;b&gt;", 16},
      {"<ab>1</ab><a\t>2</a>", "a", true, false, true, "2", 19},
      {"<A>1</A>", "a", true, false, false, "", 0},
      {"<a>1", "a", true, false, false, "", 3},  // no end tag: not found, but moved on
      {"<a", "a", true, false, false, "", 0},
      {"", "a", true, false, false, "", 0},
      {"<a>1</a>", "", true, false, false, "", 0},  // an empty name would match end tags
  };
  for (const auto& row : rows) {
    TXMLType xml;
    InitXMLType(xml, row.data, "unused");
    std::string text = "stale";
    EXPECT_EQ(FindElement(xml, row.name, text, row.unescape, row.whole), row.found) << row.data;
    EXPECT_EQ(text, row.text) << row.data;
    EXPECT_EQ(xml.Position, row.position) << row.data;
    EXPECT_EQ(GetElement(row.data, row.name, text, row.unescape, row.whole), row.found);
  }
}

TEST(XMLUnitTest, NextElementWalksSameNamedElements) {
  const std::string data =
      "<list><item id='1'>one</item><item id='2'/><other/>"
      "<item\nid=\"3\">th&amp;ree</item><items>no</items></list>";
  TXMLType xml;
  InitXMLType(xml, data, "item");
  std::string text;
  std::vector<std::string> ids, texts;
  for (bool found = FindElement(xml, "item", text, false, true); found;
       found = NextElement(xml, text, false, true)) {
    ids.push_back(GetTagAttribute(text, "id"));
  }
  EXPECT_EQ(ids, (std::vector<std::string>{"1", "2", "3"}));

  for (bool found = FindElement(xml, "item", text); found; found = NextElement(xml, text)) {
    texts.push_back(text);
  }
  EXPECT_EQ(texts, (std::vector<std::string>{"one", "", "th&ree"}));
  EXPECT_FALSE(NextElement(xml, text));  // stays at the end
  EXPECT_EQ(text, "");

  // An element without its end tag ends the walk even though another follows.
  InitXMLType(xml, "<i>1</i><i>2<x/><i>3", "i");
  EXPECT_TRUE(NextElement(xml, text));  // position 0: NextElement starts at the beginning too
  EXPECT_EQ(text, "1");
  EXPECT_FALSE(NextElement(xml, text));
}

}  // namespace
