// The items that only hold a place in the messenger's windows, and the two controls. (The chat
// window's two items have a group of their own.)

#include "host_sim_test.h"

namespace host_sim {
namespace {

using EachPassiveItem = RegisteredWith<Class>;

TEST_P(EachPassiveItem, AcceptsEveryOperationAsksNothingAndKeepsNothing) {
  ComPtr<ISDKPluginItem> item;
  ASSERT_HR(S_OK, create(GetParam(), item));
  auto slot = ComPtr<HostItemSlot>::adopt(new HostItemSlot());
  auto param = ComPtr<HostChatMessage>::adopt(new HostChatMessage());
  std::vector<Box> boxes = with_answers({}, [&] {
    EXPECT_HR(S_OK, item->OnCreate(slot.get(), 0x20030, 3));
    EXPECT_HR(S_OK, item->OnNotify(0, param.get()));
    EXPECT_HR(S_OK, item->OnNotify(1, param.get()));
    EXPECT_HR(S_OK, item->OnNotify(7, nullptr));
    EXPECT_HR(S_OK, item->OnClick());
    EXPECT_HR(S_OK, item->OnSize(300, 40));
    EXPECT_HR(S_OK, item->OnMenuClick(2));
    EXPECT_HR(S_OK, item->OnDestroy());
    EXPECT_HR(S_OK, item->OnCreate(nullptr, 0, 0));
    EXPECT_HR(S_OK, item->OnClick());
  });
  EXPECT_EQ(boxes, std::vector<Box>{}) << "asks nothing";
  item.reset();
  EXPECT_EQ(slot->ref_count(), 1) << "keeps no host object after release";
}

INSTANTIATE_TEST_SUITE_P(Items, EachPassiveItem,
                         testing::ValuesIn(classes({L"vb_bottomplugin", L"vb_mainmenuplugin"})),
                         class_name);

using EachControl = RegisteredWith<Class>;

TEST_P(EachControl, IsCreatedByItsProgID) {
  ComPtr<IDispatch> control;
  EXPECT_HR(S_OK, create(GetParam(), control));
}

INSTANTIATE_TEST_SUITE_P(Items, EachControl, testing::ValuesIn(classes({L"KQTran", L"KQNet"})),
                         class_name);

}  // namespace
}  // namespace host_sim
