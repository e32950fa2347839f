#include "download/zip_reader.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <vector>

#include "testing/zip_builder.h"

namespace ostrane::zip {
namespace {

using testing::ZipBuilder;
using testing::ZipTestEntry;

// Keeps what the reader writes; can be told to refuse one path.
class MemorySink final : public ExtractionSink {
 public:
  bool CreateFolder(const std::wstring& path) override {
    folders.push_back(path);
    return path != refuse;
  }
  bool BeginFile(const std::wstring& path) override {
    EXPECT_TRUE(current_.empty()) << "a file was begun before the last one ended";
    current_ = path;
    files[path].clear();
    return path != refuse;
  }
  bool Write(std::span<const unsigned char> data) override {
    EXPECT_FALSE(current_.empty());
    files[current_].append(data.begin(), data.end());
    written += data.size();
    return !failWrites;
  }
  bool EndFile(bool keep) override {
    if (!keep) {
      files.erase(current_);
      removed.push_back(current_);
    }
    current_.clear();
    return true;
  }

  bool Untouched() const { return folders.empty() && files.empty() && removed.empty(); }

  std::vector<std::wstring> folders;
  std::map<std::wstring, std::string> files;
  std::vector<std::wstring> removed;
  std::size_t written = 0;
  std::wstring refuse;
  bool failWrites = false;

