#include "settings/settings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "output/password.h"
#include "platform/folders/folders.h"
#include "platform/ui/ui.h"
#include "resources/strings.h"
#include "settings/shared_state.h"
#include "settings/tests/settings_test_util.h"
#include "tests/support/test_home.h"

namespace ss {
namespace {

using test::GetRaw;
using test::SetDword;
using test::SetRaw;
using test::SetText;

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetLanguageOverride(Language::English);
    SetUiBackend(&ui_);
  }
  void TearDown() override {
    SetUiBackend(nullptr);
    ClearLanguageOverride();
    SetModuleFilePath("");
  }
  test::TempHome home_;
  ScriptedBackend ui_;
};

std::string FieldText(Settings& s, const SettingDescriptor& d) {
  void* f = d.field(s.ValuesOf(d.group));
  return d.kind == ValueKind::Dword ? std::to_string(*static_cast<std::int32_t*>(f)) : *static_cast<std::string*>(f);
}

TEST_F(SettingsTest, FirstRunYieldsTheTableDefaultsWithComputedEmptyTexts) {
  SetModuleFilePath("/opt/scrollsnap/lib/scrollsnap.so");
  Settings s;
  ASSERT_EQ(s.Load(""), S_OK);
  const std::string docs = GetPersonalFolder();
  for (const SettingDescriptor& d : SettingsTable()) {
    if (d.scope == GroupScope::Standalone) continue;
    std::string expected = d.kind == ValueKind::Dword ? std::to_string(d.dwordDefault) : d.textDefault;
    std::string name = d.name;
    if (name == "SkinsFolderPath") expected = "/opt/scrollsnap/lib/Skins";
    if (name == "LogFilePath") expected = docs + "/Scrollsnap.log";
    if (name == "BaseFolderPath") expected = docs;
    if (name == "FixedFileName") expected = "Scrollsnap";
    EXPECT_EQ(FieldText(s, d), expected) << SettingKey(d);
  }
  EXPECT_TRUE(s.URLCorrect.rules.empty());
  EXPECT_TRUE(ui_.boxes.empty());
  // Loading opens (or creates) the group keys but writes no value.
  std::string raw;
  EXPECT_FALSE(GetRaw("ImageCrop", "CropWidth", raw));
}

TEST_F(SettingsTest, ModuleWithoutFolderLeavesSkinsFolderEmpty) {
  SetModuleFilePath("scrollsnap.so");
  Settings s;
  s.Load("");
  EXPECT_EQ(s.SkinsFolderPath, "");
}

TEST_F(SettingsTest, NoticeSoundDefaultComesFromTheSystemSoundKey) {
  HKEY k = 0;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "AppEvents\\Schemes\\Apps\\.Default\\.Default\\.Default",
                            KEY_ALL_ACCESS, &k, nullptr),
            ERROR_SUCCESS);
  const char wav[] = "/usr/share/sounds/ding.wav";
  ASSERT_EQ(RegSetValueExA(k, "", REG_SZ, reinterpret_cast<const BYTE*>(wav), sizeof wav), ERROR_SUCCESS);
  RegCloseKey(k);
  Settings s;
  s.Load("");
  EXPECT_EQ(s.NoticeSound, wav);
  SetText("", "NoticeSound", "/mine.wav");
  s.Load("");
  EXPECT_EQ(s.NoticeSound, "/mine.wav");
}

TEST_F(SettingsTest, EveryValueSurvivesSaveAndLoad) {
  Settings a;
  a.Load("");
  int n = 0;
  for (const SettingDescriptor& d : SettingsTable()) {
    if (d.scope == GroupScope::Standalone || (d.flags & kLow16)) continue;
    void* f = d.field(a.ValuesOf(d.group));
    if (d.kind == ValueKind::Dword) *static_cast<std::int32_t*>(f) = 1000 + n++;
    else *static_cast<std::string*>(f) = std::string("text ") + d.name;
  }
  a.Shortcut.StartingShortcut = 0x0341;
  a.ImageExpand.SaveAdjust = 1;
  a.URLCorrect.rules = {{"http://a/", "http://b/", 0}, {"^x(.*)", "y\\1", 1}};
  ASSERT_EQ(a.Save(""), S_OK);

  Settings b;
  b.Load("");
  for (const SettingDescriptor& d : SettingsTable()) {
    if (d.scope == GroupScope::Standalone) continue;
    EXPECT_EQ(FieldText(b, d), FieldText(a, d)) << SettingKey(d);
  }
  EXPECT_EQ(b.URLCorrect.rules, a.URLCorrect.rules);
}

