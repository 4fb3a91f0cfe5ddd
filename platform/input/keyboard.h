// The keyboard as the system asks for it: the state of every key at one
// moment (GetKeyboardState), and whether a key is down now
// (GetAsyncKeyState). The host feeds it: a browser window's key events, or
// the keys a command line says are held.
#pragma once

#include <array>
#include <cstdint>

namespace ss {

constexpr int VK_SHIFT = 0x10;
constexpr int VK_CONTROL = 0x11;
constexpr int VK_MENU = 0x12;  // Alt
constexpr int VK_NUMPAD0 = 0x60;

// 256 virtual-key entries, high bit set when the key is down.
struct KeyboardState {
  std::array<std::uint8_t, 256> keys{};
  bool Held(int vk) const { return vk >= 0 && vk < 256 && (keys[vk] & 0x80) != 0; }
  void Press(int vk) {
    if (vk >= 0 && vk < 256) keys[vk] |= 0x80;
  }
  void Lift(int vk) {
    if (vk >= 0 && vk < 256) keys[vk] &= 0x7F;
  }
};

// The keys held now, for the whole process.
KeyboardState GetKeyboardState();
void SetKeyboardState(const KeyboardState& state);
// High bit (0x8000) set when the key is down now.
std::int16_t GetAsyncKeyState(int vk);

}  // namespace ss
