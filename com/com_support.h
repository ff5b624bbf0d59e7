#pragma once
// The plug-in's COM classes and the stand-in messenger's, on the toolkit of
// platform/win32/com_kit.h: the IDispatch part of each dual interface answered through the type
// library, and objects made of such parts.
//
// Every method that COM calls catches everything: no exception leaves through a vtable.

#include <type_traits>

#include "platform/win32/com_kit.h"

namespace brevant::com {

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

// A class made of DualPart<...> bases (or plain interfaces with an `Interface` alias): each part
// answers its interface, and the first part IUnknown and, when it is one, IDispatch.
// `Types::object_created()` and `object_destroyed()` count live objects for the server.
template <class Types, class... Parts>
class ComObject : public Unknown<ComObject<Types, Parts...>, Parts...> {
 public:
  ComObject() { Types::object_created(); }
  virtual ~ComObject() { Types::object_destroyed(); }

  // Told of every query before it is answered.
  virtual void on_query(REFIID) {}

  static std::span<const InterfaceRow<ComObject>> interfaces() {
    static const InterfaceRow<ComObject> rows[] = {
        row<ComObject, First>(std::is_base_of_v<IDispatch, First> ? IID_IDispatch
                                                                  : __uuidof(First)),
        row<ComObject, typename Parts::Interface>(__uuidof(typename Parts::Interface))...};
    return rows;
  }

 private:
  template <class P, class...>
  struct Head {
    using type = typename P::Interface;
  };
  using First = typename Head<Parts...>::type;
};

}  // namespace brevant::com
