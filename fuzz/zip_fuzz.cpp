// The ZIP reader. An input that starts like a ZIP file ("PK") is archive bytes from
// the download: whatever it says, the sink sees only paths below the extraction
// folder, folders before what they hold, files begun and ended in turn, and no more
// bytes than the reader's cap, and an archive that unpacks passes the check made
// before the Shell copies. Any other input describes files that zlib packs into a
// sound archive, plain or ZIP64, which must come out exactly as it went in.
#include <fuzzer/FuzzedDataProvider.h>
#include <zlib.h>

#include <cstdint>
#include <map>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "download/zip_reader.h"
#include "fuzz_check.h"
#include "testing/zip_builder.h"

namespace {

using namespace ostrane::zip;

// Small, so that archives that try to get past it are found quickly.
constexpr std::uint64_t kCap = 1 << 20;
// Packed files stay smaller still: a few 64 KiB output chunks of the reader are
// enough, and zlib at level 9 under the sanitizers is slow.
constexpr std::size_t kMaxPacked = 300 << 10;

class CheckingSink final : public ExtractionSink {
 public:
  bool CreateFolder(const std::wstring& path) override {
    CheckPath(path);
    folders_.insert(path);
    return true;
  }
  bool BeginFile(const std::wstring& path) override {
    FUZZ_CHECK(current_.empty());
    CheckPath(path);
    current_ = path;
    files[path].clear();
    return true;
  }
  bool Write(std::span<const unsigned char> data) override {
    FUZZ_CHECK(!current_.empty());
    written_ += data.size();
    FUZZ_CHECK(written_ <= kCap);
    files[current_].append(data.begin(), data.end());
    return true;
  }
  bool EndFile(bool keep) override {
    FUZZ_CHECK(!current_.empty());
    if (!keep) files.erase(current_);
    current_.clear();
    return true;
  }

  bool inFile() const { return !current_.empty(); }
  std::map<std::wstring, std::string> files;

 private:
  // Relative, '\'-joined, no empty, "." or ".." part (nor one Windows would turn
  // into those by dropping trailing dots and spaces), no drive or stream colon, and
  // every parent folder already created.
  void CheckPath(const std::wstring& path) {
    FUZZ_CHECK(!path.empty());
    FUZZ_CHECK(path.find_first_of(L"/:") == std::wstring::npos);
    FUZZ_CHECK(path.find(L'\0') == std::wstring::npos);
    for (std::size_t start = 0;;) {
      const std::size_t end = path.find(L'\\', start);
      const std::wstring part = path.substr(start, end - start);
      FUZZ_CHECK(part.find_first_not_of(L". ") != std::wstring::npos);
      if (end == std::wstring::npos) break;
      FUZZ_CHECK(folders_.count(path.substr(0, end)) != 0);
      start = end + 1;
    }
  }

  std::set<std::wstring> folders_;
  std::uint64_t written_ = 0;
  std::wstring current_;
};

ExtractionResult Extract(std::span<const unsigned char> bytes, CheckingSink& sink) {
  MemorySource archive(bytes);
  const ZipReader reader(DecodeNameUtf8OrLatin1, kCap);
  const ExtractionResult result = reader.Extract(archive, sink);
  FUZZ_CHECK(!sink.inFile());  // a failure mid-file still ends the file
  // The check before the Shell copies asks less than our own unpacking: whatever
  // unpacks passes it.
  const ExtractionResult checked = reader.Check(archive);
  FUZZ_CHECK(checked.ok || !result.ok);
  return result;
}

std::string Deflate(const std::string& data, int level, int strategy) {
  z_stream z{};
  FUZZ_CHECK(deflateInit2(&z, level, Z_DEFLATED, -MAX_WBITS, 8, strategy) == Z_OK);
  std::string out(deflateBound(&z, static_cast<uLong>(data.size())), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  FUZZ_CHECK(deflate(&z, Z_FINISH) == Z_STREAM_END);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

// Files made of runs of repeated pieces, so that a few bytes of input describe
// entries of any size up to the cap, in every kind of deflate stream zlib writes.
void RoundTrip(const std::uint8_t* data, std::size_t size) {
  static constexpr int kStrategies[] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED};
  FuzzedDataProvider input(data, size);
  ostrane::testing::ZipBuilder builder;
  std::map<std::wstring, std::string> expected;
  std::size_t total = 0;
  const bool zip64 = input.ConsumeBool();
  const int count = input.ConsumeIntegralInRange(1, 4);
  for (int i = 0; i < count; ++i) {
    const std::string file = "f" + std::to_string(i);
    const bool inFolder = input.ConsumeBool();
    std::string content;
    for (int runs = input.ConsumeIntegralInRange(0, 8); runs > 0; --runs) {
      std::string piece = input.ConsumeRandomLengthString(16);
      if (piece.empty()) piece.push_back('\0');
      for (auto repeat = input.ConsumeIntegralInRange<std::size_t>(1, 1 << 17);
           repeat > 0 && total + content.size() + piece.size() <= kMaxPacked; --repeat)
        content += piece;
    }
    total += content.size();
    const bool deflated = input.ConsumeBool();
    const int level = input.ConsumeIntegralInRange(0, 9);
    const int strategy = kStrategies[input.ConsumeIntegralInRange(0, 4)];
    ostrane::testing::ZipTestEntry entry{.name = inFolder ? "d/" + file : file,
                                         .data = content,
                                         .method = static_cast<std::uint16_t>(deflated ? 8 : 0),
                                         .zip64 = zip64};
    if (deflated) entry.packedData = Deflate(content, level, strategy);
    builder.Add(entry);
    expected[inFolder ? L"d\\" + std::wstring(file.begin(), file.end()) : std::wstring(file.begin(), file.end())] =
        content;
  }
  const auto archive = zip64 ? builder.BuildZip64() : builder.Build();
  CheckingSink sink;
  const ExtractionResult result = Extract(archive, sink);
  if (!result.ok) std::fprintf(stderr, "extraction failed: %ls\n", result.error.c_str());
  FUZZ_CHECK(result.ok);
  FUZZ_CHECK(sink.files == expected);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size >= 2 && data[0] == 'P' && data[1] == 'K') {
    CheckingSink sink;
    Extract(std::span<const unsigned char>(data, size), sink);
  } else {
    RoundTrip(data, size);
  }
  return 0;
}
