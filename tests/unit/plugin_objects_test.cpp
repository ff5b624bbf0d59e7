#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <memory>

#include "platform/sim/sim_services.h"
#include "plugin/module.h"
#include "plugin/plugin_objects.h"
#include "plugin/sdk.h"

namespace brevant {
namespace {

class FakeAccount final : public sdk::Account {
 public:
  explicit FakeAccount(Str id) : id_(std::move(id)) {}
  Str id() override { return id_; }

 private:
  Str id_;
};

class FakeApplication final : public sdk::Application {
 public:
  std::shared_ptr<sdk::Account> current_account() override {
    return std::make_shared<FakeAccount>(u"cnquorinalice");
  }
};

// A host object that offers no application role.
class NotAnApplication final : public sdk::Account {
 public:
  Str id() override { throw sdk::HostError("not used"); }
};

Module make_module() {
  return Module(make_sim_services().services);
}

TEST(VbBrevant, ConnectStoresAppAndCookieAndReconnectReplacesBoth) {
  Module m = make_module();
  VbBrevant plugin(m);
  auto first = std::make_shared<FakeApplication>();
  auto second = std::make_shared<FakeApplication>();

  plugin.OnConnect(first, 7);
  EXPECT_EQ(m.App, first);
  EXPECT_EQ(m.PluginCookie, 7);
  EXPECT_EQ(m.App->current_account()->id(), u"cnquorinalice");

  plugin.OnConnect(second, -3);
  EXPECT_EQ(m.App, second);
  EXPECT_EQ(m.PluginCookie, -3);
  EXPECT_EQ(first.use_count(), 1) << "the first application object is released";
}

TEST(VbBrevant, ConnectWithoutApplicationRoleLeavesAppEmpty) {
  Module m = make_module();
  VbBrevant plugin(m);
  plugin.OnConnect(std::make_shared<FakeApplication>(), 1);
  plugin.OnConnect(std::make_shared<NotAnApplication>(), 2);
  EXPECT_EQ(m.App, nullptr);
  EXPECT_EQ(m.PluginCookie, 2);
  plugin.OnConnect(nullptr, 3);
  EXPECT_EQ(m.App, nullptr);
  EXPECT_EQ(m.PluginCookie, 3);
}

TEST(VbBrevant, DisconnectUninstallAndNotifyKeepTheConnection) {
  Module m = make_module();
  VbBrevant plugin(m);
  auto app = std::make_shared<FakeApplication>();
  plugin.OnConnect(app, 42);
  plugin.OnDisconnect(app, 42);
  plugin.OnNotify(0, nullptr);
  plugin.OnNotify(3, std::make_shared<FakeAccount>(u"x"));
  plugin.OnNotify(99, nullptr);
  plugin.OnUninstall();
  EXPECT_EQ(m.App, app);
  EXPECT_EQ(m.PluginCookie, 42);
}

TEST(VbBrevant, CheckinputwebNormalisesInPlace) {
  Module m = make_module();
  VbBrevant plugin(m);
  Str text = u"A\uFF06B&C";
  plugin.checkinputweb(text);
  EXPECT_EQ(text, u"AB C");
}

TEST(SkipFailure, SwallowsAnyFailureCountsItByStepAndTellsTheSink) {
  std::vector<std::string> told;
  set_failure_sink([&](std::string_view step, std::string_view what) {
    told.push_back(std::string(step) + ": " + std::string(what));
  });
  const auto total = skipped_failures();
  int ran = 0;
  EXPECT_TRUE(skip_failure("test step a", [&] { ++ran; }));
  EXPECT_FALSE(skip_failure("test step a", [&] { throw sdk::HostError("host call failed"); }));
  EXPECT_FALSE(skip_failure("test step b", [&] { throw 5; }));
  set_failure_sink(nullptr);
  EXPECT_EQ(ran, 1);
  EXPECT_EQ(skipped_failures("test step a"), 1u);
  EXPECT_EQ(skipped_failures("test step b"), 1u);
  EXPECT_EQ(skipped_failures("test step c"), 0u);
  EXPECT_EQ(skipped_failures() - total, 2u);
  EXPECT_EQ(told, (std::vector<std::string>{"test step a: host call failed",
                                            "test step b: unknown failure"}));
}

}  // namespace
}  // namespace brevant
