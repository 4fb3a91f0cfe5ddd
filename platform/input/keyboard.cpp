#include "platform/input/keyboard.h"

#include <mutex>

namespace ss {
namespace {

std::mutex& StateMutex() {
  static std::mutex mu;
  return mu;
}

KeyboardState& State() {
  static KeyboardState state;
  return state;
}

}  // namespace

KeyboardState GetKeyboardState() {
  std::lock_guard<std::mutex> lock(StateMutex());
  return State();
}

void SetKeyboardState(const KeyboardState& state) {
  std::lock_guard<std::mutex> lock(StateMutex());
  State() = state;
}

std::int16_t GetAsyncKeyState(int vk) {
  return GetKeyboardState().Held(vk) ? static_cast<std::int16_t>(0x8000) : 0;
}

}  // namespace ss
