#ifdef _WIN32
#include <windows.h>  // before the helpers: it defines CopyFile and MoveFile as macros
#else
#include <sys/stat.h>
#endif

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "archive/ArchiveUnit.h"
#include "base/FileSystemUnit.h"
#include "tests/TestFolder.h"
#include "tools/ilds/ArchiveWriter.h"

namespace {

using ilds::TArchiveWriter;
using ilds::TPackOptions;
using Files = std::map<std::string, std::string>;  // relative name ('\') -> contents

std::string Compressible(std::size_t size, unsigned seed) {
  std::string text;
  std::mt19937 random(seed);
  static const char* const kWords[] = {"mail ", "server ", "domain ", "account\r\n", "queue ", "smtp "};
  while (text.size() < size) text += kWords[random() % 6];
  text.resize(size);
  return text;
}

std::string Random(std::size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  std::mt19937 random(seed);
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

std::string Zlib(const std::string& data) {
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  std::string out(size, '\0');
  compress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.data()),
           static_cast<uLong>(data.size()));
  out.resize(size);
  return out;
}

std::uint32_t LittleEndian32At(const std::string& bytes, std::size_t offset) {
  std::uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value |= std::uint32_t{static_cast<unsigned char>(bytes[offset + i])} << (8 * i);
  return value;
}

std::string LittleEndian(std::uint32_t value) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>(value >> (8 * i));
  return bytes;
}

// Every file below folder, by relative name with '\' separators.
Files Snapshot(const std::string& folder) {
  Files files;
  namespace fs = std::filesystem;
  const fs::path root(HostPath(folder));
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(root, error); !error && it != fs::recursive_directory_iterator();
       it.increment(error)) {
    if (!it->is_regular_file()) continue;
    std::string name = fs::relative(it->path(), root).generic_string();
    std::replace(name.begin(), name.end(), '/', '\\');
    files[name] = ReadWholeFile(folder + name, false);
  }
  return files;
}

// Builds an archive with the packer; the callback adds the entries.
std::string Pack(const std::string& path, const TPackOptions& options,
                 const std::function<void(TArchiveWriter&)>& add) {
  TArchiveWriter writer;
  EXPECT_TRUE(writer.Create(path, options)) << writer.Error();
  add(writer);
  EXPECT_TRUE(writer.Close()) << writer.Error();
  return ReadWholeFile(path, false);
}

std::string PackFiles(const std::string& path, const TPackOptions& options, const Files& files) {
  return Pack(path, options, [&](TArchiveWriter& writer) {
    for (const auto& [name, data] : files) EXPECT_TRUE(writer.AddBytes(name, data)) << writer.Error();
  });
}

TPackOptions Options(std::uint32_t version, bool compressed) {
  TPackOptions options;
  options.version = version;
  options.compressed = compressed;
  return options;
}

std::string Describe(const TPackOptions& o) {
  return "version " + std::to_string(o.version) + (o.compressed ? " zlib" : " raw") +
         (o.headerless ? " headerless" : "") +
         (o.headerLength ? " header length " + std::to_string(*o.headerLength) : "");
}

const Files& SampleFiles() {
  static const Files files = {
      {"readme.txt", "Zarel Mail Server\r\n"},
      {"empty.dat", ""},
      {"schema\\core.schema", Compressible(3000, 1)},
      {"sub\\dir\\file.txt", "deep"},
      // Larger than one transfer block, half of it incompressible.
      {"bin\\server.exe", Compressible(400 * 1024, 2) + Random(300 * 1024, 3)},
      {std::string(150, 'n') + ".txt", "long name"},
  };
  return files;
}

// Small archives are extracted on the calling thread; past about 1 MiB of data the disk work
// moves to a writer thread. A lead-in entry of that size makes a test cover the second mode.
const std::string& LeadIn() {
  static const std::string data = Compressible(1200 * 1024, 99);
  return data;
}
constexpr const char* kLeadInName = "lead-in.bin";

void AddLeadIn(TArchiveWriter& writer, bool threaded) {
  if (threaded) {
    EXPECT_TRUE(writer.AddBytes(kLeadInName, LeadIn()));
  }
}

Files WithLeadIn(Files files, bool threaded) {
  if (threaded) files[kLeadInName] = LeadIn();
  return files;
}

const char* Mode(bool threaded) { return threaded ? "writer thread" : "inline"; }

TEST(ArchiveRoundTrip, EveryFormatVariant) {
  std::vector<TPackOptions> variants;
  for (std::uint32_t version : {0u, 1u, 2u, 3u}) {
    for (bool compressed : {false, true}) variants.push_back(Options(version, compressed));
  }
  TPackOptions headerless = Options(0, false);
  headerless.headerless = true;
  variants.push_back(headerless);
  // A cut header record: the fields it does not reach read as 0 (length 1: compressed,
  // version 0; length 0: raw version 0). Length 7: two padding bytes are skipped.
  for (std::uint32_t length : {0u, 1u, 2u, 3u, 4u, 5u, 7u}) {
    TPackOptions options = Options(2, true);
    options.headerLength = length;
    variants.push_back(options);
  }
  for (const TPackOptions& options : variants) {
    SCOPED_TRACE(Describe(options));
    TestFolder folder;
    const std::string archive = folder / "test.dat";
    PackFiles(archive, options, SampleFiles());
    ASSERT_TRUE(ExtractArchive(archive, folder / "out", true, ""));
    EXPECT_EQ(Snapshot(folder / "out\\"), SampleFiles());
  }
}

