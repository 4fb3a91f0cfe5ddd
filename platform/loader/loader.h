// The library loader: opens a shared object the way the system's code expects
// a Windows module to be opened. After dlopen it calls the library's exported
// `DllMain` (when it has one) with DLL_PROCESS_ATTACH, and a library that
// answers FALSE is closed again and the load fails, so a module can refuse the
// process it is loaded into. FreeLibrary sends DLL_PROCESS_DETACH first.
#pragma once

#include <cstdint>
#include <string>

#include "platform/base/result.h"

namespace ss {

using HMODULE = std::uint32_t;

constexpr DWORD DLL_PROCESS_DETACH = 0;
constexpr DWORD DLL_PROCESS_ATTACH = 1;
constexpr LONG ERROR_MOD_NOT_FOUND = 126;
constexpr LONG ERROR_PROC_NOT_FOUND = 127;
constexpr LONG ERROR_DLL_INIT_FAILED = 1114;

// The entry a library may export as "DllMain".
using DllMainProc = BOOL (*)(HMODULE module, DWORD reason, void* reserved);

// 0 on failure; LoaderLastError() then tells why and LoaderLastErrorText()
// gives the dynamic linker's message. A name without a "/" is looked for in
// the folders of $SCROLLSNAP_LIBRARY_PATH (colon-separated) first, then where
// the dynamic linker looks.
HMODULE LoadLibraryA(const char* name);
BOOL FreeLibrary(HMODULE module);
void* GetProcAddress(HMODULE module, const char* name);
// The library's full path; module 0 names the process's executable.
std::string GetModuleFileNameA(HMODULE module);

LONG LoaderLastError();
std::string LoaderLastErrorText();

}  // namespace ss
