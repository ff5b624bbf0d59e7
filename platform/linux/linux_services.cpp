// The Linux factory: GLib's main loop, libsoup, the profile and registry emulations, GTK dialogs
// and the window model mirrored onto GTK windows.

#include <gtk/gtk.h>

#include <memory>
#include <utility>

#include "platform/linux/glib_event_loop.h"
#include "platform/linux/gtk_desktop.h"
#include "platform/linux/gtk_ui.h"
#include "platform/linux/soup_http_request.h"
#include "platform/services.h"

namespace brevant {

Services make_platform_services(Str plugin_folder) {
  Services s;
  s.loop = std::make_unique<GlibEventLoop>();
  s.http = std::make_unique<SoupHttpRequestFactory>();
  s.profile = make_system_profile();
  s.registry = make_system_registry(plugin_folder);
  s.code_page = make_system_code_page();
  auto desktop = std::make_unique<GtkDesktop>(*s.loop);
  // The dialogs a companion asks for are modal over its own window.
  s.ui = make_gtk_ui([desk = desktop.get()](Hwnd owner) -> GtkWindow* {
    GtkWidget* w = desk->widget(owner);
    return w && GTK_IS_WINDOW(w) ? GTK_WINDOW(w) : nullptr;
  });
  s.desktop = std::move(desktop);
  s.plugin_folder = std::move(plugin_folder);
  return s;
}

}  // namespace brevant
