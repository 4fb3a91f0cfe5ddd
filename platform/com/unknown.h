// IUnknown, the ComPtr smart pointer and ComObject, the reference-counted
// base that answers QueryInterface for the interfaces a class lists.
//
// Every interface is an abstract class deriving (singly) from its base
// interface and naming both:
//
//   class IFoo : public IUnknown {
//    public:
//     using Base = IUnknown;
//     static constexpr IID iid = MakeGuid("{...}");
//     virtual HRESULT Bar() = 0;
//   };
//
// and an implementation lists the interfaces it answers to:
//
//   class Foo : public ComObject<IFoo, IOther> { ... };
//
// QueryInterface then answers each listed interface and every base of it (the
// first listed interface that derives from a base answers for that base).
#pragma once

#include <atomic>
#include <cstdint>
#include <new>
#include <type_traits>
#include <utility>

#include "platform/com/guid.h"

namespace ss {

using ULONG = std::uint32_t;

class IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{00000000-0000-0000-C000-000000000046}");
  virtual HRESULT QueryInterface(REFIID riid, void** object) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  ~IUnknown() = default;
};

// An owning interface pointer: AddRef on copy, Release on reset and
// destruction.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  // Takes a new reference to `p`.
  explicit ComPtr(T* p) : p_(p) {
    if (p_) p_->AddRef();
  }
  ComPtr(const ComPtr& o) : p_(o.p_) {
    if (p_) p_->AddRef();
  }
  ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  template <typename U, typename = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  ComPtr(const ComPtr<U>& o) : p_(o.Get()) {
    if (p_) p_->AddRef();
  }
  template <typename U, typename = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  ComPtr(ComPtr<U>&& o) noexcept : p_(o.Detach()) {}
  ~ComPtr() { Reset(); }

  ComPtr& operator=(const ComPtr& o) {
    ComPtr(o).Swap(*this);
    return *this;
  }
  ComPtr& operator=(ComPtr&& o) noexcept {
    ComPtr(std::move(o)).Swap(*this);
    return *this;
  }
  ComPtr& operator=(std::nullptr_t) {
    Reset();
    return *this;
  }

  // Takes over a reference the caller already owns.
  static ComPtr Adopt(T* p) {
    ComPtr r;
    r.p_ = p;
    return r;
  }
  void Attach(T* p) {
    Reset();
    p_ = p;
  }
  T* Detach() { return std::exchange(p_, nullptr); }
  void Reset() {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }
  void Swap(ComPtr& o) noexcept { std::swap(p_, o.p_); }

  T* Get() const { return p_; }
  T* operator->() const { return p_; }
  T& operator*() const { return *p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // The address of the pointer for an out parameter; releases what it held.
  T** ReleaseAndGetAddressOf() {
    Reset();
    return &p_;
  }
  // Out-parameter form for QueryInterface-style calls.
  void** ReleaseAndGetVoidAddress() {
    Reset();
    return reinterpret_cast<void**>(&p_);
  }

  // QueryInterface for U::iid.
  template <typename U>
  HRESULT As(ComPtr<U>* out) const {
    if (!out) return E_POINTER;
    if (!p_) {
      out->Reset();
      return E_POINTER;
    }
    return p_->QueryInterface(U::iid, out->ReleaseAndGetVoidAddress());
  }
  template <typename U>
  ComPtr<U> As() const {
    ComPtr<U> r;
    As(&r);
    return r;
  }

 private:
  T* p_ = nullptr;
};

template <typename T, typename U>
bool operator==(const ComPtr<T>& a, const ComPtr<U>& b) {
  return static_cast<const void*>(a.Get()) == static_cast<const void*>(b.Get());
}

namespace detail {

// Finds `riid` on the base chain of interface I; returns the pointer to the
// matching base sub-object, or null.
template <typename I>
void* FindOnChain(I* p, REFIID riid) {
  if (riid == I::iid) return static_cast<void*>(p);
  if constexpr (!std::is_same_v<I, IUnknown>) {
    using B = typename I::Base;
    return FindOnChain<B>(static_cast<B*>(p), riid);
  } else {
    return nullptr;
  }
}

}  // namespace detail

// Reference counting and QueryInterface for the listed interfaces. Objects
// start with one reference, owned by whoever created them: create them with
// MakeCom<T>(...), which hands that reference to a ComPtr.
template <typename... Interfaces>
class ComObject : public Interfaces... {
 public:
  static_assert(sizeof...(Interfaces) > 0, "a COM object answers to at least one interface");

  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    void* p = InternalQueryInterface(riid);
    if (!p) return E_NOINTERFACE;
    AddRef();
    *object = p;
    return S_OK;
  }
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    ULONG n = --refs_;
    if (n == 0) delete this;
    return n;
  }

 protected:
  ComObject() = default;
  virtual ~ComObject() = default;
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

  // The sub-object for `riid` without a new reference, or null. Classes that
  // answer further interfaces conditionally override this and fall back to it.
  virtual void* InternalQueryInterface(REFIID riid) {
    void* found = nullptr;
    ((found = found ? found : detail::FindOnChain<Interfaces>(static_cast<Interfaces*>(this), riid)), ...);
    return found;
  }

  // The identity IUnknown of this object (the first listed interface).
  IUnknown* Identity() { return static_cast<FirstInterface*>(this); }

 private:
  template <typename F, typename...>
  struct First {
    using type = F;
  };
  using FirstInterface = typename First<Interfaces...>::type;
  std::atomic<ULONG> refs_{1};
};

// Creates a COM object and hands its initial reference to the returned
// pointer (null when allocation fails).
template <typename T, typename... Args>
ComPtr<T> MakeCom(Args&&... args) {
  T* p = new (std::nothrow) T(std::forward<Args>(args)...);
  return ComPtr<T>::Adopt(p);
}

// Creates a COM object and hands its reference to `*out`: S_OK, or
// E_OUTOFMEMORY (with `*out` untouched). `Via` names the interface through
// which T reaches I when T has I more than once (IDispatch, for instance).
template <typename T, typename Via = T, typename I, typename... Args>
HRESULT CreateInto(I** out, Args&&... args) {
  ComPtr<T> object = MakeCom<T>(std::forward<Args>(args)...);
  if (!object) return E_OUTOFMEMORY;
  *out = static_cast<Via*>(object.Detach());
  return S_OK;
}

}  // namespace ss