TEST_F(SettingsTest, TextsAreStoredWithoutNulAndReadWithOrWithout) {
  Settings s;
  s.Load("");
  s.Skin = "JP@ie6-xp.bsm";
  s.Save("");
  std::string raw;
  DWORD type = 0;
  ASSERT_TRUE(GetRaw("", "Skin", raw, &type));
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(raw, "JP@ie6-xp.bsm");

  SetRaw("", "SkinFontFace", REG_SZ, std::string("Noto Sans\0", 10));
  SetRaw("ImageCrop", "CropWidth", REG_SZ, "ByPixels");
  Settings t;
  t.Load("");
  EXPECT_EQ(t.SkinFontFace, "Noto Sans");
  EXPECT_EQ(t.ImageCrop.CropWidth, "ByPixels");
}

TEST_F(SettingsTest, MalformedValuesLeaveTheFieldAsItWas) {
  SetRaw("", "AlertByCaptureSizeMB", REG_DWORD, std::string("\x05\x00", 2));  // 2 bytes
  SetRaw("ImageResize", "ByPercentage", REG_DWORD, test::Dword(25) + std::string(4, '\0'));  // 8 bytes
  SetText("ImageFileFormat", "FormatName", "");  // zero bytes
  SetDword("Shortcut", "StartingShortcut", 0x12345);
  Settings s;
  s.Load("");
  EXPECT_EQ(s.AlertByCaptureSizeMB, 10);
  EXPECT_EQ(s.ImageResize.ByPercentage, 50);
  EXPECT_EQ(s.ImageFileFormat.FormatName, "BMP");
  EXPECT_EQ(s.Shortcut.StartingShortcut, 0x2345);
  EXPECT_EQ(GetShortcutSnapshot().shortcut, 0x2345);
}

TEST_F(SettingsTest, EmptyStoredTextDoesNotClearARecordsText) {
  Settings a, b;
  a.Load("");
  b.Load("");
  a.Skin = "JP@firefox-mac.bsm";
  a.Save("");
  b.Load("");
  ASSERT_EQ(b.Skin, "JP@firefox-mac.bsm");
  a.Skin = "";
  a.Save("");
  b.Load("");
  EXPECT_EQ(b.Skin, "JP@firefox-mac.bsm");
}

TEST_F(SettingsTest, AdjustSizeIsNeitherWrittenNorReadWithoutSaveAdjust) {
  SetDword("ImageExpand", "AdjustWidth", 777);
  Settings s;
  s.Load("");
  EXPECT_EQ(s.ImageExpand.AdjustWidth, 0);
  s.ImageExpand.AdjustHeight = 55;
  s.Save("");
  std::string raw;
  EXPECT_FALSE(GetRaw("ImageExpand", "AdjustHeight", raw));
  ASSERT_TRUE(GetRaw("ImageExpand", "AdjustWidth", raw));
  EXPECT_EQ(raw, test::Dword(777));  // the stale value stays, ignored

  SetDword("ImageExpand", "SaveAdjust", 1);
  Settings t;
  t.Load("");
  EXPECT_EQ(t.ImageExpand.AdjustWidth, 777);
}

TEST_F(SettingsTest, PresetScopeReadsPresetValuesButDialogAndShortcutFromTheRoot) {
  SetDword("Presets\\2", "OmitScrollbars", 0);
  SetText("Presets\\2\\ImageCrop", "CropHeight", "ByAspect");
  SetDword("Presets\\2", "OmitDialog", 1);
  SetDword("Presets\\2\\Shortcut", "EnabledPresetShortcut", 1);
  SetDword("", "OmitDialog", 0);
  SetDword("Shortcut", "EnabledPresetShortcut", 0);
  SetDword("", "OmitScrollbars", 1);
  Settings s;
  s.Load("Presets\\2");
  EXPECT_EQ(s.OmitScrollbars, 0);
  EXPECT_EQ(s.ImageCrop.CropHeight, "ByAspect");
  EXPECT_EQ(s.OmitDialog.OmitDialog, 0);
  EXPECT_EQ(s.Shortcut.EnabledPresetShortcut, 0);

  s.Save("Presets\\3");
  std::string raw;
  EXPECT_TRUE(GetRaw("Presets\\3\\ImageCrop", "CropHeight", raw));
  EXPECT_FALSE(GetRaw("Presets\\3", "OmitDialog", raw));
  EXPECT_FALSE(test::KeyExists("Presets\\3\\Shortcut"));
}

