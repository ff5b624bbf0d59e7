#pragma once
// The Linux desktop: the in-memory window model mirrored onto real GTK 3 windows on X11.
//
// A GTK widget registered here becomes a window of the model with a handle, a class name and a
// title. What the plug-in does to a registered window through the Desktop functions (move, size,
// show, bring to the foreground, retitle, set the owner) is done to the GTK window; what GTK
// reports (configure events, mapping, the active window) is taken back into the model, so the
// model follows the real geometry. A left-button press and release posted to a registered
// button clicks it. Companion forms are GTK utility windows with a WebKitGTK view.
//
// GTK must be initialised by the embedding program, on X11 (use_x11() first: only X11 lets a
// program place its own windows; a Wayland desktop provides it through XWayland).

#include <map>
#include <memory>
#include <set>

#include "platform/window_model.h"

typedef struct _GtkWidget GtkWidget;

namespace brevant {

class GtkForm;

class GtkDesktop final : public WindowModel {
 public:
  // Twips per pixel from the default screen's resolution (15 at 96 dots per inch).
  explicit GtkDesktop(EventLoop& loop);
  ~GtkDesktop() override;

  // Makes `widget` a window of the model: a GtkWindow a top-level window, any other widget a
  // child of the registered window `parent`. Returns 0 when `parent` is not registered. The
  // registration ends when the widget is destroyed; destroying the window through the model
  // destroys the widget.
  Hwnd register_widget(GtkWidget* widget, StrView class_name, StrView title, Hwnd parent = 0);
  // nullptr when `hwnd` is not a registered widget.
  GtkWidget* widget(Hwnd hwnd) const;

  // Child windows are read from GTK each time (their allocation moves with the top-level).
  bool GetWindowRect(Hwnd hwnd, Rect& rect) override;
  bool ShowWindow(Hwnd hwnd, int command) override;
  Hwnd GetForegroundWindow() override;
  // Really blocks the thread.
  void Sleep(int ms) override;
  std::unique_ptr<Form> create_form() override;

  // Makes GTK use X11 (XWayland on a Wayland desktop), where a program may place its own
  // windows. The embedding program calls it before initialising GTK.
  static void use_x11();

  // The screen's twips per pixel for `dots_per_inch` (96 when it is not positive).
  static int twips_per_pixel(double dots_per_inch);

 protected:
  void on_destroyed(Hwnd hwnd) override;
  void on_rect_changed(const ModelWindow& w) override;
  void on_visibility_changed(const ModelWindow& w) override;
  void on_foreground_changed(Hwnd hwnd) override;
  void on_title_changed(const ModelWindow& w) override;
  void on_long_changed(const ModelWindow& w, int index) override;
  void on_message(const ModelWindow& w, const WindowMessage& m) override;

 private:
  friend class GtkForm;
  struct Entry {
    GtkWidget* widget = nullptr;
    bool top_level = false;
    int clicks = 0;  // clicks of the model already passed on to the widget
  };
  static void on_widget_destroy(GtkWidget* widget, void* self);
  static int on_configure(GtkWidget* widget, void* event, void* self);
  static void on_map_changed(GtkWidget* widget, void* self);
  static void on_active_changed(GtkWidget* widget, void* pspec, void* self);
  Hwnd hwnd_of(GtkWidget* widget) const;
  void sync_geometry(Hwnd hwnd, GtkWidget* widget);
  bool read_rect(GtkWidget* widget, Rect& rect) const;
  void forget(Hwnd hwnd);

  std::map<Hwnd, Entry> entries_;
  std::set<GtkForm*> forms_;
  bool show_without_activation_ = false;
  // A window brought to the foreground by the plug-in until GTK confirms it: activation
  // reports of other windows that were already on their way are not taken into the model.
  Hwnd wanted_foreground_ = 0;
  std::int64_t wanted_since_us_ = 0;
};

}  // namespace brevant
