// A downloaded package from its check to its start. What starts is decided by what
// the file is, never by its name or first bytes alone: a Windows program (or, where
// allowed, a Windows Installer package) is named for its kind and then held and
// verified; a ZIP is held to its digest, unpacked into a folder of its own and its
// program verified; anything else never starts.
#pragma once

#include <memory>
#include <string>

#include "download/download_result.h"
#include "download/held_file.h"
#include "download/package_kind.h"
#include "download/package_trust.h"

namespace ostrane {

struct CheckedPackage {
  PackageKind kind = PackageKind::Other;
  std::wstring path;                 // the file as checked, named for its kind
  std::shared_ptr<FileHolds> holds;  // held from the check until the start
};

struct CheckedDownload {
  DownloadResult result;  // a refused file fails with "Not trusted: …" and is gone
  CheckedPackage package;
};

// The check of a finished download, on the thread that downloaded it. A failed
// download is passed on as it is. Any failure of the check itself (an exception
// included) refuses the file.
CheckedDownload CheckDownload(const DownloadResult& downloaded, const TrustRequirements& requirements,
                              bool installerPackagesAllowed);

// What a checked package starts as: the program and what must stay held until it
// has started, or why nothing of it starts.
struct StartablePackage {
  std::wstring program;
  std::shared_ptr<FileHolds> holds;
  std::string failurePrefix;  // "EXEC FAILED: " or "DOWNLOAD FAILED: "; empty when it may start
  std::wstring failure;
};

// A program is started as checked. A ZIP is unpacked into a new folder beside it;
// every file unpacked is held, and every program, library or script in it must carry
// a trusted signature unless the campaign named the archive's SHA-256; the program
// found in it is held to the package's signature rules. Anything else does not start.
// Never throws: a failure of the checks refuses the package.
StartablePackage PrepareToStart(const CheckedPackage& package, const TrustRequirements& requirements);

// "Not a program: …", the text after "EXEC FAILED: " for a file that never starts.
inline constexpr wchar_t kNotAProgram[] = L"Not a program: ";

}  // namespace ostrane
