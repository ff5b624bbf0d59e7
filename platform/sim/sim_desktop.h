#pragma once
// A window system in memory that behaves like user32 as far as the companion window uses it:
// 32-bit handles, class names, titles, parents and owners, extended styles, screen rectangles in
// pixels, visibility, the foreground window, the front-to-back order of top-level windows (the
// order in which FindWindowA finds them) and posted messages delivered through the event loop.
//
// The scenario tier drives it directly (it plays the host messenger's windows and the user).
// The Linux port uses it as its window registry: a subclass mirrors the model onto real windows
// through the protected hooks, and reports what the real windows did through the sync_*
// functions (which change the model without calling the hooks back).

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "platform/browser.h"
#include "platform/desktop.h"
#include "platform/event_loop.h"
#include "platform/text.h"

namespace brevant {

class SimForm;

// One message as a window received it.
struct SimMessage {
  std::uint32_t message = 0;
  std::uintptr_t wparam = 0;
  std::intptr_t lparam = 0;
  bool operator==(const SimMessage&) const = default;
};

struct SimWindow {
  Hwnd hwnd = 0;
  Str class_name;
  Str title;
  Hwnd parent = 0;  // 0 for a top-level window
  Hwnd owner = 0;   // GWL_HWNDPARENT of a top-level window
  std::int32_t ex_style = 0;
  Rect rect;  // screen pixels
  bool visible = false;
  std::vector<SimMessage> received;
  int clicks = 0;  // left-button releases that followed a press
  std::function<void(const SimMessage&)> handler;

 private:
  friend class SimDesktop;
  bool button_down_ = false;
};

class SimDesktop : public Desktop {
 public:
  explicit SimDesktop(EventLoop& loop, int twips_per_pixel_x = 15, int twips_per_pixel_y = 15);
  ~SimDesktop() override;
  SimDesktop(const SimDesktop&) = delete;
  SimDesktop& operator=(const SimDesktop&) = delete;

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
  // Records the wait; the virtual clock does not move (the thread is simply blocked).
  void Sleep(int ms) override;
  int TwipsPerPixelX() override { return twips_x_; }
  int TwipsPerPixelY() override { return twips_y_; }
  std::unique_ptr<Form> create_form() override;
  // Only once set_change_watch(true): a model that is only driven through these functions
  // sees every change, as a mirror of a real window system does through its events.
  std::shared_ptr<void> watch_changes(std::function<void()> changed) override;

  // --- The world outside the plug-in (host windows, the user), and inspection
  // A new window, hidden, in front of every other top-level window (or the last child of
  // `parent`). Returns its handle.
  Hwnd create_window(StrView class_name, StrView title, Hwnd parent = 0, Rect rect = {});
  // Destroys the window and its children; the foreground goes to nobody if it was among them.
  void destroy_window(Hwnd hwnd);
  bool exists(Hwnd hwnd) const { return windows_.count(hwnd) != 0; }
  // nullptr when there is no such window.
  const SimWindow* window(Hwnd hwnd) const;
  void set_rect(Hwnd hwnd, const Rect& rect);
  void set_title(Hwnd hwnd, StrView title);
  void set_twips_per_pixel(int x, int y);
  // Runs for every message delivered to the window (after it is recorded).
  void set_handler(Hwnd hwnd, std::function<void(const SimMessage&)> handler);
  // The user activates a window (a click on it): not counted as a call of the plug-in.
  void activate(Hwnd hwnd);
  // While locked, SetForegroundWindow is refused (recorded, returns false), as Windows refuses
  // it to a program that is not in the foreground.
  void set_foreground_lock(bool locked) { foreground_locked_ = locked; }
  // Whether watch_changes() is offered (off by default: a desktop that cannot tell).
  void set_change_watch(bool on) { change_watch_ = on; }

  // Every SetForegroundWindow call that found its window, in order.
  const std::vector<Hwnd>& foreground_calls() const { return foreground_calls_; }
  // Every Sleep call, in order, and their sum.
  const std::vector<int>& sleeps() const { return sleeps_; }
  std::int64_t slept_ms() const { return slept_ms_; }
  void clear_records();
  // The top-level windows, front to back.
  const std::vector<Hwnd>& z_order() const { return z_order_; }

  // The live forms made by create_form(), by handle; nullptr when none or closed.
  SimForm* form(Hwnd hwnd) const;
  // The rectangle in pixels that a form placed at (left, top, width, height) twips covers: each
  // coordinate divided by the factor and rounded; a size under one pixel becomes one pixel, a
  // zero size stays zero.
  Rect twips_to_pixels(int left, int top, int width, int height) const;

