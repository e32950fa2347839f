// Our own ZIP reader, for systems whose Shell cannot unpack archives. Portable: it
// reads through a ByteSource and writes through an ExtractionSink, so the platform
// decides where bytes come from and go to.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace ostrane::zip {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::uint64_t Size() const = 0;
  // Fills the whole buffer from offset; false when that many bytes cannot be read.
  virtual bool ReadAt(std::uint64_t offset, std::span<unsigned char> buffer) = 0;
};

// An archive held in memory; the bytes are not copied.
class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::span<const unsigned char> bytes) : bytes_(bytes) {}
  std::uint64_t Size() const override { return bytes_.size(); }
  bool ReadAt(std::uint64_t offset, std::span<unsigned char> buffer) override;

 private:
  std::span<const unsigned char> bytes_;
};

// Where entries go. Paths are relative to the extraction folder, their parts joined
// with '\'; every parent folder is created before what it holds. A false answer
// stops the extraction.
class ExtractionSink {
 public:
  virtual ~ExtractionSink() = default;
  // A folder that already exists is fine.
  virtual bool CreateFolder(const std::wstring& path) = 0;
  // Creates the file, replacing one of that name.
  virtual bool BeginFile(const std::wstring& path) = 0;
  virtual bool Write(std::span<const unsigned char> data) = 0;
  // keep is false when the data turned out damaged: the file is then removed.
  virtual bool EndFile(bool keep) = 0;
};

// An entry's stored name as text: utf8 when the entry's flag bit 11 says so,
// otherwise the name is in the archive's legacy (DOS) code page.
using NameDecoder = std::function<std::wstring(std::string_view name, bool utf8)>;

// UTF-8, or Latin-1 for legacy names: right for ASCII names everywhere.
std::wstring DecodeNameUtf8OrLatin1(std::string_view name, bool utf8);

struct ExtractionResult {
  bool ok = false;
  std::wstring error;  // why not, naming the entry where there is one
};

class ZipReader {
 public:
  // outputCap bounds what Extract may unpack to, so a few kilobytes that declare
  // gigabytes cannot fill the disk.
  static constexpr std::uint64_t kDefaultOutputCap = std::uint64_t{4} << 30;

  explicit ZipReader(NameDecoder decodeName = DecodeNameUtf8OrLatin1, std::uint64_t outputCap = kDefaultOutputCap);

  // For an archive another unpacker (the Shell) copies: refuses what is unsafe to
  // copy whatever the unpacker, writing nothing. Every name an unpacker may go by
  // (the central and local headers', a Unicode path field's) must stay below the
  // folder and name no device; links are refused; sizes and offsets must lie inside
  // the archive, entries may not share bytes, stored sizes must agree and deflated
  // ones be reachable. ZIP64 is read. Methods, encryption and the total size are
  // left to the unpacker.
  ExtractionResult Check(ByteSource& archive) const;
  // Check, then what our own unpacking needs: stored or deflated entries, no
  // encryption, a total within outputCap; an archive with one bad entry writes
  // nothing. CRC-32 is checked as each file is written.
  ExtractionResult Extract(ByteSource& archive, ExtractionSink& sink) const;

 private:
  NameDecoder decodeName_;
  std::uint64_t outputCap_;
};

}  // namespace ostrane::zip
