// The administrative commands, run as a user runs them: the built host in its
// own process, against a fresh SCROLLSNAP_HOME.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "output/password.h"
#include "settings/presets.h"
#include "settings/settings.h"
#include "settings/tests/settings_test_util.h"
#include "tests/support/test_home.h"

namespace ss {
namespace {

test::CommandResult Host(const std::string& args) {
  return test::RunCommand("'" + test::BuildDir() + "/bin/scrollsnap' " + args);
}

class CliTest : public ::testing::Test {
 protected:
  test::TempHome home_;
  test::TempDir dir_;
};

TEST_F(CliTest, ConfigListPrintsEveryValueOfTheRecord) {
  test::CommandResult r = Host("config list");
  ASSERT_EQ(r.status, 0) << r.err;
  std::size_t lines = 0;
  for (const SettingDescriptor& d : SettingsTable()) {
    bool listed = r.out.find("\n" + SettingKey(d) + " = ") != std::string::npos ||
                  r.out.rfind(SettingKey(d) + " = ", 0) == 0;
    EXPECT_EQ(listed, d.scope != GroupScope::Standalone) << SettingKey(d);
    lines += listed;
  }
  EXPECT_GT(lines, 80u);
  EXPECT_NE(r.out.find("\nImageCrop/HeightByAspect = 75\n"), std::string::npos);
  EXPECT_NE(r.out.find("\nOmitDialog = 0\n"), std::string::npos);
  EXPECT_NE(r.out.find("\nShortcut/StartingShortcut = 597\n"), std::string::npos);
  EXPECT_EQ(r.out.find("CaptureLogDialog"), std::string::npos);
}

TEST_F(CliTest, ConfigGetAndSet) {
  struct Case {
    const char* key;
    const char* input;
    const char* shown;
  } cases[] = {
      {"ImageResize/ByPercentage", "33", "33"},
      {"ImageCrop/Left", "-5", "-5"},
      {"Shortcut/StartingShortcut", "0x0341", "833"},
      {"AlertByCaptureSizeMB", "4294967295", "-1"},
      {"Destination", "File", "File"},
      {"FTPBlog/FTPServer", "ftp.example.org", "ftp.example.org"},
  };
  for (const Case& c : cases) {
    test::CommandResult set = Host(std::string("config set ") + c.key + " " + c.input);
    EXPECT_EQ(set.status, 0) << c.key << ": " << set.err;
    test::CommandResult get = Host(std::string("config get ") + c.key);
    EXPECT_EQ(get.out, std::string(c.shown) + "\n") << c.key;
  }
}

TEST_F(CliTest, ConfigRefusesUnknownKeysAndTextsForNumbers) {
  struct Case {
    const char* args;
    const char* named;
  } cases[] = {
      {"config get NoSuchValue", "NoSuchValue"},
      {"config set ImageCrop/Nope 1", "ImageCrop/Nope"},
      {"config get CaptureLogDialog/SortColumn", "CaptureLogDialog/SortColumn"},
      {"config set ImageCrop/Left twelve", "ImageCrop/Left"},
      {"config set ImageCrop/Left 0x", "ImageCrop/Left"},
      {"config set ImageCrop/Left 99999999999", "ImageCrop/Left"},
  };
  for (const Case& c : cases) {
    test::CommandResult r = Host(c.args);
    EXPECT_EQ(r.status, 64) << c.args;
    EXPECT_NE(r.err.find(c.named), std::string::npos) << c.args << ": " << r.err;
  }
  EXPECT_EQ(Host("config get ImageCrop/Left").out, "0\n");
  EXPECT_EQ(Host("frobnicate").status, 64);
}

TEST_F(CliTest, PasswordSetThroughConfigIsStoredProtected) {
  ASSERT_EQ(Host("config set FTPBlog/FTPPassword s3cret!").status, 0);
  std::string raw;
  ASSERT_TRUE(test::GetRaw("FTPBlog", "FTPPassword", raw));
  EXPECT_EQ(raw, ProtectPassword("s3cret!"));
  EXPECT_EQ(Host("config get FTPBlog/FTPPassword").out, "s3cret!\n");
}

TEST_F(CliTest, PresetCommands) {
  ASSERT_EQ(Host("config set ImageResize/ByPercentage 25").status, 0);
  test::CommandResult saved = Host("preset save Mine");
  ASSERT_EQ(saved.status, 0) << saved.err;
  EXPECT_EQ(saved.out, " 1: Mine\n");
  ASSERT_EQ(Host("config set ImageResize/ByPercentage 75").status, 0);
  ASSERT_EQ(Host("preset save Other").status, 0);
  EXPECT_EQ(Host("preset list").out, " 1: Mine\n 2: Other\n");

  ASSERT_EQ(Host("preset load 1").status, 0);
  EXPECT_EQ(Host("config get ImageResize/ByPercentage").out, "25\n");

  test::CommandResult missing = Host("preset load 7");
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.err.find("7"), std::string::npos);
  EXPECT_EQ(Host("preset load 11").status, 64);

