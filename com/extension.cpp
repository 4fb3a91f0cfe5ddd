#include "com/extension.h"

#include <map>
#include <mutex>
#include <thread>

#include "platform/com/connection_point.h"

namespace ss {
namespace {

// The process's automatic-capture listeners: thread -> connection cookie, at
// most one per browser thread.
std::mutex& RegistryMutex() {
  static std::mutex mu;
  return mu;
}
std::map<std::thread::id, DWORD>& AutoCaptureRegistry() {
  static std::map<std::thread::id, DWORD> registry;
  return registry;
}

HRESULT FindBrowserEvents(IWebBrowser2* browser, ComPtr<IConnectionPoint>* point) {
  if (!browser) return E_POINTER;
  ComPtr<IConnectionPointContainer> container;
  if (HRESULT hr = ComPtr<IWebBrowser2>(browser).As(&container); Failed(hr)) return hr;
  return container->FindConnectionPoint(DIID_DWebBrowserEvents2, point->ReleaseAndGetAddressOf());
}

}  // namespace

DWORD AutoCaptureCookieForThisThread() {
  std::lock_guard<std::mutex> lock(RegistryMutex());
  auto it = AutoCaptureRegistry().find(std::this_thread::get_id());
  return it == AutoCaptureRegistry().end() ? 0 : it->second;
}

Extension::Extension(IUnknown* outer) : AggregatableObject(outer), session_(this) {}

Extension::~Extension() {
  // Stops listening for this thread if it still does (the session's own
  // members release the window context, picture and browser).
  UnadviseAutoCapture();
}

HRESULT Extension::Create(IUnknown* outer, REFIID riid, void** object) {
  return CreateAggregatable<Extension>(outer, riid, object);
}

void* Extension::FindInterface(REFIID riid) {
  // The object is also the sink of the browser's events.
  if (riid == DIID_DWebBrowserEvents2) return static_cast<IDispatch*>(static_cast<IExtension*>(this));
  return AggregatableObject::FindInterface(riid);
}

// ---- IDispatch ----

HRESULT Extension::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

HRESULT Extension::GetIDsOfNames(REFIID, const char16_t* const* names, UINT count, LCID, DISPID* ids) {
  return LookupDispIds({{u"WebBrowser", kDispWebBrowser},
                        {u"StartProcess", kDispStartProcess},
                        {u"SetWebBrowser", kDispSetWebBrowser},
                        {u"SetBrowserHandle", kDispSetBrowserHandle}},
                       names, count, ids);
}

HRESULT Extension::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                          UINT*) {
  if (id == DISPID_DOCUMENTCOMPLETE) {
    // Hold the object for the run: a listener stopped inside it drops the
    // connection point's reference.
    ComPtr<IUnknown> hold(Controlling());
    if (session_.settings.AutoCapturing == 1) session_.RunSession(false);
    else UnadviseAutoCapture();
  }
  return InvokeMember(id, flags, params, result);
}

HRESULT Extension::InvokeMember(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result) {
  UINT argc = params ? params->cArgs : 0;
  auto arg = [&](UINT i) -> const VARIANT& { return params->rgvarg[argc - 1 - i]; };
  switch (id) {
    case kDispWebBrowser:
      if (flags & DISPATCH_PROPERTYGET) {
        ComPtr<IUnknown> b;
        HRESULT hr = get_WebBrowser(b.ReleaseAndGetAddressOf());
        if (Succeeded(hr) && result) *result = VARIANT::Dispatch(static_cast<IDispatch*>(static_cast<IWebBrowser2*>(session_.browser.Get())));
        return hr;
      }
      if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
        if (argc < 1) return DISP_E_BADPARAMCOUNT;
        return put_WebBrowser(arg(0).punkVal());
      }
      return DISP_E_MEMBERNOTFOUND;
    case kDispStartProcess:
      return StartProcess();
    case kDispSetWebBrowser:
      if (argc < 1) return DISP_E_BADPARAMCOUNT;
      return SetWebBrowser(arg(0).pdispVal());
    case kDispSetBrowserHandle:
      if (argc < 1) return DISP_E_BADPARAMCOUNT;
      if (arg(0).vt() != VT_I4 && arg(0).vt() != VT_I2 && arg(0).vt() != VT_UI4) return DISP_E_TYPEMISMATCH;
      return SetBrowserHandle(arg(0).lVal());
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
}

