// The module's string table (English and Japanese) and the ids the code uses.
#pragma once

#include <cstdint>
#include <string>

#include "platform/resources/resources.h"

namespace ss {

enum ModuleStringId : std::uint32_t {
  kStrRuleFileWithoutExt = 109,      // "HTML File Name (Without Extension)"
  kStrRuleFileWithExt = 110,         // "HTML File Name (With Extension)"
  kStrRuleTitle = 111,               // "HTML Title"
  kStrOverwriteQuestion = 112,       // "%s already exists..."
  kStrSaveAsCaption = 113,
  kStrRuleNumbered2 = 117,
  kStrRuleNumbered3 = 118,
  kStrPresetExists = 150,            // "A preset "%s" already exists..."
  kStrSavePresetAsCaption = 151,
  kStrConfirmPresetDelete = 152,
  kStrConfirmPresetDeleteCaption = 153,
  kStrLogFileName = 199,             // "/Scrollsnap.log"
  kStrLogDatePicture = 200,
  kStrLogTimePicture = 201,
  kStrLogSizeCaption = 216,
  kStrLogSizeAlert = 217,            // "... %ld MB ..."
  kStrRuleFixed = 218,               // "Fixed(%s)"
  kStrDefaultFixedFileName = 219,
  kStrTagPath = 223,
  kStrTagDir = 224,
  kStrTagBody = 225,
  kStrTagExt = 226,
  kStrTagFile = 227,
  kStrQuotedPathArgument = 231,      // " \"%s\""
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
  kStrRuleUniqueTime = 293,
  kStrFormatBmp = 106,
  kStrFormatJpeg = 107,
  kStrFormatPng = 108,
  kStrFilterBmp = 114,
  kStrFilterJpeg = 115,
  kStrFilterPng = 116,
  kStrFormatTiff = 147,
  kStrFilterTiff = 148,
  kStrTiffNoCompression = 149,
  kStrLargeCaptureQuestion = 157,    // "... (%0.2fMB) ..."
  kStrTiffPackBits = 158,
  kStrLargeCaptureCaption = 159,
  kStrCapturedMark = 300,            // " - [Captured]"
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
