// Builds small ZIP archives in memory for tests, with zlib; fields can be made to lie
// so that tests can offer the reader damaged or hostile archives.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace ostrane::testing {

struct ZipTestEntry {
  std::string name{};
  std::string data{};
  std::uint16_t method = 8;  // 8 deflates the data; any other number stores it as it is
  std::uint16_t flags = 0;
  // What the headers claim, when it should differ from the truth.
  std::optional<std::uint64_t> declaredSize{};
  std::optional<std::uint64_t> declaredCompressedSize{};
  std::optional<std::uint32_t> declaredCrc{};
  // Stored in place of the packed data.
  std::optional<std::string> packedData{};
  // Sizes and the local header's offset go into ZIP64 extra fields, the headers' own
  // fields holding 0xFFFFFFFF.
  bool zip64 = false;
  std::optional<std::uint64_t> declaredOffset{};  // where the central header says the local one is
  std::optional<std::string> localName{};         // the local header's name, when it differs
  std::uint16_t madeBy = 20;                      // high byte: the system, 3 for Unix
  // By default 0x10 (a DOS folder) for names ending in '/', else 0.
  std::optional<std::uint32_t> externalAttributes{};
  // More extra fields (see ExtraField), after the ZIP64 one.
  std::string centralExtra{};
  std::string localExtra{};
};

// What a ZIP64 end record and its locator claim, when it should differ from the truth.
struct Zip64EndTestRecord {
  std::optional<std::uint64_t> recordSize{};  // the size field: what follows it
  std::optional<std::uint64_t> countHere{};
  std::optional<std::uint64_t> count{};
  std::optional<std::uint64_t> directorySize{};
  std::optional<std::uint64_t> directoryOffset{};
  std::optional<std::uint64_t> recordOffset{};  // in the locator
  // The plain end record's fields hold 0xFFFF… (when true) or the true values.
  bool escapeEndRecord = true;
};

