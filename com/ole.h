// The OLE interfaces the module's classes implement or call: class factories,
// the command target of the toolbar button, the site, services and error info.
#pragma once

#include "platform/com/dispatch.h"
#include "platform/com/unknown.h"

namespace ss {

constexpr HRESULT CLASS_E_NOAGGREGATION = MakeHResult(0x80040110);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = MakeHResult(0x80040111);
constexpr HRESULT OLECMDERR_E_NOTSUPPORTED = MakeHResult(0x80040100);
constexpr HRESULT OLECMDERR_E_NOHELP = MakeHResult(0x80040102);
constexpr HRESULT OLECMDERR_E_UNKNOWNGROUP = MakeHResult(0x80040104);
constexpr DWORD OLECMDEXECOPT_SHOWHELP = 3;
constexpr DWORD OLECMDF_SUPPORTED = 1;
constexpr DWORD OLECMDF_ENABLED = 2;

class IClassFactory : public IUnknown {
 public:
  using Base = IUnknown;
  static constexpr IID iid = MakeGuid("{00000001-0000-0000-C000-000000000046}");
  virtual HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object) = 0;
  virtual HRESULT LockServer(BOOL lock) = 0;
};

struct OLECMD {
  ULONG cmdID;
  DWORD cmdf;
};

struct OLECMDTEXT {
  DWORD cmdtextf;
  ULONG cwActual;
  ULONG cwBuf;
  char16_t rgwz[1];
};

class IOleCommandTarget : public IUnknown {
 public:
  using Base = IUnknown;
  static constexpr IID iid = MakeGuid("{B722BCCB-4E68-101B-A2BC-00AA00404770}");
  virtual HRESULT QueryStatus(const GUID* group, ULONG count, OLECMD* commands, OLECMDTEXT* text) = 0;
  virtual HRESULT Exec(const GUID* group, DWORD id, DWORD option, VARIANT* in, VARIANT* out) = 0;
};

class IObjectWithSite : public IUnknown {
 public:
  using Base = IUnknown;
  static constexpr IID iid = MakeGuid("{FC4801A3-2BA9-11CF-A229-00AA003D7352}");
  virtual HRESULT SetSite(IUnknown* site) = 0;
  virtual HRESULT GetSite(REFIID riid, void** site) = 0;
};

class IServiceProvider : public IUnknown {
 public:
  using Base = IUnknown;
  static constexpr IID iid = MakeGuid("{6D5140C1-7436-11CE-8034-00AA006009FA}");
  virtual HRESULT QueryService(REFGUID service, REFIID riid, void** object) = 0;
};

// The service under which a site hands out the browser.
inline constexpr GUID SID_SWebBrowserApp = MakeGuid("{0002DF05-0000-0000-C000-000000000046}");

class ISupportErrorInfo : public IUnknown {
 public:
  using Base = IUnknown;
  static constexpr IID iid = MakeGuid("{DF0B3D60-548F-101B-8E65-08002B2BD119}");
  // S_OK when the interface reports rich errors, S_FALSE otherwise.
  virtual HRESULT InterfaceSupportsErrorInfo(REFIID riid) = 0;
};

}  // namespace ss