TEST(ArchiveRoundTrip, ManySmallEntriesAcrossSharedBlocks) {
  // Hundreds of entries share output blocks; the writer thread starts after a few dozen files.
  Files files;
  for (int i = 0; i < 400; ++i) {
    std::string name = "d";
    name += std::to_string(i % 7);
    name += "\\f";
    name += std::to_string(i);
    files[name] = i % 3 == 0 ? Random(i * 37 % 5000, i) : Compressible(i * 101 % 20000, i);
  }
  for (bool compressed : {false, true}) {
    TestFolder folder;
    PackFiles(folder / "a.dat", Options(2, compressed), files);
    ASSERT_TRUE(ExtractArchive(folder / "a.dat", folder / "out", true, ""));
    EXPECT_TRUE(Snapshot(folder / "out\\") == files) << "compressed=" << compressed;
  }
}

// The layout byte for byte, written by hand: the packer and the reader must both agree with it.
TEST(ArchiveLayout, HandMadeArchives) {
  const std::string name = "a\\b.txt";
  const std::string fixedName = std::string(1, static_cast<char>(name.size())) + name +
                                std::string(ilds::kFixedNameSize - 1 - name.size(), '\0');
  const std::string prefixedName = std::string(1, static_cast<char>(name.size())) + name;
  const std::string stream = Zlib("hello");
  struct Case {
    const char* what;
    TPackOptions options;
    std::string bytes;
  } cases[] = {
      {"headerless", [] { auto o = Options(0, false); o.headerless = true; return o; }(),
       fixedName + LittleEndian(3) + "abc"},
      {"version 1 raw", Options(1, false),
       std::string("ILDS") + LittleEndian(5) + '\0' + LittleEndian(1) + fixedName + LittleEndian(3) + "abc"},
      {"version 2 raw", Options(2, false),
       std::string("ILDS") + LittleEndian(5) + '\0' + LittleEndian(2) + prefixedName + LittleEndian(3) + "abc"},
      {"version 2 zlib", Options(2, true),
       std::string("ILDS") + LittleEndian(5) + '\1' + LittleEndian(2) + prefixedName +
           LittleEndian(static_cast<std::uint32_t>(stream.size())) + stream},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TestFolder folder;
    const std::string expected = c.options.compressed ? "hello" : "abc";
    const std::string packed = PackFiles(folder / "packed.dat", c.options, {{name, expected}});
    EXPECT_EQ(packed, c.bytes);
    WriteWholeFile(c.bytes, folder / "hand.dat", false);
    ASSERT_TRUE(ExtractArchive(folder / "hand.dat", folder / "out", false, ""));
    EXPECT_EQ(Snapshot(folder / "out\\"), (Files{{name, expected}}));
  }
}

TEST(ArchiveEnd, BlankNamesEndTheArchive) {
  struct Case {
    std::string blankName;
    std::int32_t sizeField;
    std::string after;  // bytes that follow the marker and must never be read
  } cases[] = {
      {"", 0, ""},
      {"", 0, "\x05stray\x01\0\0\0X"},
      {"   ", 12, std::string(40, '\xff')},
      {"\t\r\n \x01", -1, "junk"},  // the marker's size is ignored, even a negative one
  };
  for (const TPackOptions& options : {Options(2, true), Options(1, false)}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(Describe(options) + " marker of " + std::to_string(c.blankName.size()) + " blanks");
      TestFolder folder;
      Pack(folder / "a.dat", options, [&](TArchiveWriter& writer) {
        writer.AddBytes("before.txt", "kept");
        writer.AddEndMarker(c.blankName, c.sizeField);
        writer.AppendBytes(c.after);
      });
      EXPECT_TRUE(ExtractArchive(folder / "a.dat", folder / "out", true, ""));
      EXPECT_EQ(Snapshot(folder / "out\\"), (Files{{"before.txt", "kept"}}));
    }
  }
}

TEST(ArchiveEnd, NamesAreTrimmedAndSlashesSeparateFolders) {
  TestFolder folder;
  PackFiles(folder / "a.dat", Options(2, false),
            {{"  padded.txt\t", "1"}, {"unix/style/name.txt", "2"}, {"x..y", "3"}, {"dir\\.hidden", "4"},
             {"con x.txt", "5"}, {"COM10", "6"}, {"console.log", "7"}});
  EXPECT_TRUE(ExtractArchive(folder / "a.dat", folder / "out", false, ""));
  EXPECT_EQ(Snapshot(folder / "out\\"),
            (Files{{"padded.txt", "1"}, {"unix\\style\\name.txt", "2"}, {"x..y", "3"}, {"dir\\.hidden", "4"},
                   {"con x.txt", "5"}, {"COM10", "6"}, {"console.log", "7"}}));
}