  ASSERT_EQ(Host("preset delete 1").status, 0);
  EXPECT_EQ(Host("preset list").out, " 2: Other\n");
}

TEST_F(CliTest, BackupAndRestoreWithAnswers) {
  ASSERT_EQ(Host("config set Destination File").status, 0);
  std::string file = dir_.File("s.ssb");
  test::CommandResult b = Host("backup '" + file + "'");
  ASSERT_EQ(b.status, 0) << b.err;
  EXPECT_NE(b.err.find("Backup Setting: "), std::string::npos);

  ASSERT_EQ(Host("config set Destination Clipboard").status, 0);
  test::CommandResult no = Host("--answer no restore '" + file + "'");
  EXPECT_EQ(no.status, 1);
  EXPECT_EQ(Host("config get Destination").out, "Clipboard\n");

  test::CommandResult yes = Host("restore --answer yes '" + file + "'");
  EXPECT_EQ(yes.status, 0) << yes.err;
  EXPECT_EQ(Host("config get Destination").out, "File\n");

  test::WriteFile(file, "<not xml");
  test::CommandResult bad = Host("--answer yes restore '" + file + "'");
  EXPECT_EQ(bad.status, 2);
  EXPECT_EQ(Host("config get Destination").out, "File\n");
}

TEST_F(CliTest, ADamagedStoreIsOneClearErrorAndIsNeverReset) {
  std::string db = home_.path() + "/registry/user.db";
  std::filesystem::create_directories(home_.path() + "/registry");
  std::string garbage(5000, '\x5a');
  test::WriteFile(db, garbage);
  for (const char* args : {"config get Destination", "config set Destination File", "config list", "preset list",
                           "backup '/tmp/never-written.ssb'"}) {
    test::CommandResult r = Host(args);
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_NE(r.err.find(db), std::string::npos) << args << ": " << r.err;
    EXPECT_EQ(r.out, "") << args;
  }
  EXPECT_EQ(test::ReadFile(db), garbage);
}

TEST_F(CliTest, SavesInAnotherProcessReachThisWindowUnlessIsolated) {
  Settings window;
  window.Load("");
  ASSERT_EQ(Host("config set Skin JP@ie6-xp.bsm").status, 0);
  window.Refresh();
  EXPECT_EQ(window.Skin, "JP@ie6-xp.bsm");

  ASSERT_EQ(Host("config set IsolatedSettingAmongWindows 1").status, 0);
  window.Refresh();
  ASSERT_EQ(Host("config set Skin JP@firefox-mac.bsm").status, 0);
  window.Refresh();
  EXPECT_EQ(window.Skin, "JP@ie6-xp.bsm");
  EXPECT_EQ(window.IsolatedSettingAmongWindows, 1);
}

}  // namespace
}  // namespace ss
