#include "com/registration.h"

#include "platform/registrar/registrar.h"
#include "platform/resources/resources.h"
#include "resources/registration.h"

namespace ss {
namespace {

// What registering the type library writes: the library and the two dual
// interfaces, marshalled by the automation marshaller.
const char kTypeLibrary[] =
    "HKCR\n"
    "{\n"
    "\tNoRemove TypeLib\n"
    "\t{\n"
    "\t\tForceRemove {4FF7AD26-38FC-454D-BA3C-437EC1EE5219}\n"
    "\t\t{\n"
    "\t\t\t1.0 = s 'Quillmere 1.0 ﾀｲﾌﾟ ﾗｲﾌﾞﾗﾘ'\n"
    "\t\t\t{\n"
    "\t\t\t\t0\n"
    "\t\t\t\t{\n"
    "\t\t\t\t\twin32 = s '%MODULE%'\n"
    "\t\t\t\t}\n"
    "\t\t\t\tFLAGS = s '0'\n"
    "\t\t\t\tHELPDIR = s '%MODULEDIR%'\n"
    "\t\t\t}\n"
    "\t\t}\n"
    "\t}\n"
    "\tNoRemove Interface\n"
    "\t{\n"
    "\t\tForceRemove {7EBA0A54-B2C8-4D00-8137-CAE3ADAE81CA} = s 'IExtension'\n"
    "\t\t{\n"
    "\t\t\tProxyStubClsid32 = s '{00020424-0000-0000-C000-000000000046}'\n"
    "\t\t\tTypeLib = s '{4FF7AD26-38FC-454D-BA3C-437EC1EE5219}'\n"
    "\t\t\t{\n"
    "\t\t\t\tval Version = s '1.0'\n"
    "\t\t\t}\n"
    "\t\t}\n"
    "\t\tForceRemove {9B1123AE-6796-4DD2-94B4-EE814243788F} = s 'IBrowserHelperObject'\n"
    "\t\t{\n"
    "\t\t\tProxyStubClsid32 = s '{00020424-0000-0000-C000-000000000046}'\n"
    "\t\t\tTypeLib = s '{4FF7AD26-38FC-454D-BA3C-437EC1EE5219}'\n"
    "\t\t\t{\n"
    "\t\t\t\tval Version = s '1.0'\n"
    "\t\t\t}\n"
    "\t\t}\n"
    "\t}\n"
    "}\n";

RegistrarReplacements Replacements(const std::string& modulePath) {
  std::size_t slash = modulePath.rfind('/');
  return {{"MODULE", modulePath}, {"MODULEDIR", slash == std::string::npos ? "" : modulePath.substr(0, slash)}};
}

HRESULT RunAll(const std::string& modulePath, bool registering) {
  RegistrarReplacements repl = Replacements(modulePath);
  const char* scripts[] = {ExtensionRegistrationScript(UserLanguage()), BrowserHelperRegistrationScript(),
                           kTypeLibrary};
  for (const char* script : scripts)
    if (HRESULT hr = RegistrarRun(script, registering, repl); Failed(hr)) return hr;
  return S_OK;
}

}  // namespace

HRESULT RegisterModule(const std::string& modulePath) { return RunAll(modulePath, true); }

HRESULT UnregisterModule(const std::string& modulePath) { return RunAll(modulePath, false); }

}  // namespace ss
