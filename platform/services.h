#pragma once
// Every platform service the plug-in uses, built once per process by the platform's factory and
// owned by the plug-in's Module. Nothing else constructs a platform service.
//   Windows: make_platform_services() in platform/win32 (the DLL calls it on first use).
//   Linux:   make_platform_services() in platform/linux (the stand-in messenger calls it).
//   Tests:   make_sim_services() in platform/sim (virtual clock, scripted HTTP, scripted answers).

#include <memory>

#include "platform/code_page.h"
#include "platform/desktop.h"
#include "platform/event_loop.h"
#include "platform/http_request.h"
#include "platform/profile.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "platform/ui.h"

namespace brevant {

struct Services {
  std::unique_ptr<EventLoop> loop;
  std::unique_ptr<HttpRequestFactory> http;
  std::unique_ptr<Profile> profile;
  std::unique_ptr<Registry> registry;
  std::unique_ptr<CodePage> code_page;
  std::unique_ptr<Ui> ui;
  std::unique_ptr<Desktop> desktop;
  // The folder that holds the plug-in and its settings files, without a trailing separator.
  Str plugin_folder;

  // The name of the first missing service, or nullptr when every one is there.
  const char* missing() const {
    if (!loop)
      return "event loop";
    if (!http)
      return "HTTP";
    if (!profile)
      return "profile";
    if (!registry)
      return "registry";
    if (!code_page)
      return "code page";
    if (!ui)
      return "user interface";
    if (!desktop)
      return "desktop";
    return nullptr;
  }
};

// The real services of this platform. `plugin_folder`: on Windows empty means the DLL's own
// folder; on Linux the embedding program names it.
Services make_platform_services(Str plugin_folder = {});

}  // namespace brevant
