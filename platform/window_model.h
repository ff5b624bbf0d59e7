#pragma once
// A window system in memory that behaves like user32 as far as the companion window uses it:
// 32-bit handles, class names, titles, parents and owners, extended styles, screen rectangles in
// pixels, visibility, the foreground window, the front-to-back order of top-level windows (the
// order in which FindWindowA finds them) and posted messages delivered through the event loop.
//
// The Linux port keeps its window registry in it: a subclass mirrors the model onto real
// windows through the protected hooks, and reports what the real windows did through the sync_*
// functions (which change the model without calling the hooks back). The tests' desktop is a
// subclass too, which records what the plug-in did. The model itself keeps no history: its
// memory follows the windows that exist.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "platform/desktop.h"
#include "platform/event_loop.h"
#include "platform/text.h"

namespace brevant {

// One message as a window received it.
struct WindowMessage {
  std::uint32_t message = 0;
  std::uintptr_t wparam = 0;
  std::intptr_t lparam = 0;
  bool operator==(const WindowMessage&) const = default;
};

struct ModelWindow {
  Hwnd hwnd = 0;
  Str class_name;
  Str title;
  Hwnd parent = 0;  // 0 for a top-level window
  Hwnd owner = 0;   // GWL_HWNDPARENT of a top-level window
  std::int32_t ex_style = 0;
  Rect rect;  // screen pixels
  bool visible = false;
  int clicks = 0;  // left-button releases that followed a press
  std::function<void(const WindowMessage&)> handler;

 private:
  friend class WindowModel;
  bool button_down_ = false;
};

// Sleep and create_form stay for the subclass: only it knows how it waits and what a form is.
class WindowModel : public Desktop {
 public:
  explicit WindowModel(EventLoop& loop, int twips_per_pixel_x = 15, int twips_per_pixel_y = 15);
  ~WindowModel() override;
  WindowModel(const WindowModel&) = delete;
  WindowModel& operator=(const WindowModel&) = delete;

  // --- Desktop
  Hwnd GetParent(Hwnd hwnd) override;
  bool ShowWindow(Hwnd hwnd, int command) override;
  bool SetForegroundWindow(Hwnd hwnd) override;
  Hwnd GetForegroundWindow() override { return foreground_; }
  bool GetWindowRect(Hwnd hwnd, Rect& rect) override;
  std::int32_t SetWindowLongA(Hwnd hwnd, int index, std::int32_t value) override;
  std::int32_t GetWindowLongA(Hwnd hwnd, int index) override;
  Hwnd FindWindowA(std::optional<StrView> class_name, std::optional<StrView> title) override;
  Hwnd FindWindowExA(Hwnd parent, Hwnd child_after, std::optional<StrView> class_name,
                     std::optional<StrView> title) override;
  Str GetWindowTextA(Hwnd hwnd, int max_chars) override;
  bool PostMessageA(Hwnd hwnd, std::uint32_t message, std::uintptr_t wparam,
                    std::intptr_t lparam) override;
  int TwipsPerPixelX() override { return twips_x_; }
  int TwipsPerPixelY() override { return twips_y_; }
  // Only once set_change_watch(true): a model that is only driven through these functions
  // sees every change, as a mirror of a real window system does through its events.
  std::shared_ptr<void> watch_changes(std::function<void()> changed) override;

  // --- The world outside the plug-in (host windows, the user)
  // A new window, hidden, in front of every other top-level window (or the last child of
  // `parent`). Returns its handle.
  Hwnd create_window(StrView class_name, StrView title, Hwnd parent = 0, Rect rect = {});
  // Destroys the window and its children; the foreground goes to nobody if it was among them.
  void destroy_window(Hwnd hwnd);
  bool exists(Hwnd hwnd) const { return windows_.count(hwnd) != 0; }
  // nullptr when there is no such window.
  const ModelWindow* window(Hwnd hwnd) const;
  void set_rect(Hwnd hwnd, const Rect& rect);
  void set_title(Hwnd hwnd, StrView title);
  void set_twips_per_pixel(int x, int y);
  // Runs for every message delivered to the window.
  void set_handler(Hwnd hwnd, std::function<void(const WindowMessage&)> handler);
  // The user activates a window (a click on it).
  void activate(Hwnd hwnd);
  // Whether watch_changes() is offered (off by default: a desktop that cannot tell).
  void set_change_watch(bool on) { change_watch_ = on; }
  // The top-level windows, front to back.
  const std::vector<Hwnd>& z_order() const { return z_order_; }

  // The rectangle in pixels that a form placed at (left, top, width, height) twips covers: each
  // coordinate divided by the factor and rounded; a size under one pixel becomes one pixel, a
  // zero size stays zero.
  Rect twips_to_pixels(int left, int top, int width, int height) const;

  // --- For a mirror: what the real window system did, taken into the model without hooks.
  void sync_rect(Hwnd hwnd, const Rect& rect);
  void sync_foreground(Hwnd hwnd);
  void sync_visible(Hwnd hwnd, bool visible);

 protected:
  // Called after the model changed on behalf of the plug-in or the program.
  virtual void on_created(const ModelWindow&) {}
  virtual void on_destroyed(Hwnd) {}
  virtual void on_rect_changed(const ModelWindow&) {}
  virtual void on_visibility_changed(const ModelWindow&) {}
  virtual void on_foreground_changed(Hwnd) {}
  virtual void on_title_changed(const ModelWindow&) {}
  // Owner or extended style.
  virtual void on_long_changed(const ModelWindow&, int /*index*/) {}
  // Before the window's handler runs.
  virtual void on_received(const ModelWindow&, const WindowMessage&) {}
  // After the window's handler ran, if the window still exists.
  virtual void on_message(const ModelWindow&, const WindowMessage&) {}

  EventLoop& loop() { return loop_; }
  ModelWindow* find(Hwnd hwnd);

 private:
  void raise(Hwnd hwnd);
  Hwnd root_of(Hwnd hwnd) const;
  void deliver(Hwnd hwnd, const WindowMessage& message);
  // Tells the watchers; a watcher may release its own or another's token meanwhile.
  void changed();

  EventLoop& loop_;
  int twips_x_;
  int twips_y_;
  std::map<Hwnd, ModelWindow> windows_;
  std::vector<Hwnd> z_order_;                   // top-level windows, front first
  std::map<Hwnd, std::vector<Hwnd>> children_;  // in creation order
  Hwnd foreground_ = 0;
  Hwnd next_handle_ = 0x00010010;
  bool change_watch_ = false;
  std::vector<std::weak_ptr<std::function<void()>>> watchers_;
  // Lets queued messages tell whether the model still exists.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// The class name of a companion form's window.
inline constexpr char16_t kCompanionFormClass[] = u"BrevantCompanion";

}  // namespace brevant
