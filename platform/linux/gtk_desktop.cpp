#include "platform/linux/gtk_desktop.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "platform/browser.h"
#include "platform/linux/webkit_browser.h"

namespace brevant {
namespace {

constexpr char kHwndKey[] = "brevant-hwnd";
// How long an activation asked for by the plug-in may take to show up in GTK before the model
// reads the active window from GTK again (a window manager may refuse it).
constexpr std::int64_t kForegroundGraceUs = 250'000;

bool is_top_level(GtkWidget* widget) {
  return GTK_IS_WINDOW(widget) && gtk_widget_is_toplevel(widget);
}

}  // namespace

// The companion form: a GTK utility window without a taskbar or pager entry, filled by the
// browser view. It outlives its desktop without harm (it then moves nothing in the model).
class GtkForm final : public Form {
 public:
  explicit GtkForm(GtkDesktop& desktop)
      : desktop_(&desktop),
        browser_(desktop.forms_.empty() ? nullptr : (*desktop.forms_.begin())->browser_.view()) {
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWindow* window = GTK_WINDOW(window_);
    gtk_window_set_type_hint(window, GDK_WINDOW_TYPE_HINT_UTILITY);
    gtk_window_set_skip_taskbar_hint(window, TRUE);
    gtk_window_set_skip_pager_hint(window, TRUE);
    gtk_window_set_default_size(window, 328, 400);
    gtk_container_add(GTK_CONTAINER(window_), browser_.widget());
    gtk_widget_show(browser_.widget());
    g_signal_connect(window_, "destroy", G_CALLBACK(&GtkForm::on_destroy), this);
    hwnd_ = desktop.register_widget(window_, kCompanionFormClass, u"");
    desktop.forms_.insert(this);
    // A click into the form lands in the browser view that fills it.
    desktop.set_handler(hwnd_, [this](const WindowMessage& m) {
      if (m.message == kWmLButtonDown && !closed_)
        browser_.focus();
    });
  }
  ~GtkForm() override { close(); }
  GtkForm(const GtkForm&) = delete;
  GtkForm& operator=(const GtkForm&) = delete;

  Hwnd hwnd() const override { return hwnd_; }
  void move(int left, int top, int width, int height) override {
    if (closed_)
      return;
    left_ = left;
    top_ = top;
    width_ = width;
    height_ = height;
    if (desktop_)
      desktop_->set_rect(hwnd_, desktop_->twips_to_pixels(left, top, width, height));
  }
  int left() const override { return left_; }
  int top() const override { return top_; }
  int width() const override { return width_; }
  int height() const override { return height_; }
  // The view is the window's only child, so GTK keeps it at (0, 0) with the inner size.
  void refit_browser() override {
    if (!closed_)
      gtk_widget_queue_resize(browser_.widget());
  }
  Browser& browser() override { return browser_; }
  void close() override {
    if (closed_)
      return;
    closed_ = true;
    if (desktop_)
      desktop_->forms_.erase(this);
    if (window_)
      gtk_widget_destroy(window_);  // on_destroy clears window_; the desktop forgets the handle
  }
  bool closed() const override { return closed_; }

 private:
  friend class GtkDesktop;
  static void on_destroy(GtkWidget*, void* data) {
    auto* self = static_cast<GtkForm*>(data);
    // Also when the user closes the window through the window manager.
    self->window_ = nullptr;
    if (!self->closed_) {
      self->closed_ = true;
      if (self->desktop_)
        self->desktop_->forms_.erase(self);
    }
  }

