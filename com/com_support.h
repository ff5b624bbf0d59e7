#pragma once
// Small COM helpers shared by brevant.dll and the stand-in messenger: an owning interface
// pointer, BSTR conversion, and a class template that implements IUnknown and the IDispatch
// part of each dual interface through the type library.
//
// Every method that COM calls catches everything: no exception leaves through a vtable.

#include <oaidl.h>
#include <objbase.h>
#include <oleauto.h>
#include <windows.h>

#include <new>
#include <utility>

#include "platform/text.h"

namespace brevant::com {

template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  // Takes a new reference to `p`.
  explicit ComPtr(T* p) : p_(p) {
    if (p_)
      p_->AddRef();
  }
  ComPtr(const ComPtr& o) : ComPtr(o.p_) {}
  ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  ComPtr& operator=(ComPtr o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }
  ~ComPtr() { reset(); }

  void reset() {
    if (p_)
      std::exchange(p_, nullptr)->Release();
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // For out-parameters: releases what is held and gives the slot.
  T** put() {
    reset();
    return &p_;
  }
  // Adopts a reference that the caller already owns.
  static ComPtr adopt(T* p) {
    ComPtr c;
    c.p_ = p;
    return c;
  }
  template <class U>
  ComPtr<U> query() const {
    ComPtr<U> out;
    if (p_)
      p_->QueryInterface(__uuidof(U), reinterpret_cast<void**>(out.put()));
    return out;
  }

 private:
  T* p_ = nullptr;
};

inline Str from_bstr(BSTR b) {
  return b ? Str(reinterpret_cast<const char16_t*>(b), SysStringLen(b)) : Str();
}

// A new BSTR; throws std::bad_alloc when the system has no memory for it.
inline BSTR to_bstr(StrView s) {
  BSTR b =
      SysAllocStringLen(reinterpret_cast<const OLECHAR*>(s.data()), static_cast<UINT>(s.size()));
  if (!b)
    throw std::bad_alloc();
  return b;
}

// Owns a BSTR for the length of a call.
class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(StrView s) : b_(to_bstr(s)) {}
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  ~Bstr() { SysFreeString(b_); }
  BSTR get() const { return b_; }
  BSTR* put() {
    SysFreeString(b_);
    b_ = nullptr;
    return &b_;
  }
  Str str() const { return from_bstr(b_); }

 private:
  BSTR b_ = nullptr;
};

inline VARIANT_BOOL to_variant_bool(bool b) {
  return b ? VARIANT_TRUE : VARIANT_FALSE;
}

// Runs `body` (which returns an HRESULT) and turns any exception into an error code.
template <class Body>
HRESULT guarded(Body&& body) noexcept {
  try {
    return std::forward<Body>(body)();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

// The IDispatch half of the dual interface `Itf`, answered from `Types::type_info(iid)`,
// which returns a borrowed ITypeInfo* or nullptr. Invoke reaches the vtable methods.
template <class Itf, class Types>
class DualPart : public Itf {
 public:
  using Interface = Itf;

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (!count)
      return E_POINTER;
    *count = 1;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
    return guarded([&]() -> HRESULT {
      if (!info)
        return E_POINTER;
      *info = nullptr;
      if (index != 0)
        return DISP_E_BADINDEX;
      ITypeInfo* ti = Types::type_info(__uuidof(Itf));
      if (!ti)
        return TYPE_E_ELEMENTNOTFOUND;
      ti->AddRef();
      *info = ti;
      return S_OK;
    });
  }

  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    return guarded([&]() -> HRESULT {
      if (riid != IID_NULL)
        return DISP_E_UNKNOWNINTERFACE;
      ITypeInfo* ti = Types::type_info(__uuidof(Itf));
      if (!ti)
        return E_UNEXPECTED;
      return DispGetIDsOfNames(ti, names, count, ids);
    });
  }

  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* excep, UINT* arg_err) override {
    return guarded([&]() -> HRESULT {
      if (riid != IID_NULL)
        return DISP_E_UNKNOWNINTERFACE;
      ITypeInfo* ti = Types::type_info(__uuidof(Itf));
      if (!ti)
        return E_UNEXPECTED;
      return DispInvoke(static_cast<Itf*>(this), ti, id, flags, params, result, excep, arg_err);
    });
  }
};

// IUnknown for a class made of DualPart<...> bases (or plain interfaces with an `Interface`
// alias). The first part answers IUnknown and IDispatch. `Types::object_created()` and
// `object_destroyed()` count live objects for the server.
template <class Types, class... Parts>
class ComObject : public Parts... {
 public:
  ComObject() { Types::object_created(); }
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;
  virtual ~ComObject() { Types::object_destroyed(); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out)
      return E_POINTER;
    *out = nullptr;
    if (iid == IID_IUnknown || iid == IID_IDispatch) {
      *out = static_cast<First*>(this);
    } else {
      ((iid == __uuidof(typename Parts::Interface)
            ? (*out = static_cast<typename Parts::Interface*>(this), true)
            : false) ||
       ...);
    }
    if (!*out)
      return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override {
    return static_cast<ULONG>(InterlockedIncrement(&refs_));
  }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG n = InterlockedDecrement(&refs_);
    if (n == 0)
      delete this;
    return static_cast<ULONG>(n);
  }

  // For tests that watch who holds an object.
  LONG ref_count() const { return refs_; }

 private:
  template <class P, class...>
  struct Head {
    using type = typename P::Interface;
  };
  using First = typename Head<Parts...>::type;
  LONG refs_ = 1;  // the creator's reference
};

}  // namespace brevant::com
