// The administrative commands: config, preset, backup, restore, register,
// unregister.
#pragma once

#include <string>
#include <vector>

namespace ss::host {

int RunConfigCommand(const std::vector<std::string>& args);
int RunPresetCommand(const std::vector<std::string>& args);
int RunBackupCommand(const std::vector<std::string>& args);
int RunRestoreCommand(const std::vector<std::string>& args);
int RunRegisterCommand(const std::vector<std::string>& args);
int RunUnregisterCommand(const std::vector<std::string>& args);
int RunCaptureCommand(const std::vector<std::string>& args);

}  // namespace ss::host
