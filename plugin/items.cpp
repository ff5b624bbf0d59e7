#include "plugin/items.h"

#include <utility>
#include <vector>

#include "chatwin/frm_chat.h"
#include "chatwin/page_script.h"
#include "platform/failure.h"
#include "plugin/frmmain.h"

namespace brevant {

void VbImportantPlugin::OnCreate(std::shared_ptr<sdk::Object> pslot, std::int32_t,
                                 std::int32_t lCookie) {
  slot_ = sdk::as<sdk::ItemSlot>(pslot);
  cookie_ = lCookie;
}

void VbImportantPlugin::OnDestroy() {
  slot_.reset();
}

// Lets the user hide or show, then disable or enable the item.
void VbImportantPlugin::OnClick() {
  if (!slot_)
    return;
  // Keep the slot alive for the whole dialogue, whatever the host does meanwhile.
  const std::shared_ptr<sdk::ItemSlot> slot = slot_;
  const std::int32_t cookie = module_.PluginCookie;
  std::shared_ptr<sdk::Container> container;
  skip_failure("item container", [&] { container = slot->container(cookie); });
  skip_failure("item owner", [&] {
    if (container)
      container->owner(cookie);
  });
  skip_failure("hide the item", [&] { slot->show(false, cookie_); });
  bool yes = false;
  skip_failure("ask to show the item",
               [&] { yes = module_.ui().ask_yes_no(kImportantTitle, kAskShow); });
  if (!yes)
    return;
  skip_failure("show the item", [&] { slot->show(true, cookie_); });
  skip_failure("disable the item", [&] { slot->enable(false, cookie_); });
  yes = false;
  skip_failure("ask to enable the item",
               [&] { yes = module_.ui().ask_yes_no(kImportantTitle, kAskEnable); });
  if (!yes)
    return;
  skip_failure("enable the item", [&] { slot->enable(true, cookie_); });
}

}  // namespace brevant

namespace brevant {

Hwnd chat_window_of(Module& m, std::int32_t hParentWnd) {
  Hwnd top = 0;
  skip_failure("find the chat window", [&] {
    Desktop& d = m.desktop();
    top = d.GetParent(d.GetParent(d.GetParent(hParentWnd)));
  });
  return top;
}

void slot_walk(Module& m, const std::shared_ptr<sdk::Object>& pslot, std::int32_t lCookie,
               bool main_item, Hwnd host_window) {
  const auto slot = sdk::as<sdk::ItemSlot>(pslot);
  if (!slot)
    return;
  const std::int32_t cookie = m.PluginCookie;
  std::shared_ptr<sdk::Container> container;
  skip_failure("slot container", [&] { container = slot->container(cookie); });
  skip_failure("slot walk", [&] {
    if (!container)
      return;
    if (main_item) {
      // Its container's own slot: this window shows no tabs.
      if (sdk::same_object(container->slot(cookie).get(), slot.get()))
        m.coordinator().tab_shown(host_window, Str());
    } else {
      container->next_slot(cookie);
    }
  });
  skip_failure("hide the item", [&] { slot->show(false, lCookie); });
  skip_failure("show the item", [&] { slot->show(true, lCookie); });
  skip_failure("disable the item", [&] { slot->enable(false, lCookie); });
  skip_failure("enable the item", [&] { slot->enable(true, lCookie); });
  std::vector<std::shared_ptr<sdk::ContactItem>> items;
  skip_failure("contact items", [&] {
    if (!container)
      return;
    const auto owner = container->owner(cookie);
    const auto list = owner ? owner->contact_list(cookie) : nullptr;
    if (list)
      items = list->contact_items(cookie);
  });
  // The walk asks each contact item for its contact, as the messenger expects of an item; the
  // plug-in keeps none of them.
  for (const auto& item : items) {
    skip_failure("contact of an item", [&] {
      const auto contact = item ? item->contact(cookie) : nullptr;
      if (contact)
        contact->id();
    });
  }
}

void VbImChatMainPlugin::OnCreate(std::shared_ptr<sdk::Object> pslot, std::int32_t hParentWnd,
                                  std::int32_t lCookie) {
  host_window_ = chat_window_of(module_, hParentWnd);
  slot_walk(module_, pslot, lCookie, true, host_window_);
}

void VbImChatMainPlugin::OnNotify(std::int32_t MsgID, std::shared_ptr<sdk::Object> pParam) {
  Module& m = module_;
  if (MsgID == 0) {
    if (!pParam) {
      skip_failure("message box", [&] { m.ui().show_message(u"brevant", kTabChangingMissing); });
      return;
    }
  } else if (MsgID == 1) {
    if (!pParam) {
      skip_failure("message box", [&] { m.ui().show_message(u"brevant", kTabChangedMissing); });
      return;
    }
    Str contact;
    skip_failure("tab change", [&] {
      if (const auto tab = sdk::as<sdk::TabChange>(pParam))
        contact = tab->contact_id();
    });
    // Only this chat window follows its tabs; another window's texts keep their own chat.
    if (!contact.empty())
      m.coordinator().tab_shown(host_window_, contact);
    skip_failure("bring the tab's chat forward", [&] {
      const frmChat* w = m.companions().live_of_contact(contact);
      if (w)
        m.desktop().SetForegroundWindow(w->HostWnd);
    });
  }
}

void VbImChatInputPlugin::OnCreate(std::shared_ptr<sdk::Object> pslot, std::int32_t hParentWnd,
                                   std::int32_t lCookie) {
  Module& m = module_;
  m.coordinator();
  index_ = m.companions().add(std::make_unique<frmChat>(m));
  frmChat& w = *m.companions().at(index_);  // its Form_Load has run
  w.InputWnd = hParentWnd;
  TopWnd = chat_window_of(m, hParentWnd);
  skip_failure("show the companion", [&] { m.desktop().ShowWindow(w.hwnd(), kSwShowNoActivate); });
  w.HostTopWnd = TopWnd;
  w.HostWnd = TopWnd;
  slot_walk(m, pslot, lCookie, false, TopWnd);
  std::shared_ptr<sdk::Chat> chat;
  skip_failure("the chat of the input slot", [&] {
    const auto input = sdk::as<sdk::InputSlot>(pslot);
    if (input)
      chat = input->chat();
    if (chat) {
      w.HostChat = [chat](const Str& recipient, const Str& text) {
        chat->send_text(recipient, text, 0);
      };
    }
  });
  skip_failure("the chat's contact", [&] {
    const auto contact = chat ? chat->contact() : nullptr;
    if (!contact)
      return;
    const Str id = contact->id();
    Contact = id;
    w.ContactId = id;
  });
  skip_failure("companion init", [&] { w.frminit(); });
}

void VbImChatInputPlugin::OnClick() {
  Module& m = module_;
  for (std::int32_t i = 1; i <= m.companions().count(); ++i) {
    frmChat* w = m.ChatWin(i);
    if (!w || !w->live() || w->ContactId != Contact)
      continue;
    if (w->TranOn) {
      w->ShowState = 2;
      w->TranOn = false;
    } else {
      w->ShowState = 1;
      w->TranOn = true;
    }
    w->wake_placement();
  }
}

// Only the window this item created: another chat window of the same contact keeps its own.
void VbImChatInputPlugin::OnDestroy() {
  frmChat* w = module_.ChatWin(index_);
  if (!w)
    return;
  w->IsLive = false;
  skip_failure("companion unload", [&] { w->unload(); });
  index_ = 0;
}

}  // namespace brevant
