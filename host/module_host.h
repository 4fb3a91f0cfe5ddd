// The host's side of the add-on module: finding it through the registry the
// way the browser does, loading it, and creating its objects.
#pragma once

#include <string>

#include "com/module.h"
#include "com/ole.h"
#include "platform/browser/html.h"

namespace ss::host {

// The module file that sits beside the host (../lib/scrollsnap.so).
std::string BundledModulePath();

// Loads a module and owns it: FreeLibrary when it goes away.
class LoadedModule {
 public:
  LoadedModule() = default;
  ~LoadedModule();
  LoadedModule(const LoadedModule&) = delete;
  LoadedModule& operator=(const LoadedModule&) = delete;

  // 0, or a failure with a message for the user in `why`.
  HRESULT Load(const std::string& path, std::string* why);
  void* Export(const char* name) const;
  HRESULT GetClassObject(REFCLSID clsid, IClassFactory** factory) const;
  const std::string& path() const { return path_; }

 private:
  HMODULE module_ = 0;
  std::string path_;
};

// What the browser reads to show the toolbar button: the button's entry and
// the module registered for the class it names. 0, or a failure whose `why`
// tells the user what to do.
struct RegisteredButton {
  CLSID extensionClsid{};
  std::string modulePath;
};
HRESULT FindRegisteredButton(RegisteredButton* out, std::string* why);

// The site the host gives the Extension object: a command target that
// provides the browser as the SID_SWebBrowserApp service.
class BrowserSite : public ComObject<IOleCommandTarget, IServiceProvider> {
 public:
  explicit BrowserSite(ComPtr<IWebBrowser2> browser) : browser_(std::move(browser)) {}
  HRESULT QueryStatus(const GUID*, ULONG, OLECMD*, OLECMDTEXT*) override { return OLECMDERR_E_UNKNOWNGROUP; }
  HRESULT Exec(const GUID*, DWORD, DWORD, VARIANT*, VARIANT*) override { return OLECMDERR_E_UNKNOWNGROUP; }
  HRESULT QueryService(REFGUID service, REFIID riid, void** object) override;

 private:
  ComPtr<IWebBrowser2> browser_;
};

}  // namespace ss::host
