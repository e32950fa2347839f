#include "eligibility/machine_profile.h"

#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <optional>
#include <set>
#include <tuple>
#include <vector>

#include "build_config.h"
#include "eligibility/registry_path.h"
#include "system/text_convert.h"

namespace ostrane {
namespace {

using nlohmann::json;

constexpr char kDefaultMachineGuid[] = "{5f0c6a2e-7d4b-4c1e-9a3f-2b8d6e1c0a47}";
constexpr std::int64_t kDefaultNow = 1700000000;  // 2023-11-14 22:13:20 UTC
constexpr wchar_t kAppPaths[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths";

[[noreturn]] void Fail(const std::string& path, const std::string& message) { throw ProfileError(path + ": " + message); }

[[noreturn]] void WrongType(const std::string& path, const char* expected, const json& found) {
  Fail(path, std::string("expected ") + expected + ", found " + found.type_name());
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool AllDigits(const std::string& text) {
  if (text.empty()) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

// An object of the profile whose keys must all be known.
class Fields {
 public:
  Fields(const json& value, std::string path) : value_(value), path_(std::move(path)) {
    if (!value.is_object()) WrongType(path_.empty() ? "profile" : path_, "an object", value);
  }
  // The member, or nullptr when it is absent.
  const json* Take(const std::string& key) {
    known_.insert(key);
    const auto it = value_.find(key);
    return it == value_.end() ? nullptr : &*it;
  }
  std::string PathOf(const std::string& key) const { return path_.empty() ? key : path_ + "." + key; }
  // Throws for the first key nobody asked for.
  void Finish() const {
    for (const auto& [key, member] : value_.items())
      if (known_.count(key) == 0) Fail(PathOf(key), "unknown key");
  }

 private:
  const json& value_;
  std::string path_;
  std::set<std::string> known_;
};

std::string String(const json& value, const std::string& path) {
  if (!value.is_string()) WrongType(path, "a string", value);
  return value.get<std::string>();
}

bool Bool(const json& value, const std::string& path) {
  if (!value.is_boolean()) WrongType(path, "true or false", value);
  return value.get<bool>();
}

std::uint64_t Unsigned(const json& value, const std::string& path, std::uint64_t max) {
  if (!value.is_number_unsigned() && !(value.is_number_integer() && value.get<std::int64_t>() >= 0))
    WrongType(path, "a whole number from 0", value);
  const auto number = value.get<std::uint64_t>();
  if (number > max) Fail(path, std::to_string(number) + " is above " + std::to_string(max));
  return number;
}

std::vector<std::string> Strings(const json& value, const std::string& path) {
  if (!value.is_array()) WrongType(path, "an array of strings", value);
  std::vector<std::string> texts;
  for (std::size_t i = 0; i < value.size(); ++i) texts.push_back(String(value[i], path + "[" + std::to_string(i) + "]"));
  return texts;
}

// "memoryMb" and "freeDiskMb": a number, or {"error": the failed query's code}.
Measured MeasuredFact(const json& value, const std::string& path) {
  if (value.is_object()) {
    Fields fields(value, path);
    const json* error = fields.Take("error");
    fields.Finish();
    if (error == nullptr) Fail(path, "expected \"error\" with a system error code");
    return {std::nullopt, static_cast<std::uint32_t>(Unsigned(*error, path + ".error", 0xFFFFFFFFu))};
  }
  return {Unsigned(value, path, std::numeric_limits<std::uint64_t>::max()), 0};
}

Machine::CpuSpeed ProcessorFact(const json& value, const std::string& path) {
  if (value.is_object()) {
    Fields fields(value, path);
    const json* error = fields.Take("error");
    fields.Finish();
    const std::string kind = error == nullptr ? std::string() : String(*error, path + ".error");
    if (kind == "open") return {std::nullopt, true};
    if (kind == "read") return {std::nullopt, false};
    Fail(path + ".error", "expected \"open\" (the processor key does not open) or \"read\" (~MHz cannot be read)");
  }
  return {static_cast<std::uint32_t>(Unsigned(value, path, 0xFFFFFFFFu)), false};
}

// "HKLM\SOFTWARE\Vendor" or "HKEY_LOCAL_MACHINE\SOFTWARE\Vendor".
std::pair<RegistryRoot, std::string> SplitKey(const std::string& key, const std::string& path) {
  static const std::pair<const char*, RegistryRoot> kRoots[] = {
      {"hklm", RegistryRoot::LocalMachine},  {"hkey_local_machine", RegistryRoot::LocalMachine},
      {"hkcu", RegistryRoot::CurrentUser},   {"hkey_current_user", RegistryRoot::CurrentUser},
      {"hkcr", RegistryRoot::ClassesRoot},   {"hkey_classes_root", RegistryRoot::ClassesRoot},
      {"hku", RegistryRoot::Users},          {"hkey_users", RegistryRoot::Users},
      {"hkcc", RegistryRoot::CurrentConfig}, {"hkey_current_config", RegistryRoot::CurrentConfig},
  };
  const auto at = key.find('\\');
  const std::string rootName = Lower(key.substr(0, at));
  for (const auto& [name, root] : kRoots) {
    if (rootName != name) continue;
    if (at == std::string::npos || at + 1 == key.size()) Fail(path, "expected a key below the root");
    const std::string below = key.substr(at + 1);
    if (below.back() == '\\' || below.find("\\\\") != std::string::npos) Fail(path, "empty key name in the path");
    return {root, below};
  }
  Fail(path, "\"" + rootName + "\" is not a registry root (HKLM, HKCU, HKCR, HKU, HKCC or their long names)");
}

// The views a key is in, as Windows places it. A 32-bit Windows has one view, whatever
// the profile names. HKCU is one tree in both views (Windows 7 and later share
// HKCU\Software), so a WOW6432Node key there is just a key of that name. Otherwise an
// explicit "view" is taken; without one the key is written as 64-bit regedit shows
// it: HKLM\SOFTWARE\WOW6432Node is the 32-bit branch (the installer's default view),
// other HKLM\SOFTWARE keys are the 64-bit branch, and the rest is shared.
std::vector<RegistryView> ViewsOf(RegistryRoot root, std::string& below, const json* view, bool wow64,
                                  const std::string& path) {
  std::optional<std::vector<RegistryView>> named;
  if (view != nullptr) {
    const std::string name = String(*view, path);
    if (name == "default") named = {RegistryView::Default};
    if (name == "native64") named = {RegistryView::Native64};
    if (name == "both") named = {RegistryView::Default, RegistryView::Native64};
    if (!named) Fail(path, "expected \"default\", \"native64\" or \"both\"");
  }
  if (!wow64) return {RegistryView::Default};
  if (root == RegistryRoot::CurrentUser) return {RegistryView::Default, RegistryView::Native64};
  if (named) return *named;
  const std::string lower = Lower(below);
  const std::string node = "software\\wow6432node";
  if (root == RegistryRoot::LocalMachine && (lower == node || lower.compare(0, node.size() + 1, node + "\\") == 0)) {
    below.erase(std::string("software").size(), std::string("\\wow6432node").size());
    return {RegistryView::Default};
  }
  if (root == RegistryRoot::LocalMachine && (lower == "software" || lower.compare(0, 9, "software\\") == 0))
    return {RegistryView::Native64};
  return {RegistryView::Default, RegistryView::Native64};
}

bool IsHexBytes(const std::string& text) {
  if (text.size() % 2 != 0) return false;
  for (char c : text)
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
  return true;
}

// A value: "text" (REG_SZ), or one member naming its type: {"dword": 5}.
DescribedMachine::Value ValueOf(const json& value, const std::string& path) {
  if (value.is_string()) return {kRegSz, Utf8ToWide(value.get<std::string>()), 0};
  if (!value.is_object() || value.size() != 1)
    Fail(path, "expected a string or one of {\"sz\": text}, {\"expand_sz\": text}, {\"multi_sz\": [texts]}, "
               "{\"dword\": n}, {\"qword\": n}, {\"binary\": \"hex\"}, {\"none\": null}");
  const std::string type = value.begin().key();
  const json& data = value.begin().value();
  const std::string at = path + "." + type;
  if (type == "sz") return {kRegSz, Utf8ToWide(String(data, at)), 0};
  if (type == "expand_sz") return {kRegExpandSz, Utf8ToWide(String(data, at)), 0};
  if (type == "multi_sz") {
    Strings(data, at);
    return {kRegMultiSz, L"", 0};
  }
  if (type == "dword") return {kRegDword, L"", Unsigned(data, at, 0xFFFFFFFFu)};
  if (type == "qword") return {kRegQword, L"", Unsigned(data, at, std::numeric_limits<std::uint64_t>::max())};
  if (type == "binary") {
    if (!IsHexBytes(String(data, at))) Fail(at, "expected hexadecimal bytes such as \"01ff\"");
    return {kRegBinary, L"", 0};
  }
  if (type == "none") {
    if (!data.is_null()) WrongType(at, "null", data);
    return {kRegNone, L"", 0};
  }
  Fail(at, "unknown value type (sz, expand_sz, multi_sz, dword, qword, binary, none)");
}

void ReadRegistry(const json& list, bool wow64, DescribedMachine& machine) {
  if (!list.is_array()) WrongType("registry", "an array of keys", list);
  for (std::size_t i = 0; i < list.size(); ++i) {
    const std::string path = "registry[" + std::to_string(i) + "]";
    Fields fields(list[i], path);
    const json* key = fields.Take("key");
    const json* view = fields.Take("view");
    const json* values = fields.Take("values");
    const json* unreadable = fields.Take("unreadable");
    fields.Finish();
    if (key == nullptr) Fail(path + ".key", "missing");
    auto [root, below] = SplitKey(String(*key, path + ".key"), path + ".key");
    for (const RegistryView v : ViewsOf(root, below, view, wow64, path + ".view")) {
      const std::wstring wide = Utf8ToWide(below);
      machine.AddKey(root, v, wide);
      if (values != nullptr) {
        if (!values->is_object()) WrongType(path + ".values", "an object of values by name", *values);
        for (const auto& [name, value] : values->items())
          machine.SetValue(root, v, wide, Utf8ToWide(name), ValueOf(value, path + ".values." + name));
      }
      if (unreadable != nullptr && Bool(*unreadable, path + ".unreadable")) machine.BreakReads(root, v, wide);
    }
  }
}

void ReadAppPaths(const json& list, bool wow64, DescribedMachine& machine) {
  if (!list.is_array()) WrongType("appPaths", "an array of entries", list);
  for (std::size_t i = 0; i < list.size(); ++i) {
    const std::string path = "appPaths[" + std::to_string(i) + "]";
    Fields fields(list[i], path);
    const json* name = fields.Take("name");
    const json* target = fields.Take("path");
    const json* rootName = fields.Take("root");
    const json* view = fields.Take("view");
    const json* file = fields.Take("file");
    fields.Finish();
    if (name == nullptr) Fail(path + ".name", "missing");
    if (target == nullptr) Fail(path + ".path", "missing");
    RegistryRoot root = RegistryRoot::LocalMachine;
    if (rootName != nullptr) {
      const std::string text = Lower(String(*rootName, path + ".root"));
      if (text == "hkcu" || text == "hkey_current_user") {
        root = RegistryRoot::CurrentUser;
      } else if (text != "hklm" && text != "hkey_local_machine") {
        Fail(path + ".root", "expected \"HKLM\" or \"HKCU\"");
      }
    }
    const std::wstring program = Utf8ToWide(String(*target, path + ".path"));
    std::string keyBelow = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths";
    const std::wstring key = std::wstring(kAppPaths) + L"\\" + Utf8ToWide(String(*name, path + ".name"));
    for (const RegistryView v : ViewsOf(root, keyBelow, view, wow64, path + ".view"))
      machine.SetValue(root, v, key, L"", {kRegSz, program, 0});
    if (file == nullptr || Bool(*file, path + ".file")) machine.AddFile(program);
  }
}

// "major.minor" or "major.minor.build", each a number.
std::pair<int, int> ParseWindowsVersion(const std::string& text) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t dot; (dot = text.find('.', start)) != std::string::npos; start = dot + 1)
    parts.push_back(text.substr(start, dot - start));
  parts.push_back(text.substr(start));
  bool valid = parts.size() == 2 || parts.size() == 3;
  for (const auto& part : parts) valid = valid && AllDigits(part) && part.size() <= 5;
  if (!valid) Fail("windows", "expected \"major.minor\" or \"major.minor.build\", such as \"10.0.19045\"");
  return {std::stoi(parts[0]), std::stoi(parts[1])};
}

std::string Digits(const json& value, const std::string& path, std::size_t count, const char* format) {
  const std::string text = String(value, path);
  if (text.size() != count || !AllDigits(text)) Fail(path, std::string("expected ") + format);
  return text;
}

// "%Y%m%d" and "%Y%m%d%H%M%S" of a moment, in UTC.
std::string DateTimeText(std::int64_t seconds, bool withTime) {
  using namespace std::chrono;
  const sys_seconds moment{std::chrono::seconds(seconds)};
  const auto day = floor<days>(moment);
  const year_month_day date{day};
  const hh_mm_ss time{moment - day};
  char text[32] = {};
  std::snprintf(text, sizeof text, "%04d%02u%02u", static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                static_cast<unsigned>(date.day()));
  std::string out = text;
  if (withTime) {
    std::snprintf(text, sizeof text, "%02d%02d%02d", static_cast<int>(time.hours().count()),
                  static_cast<int>(time.minutes().count()), static_cast<int>(time.seconds().count()));
    out += text;
  }
  return out;
}

void ReadFolders(const json& value, ProfileSettings& settings) {
  Fields fields(value, "folders");
  const std::pair<const char*, KnownFolder> known[] = {{"localappdata", KnownFolder::LocalAppData},
                                                       {"commonappdata", KnownFolder::RoamingAppData},
                                                       {"programdata", KnownFolder::ProgramData},
                                                       {"commonpf32", KnownFolder::ProgramFilesX86}};
  for (const auto& [name, folder] : known)
    if (const json* path = fields.Take(name)) settings.knownFolders[folder] = Utf8ToWide(String(*path, fields.PathOf(name)));
  if (const json* path = fields.Take("commonpf64")) settings.programFiles64 = Utf8ToWide(String(*path, "folders.commonpf64"));
  fields.Finish();
}

void ReadInstaller(const json& value, ProfileSettings& settings) {
  Fields fields(value, "installer");
  if (const json* version = fields.Take("version")) settings.installerVersion = String(*version, "installer.version");
  if (const json* guid = fields.Take("machineGuid")) settings.machineGuid = String(*guid, "installer.machineGuid");
  if (const json* stamp = fields.Take("timestamp"))
    settings.timestamp = Digits(*stamp, "installer.timestamp", 14, "\"%Y%m%d%H%M%S\", such as \"20231114221320\"");
  fields.Finish();
}

}  // namespace

std::string MajorMinor(const std::string& windowsVersion) {
  const auto first = windowsVersion.find('.');
  if (first == std::string::npos) return windowsVersion;
  return windowsVersion.substr(0, windowsVersion.find('.', first + 1));
}

MachineProfile ReadMachineProfile(const json& profile) {
  MachineProfile result;
  Fields fields(profile, "");
  DescribedMachine& machine = result.machine;
  ProfileSettings& settings = result.settings;

  result.windowsVersion = "10.0.19045";
  if (const json* windows = fields.Take("windows")) result.windowsVersion = String(*windows, "windows");
  std::tie(machine.osMajor, machine.osMinor) = ParseWindowsVersion(result.windowsVersion);
  if (const json* wow64 = fields.Take("wow64")) machine.wow64 = Bool(*wow64, "wow64");
  settings.wow64 = machine.wow64;

  if (const json* memory = fields.Take("memoryMb")) machine.memoryMb = MeasuredFact(*memory, "memoryMb");
  if (const json* disk = fields.Take("freeDiskMb")) machine.freeDiskMb = MeasuredFact(*disk, "freeDiskMb");
  if (const json* cpu = fields.Take("processorMhz")) machine.processor = ProcessorFact(*cpu, "processorMhz");

  machine.nowSeconds = kDefaultNow;
  if (const json* now = fields.Take("now"))
    machine.nowSeconds = static_cast<std::int64_t>(Unsigned(*now, "now", 253402300799));  // up to year 9999
  machine.today = DateTimeText(machine.nowSeconds, false);
  if (const json* today = fields.Take("today")) machine.today = Digits(*today, "today", 8, "\"%Y%m%d\", such as \"20231114\"");
  if (const json* country = fields.Take("country")) result.country = String(*country, "country");

  if (const json* environment = fields.Take("environment")) {
    if (!environment->is_object()) WrongType("environment", "an object of texts by name", *environment);
    for (const auto& [name, value] : environment->items())
      machine.environment[LowerCase(Utf8ToWide(name))] = Utf8ToWide(String(value, "environment." + name));
  }
  if (const json* folder = fields.Take("currentFolder")) machine.currentFolder = Utf8ToWide(String(*folder, "currentFolder"));
  if (const json* files = fields.Take("files"))
    for (const auto& file : Strings(*files, "files")) machine.AddFile(Utf8ToWide(file));
  if (const json* processes = fields.Take("processes"))
    for (const auto& process : Strings(*processes, "processes")) machine.processes.push_back(Utf8ToWide(process));
  if (const json* registry = fields.Take("registry")) ReadRegistry(*registry, machine.wow64, machine);
  if (const json* apps = fields.Take("appPaths")) ReadAppPaths(*apps, machine.wow64, machine);

  settings.installerVersion = OSTRANE_VERSION_TEXT;  // this build's, unless the profile says otherwise
  settings.machineGuid = kDefaultMachineGuid;
  settings.timestamp = DateTimeText(machine.nowSeconds, true);
  settings.knownFolders = {{KnownFolder::LocalAppData, L"C:\\Users\\User\\AppData\\Local"},
                           {KnownFolder::RoamingAppData, L"C:\\Users\\User\\AppData\\Roaming"},
                           {KnownFolder::ProgramData, L"C:\\ProgramData"},
                           {KnownFolder::ProgramFilesX86, machine.wow64 ? L"C:\\Program Files (x86)" : L"C:\\Program Files"}};
  settings.programFiles64 = L"C:\\Program Files";
  if (const json* installer = fields.Take("installer")) ReadInstaller(*installer, settings);
  if (const json* folders = fields.Take("folders")) ReadFolders(*folders, settings);
  fields.Finish();
  return result;
}

std::wstring ProfileEnvironment::GetKnownFolder(KnownFolder folder, bool) {
  const auto it = settings_.knownFolders.find(folder);
  return it == settings_.knownFolders.end() ? std::wstring() : it->second;
}

std::optional<std::wstring> ProfileEnvironment::EnvironmentVariable(const std::wstring& name) {
  if (name == L"ProgramW6432" && settings_.wow64 && !settings_.programFiles64.empty()) return settings_.programFiles64;
  return std::nullopt;
}

std::optional<std::tm> ProfileEnvironment::LocalTimeNow() {
  const std::string& text = settings_.timestamp;
  if (text.size() != 14) return std::nullopt;
  const auto field = [&](std::size_t at, std::size_t length) { return std::stoi(text.substr(at, length)); };
  std::tm time{};
  time.tm_year = field(0, 4) - 1900;
  time.tm_mon = field(4, 2) - 1;
  time.tm_mday = field(6, 2);
  time.tm_hour = field(8, 2);
  time.tm_min = field(10, 2);
  time.tm_sec = field(12, 2);
  return time;
}

}  // namespace ostrane
