#include "download/package_check.h"

#include <windows.h>

#include <optional>
#include <stdexcept>
#include <utility>

#include "download/folder_tree.h"
#include "download/package_execution.h"
#include "download/package_verification.h"
#include "download/transfer_support.h"
#include "log/setup_log.h"
#include "system/text_convert.h"

namespace ostrane {
namespace {

std::string NameOf(const std::wstring& path) { return WideToUtf8(path.substr(path.find_last_of(L"\\/") + 1)); }

std::string HeldFileProblem(const HeldFile& file) {
  return "the file cannot be held for its check (error " + std::to_string(file.OpenError()) + ")";
}

// What the file is; nothing (and why) when it cannot even be held to be looked at.
std::optional<PackageKind> KindAt(const std::wstring& path, std::string& problem) {
  const HeldFile file(path);
  if (!file.IsOpen()) {
    problem = HeldFileProblem(file);
    return std::nullopt;
  }
  HeldFileSource source(file);
  return PackageKindOf(source);
}

// The file under the name its kind needs; never over a file that is there (in the
// user's Downloads that may be anybody's): "setup (1).exe" and so on. Empty when it
// cannot be renamed.
std::wstring NameForItsKind(const std::wstring& path, PackageKind kind) {
  const std::wstring wanted = NameForKind(path, kind);
  if (wanted == path) return path;
  const std::size_t slash = wanted.find_last_of(L'\\');
  const std::wstring folder = wanted.substr(0, slash + 1), name = wanted.substr(slash + 1);
  for (int number = 0; number < 100; ++number) {
    const std::wstring candidate = folder + (number == 0 ? name : NumberedFileName(name, number));
    if (::MoveFileExW(path.c_str(), candidate.c_str(), 0)) return candidate;
    const DWORD error = ::GetLastError();
    if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) return {};
  }
  return {};
}

// Why the held file, of the kind it was named for, must not run; empty when it may.
std::string ProblemOf(const HeldFile& held, PackageKind named, const TrustRequirements& requirements) {
  if (!held.IsOpen()) return HeldFileProblem(held);
  HeldFileSource source(held);
  if (PackageKindOf(source) != named) return "the file changed while it was being checked";
  if (named != PackageKind::Zip) return FindTrustProblem(held, requirements);
  if (std::string problem = ArchiveTrustProblem(Sha256Of(held), requirements); !problem.empty()) return problem;
  const zip::ExtractionResult readable = CheckZip(source);
  return readable.ok ? std::string() : "the archive cannot be read: " + WideToUtf8(readable.error);
}

StartablePackage Refused(const char* prefix, std::wstring text) { return {{}, {}, prefix, std::move(text)}; }

// Every file below folder, held; a reparse point (no unpacker makes one) or a file
// that cannot be held fails the lot.
bool HoldEveryFile(const std::wstring& folder, const std::wstring& relative, FileHolds& holds, std::string& problem) {
  WIN32_FIND_DATAW entry{};
  const std::wstring base = relative.empty() ? folder : folder + L"\\" + relative;
  win::UniqueFindHandle find(::FindFirstFileW((base + L"\\*").c_str(), &entry));
  if (!find) return true;  // an empty folder
  do {
    const std::wstring name = entry.cFileName;
    if (name == L"." || name == L"..") continue;
    const std::wstring inner = relative.empty() ? name : relative + L"\\" + name;
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      problem = WideToUtf8(inner) + ": a link, which no archive unpacks to";
      return false;
    }
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (!HoldEveryFile(folder, inner, holds, problem)) return false;
      continue;
    }
    HeldFile held(folder + L"\\" + inner);
    if (!held.IsOpen()) {
      problem = WideToUtf8(inner) + ": " + HeldFileProblem(held);
      return false;
    }
    holds.push_back(std::move(held));
  } while (::FindNextFileW(find.get(), &entry));
  return true;
}

// Programs, libraries and scripts, by name or by contents, must carry a trusted
// signature: anything Windows might load beside the program is code.
std::string UnsignedCodeProblem(const FileHolds& holds, const std::wstring& folder) {
  for (const HeldFile& file : holds) {
    HeldFileSource source(file);
    if (!IsCodeByName(file.path()) && !IsPortableExecutable(source)) continue;
    const std::string reason = SignatureFailureReason(CheckSignature(file).status);
    if (!reason.empty()) return WideToUtf8(file.path().substr(folder.size() + 1)) + " in the archive: " + reason;
  }
  return {};
}

