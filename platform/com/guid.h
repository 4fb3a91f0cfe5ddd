// GUIDs: the 128-bit identifiers of classes, interfaces and type libraries,
// with the "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" text form.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/base/result.h"

namespace ss {

struct GUID {
  std::uint32_t Data1;
  std::uint16_t Data2;
  std::uint16_t Data3;
  std::uint8_t Data4[8];
};
static_assert(sizeof(GUID) == 16);

using IID = GUID;
using CLSID = GUID;
using REFIID = const IID&;
using REFCLSID = const CLSID&;
using REFGUID = const GUID&;

constexpr bool operator==(const GUID& a, const GUID& b) {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
  for (int i = 0; i < 8; ++i)
    if (a.Data4[i] != b.Data4[i]) return false;
  return true;
}
constexpr bool operator!=(const GUID& a, const GUID& b) { return !(a == b); }
inline bool IsEqualGUID(REFGUID a, REFGUID b) { return a == b; }
inline bool IsEqualIID(REFIID a, REFIID b) { return a == b; }

constexpr GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

// The text does not name a GUID (CO_E_CLASSSTRING).
constexpr HRESULT CO_E_CLASSSTRING = MakeHResult(0x800401F3);

namespace detail {

constexpr int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Parses the 36-character body "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx".
constexpr bool ParseGuidBody(std::string_view s, GUID& g) {
  if (s.size() != 36) return false;
  if (s[8] != '-' || s[13] != '-' || s[18] != '-' || s[23] != '-') return false;
  auto hex = [&](std::size_t pos, std::size_t n, std::uint64_t& v) {
    v = 0;
    for (std::size_t i = 0; i < n; ++i) {
      int d = HexDigit(s[pos + i]);
      if (d < 0) return false;
      v = (v << 4) | static_cast<std::uint64_t>(d);
    }
    return true;
  };
  std::uint64_t v = 0;
  if (!hex(0, 8, v)) return false;
  g.Data1 = static_cast<std::uint32_t>(v);
  if (!hex(9, 4, v)) return false;
  g.Data2 = static_cast<std::uint16_t>(v);
  if (!hex(14, 4, v)) return false;
  g.Data3 = static_cast<std::uint16_t>(v);
  if (!hex(19, 2, v)) return false;
  g.Data4[0] = static_cast<std::uint8_t>(v);
  if (!hex(21, 2, v)) return false;
  g.Data4[1] = static_cast<std::uint8_t>(v);
  for (int i = 0; i < 6; ++i) {
    if (!hex(24 + 2 * static_cast<std::size_t>(i), 2, v)) return false;
    g.Data4[2 + i] = static_cast<std::uint8_t>(v);
  }
  return true;
}

}  // namespace detail

// A GUID from its text at compile time, with or without braces:
//   constexpr IID IID_IFoo = MakeGuid("{12345678-...}");
// A malformed literal does not compile.
consteval GUID MakeGuid(std::string_view text) {
  GUID g{};
  std::string_view body = text;
  if (body.size() == 38 && body.front() == '{' && body.back() == '}') body = body.substr(1, 36);
  if (!detail::ParseGuidBody(body, g)) throw "malformed GUID literal";
  return g;
}

// Parses "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" (hex digits in either case,
// surrounding braces required). CO_E_CLASSSTRING for any other text, E_POINTER
// for a null output.
HRESULT GuidFromString(std::string_view text, GUID* out);
// The braced text in upper-case hex, 38 characters.
std::string GuidToString(const GUID& guid);

}  // namespace ss

template <>
struct std::hash<ss::GUID> {
  std::size_t operator()(const ss::GUID& g) const noexcept {
    std::uint64_t a = (static_cast<std::uint64_t>(g.Data1) << 32) | (static_cast<std::uint64_t>(g.Data2) << 16) | g.Data3;
    std::uint64_t b = 0;
    for (int i = 0; i < 8; ++i) b = (b << 8) | g.Data4[i];
    return std::hash<std::uint64_t>()(a * 0x9E3779B97F4A7C15ull ^ b);
  }
};
