#pragma once
// The messenger's side of the SDK for scenario tests: accounts, chat messages, tab changes and
// one chat window's slot (item slot and input slot in one object) with its container, owner,
// contact list and chat. Each chat records what the plug-in put into it.

#include <memory>
#include <string>
#include <vector>

#include "plugin/sdk.h"
#include "plugin/sdk_values.h"

namespace brevant::sim_host {

using sdk_values::Account;
using sdk_values::Application;
using sdk_values::ChatMessage;
using sdk_values::ContactItem;
using sdk_values::TabChange;

// What the plug-in handed to a chat with method 5.
struct Sent {
  Str contact;
  Str text;
  std::int32_t flags = 0;
  bool operator==(const Sent&) const = default;
};

class Chat final : public sdk::Chat {
 public:
  explicit Chat(Str contact) : contact_(std::make_shared<Account>(std::move(contact))) {}
  std::shared_ptr<sdk::Account> contact() override { return contact_; }
  void send_text(const Str& contact_id, const Str& text, std::int32_t flags) override {
    sent.push_back({contact_id, text, flags});
  }
  std::vector<Sent> sent;

 private:
  std::shared_ptr<Account> contact_;
};

// One slot of a chat window: item slot and input slot, and its own container, owner and
// contact list (the contacts shown in the window, one per tab).
class Slot final : public sdk::ItemSlot,
                   public sdk::InputSlot,
                   public sdk::Container,
                   public sdk::Owner,
                   public sdk::ContactList {
 public:
  Slot(std::shared_ptr<Chat> chat, std::vector<Str> contacts)
      : chat_(std::move(chat)), contacts_(std::move(contacts)) {}

  bool shown = false;
  bool enabled = false;
  // The container answers its method 3 with this slot itself (no tabs) unless told otherwise.
  bool own_container_slot = true;

  void show(bool s, std::int32_t) override { shown = s; }
  void enable(bool e, std::int32_t) override { enabled = e; }
  std::shared_ptr<sdk::Container> container(std::int32_t) override { return self<Container>(); }
  std::shared_ptr<sdk::Chat> chat() override { return chat_; }
  std::shared_ptr<sdk::Owner> owner(std::int32_t) override { return self<Owner>(); }
  std::shared_ptr<sdk::Object> slot(std::int32_t) override {
    return own_container_slot ? shared_from_this() : nullptr;
  }
  std::shared_ptr<sdk::Object> next_slot(std::int32_t) override { return nullptr; }
  std::shared_ptr<sdk::ContactList> contact_list(std::int32_t) override {
    return self<ContactList>();
  }
  std::vector<std::shared_ptr<sdk::ContactItem>> contact_items(std::int32_t) override {
    std::vector<std::shared_ptr<sdk::ContactItem>> items;
    for (const Str& id : contacts_)
      items.push_back(std::make_shared<ContactItem>(id));
    return items;
  }

 private:
  template <class T>
  std::shared_ptr<T> self() {
    return std::dynamic_pointer_cast<T>(shared_from_this());
  }
  std::shared_ptr<Chat> chat_;
  std::vector<Str> contacts_;
};

}  // namespace brevant::sim_host
