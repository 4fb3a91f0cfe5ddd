// A ComObject whose IDispatch answers a fixed list of read-only properties by
// name (dispid = position in the list + 1).
#pragma once

#include <string_view>
#include <vector>

#include "platform/com/dispatch.h"
#include "platform/com/unknown.h"

namespace ss::browser {

template <typename... Interfaces>
class DispatchObject : public ComObject<Interfaces...> {
 public:
  HRESULT GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT GetIDsOfNames(REFIID, const char16_t* const* names, UINT count, LCID, DISPID* ids) override {
    if (!names || !ids) return E_POINTER;
    const auto& list = PropertyNames();
    HRESULT hr = S_OK;
    for (UINT i = 0; i < count; ++i) {
      ids[i] = DISPID_UNKNOWN;
      std::u16string_view n = names[i] ? std::u16string_view(names[i]) : std::u16string_view();
      for (std::size_t k = 0; k < list.size(); ++k) {
        if (SameName(list[k], n)) {
          ids[i] = static_cast<DISPID>(k + 1);
          break;
        }
      }
      if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
  }
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                 UINT*) override {
    if (!(flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD))) return DISP_E_MEMBERNOTFOUND;
    if (id < 1 || static_cast<std::size_t>(id) > PropertyNames().size()) return DISP_E_MEMBERNOTFOUND;
    if (params && params->cArgs != 0) return DISP_E_BADPARAMCOUNT;
    VARIANT ignored;
    return GetPropertyValue(id, result ? result : &ignored);
  }

 protected:
  virtual const std::vector<std::u16string_view>& PropertyNames() const = 0;
  virtual HRESULT GetPropertyValue(DISPID id, VARIANT* value) = 0;

 private:
  static bool SameName(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
      char16_t x = a[i], y = b[i];
      if (x >= u'A' && x <= u'Z') x = static_cast<char16_t>(x + 32);
      if (y >= u'A' && y <= u'Z') y = static_cast<char16_t>(y + 32);
      if (x != y) return false;
    }
    return true;
  }
};

// A browser's late-bound properties: Document, LocationURL and HWND, read
// through its IWebBrowser2 members (IWebBrowser2 is one of `Interfaces`).
template <typename... Interfaces>
class WebBrowserDispatch : public DispatchObject<Interfaces...> {
 protected:
  const std::vector<std::u16string_view>& PropertyNames() const override {
    static const std::vector<std::u16string_view> names = {u"Document", u"LocationURL", u"HWND"};
    return names;
  }
  HRESULT GetPropertyValue(DISPID id, VARIANT* value) override {
    if (id == 1) {
      ComPtr<IDispatch> d;
      HRESULT hr = this->get_Document(d.ReleaseAndGetAddressOf());
      if (Succeeded(hr)) *value = VARIANT::Dispatch(d.Get());
      return hr;
    }
    if (id == 2) {
      BSTR s;
      HRESULT hr = this->get_LocationURL(&s);
      if (Succeeded(hr)) *value = VARIANT::String(s);
      return hr;
    }
    HWND w = 0;
    HRESULT hr = this->get_HWND(&w);
    if (Succeeded(hr)) *value = VARIANT::Long(static_cast<LONG>(w));
    return hr;
  }
};

// A collection's one late-bound property: length (from its get_length).
template <typename... Interfaces>
class LengthDispatch : public DispatchObject<Interfaces...> {
 protected:
  const std::vector<std::u16string_view>& PropertyNames() const override {
    static const std::vector<std::u16string_view> names = {u"length"};
    return names;
  }
  HRESULT GetPropertyValue(DISPID, VARIANT* value) override {
    LONG n = 0;
    HRESULT hr = this->get_length(&n);
    if (Succeeded(hr)) *value = VARIANT::Long(n);
    return hr;
  }
};

}  // namespace ss::browser
