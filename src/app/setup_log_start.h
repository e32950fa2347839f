// The setup log's first lines and its file: what the program is and where it runs,
// then, once this run is known to go on, where the log goes and the settings.
#pragma once

namespace ostrane {

class ConfigurationManager;

// The installer, the machine and the command line; before the file exists.
void LogStartUp();
// Gives the log its file, or drops it (a run that does not go on keeps no log).
void OpenSetupLog(ConfigurationManager& settings);
void DiscardSetupLog();
// The settings the run goes with, its language and its folders.
void LogSettings(const ConfigurationManager& settings);

}  // namespace ostrane
