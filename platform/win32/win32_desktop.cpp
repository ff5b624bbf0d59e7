// The desktop over user32. Titles and class names go through the wide-character functions, so
// that a Chinese title such as the Send button's is found whatever the ANSI code page is.

#include <windows.h>

#include "platform/win32/win32_desktop.h"
#include "platform/win32/win32_module.h"

namespace brevant {
namespace {

// A null-terminated copy for the API, or nullptr for "any".
class OptionalText {
 public:
  explicit OptionalText(const std::optional<StrView>& text) {
    if (text) {
      text_.assign(text->begin(), text->end());
      set_ = true;
    }
  }
  const wchar_t* get() const {
    return set_ ? reinterpret_cast<const wchar_t*>(text_.c_str()) : nullptr;
  }

 private:
  Str text_;
  bool set_ = false;
};

int twips_per_pixel(int axis) {
  HDC screen = GetDC(nullptr);
  const int dpi = screen ? GetDeviceCaps(screen, axis) : 0;
  if (screen)
    ReleaseDC(nullptr, screen);
  return dpi > 0 ? 1440 / dpi : 15;
}

class Win32Desktop final : public Desktop {
 public:
  Hwnd GetParent(Hwnd hwnd) override { return to_hwnd_id(::GetParent(to_hwnd(hwnd))); }

  bool ShowWindow(Hwnd hwnd, int command) override {
    return ::ShowWindow(to_hwnd(hwnd), command) != FALSE;
  }

  bool SetForegroundWindow(Hwnd hwnd) override {
    return ::SetForegroundWindow(to_hwnd(hwnd)) != FALSE;
  }

  Hwnd GetForegroundWindow() override { return to_hwnd_id(::GetForegroundWindow()); }

  bool GetWindowRect(Hwnd hwnd, Rect& rect) override {
    RECT r;
    if (!::GetWindowRect(to_hwnd(hwnd), &r))
      return false;
    rect = Rect{r.left, r.top, r.right, r.bottom};
    return true;
  }

  std::int32_t SetWindowLongA(Hwnd hwnd, int index, std::int32_t value) override {
    if (index == kGwlHwndParent) {
      // The owner is pointer-sized: on x64 only the pointer-sized call reaches it.
      return static_cast<std::int32_t>(
          SetWindowLongPtrW(to_hwnd(hwnd), GWLP_HWNDPARENT, static_cast<LONG_PTR>(value)));
    }
    return static_cast<std::int32_t>(SetWindowLongW(to_hwnd(hwnd), index, value));
  }

  std::int32_t GetWindowLongA(Hwnd hwnd, int index) override {
    if (index == kGwlHwndParent)
      return static_cast<std::int32_t>(GetWindowLongPtrW(to_hwnd(hwnd), GWLP_HWNDPARENT));
    return static_cast<std::int32_t>(GetWindowLongW(to_hwnd(hwnd), index));
  }

  Hwnd FindWindowA(std::optional<StrView> class_name, std::optional<StrView> title) override {
    const OptionalText c(class_name), t(title);
    return to_hwnd_id(FindWindowW(c.get(), t.get()));
  }

  Hwnd FindWindowExA(Hwnd parent, Hwnd child_after, std::optional<StrView> class_name,
                     std::optional<StrView> title) override {
    const OptionalText c(class_name), t(title);
    return to_hwnd_id(FindWindowExW(to_hwnd(parent), to_hwnd(child_after), c.get(), t.get()));
  }

  Str GetWindowTextA(Hwnd hwnd, int max_chars) override {
    if (max_chars <= 0)
      return {};
    Str text(static_cast<std::size_t>(max_chars), u'\0');
    const int n = GetWindowTextW(to_hwnd(hwnd), reinterpret_cast<wchar_t*>(text.data()), max_chars);
    text.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return text;
  }

  bool PostMessageA(Hwnd hwnd, std::uint32_t message, std::uintptr_t wparam,
                    std::intptr_t lparam) override {
    return PostMessageW(to_hwnd(hwnd), message, static_cast<WPARAM>(wparam),
                        static_cast<LPARAM>(lparam)) != FALSE;
  }

  void Sleep(int ms) override { ::Sleep(ms > 0 ? static_cast<DWORD>(ms) : 0); }

  // Fixed for the session, as the form toolkit's screen object keeps them.
  int TwipsPerPixelX() override {
    if (twips_x_ == 0)
      twips_x_ = twips_per_pixel(LOGPIXELSX);
    return twips_x_;
  }
  int TwipsPerPixelY() override {
    if (twips_y_ == 0)
      twips_y_ = twips_per_pixel(LOGPIXELSY);
    return twips_y_;
  }

  std::unique_ptr<Form> create_form() override {
    return make_win32_form(TwipsPerPixelX(), TwipsPerPixelY());
  }

 private:
  int twips_x_ = 0;
  int twips_y_ = 0;
};

}  // namespace

std::unique_ptr<Desktop> make_win32_desktop() {
  return std::make_unique<Win32Desktop>();
}

}  // namespace brevant