inline std::string DeflateRaw(const std::string& data) {
  z_stream z{};
  if (deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) throw std::runtime_error("deflate");
  std::string out(deflateBound(&z, static_cast<uLong>(data.size())), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  const int status = deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  if (status != Z_STREAM_END) throw std::runtime_error("deflate");
  return out;
}

inline std::string Le64(std::uint64_t v) {
  std::string out;
  for (int i = 0; i < 8; ++i) out += static_cast<char>(v >> (8 * i) & 0xFF);
  return out;
}

// One extra field block: its id, its length and its data.
inline std::string ExtraField(std::uint16_t id, const std::string& data) {
  std::string out{static_cast<char>(id & 0xFF), static_cast<char>(id >> 8), static_cast<char>(data.size() & 0xFF),
                  static_cast<char>(data.size() >> 8)};
  return out + data;
}

class ZipBuilder {
 public:
  // startOffset: where the archive begins in its file, for archives behind other data.
  explicit ZipBuilder(std::uint64_t startOffset = 0) : start_(startOffset) {}

  ZipBuilder& Add(const ZipTestEntry& entry) {
    const std::string packed = entry.packedData    ? *entry.packedData
                               : entry.method == 8 ? DeflateRaw(entry.data)
                                                   : entry.data;
    const auto crc = static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(entry.data.data()), static_cast<uInt>(entry.data.size())));
    const std::uint64_t size = entry.declaredSize.value_or(entry.data.size());
    const std::uint64_t compressedSize = entry.declaredCompressedSize.value_or(packed.size());
    const std::uint64_t offset = entry.declaredOffset.value_or(start_ + body_.size());
    const std::string localName = entry.localName.value_or(entry.name);
    Header h{entry.declaredCrc.value_or(crc),
             Narrow(compressedSize, entry.zip64),
             Narrow(size, entry.zip64),
             entry.method,
             entry.flags,
             entry.zip64 ? std::uint16_t{45} : std::uint16_t{20}};
    const std::string localExtra =
        (entry.zip64 ? ExtraField(1, Le64(size) + Le64(compressedSize)) : "") + entry.localExtra;
    const std::string centralExtra =
        (entry.zip64 ? ExtraField(1, Le64(size) + Le64(compressedSize) + Le64(offset)) : "") + entry.centralExtra;

    Put32(body_, 0x04034B50);
    PutCommon(body_, h, localName);
    Put16(body_, static_cast<std::uint16_t>(localExtra.size()));
    body_ += localName;
    body_ += localExtra;
    body_ += packed;

    Put32(directory_, 0x02014B50);
    Put16(directory_, entry.madeBy);
    PutCommon(directory_, h, entry.name);
    Put16(directory_, static_cast<std::uint16_t>(centralExtra.size()));
    Put16(directory_, 0);  // comment
    Put16(directory_, 0);  // disk
    Put16(directory_, 0);  // internal attributes
    Put32(directory_, entry.externalAttributes.value_or(entry.name.ends_with('/') ? 0x10 : 0));
    Put32(directory_, Narrow(offset, entry.zip64));
    directory_ += entry.name;
    directory_ += centralExtra;
    ++count_;
    return *this;
  }

  ZipBuilder& Add(const std::string& name, const std::string& data, std::uint16_t method = 8) {
    return Add(ZipTestEntry{name, data, method});
  }

  std::vector<unsigned char> Build(const std::string& comment = {}) const {
    std::string out = body_ + directory_;
    PutEndRecord(out, count_, Narrow(directory_.size(), false), Narrow(start_ + body_.size(), false), comment);
    return std::vector<unsigned char>(out.begin(), out.end());
  }

  // With a ZIP64 end record and its locator before the plain end record.
  std::vector<unsigned char> BuildZip64(const Zip64EndTestRecord& record = {}, const std::string& comment = {}) const {
    std::string out = body_ + directory_;
    const std::uint64_t recordOffset = start_ + out.size();
    Put32(out, 0x06064B50);
    out += Le64(record.recordSize.value_or(44));
    Put16(out, 45);  // made by
    Put16(out, 45);  // needed
    Put32(out, 0);   // disk
    Put32(out, 0);   // disk of the directory
    out += Le64(record.countHere.value_or(count_));
    out += Le64(record.count.value_or(count_));
    out += Le64(record.directorySize.value_or(directory_.size()));
    out += Le64(record.directoryOffset.value_or(start_ + body_.size()));
    Put32(out, 0x07064B50);
    Put32(out, 0);
    out += Le64(record.recordOffset.value_or(recordOffset));
    Put32(out, 1);  // disks
    if (record.escapeEndRecord) {
      PutEndRecord(out, 0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF, comment);
    } else {
      PutEndRecord(out, count_, Narrow(directory_.size(), false), Narrow(start_ + body_.size(), false), comment);
    }
    return std::vector<unsigned char>(out.begin(), out.end());
  }

 private:
  struct Header {
    std::uint32_t crc, compressedSize, size;
    std::uint16_t method, flags, versionNeeded;
  };

  // A header's own 32-bit field: 0xFFFFFFFF when the value is in a ZIP64 field.
  static std::uint32_t Narrow(std::uint64_t value, bool zip64) {
    if (zip64) return 0xFFFFFFFF;
    if (value > 0xFFFFFFFF) throw std::invalid_argument("needs ZIP64");
    return static_cast<std::uint32_t>(value);
  }
  static void Put16(std::string& out, std::uint16_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>(v >> 8);
  }
  static void Put32(std::string& out, std::uint32_t v) {
    Put16(out, static_cast<std::uint16_t>(v & 0xFFFF));
    Put16(out, static_cast<std::uint16_t>(v >> 16));
  }
  static void PutEndRecord(std::string& out, std::uint16_t count, std::uint32_t directorySize,
                           std::uint32_t directoryOffset, const std::string& comment) {
    Put32(out, 0x06054B50);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, count);
    Put16(out, count);
    Put32(out, directorySize);
    Put32(out, directoryOffset);
    Put16(out, static_cast<std::uint16_t>(comment.size()));
    out += comment;
  }
  // From "version needed" to the name's length: the same in both headers.
  static void PutCommon(std::string& out, const Header& h, const std::string& name) {
    Put16(out, h.versionNeeded);
    Put16(out, h.flags);
    Put16(out, h.method);
    Put16(out, 0);     // time
    Put16(out, 0x21);  // date: 1980-01-01
    Put32(out, h.crc);
    Put32(out, h.compressedSize);
    Put32(out, h.size);
    Put16(out, static_cast<std::uint16_t>(name.size()));
  }

  std::uint64_t start_;
  std::string body_;
  std::string directory_;
  std::uint16_t count_ = 0;
};

}  // namespace ostrane::testing
