#pragma once
// Shared pieces of the GTK tests: GTK on X11 (the tier runs under xvfb-run), pumping the GLib
// main loop until something holds, and reading values back out of a WebKitGTK page.

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/linux/gtk_desktop.h"

namespace brevant::gtk_test {

// GTK on the display of the test run; false when there is none.
inline bool gtk_ready() {
  static const bool ready = [] {
    GtkDesktop::use_x11();
    return gtk_init_check(nullptr, nullptr) != FALSE;
  }();
  return ready;
}

// Runs the main loop until `done` holds or `ms` have passed; returns `done()`.
inline bool pump_until(const std::function<bool()>& done, int ms = 5000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done() && std::chrono::steady_clock::now() < end) {
    if (!g_main_context_iteration(nullptr, FALSE))
      g_usleep(1000);
  }
  return done();
}

// Runs the main loop for `ms`.
inline void pump_for(int ms) {
  pump_until([] { return false; }, ms);
}

// Pumps until GTK has no more pending events (configure, map, focus).
inline void settle() {
  gdk_display_sync(gdk_display_get_default());
  pump_for(30);
  while (gtk_events_pending())
    gtk_main_iteration_do(FALSE);
}

// The value of `script` in the page as a string (JSON.stringify it for structure); nullopt when
// the script threw or did not finish in time.
inline std::optional<std::string> evaluate(WebKitWebView* view, const std::string& script) {
  struct Result {
    bool done = false;
    std::optional<std::string> value;
  };
  // Shared with the completion, which may come after a time-out.
  auto* result = new std::shared_ptr<Result>(std::make_shared<Result>());
  std::shared_ptr<Result> mine = *result;
  webkit_web_view_evaluate_javascript(
      view, script.data(), static_cast<gssize>(script.size()), nullptr, nullptr, nullptr,
      [](GObject* source, GAsyncResult* res, gpointer data) {
        auto* holder = static_cast<std::shared_ptr<Result>*>(data);
        Result* r = holder->get();
        GError* error = nullptr;
        JSCValue* v =
            webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), res, &error);
        if (v) {
          gchar* s = jsc_value_to_string(v);
          r->value = s;
          g_free(s);
          g_object_unref(v);
        }
        g_clear_error(&error);
        r->done = true;
        delete holder;
      },
      result);
  pump_until([&] { return mine->done; }, 5000);
  return mine->value;
}

}  // namespace brevant::gtk_test