  GtkDesktop* desktop_;
  GtkWidget* window_ = nullptr;
  WebKitBrowser browser_;
  Hwnd hwnd_ = 0;
  int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  bool closed_ = false;
};

void GtkDesktop::use_x11() {
  gdk_set_allowed_backends("x11");
}

int GtkDesktop::twips_per_pixel(double dots_per_inch) {
  if (!(dots_per_inch > 0))
    dots_per_inch = 96;
  return std::max(1, static_cast<int>(std::lround(1440.0 / dots_per_inch)));
}

namespace {
int screen_twips() {
  GdkScreen* screen = gdk_screen_get_default();
  return GtkDesktop::twips_per_pixel(screen ? gdk_screen_get_resolution(screen) : 96);
}
}  // namespace

GtkDesktop::GtkDesktop(EventLoop& loop) : WindowModel(loop, screen_twips(), screen_twips()) {
  // GTK's events keep the model current, so pollers of it may rest between changes.
  set_change_watch(true);
}

GtkDesktop::~GtkDesktop() {
  for (GtkForm* form : forms_)
    form->desktop_ = nullptr;
  for (auto& [hwnd, entry] : entries_) {
    g_signal_handlers_disconnect_by_data(entry.widget, this);
    g_object_set_data(G_OBJECT(entry.widget), kHwndKey, nullptr);
  }
}

std::unique_ptr<Form> GtkDesktop::create_form() {
  return std::make_unique<GtkForm>(*this);
}

Hwnd GtkDesktop::register_widget(GtkWidget* widget, StrView class_name, StrView title,
                                 Hwnd parent) {
  if (!widget || hwnd_of(widget) != 0)
    return 0;
  const bool top = is_top_level(widget);
  if (top ? parent != 0 : entries_.count(parent) == 0)
    return 0;
  Rect rect;
  read_rect(widget, rect);
  const Hwnd hwnd = create_window(class_name, title, parent, rect);
  if (hwnd == 0)
    return 0;
  entries_[hwnd] = Entry{widget, top};
  g_object_set_data(G_OBJECT(widget), kHwndKey, GINT_TO_POINTER(hwnd));
  g_signal_connect(widget, "destroy", G_CALLBACK(&GtkDesktop::on_widget_destroy), this);
  g_signal_connect(widget, "map", G_CALLBACK(&GtkDesktop::on_map_changed), this);
  g_signal_connect(widget, "unmap", G_CALLBACK(&GtkDesktop::on_map_changed), this);
  if (top) {
    g_signal_connect(widget, "configure-event", G_CALLBACK(&GtkDesktop::on_configure), this);
    g_signal_connect(widget, "notify::is-active", G_CALLBACK(&GtkDesktop::on_active_changed), this);
    if (!title.empty())
      gtk_window_set_title(GTK_WINDOW(widget), to_utf8(title).c_str());
    if (gtk_window_is_active(GTK_WINDOW(widget)))
      sync_foreground(hwnd);
  }
  sync_visible(hwnd, gtk_widget_get_mapped(widget));
  return hwnd;
}

GtkWidget* GtkDesktop::widget(Hwnd hwnd) const {
  auto it = entries_.find(hwnd);
  return it == entries_.end() ? nullptr : it->second.widget;
}

Hwnd GtkDesktop::hwnd_of(GtkWidget* widget) const {
  return static_cast<Hwnd>(GPOINTER_TO_INT(g_object_get_data(G_OBJECT(widget), kHwndKey)));
}

bool GtkDesktop::read_rect(GtkWidget* widget, Rect& rect) const {
  GtkWidget* top = gtk_widget_get_toplevel(widget);
  GdkWindow* window = top ? gtk_widget_get_window(top) : nullptr;
  if (!window)
    return false;
  if (widget == top) {
    // The frame, as GetWindowRect gives it; gtk_window_move places the frame's corner.
    GdkRectangle frame;
    gdk_window_get_frame_extents(window, &frame);
    rect = {frame.x, frame.y, frame.x + frame.width, frame.y + frame.height};
    return true;
  }
  int origin_x = 0, origin_y = 0, x = 0, y = 0;
  gdk_window_get_origin(window, &origin_x, &origin_y);
  if (!gtk_widget_translate_coordinates(widget, top, 0, 0, &x, &y))
    return false;
  GtkAllocation a;
  gtk_widget_get_allocation(widget, &a);
  rect = {origin_x + x, origin_y + y, origin_x + x + a.width, origin_y + y + a.height};
  return true;
}

void GtkDesktop::sync_geometry(Hwnd hwnd, GtkWidget* widget) {
  Rect rect;
  if (read_rect(widget, rect))
    sync_rect(hwnd, rect);
}

bool GtkDesktop::GetWindowRect(Hwnd hwnd, Rect& rect) {
  // Called every placement tick: top-level windows are kept current by their configure events.
  auto it = entries_.find(hwnd);
  if (it != entries_.end() && !it->second.top_level)
    sync_geometry(hwnd, it->second.widget);
  return WindowModel::GetWindowRect(hwnd, rect);
}

bool GtkDesktop::ShowWindow(Hwnd hwnd, int command) {
  show_without_activation_ = command == kSwShowNoActivate;
  const bool was_visible = WindowModel::ShowWindow(hwnd, command);
  show_without_activation_ = false;
  return was_visible;
}

void GtkDesktop::Sleep(int ms) {
  if (ms > 0)
    g_usleep(static_cast<gulong>(ms) * 1000);
}

void GtkDesktop::forget(Hwnd hwnd) {
  auto it = entries_.find(hwnd);
  if (it == entries_.end())
    return;
  GtkWidget* widget = it->second.widget;
  entries_.erase(it);
  g_signal_handlers_disconnect_by_data(widget, this);
  g_object_set_data(G_OBJECT(widget), kHwndKey, nullptr);
  if (wanted_foreground_ == hwnd)
    wanted_foreground_ = 0;
}

void GtkDesktop::on_widget_destroy(GtkWidget* widget, void* data) {
  auto* self = static_cast<GtkDesktop*>(data);
  const Hwnd hwnd = self->hwnd_of(widget);
  self->forget(hwnd);
  self->destroy_window(hwnd);  // and its children; their widgets go with this one
}

void GtkDesktop::on_destroyed(Hwnd hwnd) {
  GtkWidget* widget = this->widget(hwnd);
  if (!widget)
    return;
  forget(hwnd);
  if (!gtk_widget_in_destruction(widget))
    gtk_widget_destroy(widget);
}

int GtkDesktop::on_configure(GtkWidget* widget, void*, void* data) {
  auto* self = static_cast<GtkDesktop*>(data);
  self->sync_geometry(self->hwnd_of(widget), widget);
  return FALSE;
}

void GtkDesktop::on_map_changed(GtkWidget* widget, void* data) {
  auto* self = static_cast<GtkDesktop*>(data);
  self->sync_visible(self->hwnd_of(widget), gtk_widget_get_mapped(widget));
}

void GtkDesktop::on_active_changed(GtkWidget* widget, void*, void* data) {
  auto* self = static_cast<GtkDesktop*>(data);
  const Hwnd hwnd = self->hwnd_of(widget);
  const bool active = gtk_window_is_active(GTK_WINDOW(widget));
  if (self->wanted_foreground_ != 0 &&
      g_get_monotonic_time() - self->wanted_since_us_ > kForegroundGraceUs)
    self->wanted_foreground_ = 0;
  if (self->wanted_foreground_ != 0) {
    // Reports from before the plug-in's own SetForegroundWindow calls are stale.
    if (!active || hwnd != self->wanted_foreground_)
      return;
    self->wanted_foreground_ = 0;
  }
  if (active) {
    self->sync_foreground(hwnd);
  } else if (self->GetForegroundWindow() == hwnd) {
    self->sync_foreground(0);
  }
}

Hwnd GtkDesktop::GetForegroundWindow() {
  if (wanted_foreground_ != 0 && g_get_monotonic_time() - wanted_since_us_ > kForegroundGraceUs) {
    // GTK never confirmed the activation: take the active window from GTK itself.
    wanted_foreground_ = 0;
    Hwnd active = 0;
    for (auto& [hwnd, entry] : entries_) {
      if (is_top_level(entry.widget) && gtk_window_is_active(GTK_WINDOW(entry.widget)))
        active = hwnd;
    }
    sync_foreground(active);
  }
  return WindowModel::GetForegroundWindow();
}

void GtkDesktop::on_rect_changed(const ModelWindow& w) {
  GtkWidget* widget = this->widget(w.hwnd);
  if (!widget || !is_top_level(widget))
    return;
  // The rectangle is the frame's; GTK sizes the inside, so a window manager's decorations come
  // off. GTK cannot make a window smaller than one pixel.
  int frame_width = 0, frame_height = 0;
  if (GdkWindow* window = gtk_widget_get_window(widget)) {
    GdkRectangle frame;
    gdk_window_get_frame_extents(window, &frame);
    frame_width = std::max(0, frame.width - gdk_window_get_width(window));
    frame_height = std::max(0, frame.height - gdk_window_get_height(window));
  }
  gtk_window_move(GTK_WINDOW(widget), w.rect.left, w.rect.top);
  gtk_window_resize(GTK_WINDOW(widget), std::max(1, w.rect.width() - frame_width),
                    std::max(1, w.rect.height() - frame_height));
}

void GtkDesktop::on_visibility_changed(const ModelWindow& w) {
  GtkWidget* widget = this->widget(w.hwnd);
  if (!widget)
    return;
  if (!w.visible) {
    gtk_widget_hide(widget);
  } else if (is_top_level(widget) && show_without_activation_) {
    GtkWindow* window = GTK_WINDOW(widget);
    const gboolean focus_on_map = gtk_window_get_focus_on_map(window);
    gtk_window_set_focus_on_map(window, FALSE);
    gtk_widget_show(widget);
    gtk_window_set_focus_on_map(window, focus_on_map);
  } else {
    gtk_widget_show(widget);
  }
}

void GtkDesktop::on_foreground_changed(Hwnd hwnd) {
  GtkWidget* widget = this->widget(hwnd);
  if (!widget)
    return;
  GtkWidget* top = gtk_widget_get_toplevel(widget);
  if (!is_top_level(top))
    return;
  wanted_foreground_ = hwnd_of(top);
  wanted_since_us_ = g_get_monotonic_time();
  gtk_window_present(GTK_WINDOW(top));
}

void GtkDesktop::on_title_changed(const ModelWindow& w) {
  GtkWidget* widget = this->widget(w.hwnd);
  if (!widget)
    return;
  const std::string title = to_utf8(w.title);
  if (GTK_IS_WINDOW(widget)) {
    gtk_window_set_title(GTK_WINDOW(widget), title.c_str());
  } else if (GTK_IS_BUTTON(widget)) {
    gtk_button_set_label(GTK_BUTTON(widget), title.c_str());
  } else if (GTK_IS_LABEL(widget)) {
    gtk_label_set_text(GTK_LABEL(widget), title.c_str());
  }
}

void GtkDesktop::on_long_changed(const ModelWindow& w, int index) {
  GtkWidget* widget = this->widget(w.hwnd);
  if (!widget || !is_top_level(widget))
    return;
  GtkWindow* window = GTK_WINDOW(widget);
  if (index == kGwlHwndParent) {
    GtkWidget* owner = this->widget(w.owner);
    gtk_window_set_transient_for(window,
                                 owner && is_top_level(owner) ? GTK_WINDOW(owner) : nullptr);
  } else if (index == kGwlExStyle) {
    const gboolean tool = (w.ex_style & kWsExToolWindow) != 0;
    gtk_window_set_skip_taskbar_hint(window, tool);
    gtk_window_set_skip_pager_hint(window, tool);
  }
}

void GtkDesktop::on_message(const ModelWindow& w, const WindowMessage& m) {
  if (m.message != kWmLButtonUp)
    return;
  auto it = entries_.find(w.hwnd);
  if (it == entries_.end() || w.clicks <= it->second.clicks)
    return;
  it->second.clicks = w.clicks;
  GtkWidget* widget = it->second.widget;
  if (GTK_IS_BUTTON(widget))
    gtk_button_clicked(GTK_BUTTON(widget));  // may destroy windows: nothing is used after it
}

}  // namespace brevant
