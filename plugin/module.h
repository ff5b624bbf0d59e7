#pragma once
// The process-wide state of the plug-in and the platform services it uses. One instance
// lives for the whole library on Windows (com/) and in the stand-in messenger; each test
// builds a fresh one.

#include <cstdint>
#include <memory>

#include "platform/ui.h"
#include "plugin/sdk.h"

namespace brevant {

struct Services {
  std::unique_ptr<Ui> ui;
};

class Module {
 public:
  explicit Module(Services services);
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  Ui& ui() { return *services_.ui; }

  // The messenger's application object, set by each connection of vb_brevant.
  std::shared_ptr<sdk::Application> App;
  // The cookie of the last connection; every host call that asks for the plug-in's cookie
  // passes it.
  std::int32_t PluginCookie = 0;

 private:
  Services services_;
};

}  // namespace brevant
