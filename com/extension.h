// The Extension class: the object behind the toolbar button and the menu
// command. It carries one capture session for its browser window, answers the
// button's command target, takes the browser from its site, and listens for
// finished page loads while automatic capture is on.
#pragma once

#include "com/aggregation.h"
#include "com/guids.h"
#include "com/ole.h"
#include "core/session.h"

namespace ss {

// Dual interface; dispids 1 WebBrowser (get/put), 2 StartProcess,
// 3 SetWebBrowser, 4 SetBrowserHandle.
class IExtension : public IDispatch {
 public:
  using Base = IDispatch;
  static constexpr IID iid = IID_IExtension;
  virtual HRESULT get_WebBrowser(IUnknown** pVal) = 0;
  virtual HRESULT put_WebBrowser(IUnknown* newVal) = 0;
  virtual HRESULT StartProcess() = 0;
  virtual HRESULT SetWebBrowser(IDispatch* pVal) = 0;
  virtual HRESULT SetBrowserHandle(LONG hwnd) = 0;
};

enum ExtensionDispId : DISPID {
  kDispWebBrowser = 1,
  kDispStartProcess = 2,
  kDispSetWebBrowser = 3,
  kDispSetBrowserHandle = 4,
};

class Extension : public AggregatableObject<IExtension, IOleCommandTarget, IObjectWithSite, ISupportErrorInfo>,
                  public AutoCaptureControl {
 public:
  // The class factory's creation: the object's inner unknown with one reference.
  static HRESULT Create(IUnknown* outer, REFIID riid, void** object);

  // IDispatch
  HRESULT GetTypeInfoCount(UINT* count) override;
  HRESULT GetIDsOfNames(REFIID riid, const char16_t* const* names, UINT count, LCID lcid, DISPID* ids) override;
  HRESULT Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* exception, UINT* argError) override;
  // IExtension
  HRESULT get_WebBrowser(IUnknown** pVal) override;
  HRESULT put_WebBrowser(IUnknown* newVal) override;
  HRESULT StartProcess() override;
  HRESULT SetWebBrowser(IDispatch* pVal) override;
  HRESULT SetBrowserHandle(LONG hwnd) override;
  // IOleCommandTarget
  HRESULT QueryStatus(const GUID* group, ULONG count, OLECMD* commands, OLECMDTEXT* text) override;
  HRESULT Exec(const GUID* group, DWORD id, DWORD option, VARIANT* in, VARIANT* out) override;
  // IObjectWithSite
  HRESULT SetSite(IUnknown* site) override;
  HRESULT GetSite(REFIID riid, void** site) override;
  // ISupportErrorInfo
  HRESULT InterfaceSupportsErrorInfo(REFIID riid) override;
  // AutoCaptureControl
  HRESULT AdviseAutoCapture() override;
  HRESULT UnadviseAutoCapture() override;

  CaptureSession& session() { return session_; }

 protected:
  void* FindInterface(REFIID riid) override;

 private:
  friend HRESULT CreateAggregatable<Extension>(IUnknown*, REFIID, void**);
  explicit Extension(IUnknown* outer);
  ~Extension() override;
  // The ordinary dispatch of IExtension's members.
  HRESULT InvokeMember(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result);

  CaptureSession session_;
};

// The thread's connection cookie for automatic capture (0 when not listening).
DWORD AutoCaptureCookieForThisThread();

}  // namespace ss
