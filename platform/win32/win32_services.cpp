// The Windows factory: every service on the system's own facilities.

#include <memory>
#include <utility>

#include "platform/services.h"
#include "platform/win32/msxml_http_request.h"
#include "platform/win32/win32_desktop.h"
#include "platform/win32/win32_event_loop.h"

namespace brevant {

Services make_platform_services(Str plugin_folder) {
  Services s;
  if (plugin_folder.empty())
    plugin_folder = this_module_folder();
  s.loop = std::make_unique<Win32EventLoop>();
  s.http = std::make_unique<MsxmlHttpRequestFactory>();
  s.profile = make_system_profile();
  s.registry = make_system_registry(plugin_folder);
  s.code_page = make_system_code_page();
  s.ui = make_win32_ui();
  s.desktop = make_win32_desktop();
  s.plugin_folder = std::move(plugin_folder);
  return s;
}

}  // namespace brevant
