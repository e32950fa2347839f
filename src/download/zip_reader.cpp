#include "download/zip_reader.h"

#include <zlib.h>

#include <algorithm>
#include <new>
#include <set>
#include <vector>

#include "system/text_convert.h"
#include "text/device_names.h"

namespace ostrane::zip {
namespace {

constexpr std::uint32_t kLocalHeaderSignature = 0x04034B50;
constexpr std::uint32_t kCentralHeaderSignature = 0x02014B50;
constexpr std::uint32_t kEndRecordSignature = 0x06054B50;
constexpr std::uint32_t kZip64LocatorSignature = 0x07064B50;
constexpr std::size_t kEndRecordSize = 22;
constexpr std::size_t kZip64LocatorSize = 20;
constexpr std::size_t kCentralHeaderSize = 46;
constexpr std::size_t kLocalHeaderSize = 30;
constexpr std::size_t kMaxCommentSize = 0xFFFF;
constexpr std::uint16_t kStored = 0;
constexpr std::uint16_t kDeflated = 8;
constexpr std::uint16_t kFlagEncrypted = 1 << 0;
constexpr std::uint16_t kFlagStrongEncryption = 1 << 6;
constexpr std::uint16_t kFlagUtf8 = 1 << 11;
// Deflate turns at most 2 bits into 258 bytes: anything declaring more cannot be real.
constexpr std::uint64_t kMaxDeflateRatio = 1032;
constexpr std::size_t kChunkSize = 64 * 1024;

struct Failure {
  std::wstring text;
};

[[noreturn]] void Fail(std::wstring text) { throw Failure{std::move(text)}; }

[[noreturn]] void FailEntry(const std::wstring& name, std::wstring_view why) {
  Fail(L"entry \"" + name + L"\": " + std::wstring(why));
}

[[noreturn]] void FailZip64() { Fail(L"ZIP64 archives are not supported"); }

std::uint16_t U16(std::span<const unsigned char> b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

std::uint32_t U32(std::span<const unsigned char> b, std::size_t at) {
  return static_cast<std::uint32_t>(U16(b, at)) | static_cast<std::uint32_t>(U16(b, at + 2)) << 16;
}

std::vector<unsigned char> ReadBytes(ByteSource& archive, std::uint64_t offset, std::size_t size) {
  std::vector<unsigned char> bytes(size);
  if (offset > archive.Size() || size > archive.Size() - offset || !archive.ReadAt(offset, bytes)) {
    Fail(L"the archive is truncated or cannot be read");
  }
  return bytes;
}

struct Entry {
  std::wstring name;  // as stored, for messages
  std::wstring path;  // checked, parts joined with '\'
  std::vector<std::wstring> parents;
  bool folder = false;
  std::uint16_t method = kStored;
  std::uint32_t crc = 0;
  std::uint32_t compressedSize = 0;
  std::uint32_t size = 0;
  std::uint64_t dataOffset = 0;
};

bool IsSeparator(wchar_t c) { return c == L'/' || c == L'\\'; }

// Splits a name into the parts of a path below the extraction folder; refuses any
// name that could lead elsewhere.
void CheckAndSplitName(Entry& entry) {
  const std::wstring& name = entry.name;
  if (name.empty()) FailEntry(name, L"empty name");
  if (IsSeparator(name.front())) FailEntry(name, L"absolute path");
  // A colon is a drive ("C:x") or an alternate data stream: never a plain name.
  if (name.find(L':') != std::wstring::npos) FailEntry(name, L"drive or stream name");
  if (name.find(L'\0') != std::wstring::npos) FailEntry(name, L"NUL in the name");
  entry.folder = IsSeparator(name.back());
  std::vector<std::wstring> parts;
  for (std::size_t start = 0; start < name.size();) {
    const std::size_t end = std::find_if(name.begin() + start, name.end(), IsSeparator) - name.begin();
    std::wstring part = name.substr(start, end - start);
    start = end + 1;
    if (part.empty()) continue;
    // Windows drops trailing dots and spaces, so ". ." or "..." would become "..".
    if (part.find_first_not_of(L". ") == std::wstring::npos) FailEntry(name, L"relative path component");
    if (IsDosDeviceName(part)) FailEntry(name, L"device name");
    parts.push_back(std::move(part));
  }
  for (const auto& part : parts) {
    if (!entry.path.empty()) {
      entry.parents.push_back(entry.path);
      entry.path += L'\\';
    }
    entry.path += part;
  }
  if (entry.folder) entry.parents.push_back(entry.path);
}

struct CentralDirectory {
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
  std::uint16_t count = 0;
};

CentralDirectory FindCentralDirectory(ByteSource& archive) {
  const std::uint64_t archiveSize = archive.Size();
  if (archiveSize < kEndRecordSize) Fail(L"not a ZIP archive: too short");
  const std::size_t tailSize =
      static_cast<std::size_t>(std::min<std::uint64_t>(archiveSize, kEndRecordSize + kMaxCommentSize));
  const std::uint64_t tailOffset = archiveSize - tailSize;
  const auto tail = ReadBytes(archive, tailOffset, tailSize);
  // The record ends the archive, followed only by its comment: search from the back.
  for (std::size_t at = tailSize - kEndRecordSize + 1; at-- > 0;) {
    if (U32(tail, at) != kEndRecordSignature) continue;
    const std::span<const unsigned char> record(tail.data() + at, kEndRecordSize);
    if (at + kEndRecordSize + U16(record, 20) > tailSize) continue;  // its comment would not fit

    const std::uint64_t recordOffset = tailOffset + at;
    if (recordOffset >= kZip64LocatorSize &&
        U32(ReadBytes(archive, recordOffset - kZip64LocatorSize, 4), 0) == kZip64LocatorSignature) {
      FailZip64();
    }
    const std::uint16_t disk = U16(record, 4), directoryDisk = U16(record, 6);
    const std::uint16_t countHere = U16(record, 8), count = U16(record, 10);
    const std::uint32_t size = U32(record, 12), offset = U32(record, 16);
    if (count == 0xFFFF || size == 0xFFFFFFFF || offset == 0xFFFFFFFF) FailZip64();
    if (disk != 0 || directoryDisk != 0 || countHere != count) Fail(L"archives split into parts are not supported");
    if (std::uint64_t{offset} + size > recordOffset) Fail(L"the central directory lies outside the archive");
    return {offset, size, count};
  }
  Fail(L"not a ZIP archive: no end of central directory record");
}

std::vector<Entry> ReadEntries(ByteSource& archive, const NameDecoder& decodeName, std::uint64_t outputCap) {
  const CentralDirectory directory = FindCentralDirectory(archive);
  const std::uint64_t directoryEnd = directory.offset + directory.size;
  std::vector<Entry> entries;
  std::uint64_t total = 0;
  std::uint64_t at = directory.offset;
  for (unsigned i = 0; i < directory.count; ++i) {
    if (at + kCentralHeaderSize > directoryEnd) Fail(L"the central directory is truncated");
    const auto header = ReadBytes(archive, at, kCentralHeaderSize);
    if (U32(header, 0) != kCentralHeaderSignature) Fail(L"the central directory is damaged");
    const std::uint16_t flags = U16(header, 8);
    const std::uint16_t nameSize = U16(header, 28);
    const std::uint64_t recordSize = kCentralHeaderSize + nameSize + U16(header, 30) + U16(header, 32);
    if (at + recordSize > directoryEnd) Fail(L"the central directory is truncated");
    const auto rawName = ReadBytes(archive, at + kCentralHeaderSize, nameSize);
    at += recordSize;

    Entry entry;
    const std::string_view raw(reinterpret_cast<const char*>(rawName.data()), rawName.size());
    entry.name = decodeName(raw, (flags & kFlagUtf8) != 0);
    // A NUL could hide behind a decoder that stops at it.
    if (raw.find('\0') != std::string_view::npos) FailEntry(entry.name, L"NUL in the name");
    CheckAndSplitName(entry);
    entry.method = U16(header, 10);
    entry.crc = U32(header, 16);
    entry.compressedSize = U32(header, 20);
    entry.size = U32(header, 24);
    const std::uint32_t localOffset = U32(header, 42);
    if (entry.compressedSize == 0xFFFFFFFF || entry.size == 0xFFFFFFFF || localOffset == 0xFFFFFFFF) FailZip64();
    if (flags & (kFlagEncrypted | kFlagStrongEncryption)) FailEntry(entry.name, L"encrypted entries are not supported");
    if (entry.folder) {
      entries.push_back(std::move(entry));
      continue;
    }
    if (entry.method != kStored && entry.method != kDeflated) {
      FailEntry(entry.name, L"compression method " + std::to_wstring(entry.method) + L" is not supported");
    }
    if (entry.method == kStored && entry.compressedSize != entry.size) {
      FailEntry(entry.name, L"stored sizes differ");
    }
    if (entry.method == kDeflated && entry.size > (std::uint64_t{entry.compressedSize} + 1) * kMaxDeflateRatio) {
      FailEntry(entry.name, L"declares more data than its compressed size can hold");
    }
    const auto local = ReadBytes(archive, localOffset, kLocalHeaderSize);
    if (U32(local, 0) != kLocalHeaderSignature) FailEntry(entry.name, L"local header missing");
    entry.dataOffset = std::uint64_t{localOffset} + kLocalHeaderSize + U16(local, 26) + U16(local, 28);
    if (entry.dataOffset + entry.compressedSize > directory.offset)
      FailEntry(entry.name, L"data lies outside the archive");
    total += entry.size;
    if (total > outputCap) Fail(L"the archive would unpack to more than " + std::to_wstring(outputCap) + L" bytes");
    entries.push_back(std::move(entry));
  }
  return entries;
}

class Inflater {
 public:
  Inflater() {
    if (inflateInit2(&stream_, -MAX_WBITS) != Z_OK) throw std::bad_alloc();
  }
  ~Inflater() { inflateEnd(&stream_); }
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;
  z_stream& stream() { return stream_; }

 private:
  z_stream stream_{};
};

// Streams one entry's data into the open file, a chunk at a time.
void CopyData(ByteSource& archive, const Entry& entry, ExtractionSink& sink) {
  std::vector<unsigned char> input(kChunkSize);
  std::vector<unsigned char> output(kChunkSize);
  std::uint64_t read = 0;
  std::uint64_t written = 0;
  uLong crc = crc32(0, nullptr, 0);
  const auto readChunk = [&]() -> std::span<unsigned char> {
    const auto size = static_cast<std::size_t>(std::min<std::uint64_t>(kChunkSize, entry.compressedSize - read));
    const std::span<unsigned char> chunk(input.data(), size);
    if (!archive.ReadAt(entry.dataOffset + read, chunk)) Fail(L"the archive is truncated or cannot be read");
    read += size;
    return chunk;
  };
  const auto emit = [&](std::span<const unsigned char> data) {
    written += data.size();
    if (written > entry.size) FailEntry(entry.name, L"holds more data than it declares");
    crc = crc32(crc, data.data(), static_cast<uInt>(data.size()));
    if (!data.empty() && !sink.Write(data)) FailEntry(entry.name, L"cannot be written");
  };

  if (entry.method == kStored) {
    while (read < entry.compressedSize) emit(readChunk());
  } else {
    Inflater inflater;
    z_stream& z = inflater.stream();
    // zlib may have taken in the last input and still hold output when the buffer
    // filled: a full buffer is asked again before more input is wanted.
    bool outputFull = false;
    for (int status = Z_OK; status != Z_STREAM_END;) {
      if (z.avail_in == 0 && !outputFull) {
        if (read == entry.compressedSize) FailEntry(entry.name, L"compressed data ends early");
        const auto chunk = readChunk();
        z.next_in = chunk.data();
        z.avail_in = static_cast<uInt>(chunk.size());
      }
      z.next_out = output.data();
      z.avail_out = static_cast<uInt>(output.size());
      status = inflate(&z, Z_NO_FLUSH);
      if (status == Z_MEM_ERROR) throw std::bad_alloc();
      if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) {
        FailEntry(entry.name, L"damaged compressed data");
      }
      outputFull = z.avail_out == 0;
      emit(std::span<const unsigned char>(output.data(), output.size() - z.avail_out));
    }
  }
  if (written != entry.size) FailEntry(entry.name, L"holds less data than it declares");
  if (crc != entry.crc) FailEntry(entry.name, L"CRC-32 mismatch");
}

}  // namespace

bool MemorySource::ReadAt(std::uint64_t offset, std::span<unsigned char> buffer) {
  if (offset > bytes_.size() || buffer.size() > bytes_.size() - offset) return false;
  std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(offset), buffer.size(), buffer.begin());
  return true;
}

