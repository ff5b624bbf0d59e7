#pragma once
// The companion's browser control on Linux: a WebKitGTK 4.1 view. Navigations are reported from
// the view's navigation-policy decisions (also same-document fragment changes), script lines run
// through evaluate_javascript. GTK must be initialised by the embedding program.

#include <functional>
#include <memory>

#include "platform/browser.h"

typedef struct _GAsyncResult GAsyncResult;
typedef struct _GObject GObject;
typedef struct _GtkWidget GtkWidget;
typedef struct _WebKitWebView WebKitWebView;

namespace brevant {

class WebKitBrowser final : public Browser {
 public:
  // `related`: a live view whose web process this one shares (nullptr: a process of its own).
  explicit WebKitBrowser(WebKitWebView* related = nullptr);
  ~WebKitBrowser() override;
  WebKitBrowser(const WebKitBrowser&) = delete;
  WebKitBrowser& operator=(const WebKitBrowser&) = delete;

  // The view, for the form to hold; it lives while the browser or its container holds it.
  GtkWidget* widget() const;
  WebKitWebView* view() const { return view_; }

  // `path` may use "\" or "/" as separator; a relative path is taken from the working folder.
  // Returns the file URL the view reports for it.
  Str navigate_file(const Str& path) override;
  // Throws while the page of the last navigation has not loaded (or failed to). The line
  // itself runs asynchronously; a script error is counted in script_errors().
  void exec_script(const Str& line) override;
  void on_before_navigate(std::function<void(const Str& url)> handler) override;
  void focus() override;

  // The view's current document has finished loading.
  bool loaded() const;
  // Script lines that the page rejected or that threw.
  int script_errors() const;

 private:
  struct State;
  static int on_decide_policy(WebKitWebView*, void* decision, int type, void* self);
  static void on_load_changed(WebKitWebView*, int event, void* self);
  static void on_script_done(GObject* view, GAsyncResult* result, void* state);
  static int on_load_failed(WebKitWebView*, int event, const char* uri, void* error, void* self);

  WebKitWebView* view_;
  // Shared with pending script completions, which may arrive after the browser is gone.
  std::shared_ptr<State> state_;
  std::function<void(const Str&)> handler_;
};

}  // namespace brevant
