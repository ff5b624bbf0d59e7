// The COM classes: thin adapters from the COM interfaces to the portable plug-in objects.

#include "com/classes.h"

#include <memory>
#include <new>

#include "com/brevant.h"
#include "com/com_support.h"
#include "com/host_objects.h"
#include "com/server.h"
#include "plugin/items.h"
#include "plugin/plugin_objects.h"

namespace brevant::com {
namespace {

template <class Itf>
using Dual = DualPart<Itf, Server>;

// Runs a call into the portable plug-in; any failure becomes an error code.
template <class Body>
HRESULT forward(Body&& body) noexcept {
  return guarded([&]() -> HRESULT {
    body();
    return S_OK;
  });
}

class VbBrevantObject final : public ComObject<Server, Dual<_vb_brevant>, Dual<ISDKPlugin2>> {
 public:
  VbBrevantObject() : plugin_(Server::plugin_module()) {}

  HRESULT STDMETHODCALLTYPE checkinputweb(BSTR* inputval) override {
    return guarded([&]() -> HRESULT {
      if (!inputval)
        return E_POINTER;
      Str text = from_bstr(*inputval);
      plugin_.checkinputweb(text);
      BSTR result = to_bstr(text);
      SysFreeString(*inputval);
      *inputval = result;
      return S_OK;
    });
  }

  HRESULT STDMETHODCALLTYPE OnConnect(IDispatch* pApplication, LONG lPluginCookie) override {
    return forward([&] { plugin_.OnConnect(wrap_host_object(pApplication), lPluginCookie); });
  }
  HRESULT STDMETHODCALLTYPE OnDisconnect(IDispatch* pApplication, LONG lPluginCookie) override {
    return forward([&] { plugin_.OnDisconnect(wrap_host_object(pApplication), lPluginCookie); });
  }
  HRESULT STDMETHODCALLTYPE OnNotify(LONG MsgID, IDispatch* pParam) override {
    return forward([&] { plugin_.OnNotify(MsgID, wrap_host_object(pParam)); });
  }
  HRESULT STDMETHODCALLTYPE OnUninstall() override {
    return forward([&] { plugin_.OnUninstall(); });
  }

 private:
  VbBrevant plugin_;
};

template <class DefaultItf, class Item>
class ItemObject final : public ComObject<Server, Dual<DefaultItf>, Dual<ISDKPluginItem>> {
 public:
  ItemObject() : item_(make()) {}

  HRESULT STDMETHODCALLTYPE OnCreate(IDispatch* pslot, LONG hParentWnd, LONG lCookie) override {
    return forward([&] { item_->OnCreate(wrap_host_object(pslot), hParentWnd, lCookie); });
  }
  HRESULT STDMETHODCALLTYPE OnDestroy() override {
    return forward([&] { item_->OnDestroy(); });
  }
  HRESULT STDMETHODCALLTYPE OnNotify(LONG MsgID, IDispatch* pParam) override {
    return forward([&] { item_->OnNotify(MsgID, wrap_host_object(pParam)); });
  }
  HRESULT STDMETHODCALLTYPE OnClick() override {
    return forward([&] { item_->OnClick(); });
  }
  HRESULT STDMETHODCALLTYPE OnSize(LONG cx, LONG cy) override {
    return forward([&] { item_->OnSize(cx, cy); });
  }
  HRESULT STDMETHODCALLTYPE OnMenuClick(LONG param) override {
    return forward([&] { item_->OnMenuClick(param); });
  }

 private:
  static std::unique_ptr<sdk::PluginItem> make() {
    if constexpr (std::is_constructible_v<Item, Module&>) {
      return std::make_unique<Item>(Server::plugin_module());
    } else {
      return std::make_unique<Item>();
    }
  }
  std::unique_ptr<sdk::PluginItem> item_;
};

// KQTran and KQNet exist as creatable controls of the library; their work lives elsewhere.
template <class DefaultItf>
class ControlObject final : public ComObject<Server, Dual<DefaultItf>> {};

template <class Object>
HRESULT create(IUnknown** out) {
  return guarded([&]() -> HRESULT {
    if (!out)
      return E_POINTER;
    *out = nullptr;
    auto* obj = new Object();
    // The first part of every object is its default interface, which answers IUnknown.
    obj->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(out));
    obj->Release();
    return S_OK;
  });
}

}  // namespace

const ClassInfo kClasses[kClassCount] = {
    {L"vb_brevant", &CLSID_vb_brevant, &IID__vb_brevant, false, &create<VbBrevantObject>},
    {L"vb_importantplugin", &CLSID_vb_importantplugin, &IID__vb_importantplugin, false,
     &create<ItemObject<_vb_importantplugin, VbImportantPlugin>>},
    {L"vb_bottomplugin", &CLSID_vb_bottomplugin, &IID__vb_bottomplugin, false,
     &create<ItemObject<_vb_bottomplugin, VbBottomPlugin>>},
    {L"vb_imchatmainplugin", &CLSID_vb_imchatmainplugin, &IID__vb_imchatmainplugin, false,
     &create<ItemObject<_vb_imchatmainplugin, VbImChatMainPlugin>>},
    {L"vb_imchatinputplugin", &CLSID_vb_imchatinputplugin, &IID__vb_imchatinputplugin, false,
     &create<ItemObject<_vb_imchatinputplugin, VbImChatInputPlugin>>},
    {L"vb_mainmenuplugin", &CLSID_vb_mainmenuplugin, &IID__vb_mainmenuplugin, false,
     &create<ItemObject<_vb_mainmenuplugin, VbMainMenuPlugin>>},
    {L"KQTran", &CLSID_KQTran, &IID__KQTran, true, &create<ControlObject<_KQTran>>},
    {L"KQNet", &CLSID_KQNet, &IID__KQNet, true, &create<ControlObject<_KQNet>>},
};

const ClassInfo* find_class(REFCLSID clsid) {
  for (const ClassInfo& c : kClasses) {
    if (IsEqualCLSID(*c.clsid, clsid))
      return &c;
  }
  return nullptr;
}

}  // namespace brevant::com
