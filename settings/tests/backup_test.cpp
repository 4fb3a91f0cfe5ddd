#include "settings/backup.h"

#include <gtest/gtest.h>

#include <pugixml.hpp>

#include "platform/ui/ui.h"
#include "resources/strings.h"
#include "settings/presets.h"
#include "settings/settings.h"
#include "settings/tests/settings_test_util.h"
#include "tests/support/test_home.h"

namespace ss {
namespace {

using test::GetRaw;
using test::SetDword;
using test::SetRaw;
using test::SetText;

class BackupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetLanguageOverride(Language::English);
    SetUiBackend(&ui_);
  }
  void TearDown() override {
    SetUiBackend(nullptr);
    ClearLanguageOverride();
  }
  // A small tree: root values, a group, a preset with its name.
  void MakeTree() {
    SetDword("", "OmitScrollbars", 1);
    SetText("", "Destination", "File");
    SetDword("CaptureLogDialog", "SortColumn", 0xFFFFFFFF);
    SetRaw("CaptureLogDialog", "Blob", REG_BINARY, std::string("\x00\x01\xfe\xff", 4));
    SetText("Presets\\2", "", "Two");
    SetText("Presets\\2\\ImageCrop", "CropWidth", "ByPixels");
  }
  std::string Value(const std::string& sub, const char* name) {
    std::string raw;
    return GetRaw(sub, name, raw) ? raw : "<absent>";
  }
  test::TempHome home_;
  test::TempDir dir_;
  ScriptedBackend ui_;
};

TEST_F(BackupTest, RoundTripRestoresEveryValueAndDropsOthers) {
  MakeTree();
  std::string file = dir_.File("all.ssb");
  ASSERT_EQ(BackupSettings(file), S_OK);

  std::string xml = test::ReadFile(file);
  EXPECT_NE(xml.find("4294967295"), std::string::npos);
  EXPECT_NE(xml.find("AAH+/w=="), std::string::npos);

  SetText("", "Destination", "Clipboard");
  SetDword("", "AddedAfterBackup", 5);
  SetText("Presets\\7", "", "Seven");
  ASSERT_EQ(RestoreSettings(file), S_OK);

  EXPECT_EQ(Value("", "Destination"), "File");
  EXPECT_EQ(Value("", "AddedAfterBackup"), "<absent>");
  EXPECT_EQ(Value("CaptureLogDialog", "SortColumn"), test::Dword(0xFFFFFFFF));
  EXPECT_EQ(Value("CaptureLogDialog", "Blob"), std::string("\x00\x01\xfe\xff", 4));
  EXPECT_EQ(Value("Presets\\2\\ImageCrop", "CropWidth"), "ByPixels");
  EXPECT_EQ(EnumeratePresets(), (PresetList{{2, "Two"}}));
}

TEST_F(BackupTest, DocumentShape) {
  MakeTree();
  HKEY k = 0;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Morrowby\\Quillmere\\Odd", KEY_ALL_ACCESS, &k, nullptr), 0);
  const char path[] = "%HOME%\\x";
  ASSERT_EQ(RegSetValueExA(k, "Expand", REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(path), sizeof path - 1), 0);
  BYTE one[4] = {1, 0, 0, 0};
  ASSERT_EQ(RegSetValueExA(k, "After", REG_DWORD, one, 4), 0);
  RegCloseKey(k);

  std::string file = dir_.File("shape.ssb");
  ASSERT_EQ(BackupSettings(file), S_OK);
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_file(file.c_str()));
  pugi::xml_node root = doc.document_element();
  EXPECT_STREQ(root.name(), "key");
  EXPECT_STREQ(root.attribute("name").value(), "Quillmere");
  EXPECT_STREQ(root.first_child().name(), "values");
  EXPECT_STREQ(root.last_child().name(), "subkeys");

  pugi::xml_node first = root.child("values").first_child();
  EXPECT_STREQ(first.first_attribute().name(), "type");
  EXPECT_STREQ(first.first_attribute().next_attribute().name(), "name");
  EXPECT_STREQ(first.attribute("type").value(), "dword");
  EXPECT_STREQ(first.attribute("name").value(), "OmitScrollbars");

  pugi::xml_node odd = root.child("subkeys").find_child_by_attribute("key", "name", "Odd");
  ASSERT_TRUE(odd);
  std::vector<std::string> names;
  for (pugi::xml_node v : odd.child("values").children("value")) names.push_back(v.attribute("name").value());
  EXPECT_EQ(names, std::vector<std::string>{"After"});

  pugi::xml_node preset = root.child("subkeys").find_child_by_attribute("key", "name", "Presets").child("subkeys")
                              .find_child_by_attribute("key", "name", "2");
  pugi::xml_node unnamed = preset.child("values").child("value");
  EXPECT_STREQ(unnamed.attribute("name").value(), "");
  EXPECT_STREQ(unnamed.attribute("type").value(), "sz");
  EXPECT_STREQ(unnamed.text().get(), "Two");
}