TEST(ArchiveKeep, OverwriteFlagAndKeepList) {
  struct Case {
    bool overwrite;
    const char* keepList;
    const char* existing;  // file present before the extraction, or null
    const char* entry;
    bool replaced;
  } cases[] = {
      {true, ";slapd.conf;", "slapd.conf", "slapd.conf", true},    // the list is only for no-overwrite
      {false, ";slapd.conf;", "slapd.conf", "slapd.conf", false},
      {false, ";slapd.conf;", "SLAPD.CONF", "SLAPD.CONF", false},  // the list ignores case
      {false, ";SLAPD.CONF;", "slapd.conf", "slapd.conf", false},
      {false, ";slapd.conf;", "schema\\core.schema", "schema\\core.schema", true},
      {false, ";slapd.conf;schema\\core.schema;", "schema\\core.schema", "schema\\core.schema", false},
      {false, ";slapd.conf;", nullptr, "new.txt", true},           // missing files are always written
      {false, "", "slapd.conf", "slapd.conf", false},               // empty list: nothing replaced
      {false, "", nullptr, "slapd.conf", true},
      {false, "slapd.conf", "slapd.conf", "slapd.conf", true},      // not enclosed in ';': no match
      {false, ";xslapd.conf;", "slapd.conf", "slapd.conf", true},
      {false, ";slapd.conf;", "xslapd.conf", "xslapd.conf", true},
  };
  for (bool compressed : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(compressed ? "zlib " : "raw ") + c.entry + " keep=" + c.keepList +
                   " overwrite=" + (c.overwrite ? "1" : "0"));
      TestFolder folder;
      if (c.existing != nullptr) WriteWholeFile("old", folder / (std::string("out\\") + c.existing), false);
      PackFiles(folder / "a.dat", Options(2, compressed), {{c.entry, "new"}, {"after.txt", "after"}});
      EXPECT_TRUE(ExtractArchive(folder / "a.dat", folder / "out", c.overwrite, c.keepList));
      EXPECT_EQ(ReadWholeFile(folder / (std::string("out\\") + c.entry), false), c.replaced ? "new" : "old");
      EXPECT_EQ(ReadWholeFile(folder / "out\\after.txt", false), "after");  // read past a kept entry
    }
  }
}

TEST(ArchiveKeep, LaterEntriesSeeTheFilesOfEarlierOnes) {
  for (bool threaded : {false, true}) {
  for (bool compressed : {false, true}) {
    for (bool overwrite : {false, true}) {
      TestFolder folder;
      Pack(folder / "a.dat", Options(2, compressed), [&](TArchiveWriter& writer) {
        AddLeadIn(writer, threaded);
        writer.AddBytes("twice.txt", "first");
        writer.AddBytes("other.txt", std::string(300000, 'o'));
        writer.AddBytes("twice.txt", "second");
      });
      EXPECT_TRUE(ExtractArchive(folder / "a.dat", folder / "out", overwrite, ""));
      EXPECT_EQ(ReadWholeFile(folder / "out\\twice.txt", false), overwrite ? "second" : "first")
          << "compressed=" << compressed << " " << Mode(threaded);
    }
  }
  }
}

TEST(ArchiveKeep, KeptEntryIsNotInflated) {
  // A kept entry is read past, never inflated: a bad stream there loses nothing.
  for (bool threaded : {false, true}) {
    TestFolder folder;
    WriteWholeFile("mine", folder / "out\\slapd.conf", false);
    Pack(folder / "a.dat", Options(2, true), [&](TArchiveWriter& writer) {
      AddLeadIn(writer, threaded);
      writer.AddStored("slapd.conf", "not a zlib stream");
      writer.AddBytes("b.txt", "b");
    });
    EXPECT_TRUE(ExtractArchive(folder / "a.dat", folder / "out", false, ";slapd.conf;")) << Mode(threaded);
    EXPECT_TRUE(Snapshot(folder / "out\\") == WithLeadIn({{"slapd.conf", "mine"}, {"b.txt", "b"}}, threaded))
        << Mode(threaded);
  }
}

TEST(ArchiveArguments, PathsAndFolders) {
  TestFolder folder;
  PackFiles(folder / "a.dat", Options(2, true), {{"x.txt", "x"}});
  WriteWholeFile("", folder / "empty.dat", false);
  WriteWholeFile("in the way", folder / "file", false);
  EXPECT_FALSE(ExtractArchive("", folder / "out1", true, ""));
  EXPECT_FALSE(ExtractArchive(folder / "a.dat", "", true, ""));
  EXPECT_FALSE(ExtractArchive(folder / "missing.dat", folder / "out2", true, ""));
  EXPECT_FALSE(ExtractArchive(folder.path(), folder / "out3", true, ""));  // a folder, not an archive
  EXPECT_FALSE(ExtractArchive(folder / "a.dat", folder / "file\\sub", true, ""));
  // The destination is created with its parents; the trailing separator is optional.
  EXPECT_TRUE(ExtractArchive(folder / "a.dat", folder / "deep\\er\\out", true, ""));
  EXPECT_EQ(ReadWholeFile(folder / "deep\\er\\out\\x.txt", false), "x");
  EXPECT_TRUE(ExtractArchive(folder / "empty.dat", folder / "out4\\", true, ""));
  EXPECT_TRUE(DirectoryExists(folder / "out4"));
  EXPECT_TRUE(Snapshot(folder / "out4\\").empty());
}

TEST(DecompressBuffer, RoundTripsAndFailures) {
  const std::string zeros(6 * 1024 * 1024, '\0');  // inflates ~1000-fold: many growth steps
  const std::string mixed = Compressible(200000, 7) + Random(100000, 8);
  std::string needDict = Zlib("x");
  needDict[1] = static_cast<char>(0xBB);  // FDICT set, header check still divisible by 31
  ASSERT_EQ(((static_cast<unsigned char>(needDict[0]) << 8) | 0xBB) % 31, 0);
  needDict.insert(2, "\x01\x02\x03\x04");
  std::string badChecksum = Zlib(mixed);
  badChecksum.back() ^= 1;
  struct Case {
    const char* what;
    std::string input;
    bool ok;
    std::string output;
  } cases[] = {
      {"empty stream", Zlib(""), true, ""},
      {"small", Zlib("hello"), true, "hello"},
      {"highly compressible", Zlib(zeros), true, zeros},
      {"mixed", Zlib(mixed), true, mixed},
      {"bytes after the stream", Zlib("hello") + "tail", true, "hello"},
      {"no input", "", false, ""},
      {"not a stream", "plain text, not zlib", false, ""},
      {"cut stream", Zlib(mixed).substr(0, 1000), false, ""},
      {"stream asks for a dictionary", needDict, false, ""},
      {"checksum mismatch", badChecksum, false, ""},
  };
  for (const Case& c : cases) {
    std::vector<unsigned char> output(3, 'x');
    EXPECT_EQ(DecompressBuffer(c.input.data(), c.input.size(), output), c.ok) << c.what;
    EXPECT_EQ(std::string(output.begin(), output.end()), c.output) << c.what;
  }
}


