#include "platform/com/connection_point.h"

namespace ss {

HRESULT ConnectionPoint::GetConnectionInterface(IID* iid) {
  if (!iid) return E_POINTER;
  *iid = iid_;
  return S_OK;
}

HRESULT ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** container) {
  if (!container) return E_POINTER;
  std::lock_guard<std::mutex> lock(mu_);
  *container = container_;
  if (!container_) return E_UNEXPECTED;
  container_->AddRef();
  return S_OK;
}

HRESULT ConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
  if (!cookie) return E_POINTER;
  *cookie = 0;
  if (!sink) return E_POINTER;
  // A dispatch event interface is reached through Invoke: the sink answers to
  // the event interface itself (dual or dispinterface) or to IDispatch.
  ComPtr<IDispatch> dispatch;
  if (Failed(sink->QueryInterface(iid_, dispatch.ReleaseAndGetVoidAddress())) || !dispatch) {
    if (Failed(sink->QueryInterface(IDispatch::iid, dispatch.ReleaseAndGetVoidAddress())) || !dispatch)
      return CONNECT_E_CANNOTCONNECT;
  }
  std::lock_guard<std::mutex> lock(mu_);
  if (nextCookie_ == 0) return CONNECT_E_ADVISELIMIT;
  DWORD c = nextCookie_++;
  sinks_.emplace_back(c, std::move(dispatch));
  *cookie = c;
  return S_OK;
}

HRESULT ConnectionPoint::Unadvise(DWORD cookie) {
  ComPtr<IDispatch> released;  // released outside the lock
  {
    std::lock_guard<std::mutex> lock(mu_);
    for (auto it = sinks_.begin(); it != sinks_.end(); ++it) {
      if (it->first == cookie) {
        released = std::move(it->second);
        sinks_.erase(it);
        return S_OK;
      }
    }
  }
  return CONNECT_E_NOCONNECTION;
}

void ConnectionPoint::Fire(DISPID id, DISPPARAMS* params) {
  std::vector<ComPtr<IDispatch>> snapshot;
  {
    std::lock_guard<std::mutex> lock(mu_);
    snapshot.reserve(sinks_.size());
    for (auto& s : sinks_) snapshot.push_back(s.second);
  }
  DISPPARAMS none;
  for (auto& sink : snapshot) {
    VARIANT result;
    sink->Invoke(id, GUID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, params ? params : &none, &result, nullptr,
                 nullptr);
  }
}

std::size_t ConnectionPoint::SinkCount() const {
  std::lock_guard<std::mutex> lock(mu_);
  return sinks_.size();
}

void ConnectionPoint::Detach() {
  std::vector<std::pair<DWORD, ComPtr<IDispatch>>> released;
  std::lock_guard<std::mutex> lock(mu_);
  container_ = nullptr;
  released.swap(sinks_);
}

}  // namespace ss
