#include "core/session.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/input/keyboard.h"
#include "platform/resources/resources.h"
#include "platform/ui/ui.h"
#include "settings/presets.h"
#include "settings/tests/settings_test_util.h"
#include "tests/support/fixture_browser.h"
#include "tests/support/test_home.h"
#include "ui/dialogs.h"

namespace ss {
namespace {

using test::FixtureBrowser;

// Answers the session's dialogs as a test says and records them.
class ScriptedDialogs : public DialogHost {
 public:
  int settingsResult = IDOK;
  int protectedResult = 1;
  std::int32_t tickNeverAsk = 0;
  int settingsShown = 0, protectedShown = 0, presetShown = -1;
  std::string skinTyped;  // typed into the dialog before it closes

  int MainSettings(HWND, Settings& s, int preset) override {
    ++settingsShown;
    presetShown = preset;
    if (!skinTyped.empty()) s.Skin = skinTyped;
    s.ImageExpand.AdjustWidth = 40;
    return settingsResult;
  }
  int ProtectedMode(HWND, std::int32_t& neverAsk) override {
    ++protectedShown;
    neverAsk = tickNeverAsk;
    return protectedResult;
  }
};

class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetLanguageOverride(Language::English);
    SetUiBackend(&ui_);
    SetDialogHost(&dialogs_);
    window_ = CreateBrowserWindow("Page title", 800, 600);
    session_.SetBrowser(MakeCom<FixtureBrowser>(window_));
  }
  void TearDown() override {
    SetKeyboardState({});
    SetDialogHost(nullptr);
    SetUiBackend(nullptr);
    ClearLanguageOverride();
    DestroyWindow(window_);
    unsetenv("SCROLLSNAP_LIBRARY_PATH");
  }
  void Hold(std::initializer_list<int> keys) {
    KeyboardState ks;
    for (int k : keys) ks.Press(k);
    SetKeyboardState(ks);
  }
  void StorePreset(int slot, std::int32_t percent) {
    Settings s;
    s.Load("");
    s.ImageResize.ByPercentage = percent;
    int chosen = slot;
    ASSERT_EQ(SavePresetAs(s, "P" + std::to_string(slot), chosen), S_OK);
  }
  test::TempHome home_;
  ScriptedBackend ui_;
  ScriptedDialogs dialogs_;
  HWND window_ = 0;
  CaptureSession session_;
};

TEST_F(SessionTest, CtrlDigitsChooseThePresetTheDialogShows) {
  StorePreset(3, 30);
  StorePreset(7, 70);
  Hold({VK_CONTROL, '3', '7'});
  EXPECT_EQ(session_.RunSession(true), E_FAIL);
  EXPECT_EQ(dialogs_.presetShown, 7);
  EXPECT_EQ(session_.settings.ImageResize.ByPercentage, 70);

  Hold({VK_CONTROL, '0'});
  EXPECT_EQ(session_.RunSession(true), E_FAIL);
  EXPECT_EQ(dialogs_.presetShown, 0);
}

TEST_F(SessionTest, TheDialogGate) {
  struct Case {
    std::int32_t omitDialog;
    bool shift;
    bool showDialog;
    int shown;
  } cases[] = {
      {0, false, true, 1},
      {1, false, true, 0},
      {1, true, true, 1},
      {0, true, false, 0},  // automatic capture: never a dialog
  };
  for (const Case& c : cases) {
    test::SetDword("", "OmitDialog", static_cast<std::uint32_t>(c.omitDialog));
    session_.settings.SettingsGeneration = 0;  // reload from the registry
    dialogs_.settingsShown = 0;
    if (c.shift) Hold({VK_SHIFT});
    else Hold({});
    EXPECT_EQ(session_.RunSession(c.showDialog), E_FAIL);
    EXPECT_EQ(dialogs_.settingsShown, c.shown) << c.omitDialog << c.shift << c.showDialog;
  }
}

TEST_F(SessionTest, CancelledDialogLeavesTheRegistryAsItWas) {
  test::SetText("", "Skin", "stored");
  dialogs_.skinTyped = "typed";
  dialogs_.settingsResult = IDCANCEL;
  EXPECT_EQ(session_.RunSession(true), kDialogCancelled);
  EXPECT_EQ(session_.settings.Skin, "stored");
  std::string raw;
  ASSERT_TRUE(test::GetRaw("", "Skin", raw));
  EXPECT_EQ(raw, "stored");
  EXPECT_EQ(session_.StartProcess(), kDialogCancelled);
  EXPECT_TRUE(ui_.boxes.empty());  // a cancel is not an error

  dialogs_.settingsResult = IDOK;
  EXPECT_EQ(session_.RunSession(true), E_FAIL);
  ASSERT_TRUE(test::GetRaw("", "Skin", raw));
  EXPECT_EQ(raw, "typed");
}

