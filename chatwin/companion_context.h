#pragma once
// What a companion window needs of the plug-in around it: the platform services, the shared
// settings, the user's own ID and where typed texts go. The Module provides it, so that a
// companion never reaches up into the host binding.

#include "chatwin/companion_coordinator.h"
#include "config/settings.h"
#include "platform/code_page.h"
#include "platform/desktop.h"
#include "platform/event_loop.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "platform/ui.h"

namespace brevant {

class CompanionContext {
 public:
  virtual EventLoop& loop() = 0;
  virtual Desktop& desktop() = 0;
  virtual const CodePage& code_page() = 0;
  virtual Registry& registry() = 0;
  virtual Ui& ui() = 0;
  virtual Settings& settings() = 0;
  // The user's own account ID as the messenger gives it (empty before the login).
  virtual const Str& own_id() const = 0;
  virtual CompanionCoordinator& companion_coordinator() = 0;

 protected:
  ~CompanionContext() = default;
};

}  // namespace brevant
