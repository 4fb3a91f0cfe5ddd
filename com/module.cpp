#include "com/module.h"

#include <atomic>

#include "com/browser_helper.h"
#include "com/extension.h"
#include "com/registration.h"
#include "platform/codepage/codepage.h"
#include "platform/folders/folders.h"
#include "settings/shared_state.h"

namespace ss {
namespace {

std::atomic<long>& LockCount() {
  static std::atomic<long> count{0};
  return count;
}

using CreateFn = HRESULT (*)(IUnknown* outer, REFIID riid, void** object);

class ClassFactory : public ComObject<IClassFactory> {
 public:
  explicit ClassFactory(CreateFn create) : create_(create) { ModuleLock(); }
  ~ClassFactory() override { ModuleUnlock(); }
  HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object) override { return create_(outer, riid, object); }
  HRESULT LockServer(BOOL lock) override {
    if (lock) ModuleLock();
    else ModuleUnlock();
    return S_OK;
  }

 private:
  CreateFn create_;
};

std::string ThisModulePath() { return ModuleFileNameOf(reinterpret_cast<const void*>(&DllRegisterServer)); }

}  // namespace

void ModuleLock() { ++LockCount(); }
void ModuleUnlock() { --LockCount(); }
long ModuleLockCount() { return LockCount().load(); }

bool ModuleAllowedIn(const std::string& executablePath) {
  // Lower-cased byte by byte, leaving the bytes of multi-byte characters alone.
  std::string lower;
  const char* p = executablePath.data();
  const char* end = p + executablePath.size();
  while (p < end) {
    std::size_t n = CharLength(p, end);
    if (n == 1 && *p >= 'A' && *p <= 'Z') lower += static_cast<char>(*p - 'A' + 'a');
    else lower.append(p, n);
    p += n;
  }
  return lower.find("explorer.exe") == std::string::npos;
}

}  // namespace ss

using namespace ss;

extern "C" HRESULT DllCanUnloadNow() { return ModuleLockCount() == 0 ? S_OK : S_FALSE; }

extern "C" HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  CreateFn create = nullptr;
  if (clsid == CLSID_Extension) create = &Extension::Create;
  else if (clsid == CLSID_BrowserHelperObject) create = &BrowserHelperObject::Create;
  else return CLASS_E_CLASSNOTAVAILABLE;
  ComPtr<ClassFactory> factory = MakeCom<ClassFactory>(create);
  if (!factory) return E_OUTOFMEMORY;
  return factory->QueryInterface(riid, object);
}

extern "C" HRESULT DllRegisterServer() { return RegisterModule(ThisModulePath()); }

extern "C" HRESULT DllUnregisterServer() { return UnregisterModule(ThisModulePath()); }

extern "C" BOOL DllMain(HMODULE, DWORD reason, void*) {
  if (reason == DLL_PROCESS_ATTACH) {
    if (!ModuleAllowedIn(GetModuleFileNameA(0))) return 0;
    CreateSharedMutex();
  } else if (reason == DLL_PROCESS_DETACH) {
    CloseSharedMutex();
  }
  return 1;
}
