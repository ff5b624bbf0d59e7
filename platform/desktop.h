#pragma once
// The window system as the companion window uses it, shaped after the user32 functions it calls.
// Windows: user32 itself. Linux: the window model (platform/window_model.h) mirrored onto GTK
// windows. Tests: the same model with a record of the calls (platform/sim/sim_desktop.h).
//
// Window handles are 32-bit integers; 0 is no window. Texts are Unicode at this seam: the Windows
// adapter uses the wide-character functions, so that a Chinese title is found on any code page.
// A call about a window that does not exist fails the way user32 fails (0, false, empty), it does
// not throw.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "platform/text.h"

namespace brevant {

class Form;

using Hwnd = std::int32_t;

struct Rect {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;
  std::int32_t width() const { return right - left; }
  std::int32_t height() const { return bottom - top; }
  bool operator==(const Rect&) const = default;
};

// ShowWindow commands.
inline constexpr int kSwHide = 0;
inline constexpr int kSwShowNoActivate = 4;
inline constexpr int kSwShow = 5;
// SetWindowLongA indices and the one extended style the companion sets.
inline constexpr int kGwlHwndParent = -8;
inline constexpr int kGwlExStyle = -20;
inline constexpr std::int32_t kWsExToolWindow = 0x80;
// Posted mouse messages.
inline constexpr std::uint32_t kWmLButtonDown = 0x201;
inline constexpr std::uint32_t kWmLButtonUp = 0x202;
// lParam of a click at client point (2, 2).
inline constexpr std::int32_t kClickAt2x2 = 0x00020002;

class Desktop {
 public:
  virtual ~Desktop() = default;

  virtual Hwnd GetParent(Hwnd hwnd) = 0;
  virtual bool ShowWindow(Hwnd hwnd, int command) = 0;
  virtual bool SetForegroundWindow(Hwnd hwnd) = 0;
  virtual Hwnd GetForegroundWindow() = 0;
  // Screen pixels. false (and `rect` untouched) when the window does not exist.
  virtual bool GetWindowRect(Hwnd hwnd, Rect& rect) = 0;
  // kGwlHwndParent (the owner of a top-level window) or kGwlExStyle; returns the previous value.
  virtual std::int32_t SetWindowLongA(Hwnd hwnd, int index, std::int32_t value) = 0;
  virtual std::int32_t GetWindowLongA(Hwnd hwnd, int index) = 0;
  // A top-level window by class and title; nullopt matches any. Exact comparison of titles.
  virtual Hwnd FindWindowA(std::optional<StrView> class_name, std::optional<StrView> title) = 0;
  // The next child of `parent` after `child_after` (0: the first) by class and title.
  virtual Hwnd FindWindowExA(Hwnd parent, Hwnd child_after, std::optional<StrView> class_name,
                             std::optional<StrView> title) = 0;
  // At most `max_chars` - 1 characters of the title, as GetWindowTextA into a buffer of that size.
  virtual Str GetWindowTextA(Hwnd hwnd, int max_chars) = 0;
  // Queued for the window; it is handled through the event loop after the caller returns.
  virtual bool PostMessageA(Hwnd hwnd, std::uint32_t message, std::uintptr_t wparam,
                            std::intptr_t lparam) = 0;
  // Blocks the user-interface thread (the caller decides when that is worth it).
  virtual void Sleep(int ms) = 0;

  // The screen's twips per pixel, horizontally and vertically (15 at 96 dots per inch).
  virtual int TwipsPerPixelX() = 0;
  virtual int TwipsPerPixelY() = 0;

  // A new companion form: a top-level tool window without a taskbar button, not yet shown,
  // hosting a browser control that fills it.
  virtual std::unique_ptr<Form> create_form() = 0;

  // A desktop that learns of every change to its windows (moved, sized, shown, hidden,
  // activated, created, destroyed, retitled) lets a poller rest while nothing changes: `changed`
  // runs after each change until the returned token is released. nullptr when this desktop
  // cannot tell, so pollers keep polling.
  virtual std::shared_ptr<void> watch_changes(std::function<void()> changed) {
    (void)changed;
    return nullptr;
  }
};

}  // namespace brevant
