#include "chatwin/companion_registry.h"

#include <utility>

#include "chatwin/frm_chat.h"

namespace brevant {

CompanionRegistry::CompanionRegistry() = default;
CompanionRegistry::~CompanionRegistry() = default;

std::int32_t CompanionRegistry::add(std::unique_ptr<frmChat> window) {
  windows_.push_back(std::move(window));
  windows_.back()->WinIndex = count();
  return count();
}

frmChat* CompanionRegistry::at(std::int32_t index) const {
  if (index < 1 || index > count())
    return nullptr;
  return windows_[static_cast<std::size_t>(index) - 1].get();
}

std::int32_t CompanionRegistry::live_index(StrView contact) const {
  for (std::int32_t i = count(); i >= 1; --i) {
    const frmChat* w = at(i);
    if (w && w->live() && w->contact() == contact)
      return i;
  }
  return 0;
}

frmChat* CompanionRegistry::live_of_contact(StrView contact) const {
  return at(live_index(contact));
}

frmChat* CompanionRegistry::live_of_host(Hwnd host) const {
  for (std::int32_t i = count(); i >= 1; --i) {
    frmChat* w = at(i);
    if (w && w->live() && host != 0 && w->host_window() == host)
      return w;
  }
  return nullptr;
}

frmChat* CompanionRegistry::newest_live() const {
  for (std::int32_t i = count(); i >= 1; --i) {
    frmChat* w = at(i);
    if (w && w->live())
      return w;
  }
  return nullptr;
}

Companion* CompanionRegistry::companion(std::int32_t index) const {
  return at(index);
}

Companion* CompanionRegistry::live_companion(StrView contact) const {
  return live_of_contact(contact);
}

std::int32_t CompanionRegistry::index_of(const Companion* companion) const {
  for (std::int32_t i = 1; i <= count(); ++i) {
    if (static_cast<const Companion*>(at(i)) == companion)
      return i;
  }
  return 0;
}

void CompanionRegistry::clear() {
  windows_.clear();
}

}  // namespace brevant