// ---------------------------------------------------------------------------------------------
// Damaged archives

struct TExpected {
  bool result;
  Files files;
};

void ExpectExtraction(const std::string& archiveBytes, const TExpected& expected, const std::string& trace) {
  TestFolder folder;
  WriteWholeFile(archiveBytes, folder / "a.dat", false);
  EXPECT_EQ(ExtractArchive(folder / "a.dat", folder / "out", true, ""), expected.result) << trace;
  EXPECT_EQ(Snapshot(folder / "out\\"), expected.files) << trace;
}

// Entries with the offsets the packer gave them.
struct TLaidOut {
  std::string name;
  std::string data;
  std::uint64_t nameOffset = 0;
  std::uint64_t dataOffset = 0;
  std::uint64_t end = 0;
};

std::vector<TLaidOut> LayOut(const std::string& path, const std::vector<std::pair<std::string, std::string>>& entries,
                             std::uint64_t headerEnd) {
  std::vector<TLaidOut> laid;
  ilds::TArchiveFormat format;
  std::string error;
  std::uint64_t next = headerEnd;
  EXPECT_TRUE(ilds::ListArchive(path, format, [&](const ilds::TEntryInfo& info) {
    TLaidOut entry;
    entry.name = info.name;
    entry.data = entries[laid.size()].second;
    entry.nameOffset = next;
    entry.dataOffset = info.dataOffset;
    entry.end = next = info.dataOffset + static_cast<std::uint32_t>(info.size);
    laid.push_back(entry);
  }, error)) << error;
  EXPECT_EQ(laid.size(), entries.size());
  return laid;
}

struct TVariant {
  const char* what;
  TPackOptions options;
};

std::vector<TVariant> DamageVariants() {
  TPackOptions headerless = Options(0, false);
  headerless.headerless = true;
  return {{"version 1 raw", Options(1, false)},
          {"version 2 raw", Options(2, false)},
          {"version 2 zlib", Options(2, true)},
          {"headerless", headerless}};
}

const std::vector<std::pair<std::string, std::string>> kTwoEntries = {
    {"one.txt", "first entry, forty bytes of raw data..."}, {"two\\b.txt", "second entry: thirty bytes..."}};

// What a cut at length cut leaves: entries before the cut complete; the entry cut in its data
// keeps its bytes (raw) or is left empty (zlib); a cut in a name or size field is damage.
TExpected ExpectedAfterCut(const std::vector<TLaidOut>& laid, std::uint64_t cut, bool headerless,
                           bool compressed) {
  if (cut == 0) return {true, {}};
  if (!headerless && cut < 4) return {false, {}};  // too short for the magic: a cut 256-byte name
  if (!headerless && cut <= laid.front().nameOffset) return {true, {}};  // missing header bytes are zeros
  TExpected expected{true, {}};
  for (const TLaidOut& entry : laid) {
    if (cut <= entry.nameOffset) break;
    if (cut < entry.dataOffset) return {false, expected.files};
    if (cut < entry.end) {
      expected.files[entry.name] = compressed ? "" : entry.data.substr(0, cut - entry.dataOffset);
      return {false, expected.files};
    }
    expected.files[entry.name] = entry.data;
  }
  return expected;
}

// Every byte of the header, of each size field and of each entry's data, and around every
// field boundary; inside the 256-byte name fields one byte in 16 stands for the rest.
bool WorthCutting(const std::vector<TLaidOut>& laid, std::uint64_t cut) {
  if (cut <= laid.front().nameOffset + 2) return true;
  for (const TLaidOut& entry : laid) {
    if (cut + 2 >= entry.nameOffset && cut <= entry.nameOffset + 2) return true;
    if (cut + 6 >= entry.dataOffset && cut <= entry.end) return true;
  }
  return cut % 16 == 0;
}

TEST(ArchiveDamage, CutAtEveryByte) {
  for (const TVariant& variant : DamageVariants()) {
    TestFolder source;
    Files files(kTwoEntries.begin(), kTwoEntries.end());
    const std::string bytes = Pack(source / "a.dat", variant.options, [](TArchiveWriter& writer) {
      for (const auto& [name, data] : kTwoEntries) writer.AddBytes(name, data);
    });
    const auto laid = LayOut(source / "a.dat", kTwoEntries, variant.options.headerless ? 0 : 13);
    ASSERT_EQ(laid.back().end, bytes.size());
    for (std::size_t cut = 0; cut <= bytes.size(); ++cut) {
      if (!WorthCutting(laid, cut)) continue;
      ExpectExtraction(bytes.substr(0, cut),
                       ExpectedAfterCut(laid, cut, variant.options.headerless, variant.options.compressed),
                       std::string(variant.what) + " cut at " + std::to_string(cut));
    }
  }
}

