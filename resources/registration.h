// The module's registration scripts, in the registrar's syntax: 101 for the
// Extension class (an English and a Japanese variant) and 188 for the
// BrowserHelperObject class. %MODULE% stands for the module's path.
#pragma once

#include "platform/resources/resources.h"

namespace ss {

const char* ExtensionRegistrationScript(Language lang);
const char* BrowserHelperRegistrationScript();

}  // namespace ss