TEST_F(BackupTest, EmptyRootKeyGivesOneEmptyKeyElement) {
  HKEY k = 0;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Morrowby\\Quillmere", KEY_ALL_ACCESS, &k, nullptr), 0);
  RegCloseKey(k);
  std::string file = dir_.File("empty.ssb");
  ASSERT_EQ(BackupSettings(file), S_OK);
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_file(file.c_str()));
  pugi::xml_node root = doc.document_element();
  EXPECT_TRUE(root.child("values") && !root.child("values").first_child());
  EXPECT_TRUE(root.child("subkeys") && !root.child("subkeys").first_child());
}

TEST_F(BackupTest, BackupWithoutSettingsFailsAndWritesNothing) {
  std::string file = dir_.File("none.ssb");
  EXPECT_EQ(BackupSettings(file), HResultFromWin32(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(test::FileExists(file));
  EXPECT_LT(BackupSettings(dir_.File("missing/folder/x.ssb")), 0);
}

TEST_F(BackupTest, FilesWithAndWithoutDeclarationOrIndentationRestore) {
  const char* files[] = {
      "<key name=\"Quillmere\"><values><value type=\"dword\" name=\"Neg\">-1</value>"
      "<value type=\"sz\" name=\"Title\">日本語</value></values><subkeys/></key>",
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<key name=\"Quillmere\">\n  <values>\n"
      "    <value type=\"dword\" name=\"Neg\">4294967295</value>\n"
      "    <value type=\"sz\" name=\"Title\">日本語</value>\n  </values>\n  <subkeys />\n</key>\n",
  };
  for (const char* content : files) {
    std::string file = dir_.File("in.ssb");
    test::WriteFile(file, content);
    ASSERT_EQ(RestoreSettings(file), S_OK) << content;
    EXPECT_EQ(Value("", "Neg"), test::Dword(0xFFFFFFFF));
    EXPECT_EQ(Value("", "Title"), "日本語");
  }
}

TEST_F(BackupTest, RefusedFilesLeaveTheSettingsAsTheyWere) {
  MakeTree();
  const char* files[] = {
      "",                                                     // empty
      "<key name=\"Quillmere\"><values>",                     // not well formed
      "<key><values/><subkeys/></key>",                       // no name
      "<key name=\"Other\"><values/><subkeys/></key>",        // a foreign key
      "<foo name=\"Quillmere\"/>",                            // a foreign document
      // A failure half-way: a nested key without a name after the tree was deleted.
      "<key name=\"Quillmere\"><values><value type=\"sz\" name=\"Destination\">X</value></values>"
      "<subkeys><key name=\"Good\"><values/><subkeys/></key><key><values/></key></subkeys></key>",
  };
  for (const char* content : files) {
    std::string file = dir_.File("bad.ssb");
    test::WriteFile(file, content);
    EXPECT_LT(RestoreSettings(file), 0) << content;
    EXPECT_EQ(Value("", "Destination"), "File") << content;
    EXPECT_EQ(Value("CaptureLogDialog", "SortColumn"), test::Dword(0xFFFFFFFF)) << content;
    EXPECT_FALSE(test::KeyExists("Good")) << content;
    EXPECT_FALSE(test::KeyExists("..\\Other"));
  }
  EXPECT_LT(RestoreSettings(dir_.File("no-such-file.ssb")), 0);
  EXPECT_EQ(Value("", "Destination"), "File");
}

TEST_F(BackupTest, CommandsShowTheirTexts) {
  MakeTree();
  std::string file = dir_.File("cmd.ssb");
  EXPECT_EQ(BackupSettingsCommand(file), S_OK);
  ASSERT_EQ(ui_.boxes.size(), 1u);
  EXPECT_EQ(ui_.boxes[0].caption, "Backup Setting");
  EXPECT_EQ(ui_.boxes[0].text, "Backup of current setting has completed.");

  SetText("", "Destination", "Clipboard");
  ui_.answers = {IDNO};
  EXPECT_EQ(RestoreSettingsCommand(file), S_FALSE);
  EXPECT_EQ(Value("", "Destination"), "Clipboard");
  ASSERT_EQ(ui_.boxes.size(), 2u);
  EXPECT_EQ(ui_.boxes[1].caption, "Restore Setting");
  EXPECT_EQ(ui_.boxes[1].type & MB_TYPEMASK, MB_YESNO);
  EXPECT_EQ(ui_.boxes[1].text.rfind("Replace the current setting with the backup file.\n", 0), 0u);

  ui_.answers = {IDYES};
  EXPECT_EQ(RestoreSettingsCommand(file), S_OK);
  EXPECT_EQ(Value("", "Destination"), "File");
  EXPECT_EQ(ui_.boxes.back().text, "Restore of setting has completed.");

  ui_.answers = {IDYES};
  test::WriteFile(file, "garbage");
  EXPECT_LT(RestoreSettingsCommand(file), 0);
  EXPECT_EQ(ui_.boxes.back().text, "Restore of setting has failed.");
}

}  // namespace
}  // namespace ss
