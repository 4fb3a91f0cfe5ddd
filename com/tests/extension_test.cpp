#include "com/extension.h"

#include <gtest/gtest.h>

#include "com/browser_helper.h"
#include "com/module.h"
#include "platform/com/connection_point.h"
#include "platform/resources/resources.h"
#include "platform/ui/ui.h"
#include "tests/support/fixture_browser.h"
#include "tests/support/test_home.h"

namespace ss {
namespace {

using test::FixtureBrowser;

class ExtensionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetLanguageOverride(Language::English);
    SetUiBackend(&ui_);
  }
  void TearDown() override {
    SetUiBackend(nullptr);
    ClearLanguageOverride();
  }
  ComPtr<IExtension> Create() {
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(DllGetClassObject(CLSID_Extension, IClassFactory::iid, factory.ReleaseAndGetVoidAddress()), S_OK);
    ComPtr<IExtension> e;
    EXPECT_EQ(factory->CreateInstance(nullptr, IExtension::iid, e.ReleaseAndGetVoidAddress()), S_OK);
    return e;
  }
  test::TempHome home_;
  ScriptedBackend ui_;
};

TEST_F(ExtensionTest, CommandTargetCodes) {
  ComPtr<IExtension> e = Create();
  ComPtr<IOleCommandTarget> target;
  ASSERT_EQ(e.As(&target), S_OK);
  OLECMD cmds[3] = {{0, 0}, {1, 0}, {7, 0}};
  EXPECT_EQ(target->QueryStatus(nullptr, 3, nullptr, nullptr), E_POINTER);
  EXPECT_EQ(target->QueryStatus(&CLSID_Extension, 3, cmds, nullptr), S_OK);
  for (const OLECMD& c : cmds) EXPECT_EQ(c.cmdf, 3u);

  EXPECT_EQ(target->Exec(&CLSID_Extension, 0, 0, nullptr, nullptr), MakeHResult(0x80040104));
  EXPECT_EQ(target->Exec(nullptr, 1, 0, nullptr, nullptr), MakeHResult(0x80040100));
  EXPECT_EQ(target->Exec(nullptr, 0, 3, nullptr, nullptr), MakeHResult(0x80040102));
  EXPECT_TRUE(ui_.boxes.empty());

  // Id 0, option 0 runs a capture: without a browser it fails and says so.
  EXPECT_EQ(target->Exec(nullptr, 0, 0, nullptr, nullptr), E_POINTER);
  ASSERT_EQ(ui_.boxes.size(), 1u);
  EXPECT_EQ(ui_.boxes[0].caption, "Error");
  EXPECT_EQ(ui_.boxes[0].text, "An error occurred.\nError code: 0x80004003");
  EXPECT_EQ(ui_.boxes[0].type, MB_OK);
}

TEST_F(ExtensionTest, InterfacesDispatchAndBrowserProperty) {
  ComPtr<IExtension> e = Create();
  ComPtr<ISupportErrorInfo> errors;
  ASSERT_EQ(e.As(&errors), S_OK);
  EXPECT_EQ(errors->InterfaceSupportsErrorInfo(IID_IExtension), S_OK);
  EXPECT_EQ(errors->InterfaceSupportsErrorInfo(IDispatch::iid), S_FALSE);
  ComPtr<IObjectWithSite> site;
  EXPECT_EQ(e.As(&site), S_OK);
  ComPtr<IDispatch> disp;
  EXPECT_EQ(e.As(&disp), S_OK);

  const char16_t* names[] = {u"setbrowserhandle"};
  DISPID id = 0;
  EXPECT_EQ(disp->GetIDsOfNames(IDispatch::iid, names, 1, 0, &id), S_OK);
  EXPECT_EQ(id, 4);

  ComPtr<IUnknown> none;
  EXPECT_EQ(e->get_WebBrowser(none.ReleaseAndGetAddressOf()), E_POINTER);
  ComPtr<FixtureBrowser> browser = MakeCom<FixtureBrowser>();
  EXPECT_EQ(e->SetWebBrowser(browser.Get()), S_OK);
  ComPtr<IUnknown> got;
  EXPECT_EQ(e->get_WebBrowser(got.ReleaseAndGetAddressOf()), S_OK);
  EXPECT_EQ(static_cast<void*>(got.Get()), static_cast<void*>(static_cast<IDispatch*>(static_cast<IWebBrowser2*>(browser.Get()))));

  // A site without a command target gives no browser, and no error.
  EXPECT_EQ(site->SetSite(nullptr), E_POINTER);
}

