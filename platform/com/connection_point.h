// Connection points: an object that fires events keeps one connection point
// per event interface; sinks Advise themselves and get a cookie back, and
// Unadvise with that cookie.
#pragma once

#include <mutex>
#include <utility>
#include <vector>

#include "platform/com/dispatch.h"

namespace ss {

constexpr HRESULT CONNECT_E_NOCONNECTION = MakeHResult(0x80040200);
constexpr HRESULT CONNECT_E_ADVISELIMIT = MakeHResult(0x80040201);
constexpr HRESULT CONNECT_E_CANNOTCONNECT = MakeHResult(0x80040202);

class IConnectionPointContainer;

class IConnectionPoint : public IUnknown {
 public:
  using Base = IUnknown;
  static constexpr IID iid = MakeGuid("{B196B286-BAB4-101A-B69C-00AA00341D07}");
  virtual HRESULT GetConnectionInterface(IID* iid) = 0;
  virtual HRESULT GetConnectionPointContainer(IConnectionPointContainer** container) = 0;
  virtual HRESULT Advise(IUnknown* sink, DWORD* cookie) = 0;
  virtual HRESULT Unadvise(DWORD cookie) = 0;
};

class IConnectionPointContainer : public IUnknown {
 public:
  using Base = IUnknown;
  static constexpr IID iid = MakeGuid("{B196B284-BAB4-101A-B69C-00AA00341D07}");
  // CONNECT_E_NOCONNECTION when the object fires no such events.
  virtual HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** point) = 0;
};

// A connection point for one dispatch event interface. Sinks must answer to
// that interface or to IDispatch; events reach them through Invoke.
//
// The container owns its connection points and detaches them when it goes
// away; a connection point does not keep its container alive (no cycle), so
// GetConnectionPointContainer fails with E_UNEXPECTED after that.
class ConnectionPoint : public ComObject<IConnectionPoint> {
 public:
  ConnectionPoint(REFIID eventInterface, IConnectionPointContainer* container)
      : iid_(eventInterface), container_(container) {}

  HRESULT GetConnectionInterface(IID* iid) override;
  HRESULT GetConnectionPointContainer(IConnectionPointContainer** container) override;
  HRESULT Advise(IUnknown* sink, DWORD* cookie) override;
  HRESULT Unadvise(DWORD cookie) override;

  // Calls Invoke(id, DISPATCH_METHOD, params) on every sink advised when the
  // call starts, in advise order. Sinks may advise or unadvise meanwhile.
  void Fire(DISPID id, DISPPARAMS* params);
  std::size_t SinkCount() const;
  // Forgets the container and every sink (the container is going away).
  void Detach();

 private:
  const IID iid_;
  mutable std::mutex mu_;
  IConnectionPointContainer* container_;
  DWORD nextCookie_ = 1;
  std::vector<std::pair<DWORD, ComPtr<IDispatch>>> sinks_;
};

}  // namespace ss
