// Backup and restore of the whole settings tree (presets included) as an XML
// document that mirrors the registry: key / values / value / subkeys.
#pragma once

#include <string>

#include "platform/base/result.h"

namespace ss {

// The name of the settings root key: the document element's `name`.
inline constexpr char kSettingsRootKeyName[] = "Quillmere";

// Writes the tree to `path` (UTF-8). The file is written whole or not at all.
HRESULT BackupSettings(const std::string& path);

// Replaces the tree with the file's contents in one transaction: a file that
// cannot be read, is not well formed, or whose document element is not the
// settings root key changes nothing, and so does a failure half-way.
HRESULT RestoreSettings(const std::string& path);

// The two system-menu commands without their file dialogs: run the
// operation and show its completion or failure text. RestoreSettingsCommand
// asks its question first (a positive result when the user says No).
HRESULT BackupSettingsCommand(const std::string& path);
HRESULT RestoreSettingsCommand(const std::string& path);

}  // namespace ss
