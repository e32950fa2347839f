#include "app/setup_log_start.h"

#include <windows.h>

#include <shellapi.h>

#include <vector>

#include "log/setup_log.h"
#include "settings/configuration_manager.h"
#include "settings/setup_log_path.h"
#include "system/system_facts.h"
#include "system/text_convert.h"

namespace ostrane {
namespace {

std::vector<std::wstring> CommandLineArguments() {
  std::vector<std::wstring> arguments;
  int count = 0;
  LPWSTR* list = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (list == nullptr) return arguments;
  for (int i = 1; i < count; ++i) arguments.emplace_back(list[i]);
  ::LocalFree(list);
  return arguments;
}

int ScreenDpi() {
  HDC screen = ::GetDC(nullptr);
  const int dpi = screen ? ::GetDeviceCaps(screen, LOGPIXELSY) : 0;
  if (screen) ::ReleaseDC(nullptr, screen);
  return dpi;
}

}  // namespace

void LogStartUp() {
  const auto settings = ConfigurationManager::Instance();
  log::LogLine("start", "installer version " + WideToUtf8(settings->m_fileVersion) + ", wizard type " +
                            CompiledBuildOptions().wizardTypeName + (settings->m_qlFlavour ? ", splash flavour" : "") +
                            (settings->m_classicMode ? ", classic mode" : ""));
  log::LogLine("start", "Windows " + OsVersionText() + (IsWow64() ? " (64-bit, installer in 32-bit mode)" : " (32-bit)") +
                            ", screen " + std::to_string(ScreenDpi()) + " dpi");
  log::LogLine("start", "command line: " + WideToUtf8(::GetCommandLineW()));
}

void OpenSetupLog(ConfigurationManager& settings) {
  wchar_t temp[MAX_PATH + 1] = {};
  ::GetTempPathW(MAX_PATH + 1, temp);
  // Named after a reading of its own: the run's timestamp is first taken by the run's
  // first request, and a user may wait on the first page for a long time before it.
  const SetupLogPlace place =
      SetupLogPlaceFrom(CommandLineArguments(), temp, settings.m_productId, settings.LocalTimeText());
  log::TheSetupLog().Attach(log::CreateLogFile(place.path));
  if (!place.refused.empty())
    log::LogLine("log", "the /log path \"" + WideToUtf8(place.refused) + "\" is no file; the log is written here instead");
  log::LogLine("log", "this log: " + WideToUtf8(place.path));
}

void DiscardSetupLog() { log::TheSetupLog().Discard(); }

void LogSettings(const ConfigurationManager& settings) {
  log::LogLine("settings", "language " + WideToUtf8(settings.m_languageName) + " (" + WideToUtf8(settings.m_languageCode) + ")");
  log::LogLine("settings", "campaign server " + WideToUtf8(settings.m_configUrl) + ", analytics " +
                               WideToUtf8(settings.m_analyticsUrl) + ", files " + WideToUtf8(settings.m_fileBaseUrl));
  log::LogLine("settings", "product download " + WideToUtf8(settings.m_downloadUrl) + ", silent arguments \"" +
                               WideToUtf8(settings.m_silentArgs) + "\"");
  log::LogLine("settings", "work folder " + WideToUtf8(settings.m_workFolder) + ", download folder " +
                               WideToUtf8(settings.m_downloadFolder));
}

}  // namespace ostrane