// ---- IExtension ----

HRESULT Extension::get_WebBrowser(IUnknown** pVal) {
  if (!pVal) return E_POINTER;
  *pVal = nullptr;
  if (!session_.browser) return E_POINTER;
  IDispatch* d = session_.browser.Get();
  d->AddRef();
  *pVal = d;
  return S_OK;
}

HRESULT Extension::put_WebBrowser(IUnknown* newVal) {
  if (!newVal) return E_POINTER;
  ComPtr<IWebBrowser2> b;
  if (HRESULT hr = ComPtr<IUnknown>(newVal).As(&b); Failed(hr)) return hr;
  session_.SetBrowser(std::move(b));
  return S_OK;
}

HRESULT Extension::StartProcess() {
  ComPtr<IUnknown> hold(Controlling());
  return session_.StartProcess();
}

HRESULT Extension::SetWebBrowser(IDispatch* pVal) { return put_WebBrowser(pVal); }

HRESULT Extension::SetBrowserHandle(LONG hwnd) {
  session_.browserWindow = static_cast<HWND>(hwnd);
  return S_OK;
}

// ---- IOleCommandTarget ----

HRESULT Extension::QueryStatus(const GUID*, ULONG count, OLECMD* commands, OLECMDTEXT*) {
  if (!commands) return E_POINTER;
  for (ULONG i = 0; i < count; ++i) commands[i].cmdf = OLECMDF_SUPPORTED | OLECMDF_ENABLED;
  return S_OK;
}

HRESULT Extension::Exec(const GUID* group, DWORD id, DWORD option, VARIANT*, VARIANT*) {
  if (group) return OLECMDERR_E_UNKNOWNGROUP;
  if (id != 0) return OLECMDERR_E_NOTSUPPORTED;
  if (option == OLECMDEXECOPT_SHOWHELP) return OLECMDERR_E_NOHELP;
  return StartProcess();
}

// ---- IObjectWithSite ----

HRESULT Extension::SetSite(IUnknown* site) {
  if (!site) return E_POINTER;
  ComPtr<IOleCommandTarget> target;
  if (Failed(ComPtr<IUnknown>(site).As(&target))) return S_OK;
  ComPtr<IServiceProvider> services;
  if (HRESULT hr = target.As(&services); Failed(hr)) return hr;
  ComPtr<IWebBrowser2> b;
  HRESULT hr = services->QueryService(SID_SWebBrowserApp, IWebBrowser2::iid, b.ReleaseAndGetVoidAddress());
  if (Failed(hr)) return hr;
  session_.SetBrowser(std::move(b));
  session_.siteSet = 1;
  return S_OK;
}

HRESULT Extension::GetSite(REFIID, void** site) {
  if (site) *site = nullptr;
  return S_OK;
}

HRESULT Extension::InterfaceSupportsErrorInfo(REFIID riid) { return riid == IID_IExtension ? S_OK : S_FALSE; }

// ---- automatic capture ----

HRESULT Extension::AdviseAutoCapture() {
  if (AutoCaptureCookieForThisThread() != 0) return S_OK;
  ComPtr<IConnectionPoint> point;
  if (HRESULT hr = FindBrowserEvents(session_.browser.Get(), &point); Failed(hr)) return hr;
  DWORD cookie = 0;
  if (HRESULT hr = point->Advise(static_cast<IDispatch*>(static_cast<IExtension*>(this)), &cookie); Failed(hr))
    return hr;
  std::lock_guard<std::mutex> lock(RegistryMutex());
  AutoCaptureRegistry()[std::this_thread::get_id()] = cookie;
  return S_OK;
}

HRESULT Extension::UnadviseAutoCapture() {
  DWORD cookie = AutoCaptureCookieForThisThread();
  if (cookie == 0) return S_OK;
  ComPtr<IConnectionPoint> point;
  if (HRESULT hr = FindBrowserEvents(session_.browser.Get(), &point); Failed(hr)) return hr;
  HRESULT hr = point->Unadvise(cookie);
  std::lock_guard<std::mutex> lock(RegistryMutex());
  AutoCaptureRegistry().erase(std::this_thread::get_id());
  return hr;
}

}  // namespace ss
