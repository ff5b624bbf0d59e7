#include "platform/linux/webkit_browser.h"

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/failure.h"

namespace brevant {

struct WebKitBrowser::State {
  bool committed = false;  // the view shows the document of the last navigation
  bool failed = false;     // ... which failed to load
  bool loaded = false;
  int script_errors = 0;
};

namespace {

// The part of a URL before its fragment.
std::string_view document_of(std::string_view url) {
  return url.substr(0, url.find('#'));
}

std::string absolute_path(const Str& path) {
  std::string bytes = to_utf8(path);
  // The plug-in spells page paths the Windows way ("\IO11\IO.htm").
  std::replace(bytes.begin(), bytes.end(), '\\', '/');
  gchar* canonical = g_canonicalize_filename(bytes.c_str(), nullptr);
  std::string result = canonical;
  g_free(canonical);
  return result;
}

}  // namespace

void WebKitBrowser::on_script_done(GObject* view, GAsyncResult* result, void* data) {
  auto* state = static_cast<std::shared_ptr<WebKitBrowser::State>*>(data);
  GError* error = nullptr;
  JSCValue* value =
      webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(view), result, &error);
  if (value)
    g_object_unref(value);
  if (error) {
    ++(*state)->script_errors;
    g_error_free(error);
  }
  delete state;
}

WebKitBrowser::WebKitBrowser(WebKitWebView* related)
    : view_(WEBKIT_WEB_VIEW(related ? webkit_web_view_new_with_related_view(related)
                                    : webkit_web_view_new())),
      state_(std::make_shared<State>()) {
  g_object_ref_sink(view_);
  WebKitSettings* settings = webkit_web_view_get_settings(view_);
  // The page is a plain document: no compositing (it costs a GPU context per window under
  // Xvfb and on software rendering), no windows of its own, no developer tools.
  webkit_settings_set_hardware_acceleration_policy(settings,
                                                   WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
  webkit_settings_set_javascript_can_open_windows_automatically(settings, FALSE);
  webkit_settings_set_enable_developer_extras(settings, FALSE);
  g_signal_connect(view_, "decide-policy", G_CALLBACK(&WebKitBrowser::on_decide_policy), this);
  g_signal_connect(view_, "load-changed", G_CALLBACK(&WebKitBrowser::on_load_changed), this);
  g_signal_connect(view_, "load-failed", G_CALLBACK(&WebKitBrowser::on_load_failed), this);
}

WebKitBrowser::~WebKitBrowser() {
  g_signal_handlers_disconnect_by_data(view_, this);
  g_object_unref(view_);
}

GtkWidget* WebKitBrowser::widget() const {
  return GTK_WIDGET(view_);
}

Str WebKitBrowser::navigate_file(const Str& path) {
  const std::string file = absolute_path(path);
  GError* error = nullptr;
  gchar* uri = g_filename_to_uri(file.c_str(), nullptr, &error);
  if (!uri) {
    std::string message = error ? error->message : "no URI for the file";
    g_clear_error(&error);
    throw std::runtime_error(message);
  }
  state_->committed = state_->failed = state_->loaded = false;
  webkit_web_view_load_uri(view_, uri);
  Str url = from_utf8(uri);
  g_free(uri);
  return url;
}

void WebKitBrowser::exec_script(const Str& line) {
  if (!state_->loaded)
    throw std::runtime_error("the page has not loaded");
  const std::string script = to_utf8(line);
  webkit_web_view_evaluate_javascript(view_, script.data(), static_cast<gssize>(script.size()),
                                      nullptr, nullptr, nullptr, &WebKitBrowser::on_script_done,
                                      new std::shared_ptr<State>(state_));
}

void WebKitBrowser::on_before_navigate(std::function<void(const Str& url)> handler) {
  handler_ = std::move(handler);
}

void WebKitBrowser::focus() {
  gtk_widget_grab_focus(GTK_WIDGET(view_));
}

bool WebKitBrowser::loaded() const {
  return state_->loaded;
}

int WebKitBrowser::script_errors() const {
  return state_->script_errors;
}

int WebKitBrowser::on_decide_policy(WebKitWebView*, void* decision, int type, void* data) {
  if (type != WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION)
    return FALSE;
  auto* self = static_cast<WebKitBrowser*>(data);
  auto* navigation = WEBKIT_NAVIGATION_POLICY_DECISION(decision);
  WebKitNavigationAction* action =
      webkit_navigation_policy_decision_get_navigation_action(navigation);
  WebKitURIRequest* request = webkit_navigation_action_get_request(action);
  const char* uri = webkit_uri_request_get_uri(request);
  // The page's script announces itself ("WebOk") from its load event, which the view reports
  // before the load has finished: a fragment navigation within the shown document proves that
  // its script runs, so script lines can go in from then on.
  State& state = *self->state_;
  if (uri && state.committed && !state.failed &&
      std::string_view(uri).find('#') != std::string_view::npos) {
    const char* shown = webkit_web_view_get_uri(self->view_);
    if (shown && document_of(shown) == document_of(uri))
      state.loaded = true;
  }
  if (self->handler_ && uri) {
    auto handler = self->handler_;  // the handler may replace itself
    const Str url = from_utf8(uri);
    skip_failure("before navigate", [&] { handler(url); });
  }
  // The navigation always proceeds.
  webkit_policy_decision_use(WEBKIT_POLICY_DECISION(decision));
  return TRUE;
}

void WebKitBrowser::on_load_changed(WebKitWebView*, int event, void* data) {
  State& state = *static_cast<WebKitBrowser*>(data)->state_;
  switch (event) {
    case WEBKIT_LOAD_STARTED:
      state.committed = state.failed = state.loaded = false;
      break;
    case WEBKIT_LOAD_COMMITTED:
      state.committed = true;
      break;
    case WEBKIT_LOAD_FINISHED:
      state.loaded = state.committed && !state.failed;
      break;
    default:
      break;
  }
}

int WebKitBrowser::on_load_failed(WebKitWebView*, int, const char*, void*, void* data) {
  static_cast<WebKitBrowser*>(data)->state_->failed = true;
  return FALSE;
}

}  // namespace brevant