StartablePackage UnpackAndCheck(const CheckedPackage& archive, const TrustRequirements& requirements) {
  const std::wstring parent = archive.path.substr(0, archive.path.find_last_of(L'\\'));
  const std::wstring folder = MakeExtractionFolder(archive.path, parent);
  if (folder.empty())
    return Refused("EXEC FAILED: ", L"Cannot unpack the archive: no folder of its own could be made for it");
  if (!ExtractZip(archive.path, folder)) {
    DeleteFolderTree(folder);
    return Refused("EXEC FAILED: ", L"Cannot unpack the archive");
  }
  auto holds = std::make_shared<FileHolds>();
  std::string problem;
  if (HoldEveryFile(folder, L"", *holds, problem) && requirements.sha256.empty())
    problem = UnsignedCodeProblem(*holds, folder);
  const std::wstring name = problem.empty() ? FindFirstExecutable(folder) : std::wstring();
  const HeldFile* program = nullptr;
  for (const HeldFile& file : *holds)
    if (!name.empty() && file.path() == folder + L"\\" + name) program = &file;
  if (problem.empty() && program != nullptr) {
    HeldFileSource source(*program);
    if (PackageKindOf(source) != PackageKind::Program) program = nullptr;
  }
  if (problem.empty() && program == nullptr) {
    holds.reset();
    DeleteFolderTree(folder);
    return Refused("EXEC FAILED: ", std::wstring(kNotAProgram) + L"the archive holds no program");
  }
  if (problem.empty()) {
    // The digest was the archive's; the program answers for itself.
    TrustRequirements programRules = requirements;
    programRules.sha256.clear();
    problem = FindTrustProblem(*program, programRules);
  }
  log::LogLine("verify", NameOf(archive.path) + ", unpacked: " +
                             (problem.empty() ? "the program " + WideToUtf8(name) + " is trusted"
                                              : "not trusted, " + problem));
  if (!problem.empty()) {
    holds.reset();
    DeleteFolderTree(folder);
    return Refused("DOWNLOAD FAILED: ", NotTrustedText(problem));
  }
  return {program->path(), std::move(holds), {}, {}};
}

// The downloaded file named for its kind, held and checked; the problem when it must
// not run. Anything it throws is the caller's to turn into a refusal.
std::string NameHoldAndCheck(CheckedDownload& checked, const TrustRequirements& requirements,
                             bool installerPackagesAllowed) {
  std::string problem;
  const std::optional<PackageKind> found = KindAt(checked.package.path, problem);
  if (!found) return problem;
  PackageKind kind = *found;
  if (kind == PackageKind::WindowsInstaller && !installerPackagesAllowed) kind = PackageKind::Other;
  checked.package.kind = kind;
  // Anything else never starts; the page says so when it comes to it.
  if (kind == PackageKind::Other) return {};
  const std::wstring path = NameForItsKind(checked.package.path, kind);
  if (path.empty()) return "the file cannot be named for what it is (error " + std::to_string(::GetLastError()) + ")";
  checked.package.path = path;
  checked.result.path = path;
  auto holds = std::make_shared<FileHolds>();
  holds->emplace_back(path);
  problem = ProblemOf(holds->front(), kind, requirements);
  if (problem.empty()) checked.package.holds = std::move(holds);
  return problem;
}

}  // namespace

CheckedDownload CheckDownload(const DownloadResult& downloaded, const TrustRequirements& requirements,
                              bool installerPackagesAllowed) {
  if (!downloaded.ok) return {downloaded, {}};
  CheckedDownload checked{downloaded, {PackageKind::Other, downloaded.path, nullptr}};
  std::string problem;
  try {
    problem = NameHoldAndCheck(checked, requirements, installerPackagesAllowed);
  } catch (const std::exception& failure) {
    problem = std::string("the check failed: ") + failure.what();
  } catch (...) {
    problem = "the check failed";
  }
  const std::wstring& path = checked.package.path;
  if (problem.empty()) {
    if (checked.package.kind == PackageKind::Other) {
      log::LogLine("verify", NameOf(path) + ": neither a program nor an archive, it will not start");
    } else {
      log::LogLine("verify", NameOf(path) + (checked.package.kind == PackageKind::Zip ? ": archive accepted" : ": trusted") +
                                 (requirements.sha256.empty() ? "" : ", SHA-256 as named") +
                                 (requirements.signer.empty() ? "" : ", signed by " + requirements.signer));
    }
    return checked;
  }
  log::LogLine("verify", NameOf(path) + ": not trusted, " + problem + "; the file is deleted");
  ::DeleteFileW(path.c_str());
  return {{false, NotTrustedText(problem), {}}, {}};
}

StartablePackage PrepareToStart(const CheckedPackage& package, const TrustRequirements& requirements) {
  try {
    switch (package.kind) {
      case PackageKind::Program:
      case PackageKind::WindowsInstaller:
        if (!package.holds) return Refused("EXEC FAILED: ", L"the file was not checked");
        return {package.path, package.holds, {}, {}};
      case PackageKind::Zip:
        return UnpackAndCheck(package, requirements);
      case PackageKind::Other:
        break;
    }
    log::LogLine("verify", NameOf(package.path) + ": not started, neither a program nor an archive");
    return Refused("EXEC FAILED: ", std::wstring(kNotAProgram) + Utf8ToWide(NameOf(package.path)) +
                                        L" is neither a Windows program nor an archive holding one");
  } catch (const std::exception& failure) {
    return Refused("DOWNLOAD FAILED: ", NotTrustedText(std::string("the check failed: ") + failure.what()));
  } catch (...) {
    return Refused("DOWNLOAD FAILED: ", NotTrustedText("the check failed"));
  }
}

}  // namespace ostrane
