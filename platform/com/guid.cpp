#include "platform/com/guid.h"

#include <cstdio>

namespace ss {

HRESULT GuidFromString(std::string_view text, GUID* out) {
  if (!out) return E_POINTER;
  if (text.size() != 38 || text.front() != '{' || text.back() != '}') return CO_E_CLASSSTRING;
  GUID g{};
  if (!detail::ParseGuidBody(text.substr(1, 36), g)) return CO_E_CLASSSTRING;
  *out = g;
  return S_OK;
}

std::string GuidToString(const GUID& g) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2, g.Data3,
                g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return buf;
}

}  // namespace ss
