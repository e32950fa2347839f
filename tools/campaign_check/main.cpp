// campaign-check: see campaign_check.h and README.md ("Campaign check").
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "campaign_check.h"

#ifdef _WIN32
#include <windows.h>

#include "system/text_convert.h"
#include "settings/configuration_manager.h"

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(ostrane::WideToUtf8(argv[i]));
  // Package::SendEvent reads the analytics URL from the settings singleton, which
  // makes an empty work folder for the installer's downloads: it goes at the end.
  const std::wstring workFolder = ostrane::ConfigurationManager::Instance()->m_workFolder;
  int code = ostrane::campaign_check::kUnreadableInput;
  try {
    code = ostrane::campaign_check::RunCampaignCheck(args, std::cout, std::cerr);
  } catch (const std::exception& error) {
    std::cerr << "campaign-check: " << error.what() << "\n";
  }
  std::cout.flush();
  if (!workFolder.empty()) ::RemoveDirectoryW(workFolder.c_str());
  return code;
}
#else
int main(int argc, char** argv) {
  return ostrane::campaign_check::RunCampaignCheck(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
#endif
