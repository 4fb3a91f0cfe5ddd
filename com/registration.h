// Registration of the module: its two classes, the toolbar button, the helper
// object entry and the type library, into the registry store.
#pragma once

#include <string>

#include "platform/base/result.h"

namespace ss {

// The bodies of DllRegisterServer and DllUnregisterServer for the module at
// `modulePath`. The Extension script follows the user's language.
HRESULT RegisterModule(const std::string& modulePath);
HRESULT UnregisterModule(const std::string& modulePath);

}  // namespace ss
