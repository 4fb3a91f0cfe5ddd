#include "platform/com/dispatch.h"

#include <algorithm>
#include <vector>

namespace ss {

VARIANT::VARIANT(const VARIANT& o) : vt_(o.vt_), i_(o.i_), d_(o.d_), s_(o.s_), unk_(o.unk_) {
  if (unk_) unk_->AddRef();
}

VARIANT::VARIANT(VARIANT&& o) noexcept
    : vt_(std::exchange(o.vt_, VT_EMPTY)), i_(o.i_), d_(o.d_), s_(std::move(o.s_)),
      unk_(std::exchange(o.unk_, nullptr)) {}

VARIANT& VARIANT::operator=(const VARIANT& o) {
  if (this != &o) {
    VARIANT copy(o);
    *this = std::move(copy);
  }
  return *this;
}

VARIANT& VARIANT::operator=(VARIANT&& o) noexcept {
  if (this != &o) {
    Clear();
    vt_ = std::exchange(o.vt_, VT_EMPTY);
    i_ = o.i_;
    d_ = o.d_;
    s_ = std::move(o.s_);
    unk_ = std::exchange(o.unk_, nullptr);
  }
  return *this;
}

void VARIANT::Clear() {
  if (IUnknown* p = std::exchange(unk_, nullptr)) p->Release();
  vt_ = VT_EMPTY;
  i_ = 0;
  d_ = 0;
  s_.clear();
}

VARIANT VARIANT::Null() {
  VARIANT v;
  v.vt_ = VT_NULL;
  return v;
}

VARIANT VARIANT::Short(std::int16_t x) {
  VARIANT v;
  v.vt_ = VT_I2;
  v.i_ = x;
  return v;
}

VARIANT VARIANT::Long(std::int32_t x) {
  VARIANT v;
  v.vt_ = VT_I4;
  v.i_ = x;
  return v;
}

VARIANT VARIANT::UnsignedLong(std::uint32_t x) {
  VARIANT v;
  v.vt_ = VT_UI4;
  v.i_ = x;
  return v;
}

VARIANT VARIANT::Double(double x) {
  VARIANT v;
  v.vt_ = VT_R8;
  v.d_ = x;
  return v;
}

VARIANT VARIANT::Bool(bool x) {
  VARIANT v;
  v.vt_ = VT_BOOL;
  v.i_ = x ? VARIANT_TRUE : VARIANT_FALSE;
  return v;
}

VARIANT VARIANT::String(BSTR x) {
  VARIANT v;
  v.vt_ = VT_BSTR;
  v.s_ = std::move(x);
  return v;
}

VARIANT VARIANT::Dispatch(IDispatch* p) {
  VARIANT v;
  v.vt_ = VT_DISPATCH;
  v.unk_ = p;
  if (p) p->AddRef();
  return v;
}

VARIANT VARIANT::Unknown(IUnknown* p) {
  VARIANT v;
  v.vt_ = VT_UNKNOWN;
  v.unk_ = p;
  if (p) p->AddRef();
  return v;
}

IDispatch* VARIANT::pdispVal() const {
  return vt_ == VT_DISPATCH ? static_cast<IDispatch*>(unk_) : nullptr;
}

namespace {

bool EqualsNoCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char16_t x = a[i], y = b[i];
    if (x >= u'A' && x <= u'Z') x = static_cast<char16_t>(x - u'A' + u'a');
    if (y >= u'A' && y <= u'Z') y = static_cast<char16_t>(y - u'A' + u'a');
    if (x != y) return false;
  }
  return true;
}

}  // namespace

HRESULT LookupDispIds(std::initializer_list<DispatchName> table, const char16_t* const* names, UINT count,
                      DISPID* ids) {
  if (!names || !ids) return E_POINTER;
  HRESULT hr = S_OK;
  for (UINT i = 0; i < count; ++i) {
    ids[i] = DISPID_UNKNOWN;
    if (!names[i]) {
      hr = DISP_E_UNKNOWNNAME;
      continue;
    }
    bool found = false;
    for (const auto& entry : table) {
      if (EqualsNoCase(entry.name, names[i])) {
        ids[i] = entry.id;
        found = true;
        break;
      }
    }
    if (!found) hr = DISP_E_UNKNOWNNAME;
  }
  return hr;
}

HRESULT GetDispId(IDispatch* object, std::u16string_view name, DISPID* id) {
  if (!object || !id) return E_POINTER;
  std::u16string n(name);
  const char16_t* names[1] = {n.c_str()};
  return object->GetIDsOfNames(GUID_NULL, names, 1, LOCALE_USER_DEFAULT, id);
}

HRESULT GetProperty(IDispatch* object, DISPID id, VARIANT* result) {
  if (!object || !result) return E_POINTER;
  DISPPARAMS none;
  return object->Invoke(id, GUID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, result, nullptr, nullptr);
}

HRESULT GetPropertyByName(IDispatch* object, std::u16string_view name, VARIANT* result) {
  DISPID id = DISPID_UNKNOWN;
  HRESULT hr = GetDispId(object, name, &id);
  if (Failed(hr)) return hr;
  return GetProperty(object, id, result);
}

HRESULT InvokeMethod(IDispatch* object, DISPID id, std::initializer_list<VARIANT> args, VARIANT* result) {
  if (!object) return E_POINTER;
  std::vector<VARIANT> reversed(args.begin(), args.end());
  std::reverse(reversed.begin(), reversed.end());
  DISPPARAMS params;
  params.rgvarg = reversed.empty() ? nullptr : reversed.data();
  params.cArgs = static_cast<UINT>(reversed.size());
  VARIANT ignored;
  return object->Invoke(id, GUID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result ? result : &ignored,
                        nullptr, nullptr);
}

}  // namespace ss
