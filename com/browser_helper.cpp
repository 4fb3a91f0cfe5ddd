#include "com/browser_helper.h"

namespace ss {

HRESULT BrowserHelperObject::Create(IUnknown* outer, REFIID riid, void** object) {
  return CreateAggregatable<BrowserHelperObject>(outer, riid, object);
}

HRESULT BrowserHelperObject::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

HRESULT BrowserHelperObject::GetIDsOfNames(REFIID, const char16_t* const* names, UINT count, LCID, DISPID* ids) {
  return LookupDispIds({}, names, count, ids);
}

HRESULT BrowserHelperObject::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) {
  return DISP_E_MEMBERNOTFOUND;
}

HRESULT BrowserHelperObject::SetSite(IUnknown* site) {
  browser_ = nullptr;
  site_ = nullptr;
  if (!site) return S_OK;
  ComPtr<IWebBrowser2> b;
  if (HRESULT hr = ComPtr<IUnknown>(site).As(&b); Failed(hr)) return hr;
  site_ = ComPtr<IUnknown>(site);
  browser_ = std::move(b);
  return S_OK;
}

HRESULT BrowserHelperObject::GetSite(REFIID riid, void** site) {
  if (!site) return E_POINTER;
  *site = nullptr;
  if (!site_) return E_FAIL;
  return site_->QueryInterface(riid, site);
}

}  // namespace ss
