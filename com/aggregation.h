// Reference counting for the module's classes, which can be aggregated: the
// exposed interfaces delegate IUnknown to the controlling unknown (the outer
// object, or the object's own inner unknown when it stands alone), and the
// inner unknown owns the object's life.
#pragma once

#include <atomic>
#include <new>

#include "platform/com/unknown.h"

namespace ss {

// Counts the module's live objects and server locks (DllCanUnloadNow).
void ModuleLock();
void ModuleUnlock();
long ModuleLockCount();

template <typename... Interfaces>
class AggregatableObject : public Interfaces... {
 public:
  HRESULT QueryInterface(REFIID riid, void** object) override { return outer_->QueryInterface(riid, object); }
  ULONG AddRef() override { return outer_->AddRef(); }
  ULONG Release() override { return outer_->Release(); }

  // The non-delegating unknown: what a class factory hands to an aggregating
  // outer object, and the identity of an object that stands alone.
  IUnknown* Inner() { return &inner_; }
  bool Aggregated() const { return outer_ != &inner_; }

 protected:
  explicit AggregatableObject(IUnknown* outer) : inner_(this), outer_(outer ? outer : &inner_) { ModuleLock(); }
  virtual ~AggregatableObject() { ModuleUnlock(); }
  AggregatableObject(const AggregatableObject&) = delete;
  AggregatableObject& operator=(const AggregatableObject&) = delete;

  // The interface for `riid` without a reference, or null. Classes that
  // answer further interfaces override it and fall back to it.
  virtual void* FindInterface(REFIID riid) {
    void* found = nullptr;
    ((found = found ? found : detail::FindOnChain<Interfaces>(static_cast<Interfaces*>(this), riid)), ...);
    return found;
  }

  // The controlling unknown (for handing out references to this object).
  IUnknown* Controlling() { return outer_; }

 private:
  class InnerUnknown : public IUnknown {
   public:
    explicit InnerUnknown(AggregatableObject* owner) : owner_(owner) {}
    HRESULT QueryInterface(REFIID riid, void** object) override {
      if (!object) return E_POINTER;
      *object = nullptr;
      void* p = riid == IUnknown::iid ? static_cast<IUnknown*>(this) : owner_->FindInterface(riid);
      if (!p) return E_NOINTERFACE;
      if (p == this) AddRef();
      else reinterpret_cast<IUnknown*>(p)->AddRef();
      *object = p;
      return S_OK;
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
      ULONG n = --refs_;
      if (n == 0) delete owner_;
      return n;
    }

   private:
    AggregatableObject* owner_;
    std::atomic<ULONG> refs_{1};
  };

  InnerUnknown inner_;
  IUnknown* outer_;
};

// The class factory's creation of a module object T (constructed from the
// outer unknown): an aggregating caller may ask for IUnknown only and gets the
// inner unknown; a caller that stands alone gets the interface it asked for.
template <typename T>
HRESULT CreateAggregatable(IUnknown* outer, REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (outer && riid != IUnknown::iid) return MakeHResult(0x80040110);  // CLASS_E_NOAGGREGATION
  T* created = new (std::nothrow) T(outer);
  if (!created) return E_OUTOFMEMORY;
  IUnknown* inner = created->Inner();
  HRESULT hr = inner->QueryInterface(riid, object);
  inner->Release();  // the creation reference; the caller holds its own now
  return hr;
}

}  // namespace ss
