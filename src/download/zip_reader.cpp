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
constexpr std::uint32_t kZip64EndRecordSignature = 0x06064B50;
constexpr std::uint32_t kZip64LocatorSignature = 0x07064B50;
constexpr std::size_t kEndRecordSize = 22;
constexpr std::size_t kZip64EndRecordSize = 56;
constexpr std::size_t kZip64LocatorSize = 20;
constexpr std::size_t kCentralHeaderSize = 46;
constexpr std::size_t kLocalHeaderSize = 30;
constexpr std::size_t kMaxCommentSize = 0xFFFF;
constexpr std::uint16_t kStored = 0;
constexpr std::uint16_t kDeflated = 8;
constexpr std::uint16_t kFlagEncrypted = 1 << 0;
constexpr std::uint16_t kFlagStrongEncryption = 1 << 6;
constexpr std::uint16_t kFlagUtf8 = 1 << 11;
constexpr std::uint16_t kZip64ExtraId = 0x0001;
constexpr std::uint16_t kUnicodePathExtraId = 0x7075;
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

std::uint16_t U16(std::span<const unsigned char> b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

std::uint32_t U32(std::span<const unsigned char> b, std::size_t at) {
  return static_cast<std::uint32_t>(U16(b, at)) | static_cast<std::uint32_t>(U16(b, at + 2)) << 16;
}

std::uint64_t U64(std::span<const unsigned char> b, std::size_t at) {
  return static_cast<std::uint64_t>(U32(b, at)) | static_cast<std::uint64_t>(U32(b, at + 4)) << 32;
}

// Whether size bytes from offset end at or before end; ZIP64 values can be anything,
// so the sum is never formed.
bool FitsBefore(std::uint64_t offset, std::uint64_t size, std::uint64_t end) {
  return offset <= end && size <= end - offset;
}

std::vector<unsigned char> ReadBytes(ByteSource& archive, std::uint64_t offset, std::size_t size) {
  if (!FitsBefore(offset, size, archive.Size())) Fail(L"the archive is truncated or cannot be read");
  std::vector<unsigned char> bytes(size);
  if (!archive.ReadAt(offset, bytes)) Fail(L"the archive is truncated or cannot be read");
  return bytes;
}

std::string_view AsText(std::span<const unsigned char> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// Calls f(id, data) for each block of an extra field. A block that claims more than
// is left ends the walk, as it does in other unpackers.
template <typename F>
void ForEachExtraBlock(std::span<const unsigned char> extra, F&& f) {
  for (std::size_t at = 0; extra.size() - at >= 4;) {
    const std::uint16_t id = U16(extra, at), size = U16(extra, at + 2);
    if (size > extra.size() - at - 4) return;
    f(id, extra.subspan(at + 4, size));
    at += 4 + std::size_t{size};
  }
}

struct Entry {
  std::wstring name;  // as stored, for messages
  std::wstring path;  // checked, parts joined with '\'
  std::vector<std::wstring> parents;
  bool folder = false;
  std::uint16_t flags = 0;
  std::uint16_t method = kStored;
  std::uint32_t crc = 0;
  std::uint64_t compressedSize = 0;
  std::uint64_t size = 0;
  std::uint64_t localOffset = 0;
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

Entry CheckedName(std::string_view raw, bool utf8, const NameDecoder& decodeName) {
  Entry entry;
  entry.name = decodeName(raw, utf8);
  // A NUL could hide behind a decoder that stops at it.
  if (raw.find('\0') != std::string_view::npos) FailEntry(entry.name, L"NUL in the name");
  CheckAndSplitName(entry);
  return entry;
}

// Some unpackers take an entry's name from its Unicode path field (the stored name
// in UTF-8) instead: that name must pass too.
void CheckOtherNames(std::span<const unsigned char> extra, const NameDecoder& decodeName) {
  ForEachExtraBlock(extra, [&](std::uint16_t id, std::span<const unsigned char> data) {
    // A version byte and the stored name's CRC-32 come first.
    if (id == kUnicodePathExtraId && data.size() >= 5) CheckedName(AsText(data.subspan(5)), true, decodeName);
  });
}

struct CentralDirectory {
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
  std::uint64_t count = 0;
};

// The ZIP64 end record that the locator at locatorOffset points to. The plain end
// record's fields either hold 0xFFFF… or the same values.
CentralDirectory ReadZip64EndRecord(ByteSource& archive, std::uint64_t locatorOffset,
                                    std::span<const unsigned char> endRecord) {
  const auto locator = ReadBytes(archive, locatorOffset, kZip64LocatorSize);
  const std::uint64_t recordOffset = U64(locator, 8);
  if (U32(locator, 4) != 0 || U32(locator, 16) > 1) Fail(L"archives split into parts are not supported");
  if (!FitsBefore(recordOffset, kZip64EndRecordSize, locatorOffset))
    Fail(L"the ZIP64 end record lies outside the archive");
  const auto record = ReadBytes(archive, recordOffset, kZip64EndRecordSize);
  if (U32(record, 0) != kZip64EndRecordSignature) Fail(L"no ZIP64 end record where its locator points");
  // The size field counts what follows it, extensible data included.
  const std::uint64_t recordSize = U64(record, 4);
  if (recordSize < kZip64EndRecordSize - 12 || recordSize > locatorOffset - recordOffset - 12) {
    Fail(L"the ZIP64 end record is damaged");
  }
  const std::uint32_t disk = U32(record, 16), directoryDisk = U32(record, 20);
  const std::uint64_t countHere = U64(record, 24), count = U64(record, 32);
  const std::uint64_t size = U64(record, 40), offset = U64(record, 48);
  if (disk != 0 || directoryDisk != 0 || countHere != count) Fail(L"archives split into parts are not supported");
  const auto agrees = [](std::uint64_t plain, std::uint64_t escape, std::uint64_t wide) {
    return plain == escape || plain == wide;
  };
  if (!agrees(U16(endRecord, 4), 0xFFFF, disk) || !agrees(U16(endRecord, 6), 0xFFFF, directoryDisk) ||
      !agrees(U16(endRecord, 8), 0xFFFF, countHere) || !agrees(U16(endRecord, 10), 0xFFFF, count) ||
      !agrees(U32(endRecord, 12), 0xFFFFFFFF, size) || !agrees(U32(endRecord, 16), 0xFFFFFFFF, offset)) {
    Fail(L"the end record and the ZIP64 end record do not agree");
  }
  if (!FitsBefore(offset, size, recordOffset)) Fail(L"the central directory lies outside the archive");
  return {offset, size, count};
}

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
      return ReadZip64EndRecord(archive, recordOffset - kZip64LocatorSize, record);
    }
    // Without a locator, 0xFFFF… are plain values: what they describe is checked as
    // any other.
    const std::uint16_t disk = U16(record, 4), directoryDisk = U16(record, 6);
    const std::uint16_t countHere = U16(record, 8), count = U16(record, 10);
    const std::uint32_t size = U32(record, 12), offset = U32(record, 16);
    if (disk != 0 || directoryDisk != 0 || countHere != count) Fail(L"archives split into parts are not supported");
    if (!FitsBefore(offset, size, recordOffset)) Fail(L"the central directory lies outside the archive");
    return {offset, size, count};
  }
  Fail(L"not a ZIP archive: no end of central directory record");
}

