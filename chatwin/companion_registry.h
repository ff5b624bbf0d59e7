#pragma once
// The one owner of the companion windows. Each window keeps its index (1, 2, … in the order
// added) for the item that created it; a closed window has already given back its page,
// browser, host objects and timers, so the slot costs little.

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/desktop.h"
#include "platform/text.h"

namespace brevant {

class Companion;
class frmChat;

class CompanionRegistry {
 public:
  CompanionRegistry();
  ~CompanionRegistry();
  CompanionRegistry(const CompanionRegistry&) = delete;
  CompanionRegistry& operator=(const CompanionRegistry&) = delete;

  // Takes a new window; returns its index.
  std::int32_t add(std::unique_ptr<frmChat> window);
  // The window at `index`, nullptr outside 1..count().
  frmChat* at(std::int32_t index) const;
  // The highest index in use.
  std::int32_t count() const { return static_cast<std::int32_t>(windows_.size()); }

  // The index of the newest live companion of a contact, 0 when none.
  std::int32_t live_index(StrView contact) const;
  frmChat* live_of_contact(StrView contact) const;
  // The newest live companion beside a host window, and the newest live one of all.
  frmChat* live_of_host(Hwnd host) const;
  frmChat* newest_live() const;
  // As the router sees them.
  Companion* companion(std::int32_t index) const;
  Companion* live_companion(StrView contact) const;
  // The index of a window, 0 when it is none of these.
  std::int32_t index_of(const Companion* companion) const;

  // Closes and drops every window (the plug-in goes).
  void clear();

 private:
  std::vector<std::unique_ptr<frmChat>> windows_;
};

}  // namespace brevant
