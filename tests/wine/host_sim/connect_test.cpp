// The plug-in's connection to the messenger: which application object it keeps, and when.

#include "host_sim_test.h"

namespace host_sim {
namespace {

class Connect : public Registered {
 protected:
  void SetUp() override {
    Registered::SetUp();
    ASSERT_HR(S_OK, create(cls(L"vb_brevant"), plugin));
  }
  void TearDown() override {
    plugin.reset();
    Registered::TearDown();
  }

  static ComPtr<HostApplication> new_app() {
    return ComPtr<HostApplication>::adopt(new HostApplication());
  }

  ComPtr<ISDKPlugin2> plugin;
};

TEST_F(Connect, ANewConnectionReplacesTheApplicationObject) {
  auto first = new_app();
  auto second = new_app();
  EXPECT_HR(S_OK, plugin->OnConnect(first.get(), 7));
  EXPECT_EQ(first->application_queries, 1) << "asks for the application interface";
  EXPECT_GT(first->ref_count(), 1) << "keeps the application object";
  EXPECT_HR(S_OK, plugin->OnConnect(second.get(), 8));
  EXPECT_EQ(first->ref_count(), 1) << "releases the first application object";
  EXPECT_GT(second->ref_count(), 1) << "keeps the new one";
}

TEST_F(Connect, DisconnectNotifyAndUninstallKeepTheApplicationObject) {
  auto app = new_app();
  auto msg = ComPtr<HostChatMessage>::adopt(new HostChatMessage());
  EXPECT_HR(S_OK, plugin->OnConnect(app.get(), 8));
  EXPECT_HR(S_OK, plugin->OnDisconnect(app.get(), 8));
  EXPECT_GT(app->ref_count(), 1) << "OnDisconnect keeps the application object";
  EXPECT_HR(S_OK, plugin->OnNotify(3, msg.get())) << "after OnDisconnect";
  EXPECT_HR(S_OK, plugin->OnNotify(0, nullptr)) << "without a parameter";
  EXPECT_HR(S_OK, plugin->OnNotify(12345, msg.get())) << "with another ID";
  EXPECT_HR(S_OK, plugin->OnUninstall());
  EXPECT_GT(app->ref_count(), 1) << "the application object stays after OnUninstall";
}

TEST_F(Connect, AnObjectWithoutTheApplicationInterfaceReplacesTheOldOne) {
  auto app = new_app();
  EXPECT_HR(S_OK, plugin->OnConnect(app.get(), 8));
  auto account = ComPtr<HostAccount>::adopt(new HostAccount(L"x"));
  EXPECT_HR(S_OK, plugin->OnConnect(account.get(), 9));
  EXPECT_EQ(app->ref_count(), 1) << "the previous application object is released";
  EXPECT_HR(S_OK, plugin->OnConnect(nullptr, 10));
}

}  // namespace
}  // namespace host_sim