// The 64-bit values of the header fields that hold 0xFFFFFFFF, from the ZIP64 extra
// field, in the order they are stored there.
class Zip64Values {
 public:
  Zip64Values(std::span<const unsigned char> extra, const std::wstring& name) : name_(name) {
    ForEachExtraBlock(extra, [&](std::uint16_t id, std::span<const unsigned char> data) {
      if (id == kZip64ExtraId && !found_) {
        found_ = true;
        data_ = data;
      }
    });
  }
  std::uint64_t Widen(std::uint32_t value) {
    if (value != 0xFFFFFFFF) return value;
    if (!found_ || data_.size() - used_ < 8) FailEntry(name_, L"no ZIP64 extra field for its sizes or offset");
    used_ += 8;
    return U64(data_, used_ - 8);
  }

 private:
  const std::wstring& name_;
  std::span<const unsigned char> data_;
  bool found_ = false;
  std::size_t used_ = 0;
};

// Whether the entry is a symbolic link: Unix file modes sit in the high half of the
// external attributes, and the Shell or another unpacker could make it a link that
// leads out of the folder.
bool IsLink(std::uint32_t externalAttributes) { return (externalAttributes >> 16 & 0xF000) == 0xA000; }

// Reads one central header at `at` and the local header it points to, checking names
// and sizes; at moves to the next header.
Entry ReadEntry(ByteSource& archive, const CentralDirectory& directory, std::uint64_t& at,
                const NameDecoder& decodeName) {
  const std::uint64_t directoryEnd = directory.offset + directory.size;
  if (!FitsBefore(at, kCentralHeaderSize, directoryEnd)) Fail(L"the central directory is truncated");
  const auto header = ReadBytes(archive, at, kCentralHeaderSize);
  if (U32(header, 0) != kCentralHeaderSignature) Fail(L"the central directory is damaged");
  const std::uint16_t flags = U16(header, 8);
  const std::uint16_t nameSize = U16(header, 28), extraSize = U16(header, 30);
  const std::uint64_t recordSize = kCentralHeaderSize + nameSize + extraSize + U16(header, 32);
  if (!FitsBefore(at, recordSize, directoryEnd)) Fail(L"the central directory is truncated");
  const auto rawName = ReadBytes(archive, at + kCentralHeaderSize, nameSize);
  const auto extra = ReadBytes(archive, at + kCentralHeaderSize + nameSize, extraSize);
  at += recordSize;

  Entry entry = CheckedName(AsText(rawName), (flags & kFlagUtf8) != 0, decodeName);
  CheckOtherNames(extra, decodeName);
  if (IsLink(U32(header, 38))) FailEntry(entry.name, L"symbolic link");
  entry.flags = flags;
  entry.method = U16(header, 10);
  entry.crc = U32(header, 16);
  Zip64Values zip64(extra, entry.name);
  entry.size = zip64.Widen(U32(header, 24));
  entry.compressedSize = zip64.Widen(U32(header, 20));
  entry.localOffset = zip64.Widen(U32(header, 42));

  if (!FitsBefore(entry.localOffset, kLocalHeaderSize, directory.offset)) {
    FailEntry(entry.name, L"local header lies outside the archive");
  }
  const auto local = ReadBytes(archive, entry.localOffset, kLocalHeaderSize);
  if (U32(local, 0) != kLocalHeaderSignature) FailEntry(entry.name, L"local header missing");
  const std::uint16_t localNameSize = U16(local, 26), localExtraSize = U16(local, 28);
  if (!FitsBefore(entry.localOffset + kLocalHeaderSize, std::uint64_t{localNameSize} + localExtraSize,
                  directory.offset)) {
    FailEntry(entry.name, L"local header lies outside the archive");
  }
  // An unpacker that reads the local header would go by the name there.
  if (ReadBytes(archive, entry.localOffset + kLocalHeaderSize, localNameSize) != rawName) {
    FailEntry(entry.name, L"its local header names another file");
  }
  CheckOtherNames(ReadBytes(archive, entry.localOffset + kLocalHeaderSize + localNameSize, localExtraSize), decodeName);
  entry.dataOffset = entry.localOffset + kLocalHeaderSize + localNameSize + localExtraSize;
  if (!FitsBefore(entry.dataOffset, entry.compressedSize, directory.offset)) {
    FailEntry(entry.name, L"data lies outside the archive");
  }
  if (entry.folder) return entry;
  if (entry.method == kStored && entry.compressedSize != entry.size) FailEntry(entry.name, L"stored sizes differ");
  // The compressed size fits in the archive, so the product cannot overflow.
  if (entry.method == kDeflated && entry.size > (entry.compressedSize + 1) * kMaxDeflateRatio) {
    FailEntry(entry.name, L"declares more data than its compressed size can hold");
  }
  return entry;
}

