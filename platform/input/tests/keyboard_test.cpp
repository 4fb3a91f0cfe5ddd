#include "platform/input/keyboard.h"

#include <gtest/gtest.h>

namespace ss {
namespace {

TEST(KeyboardTest, HeldKeysAreSeenByBothQueries) {
  KeyboardState ks;
  ks.Press(VK_CONTROL);
  ks.Press('3');
  SetKeyboardState(ks);
  KeyboardState now = GetKeyboardState();
  EXPECT_TRUE(now.Held(VK_CONTROL));
  EXPECT_TRUE(now.Held('3'));
  EXPECT_FALSE(now.Held(VK_SHIFT));
  EXPECT_NE(GetAsyncKeyState(VK_CONTROL) & 0x8000, 0);
  EXPECT_EQ(GetAsyncKeyState(VK_SHIFT), 0);
  ks.Lift(VK_CONTROL);
  SetKeyboardState(ks);
  EXPECT_EQ(GetAsyncKeyState(VK_CONTROL), 0);
  EXPECT_FALSE(KeyboardState{}.Held(-1));
  EXPECT_FALSE(KeyboardState{}.Held(256));
}

}  // namespace
}  // namespace ss
