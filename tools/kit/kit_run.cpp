// Runs the Windows test programs of the test kit one after another, each with a time
// limit, and says how each ended: "PASS name", "FAIL name (...)" with the end of its
// output, then "N passed, N failed". Its exit code is the number of failures.
//
//   kit_run.exe <kit folder> [--interactive]
//
// The kit's tests.txt has one program per line, fields separated by tabs:
//   name  time limit in seconds  command line  environment (NAME=value|...)
//   flags (interactive: needs a person at the screen; windows: runs on Windows only,
//   since under Wine it needs what only the Unix side can give, which CTest does)
// "%KIT%" stands for the kit's folder; programs start in its files folder.
// Lines starting with # are comments. Ctrl+C ends the running program and the run;
// the summary still comes, so that the runner can clean up after it.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "testing/wine_check.h"

namespace {

struct Program {
  std::string name;
  DWORD limitSeconds = 300;
  std::wstring commandLine;
  std::vector<std::wstring> environment;  // NAME=value
  bool interactive = false;
  bool windowsOnly = false;
};



std::atomic<HANDLE> g_running{nullptr};
std::atomic<bool> g_interrupted{false};

BOOL WINAPI OnControl(DWORD) {
  g_interrupted = true;
  if (HANDLE process = g_running.load()) ::TerminateProcess(process, 0xC000013A);
  return TRUE;  // this process goes on to say how the run ended
}

std::wstring Wide(const std::string& text) {
  if (text.empty()) return {};
  const int length = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), length);
  return out;
}

std::vector<std::string> Split(const std::string& line, char separator) {
  std::vector<std::string> fields;
  std::string field;
  std::istringstream in(line);
  while (std::getline(in, field, separator)) fields.push_back(field);
  return fields;
}

// "%KIT%" in the list stands for the kit's folder.
std::wstring WithKit(std::wstring text, const std::wstring& kit) {
  for (std::size_t at; (at = text.find(L"%KIT%")) != std::wstring::npos;) text.replace(at, 5, kit);
  return text;
}

std::vector<Program> ReadList(const std::wstring& kit) {
  std::vector<Program> programs;
  std::ifstream in((kit + L"\\tests.txt").c_str());
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    const auto fields = Split(line, '\t');
    if (fields.size() < 3) continue;
    Program program;
    program.name = fields[0];
    program.limitSeconds = static_cast<DWORD>(std::stoul(fields[1]));
    program.commandLine = WithKit(Wide(fields[2]), kit);
    if (fields.size() > 3)
      for (const auto& entry : Split(fields[3], '|'))
        if (!entry.empty()) program.environment.push_back(WithKit(Wide(entry), kit));
    program.interactive = fields.size() > 4 && fields[4].find("interactive") != std::string::npos;
    program.windowsOnly = fields.size() > 4 && fields[4].find("windows") != std::string::npos;
    programs.push_back(std::move(program));
  }
  return programs;
}

// This process's environment with the program's own entries added (or replacing).
std::vector<wchar_t> EnvironmentBlock(const std::vector<std::wstring>& extra) {
  std::vector<std::wstring> entries;
  wchar_t* current = ::GetEnvironmentStringsW();
  for (const wchar_t* entry = current; entry && *entry; entry += wcslen(entry) + 1) entries.emplace_back(entry);
  if (current) ::FreeEnvironmentStringsW(current);
  for (const auto& added : extra) {
    const std::wstring name = added.substr(0, added.find(L'=') + 1);
    for (auto it = entries.begin(); it != entries.end();)
      it = _wcsnicmp(it->c_str(), name.c_str(), name.size()) == 0 ? entries.erase(it) : it + 1;
    entries.push_back(added);
  }
  std::vector<wchar_t> block;
  for (const auto& entry : entries) block.insert(block.end(), entry.c_str(), entry.c_str() + entry.size() + 1);
  block.push_back(L'\0');
  return block;
}

