#include "platform/loader/loader.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/base/handle_table.h"

namespace ss {
namespace {

struct Library {
  void* dl = nullptr;
  std::string path;
};

HandleTable<Library>& Libraries() {
  static HandleTable<Library> table(0x00400000u);
  return table;
}

thread_local LONG t_lastError = ERROR_SUCCESS;
thread_local std::string t_lastText;

void Fail(LONG error, std::string text) {
  t_lastError = error;
  t_lastText = std::move(text);
}

// A bare library name is looked for in the folders of SCROLLSNAP_LIBRARY_PATH
// first (read at every call), then where the dynamic linker looks.
std::string Resolve(const char* name) {
  if (std::strchr(name, '/')) return name;
  const char* dirs = std::getenv("SCROLLSNAP_LIBRARY_PATH");
  if (!dirs) return name;
  std::string list = dirs;
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t end = list.find(':', start);
    if (end == std::string::npos) end = list.size();
    if (end > start) {
      std::string candidate = list.substr(start, end - start) + "/" + name;
      if (access(candidate.c_str(), R_OK) == 0) return candidate;
    }
    start = end + 1;
  }
  return name;
}

}  // namespace

HMODULE LoadLibraryA(const char* name) {
  if (!name || !*name) {
    Fail(ERROR_INVALID_PARAMETER, "no library named");
    return 0;
  }
  std::string resolved = Resolve(name);
  const char* path = resolved.c_str();
  void* dl = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (!dl) {
    const char* why = dlerror();
    Fail(ERROR_MOD_NOT_FOUND, why ? why : path);
    return 0;
  }
  auto lib = std::make_shared<Library>();
  lib->dl = dl;
  char real[PATH_MAX];
  lib->path = realpath(path, real) ? real : path;
  HMODULE h = Libraries().Add(lib);
  if (auto entry = reinterpret_cast<DllMainProc>(dlsym(dl, "DllMain"))) {
    if (!entry(h, DLL_PROCESS_ATTACH, nullptr)) {
      Libraries().Remove(h);
      dlclose(dl);
      Fail(ERROR_DLL_INIT_FAILED, std::string(path) + ": the library refused to load into this process");
      return 0;
    }
  }
  t_lastError = ERROR_SUCCESS;
  t_lastText.clear();
  return h;
}

BOOL FreeLibrary(HMODULE module) {
  std::shared_ptr<Library> lib = Libraries().Get(module);
  if (!lib) {
    Fail(ERROR_INVALID_HANDLE, "not a library handle");
    return 0;
  }
  if (auto entry = reinterpret_cast<DllMainProc>(dlsym(lib->dl, "DllMain")))
    entry(module, DLL_PROCESS_DETACH, nullptr);
  Libraries().Remove(module);
  dlclose(lib->dl);
  return 1;
}

void* GetProcAddress(HMODULE module, const char* name) {
  std::shared_ptr<Library> lib = Libraries().Get(module);
  if (!lib) {
    Fail(ERROR_INVALID_HANDLE, "not a library handle");
    return nullptr;
  }
  void* p = dlsym(lib->dl, name);
  if (!p) Fail(ERROR_PROC_NOT_FOUND, std::string(name) + " is not exported by " + lib->path);
  return p;
}

std::string GetModuleFileNameA(HMODULE module) {
  if (module == 0) {
    char self[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    return n > 0 ? std::string(self, static_cast<std::size_t>(n)) : std::string();
  }
  std::shared_ptr<Library> lib = Libraries().Get(module);
  return lib ? lib->path : std::string();
}

LONG LoaderLastError() { return t_lastError; }
std::string LoaderLastErrorText() { return t_lastText; }

}  // namespace ss
