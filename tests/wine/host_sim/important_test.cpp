// The important item: a click asks, in real message boxes, whether to show and then whether
// to enable the plug-in, and the answers reach the messenger's slot with the connection's cookie.

#include "host_sim_test.h"

namespace host_sim {
namespace {

class Important : public Registered {
 protected:
  void SetUp() override {
    Registered::SetUp();
    ASSERT_HR(S_OK, create(cls(L"vb_brevant"), plugin));
    ASSERT_HR(S_OK, create(cls(L"vb_importantplugin"), item));
    plugin->OnConnect(app.get(), 77);
  }
  void TearDown() override {
    item.reset();
    plugin.reset();
    Registered::TearDown();
  }

  // Clicks the item with the answers scripted; the boxes it showed.
  std::vector<Box> click(std::deque<bool> answers) {
    return with_answers(std::move(answers), [&] { EXPECT_HR(S_OK, item->OnClick()); });
  }

  ComPtr<HostApplication> app = ComPtr<HostApplication>::adopt(new HostApplication());
  ComPtr<HostItemSlot> slot = ComPtr<HostItemSlot>::adopt(new HostItemSlot());
  ComPtr<ISDKPlugin2> plugin;
  ComPtr<ISDKPluginItem> item;
};

TEST_F(Important, AClickBeforeOnCreateOrAfterOnDestroyAsksNothing) {
  EXPECT_EQ(click({true, true}), std::vector<Box>{}) << "before OnCreate";
  EXPECT_HR(S_OK, item->OnCreate(slot.get(), 0, 5));
  EXPECT_HR(S_OK, item->OnDestroy());
  EXPECT_EQ(slot->ref_count(), 1) << "OnDestroy releases the slot";
  EXPECT_EQ(click({true}), std::vector<Box>{}) << "after OnDestroy";
}

struct Answering {
  const char* name;
  std::deque<bool> answers;
  std::vector<Box> asked;
  bool shown, enabled;
  CallLog calls;
};

void PrintTo(const Answering& a, std::ostream* os) {
  *os << a.name;
}

class Answers : public Important, public testing::WithParamInterface<Answering> {};

TEST_P(Answers, ReachTheSlot) {
  const Answering& a = GetParam();
  EXPECT_HR(S_OK, item->OnCreate(slot.get(), 0x10020, 5));
  EXPECT_EQ(click(a.answers), a.asked) << "the questions and their title are exact";
  EXPECT_EQ(slot->shown, a.shown);
  EXPECT_EQ(slot->enabled, a.enabled);
  EXPECT_EQ(*slot->log, a.calls) << "the calls the messenger got";
  EXPECT_HR(S_OK, item->OnDestroy());
  EXPECT_EQ(slot->ref_count(), 1) << "OnDestroy releases the slot";
}

INSTANTIATE_TEST_SUITE_P(
    Important, Answers,
    testing::Values(Answering{"No",
                              {false},
                              questions({kAskShow}),
                              false,
                              true,
                              {"slot.GetContainer 77", "container.GetOwner 77", "slot.Show 0 5"}},
                    Answering{"YesNo",
                              {true, false},
                              questions({kAskShow, kAskEnable}),
                              true,
                              false,
                              {"slot.GetContainer 77", "container.GetOwner 77", "slot.Show 0 5",
                               "slot.Show -1 5", "slot.Enable 0 5"}},
                    Answering{"YesYes",
                              {true, true},
                              questions({kAskShow, kAskEnable}),
                              true,
                              true,
                              {"slot.GetContainer 77", "container.GetOwner 77", "slot.Show 0 5",
                               "slot.Show -1 5", "slot.Enable 0 5", "slot.Enable -1 5"}}),
    [](const testing::TestParamInfo<Answering>& info) { return std::string(info.param.name); });

// The connection's cookie reaches the messenger through the slot: a reconnection changes it.
TEST_F(Important, AFailingHostCallIsSkippedAndTheNewestCookiePassed) {
  plugin->OnConnect(app.get(), 78);
  slot->fail_container = true;
  item->OnCreate(slot.get(), 0, 6);
  EXPECT_EQ(click({true, true}).size(), 2u) << "both questions are still asked";
  EXPECT_EQ(*slot->log, (CallLog{"slot.GetContainer 78", "slot.Show 0 6", "slot.Show -1 6",
                                 "slot.Enable 0 6", "slot.Enable -1 6"}));
  item->OnDestroy();
}

}  // namespace
}  // namespace host_sim