TEST_F(ExtensionTest, AutomaticCaptureAdvisesOncePerThread) {
  ComPtr<IExtension> e = Create();
  ComPtr<FixtureBrowser> browser = MakeCom<FixtureBrowser>();
  ASSERT_EQ(e->SetWebBrowser(browser.Get()), S_OK);
  static_cast<Extension*>(e.Get())->session().settings.AutoCapturing = 1;
  HKEY k = 0;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Morrowby\\Quillmere", KEY_ALL_ACCESS, &k, nullptr), 0);
  BYTE one[4] = {1, 0, 0, 0};
  ASSERT_EQ(RegSetValueExA(k, "AutoCapturing", REG_DWORD, one, 4), 0);
  RegCloseKey(k);

  EXPECT_LT(e->StartProcess(), 0);  // no document to capture
  DWORD cookie = AutoCaptureCookieForThisThread();
  EXPECT_NE(cookie, 0u);
  EXPECT_EQ(browser->events().SinkCount(), 1u);
  EXPECT_LT(e->StartProcess(), 0);
  EXPECT_EQ(AutoCaptureCookieForThisThread(), cookie);
  EXPECT_EQ(browser->events().SinkCount(), 1u);

  // A page load while automatic capture is off elsewhere stops listening.
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Morrowby\\Quillmere", KEY_ALL_ACCESS, &k, nullptr), 0);
  BYTE zero[4] = {0, 0, 0, 0};
  ASSERT_EQ(RegSetValueExA(k, "AutoCapturing", REG_DWORD, zero, 4), 0);
  RegCloseKey(k);
  static_cast<Extension*>(e.Get())->session().settings.AutoCapturing = 0;
  browser->events().Fire(DISPID_DOCUMENTCOMPLETE, nullptr);
  EXPECT_EQ(AutoCaptureCookieForThisThread(), 0u);
  EXPECT_EQ(browser->events().SinkCount(), 0u);
}

TEST_F(ExtensionTest, AggregationAndUnloading) {
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(DllGetClassObject(CLSID_BrowserHelperObject, IClassFactory::iid, factory.ReleaseAndGetVoidAddress()), S_OK);
  EXPECT_EQ(DllGetClassObject(IID_IExtension, IClassFactory::iid, nullptr), E_POINTER);
  void* none = nullptr;
  EXPECT_EQ(DllGetClassObject(IID_IExtension, IClassFactory::iid, &none), MakeHResult(0x80040111));

  // An outer object that aggregates the helper object.
  class Outer : public ComObject<IUnknown> {
   public:
    ComPtr<IUnknown> inner;
  };
  ComPtr<Outer> outer = MakeCom<Outer>();
  void* p = nullptr;
  EXPECT_EQ(factory->CreateInstance(outer.Get(), IObjectWithSite::iid, &p), CLASS_E_NOAGGREGATION);
  ASSERT_EQ(factory->CreateInstance(outer.Get(), IUnknown::iid, outer->inner.ReleaseAndGetVoidAddress()), S_OK);
  ComPtr<IObjectWithSite> site;
  ASSERT_EQ(outer->inner.As(&site), S_OK);
  // The aggregated object's interfaces answer for the outer object.
  ComPtr<IUnknown> identity;
  ASSERT_EQ(site->QueryInterface(IUnknown::iid, identity.ReleaseAndGetVoidAddress()), S_OK);
  EXPECT_EQ(identity.Get(), static_cast<IUnknown*>(outer.Get()));

  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
  site = nullptr;
  identity = nullptr;
  outer->inner = nullptr;
  factory = nullptr;
  EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

TEST(ModuleEntryTest, RefusesTheShellInAnyLetterCase) {
  struct Case {
    const char* path;
    bool allowed;
  } cases[] = {
      {"/usr/bin/scrollsnap", true},
      {"C:/Windows/explorer.exe", false},
      {"/opt/EXPLORER.EXE", false},
      {"/opt/Explorer.Exe.d/host", false},
      {"/opt/iexplore.exe", true},
  };
  for (const Case& c : cases) EXPECT_EQ(ModuleAllowedIn(c.path), c.allowed) << c.path;
}

}  // namespace
}  // namespace ss
