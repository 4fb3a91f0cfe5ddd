// The module's entry points: the four exports of an in-process server and the
// entry the library loader calls when the module is loaded into a process.
#pragma once

#include "platform/com/guid.h"
#include "platform/loader/loader.h"

extern "C" {
ss::HRESULT DllCanUnloadNow();
ss::HRESULT DllGetClassObject(ss::REFCLSID clsid, ss::REFIID riid, void** object);
ss::HRESULT DllRegisterServer();
ss::HRESULT DllUnregisterServer();
// Refuses a process whose executable path contains "explorer.exe" (in any
// letter case); opens the shared mutex on attach and closes it on detach.
ss::BOOL DllMain(ss::HMODULE module, ss::DWORD reason, void* reserved);
}

namespace ss {

using DllGetClassObjectProc = HRESULT (*)(REFCLSID, REFIID, void**);
using DllCanUnloadNowProc = HRESULT (*)();
using DllRegisterServerProc = HRESULT (*)();

// True when the module may load into the process at `executablePath`.
bool ModuleAllowedIn(const std::string& executablePath);

}  // namespace ss
