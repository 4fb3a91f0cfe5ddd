#include "host/admin_commands.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "host/host_options.h"
#include "platform/codepage/codepage.h"
#include "platform/registry/registry.h"
#include "settings/backup.h"
#include "settings/presets.h"
#include "settings/settings.h"

namespace ss::host {
namespace {

std::string ValueText(Settings& s, const SettingDescriptor& d) {
  void* field = d.field(s.ValuesOf(d.group));
  if (d.kind == ValueKind::Dword) return std::to_string(*static_cast<std::int32_t*>(field));
  return *static_cast<std::string*>(field);
}

// Decimal with an optional sign, or 0x hexadecimal; anything that fits in 32
// bits (signed or unsigned) is taken as its 32-bit pattern.
bool ParseNumber(const std::string& text, std::int32_t& out) {
  if (text.empty()) return false;
  const char* p = text.c_str();
  char* end = nullptr;
  errno = 0;
  long long v;
  if ((text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))) {
    if (text.find_first_not_of("0123456789abcdefABCDEF", 2) != std::string::npos) return false;
    v = std::strtoll(p + 2, &end, 16);
  } else {
    v = std::strtoll(p, &end, 10);
  }
  if (errno || *end != '\0' || end == p) return false;
  if (v < std::numeric_limits<std::int32_t>::min() || v > static_cast<long long>(UINT32_MAX)) return false;
  out = static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
  return true;
}

const SettingDescriptor* ConfigSetting(const std::string& key) {
  const SettingDescriptor* d = FindSetting(key);
  return (d && d->scope != GroupScope::Standalone) ? d : nullptr;
}

int UnknownKey(const std::string& key) {
  PrintError("scrollsnap: unknown settings key \"" + key + "\" (see 'scrollsnap config list')");
  return kExitUsage;
}

// The settings store must be readable before a command reads or changes it:
// a damaged or unreadable database is one clear error, not a list of
// defaults that looks like the user's settings.
bool SettingsStoreReadable() {
  HKEY k = 0;
  LONG err = RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &k);
  if (err == ERROR_SUCCESS) RegCloseKey(k);
  if (err == ERROR_SUCCESS || err == ERROR_FILE_NOT_FOUND) return true;
  std::string why = RegLastErrorText();
  PrintError("scrollsnap: the settings store cannot be used" + (why.empty() ? std::string() : ": " + why) +
             "\n(move the file away to start again from the defaults; a backup can then be restored)");
  return false;
}

bool ParseSlot(const std::string& text, int& slot) {
  std::int32_t v;
  if (!ParseNumber(text, v) || v < 1 || v > kMaxPresetSlot) return false;
  slot = v;
  return true;
}

}  // namespace

int RunConfigCommand(const std::vector<std::string>& args) {
  if (args.empty()) {
    PrintError("usage: scrollsnap config list | get KEY | set KEY VALUE");
    return kExitUsage;
  }
  if (!SettingsStoreReadable()) return kExitError;
  Settings settings;
  const std::string& verb = args[0];
  if (verb == "list" && args.size() == 1) {
    settings.Load("");
    for (const SettingDescriptor& d : SettingsTable())
      if (d.scope != GroupScope::Standalone) PrintLine(SettingKey(d) + " = " + ValueText(settings, d));
    return kExitDone;
  }
  if (verb == "get" && args.size() == 2) {
    const SettingDescriptor* d = ConfigSetting(args[1]);
    if (!d) return UnknownKey(args[1]);
    settings.Load("");
    PrintLine(ValueText(settings, *d));
    return kExitDone;
  }
  if (verb == "set" && args.size() == 3) {
    const SettingDescriptor* d = ConfigSetting(args[1]);
    if (!d) return UnknownKey(args[1]);
    std::int32_t number = 0;
    if (d->kind == ValueKind::Dword && !ParseNumber(args[2], number)) {
      PrintError("scrollsnap: " + args[1] + " takes a number (decimal, or hexadecimal with 0x), not \"" + args[2] +
                 "\"");
      return kExitUsage;
    }
    settings.Load("");
    void* field = d->field(settings.ValuesOf(d->group));
    if (d->kind == ValueKind::Dword) *static_cast<std::int32_t*>(field) = number;
    else *static_cast<std::string*>(field) = Utf8ToAnsi(args[2]);
    HRESULT hr = settings.Save("");
    if (Failed(hr)) {
      char buf[64];
      std::snprintf(buf, sizeof buf, "0x%08x", static_cast<unsigned>(hr));
      PrintError("scrollsnap: could not save the settings (error " + std::string(buf) + ")");
      return kExitError;
    }
    return kExitDone;
  }
  PrintError("usage: scrollsnap config list | get KEY | set KEY VALUE");
  return kExitUsage;
}

