#include "com/host_objects.h"

#include <string>
#include <vector>

#include "com/com_support.h"
#include "com/qnsdkcom.h"

namespace brevant::com {
namespace {

void check(HRESULT hr, const char* what) {
  if (FAILED(hr)) {
    char code[16];
    wsprintfA(code, "%08lX", static_cast<unsigned long>(hr));
    throw sdk::HostError(std::string(what) + " failed: 0x" + code);
  }
}

// What every adapter shares: the host object's identity and the way to its other roles.
class HostObject : public virtual sdk::Object {
 public:
  explicit HostObject(ComPtr<IUnknown> identity) : identity_(std::move(identity)) {}
  std::shared_ptr<sdk::Object> query(sdk::Role role) override;
  const void* identity() const override { return identity_.get(); }

 protected:
  const ComPtr<IUnknown>& unknown() const { return identity_; }

 private:
  ComPtr<IUnknown> identity_;  // the object's IUnknown, the same for every role
};

template <class Itf>
class RoleOf : public HostObject {
 public:
  RoleOf(ComPtr<IUnknown> identity, ComPtr<Itf> itf)
      : HostObject(std::move(identity)), itf_(std::move(itf)) {}

 protected:
  Itf* itf() const { return itf_.get(); }

 private:
  ComPtr<Itf> itf_;
};

std::shared_ptr<sdk::Object> wrap(IUnknown* obj);

// Adapts an out-parameter interface pointer (owned) to the role T, or nullptr.
template <class T, class Itf>
std::shared_ptr<T> adopt(Itf* p) {
  ComPtr<Itf> owned = ComPtr<Itf>::adopt(p);
  return sdk::as<T>(wrap(owned.get()));
}

Str take(BSTR b) {
  Bstr owned;
  *owned.put() = b;
  return owned.str();
}

class Account final : public RoleOf<IQNAccount>, public sdk::Account {
 public:
  using RoleOf::RoleOf;
  Str id() override {
    BSTR b = nullptr;
    check(itf()->GetID(&b), "account 1");
    return take(b);
  }
};

class Application final : public RoleOf<IQNApplication>, public sdk::Application {
 public:
  using RoleOf::RoleOf;
  std::shared_ptr<sdk::Account> current_account() override {
    IQNAccount* p = nullptr;
    check(itf()->GetCurrentAccount(&p), "application 3");
    return adopt<sdk::Account>(p);
  }
};

class ChatMessage final : public RoleOf<IQNChatMessage>, public sdk::ChatMessage {
 public:
  using RoleOf::RoleOf;
  Str sender_id() override {
    BSTR b = nullptr;
    check(itf()->GetSender(&b), "chat message 1");
    return take(b);
  }
  Str text() override {
    BSTR b = nullptr;
    check(itf()->GetText(&b), "chat message 3");
    return take(b);
  }
  bool handle() override {
    VARIANT_BOOL v = VARIANT_FALSE;
    check(itf()->GetHandle(&v), "chat message 5");
    return v != VARIANT_FALSE;
  }
};

class TabChange final : public RoleOf<IQNTabChange>, public sdk::TabChange {
 public:
  using RoleOf::RoleOf;
  Str contact_id() override {
    BSTR b = nullptr;
    check(itf()->GetContactID(&b), "tab change 3");
    return take(b);
  }
};

class ItemSlot final : public RoleOf<IQNItemSlot>, public sdk::ItemSlot {
 public:
  using RoleOf::RoleOf;
  void show(bool show, std::int32_t cookie) override {
    check(itf()->Show(to_variant_bool(show), cookie), "item slot 1");
  }
  void enable(bool enable, std::int32_t cookie) override {
    check(itf()->Enable(to_variant_bool(enable), cookie), "item slot 2");
  }
  std::shared_ptr<sdk::Container> container(std::int32_t cookie) override {
    IQNContainer* p = nullptr;
    check(itf()->GetContainer(cookie, &p), "item slot 3");
    return adopt<sdk::Container>(p);
  }
};

class InputSlot final : public RoleOf<IQNInputSlot>, public sdk::InputSlot {
 public:
  using RoleOf::RoleOf;
  std::shared_ptr<sdk::Chat> chat() override {
    IQNChat* p = nullptr;
    check(itf()->GetChat(&p), "input slot 3");
    return adopt<sdk::Chat>(p);
  }
};

class Chat final : public RoleOf<IQNChat>, public sdk::Chat {
 public:
  using RoleOf::RoleOf;
  std::shared_ptr<sdk::Account> contact() override {
    IQNAccount* p = nullptr;
    check(itf()->GetContact(&p), "chat 1");
    return adopt<sdk::Account>(p);
  }
  void send_text(const Str& contact_id, const Str& text, std::int32_t flags) override {
    Bstr id(contact_id), t(text);
    check(itf()->SendText(id.get(), t.get(), flags), "chat 5");
  }
};

class Container final : public RoleOf<IQNContainer>, public sdk::Container {
 public:
  using RoleOf::RoleOf;
  std::shared_ptr<sdk::Owner> owner(std::int32_t cookie) override {
    IQNOwner* p = nullptr;
    check(itf()->GetOwner(cookie, &p), "container 2");
    return adopt<sdk::Owner>(p);
  }
  std::shared_ptr<sdk::Object> slot(std::int32_t cookie) override {
    IDispatch* p = nullptr;
    check(itf()->GetSlot(cookie, &p), "container 3");
    return wrap(ComPtr<IDispatch>::adopt(p).get());
  }
  std::shared_ptr<sdk::Object> next_slot(std::int32_t cookie) override {
    IDispatch* p = nullptr;
    check(itf()->GetNextSlot(cookie, &p), "container 4");
    return wrap(ComPtr<IDispatch>::adopt(p).get());
  }
};

class Owner final : public RoleOf<IQNOwner>, public sdk::Owner {
 public:
  using RoleOf::RoleOf;
  std::shared_ptr<sdk::ContactList> contact_list(std::int32_t cookie) override {
    IQNContactList* p = nullptr;
    check(itf()->GetContactList(cookie, &p), "owner 4");
    return adopt<sdk::ContactList>(p);
  }
};

class ContactList final : public RoleOf<IQNContactList>, public sdk::ContactList {
 public:
  using RoleOf::RoleOf;
  // The collection is walked as For Each does: its _NewEnum gives an IEnumVARIANT.
  std::vector<std::shared_ptr<sdk::ContactItem>> contact_items(std::int32_t cookie) override {
    IDispatch* raw = nullptr;
    check(itf()->GetContactItems(cookie, &raw), "contact list 3");
    ComPtr<IDispatch> items = ComPtr<IDispatch>::adopt(raw);
    if (!items)
      throw sdk::HostError("contact list 3 gave no collection");
    DISPPARAMS none{};
    Variant result;
    check(items->Invoke(DISPID_NEWENUM, IID_NULL, 0, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &none,
                        result.put(), nullptr, nullptr),
          "_NewEnum");
    ComPtr<IEnumVARIANT> en;
    if (V_VT(result.get()) == VT_UNKNOWN || V_VT(result.get()) == VT_DISPATCH)
      en = com::query<IEnumVARIANT>(V_UNKNOWN(result.get()));
    if (!en)
      throw sdk::HostError("the contact items cannot be enumerated");
    std::vector<std::shared_ptr<sdk::ContactItem>> out;
    for (;;) {
      Variant v;
      ULONG fetched = 0;
      HRESULT hr = en->Next(1, v.put(), &fetched);
      check(hr, "IEnumVARIANT::Next");
      if (hr != S_OK || fetched == 0)
        break;
      std::shared_ptr<sdk::ContactItem> item;
      if (V_VT(v.get()) == VT_UNKNOWN || V_VT(v.get()) == VT_DISPATCH)
        item = sdk::as<sdk::ContactItem>(wrap(V_UNKNOWN(v.get())));
      if (!item)
        throw sdk::HostError("an entry is not a contact item");
      out.push_back(std::move(item));
    }
    return out;
  }
};

class ContactItem final : public RoleOf<IQNContactItem>, public sdk::ContactItem {
 public:
  using RoleOf::RoleOf;
  std::shared_ptr<sdk::Account> contact(std::int32_t cookie) override {
    IQNAccount* p = nullptr;
    check(itf()->GetContact(cookie, &p), "contact item 1");
    return adopt<sdk::Account>(p);
  }
};

template <class Adapter, class Itf>
std::shared_ptr<sdk::Object> take_role(const ComPtr<IUnknown>& identity) {
  ComPtr<Itf> itf = identity.query<Itf>();
  if (!itf)
    return nullptr;
  return std::make_shared<Adapter>(identity, std::move(itf));
}

std::shared_ptr<sdk::Object> HostObject::query(sdk::Role role) {
  const ComPtr<IUnknown>& u = identity_;
  switch (role) {
    case sdk::Role::kApplication:
      return take_role<Application, IQNApplication>(u);
    case sdk::Role::kAccount:
      return take_role<Account, IQNAccount>(u);
    case sdk::Role::kChatMessage:
      return take_role<ChatMessage, IQNChatMessage>(u);
    case sdk::Role::kTabChange:
      return take_role<TabChange, IQNTabChange>(u);
    case sdk::Role::kItemSlot:
      return take_role<ItemSlot, IQNItemSlot>(u);
    case sdk::Role::kInputSlot:
      return take_role<InputSlot, IQNInputSlot>(u);
    case sdk::Role::kChat:
      return take_role<Chat, IQNChat>(u);
    case sdk::Role::kContainer:
      return take_role<Container, IQNContainer>(u);
    case sdk::Role::kOwner:
      return take_role<Owner, IQNOwner>(u);
    case sdk::Role::kContactList:
      return take_role<ContactList, IQNContactList>(u);
    case sdk::Role::kContactItem:
      return take_role<ContactItem, IQNContactItem>(u);
  }
  return nullptr;
}

// A host object before any role is taken.
class Unroled final : public HostObject {
 public:
  using HostObject::HostObject;
};

std::shared_ptr<sdk::Object> wrap(IUnknown* obj) {
  if (!obj)
    return nullptr;
  ComPtr<IUnknown> identity;
  if (FAILED(obj->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(identity.put()))) ||
      !identity) {
    throw sdk::HostError("the host object gives no IUnknown");
  }
  return std::make_shared<Unroled>(std::move(identity));
}

}  // namespace

std::shared_ptr<sdk::Object> wrap_host_object(IUnknown* obj) {
  return wrap(obj);
}

}  // namespace brevant::com
