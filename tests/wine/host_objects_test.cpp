// The messenger's COM objects seen through the portable SDK interfaces: every host operation
// reaches its slot with the right arguments, answers come back converted, failures throw.

#include "com/host_objects.h"

#include <gtest/gtest.h>

#include <objbase.h>

#include "host_objects.h"
#include "plugin/sdk.h"

namespace brevant {
namespace {

using host_sim::CallLog;
using host_sim::ComPtr;

class HostObjects : public ::testing::Test {
 protected:
  void SetUp() override { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
  void TearDown() override { CoUninitialize(); }
};

template <class T>
ComPtr<T> make(T* obj) {
  return ComPtr<T>::adopt(obj);
}

TEST_F(HostObjects, ApplicationGivesTheCurrentAccount) {
  auto app = make(new host_sim::HostApplication());
  app->account_id = L"cnvetmarme";
  auto application = sdk::as<sdk::Application>(com::wrap_host_object(app.get()));
  ASSERT_NE(application, nullptr);
  EXPECT_EQ(application->current_account()->id(), u"cnvetmarme");
  EXPECT_EQ(com::wrap_host_object(nullptr), nullptr);
}

TEST_F(HostObjects, ChatMessageAndTabChange) {
  auto msg = make(new host_sim::HostChatMessage());
  msg->sender = L"quillnetbob";
  msg->text = L"\u4F60\u597D hi";
  auto m = sdk::as<sdk::ChatMessage>(com::wrap_host_object(msg.get()));
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->sender_id(), u"quillnetbob");
  EXPECT_EQ(m->text(), u"\u4F60\u597D hi");
  EXPECT_TRUE(m->handle());
  msg->handle = VARIANT_FALSE;
  EXPECT_FALSE(m->handle());

  auto tab = make(new host_sim::HostTabChange(L"cnpelsodcarol"));
  auto t = sdk::as<sdk::TabChange>(com::wrap_host_object(tab.get()));
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->contact_id(), u"cnpelsodcarol");
}

TEST_F(HostObjects, MissingRoleIsNullAndIdentityIsShared) {
  auto tab = make(new host_sim::HostTabChange(L"x"));
  auto obj = com::wrap_host_object(tab.get());
  EXPECT_EQ(sdk::as<sdk::ItemSlot>(obj), nullptr);
  EXPECT_EQ(sdk::as<sdk::Application>(obj), nullptr);

  auto input = make(new host_sim::HostInputSlot());
  auto any = com::wrap_host_object(static_cast<IQNInputSlot*>(input.get()));
  auto as_item = sdk::as<sdk::ItemSlot>(any);
  auto as_input = sdk::as<sdk::InputSlot>(any);
  ASSERT_NE(as_item, nullptr);
  ASSERT_NE(as_input, nullptr);
  EXPECT_TRUE(sdk::same_object(as_item.get(), as_input.get()));
  EXPECT_FALSE(sdk::same_object(as_item.get(), obj.get()));
}

TEST_F(HostObjects, SlotWalkReachesEveryObjectWithItsCookie) {
  auto slot = make(new host_sim::HostItemSlot());
  slot->contacts = {L"cnquorinann", L"cnvetmarben"};
  auto s = sdk::as<sdk::ItemSlot>(com::wrap_host_object(static_cast<IQNItemSlot*>(slot.get())));
  ASSERT_NE(s, nullptr);
  s->show(false, 3);
  s->show(true, 3);
  s->enable(false, 4);
  s->enable(true, 4);
  auto container = s->container(5);
  ASSERT_NE(container, nullptr);
  EXPECT_TRUE(sdk::same_object(container->slot(6).get(), s.get()))
      << "the container's slot is the very slot";
  EXPECT_EQ(container->next_slot(7), nullptr);
  auto owner = container->owner(8);
  ASSERT_NE(owner, nullptr);
  auto list = owner->contact_list(9);
  ASSERT_NE(list, nullptr);
  auto items = list->contact_items(10);
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0]->contact(11)->id(), u"cnquorinann");
  EXPECT_EQ(items[1]->contact(12)->id(), u"cnvetmarben");
  const CallLog want = {"slot.Show 0 3",
                        "slot.Show -1 3",
                        "slot.Enable 0 4",
                        "slot.Enable -1 4",
                        "slot.GetContainer 5",
                        "container.GetSlot 6",
                        "container.GetNextSlot 7",
                        "container.GetOwner 8",
                        "owner.GetContactList 9",
                        "contactlist.GetContactItems 10",
                        "contactitem.GetContact 11",
                        "contactitem.GetContact 12"};
  EXPECT_EQ(*slot->log, want);
  EXPECT_TRUE(slot->shown);
  EXPECT_TRUE(slot->enabled);
}

TEST_F(HostObjects, InputSlotGivesTheChatWhichTakesText) {
  auto input = make(new host_sim::HostInputSlot());
  input->chat->contact_id = L"cnquorinfriend";
  auto slot =
      sdk::as<sdk::InputSlot>(com::wrap_host_object(static_cast<IQNInputSlot*>(input.get())));
  ASSERT_NE(slot, nullptr);
  auto chat = slot->chat();
  ASSERT_NE(chat, nullptr);
  EXPECT_EQ(chat->contact()->id(), u"cnquorinfriend");
  chat->send_text(u"cnquorinfriend", u"hello \u4E16\u754C", 0);
  ASSERT_EQ(input->chat->sent.size(), 1u);
  EXPECT_EQ(input->chat->sent[0].contact, L"cnquorinfriend");
  EXPECT_EQ(input->chat->sent[0].text, L"hello \u4E16\u754C");
  EXPECT_EQ(input->chat->sent[0].flags, 0);
}

TEST_F(HostObjects, FailingCallsThrowAndAdaptersReleaseWhatTheyTook) {
  auto slot = make(new host_sim::HostItemSlot());
  slot->fail_container = true;
  {
    auto s = sdk::as<sdk::ItemSlot>(com::wrap_host_object(static_cast<IQNItemSlot*>(slot.get())));
    EXPECT_THROW(s->container(1), sdk::HostError);
    EXPECT_TRUE(skip_failure("hide the item", [&] { s->show(false, 1); }));
    EXPECT_FALSE(slot->shown);
  }
  EXPECT_EQ(slot->ref_count(), 1) << "the adapters released every reference they took";

  auto app = make(new host_sim::HostApplication());
  {
    auto a = sdk::as<sdk::Application>(com::wrap_host_object(app.get()));
    EXPECT_EQ(a->current_account()->id(), u"cnquorinhostuser");
  }
  EXPECT_EQ(app->ref_count(), 1);
}

}  // namespace
}  // namespace brevant