// Every byte of the header and of each size field, set to a few telling values. Where the outcome
// is determined it is checked exactly; everywhere the extraction must end and stay inside the
// destination folder.
TEST(ArchiveDamage, DamagedHeaderAndSizeBytes) {
  for (const TVariant& variant : DamageVariants()) {
    TestFolder source;
    const std::string bytes = Pack(source / "a.dat", variant.options, [](TArchiveWriter& writer) {
      for (const auto& [name, data] : kTwoEntries) writer.AddBytes(name, data);
    });
    const auto laid = LayOut(source / "a.dat", kTwoEntries, variant.options.headerless ? 0 : 13);
    const Files original(kTwoEntries.begin(), kTwoEntries.end());
    std::vector<std::size_t> positions;
    if (!variant.options.headerless) {
      for (std::size_t i = 0; i < 13; ++i) positions.push_back(i);
    }
    for (const TLaidOut& entry : laid) {
      for (std::size_t i = 0; i < 4; ++i) positions.push_back(entry.dataOffset - 4 + i);
    }
    for (std::size_t position : positions) {
      const auto before = static_cast<unsigned char>(bytes[position]);
      // Zero, a set sign bit, all ones, one off.
      for (unsigned value : {0x00u, 0x80u, 0xFFu, before ^ 0x01u}) {
        if (value == before) continue;
        std::string damaged = bytes;
        damaged[position] = static_cast<char>(value);
        const std::string trace = std::string(variant.what) + " byte " + std::to_string(position) + " = " +
                                  std::to_string(value);
        TestFolder folder;
        WriteWholeFile(damaged, folder / "a.dat", false);
        const bool result = ExtractArchive(folder / "a.dat", folder / "x\\out", true, "");
        const Files all = Snapshot(folder.path());
        for (const auto& [name, data] : all) {
          EXPECT_TRUE(name == "a.dat" || name.rfind("x\\out\\", 0) == 0) << trace << ": wrote " << name;
        }
        const Files out = Snapshot(folder / "x\\out\\");

        std::optional<TExpected> expected;
        const std::uint32_t headerLength = LittleEndian32At(damaged, 4);
        if (variant.options.headerless || position < 4) {
          // A damaged magic makes the file headerless: its header is read as an entry.
        } else if (position < 8) {
          if (8 + std::uint64_t{headerLength} > damaged.size()) expected = TExpected{false, {}};
        } else if (position == 8) {
          // The compressed flag: any non-zero value means zlib. Streams stored raw are files of
          // their own; raw data read as streams does not inflate.
          Files stored;
          Files emptied;
          for (const TLaidOut& entry : laid) {
            stored[entry.name] = bytes.substr(entry.dataOffset, entry.end - entry.dataOffset);
            emptied[entry.name] = "";
          }
          if (variant.options.compressed) {
            expected = TExpected{true, value != 0 ? original : stored};
          } else {
            expected = TExpected{false, emptied};
          }
        } else if (position < 13) {
          const std::uint32_t version = LittleEndian32At(damaged, 9);
          if ((version >= 2) == (variant.options.version >= 2)) expected = TExpected{true, original};
        } else {
          const TLaidOut& entry = position < laid[0].dataOffset ? laid[0] : laid[1];
          const auto size = static_cast<std::int32_t>(LittleEndian32At(damaged, entry.dataOffset - 4));
          Files earlier;
          for (const TLaidOut& other : laid) {
            if (other.nameOffset < entry.nameOffset) earlier[other.name] = other.data;
          }
          if (size < 0) {
            expected = TExpected{false, earlier};
          } else if (entry.dataOffset + static_cast<std::uint64_t>(size) > bytes.size()) {
            earlier[entry.name] = variant.options.compressed ? "" : bytes.substr(entry.dataOffset);
            expected = TExpected{false, earlier};
          }
        }
        if (expected) {
          EXPECT_EQ(result, expected->result) << trace;
          EXPECT_EQ(out, expected->files) << trace;
        }
      }
    }
  }
}

TEST(ArchiveDamage, NegativeAndOversizedSizes) {
  const std::string stream = Zlib("payload");
  struct Case {
    const char* what;
    bool compressed;
    std::int32_t size;
    Files files;  // beside first.txt
  } cases[] = {
      {"raw -1", false, -1, {}},
      {"raw minimum", false, INT32_MIN, {}},
      {"zlib -1", true, -1, {}},
      // Oversized: nothing of that size is allocated; raw keeps what is there, zlib is emptied.
      {"raw 2 GiB", false, INT32_MAX, {{"big.bin", "payload"}}},
      {"zlib 2 GiB", true, INT32_MAX, {{"big.bin", ""}}},
      {"raw one byte over", false, 8, {{"big.bin", "payload"}}},
      {"zlib one byte over", true, static_cast<std::int32_t>(stream.size() + 1), {{"big.bin", ""}}},
  };
  for (bool threaded : {false, true}) {
    for (const Case& c : cases) {
      TestFolder folder;
      Pack(folder / "a.dat", Options(2, c.compressed), [&](TArchiveWriter& writer) {
        AddLeadIn(writer, threaded);
        writer.AddBytes("first.txt", "1");
        writer.AddStored("big.bin", c.compressed ? stream : "payload", c.size);
      });
      Files expected = WithLeadIn(c.files, threaded);
      expected["first.txt"] = "1";
      EXPECT_FALSE(ExtractArchive(folder / "a.dat", folder / "out", true, "")) << c.what << " " << Mode(threaded);
      EXPECT_TRUE(Snapshot(folder / "out\\") == expected) << c.what << " " << Mode(threaded);
    }
  }
}

