// Small helpers for the settings tests: raw registry access under the
// settings root.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/registry/registry.h"
#include "settings/settings_group.h"

namespace ss::test {

inline std::string SettingsPath(const std::string& sub) {
  return sub.empty() ? std::string(kSettingsRootPath) : std::string(kSettingsRootPath) + "\\" + sub;
}

inline void SetRaw(const std::string& sub, const char* name, DWORD type, const std::string& bytes) {
  HKEY k = 0;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, SettingsPath(sub).c_str(), KEY_ALL_ACCESS, &k, nullptr), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(k, name, type, reinterpret_cast<const BYTE*>(bytes.data()), DWORD(bytes.size())),
            ERROR_SUCCESS);
  RegCloseKey(k);
}

inline std::string Dword(std::uint32_t v) {
  return std::string{char(v & 0xFF), char((v >> 8) & 0xFF), char((v >> 16) & 0xFF), char(v >> 24)};
}

inline void SetDword(const std::string& sub, const char* name, std::uint32_t v) { SetRaw(sub, name, REG_DWORD, Dword(v)); }
inline void SetText(const std::string& sub, const char* name, const std::string& t) { SetRaw(sub, name, REG_SZ, t); }

// The raw bytes and type of a stored value; false when it is absent.
inline bool GetRaw(const std::string& sub, const char* name, std::string& bytes, DWORD* typeOut = nullptr) {
  HKEY k = 0;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, SettingsPath(sub).c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
  DWORD type = 0, size = 0;
  bool ok = RegQueryValueExA(k, name, &type, nullptr, &size) == ERROR_SUCCESS;
  if (ok) {
    std::vector<BYTE> buf(size + 1);
    ok = RegQueryValueExA(k, name, &type, buf.data(), &size) == ERROR_SUCCESS;
    bytes.assign(reinterpret_cast<const char*>(buf.data()), size);
  }
  if (typeOut) *typeOut = type;
  RegCloseKey(k);
  return ok;
}

inline bool KeyExists(const std::string& sub) {
  HKEY k = 0;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, SettingsPath(sub).c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
  RegCloseKey(k);
  return true;
}

}  // namespace ss::test
