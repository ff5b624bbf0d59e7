#pragma once
// The services of the tests: a virtual clock, scripted HTTP answers, scripted message-box
// answers, an in-memory registry and the sim window model (15 twips per pixel), beside the
// system's own profile functions and code page (the settings files are real files in a folder
// of the test's). The raw pointers stay valid while the Module that owns `services` lives.

#include "platform/memory_registry.h"
#include "platform/services.h"
#include "platform/sim/scripted_http.h"
#include "platform/sim/scripted_ui.h"
#include "platform/sim/sim_desktop.h"
#include "platform/sim/virtual_clock.h"

namespace brevant {

struct SimServices {
  VirtualClock* clock = nullptr;
  ScriptedHttp* http = nullptr;
  ScriptedUi* ui = nullptr;
  MemoryRegistry* registry = nullptr;
  SimDesktop* desktop = nullptr;
  Services services;
};

SimServices make_sim_services(Str plugin_folder = {});

}  // namespace brevant
