#include "com/registration.h"

#include <gtest/gtest.h>

#include "com/guids.h"
#include "platform/registry/registry.h"
#include "platform/resources/resources.h"
#include "tests/support/test_home.h"

namespace ss {
namespace {

std::string Value(HKEY root, const std::string& path, const char* name = "") {
  HKEY k = 0;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return "<no key>";
  char buf[512];
  DWORD type = 0, size = sizeof buf;
  std::string out = RegQueryValueExA(k, name, &type, reinterpret_cast<BYTE*>(buf), &size) == ERROR_SUCCESS
                        ? std::string(buf, size)
                        : "<no value>";
  RegCloseKey(k);
  return out;
}

class RegistrationTest : public ::testing::Test {
 protected:
  void TearDown() override { ClearLanguageOverride(); }
  test::TempHome home_;
  const std::string module_ = "/opt/scrollsnap/lib/scrollsnap.so";
  const std::string button_ = std::string(kExtensionsKey) + "\\" + GuidToString(GUID_ToolbarButton);
  const std::string clsid_ = "CLSID\\" + GuidToString(CLSID_Extension);
};

TEST_F(RegistrationTest, WritesWhatTheBrowserReads) {
  SetLanguageOverride(Language::English);
  ASSERT_EQ(RegisterModule(module_), S_OK);
  EXPECT_EQ(Value(HKEY_LOCAL_MACHINE, button_), "Scrollsnap Extension");
  EXPECT_EQ(Value(HKEY_LOCAL_MACHINE, button_, "ClsidExtension"), GuidToString(CLSID_Extension));
  EXPECT_EQ(Value(HKEY_LOCAL_MACHINE, button_, "CLSID"), kButtonHostClsid);
  EXPECT_EQ(Value(HKEY_LOCAL_MACHINE, button_, "MenuText"), "Capture with Scrollsnap(&T)");
  EXPECT_EQ(Value(HKEY_LOCAL_MACHINE, button_, "Icon"), module_ + ",203");
  EXPECT_EQ(Value(HKEY_CLASSES_ROOT, clsid_ + "\\InprocServer32"), module_);
  EXPECT_EQ(Value(HKEY_CLASSES_ROOT, clsid_ + "\\InprocServer32", "ThreadingModel"), "Apartment");
  EXPECT_EQ(Value(HKEY_CLASSES_ROOT, "Quillmere.Extension\\CurVer"), "Quillmere.Extension.1");
  EXPECT_EQ(Value(HKEY_CLASSES_ROOT, "TypeLib\\" + GuidToString(LIBID_QUILLMERELib) + "\\1.0"),
            "Quillmere 1.0 ﾀｲﾌﾟ ﾗｲﾌﾞﾗﾘ");
  EXPECT_EQ(Value(HKEY_CLASSES_ROOT, "Interface\\" + GuidToString(IID_IExtension)), "IExtension");
  EXPECT_EQ(Value(HKEY_CLASSES_ROOT, ".ssb"), "<no key>");  // the English script has no file type
  EXPECT_NE(Value(HKEY_LOCAL_MACHINE, std::string(kHelperObjectsKey) + "\\" + GuidToString(CLSID_BrowserHelperObject)),
            "<no key>");

  SetLanguageOverride(Language::Japanese);
  ASSERT_EQ(RegisterModule(module_), S_OK);
  EXPECT_EQ(Value(HKEY_LOCAL_MACHINE, button_, "MenuText"), "Scrollsnapでキャプチャする(&W)");
  EXPECT_EQ(Value(HKEY_CLASSES_ROOT, ".ssb"), "Quillmere.Setting");
  EXPECT_EQ(Value(HKEY_CLASSES_ROOT, "Quillmere.Setting", "BrowserFlags"), std::string("\x08\0\0\0", 4));
  EXPECT_EQ(Value(HKEY_CLASSES_ROOT, "Quillmere.Setting\\DefaultIcon"), module_ + ",202");
}

TEST_F(RegistrationTest, UnregisteringLeavesOtherHelperObjectsInPlace) {
  std::string other = std::string(kHelperObjectsKey) + "\\{00000000-1111-2222-3333-444444444444}";
  HKEY k = 0;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, other.c_str(), KEY_ALL_ACCESS, &k, nullptr), ERROR_SUCCESS);
  RegCloseKey(k);
  ASSERT_EQ(RegisterModule(module_), S_OK);
  ASSERT_EQ(UnregisterModule(module_), S_OK);
  EXPECT_NE(Value(HKEY_LOCAL_MACHINE, other), "<no key>");
  EXPECT_EQ(Value(HKEY_LOCAL_MACHINE, std::string(kHelperObjectsKey) + "\\" + GuidToString(CLSID_BrowserHelperObject)),
            "<no key>");
  EXPECT_EQ(Value(HKEY_LOCAL_MACHINE, button_), "<no key>");
  EXPECT_EQ(Value(HKEY_CLASSES_ROOT, clsid_), "<no key>");
  EXPECT_EQ(Value(HKEY_CLASSES_ROOT, "Quillmere.Extension"), "<no key>");
}

}  // namespace
}  // namespace ss
