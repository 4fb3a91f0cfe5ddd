#include "host/module_host.h"

#include <climits>
#include <unistd.h>

#include "com/guids.h"
#include "platform/registry/registry.h"

namespace ss::host {

std::string BundledModulePath() {
  std::string exe = GetModuleFileNameA(0);
  std::size_t slash = exe.rfind('/');
  std::string bin = slash == std::string::npos ? "." : exe.substr(0, slash);
  std::size_t up = bin.rfind('/');
  std::string prefix = up == std::string::npos ? "." : bin.substr(0, up);
  return prefix + "/lib/scrollsnap.so";
}

LoadedModule::~LoadedModule() {
  if (module_) FreeLibrary(module_);
}

HRESULT LoadedModule::Load(const std::string& path, std::string* why) {
  module_ = LoadLibraryA(path.c_str());
  if (!module_) {
    if (why) *why = "cannot load the Scrollsnap module " + path + ": " + LoaderLastErrorText();
    return HResultFromWin32(LoaderLastError());
  }
  path_ = path;
  return S_OK;
}

void* LoadedModule::Export(const char* name) const { return module_ ? GetProcAddress(module_, name) : nullptr; }

HRESULT LoadedModule::GetClassObject(REFCLSID clsid, IClassFactory** factory) const {
  auto get = reinterpret_cast<DllGetClassObjectProc>(Export("DllGetClassObject"));
  if (!get) return HResultFromWin32(ERROR_PROC_NOT_FOUND);
  return get(clsid, IClassFactory::iid, reinterpret_cast<void**>(factory));
}

namespace {

std::string ReadText(HKEY root, const std::string& path, const char* name) {
  HKEY k = 0;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return "";
  char buf[1024];
  DWORD type = 0, size = sizeof buf - 1;
  std::string out;
  if (RegQueryValueExA(k, name, &type, reinterpret_cast<BYTE*>(buf), &size) == ERROR_SUCCESS && type == REG_SZ) {
    out.assign(buf, size);
    std::size_t nul = out.find('\0');
    if (nul != std::string::npos) out.resize(nul);
  }
  RegCloseKey(k);
  return out;
}

}  // namespace

HRESULT FindRegisteredButton(RegisteredButton* out, std::string* why) {
  const std::string notRegistered = "the Scrollsnap module is not registered; run 'scrollsnap register' first";
  std::string button = std::string(kExtensionsKey) + "\\" + GuidToString(GUID_ToolbarButton);
  std::string clsidText = ReadText(HKEY_LOCAL_MACHINE, button, "ClsidExtension");
  if (clsidText.empty() || Failed(GuidFromString(clsidText, &out->extensionClsid))) {
    if (why) *why = notRegistered + " (no toolbar button entry)";
    return HResultFromWin32(ERROR_FILE_NOT_FOUND);
  }
  out->modulePath = ReadText(HKEY_CLASSES_ROOT, "CLSID\\" + clsidText + "\\InprocServer32", "");
  if (out->modulePath.empty()) {
    if (why) *why = notRegistered + " (no module for class " + clsidText + ")";
    return HResultFromWin32(ERROR_FILE_NOT_FOUND);
  }
  if (access(out->modulePath.c_str(), R_OK) != 0) {
    if (why) *why = "the registered Scrollsnap module " + out->modulePath + " is missing; run 'scrollsnap register' again";
    return HResultFromWin32(ERROR_MOD_NOT_FOUND);
  }
  return S_OK;
}

HRESULT BrowserSite::QueryService(REFGUID service, REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (service != SID_SWebBrowserApp || !browser_) return E_NOINTERFACE;
  return browser_->QueryInterface(riid, object);
}

}  // namespace ss::host