// Every entry with its names, links and sizes checked, and no two entries over the
// same bytes (many names over one piece of data make a small archive unpack to a
// huge one). What the entries are packed with is not looked at.
std::vector<Entry> ReadEntries(ByteSource& archive, const NameDecoder& decodeName) {
  const CentralDirectory directory = FindCentralDirectory(archive);
  std::vector<Entry> entries;
  std::uint64_t at = directory.offset;
  // The count may be anything: the directory's end bounds the loop.
  for (std::uint64_t i = 0; i < directory.count; ++i) entries.push_back(ReadEntry(archive, directory, at, decodeName));
  // Unpackers that walk the directory to its end would meet entries never checked.
  if (at != directory.offset + directory.size)
    Fail(L"the central directory holds more entries than the end record counts");

  std::vector<const Entry*> byOffset;
  for (const Entry& entry : entries) byOffset.push_back(&entry);
  std::sort(byOffset.begin(), byOffset.end(),
            [](const Entry* a, const Entry* b) { return a->localOffset < b->localOffset; });
  std::uint64_t end = 0;  // of the entries before, as far as the furthest reaches
  for (const Entry* entry : byOffset) {
    if (entry->localOffset < end) FailEntry(entry->name, L"overlaps another entry");
    end = entry->dataOffset + entry->compressedSize;
  }
  return entries;
}

// What our own unpacking needs beyond the check: methods it knows, no encryption, and
// a total within the cap.
void CheckWeCanUnpack(const std::vector<Entry>& entries, std::uint64_t outputCap) {
  std::uint64_t total = 0;
  for (const Entry& entry : entries) {
    if (entry.flags & (kFlagEncrypted | kFlagStrongEncryption)) {
      FailEntry(entry.name, L"encrypted entries are not supported");
    }
    if (entry.folder) continue;
    if (entry.method != kStored && entry.method != kDeflated) {
      FailEntry(entry.name, L"compression method " + std::to_wstring(entry.method) + L" is not supported");
    }
    // Stored and deflated sizes are bounded by the archive's size: the sum cannot overflow.
    total += entry.size;
    if (total > outputCap) Fail(L"the archive would unpack to more than " + std::to_wstring(outputCap) + L" bytes");
  }
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
    ReadEntries(archive, decodeName_);
    return {true, {}};
  } catch (const Failure& failure) {
    return {false, failure.text};
  }
}

ExtractionResult ZipReader::Extract(ByteSource& archive, ExtractionSink& sink) const {
  try {
    const std::vector<Entry> entries = ReadEntries(archive, decodeName_);
    CheckWeCanUnpack(entries, outputCap_);
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
