#pragma once
// The plain objects a messenger hands the plug-in through the SDK: an account, the application
// with the signed-in account, a chat message, a tab change and a contact-list item. The stand-in
// messenger and the tests' host both use them.

#include <cstdint>
#include <memory>
#include <utility>

#include "plugin/sdk.h"

namespace brevant::sdk_values {

class Account final : public sdk::Account {
 public:
  explicit Account(Str id) : id_(std::move(id)) {}
  Str id() override { return id_; }

 private:
  Str id_;
};

class Application final : public sdk::Application {
 public:
  explicit Application(Str own_id) : account_(std::make_shared<Account>(std::move(own_id))) {}
  std::shared_ptr<sdk::Account> current_account() override { return account_; }

 private:
  std::shared_ptr<Account> account_;
};

// `handle`: whether the plug-in may act on it (the messenger's handle flag).
class ChatMessage final : public sdk::ChatMessage {
 public:
  ChatMessage(Str from, Str text, bool handle = true)
      : from_(std::move(from)), text_(std::move(text)), handle_(handle) {}
  Str sender_id() override { return from_; }
  Str text() override { return text_; }
  bool handle() override { return handle_; }

 private:
  Str from_, text_;
  bool handle_;
};

class TabChange final : public sdk::TabChange {
 public:
  explicit TabChange(Str contact) : contact_(std::move(contact)) {}
  Str contact_id() override { return contact_; }

 private:
  Str contact_;
};

class ContactItem final : public sdk::ContactItem {
 public:
  explicit ContactItem(Str id) : account_(std::make_shared<Account>(std::move(id))) {}
  std::shared_ptr<sdk::Account> contact(std::int32_t) override { return account_; }

 private:
  std::shared_ptr<Account> account_;
};

}  // namespace brevant::sdk_values
