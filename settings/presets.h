// Named presets: copies of the preset-scoped settings in slots 1 to 10 under
// the root key's subkey Presets\<n>, whose unnamed value is the preset's name.
#pragma once

#include <map>
#include <string>

#include "platform/input/keyboard.h"
#include "settings/settings.h"

namespace ss {

inline constexpr HRESULT kNoFreePresetSlot = MakeHResult(0x80040966);
inline constexpr HRESULT kPresetNotFound = MakeHResult(0x80040967);
inline constexpr HRESULT kPresetNameNotStored = MakeHResult(0x8007089c);
inline constexpr int kMaxPresetSlot = 10;
inline constexpr std::size_t kMaxPresetNameLength = 63;

// Slot number -> name, ascending, read afresh from the registry.
using PresetList = std::map<int, std::string>;

PresetList EnumeratePresets();
bool PresetNameExists(const std::string& name);
// Stores `settings` under the slot that already has `name`, else under `slot`
// when it is not 0, else under the lowest free slot; updates `slot`.
HRESULT SavePresetAs(Settings& settings, const std::string& name, int& slot);
HRESULT LoadPreset(Settings& settings, int slot, std::string& name);
void DeletePreset(int slot);

// The combo-box text of a preset: "%2d: %s" with the name cut to 63 characters.
std::string PresetDisplayText(int slot, const std::string& name);

// Presets chosen by keys at the start of a capture: with Ctrl held, every held
// digit 1-9 (top row or keypad) loads its preset in ascending order, so the
// highest one is in force. Without Ctrl or digits, the record is refreshed.
struct PresetKeySelection {
  bool digitHeld = false;   // a digit was held with Ctrl: no refresh ran
  int slot = 0;             // the preset in force, 0 when none loaded
  std::string name;
};
PresetKeySelection SelectPresetByKeys(Settings& settings, const KeyboardState& keys);

}  // namespace ss