TEST(ArchiveDamage, StreamsThatDoNotInflate) {
  const std::string big = Compressible(700 * 1024, 11) + Random(200 * 1024, 12);  // several blocks
  std::string badChecksum = Zlib(big);
  badChecksum.back() ^= 0x55;
  std::string needDict = Zlib("x");
  needDict[1] = static_cast<char>(0xBB);
  needDict.insert(2, "\x01\x02\x03\x04");
  struct Case {
    const char* what;
    std::string stored;
  } cases[] = {
      {"not a stream", "this is not zlib data"},
      {"asks for a dictionary", needDict},
      {"stream longer than the entry", Zlib(big).substr(0, 5000)},
      {"header only", Zlib("").substr(0, 2)},
      {"checksum mismatch after blocks were written", badChecksum},
  };
  for (bool threaded : {false, true}) {
    for (const Case& c : cases) {
      TestFolder folder;
      Pack(folder / "a.dat", Options(2, true), [&](TArchiveWriter& writer) {
        AddLeadIn(writer, threaded);
        writer.AddBytes("first.txt", "first");
        writer.AddStored("bad.bin", c.stored);
        writer.AddBytes("last.txt", "last");
      });
      // The damaged entry is left empty and extraction goes on, but the result reports the loss.
      EXPECT_FALSE(ExtractArchive(folder / "a.dat", folder / "out", true, "")) << c.what << " " << Mode(threaded);
      EXPECT_TRUE(Snapshot(folder / "out\\") ==
                  WithLeadIn({{"first.txt", "first"}, {"bad.bin", ""}, {"last.txt", "last"}}, threaded))
          << c.what << " " << Mode(threaded);
    }
  }
}

TEST(ArchiveDamage, BytesAfterTheStreamInsideTheEntryAreReadPast) {
  // The stream ended with a matching checksum; padding after it inside the entry loses nothing.
  TestFolder folder;
  Pack(folder / "a.dat", Options(2, true), [](TArchiveWriter& writer) {
    writer.AddStored("padded.txt", Zlib("content") + std::string(100, '\0'));
    writer.AddBytes("next.txt", "next");
  });
  EXPECT_TRUE(ExtractArchive(folder / "a.dat", folder / "out", true, ""));
  EXPECT_EQ(Snapshot(folder / "out\\"), (Files{{"padded.txt", "content"}, {"next.txt", "next"}}));
}

TEST(ArchiveDamage, HeaderBytesPastTheEndOfTheFile) {
  struct Case {
    const char* what;
    std::string bytes;
    bool result;
  } cases[] = {
      // A cut header record reads as zeros: an empty raw archive.
      {"record cut", std::string("ILDS") + LittleEndian(5) + "\x01", true},
      {"no record", std::string("ILDS") + LittleEndian(5), true},
      {"length cut", std::string("ILDS\x05", 5), true},
      {"padding complete", std::string("ILDS") + LittleEndian(7) + '\0' + LittleEndian(2) + "\xAA\xBB", true},
      // Padding the file does not hold: damage, not an empty archive.
      {"padding cut", std::string("ILDS") + LittleEndian(7) + '\0' + LittleEndian(2) + "\xAA", false},
      {"huge header length", std::string("ILDS") + LittleEndian(0xFFFFFFF0u) + '\0' + LittleEndian(2), false},
  };
  for (const Case& c : cases) ExpectExtraction(c.bytes, {c.result, {}}, c.what);
}

TEST(ArchiveSafety, UnsafeNamesAreNeverWritten) {
  const char* const names[] = {
      "..\\zarel-escape.txt", "..", "sub\\..\\..\\zarel-escape.txt", "sub/../../zarel-escape.txt",
      ".\\x", "\\zarel-escape.txt", "/zarel-escape.txt", "\\\\server\\share\\x", "//server/share/x",
      "C:\\zarel-escape.txt", "C:zarel-escape.txt", "file.txt:stream", "CON", "con.txt", "sub\\NUL",
      "Aux.log", "prn", "COM1", "lpt9.txt", "com1 .txt", "CONIN$", "conout$.x", "COM\xB9", "a\\\\b",
      "sub\\", "a.", "dir.\\x", "dir \\x", "a\x01" "b", "tab\there", "a<b", "a>b", "a\"b", "a|b",
      "a?b", "a*b",
  };
  // Raw entries inline; compressed ones every fourth name after the writer thread has started.
  for (bool compressed : {false, true}) {
    for (std::size_t i = 0; i < std::size(names); ++i) {
      const char* name = names[i];
      const bool threaded = compressed && i % 4 == 0;
      const std::string trace = std::string(compressed ? "zlib " : "raw ") + name + " " + Mode(threaded);
      TestFolder folder;
      Pack(folder / "a.dat", Options(2, compressed), [&](TArchiveWriter& writer) {
        AddLeadIn(writer, threaded);
        writer.AddBytes("first.txt", "1");
        writer.AddBytes(name, "evil");
        writer.AddBytes("last.txt", "3");
      });
      EXPECT_FALSE(ExtractArchive(folder / "a.dat", folder / "a\\b\\out", true, "")) << trace;
      Files all = Snapshot(folder.path());
      all.erase("a.dat");
      Files expected = {{"a\\b\\out\\first.txt", "1"}};
      if (threaded) expected[std::string("a\\b\\out\\") + kLeadInName] = LeadIn();
      EXPECT_TRUE(all == expected) << trace;
      // Rooted names would have gone to the top of the file system.
      EXPECT_FALSE(FileExists("\\zarel-escape.txt")) << trace;
      DeleteFileAt("\\zarel-escape.txt");
    }
  }
}

