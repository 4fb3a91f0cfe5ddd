// IDispatch and the small VARIANT it carries: late-bound calls by dispid,
// with names looked up case-insensitively.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

#include "platform/com/unknown.h"

namespace ss {

// Texts crossing the object interfaces are wide strings (UTF-16), as the
// browser hands them out; the system converts them with WideToAnsi.
using BSTR = std::u16string;

using VARTYPE = std::uint16_t;
constexpr VARTYPE VT_EMPTY = 0;
constexpr VARTYPE VT_NULL = 1;
constexpr VARTYPE VT_I2 = 2;
constexpr VARTYPE VT_I4 = 3;
constexpr VARTYPE VT_R8 = 5;
constexpr VARTYPE VT_BSTR = 8;
constexpr VARTYPE VT_DISPATCH = 9;
constexpr VARTYPE VT_BOOL = 11;
constexpr VARTYPE VT_UNKNOWN = 13;
constexpr VARTYPE VT_UI4 = 19;
constexpr VARTYPE VT_INT = 22;

using VARIANT_BOOL = std::int16_t;
constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;

class IDispatch;

// A tagged value: empty, null, 16/32-bit integers, a double, a text, a
// boolean, or an interface reference (held with a reference of its own).
class VARIANT {
 public:
  VARIANT() = default;
  VARIANT(const VARIANT& o);
  VARIANT(VARIANT&& o) noexcept;
  VARIANT& operator=(const VARIANT& o);
  VARIANT& operator=(VARIANT&& o) noexcept;
  ~VARIANT() { Clear(); }

  static VARIANT Null();
  static VARIANT Short(std::int16_t v);
  static VARIANT Long(std::int32_t v);
  static VARIANT UnsignedLong(std::uint32_t v);
  static VARIANT Double(double v);
  static VARIANT Bool(bool v);
  static VARIANT String(BSTR v);
  static VARIANT Dispatch(IDispatch* p);  // takes a new reference
  static VARIANT Unknown(IUnknown* p);    // takes a new reference

  VARTYPE vt() const { return vt_; }
  bool IsEmptyOrNull() const { return vt_ == VT_EMPTY || vt_ == VT_NULL; }
  std::int16_t iVal() const { return static_cast<std::int16_t>(i_); }
  std::int32_t lVal() const { return static_cast<std::int32_t>(i_); }
  std::uint32_t ulVal() const { return static_cast<std::uint32_t>(i_); }
  double dblVal() const { return d_; }
  VARIANT_BOOL boolVal() const { return static_cast<VARIANT_BOOL>(i_); }
  const BSTR& bstrVal() const { return s_; }
  // The held interface (no new reference); null for other types.
  IDispatch* pdispVal() const;
  IUnknown* punkVal() const { return (vt_ == VT_DISPATCH || vt_ == VT_UNKNOWN) ? unk_ : nullptr; }

  void Clear();

 private:
  VARTYPE vt_ = VT_EMPTY;
  std::int64_t i_ = 0;
  double d_ = 0;
  BSTR s_;
  IUnknown* unk_ = nullptr;
};

using DISPID = std::int32_t;
using LCID = DWORD;
constexpr DISPID DISPID_UNKNOWN = -1;
constexpr DISPID DISPID_VALUE = 0;
constexpr DISPID DISPID_PROPERTYPUT = -3;
constexpr LCID LOCALE_USER_DEFAULT = 0x0400;

constexpr WORD DISPATCH_METHOD = 1;
constexpr WORD DISPATCH_PROPERTYGET = 2;
constexpr WORD DISPATCH_PROPERTYPUT = 4;
constexpr WORD DISPATCH_PROPERTYPUTREF = 8;

constexpr HRESULT DISP_E_MEMBERNOTFOUND = MakeHResult(0x80020003);
constexpr HRESULT DISP_E_TYPEMISMATCH = MakeHResult(0x80020005);
constexpr HRESULT DISP_E_UNKNOWNNAME = MakeHResult(0x80020006);
constexpr HRESULT DISP_E_BADPARAMCOUNT = MakeHResult(0x8002000E);
constexpr HRESULT DISP_E_PARAMNOTOPTIONAL = MakeHResult(0x8002000F);

// Arguments in reverse order: rgvarg[0] is the last argument.
struct DISPPARAMS {
  VARIANT* rgvarg = nullptr;
  DISPID* rgdispidNamedArgs = nullptr;
  UINT cArgs = 0;
  UINT cNamedArgs = 0;
};

struct EXCEPINFO {
  WORD wCode = 0;
  BSTR bstrSource;
  BSTR bstrDescription;
  HRESULT scode = S_OK;
};

class IDispatch : public IUnknown {
 public:
  using Base = IUnknown;
  static constexpr IID iid = MakeGuid("{00020400-0000-0000-C000-000000000046}");
  // Type information is not offered: count 0.
  virtual HRESULT GetTypeInfoCount(UINT* count) = 0;
  virtual HRESULT GetIDsOfNames(REFIID riid, const char16_t* const* names, UINT count, LCID lcid, DISPID* ids) = 0;
  virtual HRESULT Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                         EXCEPINFO* exception, UINT* argError) = 0;
};

// A name → dispid table for implementations of GetIDsOfNames. Names compare
// case-insensitively (ASCII). Unknown names get DISPID_UNKNOWN and the call
// returns DISP_E_UNKNOWNNAME.
struct DispatchName {
  std::u16string_view name;
  DISPID id;
};
HRESULT LookupDispIds(std::initializer_list<DispatchName> table, const char16_t* const* names, UINT count,
                      DISPID* ids);

// Client helpers: read a property / call a method by name or dispid.
HRESULT GetDispId(IDispatch* object, std::u16string_view name, DISPID* id);
HRESULT GetProperty(IDispatch* object, DISPID id, VARIANT* result);
HRESULT GetPropertyByName(IDispatch* object, std::u16string_view name, VARIANT* result);
// `args` in natural order (first argument first).
HRESULT InvokeMethod(IDispatch* object, DISPID id, std::initializer_list<VARIANT> args, VARIANT* result);

}  // namespace ss
