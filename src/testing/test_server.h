// The local HTTPS test server as the Windows tests see it: rules written to, and
// request records read from, its state folder through Wine's Z: drive.
#pragma once

#include <windows.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "testing/kit_paths.h"

namespace ostrane::testing {

inline constexpr wchar_t kServerUrl[] = L"https://localhost";

// The project's state folder (scripts/env.sh), as a Windows path: a Unix one through
// Wine's Z: drive, or the Windows folder the test kit's runner gives.
inline std::wstring StateFolder() {
  const std::wstring state = EnvironmentText(L"OSTRANE_STATE");
  return ZDrivePath(state.empty() ? L"/var/lib/ostrane" : state);
}

// A file of the server's state folder, as a Windows path.
inline std::wstring ServerStateFile(const std::wstring& name) { return StateFolder() + L"\\server\\" + name; }

// A file the server sends for "/f/<name>", as a Windows path.
inline std::wstring ServerFilesFile(const std::wstring& name) { return StateFolder() + L"\\docroot\\f\\" + name; }

// A file the server sends for one scope: under "/f/" by default, or at a path below
// its document root ("product\\QuillaraWebInstaller.exe").
class ServedFile {
 public:
  ServedFile(const std::wstring& name, const std::string& bytes) : ServedFile(L"f", name, bytes) {}
  ServedFile(const std::wstring& folder, const std::wstring& name, const std::string& bytes)
      : path_(StateFolder() + L"\\docroot\\" + folder + L"\\" + name) {
    ::CreateDirectoryW(path_.substr(0, path_.rfind(L'\\')).c_str(), nullptr);
    std::ofstream(path_.c_str(), std::ios::binary | std::ios::trunc) << bytes;
  }
  ~ServedFile() { ::DeleteFileW(path_.c_str()); }
  ServedFile(const ServedFile&) = delete;
  ServedFile& operator=(const ServedFile&) = delete;

 private:
  std::wstring path_;
};

// Rules in force for one scope; the server reads them again for every request.
class ServerRules {
 public:
  // Pass a json object: ServerRules rules(json{{"/path", {{"status", 500}}}});
  explicit ServerRules(nlohmann::json rules) { Write(std::move(rules)); }
  ~ServerRules() { Write(nlohmann::json::object()); }
  ServerRules(const ServerRules&) = delete;
  ServerRules& operator=(const ServerRules&) = delete;

 private:
  static void Write(nlohmann::json rules) {
    // The server resets its "times" counters only when the file's content changes.
    static int writes = 0;
    rules["/~write"] = {{"comment", std::to_string(::GetCurrentProcessId()) + "-" +
                                        std::to_string(::GetTickCount64()) + "-" + std::to_string(++writes)}};
    const std::wstring path = ServerStateFile(L"rules.json");
    const std::wstring temp = path + L".tmp";
    std::ofstream(temp.c_str(), std::ios::binary | std::ios::trunc) << rules.dump();
    ::MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);  // whole, never half written
  }
};

// The campaign document "/o" answers with when no rule says otherwise, for one
// scope; what was there before comes back afterwards.
class ServedCampaign {
 public:
  explicit ServedCampaign(const std::string& document) : path_(ServerStateFile(L"campaign.json")) {
    std::ifstream in(path_.c_str(), std::ios::binary);
    if (in) {
      had_ = true;
      previous_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    in.close();
    std::ofstream(path_.c_str(), std::ios::binary | std::ios::trunc) << document;
  }
  ~ServedCampaign() {
    if (had_) {
      std::ofstream(path_.c_str(), std::ios::binary | std::ios::trunc) << previous_;
    } else {
      ::DeleteFileW(path_.c_str());
    }
  }
  ServedCampaign(const ServedCampaign&) = delete;
  ServedCampaign& operator=(const ServedCampaign&) = delete;

 private:
  std::wstring path_;
  bool had_ = false;
  std::string previous_;
};

// The requests the server records from now on.
class ServerRecords {
 public:
  ServerRecords() : start_(ReadAll().size()) {}

  std::vector<nlohmann::json> New() const {
    auto all = ReadAll();
    return std::vector<nlohmann::json>(all.begin() + static_cast<std::ptrdiff_t>(std::min(start_, all.size())),
                                       all.end());
  }
  // "path" (with query) of each new request, in order.
  std::vector<std::string> NewPaths() const {
    std::vector<std::string> paths;
    for (const auto& record : New()) paths.push_back(record["path"]);
    return paths;
  }

 private:
  static std::vector<nlohmann::json> ReadAll() {
    std::vector<nlohmann::json> records;
    std::ifstream in(ServerStateFile(L"requests.jsonl").c_str(), std::ios::binary);
    for (std::string line; std::getline(in, line);)
      if (!line.empty()) records.push_back(nlohmann::json::parse(line));
    return records;
  }
  std::size_t start_;
};

}  // namespace ostrane::testing
