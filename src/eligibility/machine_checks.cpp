// The offer rules' tests of the user's machine. Facts that do not change during a
// load (hardware, running programs, installed applications) are read once; a failed
// hardware query is not kept, so the next offer asks again.
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cwchar>
#include <cwctype>
#include <limits>
#include <stdexcept>

#include "eligibility/offer_rules.h"
#include "eligibility/registry_error.h"
#include "eligibility/registry_path.h"
#include "eligibility/unsigned_text.h"
#include "system/text_convert.h"
#include "settings/configuration_manager.h"

namespace ostrane {
namespace {

constexpr wchar_t kAppPaths[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths";

// As the run-time's stof reads a number, with failure texts of our own: the library's
// own words for a failed parse differ from one run-time to the next.
float ParseFloat(const std::wstring& text) {
  errno = 0;
  wchar_t* end = nullptr;
  const float value = std::wcstof(text.c_str(), &end);
  if (end == text.c_str()) throw std::invalid_argument("invalid stof argument");
  if (errno == ERANGE) throw std::out_of_range("stof argument out of range");
  return value;
}

// One number of a dotted version as atoi reads it: blanks, a sign, digits.
long long VersionNumber(const std::string& token) {
  std::size_t pos = 0;
  while (pos < token.size() && (token[pos] == ' ' || token[pos] == '\t')) ++pos;
  bool negative = false;
  if (pos < token.size() && (token[pos] == '-' || token[pos] == '+')) negative = token[pos++] == '-';
  long long value = 0;
  for (; pos < token.size() && token[pos] >= '0' && token[pos] <= '9'; ++pos)
    value = std::min<long long>(value * 10 + (token[pos] - '0'), std::numeric_limits<int>::max());
  return negative ? -value : value;
}

std::vector<long long> VersionNumbers(const std::string& version) {
  std::vector<long long> numbers;
  std::size_t start = 0;
  while (start <= version.size()) {
    const auto dot = version.find('.', start);
    const std::string token = version.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
    if (!token.empty()) numbers.push_back(VersionNumber(token));  // consecutive dots count as one
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  return numbers;
}

}  // namespace

int CompareVersions(const std::string& a, const std::string& b) {
  const auto left = VersionNumbers(a);
  const auto right = VersionNumbers(b);
  for (std::size_t i = 0; i < std::max(left.size(), right.size()); ++i) {
    const long long x = i < left.size() ? left[i] : 0;
    const long long y = i < right.size() ? right[i] : 0;
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

bool ProcessNameMatches(std::wstring processName, const std::wstring& entry) {
  const auto dots = [](const std::wstring& text) { return std::count(text.begin(), text.end(), L'.'); };
  if (dots(processName) > dots(entry)) processName.erase(processName.rfind(L'.'));
  return processName == entry;
}

bool OfferRules::RejectedByRegistry(Package& package) {
  if (!package.m_registryKeysAbsent.empty() && registry_.AnyKeyExists(package.m_registryKeysAbsent)) {
    Reject(package, "REGISTRY KEY EXISTS");
    return true;
  }
  if (!package.m_registryKeysAnyPresent.empty() && !registry_.AnyKeyExists(package.m_registryKeysAnyPresent)) {
    Reject(package, "NONE OF THE REGISTRY KEYS EXISTS");
    return true;
  }
  const bool wow64 = machine_.IsWow64();
  for (const auto& entry : package.m_registryValuesAbsent) {
    for (const auto& candidate : ExpandRegistryPath(LowerCase(entry), wow64)) {
      const auto [keyPath, valueName] = SplitAtLastBackslash(candidate);
      if (!registry_.KeyExists(keyPath)) continue;
      const auto key = registry_.Openable(keyPath);
      if (key && machine_.ValueExists(key->root, key->path, key->view, valueName)) {
        Reject(package, "REGISTRY VALUE EXISTS");
        return true;
      }
    }
  }
  for (const auto& entry : package.m_registryValueData) {
    for (const auto& candidate : ExpandRegistryPath(LowerCase(entry), wow64)) {
      const auto [rest, expected] = SplitAtLastBackslash(candidate);
      const auto [keyPath, valueName] = SplitAtLastBackslash(rest);
      if (!registry_.KeyExists(keyPath)) continue;
      const auto key = registry_.Openable(keyPath);
      if (!key || !machine_.ValueExists(key->root, key->path, key->view, valueName)) continue;
      bool matches = false;
      switch (machine_.ValueType(key->root, key->path, key->view, valueName)) {
        case kRegSz:
          matches = LowerCase(machine_.ReadString(key->root, key->path, key->view, valueName)) == expected;
          break;
        case kRegDword:
          matches = machine_.ReadDword(key->root, key->path, key->view, valueName) ==
                    ParseUnsigned<std::uint32_t>(expected, "stoul");
          break;
        case kRegQword:
          matches = machine_.ReadQword(key->root, key->path, key->view, valueName) ==
                    ParseUnsigned<std::uint64_t>(expected, "stoull");
          break;
        default:
          break;
      }
      if (matches) {
        Reject(package, "REGISTRY VALUE DATA MATCHES");
        return true;
      }
    }
  }
  return false;
}

bool OfferRules::RejectedByDiskSpace(Package& package) {
  if (package.m_minDiskMb == 0) return false;
  if (!freeDiskMb_) {
    const Measured free = machine_.FreeDiskMb();
    if (!free.value) {
      Reject(package, "DISK SPACE CHECK FAILED " + std::to_string(free.error));
      return true;
    }
    freeDiskMb_ = free.value;
  }
  if (*freeDiskMb_ < package.m_minDiskMb) {
    Reject(package, "NOT ENOUGH DISK SPACE");
    return true;
  }
  return false;
}

bool OfferRules::RejectedByMemory(Package& package) {
  if (package.m_minRamMb == 0) return false;
  if (!memoryMb_) {
    const Measured memory = machine_.PhysicalMemoryMb();
    if (!memory.value) {
      Reject(package, "RAM CHECK FAILED " + std::to_string(memory.error));
      return true;
    }
    memoryMb_ = memory.value;
  }
  if (*memoryMb_ < package.m_minRamMb) {
    Reject(package, "NOT ENOUGH RAM");
    return true;
  }
  return false;
}

bool OfferRules::RejectedByProcessor(Package& package) {
  if (package.m_minCpuMhz == 0) return false;
  if (!processorMhz_) {
    const Machine::CpuSpeed speed = machine_.ProcessorMhz();
    if (!speed.mhz) {
      Reject(package, speed.openFailed ? "CPU CHECK FAILED: Couldn't open registry" : "CPU CHECK FAILED: Couldn't read value");
      return true;
    }
    processorMhz_ = speed.mhz;
  }
  if (package.m_minCpuMhz > std::numeric_limits<std::uint32_t>::max() || package.m_minCpuMhz > *processorMhz_) {
    Reject(package, "NOT ENOUGH CPU");
    return true;
  }
  return false;
}

bool OfferRules::RejectedByOsVersion(Package& package) {
  if (package.m_minOsVersion < 1) return false;
  bool supported = false;
  switch (package.m_minOsVersion) {
    case 61: supported = machine_.IsOsVersionAtLeast(6, 1); break;
    case 62: supported = machine_.IsOsVersionAtLeast(6, 2); break;
    case 63: supported = machine_.IsOsVersionAtLeast(6, 3); break;
    case 100: supported = machine_.IsOsVersionAtLeast(10, 0); break;
    default: break;  // a code we do not know is never met
  }
  if (!supported) {
    Reject(package, "UNSUPPORTED OS VERSION");
    return true;
  }
  return false;
}

bool OfferRules::RejectedByPlatformVersion(Package& package) {
  if (package.m_platformVersion.empty()) return false;
  if (CompareVersions(WideToAnsi(settings_.m_fileVersion), package.m_platformVersion) < 0) {
    Reject(package, "UNSUPPORTED PLATFORM VERSION");
    return true;
  }
  return false;
}

bool OfferRules::AnyFileExists(const std::vector<std::wstring>& paths) {
  const bool wow64 = machine_.IsWow64();
  const PathPlaceholders only64 = settings_.GetPathPlaceholders64();
  for (const auto& path : paths) {
    bool names64BitFolder = false;
    for (const auto& [key, value] : only64.entries())
      if (path.find(L"{" + key + L"}") != std::wstring::npos) names64BitFolder = true;
    if (!wow64 && names64BitFolder) continue;  // no such folder on 32-bit Windows
    if (machine_.FileExists(path)) return true;
  }
  return false;
}

bool OfferRules::RejectedByRunningApplications(Package& package) {
  if (package.m_blockingProcesses.empty()) return false;
  if (!processesRead_) {
    for (const auto& name : machine_.RunningProcesses()) m_processNames.push_back(LowerCase(name));
    processesRead_ = true;
  }
  for (const auto& entry : package.m_blockingProcesses) {
    const std::wstring blocking = LowerCase(AnsiToWide(entry));
    for (const auto& process : m_processNames) {
      if (ProcessNameMatches(process, blocking)) {
        Reject(package, "APPLICATION RUNNING");
        return true;
      }
    }
  }
  return false;
}

bool OfferRules::IsInstalled(const std::wstring& application) {
  if (!applications_) {
    applications_.emplace();
    std::vector<RegistryView> views = {RegistryView::Default};
    if (machine_.IsWow64()) views.push_back(RegistryView::Native64);
    for (const RegistryRoot root : {RegistryRoot::LocalMachine, RegistryRoot::CurrentUser}) {
      for (const RegistryView view : views) {
        std::vector<std::wstring> names;
        try {
          names = machine_.Subkeys(root, kAppPaths, view);
        } catch (const win32::RegistryError& error) {
          if (std::string(error.what()) != win32::kOpenKeyFailed) throw;
          continue;  // this location does not exist
        }
        for (const auto& name : names) (*applications_)[LowerCase(name)].push_back({root, view, std::nullopt});
      }
    }
  }
  const auto entry = applications_->find(application);
  if (entry == applications_->end()) return false;
  for (AppLocation& location : entry->second) {
    if (!location.path) {
      try {
        location.path = machine_.ReadString(location.root, std::wstring(kAppPaths) + L"\\" + application, location.view, L"");
      } catch (const win32::RegistryError&) {
        location.path = std::wstring();
      }
    }
    if (!location.path->empty() && machine_.FileExists(*location.path)) return true;
  }
  return false;
}

bool OfferRules::RejectedByInstalledApplications(Package& package) {
  for (const auto& application : package.m_requiredApps) {
    if (!IsInstalled(application)) {
      Reject(package, "REGISTRY INCLUDE APP NOT FOUND");
      return true;
    }
  }
  for (const auto& application : package.m_excludedApps) {
    if (IsInstalled(application)) {
      Reject(package, "REGISTRY EXCLUDE APP FOUND");
      return true;
    }
  }
  return false;
}

bool OfferRules::RejectedByUninstallAge(Package& package) {
  for (const UninstallCheck& check : package.m_uninstallChecks) {
    const auto text = registry_.ReadValueAsText(LowerCase(check.root), LowerCase(check.key), LowerCase(check.valueName));
    if (!text) continue;
    std::uint64_t uninstalledAt = ParseUnsigned<std::uint64_t>(*text, "stoull");
    if (check.inMilliseconds) uninstalledAt /= 1000;
    // The days are turned into seconds as a 32-bit signed number.
    const auto period = static_cast<std::int32_t>(static_cast<std::uint32_t>(check.minDays) * 86400u);
    const std::uint64_t until = uninstalledAt + static_cast<std::uint64_t>(static_cast<std::int64_t>(period));
    if (static_cast<std::uint64_t>(machine_.NowSeconds()) < until) {
      Reject(package, "MIN DAYS UNINSTALL CHECKER");
      return true;
    }
  }
  return false;
}

bool OfferRules::RejectedByChrome(Package& package) {
  if (!package.m_requireChrome && !package.m_rejectIfChrome) return false;
  std::vector<std::wstring> candidates = {
      settings_.ExpandPathPlaceholders(L"{commonpf}\\Chromium\\Application\\chrome.exe"),
      settings_.ExpandPathPlaceholders(L"{commonpf}\\Google\\Chrome\\Application\\chrome.exe"),
      settings_.ExpandPathPlaceholders(L"{localappdata}\\Chromium\\Application\\chrome.exe"),
  };
  if (const auto folder = registry_.ReadValueAsText(
          L"hkey_local_machine", L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\chrome.exe", L"Path"))
    candidates.push_back(*folder + L"\\chrome.exe");
  if (const auto beacon = registry_.ReadValueAsText(L"hkey_current_user", L"SOFTWARE\\Google\\Chrome\\BLBeacon", L"Path"))
    candidates.push_back(*beacon);
  const bool present = AnyFileExists(candidates);
  if (package.m_requireChrome && !present) {
    Reject(package, "NO CHROME");
    return true;
  }
  if (package.m_rejectIfChrome && present) {
    Reject(package, "HAVE CHROME");
    return true;
  }
  return false;
}

bool OfferRules::RejectedByIeVersion(Package& package) {
  if (!package.m_checkIeVersion) return false;
  const auto version = registry_.ReadValueAsText(L"hkey_local_machine", L"SOFTWARE\\Microsoft\\Internet Explorer", L"Version");
  if (!version) return false;
  if (ParseFloat(*version) * 10 < 90) {
    Reject(package, "OLD IE VERSION");
    return true;
  }
  return false;
}

}  // namespace ostrane
