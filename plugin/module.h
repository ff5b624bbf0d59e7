#pragma once
// The composition root: the plug-in's process-wide state and the platform services it uses.
// One instance lives for the whole library on Windows (com/) and in the stand-in messenger; each
// test builds a fresh one. Subsystems reach the world only through the Module they are given.

#include <cstdint>
#include <memory>

#include "chatwin/companion_context.h"
#include "chatwin/companion_registry.h"
#include "config/settings.h"
#include "platform/services.h"
#include "plugin/sdk.h"

namespace brevant {

class Frmmain;

class Module final : public CompanionContext {
 public:
  // Throws std::invalid_argument when a service is missing.
  explicit Module(Services services);
  ~Module();
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  EventLoop& loop() override { return *services_.loop; }
  HttpRequestFactory& http() { return *services_.http; }
  Profile& profile() { return *services_.profile; }
  Registry& registry() override { return *services_.registry; }
  const CodePage& code_page() override { return *services_.code_page; }
  Ui& ui() override { return *services_.ui; }
  Desktop& desktop() override { return *services_.desktop; }
  // The plug-in folder and the one shared settings object.
  Settings& settings() override { return settings_; }
  const Str& own_id() const override { return MainUin; }

  // The messenger's application object, set by each connection of vb_brevant.
  std::shared_ptr<sdk::Application> App;
  // The cookie of the last connection; every host call that asks for the plug-in's cookie
  // passes it.
  std::int32_t PluginCookie = 0;
  // The user's own account ID as the messenger gives it, and without its site prefix.
  Str MainUin;
  Str MainUinShort;

  // The companion windows, one per chat window's input item.
  CompanionRegistry& companions() { return companions_; }
  // The window at `index`, or nullptr outside the registry.
  frmChat* ChatWin(std::int32_t index) { return companions_.at(index); }

  // The hidden coordinator, created on first use.
  Frmmain& coordinator();
  // The same coordinator as the companion windows see it.
  CompanionCoordinator& companion_coordinator() override;
  bool has_coordinator() const { return coordinator_ != nullptr; }

 private:
  Services services_;
  Settings settings_;
  CompanionRegistry companions_;
  std::unique_ptr<Frmmain> coordinator_;
};

}  // namespace brevant