void SetReadOnly(const std::string& path, bool readOnly) {
#ifdef _WIN32
  SetFileAttributesA(path.c_str(), readOnly ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL);
#else
  chmod(HostPath(path).c_str(), readOnly ? 0444 : 0644);
#endif
}

bool CanOpenForWriting(const std::string& path) {
  std::FILE* file = std::fopen(HostPath(path).c_str(), "ab");
  if (file != nullptr) std::fclose(file);
  return file != nullptr;
}

TEST(ArchiveTargets, TargetThatCannotBeCreatedStopsTheExtraction) {
  for (bool threaded : {false, true}) {
  for (bool compressed : {false, true}) {
    for (const char* obstacle : {"folder", "read-only file"}) {
      SCOPED_TRACE(std::string(compressed ? "zlib " : "raw ") + obstacle + " " + Mode(threaded));
      TestFolder folder;
      const std::string target = folder / "out\\b.txt";
      if (std::string(obstacle) == "folder") {
        ForceDirectories(target + "\\");
      } else {
        WriteWholeFile("old", target, false);
        SetReadOnly(target, true);
        if (CanOpenForWriting(target)) {  // e.g. root on POSIX: permissions do not apply
          SetReadOnly(target, false);
          continue;
        }
      }
      Pack(folder / "a.dat", Options(2, compressed), [&](TArchiveWriter& writer) {
        AddLeadIn(writer, threaded);
        for (const char* name : {"a.txt", "b.txt", "c.txt"}) writer.AddBytes(name, std::string(1, name[0]));
      });
      TArchiveReport report;
      EXPECT_FALSE(ExtractArchive(folder / "a.dat", folder / "out", true, "", &report));
      // The report names the file and carries the system's reason.
      EXPECT_EQ(report.Fault, TArchiveFault::TargetNotWritten);
      EXPECT_EQ(report.Target, target);
      EXPECT_EQ(report.Entry, "b.txt");
      EXPECT_NE(report.SystemError, 0u);
      EXPECT_EQ(ReadWholeFile(folder / "out\\a.txt", false), "a");
      EXPECT_FALSE(FileExists(folder / "out\\c.txt"));  // later entries are not extracted
      if (std::string(obstacle) != "folder") {
        EXPECT_EQ(ReadWholeFile(target, false), "old");
        SetReadOnly(target, false);
      }
    }
  }
  }
}