  // --- For a mirror: what the real window system did, taken into the model without hooks.
  void sync_rect(Hwnd hwnd, const Rect& rect);
  void sync_foreground(Hwnd hwnd);
  void sync_visible(Hwnd hwnd, bool visible);

 protected:
  // Called after the model changed on behalf of the plug-in or a test.
  virtual void on_created(const SimWindow&) {}
  virtual void on_destroyed(Hwnd) {}
  virtual void on_rect_changed(const SimWindow&) {}
  virtual void on_visibility_changed(const SimWindow&) {}
  virtual void on_foreground_changed(Hwnd) {}
  virtual void on_title_changed(const SimWindow&) {}
  // Owner or extended style.
  virtual void on_long_changed(const SimWindow&, int /*index*/) {}
  // After a message was recorded and the window's handler ran.
  virtual void on_message(const SimWindow&, const SimMessage&) {}

  EventLoop& loop() { return loop_; }
  SimWindow* find(Hwnd hwnd);

 private:
  friend class SimForm;
  void raise(Hwnd hwnd);
  Hwnd root_of(Hwnd hwnd) const;
  void deliver(Hwnd hwnd, const SimMessage& message);
  void forget_form(Hwnd hwnd) { forms_.erase(hwnd); }
  // Tells the watchers; a watcher may release its own or another's token meanwhile.
  void changed();

  EventLoop& loop_;
  int twips_x_;
  int twips_y_;
  std::map<Hwnd, SimWindow> windows_;
  std::vector<Hwnd> z_order_;                   // top-level windows, front first
  std::map<Hwnd, std::vector<Hwnd>> children_;  // in creation order
  std::map<Hwnd, SimForm*> forms_;
  Hwnd foreground_ = 0;
  bool foreground_locked_ = false;
  Hwnd next_handle_ = 0x00010010;
  bool change_watch_ = false;
  std::vector<std::weak_ptr<std::function<void()>>> watchers_;
  std::vector<Hwnd> foreground_calls_;
  std::vector<int> sleeps_;
  std::int64_t slept_ms_ = 0;
  // Lets queued messages tell whether the desktop still exists.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// A browser control that keeps every script line, records its navigations and lets a test
// raise the before-navigate event with any URL.
class RecordingBrowser final : public Browser {
 public:
  // The URL a control reports for a local file: "file:///" and the path with "/" for "\",
  // UTF-8 percent-encoded except for letters, digits and "-._~/:".
  static Str file_url(StrView path);

  Str navigate_file(const Str& path) override;
  // Throws std::runtime_error while there is no document.
  void exec_script(const Str& line) override;
  void on_before_navigate(std::function<void(const Str& url)> handler) override {
    handler_ = std::move(handler);
  }
  void focus() override { ++focuses_; }

  // Raises before-navigate as the control does for a navigation to `url`.
  void navigate(const Str& url);
  // false: scripts fail as in a control whose page did not load (no document).
  void set_document(bool present) { document_ = present; }

  const std::vector<Str>& navigations() const { return navigations_; }  // paths given
  const std::vector<Str>& lines() const { return lines_; }              // scripts run
  int failed_scripts() const { return failed_; }
  int focuses() const { return focuses_; }
  void clear() {
    lines_.clear();
    failed_ = 0;
  }

 private:
  std::function<void(const Str&)> handler_;
  std::vector<Str> navigations_;
  std::vector<Str> lines_;
  bool document_ = true;
  int failed_ = 0;
  int focuses_ = 0;
};

// The companion form on the sim desktop: a top-level window of class "BrevantCompanion". A form
// that outlives its desktop keeps its last values and moves nothing.
class SimForm final : public Form {
 public:
  SimForm(SimDesktop& desktop, Hwnd hwnd);
  ~SimForm() override;

  Hwnd hwnd() const override { return hwnd_; }
  void move(int left, int top, int width, int height) override;
  int left() const override { return left_; }
  int top() const override { return top_; }
  int width() const override { return width_; }
  int height() const override { return height_; }
  void refit_browser() override { ++refits_; }
  Browser& browser() override { return browser_; }
  void close() override;
  bool closed() const override { return closed_; }

  RecordingBrowser& recording_browser() { return browser_; }
  int moves() const { return moves_; }
  int refits() const { return refits_; }

 private:
  friend class SimDesktop;
  SimDesktop* desktop_;  // null once the desktop is gone
  Hwnd hwnd_;
  RecordingBrowser browser_;
  int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  int moves_ = 0;
  int refits_ = 0;
  bool closed_ = false;
};

inline constexpr char16_t kSimFormClass[] = u"BrevantCompanion";

}  // namespace brevant
