// Template expansion: markers per line and line ends.
#include <gtest/gtest.h>

#include "base/FileSystemUnit.h"
#include "engine/TemplateUnit.h"
#include "tests/TestFolder.h"

namespace {

TEST(TemplateUnitTest, FirstMarkerOfEachKindPerLine) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},
      {"plain", "plain"},
      {"%%installpath%%", "I\\"},
      {"%%installpath%%x%%installpath%%", "I\\x%%installpath%%"},
      {"%%temppath%%%%installpath%%", "T\\I\\"},
      {"%%temppath%%%%temppath%%", "T\\%%temppath%%"},
      {"%%INSTALLPATH%%", "%%INSTALLPATH%%"},  // case-sensitive
      {"%%installpath%", "%%installpath%"},
      {"a%%installpath%%b%%temppath%%c", "aI\\bT\\c"},
  };
  for (const auto& [line, expanded] : cases) EXPECT_EQ(ExpandTemplateLine(line, "I\\", "T\\"), expanded) << line;
  // A replacement that itself looks like a marker is not expanded again.
  EXPECT_EQ(ExpandTemplateLine("%%installpath%%", "%%temppath%%", "T"), "%%temppath%%");
}

TEST(TemplateUnitTest, FileLinesEndInCrLf) {
  TestFolder folder;
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},
      {"a", "a\r\n"},
      {"a\r\n", "a\r\n"},
      {"a\nb", "a\r\nb\r\n"},
      {"a\rb\r", "a\r\nb\r\n"},
      {"\r\n\r\n", "\r\n\r\n"},
      {"x=%%installpath%%\r\ny=%%temppath%%\n", "x=I\\\r\ny=T\\\r\n"},
  };
  for (const auto& [input, output] : cases) {
    WriteWholeFile(input, folder / "in.tpl", false);
    ASSERT_EQ(ExpandTemplateFile(folder / "in.tpl", folder / "out.txt", "I\\", "T\\"), TTemplateResult::Written);
    EXPECT_EQ(ReadWholeFile(folder / "out.txt", false), output);
  }
  EXPECT_EQ(ExpandTemplateFile(folder / "missing.tpl", folder / "out2.txt", "I", "T"), TTemplateResult::InputUnreadable);
  EXPECT_FALSE(FileExists(folder / "out2.txt"));
  EXPECT_EQ(ExpandTemplateFile(folder / "in.tpl", folder / "no such folder\\out.txt", "I", "T"),
            TTemplateResult::OutputNotCreated);
}

}  // namespace
