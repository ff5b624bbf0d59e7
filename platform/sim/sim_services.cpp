#include "platform/sim/sim_services.h"

#include <memory>
#include <utility>

namespace brevant {

SimServices make_sim_services(Str plugin_folder) {
  SimServices sim;
  auto clock = std::make_unique<VirtualClock>();
  auto http = std::make_unique<ScriptedHttp>(*clock);
  auto ui = std::make_unique<ScriptedUi>();
  auto registry = std::make_unique<MemoryRegistry>();
  auto desktop = std::make_unique<SimDesktop>(*clock);
  sim.clock = clock.get();
  sim.http = http.get();
  sim.ui = ui.get();
  sim.registry = registry.get();
  sim.desktop = desktop.get();
  sim.services.loop = std::move(clock);
  sim.services.http = std::move(http);
  sim.services.ui = std::move(ui);
  sim.services.registry = std::move(registry);
  sim.services.desktop = std::move(desktop);
  sim.services.profile = make_system_profile();
  sim.services.code_page = make_system_code_page();
  sim.services.plugin_folder = std::move(plugin_folder);
  return sim;
}

}  // namespace brevant
