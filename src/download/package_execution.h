// Turning a downloaded file into a running installer: unpack it when it is a ZIP,
// find the program inside, start it and wait for its exit code.
#pragma once

#include <windows.h>

#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>

#include "download/package_files.h"
#include "download/zip_reader.h"
#include "winui/unique_handle.h"

namespace ostrane {

struct ExecResult {
  DWORD exitCode = 0xFFFFFFFF;
  std::wstring text;  // why it could not start, or the exit code when it was not 0
};

// What the file's first bytes say; None when it cannot be read.
ArchiveType GetArchiveType(const std::wstring& path);

// A new folder for the archive's contents: folder + ExtractionFolderName(zipPath), or
// that name with a random suffix when it is taken (a folder that was there, perhaps a
// junction, is never unpacked into); empty when none can be made, or when the
// archive's name leaves nothing to name it.
std::wstring MakeExtractionFolder(const std::wstring& zipPath, const std::wstring& folder);

// How the Shell's copy out of an archive ended.
enum class ShellUnzip {
  Copied,
  CopyFailed,
  Empty,            // the archive has no items
  NoShell,          // the Shell automation object is not there
  NoArchiveFolder,  // the Shell cannot open the archive as a folder
  NoTargetFolder,
  NoItems,
};

ShellUnzip UnzipWithShell(const std::wstring& zipPath, const std::wstring& destination);
// The Shell's outcome as a success flag: only a failed copy or an empty archive fail;
// when the Shell cannot help at all the caller goes on as if it had.
bool Succeeded(ShellUnzip outcome);
bool ExtractZipWithShell(const std::wstring& zipPath, const std::wstring& destination);

// Our own reader, writing below destination.
zip::ExtractionResult ExtractZipWithReader(const std::wstring& zipPath, const std::wstring& destination);

// Whether the archive is safe for the Shell to copy (zip::ZipReader::Check): names,
// links, sizes and offsets, ZIP64 included; methods are the Shell's. Writes nothing.
zip::ExtractionResult CheckZip(const std::wstring& zipPath);
zip::ExtractionResult CheckZip(zip::ByteSource& archive);

// The archive checked first, whole; then the Shell, or our reader (which also
// refuses methods it does not know) when there is no Shell object or it cannot open
// the archive (Windows without the ZIP folder handler).
bool ExtractZip(const std::wstring& zipPath, const std::wstring& destination);

// The bare name of the first file (not folder) matching folder\*.exe; empty if none.
std::wstring FindFirstExecutable(const std::wstring& folder);

// ERROR_ELEVATION_REQUIRED, which MinGW's headers lack.
inline constexpr DWORD kErrorElevationRequired = 740;

// A started process, or the error that kept it from starting.
struct StartedProcess {
  win::UniqueKernelHandle process;
  DWORD error = ERROR_SUCCESS;
};

// The two ways of starting a program; tests replace them, since Wine never asks for
// elevation.
struct ProcessStarter {
  // CreateProcessW with this (writable) command line.
  std::function<StartedProcess(std::wstring& commandLine)> create;
  // ShellExecuteExW with the "runas" verb.
  std::function<StartedProcess(const std::wstring& exe, const std::wstring& arguments)> shellExecuteRunas;

  static ProcessStarter System();
};

// What an awaited start reports when the system started the program but gave no
// process to wait for (a "runas" start handed to another process).
inline constexpr wchar_t kOutcomeUnknown[] = L"started through the Shell without a process handle: outcome unknown";

// What stays held until the program has started (or failed to): the checked files,
// which nobody may change in between. Released as soon as the start is over.
using StartHold = std::shared_ptr<const void>;

// Starts "\"exe\" arguments"; a program that needs elevation is started again through
// the "runas" verb. The Shell goes by the file's extension, so exe must already be
// named as a program (the checks name it so before they look at it): it is never
// renamed here, after its check. With wait, blocks until it ends and reports its exit
// code; when there is no process to wait for, exit code 0 with kOutcomeUnknown. The
// setup log shows loggedArguments (UTF-8) after the program instead of the arguments
// when given: an offer's as the campaign wrote them, without the placeholder values
// (Package::LoggedArguments).
ExecResult RunExecutable(const std::wstring& exe, const std::wstring& arguments, bool wait,
                         const ProcessStarter& starter = ProcessStarter::System(), StartHold hold = nullptr,
                         const std::optional<std::string>& loggedArguments = std::nullopt);

// RunExecutable on a thread of its own. Dropping the future never blocks: the thread
// may go on waiting for an installer after its caller has gone.
std::future<ExecResult> LaunchAsync(const std::wstring& exe, const std::wstring& arguments, bool wait,
                                    StartHold hold = nullptr,
                                    std::optional<std::string> loggedArguments = std::nullopt);

}  // namespace ostrane
