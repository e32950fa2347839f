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

TEST(ZipReaderTest, NamesThatWouldLeaveTheFolderRefuseTheWholeArchive) {
  const std::string refused[] = {
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
  for (const auto& name : refused) {
    // The good entry comes first: nothing at all may be written.
    const auto archive = ZipBuilder().Add("dir/good.txt", "good").Add(name, "bad").Build();
    MemorySink sink;
    const ExtractionResult result = Extract(archive, sink);
    EXPECT_FALSE(result.ok) << ::testing::PrintToString(name);
    EXPECT_NE(result.error.find(L"entry \""), std::wstring::npos) << ::testing::PrintToString(result.error);
    EXPECT_TRUE(sink.Untouched()) << ::testing::PrintToString(name);
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

TEST(ZipReaderTest, RefusesWhatItCannotReadWithoutWritingAnything) {
  const auto plain = ZipBuilder().Add("ok.txt", "ok").Add("x.bin", "data").Build();
  const auto zip64Locator = [&] {
    // A ZIP64 end-of-central-directory locator right before the end record.
    auto bytes = ZipBuilder().Add("ok.txt", "ok").Build();
    const unsigned char locator[20] = {0x50, 0x4B, 0x06, 0x07};
    bytes.insert(bytes.end() - 22, std::begin(locator), std::end(locator));
    return bytes;
  }();
  const struct {
    const char* what;
    std::vector<unsigned char> archive;
    const wchar_t* error;
  } cases[] = {
      {"encrypted",
       ZipBuilder().Add("ok.txt", "ok").Add(ZipTestEntry{.name = "x.bin", .data = "d", .flags = 1}).Build(),
       L"encrypted"},
      {"strong encryption",
       ZipBuilder().Add("ok.txt", "ok").Add(ZipTestEntry{.name = "x.bin", .data = "d", .flags = 1 << 6}).Build(),
       L"encrypted"},
      {"bzip2", ZipBuilder().Add("ok.txt", "ok").Add("x.bin", "data", 12).Build(), L"compression method 12"},
      {"AES", ZipBuilder().Add("ok.txt", "ok").Add("x.bin", "data", 99).Build(), L"compression method 99"},
      {"ZIP64 sizes",
       ZipBuilder()
           .Add("ok.txt", "ok")
           .Add(ZipTestEntry{.name = "x.bin", .data = "d", .declaredSize = 0xFFFFFFFF})
           .Build(),
       L"ZIP64"},
      {"ZIP64 entry count", Patched(plain, 12, {0xFF, 0xFF}), L"ZIP64"},
      {"ZIP64 locator", zip64Locator, L"ZIP64"},
      {"split archive", Patched(plain, 18, {1, 0}), L"split"},
      {"central directory beyond the end", Patched(plain, 6, {0xFF, 0xFF, 0, 0}), L"outside the archive"},
      {"more entries than the directory holds", Patched(plain, 14, {3, 0, 3, 0}), L"truncated"},
      {"stored sizes differ",
       ZipBuilder()
           .Add("ok.txt", "ok")
           .Add(ZipTestEntry{.name = "x.bin", .data = "data", .method = 0, .declaredSize = 5})
           .Build(),
       L"stored sizes differ"},
      {"not a ZIP", std::vector<unsigned char>(100, 'x'), L"no end of central directory"},
      {"too short", std::vector<unsigned char>(21, 0), L"too short"},
      {"end record cut off", std::vector<unsigned char>(plain.begin(), plain.end() - 1),
       L"no end of central directory"},
  };
  for (const auto& c : cases) {
    MemorySink sink;
    const ExtractionResult result = Extract(c.archive, sink);
    EXPECT_FALSE(result.ok) << c.what;
    EXPECT_NE(result.error.find(c.error), std::wstring::npos)
        << c.what << ": " << ::testing::PrintToString(result.error);
    EXPECT_TRUE(sink.Untouched()) << c.what;
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