int RunPresetCommand(const std::vector<std::string>& args) {
  const char* usage = "usage: scrollsnap preset list | save NAME | load N | delete N   (N: 1 to 10)";
  if (args.empty()) {
    PrintError(usage);
    return kExitUsage;
  }
  if (!SettingsStoreReadable()) return kExitError;
  const std::string& verb = args[0];
  if (verb == "list" && args.size() == 1) {
    for (const auto& [slot, name] : EnumeratePresets()) PrintLine(PresetDisplayText(slot, name));
    return kExitDone;
  }
  if (verb == "save" && args.size() == 2) {
    std::string name = Utf8ToAnsi(args[1]).substr(0, kMaxPresetNameLength);
    if (name.empty()) {
      PrintError("scrollsnap: a preset needs a name");
      return kExitUsage;
    }
    Settings settings;
    settings.Load("");
    int slot = 0;
    HRESULT hr = SavePresetAs(settings, name, slot);
    if (hr == kNoFreePresetSlot) {
      PrintError("scrollsnap: all ten preset slots are taken; delete one first ('scrollsnap preset delete N')");
      return kExitError;
    }
    if (Failed(hr)) {
      char buf[64];
      std::snprintf(buf, sizeof buf, "0x%08x", static_cast<unsigned>(hr));
      PrintError("scrollsnap: the preset could not be saved (error " + std::string(buf) + ")");
      return kExitError;
    }
    PrintLine(PresetDisplayText(slot, name));
    return kExitDone;
  }
  if ((verb == "load" || verb == "delete") && args.size() == 2) {
    int slot = 0;
    if (!ParseSlot(args[1], slot)) {
      PrintError("scrollsnap: a preset slot is a number from 1 to 10, not \"" + args[1] + "\"");
      return kExitUsage;
    }
    if (verb == "delete") {
      DeletePreset(slot);
      return kExitDone;
    }
    Settings settings;
    settings.Load("");
    std::string name;
    HRESULT hr = LoadPreset(settings, slot, name);
    if (hr == kPresetNotFound) {
      PrintError("scrollsnap: there is no preset " + std::to_string(slot) + " (see 'scrollsnap preset list')");
      return kExitError;
    }
    if (Succeeded(hr)) hr = settings.Save("");
    if (Failed(hr)) {
      PrintError("scrollsnap: the preset could not be loaded");
      return kExitError;
    }
    return kExitDone;
  }
  PrintError(usage);
  return kExitUsage;
}

int RunBackupCommand(const std::vector<std::string>& args) {
  if (args.size() != 1) {
    PrintError("usage: scrollsnap backup FILE");
    return kExitUsage;
  }
  if (!SettingsStoreReadable()) return kExitError;
  return ExitStatusOf(BackupSettingsCommand(args[0]));
}

int RunRestoreCommand(const std::vector<std::string>& args) {
  if (args.size() != 1) {
    PrintError("usage: scrollsnap restore FILE");
    return kExitUsage;
  }
  return ExitStatusOf(RestoreSettingsCommand(args[0]));
}

}  // namespace ss::host
