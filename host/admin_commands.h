// The administrative commands: config, preset, backup, restore.
#pragma once

#include <string>
#include <vector>

namespace ss::host {

int RunConfigCommand(const std::vector<std::string>& args);
int RunPresetCommand(const std::vector<std::string>& args);
int RunBackupCommand(const std::vector<std::string>& args);
int RunRestoreCommand(const std::vector<std::string>& args);

}  // namespace ss::host
