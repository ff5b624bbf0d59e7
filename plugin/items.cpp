#include "plugin/items.h"

#include <utility>

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
