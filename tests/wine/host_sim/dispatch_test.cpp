// The plug-in's objects driven late-bound, through IDispatch, as a script host drives them.

#include "host_sim_test.h"

namespace host_sim {
namespace {

class Dispatch : public Registered {};

TEST_F(Dispatch, CheckinputwebByNameAndThroughTheVtable) {
  ComPtr<IDispatch> plugin;
  ASSERT_HR(S_OK, create(cls(L"vb_brevant"), plugin));
  BSTR text = SysAllocString(L"A\uFF06B&C");
  VARIANT arg;
  VariantInit(&arg);
  V_VT(&arg) = VT_BSTR | VT_BYREF;
  V_BSTRREF(&arg) = &text;
  EXPECT_HR(S_OK, invoke(plugin.get(), L"checkinputweb", {arg}));
  EXPECT_STREQ(text, L"AB C") << "normalised in place";
  SysFreeString(text);

  ComPtr<_vb_brevant> direct = plugin.query<_vb_brevant>();
  ASSERT_TRUE(direct);
  BSTR text2 = SysAllocString(L"9kosyhi9kody");
  EXPECT_HR(S_OK, direct->checkinputweb(&text2));
  EXPECT_STREQ(text2, L" hi ");
  SysFreeString(text2);
  EXPECT_HR(E_POINTER, direct->checkinputweb(nullptr));

  LPOLESTR bad[] = {const_cast<LPOLESTR>(L"NoSuchMethod")};
  DISPID id = 0;
  EXPECT_HR(DISP_E_UNKNOWNNAME, plugin->GetIDsOfNames(IID_NULL, bad, 1, 0, &id));
}

TEST_F(Dispatch, ThePluginsEventsThroughInvoke) {
  ComPtr<ISDKPlugin2> sdk;
  ASSERT_HR(S_OK, create(cls(L"vb_brevant"), sdk));
  auto app = ComPtr<HostApplication>::adopt(new HostApplication());
  const LONG before = app->ref_count();
  EXPECT_HR(S_OK, invoke(sdk.get(), L"OnConnect", {v_object(app.get()), v_long(31)}));
  EXPECT_GE(app->application_queries, 1);
  EXPECT_GT(app->ref_count(), before) << "OnConnect through Invoke keeps the application object";
  auto msg = ComPtr<HostChatMessage>::adopt(new HostChatMessage());
  EXPECT_HR(S_OK, invoke(sdk.get(), L"OnNotify", {v_long(3), v_object(msg.get())}));
  EXPECT_HR(S_OK, invoke(sdk.get(), L"OnUninstall", {}));
}

TEST_F(Dispatch, AnItemsEventsThroughInvoke) {
  ComPtr<ISDKPluginItem> item;
  ASSERT_HR(S_OK, create(cls(L"vb_importantplugin"), item));
  auto slot = ComPtr<HostItemSlot>::adopt(new HostItemSlot());
  EXPECT_HR(S_OK, invoke(item.get(), L"OnCreate", {v_object(slot.get()), v_long(0), v_long(4)}));
  HRESULT hr = E_FAIL;
  auto boxes = with_answers({false}, [&] { hr = invoke(item.get(), L"OnClick", {}); });
  EXPECT_HR(S_OK, hr);
  EXPECT_EQ(boxes, questions({kAskShow}));
  EXPECT_FALSE(slot->shown) << "answered No: the item is hidden";
  EXPECT_HR(S_OK, invoke(item.get(), L"OnSize", {v_long(10), v_long(20)}));
  EXPECT_HR(S_OK, invoke(item.get(), L"OnMenuClick", {v_long(1)}));
  EXPECT_HR(S_OK, invoke(item.get(), L"OnDestroy", {}));
}

}  // namespace
}  // namespace host_sim
