#include "plugin/items.h"

#include <utility>
#include <vector>

#include "chatwin/frm_chat.h"
#include "chatwin/page_script.h"
#include "translate/frmmain.h"

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
  skip_failure([&] { container = slot->container(cookie); });
  skip_failure([&] {
    if (!container)
      throw sdk::HostError("no container");
    container->owner(cookie);
  });
  skip_failure([&] { slot->show(false, cookie_); });
  bool yes = false;
  skip_failure([&] { yes = module_.ui().ask_yes_no(kImportantTitle, kAskShow); });
  if (!yes)
    return;
  skip_failure([&] { slot->show(true, cookie_); });
  skip_failure([&] { slot->enable(false, cookie_); });
  yes = false;
  skip_failure([&] { yes = module_.ui().ask_yes_no(kImportantTitle, kAskEnable); });
  if (!yes)
    return;
  skip_failure([&] { slot->enable(true, cookie_); });
}

}  // namespace brevant

namespace brevant {

void slot_walk(Module& m, const std::shared_ptr<sdk::Object>& pslot, std::int32_t lCookie,
               bool main_item) {
  const auto slot = sdk::as<sdk::ItemSlot>(pslot);
  if (!slot)
    return;
  const std::int32_t cookie = m.PluginCookie;
  std::shared_ptr<sdk::Container> container;
  skip_failure([&] { container = slot->container(cookie); });
  skip_failure([&] {
    if (!container)
      return;
    if (main_item) {
      if (sdk::same_object(container->slot(cookie).get(), slot.get()))
        m.TabMode = false;
    } else {
      container->next_slot(cookie);
    }
  });
  skip_failure([&] { slot->show(false, lCookie); });
  skip_failure([&] { slot->show(true, lCookie); });
  skip_failure([&] { slot->enable(false, lCookie); });
  skip_failure([&] { slot->enable(true, lCookie); });
  std::vector<std::shared_ptr<sdk::ContactItem>> items;
  skip_failure([&] {
    if (!container)
      return;
    const auto owner = container->owner(cookie);
    const auto list = owner ? owner->contact_list(cookie) : nullptr;
    if (list)
      items = list->contact_items(cookie);
  });
  for (const auto& item : items) {
    skip_failure([&] {
      const auto contact = item ? item->contact(cookie) : nullptr;
      if (contact)
        m.ContactShort = contact_short(contact->id());
    });
  }
}

void VbImChatMainPlugin::OnCreate(std::shared_ptr<sdk::Object> pslot, std::int32_t,
                                  std::int32_t lCookie) {
  slot_walk(module_, pslot, lCookie, true);
}

void VbImChatMainPlugin::OnNotify(std::int32_t MsgID, std::shared_ptr<sdk::Object> pParam) {
  Module& m = module_;
  if (MsgID == 0) {
    if (!pParam) {
      skip_failure([&] { m.ui().show_message(u"brevant", kTabChangingMissing); });
      return;
    }
    m.TabMode = true;
  } else if (MsgID == 1) {
    if (!pParam) {
      skip_failure([&] { m.ui().show_message(u"brevant", kTabChangedMissing); });
      return;
    }
    m.TabChanged = true;
    m.TabMode = true;
    skip_failure([&] {
      const auto tab = sdk::as<sdk::TabChange>(pParam);
      if (!tab)
        throw sdk::HostError("not a tab change");
      m.TabContact = tab->contact_id();
    });
    skip_failure([&] {
      const frmChat* w = m.ChatWin(m.coordinator().WinIsExist(m.TabContact));
      if (w)
        m.desktop().SetForegroundWindow(w->HostWnd);
    });
  }
}

void VbImChatInputPlugin::OnCreate(std::shared_ptr<sdk::Object> pslot, std::int32_t hParentWnd,
                                   std::int32_t lCookie) {
  Module& m = module_;
  // The coordinator comes first: its creation empties the window list.
  m.coordinator();
  m.ChatWinCount += 1;
  m.ChatWins.resize(static_cast<std::size_t>(m.ChatWinCount));
  m.ChatWins.back() = std::make_unique<frmChat>(m);
  index_ = m.ChatWinCount;
  frmChat& w = *m.ChatWins.back();  // its Form_Load has run
  w.InputWnd = hParentWnd;
  skip_failure([&] {
    Desktop& d = m.desktop();
    TopWnd = d.GetParent(d.GetParent(d.GetParent(hParentWnd)));
  });
  skip_failure([&] { m.desktop().ShowWindow(w.hwnd(), kSwShowNoActivate); });
  w.HostTopWnd = TopWnd;
  w.HostWnd = TopWnd;
  slot_walk(m, pslot, lCookie, false);
  std::shared_ptr<sdk::Chat> chat;
  skip_failure([&] {
    const auto input = sdk::as<sdk::InputSlot>(pslot);
    if (input)
      chat = input->chat();
    w.HostChat = chat;
  });
  skip_failure([&] {
    if (!chat)
      throw sdk::HostError("no chat");
    const auto contact = chat->contact();
    if (!contact)
      throw sdk::HostError("no contact");
    const Str id = contact->id();
    Contact = id;
    m.LastFrom = id;
    w.ContactId = id;
  });
  skip_failure([&] { w.frminit(); });
  skip_failure([&] { m.coordinator().WinIsExist(m.LastFrom); });
}

void VbImChatInputPlugin::OnClick() {
  Module& m = module_;
  for (std::int32_t i = 1; i <= m.ChatWinCount; ++i) {
    frmChat* w = m.ChatWin(i);
    if (!w || w->ContactId != Contact)
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
  skip_failure([&] { w->unload(); });
}

}  // namespace brevant
