#pragma once
// The COM toolkit of the Windows build: an owning interface pointer, one BSTR owner, a VARIANT
// owner, the COM boundary guard, and a base that implements IUnknown from a table of the
// interfaces an object answers (one row per IID and the base that answers it, as QITAB has it).
// The DLL, the platform adapters and the tests' stand-ins all use it.

#include <oaidl.h>
#include <objbase.h>
#include <oleauto.h>
#include <windows.h>

#include <cstddef>
#include <new>
#include <span>
#include <type_traits>
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

// `from` asked for interface `T`; empty when it has none.
template <class T>
ComPtr<T> query(IUnknown* from) {
  ComPtr<T> out;
  if (from)
    from->QueryInterface(__uuidof(T), reinterpret_cast<void**>(out.put()));
  return out;
}

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

// Owns a BSTR.
class Bstr {
 public:
  Bstr() = default;
  // Throws std::bad_alloc when the system has no memory for it.
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

// Owns a VARIANT: cleared when it goes or is filled again.
class Variant {
 public:
  Variant() { VariantInit(&v_); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  ~Variant() { VariantClear(&v_); }
  VARIANT* get() { return &v_; }
  VARIANT* put() {
    VariantClear(&v_);
    return &v_;
  }

 private:
  VARIANT v_;
};

inline VARIANT_BOOL to_variant_bool(bool b) {
  return b ? VARIANT_TRUE : VARIANT_FALSE;
}

// Runs `body` (which returns an HRESULT) and turns any exception into an error code: what every
// method that COM calls does, so that no exception leaves through a vtable.
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

// The IDispatch part of an object that only the vtable or an event source reaches: no type
// information and no names. `Itf` is IDispatch or an interface derived from it; Invoke and
// IUnknown are the object's.
template <class Itf = IDispatch>
class NoTypeInfo : public Itf {
 public:
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count)
      *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** out) override {
    if (out)
      *out = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID,
                                          DISPID* ids) override {
    for (UINT i = 0; ids && i < count; ++i)
      ids[i] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
  }
};

// One row of an object's interface table: the IID and the base of `Self` that answers it.
template <class Self>
struct InterfaceRow {
  const IID* iid;
  IUnknown* (*get)(Self*);
};

// The row for `iid`, answered by base `Itf` of `Self`.
template <class Self, class Itf>
InterfaceRow<Self> row(const IID& iid) {
  return {&iid, [](Self* self) -> IUnknown* { return static_cast<Itf*>(self); }};
}

// IUnknown for `Self`, an object made of the interfaces `Bases`: QueryInterface answers from
// `Self::interfaces()` (a span of rows; the first row also answers IUnknown), and a reference
// count that starts with the creator's reference and deletes the object at zero.
// A `Self` that defines `on_query(REFIID)` is told of every query first.
template <class Self, class... Bases>
class Unknown : public Bases... {
 public:
  Unknown() = default;
  Unknown(const Unknown&) = delete;
  Unknown& operator=(const Unknown&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out)
      return E_POINTER;
    *out = nullptr;
    Self* self = static_cast<Self*>(this);
    if constexpr (requires { self->on_query(iid); })
      self->on_query(iid);
    const std::span<const InterfaceRow<Self>> rows = Self::interfaces();
    IUnknown* found = nullptr;
    for (const InterfaceRow<Self>& r : rows) {
      if (IsEqualIID(iid, *r.iid)) {
        found = r.get(self);
        break;
      }
    }
    if (!found && !rows.empty() && IsEqualIID(iid, IID_IUnknown))
      found = rows.front().get(self);
    if (!found)
      return E_NOINTERFACE;
    found->AddRef();
    *out = found;
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override {
    return static_cast<ULONG>(InterlockedIncrement(&refs_));
  }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG n = InterlockedDecrement(&refs_);
    if (n == 0)
      delete static_cast<Self*>(this);
    return static_cast<ULONG>(n);
  }

  // For tests that watch who holds an object.
  LONG ref_count() const { return refs_; }

 protected:
  ~Unknown() = default;

 private:
  LONG refs_ = 1;  // the creator's reference
};

}  // namespace brevant::com
