// Each class created by its ProgID, as the messenger creates it: its interfaces and no other.

#include "host_sim_test.h"

namespace host_sim {
namespace {

using EachClass = RegisteredWith<Class>;

TEST_P(EachClass, AnswersItsInterfacesAndNoOther) {
  const Class& c = GetParam();
  ComPtr<IUnknown> obj;
  ASSERT_HR(S_OK, create(c, obj));
  ComPtr<IDispatch> def;
  EXPECT_HR(S_OK, obj->QueryInterface(guid(c.iid), reinterpret_cast<void**>(def.put())))
      << "its default interface";
  ComPtr<IDispatch> disp = obj.query<IDispatch>();
  ASSERT_TRUE(disp);
  EXPECT_EQ(disp.get(), def.get()) << "IDispatch is the default interface";
  EXPECT_EQ(def.query<IUnknown>().get(), obj.get()) << "one identity";

  ITypeInfo* ti = nullptr;
  ASSERT_HR(S_OK, disp->GetTypeInfo(0, 0, &ti));
  TYPEATTR* attr = nullptr;
  ti->GetTypeAttr(&attr);
  EXPECT_TRUE(attr && IsEqualGUID(attr->guid, guid(c.iid)))
      << "its type information is the default interface";
  if (attr)
    ti->ReleaseTypeAttr(attr);
  ti->Release();

  // vb_brevant is the plug-in, the other vb_ classes its items, the controls neither.
  EXPECT_EQ(static_cast<bool>(obj.query<ISDKPlugin2>()), !c.item && !c.control);
  EXPECT_EQ(static_cast<bool>(obj.query<ISDKPluginItem>()), c.item);
  EXPECT_FALSE(obj.query<IPersist>()) << "an interface it does not have";
}

INSTANTIATE_TEST_SUITE_P(Classes, EachClass, testing::ValuesIn(kClasses), class_name);

}  // namespace
}  // namespace host_sim
