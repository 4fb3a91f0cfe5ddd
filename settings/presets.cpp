#include "settings/presets.h"

#include <cstdio>
#include <cstring>

namespace ss {
namespace {

const std::string kPresetsPath = std::string(kSettingsRootPath) + "\\Presets";

// A subkey name that is a positive decimal number, as its value; else 0.
int SlotOfName(const char* name) {
  if (!*name) return 0;
  long v = 0;
  for (const char* p = name; *p; ++p) {
    if (*p < '0' || *p > '9') return 0;
    v = v * 10 + (*p - '0');
    if (v > 1000000) return 0;
  }
  return static_cast<int>(v);
}

std::string ScopeOfSlot(int slot) { return "Presets\\" + std::to_string(slot); }

// A group that names the key of one preset (its unnamed value is the name).
class PresetKey : public SettingsGroup {
 public:
  explicit PresetKey(int slot) : SettingsGroup("") { SetScope(ScopeOfSlot(slot)); }
  HRESULT Load(const std::string&) override { return S_OK; }
  HRESULT Save(const std::string&) override { return S_OK; }
};

}  // namespace

PresetList EnumeratePresets() {
  PresetList list;
  HKEY presets = 0;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kPresetsPath.c_str(), 0, KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY,
                    &presets) != ERROR_SUCCESS)
    return list;
  for (DWORD i = 0;; ++i) {
    char name[32];
    DWORD nameSize = sizeof name;
    LONG err = RegEnumKeyExA(presets, i, name, &nameSize);
    if (err == ERROR_NO_MORE_ITEMS) break;
    if (err != ERROR_SUCCESS) {
      if (err == ERROR_MORE_DATA) continue;  // a name too long for a slot number
      break;
    }
    int slot = SlotOfName(name);
    if (slot <= 0) continue;
    HKEY sub = 0;
    if (RegOpenKeyExA(presets, name, 0, KEY_READ, &sub) != ERROR_SUCCESS) continue;
    char buf[64];
    DWORD type = 0, size = sizeof buf;
    if (RegQueryValueExA(sub, "", &type, reinterpret_cast<BYTE*>(buf), &size) == ERROR_SUCCESS) {
      std::string presetName(buf, size);
      std::size_t nul = presetName.find('\0');
      if (nul != std::string::npos) presetName.resize(nul);
      list[slot] = presetName;
    }
    RegCloseKey(sub);
  }
  RegCloseKey(presets);
  return list;
}

bool PresetNameExists(const std::string& name) {
  for (const auto& [slot, n] : EnumeratePresets())
    if (n == name) return true;
  return false;
}

HRESULT SavePresetAs(Settings& settings, const std::string& name, int& slot) {
  PresetList list = EnumeratePresets();
  for (const auto& [s, n] : list)
    if (n == name) slot = s;
  if (slot == 0) {
    for (int s = 1; s <= kMaxPresetSlot; ++s) {
      if (!list.count(s)) {
        slot = s;
        break;
      }
    }
    if (slot == 0) return kNoFreePresetSlot;
  }
  HRESULT hr = settings.Save(ScopeOfSlot(slot));
  if (hr != S_OK) return hr;
  PresetKey key(slot);
  HKEY k = key.OpenGroupKey();
  if (!k || RegSetValueExA(k, "", REG_SZ, reinterpret_cast<const BYTE*>(name.data()),
                           static_cast<DWORD>(name.size())) != ERROR_SUCCESS)
    return kPresetNameNotStored;
  key.CloseGroupKey();
  return S_OK;
}

HRESULT LoadPreset(Settings& settings, int slot, std::string& name) {
  PresetList list = EnumeratePresets();
  auto it = list.find(slot);
  if (it == list.end()) return kPresetNotFound;
  name = it->second;
  return settings.Load(ScopeOfSlot(slot));
}

void DeletePreset(int slot) {
  HKEY presets = 0;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kPresetsPath.c_str(), 0, KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY,
                    &presets) != ERROR_SUCCESS)
    return;
  SHDeleteKeyA(presets, std::to_string(slot).c_str());
  RegCloseKey(presets);
}

std::string PresetDisplayText(int slot, const std::string& name) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%2d: ", slot);
  return buf + name.substr(0, kMaxPresetNameLength);
}

PresetKeySelection SelectPresetByKeys(Settings& settings, const KeyboardState& keys) {
  PresetKeySelection sel;
  if (keys.Held(VK_CONTROL)) {
    for (int i = 1; i <= 9; ++i) {
      if (!keys.Held('0' + i) && !keys.Held(VK_NUMPAD0 + i)) continue;
      sel.digitHeld = true;
      std::string name;
      if (LoadPreset(settings, i, name) == S_OK) {
        sel.slot = i;
        sel.name = name;
      }
    }
  }
  if (!sel.digitHeld) settings.Refresh();
  return sel;
}

}  // namespace ss
