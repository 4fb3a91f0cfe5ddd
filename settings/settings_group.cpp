#include "settings/settings_group.h"

#include <cstdio>
#include <vector>

#include "platform/ui/ui.h"
#include "resources/strings.h"

namespace ss {

SettingsGroup::SettingsGroup(std::string keyName) : keyName_(std::move(keyName)) {}

SettingsGroup::~SettingsGroup() { CloseGroupKey(); }

std::string SettingsGroup::FullKeyPath() const {
  std::string path = kSettingsRootPath;
  if (!scopePath_.empty()) path += "\\" + scopePath_;
  if (!keyName_.empty()) path += "\\" + keyName_;
  return path;
}

HKEY SettingsGroup::OpenGroupKey() {
  if (key_) return key_;
  if (openFailed_) return 0;
  HKEY k = 0;
  LONG err = RegCreateKeyExA(HKEY_CURRENT_USER, FullKeyPath().c_str(),
                             KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY, &k, nullptr);
  if (err != ERROR_SUCCESS) {
    // One box per scope: every later read of this group yields its default and
    // every write fails without asking again.
    openFailed_ = true;
    std::string text = FormatModuleString(kStrRegistryOpenFailed, FullKeyPath().c_str());
    std::string detail = RegLastErrorText();
    if (!detail.empty()) text += "\n" + detail;
    MessageBoxA(0, text.c_str(), LoadModuleString(kStrRegistryCaption).c_str(), MB_OK);
    return 0;
  }
  key_ = k;
  return key_;
}

void SettingsGroup::CloseGroupKey() {
  if (key_) {
    RegCloseKey(key_);
    key_ = 0;
  }
}

void SettingsGroup::SetScope(const std::string& scopePath) {
  scopePath_ = scopePath;
  CloseGroupKey();
  openFailed_ = false;
  OnScopeSet();
}

LONG SettingsGroup::OpenSubkey(const char* subkey, bool write, HKEY* out) {
  HKEY group = OpenGroupKey();
  if (!group) return ERROR_INVALID_HANDLE;
  if (write) return RegCreateKeyExA(group, subkey ? subkey : "", KEY_WRITE, out, nullptr);
  return RegOpenKeyExA(group, subkey ? subkey : "", 0, KEY_READ, out);
}

std::string SettingsGroup::ReadString(const char* subkey, const char* name, const std::string& def) {
  HKEY k = 0;
  if (OpenSubkey(subkey, false, &k) != ERROR_SUCCESS) return def;
  std::string result = def;
  DWORD type = 0, size = 0;
  if (RegQueryValueExA(k, name, &type, nullptr, &size) == ERROR_SUCCESS && size > 0) {
    std::vector<BYTE> data(size);
    if (RegQueryValueExA(k, name, &type, data.data(), &size) == ERROR_SUCCESS && size > 0) {
      std::string text(reinterpret_cast<const char*>(data.data()), size);
      // With or without a terminating NUL: the text ends at the first NUL.
      std::size_t nul = text.find('\0');
      if (nul != std::string::npos) text.resize(nul);
      result = text;
    }
  }
  RegCloseKey(k);
  return result;
}

std::int32_t SettingsGroup::ReadDword(const char* subkey, const char* name, std::int32_t def) {
  HKEY k = 0;
  if (OpenSubkey(subkey, false, &k) != ERROR_SUCCESS) return def;
  std::int32_t result = def;
  BYTE data[8] = {};
  DWORD type = 0, size = sizeof data;
  if (RegQueryValueExA(k, name, &type, data, &size) == ERROR_SUCCESS && size == 4)
    result = static_cast<std::int32_t>(data[0] | (data[1] << 8) | (data[2] << 16) |
                                       (static_cast<std::uint32_t>(data[3]) << 24));
  RegCloseKey(k);
  return result;
}

HRESULT SettingsGroup::WriteString(const char* subkey, const char* name, const std::string& text) {
  if (!OpenGroupKey()) return kGroupKeyUnavailable;
  HKEY k = 0;
  if (OpenSubkey(subkey, true, &k) != ERROR_SUCCESS) return E_FAIL;
  LONG err = RegSetValueExA(k, name, REG_SZ, reinterpret_cast<const BYTE*>(text.data()),
                            static_cast<DWORD>(text.size()));
  RegCloseKey(k);
  return err == ERROR_SUCCESS ? S_OK : E_FAIL;
}

HRESULT SettingsGroup::WriteDword(const char* subkey, const char* name, std::int32_t value) {
  if (!OpenGroupKey()) return kGroupKeyUnavailable;
  HKEY k = 0;
  if (OpenSubkey(subkey, true, &k) != ERROR_SUCCESS) return E_FAIL;
  std::uint32_t v = static_cast<std::uint32_t>(value);
  BYTE data[4] = {BYTE(v), BYTE(v >> 8), BYTE(v >> 16), BYTE(v >> 24)};
  LONG err = RegSetValueExA(k, name, REG_DWORD, data, 4);
  RegCloseKey(k);
  return err == ERROR_SUCCESS ? S_OK : E_FAIL;
}

}  // namespace ss
