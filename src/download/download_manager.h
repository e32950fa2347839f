// The one object through which the installer downloads anything: blocking file
// downloads (WinHTTP, then WinINet after a pause), background fetches into memory,
// the process-wide cancel flag and the path of the last file written.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "download/download_result.h"

namespace ostrane {

using ByteBuffer = std::unique_ptr<std::vector<char>>;

class DownloadManager : public std::enable_shared_from_this<DownloadManager> {
 public:
  // The process's instance, created by the first call; it lives until the process ends.
  static std::shared_ptr<DownloadManager> Instance();

  // Tests make their own (always owned by a shared_ptr); the program uses Instance().
  DownloadManager() = default;
  DownloadManager(const DownloadManager&) = delete;
  DownloadManager& operator=(const DownloadManager&) = delete;

  // Downloads url into a file named fileName (empty: the URL's last segment) in the
  // settings' work folder (useWorkFolder) or download folder. Posts
  // WM_DOWNLOAD_PROGRESS / WM_DOWNLOAD_NO_SIZE to notify. Blocking: worker threads only.
  // When both attempts fail, or the user quit during the first, the partial file is
  // deleted. A name that would leave the folder fails at once.
  DownloadResult Download(const std::wstring& url, HWND notify, const std::wstring& fileName, bool useWorkFolder);
  // The same into any folder. keepExisting: a file of that name there is kept, the
  // download takes "name (1)" and so on (a user's folder); otherwise it is replaced
  // (a folder of ours that only this package writes to).
  DownloadResult DownloadInto(const std::wstring& url, HWND notify, const std::wstring& fileName,
                              const std::wstring& folder, bool keepExisting);

  // Fetches url into memory on a new detached thread and calls back there, once:
  // null when the wizard is quitting, an empty vector when the fetch failed, or the body.
  // The thread shares ownership of the manager, so it may outlive every caller.
  void FetchAsync(const std::wstring& url, std::function<void(ByteBuffer)> callback);

  // One attempt of each transport.
  DownloadResult DownloadWithWinHttp(const std::wstring& url, HWND notify, const std::wstring& fileName,
                                     bool useWorkFolder);
  DownloadResult DownloadWithWinInet(const std::wstring& url, HWND notify, const std::wstring& fileName,
                                     bool useWorkFolder);
  // Up to two WinHTTP attempts into memory; never null, empty when both failed.
  ByteBuffer Fetch(const std::wstring& url);

  // The file a download writes; empty (after an "Invalid path" box) when the
  // folder is not a directory, or when the name does not fit.
  std::wstring ResolveTargetPath(const std::wstring& url, const std::wstring& fileName, bool useWorkFolder);
  std::wstring ResolveTargetPathIn(const std::wstring& folder, const std::wstring& url, const std::wstring& fileName);

  // Raised once by the wizard when the user quits; transfers stop before their next
  // chunk, and fetch callbacks get null.
  std::atomic<bool> m_cancelled{false};
  // Written by each successful file transfer; read after its future is ready.
  std::wstring m_lastFilePath;

 private:
  // The failure for a file name that would leave its folder; nothing for a good one.
  static std::optional<DownloadResult> RefuseUnsafeName(const std::wstring& url, const std::wstring& fileName);
  DownloadResult WinHttpToFile(const std::wstring& url, HWND notify, const std::wstring& path);
  DownloadResult WinInetToFile(const std::wstring& url, HWND notify, const std::wstring& path);
};

}  // namespace ostrane