std::wstring DecodeNameUtf8OrLatin1(std::string_view name, bool utf8) {
  if (utf8) return Utf8ToWide(name);
  std::wstring text;
  for (char c : name) text.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
  return text;
}

ZipReader::ZipReader(NameDecoder decodeName, std::uint64_t outputCap)
    : decodeName_(std::move(decodeName)), outputCap_(outputCap) {}

ExtractionResult ZipReader::Check(ByteSource& archive) const {
  try {
    ReadEntries(archive, decodeName_, outputCap_);
    return {true, {}};
  } catch (const Failure& failure) {
    return {false, failure.text};
  }
}

ExtractionResult ZipReader::Extract(ByteSource& archive, ExtractionSink& sink) const {
  try {
    const std::vector<Entry> entries = ReadEntries(archive, decodeName_, outputCap_);
    std::set<std::wstring> folders;
    for (const Entry& entry : entries) {
      for (const auto& folder : entry.parents) {
        if (folders.insert(folder).second && !sink.CreateFolder(folder)) {
          FailEntry(entry.name, L"cannot create the folder \"" + folder + L"\"");
        }
      }
      if (entry.folder) continue;
      if (!sink.BeginFile(entry.path)) FailEntry(entry.name, L"cannot be created");
      try {
        CopyData(archive, entry, sink);
      } catch (...) {
        sink.EndFile(false);
        throw;
      }
      if (!sink.EndFile(true)) FailEntry(entry.name, L"cannot be written");
    }
    return {true, {}};
  } catch (const Failure& failure) {
    return {false, failure.text};
  }
}

}  // namespace ostrane::zip