#ifdef _WIN32
TEST(ArchiveTargets, LockedTargetStopsTheExtraction) {
  TestFolder folder;
  PackFiles(folder / "a.dat", Options(2, true), {{"a.txt", "a"}, {"b.txt", "b"}, {"c.txt", "c"}});
  WriteWholeFile("old", folder / "out\\b.txt", false);
  HANDLE lock = CreateFileA((folder / "out\\b.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(ExtractArchive(folder / "a.dat", folder / "out", true, ""));
  CloseHandle(lock);
  EXPECT_EQ(ReadWholeFile(folder / "out\\a.txt", false), "a");
  EXPECT_EQ(ReadWholeFile(folder / "out\\b.txt", false), "old");
  EXPECT_FALSE(FileExists(folder / "out\\c.txt"));
}
#endif

// ---------------------------------------------------------------------------------------------
// Read-through before anything is changed

TEST(ArchiveCheck, SoundArchivesAreReadThroughWithoutWriting) {
  for (const TVariant& variant : DamageVariants()) {
    TestFolder folder;
    PackFiles(folder / "a.dat", variant.options, SampleFiles());
    const TArchiveReport report = CheckArchive(folder / "a.dat", {"schema\\core.schema"});
    EXPECT_TRUE(report.Sound()) << variant.what;
    Files sizes;
    for (const TArchiveEntrySize& entry : report.Entries) sizes[entry.Name] = std::to_string(entry.Size);
    Files expected;
    for (const auto& [name, data] : SampleFiles()) expected[name] = std::to_string(data.size());
    EXPECT_EQ(sizes, expected) << variant.what;
    EXPECT_EQ(report.Contents.at("schema\\core.schema"), SampleFiles().at("schema\\core.schema")) << variant.what;
    EXPECT_EQ(report.Contents.size(), 1u) << variant.what;
    EXPECT_EQ(Snapshot(folder / ""), (Files{{"a.dat", ReadWholeFile(folder / "a.dat", false)}})) << variant.what;
  }
  // An archive carried inside another is checked from memory.
  TestFolder folder;
  const std::string inner = PackFiles(folder / "inner.dat", Options(2, true), {{"domain.cfg", Compressible(5000, 4)}});
  PackFiles(folder / "outer.dat", Options(2, true), {{"demo.dat", inner}, {"x.txt", "x"}});
  const TArchiveReport outer = CheckArchive(folder / "outer.dat", {"demo.dat"});
  ASSERT_TRUE(outer.Sound());
  EXPECT_TRUE(CheckArchiveBytes(outer.Contents.at("demo.dat")).Sound());
  std::string flipped = inner;
  flipped[flipped.size() - 100] ^= 0x10;
  EXPECT_EQ(CheckArchiveBytes(flipped).Fault, TArchiveFault::DataDamaged);
}

// Each damage the read-through must find, with the entry it names; an extraction of the same
// bytes into an empty folder fails with the same fault, so a sound check means the extraction
// can complete.
TEST(ArchiveCheck, DamageIsFoundAndNamed) {
  const std::string big = Compressible(300 * 1024, 21) + Random(100 * 1024, 22);
  TestFolder source;
  const std::string sound = PackFiles(source / "a.dat", Options(2, true), {{"a.txt", big}, {"z.txt", "last"}});
  const auto laid = LayOut(source / "a.dat", {{"a.txt", big}, {"z.txt", "last"}}, 13);
  std::string flipped = sound;
  flipped[laid[0].dataOffset + (laid[0].end - laid[0].dataOffset) / 2] ^= 0x01;
  std::string badAdler = sound;
  badAdler[laid[0].end - 1] ^= 0x55;
  const std::string raw = PackFiles(source / "r.dat", Options(2, false), {{"a.txt", "raw data"}, {"z.txt", "last"}});
  struct Case {
    const char* what;
    std::string bytes;
    TArchiveFault fault;
    const char* entry;
  } cases[] = {
      {"cut in the compressed data", sound.substr(0, laid[0].dataOffset + 1000), TArchiveFault::Cut, "a.txt"},
      {"cut in the last size field", sound.substr(0, laid[1].dataOffset - 2), TArchiveFault::Cut, "z.txt"},
      {"cut in the second name", sound.substr(0, laid[1].nameOffset + 3), TArchiveFault::Cut, "a.txt"},
      {"cut in raw data", raw.substr(0, raw.size() - 2), TArchiveFault::Cut, "z.txt"},
      {"flipped byte in compressed data", flipped, TArchiveFault::DataDamaged, "a.txt"},
      {"bad Adler-32", badAdler, TArchiveFault::DataDamaged, "a.txt"},
      {"negative size", sound.substr(0, laid[1].dataOffset - 4) + LittleEndian(0xFFFFFFF0u) + "last",
       TArchiveFault::Malformed, "z.txt"},
      {"header longer than the file", std::string("ILDS") + LittleEndian(1000) + std::string(5, '\0'),
       TArchiveFault::Cut, ""},
  };
  for (const Case& c : cases) {
    TestFolder folder;
    WriteWholeFile(c.bytes, folder / "d.dat", false);
    const TArchiveReport check = CheckArchive(folder / "d.dat");
    EXPECT_EQ(check.Fault, c.fault) << c.what;
    EXPECT_EQ(check.Entry, c.entry) << c.what;
    TArchiveReport extraction;
    EXPECT_FALSE(ExtractArchive(folder / "d.dat", folder / "out", true, "", &extraction)) << c.what;
    EXPECT_EQ(extraction.Fault, c.fault) << c.what;
    EXPECT_EQ(extraction.Entry, c.entry) << c.what;
  }
  TestFolder folder;
  const TArchiveReport missing = CheckArchive(folder / "missing.dat");
  EXPECT_EQ(missing.Fault, TArchiveFault::Unreadable);
  EXPECT_NE(missing.SystemError, 0u);
}

// ---------------------------------------------------------------------------------------------
// Packer

TEST(ArchiveWriter, RefusesWhatTheFormatCannotHold) {
  TestFolder folder;
  struct Case {
    const char* what;
    TPackOptions options;
  } badOptions[] = {
      {"headerless zlib", [] { auto o = Options(0, true); o.headerless = true; return o; }()},
      {"headerless version 2", [] { auto o = Options(2, false); o.headerless = true; return o; }()},
      {"level 10", [] { auto o = Options(2, true); o.level = 10; return o; }()},
  };
  for (const Case& c : badOptions) {
    TArchiveWriter writer;
    EXPECT_FALSE(writer.Create(folder / "x.dat", c.options)) << c.what;
    EXPECT_FALSE(writer.Error().empty()) << c.what;
  }
  TArchiveWriter writer;
  ASSERT_TRUE(writer.Create(folder / "y.dat", Options(2, true)));
  EXPECT_FALSE(writer.AddBytes(std::string(256, 'n'), "too long a name"));
  EXPECT_FALSE(writer.AddFile("missing", folder / "no such file"));
  EXPECT_FALSE(writer.Close());  // the failures are reported once more at the end
}

TEST(ArchiveWriter, StreamsFilesAndListsThem) {
  TestFolder folder;
  const std::string big = Compressible(1500 * 1024, 21) + Random(600 * 1024, 22);
  WriteWholeFile(big, folder / "src\\big.bin", false);
  WriteWholeFile("", folder / "src\\empty", false);
  for (bool compressed : {false, true}) {
    TArchiveWriter writer;
    ASSERT_TRUE(writer.Create(folder / "a.dat", Options(2, compressed)));
    ASSERT_TRUE(writer.AddFile("big.bin", folder / "src\\big.bin")) << writer.Error();
    ASSERT_TRUE(writer.AddFile("empty", folder / "src\\empty")) << writer.Error();
    ASSERT_TRUE(writer.Close()) << writer.Error();

    std::vector<ilds::TEntryInfo> listed;
    ilds::TArchiveFormat format;
    std::string error;
    ASSERT_TRUE(ilds::ListArchive(folder / "a.dat", format,
                                  [&](const ilds::TEntryInfo& entry) { listed.push_back(entry); }, error));
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(format.compressed, compressed);
    EXPECT_EQ(listed[0].name, "big.bin");
    if (compressed) {
      EXPECT_LT(listed[0].size, static_cast<std::int32_t>(big.size()));
    } else {
      EXPECT_EQ(listed[0].size, static_cast<std::int32_t>(big.size()));
    }
    EXPECT_EQ(listed[1].size, 0);  // empty files carry no stream
    ASSERT_TRUE(ExtractArchive(folder / "a.dat", folder / "out", true, ""));
    EXPECT_TRUE(ReadWholeFile(folder / "out\\big.bin", false) == big);
    EXPECT_TRUE(FileExists(folder / "out\\empty"));
  }
}

}  // namespace
