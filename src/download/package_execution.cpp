#include "download/package_execution.h"

#include <objbase.h>
#include <oleauto.h>
#include <shellapi.h>
#include <shldisp.h>
#include <shlwapi.h>

#include <algorithm>
#include <new>
#include <stdexcept>
#include <utility>
#include <vector>

#include "log/setup_log.h"
#include "system/new_folder.h"
#include "system/system_error_text.h"
#include "system/text_convert.h"
#include "threads/detached_thread.h"

namespace ostrane {
namespace {

// {13709620-C279-11CE-A49E-444553540000}: the Shell automation object.
constexpr CLSID kShellClass = {0x13709620, 0xC279, 0x11CE, {0xA4, 0x9E, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
// {D8F015C0-C278-11CE-A49E-444553540000}: IShellDispatch.
constexpr IID kShellDispatchInterface = {0xD8F015C0, 0xC278, 0x11CE, {0xA4, 0x9E, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
// FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR | FOF_NOERRORUI: no dialogs.
constexpr long kCopyQuietly = 1556;

// Owns one reference to a COM interface.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ComPtr& operator=(ComPtr&&) = delete;
  ~ComPtr() { reset(); }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  void reset() {
    if (p_) std::exchange(p_, nullptr)->Release();
  }
  T** put() {
    reset();
    return &p_;
  }
  void** putVoid() { return reinterpret_cast<void**>(put()); }

 private:
  T* p_ = nullptr;
};

// COM on this thread for as long as it lives; a thread already in another apartment
// type keeps it, and is then not uninitialized by us.
class ComApartment {
 public:
  ComApartment() : initialized_(SUCCEEDED(::CoInitialize(nullptr))) {}
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  ~ComApartment() {
    if (initialized_) ::CoUninitialize();
  }

 private:
  bool initialized_;
};

// A VARIANT argument that frees what it holds.
class Variant {
 public:
  explicit Variant(const std::wstring& text) {
    ::VariantInit(&value_);
    value_.vt = VT_BSTR;
    value_.bstrVal = ::SysAllocString(text.c_str());
    if (!value_.bstrVal) throw std::bad_alloc();
  }
  explicit Variant(IDispatch* object) {
    ::VariantInit(&value_);
    value_.vt = VT_DISPATCH;
    value_.pdispVal = object;
    object->AddRef();  // released by VariantClear
  }
  explicit Variant(long number) {
    ::VariantInit(&value_);
    value_.vt = VT_I4;
    value_.lVal = number;
  }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  ~Variant() { ::VariantClear(&value_); }
  const VARIANT& get() const { return value_; }

 private:
  VARIANT value_;
};

ComPtr<Folder> ShellFolder(IShellDispatch& shell, const std::wstring& path) {
  ComPtr<Folder> folder;
  if (FAILED(shell.NameSpace(Variant(path).get(), folder.put()))) folder.reset();
  return folder;
}

// Legacy entry names are in a DOS code page; the system's OEM code page is that.
std::wstring DecodeEntryName(std::string_view name, bool utf8) {
  if (utf8) return Utf8ToWide(name);
  if (name.empty()) return {};
  const int length = ::MultiByteToWideChar(CP_OEMCP, 0, name.data(), static_cast<int>(name.size()), nullptr, 0);
  if (length <= 0) return {};
  std::wstring text(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_OEMCP, 0, name.data(), static_cast<int>(name.size()), text.data(), length);
  return text;
}

class FileSource final : public zip::ByteSource {
 public:
  explicit FileSource(const std::wstring& path)
      : file_(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr)) {
    LARGE_INTEGER size{};
    if (!file_ || !::GetFileSizeEx(file_.get(), &size)) {
      openError_ = ::GetLastError();
      file_.reset();
      return;
    }
    size_ = static_cast<std::uint64_t>(size.QuadPart);
  }
  bool IsOpen() const { return static_cast<bool>(file_); }
  DWORD OpenError() const { return openError_; }

  std::uint64_t Size() const override { return size_; }

  bool ReadAt(std::uint64_t offset, std::span<unsigned char> buffer) override {
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(offset);
    if (!::SetFilePointerEx(file_.get(), position, nullptr, FILE_BEGIN)) return false;
    for (std::size_t done = 0; done < buffer.size();) {
      DWORD read = 0;
      const auto want = static_cast<DWORD>(std::min<std::size_t>(buffer.size() - done, 1 << 20));
      if (!::ReadFile(file_.get(), buffer.data() + done, want, &read, nullptr) || read == 0) return false;
      done += read;
    }
    return true;
  }

 private:
  win::UniqueFileHandle file_;
  std::uint64_t size_ = 0;
  DWORD openError_ = ERROR_SUCCESS;
};

// Writes entries below the destination folder.
class FileSink final : public zip::ExtractionSink {
 public:
  explicit FileSink(const std::wstring& destination)
      : destination_(destination.ends_with(L'\\') ? destination : destination + L'\\') {}

  bool CreateFolder(const std::wstring& path) override {
    const std::wstring full = destination_ + path;
    if (::CreateDirectoryW(full.c_str(), nullptr)) return true;
    const DWORD attributes = ::GetFileAttributesW(full.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  }

  bool BeginFile(const std::wstring& path) override {
    path_ = destination_ + path;
    file_.reset(::CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    return static_cast<bool>(file_);
  }

  bool Write(std::span<const unsigned char> data) override {
    for (std::size_t done = 0; done < data.size();) {
      DWORD written = 0;
      const auto size = static_cast<DWORD>(std::min<std::size_t>(data.size() - done, 1 << 20));
      if (!::WriteFile(file_.get(), data.data() + done, size, &written, nullptr) || written == 0) return false;
      done += written;
    }
    return true;
  }

  bool EndFile(bool keep) override {
    const bool closed = file_ && ::CloseHandle(file_.release());
    if (!keep) ::DeleteFileW(path_.c_str());
    return closed;
  }

 private:
  std::wstring destination_;
  std::wstring path_;
  win::UniqueFileHandle file_;
};

StartedProcess CreateWithCommandLine(std::wstring& commandLine) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
    return {{}, ::GetLastError()};
  }
  const win::UniqueKernelHandle thread(info.hThread);
  return {win::UniqueKernelHandle(info.hProcess), ERROR_SUCCESS};
}

StartedProcess ShellExecuteRunas(const std::wstring& exe, const std::wstring& arguments) {
  // ShellExecuteEx may call on COM, and this can be a worker thread.
  const ComApartment apartment;
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS;
  info.lpVerb = L"runas";
  info.lpFile = exe.c_str();
  info.lpParameters = arguments.c_str();
  info.nShow = SW_SHOWNORMAL;
  if (!::ShellExecuteExW(&info)) return {{}, ::GetLastError()};
  // The process handle may be missing when the Shell handed the start to another process.
  return {win::UniqueKernelHandle(info.hProcess), ERROR_SUCCESS};
}

}  // namespace

ArchiveType GetArchiveType(const std::wstring& path) {
  const win::UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return ArchiveType::None;
  unsigned char head[6];
  DWORD read = 0;
  if (!::ReadFile(file.get(), head, sizeof head, &read, nullptr)) return ArchiveType::None;
  return ArchiveTypeOf(std::span<const unsigned char>(head, read));
}

std::wstring MakeExtractionFolder(const std::wstring& zipPath, const std::wstring& folder) {
  const std::wstring name = ExtractionFolderName(zipPath);
  // Never the work folder itself: an archive unpacked there could overwrite the
  // other packages' files.
  if (name.size() < 2 || !IsPlainFolder(folder)) return {};
  return MakeNewFolder(folder, name.substr(1));
}

ShellUnzip UnzipWithShell(const std::wstring& zipPath, const std::wstring& destination) {
  // Declared in the order of their making, so that they are released in reverse and
  // all before COM is left.
  const ComApartment apartment;
  ComPtr<IShellDispatch> shell;
  if (FAILED(
          ::CoCreateInstance(kShellClass, nullptr, CLSCTX_INPROC_SERVER, kShellDispatchInterface, shell.putVoid())) ||
      !shell) {
    return ShellUnzip::NoShell;
  }
  const ComPtr<Folder> source = ShellFolder(*shell.get(), zipPath);
  if (!source) return ShellUnzip::NoArchiveFolder;
  const ComPtr<Folder> target = ShellFolder(*shell.get(), destination);
  if (!target) return ShellUnzip::NoTargetFolder;
  ComPtr<FolderItems> items;
  if (FAILED(source->Items(items.put())) || !items) return ShellUnzip::NoItems;
  long count = 0;
  if (FAILED(items->get_Count(&count)) || count < 1) return ShellUnzip::Empty;
  ComPtr<IDispatch> itemsObject;
  if (FAILED(items->QueryInterface(IID_IDispatch, itemsObject.putVoid())) || !itemsObject) {
    return ShellUnzip::CopyFailed;
  }
  const HRESULT copied = target->CopyHere(Variant(itemsObject.get()).get(), Variant(kCopyQuietly).get());
  return copied == S_OK ? ShellUnzip::Copied : ShellUnzip::CopyFailed;
}

bool Succeeded(ShellUnzip outcome) { return outcome != ShellUnzip::CopyFailed && outcome != ShellUnzip::Empty; }

bool ExtractZipWithShell(const std::wstring& zipPath, const std::wstring& destination) {
  return Succeeded(UnzipWithShell(zipPath, destination));
}

zip::ExtractionResult ExtractZipWithReader(const std::wstring& zipPath, const std::wstring& destination) {
  FileSource source(zipPath);
  if (!source.IsOpen()) return {false, L"Cannot open the archive: " + GetSystemErrorText(source.OpenError())};
  FileSink sink(destination);
  try {
    return zip::ZipReader(DecodeEntryName).Extract(source, sink);
  } catch (const std::exception& failure) {
    return {false, Utf8ToWide(failure.what())};
  }
}

zip::ExtractionResult CheckZip(const std::wstring& zipPath) {
  FileSource source(zipPath);
  if (!source.IsOpen()) return {false, L"Cannot open the archive: " + GetSystemErrorText(source.OpenError())};
  return CheckZip(source);
}

zip::ExtractionResult CheckZip(zip::ByteSource& archive) {
  try {
    return zip::ZipReader(DecodeEntryName).Check(archive);
  } catch (const std::exception& failure) {
    return {false, Utf8ToWide(failure.what())};
  }
}

bool ExtractZip(const std::wstring& zipPath, const std::wstring& destination) {
  // The Shell copies whatever names the archive holds: every entry is checked before
  // either unpacker writes anything.
  if (!CheckZip(zipPath).ok) return false;
  const ShellUnzip outcome = UnzipWithShell(zipPath, destination);
  if (outcome != ShellUnzip::NoArchiveFolder && outcome != ShellUnzip::NoShell) return Succeeded(outcome);
  return ExtractZipWithReader(zipPath, destination).ok;
}

std::wstring FindFirstExecutable(const std::wstring& folder) {
  // The pattern is built in a MAX_PATH buffer: each part keeps what still fits.
  std::wstring pattern = folder.substr(0, MAX_PATH - 1);
  pattern += std::wstring_view(L"\\*.exe").substr(0, MAX_PATH - 1 - pattern.size());
  WIN32_FIND_DATAW found;
  const win::UniqueFindHandle search(::FindFirstFileW(pattern.c_str(), &found));
  if (!search) return {};
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return found.cFileName;
  } while (::FindNextFileW(search.get(), &found));
  return {};
}

ProcessStarter ProcessStarter::System() { return {CreateWithCommandLine, ShellExecuteRunas}; }

ExecResult RunExecutable(const std::wstring& exe, const std::wstring& arguments, bool wait,
                         const ProcessStarter& starter, StartHold hold,
                         const std::optional<std::string>& loggedArguments) {
  ExecResult result;
  std::wstring commandLine = CommandLine(exe, arguments);
  log::LogLine("launch", loggedArguments ? WideToUtf8(CommandLine(exe, {})) + *loggedArguments : WideToUtf8(commandLine));
  StartedProcess started = starter.create(commandLine);
  // A program whose manifest asks for administrator rights starts only through the
  // Shell, which shows the consent prompt.
  if (started.error == kErrorElevationRequired) {
    log::LogLine("launch", "it needs administrator rights: started again through the Shell's \"runas\"");
    started = starter.shellExecuteRunas(exe, arguments);
  }
  // The process exists (or will not): what was checked may be let go.
  hold.reset();
  const std::string name = WideToUtf8(exe.substr(exe.find_last_of(L"\\/") + 1));
  if (started.error != ERROR_SUCCESS) {
    result.text = L"Error launching executable: " + GetSystemErrorText(started.error);
    log::LogLine("launch", name + ": not started, error " + std::to_string(started.error) + " (" +
                               WideToUtf8(result.text) + ")");
    return result;
  }
  if (!wait) log::LogLine("launch", name + ": started; its outcome is not awaited");
  if (wait && !started.process) {
    log::LogLine("launch", name + ": started through the Shell with no process to wait for: outcome unknown");
    // The Shell handed the start to another process and gave no handle: the
    // installer may well be running, so it counts as started, with what is unknown.
    result.exitCode = 0;
    result.text = kOutcomeUnknown;
    return result;
  }
  if (wait) {
    ::WaitForSingleObject(started.process.get(), INFINITE);
    DWORD code = 0;
    if (::GetExitCodeProcess(started.process.get(), &code)) result.exitCode = code;
    if (result.exitCode != 0) result.text = L"exit code = " + std::to_wstring(result.exitCode);
    log::LogLine("launch", name + ": ended with exit code " + std::to_string(result.exitCode));
  }
  return result;
}

std::future<ExecResult> LaunchAsync(const std::wstring& exe, const std::wstring& arguments, bool wait,
                                    StartHold hold, std::optional<std::string> loggedArguments) {
  // Detached, and owning all it uses: a wizard that quits while an installer runs ends
  // at once instead of waiting for the installer (a future of std::async would block).
  auto launch = std::make_shared<std::packaged_task<ExecResult()>>(
      [exe, arguments, wait, hold = std::move(hold), loggedArguments = std::move(loggedArguments)]() mutable {
        return RunExecutable(exe, arguments, wait, ProcessStarter::System(), std::move(hold), loggedArguments);
      });
  std::future<ExecResult> result = launch->get_future();
  StartDetachedThread([launch] { (*launch)(); });
  return result;
}

}  // namespace ostrane
