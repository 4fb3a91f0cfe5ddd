// A browser for tests of the add-on's own logic: it has a window and fires
// page-load events, but no document, so a capture run goes through every stage
// up to the capture and fails there with E_FAIL.
#pragma once

#include "platform/browser/html.h"
#include "platform/com/connection_point.h"

namespace ss::test {

class FixtureBrowser : public ComObject<IWebBrowser2, IConnectionPointContainer> {
 public:
  explicit FixtureBrowser(HWND window = 77) : window_(window), events_(MakeCom<ConnectionPoint>(DIID_DWebBrowserEvents2, this)) {}
  ~FixtureBrowser() override { events_->Detach(); }

  HRESULT GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  HRESULT GetIDsOfNames(REFIID, const char16_t* const*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
  HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return DISP_E_MEMBERNOTFOUND;
  }
  HRESULT get_Document(IDispatch** d) override {
    *d = nullptr;
    return E_FAIL;
  }
  HRESULT get_LocationURL(BSTR* url) override {
    *url = u"http://example.test/";
    return S_OK;
  }
  HRESULT get_HWND(HWND* w) override {
    *w = window_;
    return S_OK;
  }
  HRESULT Navigate(const BSTR&, VARIANT*, VARIANT*, VARIANT*, VARIANT*) override { return S_OK; }
  HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** point) override {
    if (riid != DIID_DWebBrowserEvents2) return CONNECT_E_NOCONNECTION;
    events_->AddRef();
    *point = events_.Get();
    return S_OK;
  }
  ConnectionPoint& events() { return *events_; }

 private:
  HWND window_;
  ComPtr<ConnectionPoint> events_;
};

}  // namespace ss::test
