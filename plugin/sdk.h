#pragma once
// The messenger's plug-in SDK as portable C++ interfaces. The plug-in objects implement
// `Plugin` and `PluginItem`; the host objects they call are the other interfaces here, one
// virtual function per host operation, numbered after the method's slot in the messenger's
// dual interface. On Windows com/ adapts the messenger's COM objects to these; the Linux
// stand-in messenger implements them directly.
//
// A failing host call throws (HostError or anything else); callers that must go on use
// skip_failure() around the step.

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

#include "platform/failure.h"
#include "platform/text.h"

namespace brevant::sdk {

class HostError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The roles a host object can be taken in (the messenger's interfaces).
enum class Role {
  kApplication,
  kAccount,  // an account or a contact
  kChatMessage,
  kTabChange,
  kItemSlot,
  kInputSlot,
  kChat,
  kContainer,
  kOwner,
  kContactList,
  kContactItem,
};

// Any host object. One host object may offer several roles (an input slot is also an item
// slot); take a role with as<T>().
class Object : public std::enable_shared_from_this<Object> {
 public:
  virtual ~Object() = default;

  // This object in `role`, or nullptr when it does not offer it. Objects that implement
  // their roles as C++ bases need not override this: as<T>() casts what it returns.
  virtual std::shared_ptr<Object> query(Role /*role*/) { return shared_from_this(); }

  // Equal for every role of the same host object.
  virtual const void* identity() const { return this; }
};

// The object in role T, or nullptr (never throws for a missing role).
template <class T>
std::shared_ptr<T> as(const std::shared_ptr<Object>& obj) {
  if (!obj)
    return nullptr;
  return std::dynamic_pointer_cast<T>(obj->query(T::kRole));
}

inline bool same_object(const Object* a, const Object* b) {
  return a && b && a->identity() == b->identity();
}

class Account : public virtual Object {
 public:
  static constexpr Role kRole = Role::kAccount;
  virtual Str id() = 0;  // 1
};

class Application : public virtual Object {
 public:
  static constexpr Role kRole = Role::kApplication;
  virtual std::shared_ptr<Account> current_account() = 0;  // 3
};

class ChatMessage : public virtual Object {
 public:
  static constexpr Role kRole = Role::kChatMessage;
  virtual Str sender_id() = 0;  // 1
  virtual Str text() = 0;       // 3
  virtual bool handle() = 0;    // 5: true = the plug-in should handle it
};

class TabChange : public virtual Object {
 public:
  static constexpr Role kRole = Role::kTabChange;
  virtual Str contact_id() = 0;  // 3
};

class Container;
class Owner;
class Chat;
class ContactList;
class ContactItem;

class ItemSlot : public virtual Object {
 public:
  static constexpr Role kRole = Role::kItemSlot;
  virtual void show(bool show, std::int32_t cookie) = 0;                  // 1
  virtual void enable(bool enable, std::int32_t cookie) = 0;              // 2
  virtual std::shared_ptr<Container> container(std::int32_t cookie) = 0;  // 3
};

// The input-area slot of a chat window; the same host object is also an ItemSlot.
class InputSlot : public virtual Object {
 public:
  static constexpr Role kRole = Role::kInputSlot;
  virtual std::shared_ptr<Chat> chat() = 0;  // 3
};

class Chat : public virtual Object {
 public:
  static constexpr Role kRole = Role::kChat;
  virtual std::shared_ptr<Account> contact() = 0;  // 1
  // 5: places `text` in the chat as the message to `contact_id`; Send is pressed separately.
  virtual void send_text(const Str& contact_id, const Str& text, std::int32_t flags) = 0;
};

class Container : public virtual Object {
 public:
  static constexpr Role kRole = Role::kContainer;
  virtual std::shared_ptr<Owner> owner(std::int32_t cookie) = 0;       // 2
  virtual std::shared_ptr<Object> slot(std::int32_t cookie) = 0;       // 3
  virtual std::shared_ptr<Object> next_slot(std::int32_t cookie) = 0;  // 4
};

class Owner : public virtual Object {
 public:
  static constexpr Role kRole = Role::kOwner;
  virtual std::shared_ptr<ContactList> contact_list(std::int32_t cookie) = 0;  // 4
};

class ContactList : public virtual Object {
 public:
  static constexpr Role kRole = Role::kContactList;
  virtual std::vector<std::shared_ptr<ContactItem>> contact_items(std::int32_t cookie) = 0;  // 3
};

class ContactItem : public virtual Object {
 public:
  static constexpr Role kRole = Role::kContactItem;
  virtual std::shared_ptr<Account> contact(std::int32_t cookie) = 0;  // 1
};

// Implemented by the main plug-in object.
class Plugin {
 public:
  virtual ~Plugin() = default;
  virtual void OnConnect(std::shared_ptr<Object> pApplication, std::int32_t lPluginCookie) = 0;
  virtual void OnDisconnect(std::shared_ptr<Object> pApplication, std::int32_t lPluginCookie) = 0;
  virtual void OnNotify(std::int32_t MsgID, std::shared_ptr<Object> pParam) = 0;
  virtual void OnUninstall() = 0;
};

// Implemented by the plug-in items; the default of every operation is to do nothing.
class PluginItem {
 public:
  virtual ~PluginItem() = default;
  virtual void OnCreate(std::shared_ptr<Object> /*pslot*/, std::int32_t /*hParentWnd*/,
                        std::int32_t /*lCookie*/) {}
  virtual void OnDestroy() {}
  virtual void OnNotify(std::int32_t /*MsgID*/, std::shared_ptr<Object> /*pParam*/) {}
  virtual void OnClick() {}
  virtual void OnSize(std::int32_t /*cx*/, std::int32_t /*cy*/) {}
  virtual void OnMenuClick(std::int32_t /*param*/) {}
};

}  // namespace brevant::sdk