 private:
  std::wstring current_;
};

ExtractionResult Extract(const std::vector<unsigned char>& archive, MemorySink& sink,
                         std::uint64_t cap = ZipReader::kDefaultOutputCap) {
  MemorySource source(archive);
  return ZipReader(DecodeNameUtf8OrLatin1, cap).Extract(source, sink);
}

std::string NoisyData(std::size_t size) {
  std::mt19937 random(7);
  std::string data(size, '\0');
  for (auto& c : data) c = static_cast<char>(random() % 7 == 0 ? random() : 'x');
  return data;
}

TEST(ZipReaderTest, UnpacksStoredAndDeflatedEntriesIntoTheirFolders) {
  const std::string big = NoisyData(300'000);  // several input and output chunks
  const std::string zeros(10'000'000, '\0');   // about the highest ratio deflate reaches
  const auto archive = ZipBuilder()
                           .Add("readme.txt", "stored text", 0)
                           .Add("bin/", "")
                           .Add("bin/setup.exe", big)
                           .Add("deep/er/zeros.bin", zeros)
                           .Add("win\\style\\path.txt", "backslashes")
                           .Add("empty.txt", "", 0)
                           .Add("empty-deflated.txt", "")
                           .Build("a comment");
  MemorySink sink;
  const ExtractionResult result = Extract(archive, sink);
  ASSERT_TRUE(result.ok) << ::testing::PrintToString(result.error);
  EXPECT_EQ(sink.files.at(L"readme.txt"), "stored text");
  EXPECT_EQ(sink.files.at(L"bin\\setup.exe"), big);
  EXPECT_EQ(sink.files.at(L"deep\\er\\zeros.bin"), zeros);
  EXPECT_EQ(sink.files.at(L"win\\style\\path.txt"), "backslashes");
  EXPECT_EQ(sink.files.at(L"empty.txt"), "");
  EXPECT_EQ(sink.files.at(L"empty-deflated.txt"), "");
  EXPECT_EQ(sink.files.size(), 6u);
  // Parents before their contents, each once, with or without an entry of their own.
  EXPECT_EQ(sink.folders, (std::vector<std::wstring>{L"bin", L"deep", L"deep\\er", L"win", L"win\\style"}));
  EXPECT_TRUE(sink.removed.empty());
}

TEST(ZipReaderTest, OutputStillHeldWhenTheInputRunsOutIsNotCutShort) {
  // Zeros a little past a multiple of the 64 KiB output chunk: zlib takes in the last
  // compressed bytes while the output buffer fills, and has output left to give.
  for (const std::size_t chunks : {1, 2}) {
    for (std::size_t size = chunks * 65536; size < chunks * 65536 + 64; ++size) {
      const std::string zeros(size, '\0');
      MemorySink sink;
      const auto result = Extract(ZipBuilder().Add("zeros.bin", zeros).Build(), sink);
      ASSERT_TRUE(result.ok) << size << " bytes: " << ::testing::PrintToString(result.error);
      ASSERT_EQ(sink.files.at(L"zeros.bin").size(), size);
    }
  }
}

TEST(ZipReaderTest, AnEmptyArchiveIsFine) {
  MemorySink sink;
  EXPECT_TRUE(Extract(ZipBuilder().Build(), sink).ok);
  EXPECT_TRUE(sink.Untouched());
}

TEST(ZipReaderTest, FindsTheEndRecordBehindTheLongestComment) {
  const std::string comment(0xFFFF, 'c');
  MemorySink sink;
  const auto result = Extract(ZipBuilder().Add("a.txt", "a").Build(comment), sink);
  ASSERT_TRUE(result.ok) << ::testing::PrintToString(result.error);
  EXPECT_EQ(sink.files.at(L"a.txt"), "a");
}

TEST(ZipReaderTest, EntriesThatCouldLeaveTheFolderRefuseTheWholeArchive) {
  const std::string refusedNames[] = {
      "../evil.txt",
      "..\\evil.txt",
      "a/../../evil.txt",
      "a\\..\\..\\evil.txt",
      "..",
      "a/..",
      "./x",
      "a/./b",
      "...",
      ". .",
      "a/.. /b",
      "/etc/passwd",
      "\\evil.txt",
      "//server/share/x",
      "C:evil.txt",
      "C:\\evil.txt",
      "c:/evil.txt",
      "a/b:stream",
      std::string("a\0b.txt", 7),
      "NUL",
      "con.txt",
      "dir/Aux.dat",
      "COM1/x.txt",
      "lpt9 .log",
      "a/CONOUT$",
      "conin$.txt",
      "COM\xB9.txt",  // not UTF-8: COM and a superscript one in Latin-1
      "lpt\xB3",
  };
  std::vector<ZipTestEntry> refused;
  for (const auto& name : refusedNames) refused.push_back({.name = name, .data = "bad"});
  // Other names an unpacker may go by, and links, which could point anywhere.
  // Its version, the CRC-32 of the stored name, then the name in UTF-8.
  const std::string unicodePath("\x01\0\0\0\0../evil.txt", 16);
  refused.push_back({.name = "good.txt", .data = "bad", .localName = "../evil.txt"});
  refused.push_back({.name = "good.txt", .data = "bad", .centralExtra = testing::ExtraField(0x7075, unicodePath)});
  refused.push_back({.name = "good.txt", .data = "bad", .localExtra = testing::ExtraField(0x7075, unicodePath)});
  refused.push_back(
      {.name = "link", .data = "../../evil", .method = 0, .madeBy = 0x031E, .externalAttributes = 0120777u << 16});
  for (const bool zip64 : {false, true}) {
    for (ZipTestEntry entry : refused) {
      const std::string what = ::testing::PrintToString(entry.name) + (zip64 ? " in ZIP64" : "");
      entry.zip64 = zip64;
      // The good entry comes first: nothing at all may be written.
      ZipBuilder builder;
      builder.Add({.name = "dir/good.txt", .data = "good", .zip64 = zip64}).Add(entry);
      const auto archive = zip64 ? builder.BuildZip64() : builder.Build();
      MemorySource source(archive);
      const ExtractionResult checked = ZipReader().Check(source);
      EXPECT_FALSE(checked.ok) << what;
      EXPECT_NE(checked.error.find(L"entry \""), std::wstring::npos)
          << what << ": " << ::testing::PrintToString(checked.error);
      MemorySink sink;
      const ExtractionResult result = Extract(archive, sink);
      EXPECT_FALSE(result.ok) << what;
      EXPECT_NE(result.error.find(L"entry \""), std::wstring::npos)
          << what << ": " << ::testing::PrintToString(result.error);
      EXPECT_TRUE(sink.Untouched()) << what;
    }
  }
}

TEST(ZipReaderTest, NamesThatOnlyLookSuspiciousAreKept) {
  const struct {
    const char* name;
    const wchar_t* path;
  } cases[] = {
      {"a..b.txt", L"a..b.txt"},    {"..a", L"..a"},           {"x/..y/z", L"x\\..y\\z"},
      {"a b/c.txt", L"a b\\c.txt"}, {"a//b.txt", L"a\\b.txt"},    {"console.txt", L"console.txt"},
      {"com10.txt", L"com10.txt"},  {"x.nul", L"x.nul"},
  };
  for (const auto& c : cases) {
    MemorySink sink;
    const auto result = Extract(ZipBuilder().Add(c.name, "x").Build(), sink);
    ASSERT_TRUE(result.ok) << c.name << ": " << ::testing::PrintToString(result.error);
    EXPECT_EQ(sink.files.count(c.path), 1u) << c.name;
  }
}

TEST(ZipReaderTest, NamesAreUtf8OnlyWhenTheEntrySaysSo) {
  const std::string name = "\xC3\xA9t\xC3\xA9.txt";
  MemorySink sink;
  const auto archive = ZipBuilder()
                           .Add(ZipTestEntry{.name = "u/" + name, .data = "1", .flags = 1 << 11})
                           .Add(ZipTestEntry{.name = "l/" + name, .data = "2"})
                           .Build();
  ASSERT_TRUE(Extract(archive, sink).ok);
  EXPECT_EQ(sink.files.at(L"u\\\u00e9t\u00e9.txt"), "1");
  EXPECT_EQ(sink.files.at(L"l\\\u00c3\u00a9t\u00c3\u00a9.txt"), "2");
}

std::vector<unsigned char> Patched(std::vector<unsigned char> bytes, std::size_t fromEnd,
                                   std::vector<unsigned char> with) {
  std::copy(with.begin(), with.end(), bytes.end() - static_cast<std::ptrdiff_t>(fromEnd));
  return bytes;
}

TEST(ZipReaderTest, ArchivesThatMakeNoSenseAreRefusedByTheCheckAndTheReader) {
  using testing::ExtraField;
  using testing::Le64;
  using testing::Zip64EndTestRecord;
  const auto plain = ZipBuilder().Add("ok.txt", "ok").Add("x.bin", "data").Build();
  const auto zip64 = [](const Zip64EndTestRecord& record) {
    return ZipBuilder()
        .Add(ZipTestEntry{.name = "ok.txt", .data = "ok", .zip64 = true})
        .Add(ZipTestEntry{.name = "x.bin", .data = "data", .zip64 = true})
        .BuildZip64(record);
  };
  const auto zip64Entry = [](const ZipTestEntry& entry) {
    return ZipBuilder().Add(ZipTestEntry{.name = "ok.txt", .data = "ok", .zip64 = true}).Add(entry).BuildZip64();
  };
  const auto plainEntry = [](const ZipTestEntry& entry) { return ZipBuilder().Add("ok.txt", "ok").Add(entry).Build(); };
  const auto zeroLocator = [] {
    // A ZIP64 locator of zeros right before the end record: it points at offset 0.
    auto bytes = ZipBuilder().Add("ok.txt", "ok").Build();
    const unsigned char locator[20] = {0x50, 0x4B, 0x06, 0x07};
    bytes.insert(bytes.end() - 22, std::begin(locator), std::end(locator));
    return bytes;
  }();
  constexpr std::uint64_t kFar = std::uint64_t{1} << 40;
  constexpr std::uint64_t kLast = ~std::uint64_t{0};
  const struct {
    const char* what;
    std::vector<unsigned char> archive;
    const wchar_t* error;
  } cases[] = {
      {"not a ZIP", std::vector<unsigned char>(100, 'x'), L"no end of central directory"},
      {"too short", std::vector<unsigned char>(21, 0), L"too short"},
      {"end record cut off", std::vector<unsigned char>(plain.begin(), plain.end() - 1),
       L"no end of central directory"},
      {"split archive", Patched(plain, 18, {1, 0}), L"split"},
      {"central directory beyond the end", Patched(plain, 6, {0xFF, 0xFF, 0, 0}), L"central directory lies outside"},
      {"more entries than the directory holds", Patched(plain, 14, {3, 0, 3, 0}), L"truncated"},
      {"fewer entries than the directory holds", Patched(plain, 14, {1, 0, 1, 0}), L"more entries than"},
      {"stored sizes differ", plainEntry({.name = "x.bin", .data = "data", .method = 0, .declaredSize = 5}),
       L"stored sizes differ"},
      {"data beyond the directory", plainEntry({.name = "x.bin", .data = "data", .declaredCompressedSize = 1000}),
       L"data lies outside"},
      {"local header beyond the end", plainEntry({.name = "x.bin", .data = "data", .declaredOffset = 0xFFFFFF00}),
       L"local header lies outside"},
      {"local header missing", plainEntry({.name = "x.bin", .data = "data", .declaredOffset = 1}),
       L"local header missing"},
      // Many names over the same data make a small archive unpack to a huge one.
      {"two entries over one local header",
       ZipBuilder()
           .Add("x.bin", "data")
           .Add(ZipTestEntry{.name = "x.bin", .data = "data", .declaredOffset = 0})
           .Build(),
       L"overlaps"},

      {"ZIP64 locator pointing at no record", zeroLocator, L"no ZIP64 end record"},
      {"ZIP64 locator pointing past the end", zip64({.recordOffset = kFar}), L"ZIP64 end record lies outside"},
      {"ZIP64 locator at the last offset there is", zip64({.recordOffset = kLast}), L"ZIP64 end record lies outside"},
      {"ZIP64 record longer than the room before its locator", zip64({.recordSize = 45}),
       L"ZIP64 end record is damaged"},
      {"ZIP64 record size wrapping around", zip64({.recordSize = kLast}), L"ZIP64 end record is damaged"},
      {"ZIP64 record shorter than its fields", zip64({.recordSize = 43}), L"ZIP64 end record is damaged"},
      {"ZIP64 directory past the end", zip64({.directoryOffset = kFar}), L"central directory lies outside"},
      {"ZIP64 directory offset wrapping around", zip64({.directoryOffset = kLast - 8}),
       L"central directory lies outside"},
      {"ZIP64 directory size past the end", zip64({.directorySize = kFar}), L"central directory lies outside"},
      {"ZIP64 count above the entries", zip64({.countHere = 3, .count = 3}), L"truncated"},
      {"ZIP64 count of 2^64 - 1", zip64({.countHere = kLast, .count = kLast}), L"truncated"},
      {"ZIP64 count below the entries", zip64({.countHere = 1, .count = 1}), L"more entries than"},
      {"ZIP64 counts of this disk and all differ", zip64({.countHere = 1}), L"split"},
      {"plain end record disagreeing with the ZIP64 one", zip64({.countHere = 3, .count = 3, .escapeEndRecord = false}),
       L"do not agree"},
      {"ZIP64 compressed size beyond the file",
       zip64Entry({.name = "x.bin", .data = "data", .declaredCompressedSize = kFar, .zip64 = true}),
       L"data lies outside"},
      {"ZIP64 compressed size wrapping around",
       zip64Entry({.name = "x.bin", .data = "data", .declaredCompressedSize = kLast, .zip64 = true}),
       L"data lies outside"},
      {"ZIP64 local header past the end",
       zip64Entry({.name = "x.bin", .data = "data", .zip64 = true, .declaredOffset = kFar}),
       L"local header lies outside"},
      {"ZIP64 local header offset wrapping around",
       zip64Entry({.name = "x.bin", .data = "data", .zip64 = true, .declaredOffset = kLast - 10}),
       L"local header lies outside"},
      {"ZIP64 stored sizes differ",
       zip64Entry({.name = "x.bin", .data = "data", .method = 0, .declaredSize = 5, .zip64 = true}),
       L"stored sizes differ"},
      {"ZIP64 size no deflate stream of that length reaches",
       zip64Entry({.name = "x.bin", .data = "data", .declaredSize = kFar, .zip64 = true}), L"declares more data"},
      {"ZIP64 extra field missing", plainEntry({.name = "x.bin", .data = "data", .declaredSize = 0xFFFFFFFF}),
       L"no ZIP64 extra field"},
      {"ZIP64 extra field too short",
       plainEntry({.name = "x.bin",
                   .data = "data",
                   .declaredSize = 0xFFFFFFFF,
                   .declaredCompressedSize = 0xFFFFFFFF,
                   .centralExtra = ExtraField(1, Le64(4))}),
       L"no ZIP64 extra field"},
      {"ZIP64 extra field running past the extras",
       plainEntry({.name = "x.bin",
                   .data = "data",
                   .declaredSize = 0xFFFFFFFF,
                   .centralExtra = ExtraField(1, Le64(4)).substr(0, 10)}),
       L"no ZIP64 extra field"},
  };
  for (const auto& c : cases) {
    MemorySource source(c.archive);
    const ExtractionResult checked = ZipReader().Check(source);
    EXPECT_FALSE(checked.ok) << c.what;
    EXPECT_NE(checked.error.find(c.error), std::wstring::npos)
        << c.what << ": " << ::testing::PrintToString(checked.error);
    MemorySink sink;
    const ExtractionResult result = Extract(c.archive, sink);
    EXPECT_FALSE(result.ok) << c.what;
    EXPECT_EQ(result.error, checked.error) << c.what;
    EXPECT_TRUE(sink.Untouched()) << c.what;
  }
}

// An archive behind `gap` bytes of zeros that are never stored: offsets past 4 GiB
// without 4 GiB of memory.
class GapSource final : public ByteSource {
 public:
  GapSource(std::uint64_t gap, std::span<const unsigned char> bytes) : gap_(gap), bytes_(bytes) {}
  std::uint64_t Size() const override { return gap_ + bytes_.size(); }
  bool ReadAt(std::uint64_t offset, std::span<unsigned char> buffer) override {
    if (offset > Size() || buffer.size() > Size() - offset) return false;
    for (std::size_t i = 0; i < buffer.size(); ++i) buffer[i] = offset + i < gap_ ? 0 : bytes_[offset + i - gap_];
    return true;
  }

 private:
  std::uint64_t gap_;
  std::span<const unsigned char> bytes_;
};

// The Shell unpacks ZIP64, every method it knows and archives of any size: the check
// before it copies refuses none of these. Our own reader unpacks what it can and
// names what it cannot.
TEST(ZipReaderTest, TheCheckLeavesMethodsEncryptionAndLargeArchivesToTheShell) {
  constexpr std::uint64_t kFiveGiB = std::uint64_t{5} << 30;
  const std::string noise = NoisyData(2'200'000);
  const struct {
    const char* what;
    std::vector<unsigned char> archive;
    const wchar_t* extractError;  // null: our reader unpacks it into these files
    std::map<std::wstring, std::string> files{};
    std::uint64_t gap = 0;  // zeros before the archive in its file
  } cases[] = {
      {"ZIP64",
       ZipBuilder()
           .Add(ZipTestEntry{.name = "bin/", .zip64 = true})
           .Add(ZipTestEntry{.name = "bin/setup.exe", .data = "MZ deflated", .zip64 = true})
           .Add(ZipTestEntry{.name = "readme.txt", .data = "stored", .method = 0, .zip64 = true})
           .BuildZip64(),
       nullptr,
       {{L"bin\\setup.exe", "MZ deflated"}, {L"readme.txt", "stored"}}},
      {"ZIP64 end record over plain entries",
       ZipBuilder().Add("bin/setup.exe", "MZ").BuildZip64(),
       nullptr,
       {{L"bin\\setup.exe", "MZ"}}},
      {"ZIP64 end record beside a plain one that agrees",
       ZipBuilder().Add("bin/setup.exe", "MZ").BuildZip64({.escapeEndRecord = false}),
       nullptr,
       {{L"bin\\setup.exe", "MZ"}}},
      {"ZIP64 sizes in the entry only",
       ZipBuilder().Add(ZipTestEntry{.name = "bin/setup.exe", .data = "MZ", .zip64 = true}).Build(),
       nullptr,
       {{L"bin\\setup.exe", "MZ"}}},
      {"ZIP64 with only the size escaped",
       ZipBuilder()
           .Add(ZipTestEntry{.name = "a.txt",
                             .data = "stored",
                             .method = 0,
                             .declaredSize = 0xFFFFFFFF,
                             .centralExtra = testing::ExtraField(1, testing::Le64(6))})
           .Build(),
       nullptr,
       {{L"a.txt", "stored"}}},
      {"ZIP64 offsets past 4 GiB",
       ZipBuilder(kFiveGiB)
           .Add(ZipTestEntry{.name = "bin/setup.exe", .data = "MZ far away", .zip64 = true})
           .Add(ZipTestEntry{.name = "b.txt", .data = "b", .method = 0, .zip64 = true})
           .BuildZip64(),
       nullptr,
       {{L"bin\\setup.exe", "MZ far away"}, {L"b.txt", "b"}},
       kFiveGiB},
      {"made on Unix, with file modes",
       ZipBuilder()
           .Add(ZipTestEntry{.name = "bin/", .madeBy = 0x031E, .externalAttributes = 040755u << 16 | 0x10})
           .Add(ZipTestEntry{
               .name = "bin/setup.exe", .data = "MZ", .madeBy = 0x031E, .externalAttributes = 0100755u << 16})
           .Build(),
       nullptr,
       {{L"bin\\setup.exe", "MZ"}}},
      {"Deflate64", ZipBuilder().Add("ok.txt", "ok").Add("setup.exe", "packed", 9).Build(), L"compression method 9"},
      {"Deflate64 in ZIP64",
       ZipBuilder()
           .Add(ZipTestEntry{.name = "ok.txt", .data = "ok", .zip64 = true})
           .Add(ZipTestEntry{.name = "setup.exe", .data = "packed", .method = 9, .zip64 = true})
           .BuildZip64(),
       L"compression method 9"},
      {"bzip2", ZipBuilder().Add("ok.txt", "ok").Add("x.bin", "data", 12).Build(), L"compression method 12"},
      {"LZMA", ZipBuilder().Add("ok.txt", "ok").Add("x.bin", "data", 14).Build(), L"compression method 14"},
      {"AES", ZipBuilder().Add("ok.txt", "ok").Add("x.bin", "data", 99).Build(), L"compression method 99"},
      {"encrypted",
       ZipBuilder().Add("ok.txt", "ok").Add(ZipTestEntry{.name = "x.bin", .data = "d", .flags = 1}).Build(),
       L"encrypted"},
      {"strong encryption",
       ZipBuilder().Add("ok.txt", "ok").Add(ZipTestEntry{.name = "x.bin", .data = "d", .flags = 1 << 6}).Build(),
       L"encrypted"},
      // Sizes deflate can reach from data of that length, over 4 GiB together.
      {"over 4 GiB unpacked",
       ZipBuilder()
           .Add(ZipTestEntry{.name = "a.bin", .data = "a", .declaredSize = 2'200'000'000, .packedData = noise})
           .Add(ZipTestEntry{.name = "b.bin", .data = "b", .declaredSize = 2'200'000'000, .packedData = noise})
           .Build(),
       L"more than 4294967296 bytes"},
  };
  for (const auto& c : cases) {
    GapSource source(c.gap, c.archive);
    const ExtractionResult checked = ZipReader().Check(source);
    EXPECT_TRUE(checked.ok) << c.what << ": " << ::testing::PrintToString(checked.error);
    MemorySink sink;
    const ExtractionResult result = ZipReader().Extract(source, sink);
    if (c.extractError == nullptr) {
      EXPECT_TRUE(result.ok) << c.what << ": " << ::testing::PrintToString(result.error);
      EXPECT_EQ(sink.files, c.files) << c.what;
    } else {
      EXPECT_FALSE(result.ok) << c.what;
      EXPECT_NE(result.error.find(c.extractError), std::wstring::npos)
          << c.what << ": " << ::testing::PrintToString(result.error);
      EXPECT_TRUE(sink.Untouched()) << c.what;
    }
  }
}

TEST(ZipReaderTest, DamagedDataRemovesTheFileAndStops) {
  const std::string data = NoisyData(200'000);
  const struct {
    const char* what;
    ZipTestEntry entry;
    const wchar_t* error;
  } cases[] = {
      {"wrong CRC", {.name = "x.bin", .data = data, .declaredCrc = 1234}, L"CRC-32"},
      {"wrong CRC, stored", {.name = "x.bin", .data = data, .method = 0, .declaredCrc = 1234}, L"CRC-32"},
      {"declares less than it holds", {.name = "x.bin", .data = data, .declaredSize = 100'000}, L"more data"},
      {"declares more than it holds", {.name = "x.bin", .data = data, .declaredSize = 200'001}, L"less data"},
      {"deflate stream cut short", {.name = "x.bin", .data = data, .declaredCompressedSize = 1000}, L"ends early"},
      {"not deflate data",
       {.name = "x.bin", .data = data, .packedData = std::string(5000, '\xFF')},
       L"damaged compressed data"},
  };
  for (const auto& c : cases) {
    MemorySink sink;
    const auto archive = ZipBuilder().Add("first.txt", "first").Add(c.entry).Add("last.txt", "last").Build();
    const ExtractionResult result = Extract(archive, sink);
    EXPECT_FALSE(result.ok) << c.what;
    EXPECT_NE(result.error.find(c.error), std::wstring::npos)
        << c.what << ": " << ::testing::PrintToString(result.error);
    EXPECT_EQ(sink.removed, std::vector<std::wstring>{L"x.bin"}) << c.what;
    EXPECT_EQ(sink.files.count(L"last.txt"), 0u) << c.what << ": nothing after the damaged entry";
  }
}

TEST(ZipReaderTest, DeclaredSizesCannotMakeItWriteWithoutBound) {
  const std::string zeros(20'000'000, '\0');
  const std::string packedZeros = testing::DeflateRaw(zeros);
  {
    SCOPED_TRACE("a size no deflate stream of that length can reach");
    MemorySink sink;
    const auto archive =
        ZipBuilder().Add(ZipTestEntry{.name = "bomb", .data = "tiny", .declaredSize = 0xFFFFFFF0}).Build();
    const auto result = Extract(archive, sink);
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.error.find(L"declares more data"), std::wstring::npos) << ::testing::PrintToString(result.error);
    EXPECT_TRUE(sink.Untouched());
  }
  {
    SCOPED_TRACE("a small declared size over a stream that inflates to far more");
    MemorySink sink;
    const auto archive =
        ZipBuilder()
            .Add(ZipTestEntry{.name = "bomb", .data = zeros, .declaredSize = 100'000, .declaredCrc = 0})
            .Build();
    EXPECT_FALSE(Extract(archive, sink).ok);
    EXPECT_LE(sink.written, 100'000u) << "writing stops at the declared size";
    EXPECT_EQ(sink.removed, std::vector<std::wstring>{L"bomb"});
  }
  {
    SCOPED_TRACE("the total over the cap, counted before anything is written");
    const auto archive = ZipBuilder()
                             .Add(ZipTestEntry{.name = "a", .data = zeros, .packedData = packedZeros})
                             .Add(ZipTestEntry{.name = "b", .data = zeros, .packedData = packedZeros})
                             .Build();
    MemorySink sink;
    const auto result = Extract(archive, sink, 2 * zeros.size() - 1);
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.error.find(L"more than 39999999 bytes"), std::wstring::npos)
        << ::testing::PrintToString(result.error);
    EXPECT_TRUE(sink.Untouched());
    MemorySink roomy;
    EXPECT_TRUE(Extract(archive, roomy, 2 * zeros.size()).ok) << "exactly at the cap";
  }
}

TEST(ZipReaderTest, StopsWhenTheSinkFails) {
  const auto archive = ZipBuilder().Add("a/b/c.txt", "c").Add("d.txt", "d").Build();
  const struct {
    const char* what;
    std::wstring refuse;
    bool failWrites;
    const wchar_t* error;
  } cases[] = {
      {"folder", L"a\\b", false, L"cannot create the folder \"a\\b\""},
      {"file", L"a\\b\\c.txt", false, L"\"a/b/c.txt\": cannot be created"},
      {"write", L"", true, L"\"a/b/c.txt\": cannot be written"},
  };
  for (const auto& c : cases) {
    MemorySink sink;
    sink.refuse = c.refuse;
    sink.failWrites = c.failWrites;
    const auto result = Extract(archive, sink);
    EXPECT_FALSE(result.ok) << c.what;
    EXPECT_NE(result.error.find(c.error), std::wstring::npos)
        << c.what << ": " << ::testing::PrintToString(result.error);
    EXPECT_EQ(sink.files.count(L"d.txt"), 0u) << c.what;
  }
}

}  // namespace
}  // namespace ostrane::zip
