#include "settings/presets.h"

#include <gtest/gtest.h>

#include "platform/ui/ui.h"
#include "settings/tests/settings_test_util.h"
#include "tests/support/test_home.h"

namespace ss {
namespace {

using test::SetDword;
using test::SetText;

class PresetsTest : public ::testing::Test {
 protected:
  void SetUp() override { SetUiBackend(&ui_); }
  void TearDown() override { SetUiBackend(nullptr); }
  void Store(int slot, const std::string& name) {
    Settings s;
    s.Load("");
    int chosen = slot;
    ASSERT_EQ(SavePresetAs(s, name, chosen), S_OK);
    ASSERT_EQ(chosen, slot);
  }
  test::TempHome home_;
  ScriptedBackend ui_;
};

TEST_F(PresetsTest, EnumerationKeepsPositiveNumbersOnly) {
  SetText("Presets\\1", "", "One");
  SetText("Presets\\Backup", "", "Not a preset");
  SetText("Presets\\3", "", std::string("Three\0", 6));
  SetText("Presets\\0", "", "Zero");
  SetText("Presets\\-2", "", "Negative");
  SetDword("Presets\\4", "OmitScrollbars", 0);  // no name: not listed
  SetText("Presets\\5", "", std::string(65, 'x'));  // longer than the 64-byte buffer
  PresetList list = EnumeratePresets();
  EXPECT_EQ(list, (PresetList{{1, "One"}, {3, "Three"}}));
}

TEST_F(PresetsTest, NoPresetsKeyGivesAnEmptyList) { EXPECT_TRUE(EnumeratePresets().empty()); }

TEST_F(PresetsTest, SaveChoosesTheSlot) {
  Store(1, "a");
  Store(2, "b");
  Store(4, "d");
  Store(5, "e");
  Settings s;
  s.Load("");
  struct Case {
    const char* name;
    int selected;
    int expectedSlot;
  } cases[] = {
      {"new", 0, 3},   // lowest free slot
      {"e", 2, 5},     // an existing name wins over the selection
      {"renamed", 2, 2},  // a new name while a preset is selected overwrites it
  };
  for (const Case& c : cases) {
    int slot = c.selected;
    ASSERT_EQ(SavePresetAs(s, c.name, slot), S_OK) << c.name;
    EXPECT_EQ(slot, c.expectedSlot) << c.name;
    EXPECT_EQ(EnumeratePresets()[slot], c.name);
  }
  EXPECT_EQ(EnumeratePresets(), (PresetList{{1, "a"}, {2, "renamed"}, {3, "new"}, {4, "d"}, {5, "e"}}));
}

TEST_F(PresetsTest, AllTenTakenStoresNothing) {
  for (int i = 1; i <= 10; ++i) Store(i, "p" + std::to_string(i));
  Settings s;
  s.Load("");
  s.Skin = "should not be stored";
  int slot = 0;
  EXPECT_EQ(SavePresetAs(s, "eleventh", slot), kNoFreePresetSlot);
  EXPECT_EQ(slot, 0);
  EXPECT_EQ(EnumeratePresets().size(), 10u);
  EXPECT_FALSE(test::KeyExists("Presets\\11"));
}

TEST_F(PresetsTest, LoadAndDelete) {
  Settings s;
  s.Load("");
  s.ImageResize.ByPercentage = 33;
  int slot = 0;
  ASSERT_EQ(SavePresetAs(s, "Third", slot), S_OK);

  Settings t;
  t.Load("");
  std::string name;
  ASSERT_EQ(LoadPreset(t, slot, name), S_OK);
  EXPECT_EQ(name, "Third");
  EXPECT_EQ(t.ImageResize.ByPercentage, 33);

  t.ImageResize.ByPercentage = 80;
  EXPECT_EQ(LoadPreset(t, 7, name), kPresetNotFound);
  EXPECT_EQ(t.ImageResize.ByPercentage, 80);  // unchanged

  DeletePreset(slot);
  DeletePreset(9);  // absent: ignored
  EXPECT_TRUE(EnumeratePresets().empty());
  EXPECT_FALSE(test::KeyExists("Presets\\1"));
}

TEST_F(PresetsTest, DisplayText) {
  EXPECT_EQ(PresetDisplayText(3, "Mine"), " 3: Mine");
  EXPECT_EQ(PresetDisplayText(10, "Ten"), "10: Ten");
  std::string longName(70, 'n');
  EXPECT_EQ(PresetDisplayText(1, longName), " 1: " + std::string(63, 'n'));
}

TEST_F(PresetsTest, CtrlDigitsLoadEveryHeldPresetAndTheHighestWins) {
  Settings s;
  s.Load("");
  for (int i : {2, 5}) {
    s.ImageResize.ByPercentage = i * 10;
    int slot = i;
    ASSERT_EQ(SavePresetAs(s, "P" + std::to_string(i), slot), S_OK);
  }
  SetDword("ImageResize", "ByPercentage", 50);  // the current settings
  struct Case {
    std::vector<int> keys;
    bool digitHeld;
    int slot;
    int percent;
  } cases[] = {
      {{VK_CONTROL, '2', VK_NUMPAD0 + 5}, true, 5, 50},
      {{VK_CONTROL, '2'}, true, 2, 20},
      {{VK_CONTROL, '7'}, true, 0, 99},   // missing preset: settings in memory stay
      {{VK_CONTROL, '0'}, false, 0, 50},  // Ctrl+0 chooses nothing: refreshed from the registry
      {{'5'}, false, 0, 50},              // no Ctrl
  };
  for (const Case& c : cases) {
    Settings t;
    t.Load("");
    t.ImageResize.ByPercentage = 99;
    t.SettingsGeneration = 0;  // another window has saved since
    KeyboardState ks;
    for (int k : c.keys) ks.Press(k);
    PresetKeySelection sel = SelectPresetByKeys(t, ks);
    EXPECT_EQ(sel.digitHeld, c.digitHeld);
    EXPECT_EQ(sel.slot, c.slot);
    EXPECT_EQ(t.ImageResize.ByPercentage, c.percent) << "keys held: " << c.keys.size() << ", first " << c.keys[0];
  }
}

}  // namespace
}  // namespace ss
