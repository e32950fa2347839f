#include "download/download_manager.h"

#include <shlwapi.h>

#include <algorithm>
#include <chrono>
#include <mutex>

#include "log/setup_log.h"
#include "settings/configuration_manager.h"
#include "system/text_convert.h"
#include "download/transfer_support.h"
#include "threads/detached_thread.h"
#include "winui/message_box.h"
#include "winui/unique_handle.h"

namespace ostrane {
namespace {

// Between the WinHTTP attempt and the WinINet fallback.
constexpr DWORD kFallbackPauseMs = 2000;

}  // namespace

std::shared_ptr<DownloadManager> DownloadManager::Instance() {
  // Never destroyed: detached transfers may still run while the process exits.
  static std::once_flag once;
  static std::shared_ptr<DownloadManager>* instance = nullptr;
  std::call_once(once, [] { instance = new std::shared_ptr<DownloadManager>(new DownloadManager()); });
  return *instance;
}

std::optional<DownloadResult> DownloadManager::RefuseUnsafeName(const std::wstring& url, const std::wstring& fileName) {
  const std::wstring name = fileName.empty() ? FileNameFromUrl(url) : fileName;
  if (!LeavesFolder(name)) return std::nullopt;
  return DownloadResult{false, L"Invalid file name: " + name};
}

namespace {

// The user's own folder (Downloads) may hold a file of the same name: it is never
// overwritten, nor removed when the download fails. The first free name, "setup
// (1).exe" and so on, is taken and made empty at once, so that it stays ours.
std::wstring ReserveFreePath(const std::wstring& path) {
  const std::size_t slash = path.rfind(L'\\');
  if (slash == std::wstring::npos) return {};
  const std::wstring folder = path.substr(0, slash + 1);
  const std::wstring name = path.substr(slash + 1);
  for (int number = 0; number < 1000; ++number) {
    const std::wstring candidate = folder + (number == 0 ? name : NumberedFileName(name, number));
    if (candidate.size() >= MAX_PATH) return {};
    const win::UniqueFileHandle made(
        ::CreateFileW(candidate.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (made) return candidate;
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return {};
  }
  return {};
}

}  // namespace

namespace {

// The address without its query, which may carry the user's placeholders.
std::string AddressForLog(const std::wstring& url) {
  return WideToUtf8(url.substr(0, std::min(url.find(L'?'), url.find(L'#'))));
}

// "123456 bytes in 840 ms", or how the transfer failed.
std::string TransferOutcome(const DownloadResult& result, const std::wstring& path,
                            std::chrono::steady_clock::time_point started) {
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count();
  if (!result.ok) return "failed after " + std::to_string(ms) + " ms: " + WideToUtf8(result.text);
  WIN32_FILE_ATTRIBUTE_DATA facts{};
  const unsigned long long size = ::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &facts)
                                      ? (static_cast<unsigned long long>(facts.nFileSizeHigh) << 32) | facts.nFileSizeLow
                                      : 0;
  return std::to_string(size) + " bytes in " + std::to_string(ms) + " ms";
}

// A file kept in the user's Downloads folder carries the Mark of the Web, as a
// browser's download does: Windows then treats it as the Internet's (SmartScreen,
// the warning before it runs). The download stands without it: a file system
// without alternate streams (FAT32) keeps none.
void MarkAsFromTheInternet(const std::wstring& path, const std::wstring& url, const std::string& address) {
  const std::string text = ZoneIdentifierText(url);
  const win::UniqueFileHandle stream(::CreateFileW((path + L":Zone.Identifier").c_str(), GENERIC_WRITE, 0, nullptr,
                                                   CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD error = ERROR_SUCCESS;
  DWORD written = 0;
  if (!stream) {
    error = ::GetLastError();
  } else if (!::WriteFile(stream.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr)) {
    error = ::GetLastError();
  } else if (written != text.size()) {
    error = ERROR_WRITE_FAULT;
  }
  log::LogLine("download", address + (error == ERROR_SUCCESS
                                          ? std::string(": marked as from the Internet (Zone.Identifier)")
                                          : ": no Mark of the Web, error " + std::to_string(error)));
}

}  // namespace

DownloadResult DownloadManager::Download(const std::wstring& url, HWND notify, const std::wstring& fileName,
                                         bool useWorkFolder) {
  const auto config = ConfigurationManager::Instance();
  return DownloadInto(url, notify, fileName, useWorkFolder ? config->m_workFolder : config->m_downloadFolder,
                      !useWorkFolder);
}

DownloadResult DownloadManager::DownloadInto(const std::wstring& url, HWND notify, const std::wstring& fileName,
                                             const std::wstring& folder, bool keepExisting) {
  const std::string address = AddressForLog(url);
  if (auto refused = RefuseUnsafeName(url, fileName)) {
    log::LogLine("download", address + ": refused, " + WideToUtf8(refused->text));
    return *refused;
  }
  std::wstring path = ResolveTargetPathIn(folder, url, fileName);
  if (keepExisting && !path.empty()) path = ReserveFreePath(path);
  log::LogLine("download", address + " to " + (path.empty() ? std::string("no usable file") : WideToUtf8(path)));
  auto started = std::chrono::steady_clock::now();
  DownloadResult result = WinHttpToFile(url, notify, path);
  log::LogLine("download", address + " over WinHTTP: " + TransferOutcome(result, path, started));
  if (result.ok) {
    result.path = path;
    // A file kept in the user's folder is marked as a browser marks what it saves.
    if (keepExisting) MarkAsFromTheInternet(path, result.finalUrl.empty() ? url : result.finalUrl, address);
    return result;
  }

  // The user has quit: nothing more is fetched, and what was written goes.
  if (m_cancelled) {
    log::LogLine("download", address + ": no second try, the user quit");
    if (!path.empty()) ::DeleteFileW(path.c_str());
    return result;
  }
  // Whatever else failed, WinINet gets its turn.
  log::LogLine("download", address + ": falling back to WinINet after the WinHTTP failure");
  ::Sleep(kFallbackPauseMs);
  started = std::chrono::steady_clock::now();
  const DownloadResult fallback = WinInetToFile(url, notify, path);
  log::LogLine("download", address + " over WinINet: " + TransferOutcome(fallback, path, started));
  if (fallback.ok) {
    result.ok = true;
    result.path = path;
    result.finalUrl = fallback.finalUrl;
    if (keepExisting) MarkAsFromTheInternet(path, result.finalUrl.empty() ? url : result.finalUrl, address);
    return result;
  }
  result.text += fallback.text;
  if (!path.empty()) ::DeleteFileW(path.c_str());  // what the attempts left; may not exist
  return result;
}

void DownloadManager::FetchAsync(const std::wstring& url, std::function<void(ByteBuffer)> callback) {
  StartDetachedThread([self = shared_from_this(), url, callback = std::move(callback)] {
    ByteBuffer data = self->Fetch(url);
    // The wizard is quitting: whoever asked is going away with it.
    if (self->m_cancelled) data.reset();
    callback(std::move(data));
  });
}

std::wstring DownloadManager::ResolveTargetPath(const std::wstring& url, const std::wstring& fileName,
                                                bool useWorkFolder) {
  const auto config = ConfigurationManager::Instance();
  return ResolveTargetPathIn(useWorkFolder ? config->m_workFolder : config->m_downloadFolder, url, fileName);
}

std::wstring DownloadManager::ResolveTargetPathIn(const std::wstring& folder, const std::wstring& url,
                                                  const std::wstring& fileName) {
  if (!::PathIsDirectoryW(folder.c_str())) {
    win::AppMessageBox(L"Invalid path");
    return {};
  }
  const std::wstring name = fileName.empty() ? FileNameFromUrl(url) : fileName;
  // PathAppendW works in a MAX_PATH buffer and fails when the result does not fit.
  std::wstring buffer(std::max<std::size_t>(MAX_PATH, folder.size() + 1), L'\0');
  std::copy(folder.begin(), folder.end(), buffer.begin());
  if (!::PathAppendW(buffer.data(), name.c_str())) return {};
  return buffer.substr(0, buffer.find(L'\0'));
}

}  // namespace ostrane