TEST_F(SettingsTest, PasswordIsStoredProtectedAndLoadsAsClearText) {
  Settings s;
  s.Load("");
  s.FTPBlog.FTPPassword = "secret7";
  s.Save("");
  std::string raw;
  ASSERT_TRUE(GetRaw("FTPBlog", "FTPPassword", raw));
  EXPECT_EQ(raw.size(), 12u);
  EXPECT_EQ(raw, ProtectPassword("secret7"));
  Settings t;
  t.Load("");
  EXPECT_EQ(t.FTPBlog.FTPPassword, "secret7");

  SetText("FTPBlog", "FTPPassword", "not a cipher text");
  t.Load("");
  EXPECT_EQ(t.FTPBlog.FTPPassword, "");
}

TEST_F(SettingsTest, UrlRulesAreRewrittenAsNumberedSubkeysInOrder) {
  Settings s;
  s.Load("");
  for (int i = 0; i < 12; ++i) s.URLCorrect.rules.push_back({"p" + std::to_string(i), "r" + std::to_string(i), i % 2});
  s.Save("");
  Settings t;
  t.Load("");
  EXPECT_EQ(t.URLCorrect.rules, s.URLCorrect.rules);  // Rule10 after Rule9, not after Rule1

  s.URLCorrect.rules.resize(1);
  s.Save("");
  EXPECT_FALSE(test::KeyExists("URLCorrect\\Rule1"));
  t.Load("");
  ASSERT_EQ(t.URLCorrect.rules.size(), 1u);

  // A value missing from a rule's subkey keeps the rule's default.
  SetText("URLCorrect\\Rule1", "Pattern", "only");
  t.Load("");
  ASSERT_EQ(t.URLCorrect.rules.size(), 2u);
  EXPECT_EQ(t.URLCorrect.rules[1], (UrlCorrectionRule{"only", "", 0}));
}

TEST_F(SettingsTest, SavePropagatesUnlessIsolated) {
  Settings a, b;
  a.Load("");
  b.Load("");
  std::int32_t g0 = b.SettingsGeneration;
  ASSERT_GE(g0, 1);

  a.Skin = "one";
  a.Save("");
  b.Refresh();
  EXPECT_EQ(b.Skin, "one");
  EXPECT_EQ(b.SettingsGeneration, g0 + 1);

  a.IsolatedSettingAmongWindows = 1;
  a.Skin = "two";
  a.Save("");
  b.Refresh();
  EXPECT_EQ(b.Skin, "one");
  EXPECT_EQ(b.IsolatedSettingAmongWindows, 1);

  // A preset save counts as a save of the settings too.
  a.IsolatedSettingAmongWindows = 0;
  a.Save("Presets\\1");
  b.Refresh();
  EXPECT_EQ(b.Skin, "two");
}

TEST_F(SettingsTest, UnopenableStoreShowsTheJapaneseErrorOnceAndKeepsDefaults) {
  std::filesystem::create_directories(home_.path() + "/registry/user.db");  // a folder where the file belongs
  Settings s;
  s.Skin = "kept";
  s.Load("");
  EXPECT_EQ(s.Skin, "kept");
  EXPECT_EQ(s.OmitScrollbars, 1);
  ASSERT_FALSE(ui_.boxes.empty());
  const MessageBoxCall& box = ui_.boxes.front();
  EXPECT_EQ(box.caption, "レジストリ");
  EXPECT_EQ(box.text.rfind("レジストリキーのオープンに失敗しました:\nSoftware\\Morrowby\\Quillmere", 0), 0u) << box.text;
  EXPECT_EQ(box.owner, 0u);
  // One box per group and scope, not one per value.
  EXPECT_LE(ui_.boxes.size(), 12u);
  ui_.boxes.clear();
  EXPECT_NE(s.Save(""), S_OK);
}

}  // namespace
}  // namespace ss
