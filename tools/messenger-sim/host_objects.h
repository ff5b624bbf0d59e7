#pragma once
// The messenger's side of the SDK: the objects the plug-in is handed and calls. Each chat tab
// owns one slot object (item slot, input slot, container, owner and contact list in one) and
// one chat object; both only point back at their tab, so a plug-in that keeps them after the
// tab closed gets a failing host call rather than a dangling one.

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "plugin/sdk.h"
#include "plugin/sdk_values.h"

namespace brevant::messenger {

using sdk_values::Account;
using sdk_values::Application;
using sdk_values::ChatMessage;
using sdk_values::ContactItem;
using sdk_values::TabChange;

// What a tab offers its host objects; the messenger implements it.
class TabHost {
 public:
  virtual ~TabHost() = default;
  virtual void show_item(bool show) = 0;
  virtual void enable_item(bool enable) = 0;
  // Method 5 of the chat: `text` becomes the draft to `contact_id` in this chat's window.
  virtual void place_text(const Str& contact_id, const Str& text) = 0;
  // The contacts shown in the tab's window, one per tab.
  virtual std::vector<Str> window_contacts() = 0;
  // The slot of the window's first tab (the container's own slot while there are no tabs).
  virtual std::shared_ptr<sdk::Object> first_slot() = 0;
};

class Chat final : public sdk::Chat {
 public:
  explicit Chat(Str contact) : contact_(std::make_shared<Account>(std::move(contact))) {}
  std::shared_ptr<sdk::Account> contact() override { return contact_; }
  void send_text(const Str& contact_id, const Str& text, std::int32_t) override {
    if (!host)
      throw sdk::HostError("the chat is closed");
    host->place_text(contact_id, text);
  }
  TabHost* host = nullptr;

 private:
  std::shared_ptr<Account> contact_;
};

class Slot final : public sdk::ItemSlot,
                   public sdk::InputSlot,
                   public sdk::Container,
                   public sdk::Owner,
                   public sdk::ContactList {
 public:
  explicit Slot(std::shared_ptr<Chat> chat) : chat_(std::move(chat)) {}
  TabHost* host = nullptr;

  void show(bool s, std::int32_t) override { live().show_item(s); }
  void enable(bool e, std::int32_t) override { live().enable_item(e); }
  std::shared_ptr<sdk::Container> container(std::int32_t) override {
    live();
    return std::dynamic_pointer_cast<sdk::Container>(shared_from_this());
  }
  std::shared_ptr<sdk::Chat> chat() override { return chat_; }
  std::shared_ptr<sdk::Owner> owner(std::int32_t) override {
    return std::dynamic_pointer_cast<sdk::Owner>(shared_from_this());
  }
  std::shared_ptr<sdk::Object> slot(std::int32_t) override { return live().first_slot(); }
  std::shared_ptr<sdk::Object> next_slot(std::int32_t) override { return nullptr; }
  std::shared_ptr<sdk::ContactList> contact_list(std::int32_t) override {
    return std::dynamic_pointer_cast<sdk::ContactList>(shared_from_this());
  }
  std::vector<std::shared_ptr<sdk::ContactItem>> contact_items(std::int32_t) override {
    std::vector<std::shared_ptr<sdk::ContactItem>> items;
    for (const Str& id : live().window_contacts())
      items.push_back(std::make_shared<ContactItem>(id));
    return items;
  }

 private:
  TabHost& live() {
    if (!host)
      throw sdk::HostError("the chat is closed");
    return *host;
  }
  std::shared_ptr<Chat> chat_;
};

}  // namespace brevant::messenger
