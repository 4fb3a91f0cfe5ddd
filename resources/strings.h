// The module's string table (English and Japanese) and the ids the code uses.
#pragma once

#include <cstdint>
#include <string>

#include "platform/resources/resources.h"

namespace ss {

enum ModuleStringId : std::uint32_t {
  kStrPresetExists = 150,            // "A preset "%s" already exists..."
  kStrSavePresetAsCaption = 151,
  kStrConfirmPresetDelete = 152,
  kStrConfirmPresetDeleteCaption = 153,
  kStrMenuBackupSetting = 278,
  kStrMenuRestoreSetting = 279,
  kStrBackupSettingCaption = 280,
  kStrRestoreSettingCaption = 281,
  kStrRestoreQuestion = 283,
  kStrBackupCompleted = 285,
  kStrRestoreCompleted = 287,
  kStrBackupFailed = 288,
  kStrRestoreFailed = 289,
  kStrBackupFilter = 290,
  kStrBackupDefaultExt = 291,
  kStrBackupDefaultName = 292,
  kStrImageMemoryCaption = 313,
  kStrImageMemoryText = 314,
  kStrErrorCaption = 315,
  kStrErrorText = 316,
  kStrRegistryOpenFailed = 321,      // Japanese only
  kStrRegistryCaption = 332,         // Japanese only
  // The system's error table, by error number (Japanese only).
  kStrErrOpenRegistryKey = 2201,
  kStrErrCreateRegistryKey = 2202,
  kStrErrGetRegistryValue = 2204,
};

const StringTable& ModuleStrings();

// A text of the module's table in the user's language and the process code page.
std::string LoadModuleString(std::uint32_t id);
// The same, used as a printf format with the given arguments.
std::string FormatModuleString(std::uint32_t id, ...);

}  // namespace ss
