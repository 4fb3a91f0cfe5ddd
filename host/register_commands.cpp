// scrollsnap register / unregister: runs the module's own registration, as an
// installer would, so that the host finds the toolbar button and the module
// through the registry.
#include <cstdio>

#include "host/admin_commands.h"
#include "host/host_options.h"
#include "host/module_host.h"

namespace ss::host {
namespace {

int RunRegistration(const std::vector<std::string>& args, bool registering) {
  if (!args.empty()) {
    PrintError(registering ? "usage: scrollsnap register" : "usage: scrollsnap unregister");
    return kExitUsage;
  }
  LoadedModule module;
  std::string why;
  std::string path = BundledModulePath();
  if (Failed(module.Load(path, &why))) {
    PrintError("scrollsnap: " + why);
    return kExitError;
  }
  auto entry = reinterpret_cast<DllRegisterServerProc>(
      module.Export(registering ? "DllRegisterServer" : "DllUnregisterServer"));
  if (!entry) {
    PrintError("scrollsnap: " + path + " is not a Scrollsnap module (no registration entry)");
    return kExitError;
  }
  HRESULT hr = entry();
  if (Failed(hr)) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08x", static_cast<unsigned>(hr));
    PrintError(std::string("scrollsnap: ") + (registering ? "registration" : "unregistration") + " failed (error " +
               code + ")");
    return kExitError;
  }
  PrintLine(std::string(registering ? "Registered " : "Unregistered ") + path);
  return kExitDone;
}

}  // namespace

int RunRegisterCommand(const std::vector<std::string>& args) { return RunRegistration(args, true); }
int RunUnregisterCommand(const std::vector<std::string>& args) { return RunRegistration(args, false); }

}  // namespace ss::host
