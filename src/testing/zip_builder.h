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
  std::optional<std::uint32_t> declaredSize{};
  std::optional<std::uint32_t> declaredCompressedSize{};
  std::optional<std::uint32_t> declaredCrc{};
  // Stored in place of the packed data.
  std::optional<std::string> packedData{};
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

class ZipBuilder {
 public:
  ZipBuilder& Add(const ZipTestEntry& entry) {
    const std::string packed = entry.packedData    ? *entry.packedData
                               : entry.method == 8 ? DeflateRaw(entry.data)
                                                   : entry.data;
    const auto crc = static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(entry.data.data()), static_cast<uInt>(entry.data.size())));
    Header h{entry.declaredCrc.value_or(crc),
             entry.declaredCompressedSize.value_or(static_cast<std::uint32_t>(packed.size())),
             entry.declaredSize.value_or(static_cast<std::uint32_t>(entry.data.size())),
             entry.method,
             entry.flags,
             static_cast<std::uint32_t>(body_.size())};
    Put32(body_, 0x04034B50);
    PutCommon(body_, h, entry.name);
    Put16(body_, 0);  // extra
    body_ += entry.name;
    body_ += packed;

    Put32(directory_, 0x02014B50);
    Put16(directory_, 20);  // made by
    PutCommon(directory_, h, entry.name);
    Put16(directory_, 0);  // extra
    Put16(directory_, 0);  // comment
    Put16(directory_, 0);  // disk
    Put16(directory_, 0);  // internal attributes
    Put32(directory_, entry.name.ends_with('/') ? 0x10 : 0);
    Put32(directory_, h.localOffset);
    directory_ += entry.name;
    ++count_;
    return *this;
  }

  ZipBuilder& Add(const std::string& name, const std::string& data, std::uint16_t method = 8) {
    return Add(ZipTestEntry{name, data, method});
  }

  std::vector<unsigned char> Build(const std::string& comment = {}) const {
    std::string out = body_ + directory_;
    Put32(out, 0x06054B50);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, count_);
    Put16(out, count_);
    Put32(out, static_cast<std::uint32_t>(directory_.size()));
    Put32(out, static_cast<std::uint32_t>(body_.size()));
    Put16(out, static_cast<std::uint16_t>(comment.size()));
    out += comment;
    return std::vector<unsigned char>(out.begin(), out.end());
  }

 private:
  struct Header {
    std::uint32_t crc, compressedSize, size;
    std::uint16_t method, flags;
    std::uint32_t localOffset;
  };

  static void Put16(std::string& out, std::uint16_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>(v >> 8);
  }
  static void Put32(std::string& out, std::uint32_t v) {
    Put16(out, static_cast<std::uint16_t>(v & 0xFFFF));
    Put16(out, static_cast<std::uint16_t>(v >> 16));
  }
  // From "version needed" to the name's length: the same in both headers.
  static void PutCommon(std::string& out, const Header& h, const std::string& name) {
    Put16(out, 20);
    Put16(out, h.flags);
    Put16(out, h.method);
    Put16(out, 0);     // time
    Put16(out, 0x21);  // date: 1980-01-01
    Put32(out, h.crc);
    Put32(out, h.compressedSize);
    Put32(out, h.size);
    Put16(out, static_cast<std::uint16_t>(name.size()));
  }

  std::string body_;
  std::string directory_;
  std::uint16_t count_ = 0;
};

}  // namespace ostrane::testing
