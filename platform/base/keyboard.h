// The state of the keyboard at one moment, as the system asks for it: 256
// virtual-key entries, high bit set when the key is down.
#pragma once

#include <array>
#include <cstdint>

namespace ss {

constexpr int VK_SHIFT = 0x10;
constexpr int VK_CONTROL = 0x11;
constexpr int VK_MENU = 0x12;  // Alt
constexpr int VK_NUMPAD0 = 0x60;

struct KeyboardState {
  std::array<std::uint8_t, 256> keys{};
  bool Held(int vk) const { return vk >= 0 && vk < 256 && (keys[vk] & 0x80) != 0; }
  void Press(int vk) {
    if (vk >= 0 && vk < 256) keys[vk] |= 0x80;
  }
};

}  // namespace ss
