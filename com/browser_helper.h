// The BrowserHelperObject class: the browser creates one for every browser
// window while the object is listed among its helper objects. It keeps the
// window's browser from its site.
#pragma once

#include "com/aggregation.h"
#include "com/guids.h"
#include "com/ole.h"
#include "platform/browser/html.h"

namespace ss {

// Dual interface without members of its own.
class IBrowserHelperObject : public IDispatch {
 public:
  using Base = IDispatch;
  static constexpr IID iid = IID_IBrowserHelperObject;
};

class BrowserHelperObject : public AggregatableObject<IBrowserHelperObject, IObjectWithSite> {
 public:
  static HRESULT Create(IUnknown* outer, REFIID riid, void** object);

  HRESULT GetTypeInfoCount(UINT* count) override;
  HRESULT GetIDsOfNames(REFIID riid, const char16_t* const* names, UINT count, LCID lcid, DISPID* ids) override;
  HRESULT Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* exception, UINT* argError) override;
  // A site gives the object its window's browser; a null site takes it away.
  HRESULT SetSite(IUnknown* site) override;
  HRESULT GetSite(REFIID riid, void** site) override;

  IWebBrowser2* browser() const { return browser_.Get(); }

 private:
  friend HRESULT CreateAggregatable<BrowserHelperObject>(IUnknown*, REFIID, void**);
  explicit BrowserHelperObject(IUnknown* outer) : AggregatableObject(outer) {}
  ComPtr<IUnknown> site_;
  ComPtr<IWebBrowser2> browser_;
};

}  // namespace ss
