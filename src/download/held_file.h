// A file held open from its check until what was checked has started: read access
// for us, read sharing only for everybody else, so that nobody can write, rename or
// delete it in between. What was hashed and verified through this handle is what runs.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "download/zip_reader.h"
#include "winui/unique_handle.h"

namespace ostrane {

class HeldFile {
 public:
  // Opens path; check IsOpen (a file another program has open for writing cannot be
  // held, and so cannot be vouched for).
  explicit HeldFile(const std::wstring& path);
  HeldFile(HeldFile&&) noexcept = default;
  HeldFile& operator=(HeldFile&&) noexcept = default;

  bool IsOpen() const { return static_cast<bool>(file_); }
  DWORD OpenError() const { return openError_; }
  HANDLE get() const { return file_.get(); }
  const std::wstring& path() const { return path_; }

 private:
  std::wstring path_;
  win::UniqueFileHandle file_;
  DWORD openError_ = ERROR_SUCCESS;
};

// The files of one package that stay held until its installer has started.
using FileHolds = std::vector<HeldFile>;

// Reads a held file at any offset (the handle's position is its own business).
class HeldFileSource final : public zip::ByteSource {
 public:
  explicit HeldFileSource(const HeldFile& file);
  std::uint64_t Size() const override { return size_; }
  bool ReadAt(std::uint64_t offset, std::span<unsigned char> buffer) override;

 private:
  HANDLE file_;  // we don't own it
  std::uint64_t size_ = 0;
};

}  // namespace ostrane
