// The DLL's exports and its lifetime: it may be unloaded only when no class factory, object or
// lock is left, and unloading it releases what the plug-in still held. Each test loads the DLL
// afresh, so the group needs a process in which nothing else loaded it.

#include "host_sim_test.h"

#include <utility>

namespace host_sim {
namespace {

using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using CanUnloadFn = HRESULT(STDAPICALLTYPE*)();

class Unload : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(GetModuleHandleW(L"brevant.dll"), nullptr)
        << "brevant.dll is already loaded: run this group in a process of its own";
    dll = LoadLibraryW(dll_path().c_str());
    ASSERT_NE(dll, nullptr);
    get_class_object = reinterpret_cast<GetClassObjectFn>(
        reinterpret_cast<void*>(GetProcAddress(dll, "DllGetClassObject")));
    can_unload = reinterpret_cast<CanUnloadFn>(
        reinterpret_cast<void*>(GetProcAddress(dll, "DllCanUnloadNow")));
    ASSERT_TRUE(get_class_object && can_unload) << "the exports are there by their plain names";
  }
  void TearDown() override {
    if (dll)
      FreeLibrary(dll);
  }

  template <class Itf>
  HRESULT factory_of(const CLSID& clsid, ComPtr<Itf>& out) {
    return get_class_object(clsid, __uuidof(Itf), reinterpret_cast<void**>(out.put()));
  }

  HMODULE dll = nullptr;
  GetClassObjectFn get_class_object = nullptr;
  CanUnloadFn can_unload = nullptr;
};

TEST_F(Unload, RegistrationIsExportedByPlainNames) {
  for (const char* e : {"DllRegisterServer", "DllUnregisterServer", "DllInstall"})
    EXPECT_NE(GetProcAddress(dll, e), nullptr) << e;
  EXPECT_HR(S_OK, can_unload()) << "nothing alive";
}

TEST_F(Unload, NotWhileAFactoryOrAnObjectLives) {
  IUnknown* none = nullptr;
  EXPECT_HR(CLASS_E_CLASSNOTAVAILABLE,
            get_class_object(guid(L"{00000000-0000-0000-0000-000000000001}"), IID_IClassFactory,
                             reinterpret_cast<void**>(&none)));
  ComPtr<IClassFactory> factory;
  ASSERT_HR(S_OK, factory_of(CLSID_vb_brevant, factory));
  EXPECT_HR(S_FALSE, can_unload()) << "a class factory held";
  ComPtr<IUnknown> aggregated;
  EXPECT_HR(CLASS_E_NOAGGREGATION,
            factory->CreateInstance(factory.get(), IID_IUnknown,
                                    reinterpret_cast<void**>(aggregated.put())));
  ComPtr<ISDKPlugin2> plugin;
  ASSERT_HR(S_OK, factory->CreateInstance(nullptr, IID_ISDKPlugin2,
                                          reinterpret_cast<void**>(plugin.put())));
  factory.reset();
  EXPECT_HR(S_FALSE, can_unload()) << "an object alive";
  ComPtr<IDispatch> other = plugin.query<IDispatch>();
  plugin.reset();
  EXPECT_HR(S_FALSE, can_unload()) << "an object alive through another interface";
  other.reset();
  EXPECT_HR(S_OK, can_unload()) << "every object gone";
}

TEST_F(Unload, NotWhileALockOrAnItemLives) {
  ComPtr<IClassFactory> factory;
  ASSERT_HR(S_OK, factory_of(CLSID_vb_importantplugin, factory));
  EXPECT_HR(S_OK, factory->LockServer(TRUE));
  factory.reset();
  EXPECT_HR(S_FALSE, can_unload()) << "a lock held";
  ASSERT_HR(S_OK, factory_of(CLSID_vb_importantplugin, factory));
  ComPtr<ISDKPluginItem> item;
  ASSERT_HR(S_OK, factory->CreateInstance(nullptr, IID_ISDKPluginItem,
                                          reinterpret_cast<void**>(item.put())));
  EXPECT_HR(S_OK, factory->LockServer(FALSE));
  factory.reset();
  auto slot = ComPtr<HostItemSlot>::adopt(new HostItemSlot());
  item->OnCreate(slot.get(), 0, 1);
  EXPECT_HR(S_FALSE, can_unload()) << "an item alive";
  item.reset();
  EXPECT_EQ(slot->ref_count(), 1) << "a released item releases its slot";
  EXPECT_HR(S_OK, can_unload()) << "lock and objects gone";
}

TEST_F(Unload, UnloadingReleasesTheApplicationObject) {
  auto app = ComPtr<HostApplication>::adopt(new HostApplication());
  {
    ComPtr<IClassFactory> factory;
    ASSERT_HR(S_OK, factory_of(CLSID_vb_brevant, factory));
    ComPtr<ISDKPlugin2> plugin;
    ASSERT_HR(S_OK, factory->CreateInstance(nullptr, IID_ISDKPlugin2,
                                            reinterpret_cast<void**>(plugin.put())));
    plugin->OnConnect(app.get(), 1);
  }
  EXPECT_HR(S_OK, can_unload()) << "only the library holds the application object";
  EXPECT_GT(app->ref_count(), 1) << "the library keeps it while loaded";
  FreeLibrary(std::exchange(dll, nullptr));
  EXPECT_EQ(app->ref_count(), 1);
}

}  // namespace
}  // namespace host_sim