std::string LastLines(const std::wstring& path, std::size_t count) {
  std::ifstream in(path.c_str(), std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  std::string out;
  for (std::size_t i = lines.size() > count ? lines.size() - count : 0; i < lines.size(); ++i) out += "    " + lines[i] + "\n";
  return out;
}

// The program's exit code, or a text for how it did not end by itself.
std::string Run(const Program& program, const std::wstring& kit, DWORD& exitCode) {
  const std::wstring logPath = kit + L"\\logs\\" + Wide(program.name) + L".log";
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE log = ::CreateFileW(logPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = log;
  startup.hStdError = log;
  std::wstring commandLine = program.commandLine;
  std::vector<wchar_t> environment = EnvironmentBlock(program.environment);
  PROCESS_INFORMATION process{};
  const std::wstring folder = kit + L"\\files";
  const BOOL started = ::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT,
                                        environment.data(), folder.c_str(), &startup, &process);
  ::CloseHandle(log);
  if (!started) return "could not start, error " + std::to_string(::GetLastError());
  ::CloseHandle(process.hThread);
  g_running = process.hProcess;
  const DWORD waited = ::WaitForSingleObject(process.hProcess, program.limitSeconds * 1000);
  std::string failure;
  if (waited == WAIT_TIMEOUT) {
    ::TerminateProcess(process.hProcess, 0xFFFFFFFF);
    ::WaitForSingleObject(process.hProcess, 10000);
    failure = "over its limit of " + std::to_string(program.limitSeconds) + " s";
  }
  g_running = nullptr;
  ::GetExitCodeProcess(process.hProcess, &exitCode);
  ::CloseHandle(process.hProcess);
  if (g_interrupted) failure = "interrupted";
  return failure;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: kit_run.exe <kit folder> [--interactive]\n");
    return 255;
  }
  const std::wstring kit = argv[1];
  bool interactive = false;
  for (int i = 2; i < argc; ++i) interactive = interactive || std::wstring(argv[i]) == L"--interactive";
  ::SetConsoleCtrlHandler(OnControl, TRUE);
  ::CreateDirectoryW((kit + L"\\logs").c_str(), nullptr);

  const auto programs = ReadList(kit);
  if (programs.empty()) {
    std::printf("no test programs in %ls\\tests.txt\n", kit.c_str());
    return 255;
  }
  int passed = 0, failed = 0, skipped = 0;
  const bool wine = ostrane::testing::RunningUnderWine();
  for (const Program& program : programs) {
    if (g_interrupted) break;
    if (program.windowsOnly && wine) {
      std::printf("SKIP %s (Windows only here: under Wine CTest runs it)\n", program.name.c_str());
      ++skipped;
      continue;
    }
    if (program.interactive && !interactive) {
      std::printf("SKIP %s (needs a person at the screen: run with --interactive)\n", program.name.c_str());
      ++skipped;
      continue;
    }
    const auto start = std::chrono::steady_clock::now();
    DWORD exitCode = 0;
    const std::string failure = Run(program, kit, exitCode);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (failure.empty() && exitCode == 0) {
      std::printf("PASS %s (%.1f s)\n", program.name.c_str(), seconds);
      ++passed;
    } else {
      std::printf("FAIL %s (%s, %.1f s); the end of logs\\%s.log:\n%s", program.name.c_str(),
                  failure.empty() ? ("exit code " + std::to_string(exitCode)).c_str() : failure.c_str(), seconds,
                  program.name.c_str(), LastLines(kit + L"\\logs\\" + Wide(program.name) + L".log", 30).c_str());
      ++failed;
    }
    std::fflush(stdout);
  }
  if (g_interrupted) std::printf("interrupted: the programs after it did not run\n");
  if (skipped > 0) std::printf("%d skipped\n", skipped);
  std::printf("%d passed, %d failed\n", passed, failed);
  return g_interrupted ? 254 : failed;
}
