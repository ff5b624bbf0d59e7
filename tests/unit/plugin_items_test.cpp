#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/sim/sim_services.h"
#include "plugin/items.h"
#include "plugin/module.h"
#include "plugin/sdk.h"

namespace brevant {
namespace {

// A host slot that records its calls as text and keeps the item's visible/enabled state.
class RecordingSlot final : public sdk::ItemSlot, public sdk::Container, public sdk::Owner {
 public:
  std::vector<std::string> calls;
  bool shown = true;
  bool enabled = true;
  bool fail_container = false;
  bool fail_show = false;

  void show(bool s, std::int32_t cookie) override {
    calls.push_back(std::string("show ") + (s ? "1 " : "0 ") + std::to_string(cookie));
    if (fail_show)
      throw sdk::HostError("show failed");
    shown = s;
  }
  void enable(bool e, std::int32_t cookie) override {
    calls.push_back(std::string("enable ") + (e ? "1 " : "0 ") + std::to_string(cookie));
    enabled = e;
  }
  std::shared_ptr<sdk::Container> container(std::int32_t cookie) override {
    calls.push_back("container " + std::to_string(cookie));
    if (fail_container)
      throw sdk::HostError("no container");
    return std::dynamic_pointer_cast<sdk::Container>(shared_from_this());
  }
  std::shared_ptr<sdk::Owner> owner(std::int32_t cookie) override {
    calls.push_back("owner " + std::to_string(cookie));
    return std::dynamic_pointer_cast<sdk::Owner>(shared_from_this());
  }
  std::shared_ptr<sdk::Object> slot(std::int32_t) override { return nullptr; }
  std::shared_ptr<sdk::Object> next_slot(std::int32_t) override { return nullptr; }
  std::shared_ptr<sdk::ContactList> contact_list(std::int32_t) override { return nullptr; }
};

struct Fixture {
  SimServices sim = make_sim_services();
  ScriptedUi* ui = sim.ui;
  Module module{std::move(sim.services)};
  Fixture() { module.PluginCookie = 11; }
};

TEST(VbImportantPlugin, ClickBeforeCreateAsksNothing) {
  Fixture f;
  VbImportantPlugin item(f.module);
  item.OnClick();
  EXPECT_TRUE(f.ui->shown().empty());
}

TEST(VbImportantPlugin, DialogueFollowsTheAnswers) {
  const ScriptedUi::Box ask_show{kImportantTitle, kAskShow, true};
  const ScriptedUi::Box ask_enable{kImportantTitle, kAskEnable, true};
  struct Case {
    const char* name;
    std::vector<bool> answers;
    bool shown, enabled;
    std::vector<ScriptedUi::Box> boxes;
    std::vector<std::string> calls;
  };
  const std::vector<Case> cases = {
      {"no", {false}, false, true, {ask_show}, {"container 11", "owner 11", "show 0 5"}},
      {"yes then no",
       {true, false},
       true,
       false,
       {ask_show, ask_enable},
       {"container 11", "owner 11", "show 0 5", "show 1 5", "enable 0 5"}},
      {"yes then yes",
       {true, true},
       true,
       true,
       {ask_show, ask_enable},
       {"container 11", "owner 11", "show 0 5", "show 1 5", "enable 0 5", "enable 1 5"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f;
    for (bool a : c.answers)
      f.ui->answer(a);
    auto slot = std::make_shared<RecordingSlot>();
    VbImportantPlugin item(f.module);
    item.OnCreate(slot, 0x1234, 5);
    item.OnClick();
    EXPECT_EQ(slot->shown, c.shown);
    EXPECT_EQ(slot->enabled, c.enabled);
    EXPECT_EQ(f.ui->shown(), c.boxes);
    EXPECT_EQ(slot->calls, c.calls);
  }
}

TEST(VbImportantPlugin, FailingHostStepsAreSkipped) {
  Fixture f;
  f.ui->answer(true);
  f.ui->answer(true);
  auto slot = std::make_shared<RecordingSlot>();
  slot->fail_container = true;
  slot->fail_show = true;
  VbImportantPlugin item(f.module);
  item.OnCreate(slot, 0, 9);
  item.OnClick();
  EXPECT_EQ(slot->calls, (std::vector<std::string>{"container 11", "show 0 9", "show 1 9",
                                                   "enable 0 9", "enable 1 9"}));
  EXPECT_EQ(f.ui->shown().size(), 2u);
}

TEST(VbImportantPlugin, DestroyReleasesTheSlot) {
  Fixture f;
  auto slot = std::make_shared<RecordingSlot>();
  VbImportantPlugin item(f.module);
  item.OnCreate(slot, 0, 1);
  EXPECT_EQ(item.Slot(), slot);
  EXPECT_EQ(item.Cookie(), 1);
  item.OnDestroy();
  EXPECT_EQ(item.Slot(), nullptr);
  EXPECT_EQ(slot.use_count(), 1);
  item.OnClick();
  EXPECT_TRUE(f.ui->shown().empty());
  EXPECT_TRUE(slot->calls.empty());
}

TEST(PluginItems, AcceptEveryOperation) {
  Fixture f;
  auto slot = std::make_shared<RecordingSlot>();
  std::vector<std::unique_ptr<sdk::PluginItem>> items;
  items.push_back(std::make_unique<VbBottomPlugin>());
  items.push_back(std::make_unique<VbMainMenuPlugin>());
  for (auto& item : items) {
    item->OnCreate(slot, 1, 2);
    item->OnNotify(0, nullptr);
    item->OnNotify(1, slot);
    item->OnClick();
    item->OnSize(10, 20);
    item->OnMenuClick(3);
    item->OnDestroy();
  }
  EXPECT_TRUE(slot->calls.empty());
  EXPECT_TRUE(f.ui->shown().empty());
}

}  // namespace
}  // namespace brevant