TEST_F(SessionTest, ArrangementLastsOneRunUnlessKept) {
  // The dialog types an arrangement of 40; the next run starts from 0 again.
  EXPECT_EQ(session_.RunSession(true), E_FAIL);
  EXPECT_EQ(session_.settings.ImageExpand.AdjustWidth, 40);
  test::SetDword("", "OmitDialog", 1);
  session_.settings.SettingsGeneration = 0;
  EXPECT_EQ(session_.RunSession(true), E_FAIL);
  EXPECT_EQ(session_.settings.ImageExpand.AdjustWidth, 0);

  test::SetDword("ImageExpand", "SaveAdjust", 1);
  test::SetDword("ImageExpand", "AdjustWidth", 25);
  session_.settings.SettingsGeneration = 0;
  EXPECT_EQ(session_.RunSession(true), E_FAIL);
  EXPECT_EQ(session_.settings.ImageExpand.AdjustWidth, 25);
}

TEST_F(SessionTest, ProtectedModeWarning) {
  // Without the browser library the stage is skipped silently.
  EXPECT_EQ(session_.RunSession(true), E_FAIL);
  EXPECT_EQ(dialogs_.protectedShown, 0);

  test::TempDir dir;
  std::filesystem::copy_file(test::BuildDir() + "/lib/testlibs/ieframe.so", dir.File("ieframe.dll"));
  setenv("SCROLLSNAP_LIBRARY_PATH", dir.path().c_str(), 1);
  dialogs_.protectedResult = 1;
  EXPECT_EQ(session_.RunSession(true), E_FAIL);  // Yes: the run goes on
  EXPECT_EQ(dialogs_.protectedShown, 1);

  dialogs_.protectedResult = 2;
  dialogs_.tickNeverAsk = 1;
  EXPECT_EQ(session_.StartProcess(), kUserDeclined);
  EXPECT_EQ(dialogs_.protectedShown, 2);
  EXPECT_TRUE(ui_.boxes.empty());
  std::string raw;
  ASSERT_TRUE(test::GetRaw("", "NeverAskProtectedMode", raw));
  EXPECT_EQ(raw, test::Dword(1));

  EXPECT_EQ(session_.RunSession(true), E_FAIL);  // later runs skip the warning
  EXPECT_EQ(dialogs_.protectedShown, 2);
}

TEST_F(SessionTest, TitleIsMarkedOnce) {
  session_.settings.NotifyOnTitleBar = 1;
  session_.NotifyCompletion();
  session_.NotifyCompletion();
  char title[512];
  GetWindowTextA(window_, title, sizeof title);
  EXPECT_STREQ(title, "Page title - [Captured]");

  SetLanguageOverride(Language::Japanese);
  session_.NotifyCompletion();
  GetWindowTextA(window_, title, sizeof title);
  EXPECT_STREQ(title, "Page title - [Captured] - [キャプチャ完了]");

  // A sound file that does not exist plays nothing and reports nothing.
  session_.settings.NotifyBySound = 1;
  session_.settings.NoticeSound = "/nonexistent/ding.wav";
  session_.NotifyCompletion();
  EXPECT_TRUE(ui_.boxes.empty());
}

TEST_F(SessionTest, FailureTexts) {
  session_.browserWindow = window_;
  struct Case {
    HRESULT code;
    const char* caption;
    const char* text;
  } cases[] = {
      {MakeHResult(0x800709C6), "Image Memory",
       "Failed to alloc memory for image.\nCapture size or image size may be too large."},
      {MakeHResult(0x800409CD), "Image Memory",
       "Failed to alloc memory for image.\nCapture size or image size may be too large."},
      {MakeHResult(0x80070001), "Error", "An error occurred.\nError code: 0x80070001"},
  };
  for (const Case& c : cases) {
    ui_.boxes.clear();
    session_.ReportFailure(c.code);
    ASSERT_EQ(ui_.boxes.size(), 1u);
    EXPECT_EQ(ui_.boxes[0].caption, c.caption);
    EXPECT_EQ(ui_.boxes[0].text, c.text);
    EXPECT_EQ(ui_.boxes[0].owner, window_);
    EXPECT_EQ(ui_.boxes[0].type, MB_OK);
  }
}

}  // namespace
}  // namespace ss
