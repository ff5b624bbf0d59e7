// The companion form: a top-level tool window of this module's own class, hosting the
// WebBrowser control (win32_browser.h) that fills it.
//
// Nothing thrown here leaves the window procedure.

// windows.h first: the COM headers need its types.
#include <windows.h>

#include <memory>
#include <utility>

#include "platform/failure.h"
#include "platform/win32/win32_browser.h"
#include "platform/win32/win32_desktop.h"
#include "platform/win32/win32_module.h"

namespace brevant {
namespace {

using win32::Win32Browser;

constexpr wchar_t kFormClass[] = L"brevant.Companion";

class Win32Form final : public Form {
 public:
  Win32Form(int twips_x, int twips_y) : twips_x_(twips_x), twips_y_(twips_y) {
    // The control needs OLE on this thread; the messenger has it already, a test may not.
    ole_initialized_ = SUCCEEDED(OleInitialize(nullptr));
    register_module_class(kFormClass, &Win32Form::window_proc);
    hwnd_ = CreateWindowExW(WS_EX_TOOLWINDOW, kFormClass, L"",
                            WS_POPUP | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0, 0, 0, 0, nullptr,
                            nullptr, this_module_instance(), this);
    if (!hwnd_) {
      release_ole();
      throw std::runtime_error("cannot create the companion window");
    }
    alive_ = std::make_unique<LiveObject>();
    browser_.create(hwnd_);
  }
  ~Win32Form() override {
    close();
    release_ole();
  }
  Win32Form(const Win32Form&) = delete;
  Win32Form& operator=(const Win32Form&) = delete;

  Hwnd hwnd() const override { return to_hwnd_id(hwnd_); }

  void move(int left, int top, int width, int height) override {
    left_ = left;
    top_ = top;
    width_ = width;
    height_ = height;
    if (!hwnd_)
      return;
    SetWindowPos(hwnd_, nullptr, MulDiv(left, 1, twips_x_), MulDiv(top, 1, twips_y_),
                 size_in_pixels(width, twips_x_), size_in_pixels(height, twips_y_),
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
  }
  int left() const override { return left_; }
  int top() const override { return top_; }
  int width() const override { return width_; }
  int height() const override { return height_; }

  void refit_browser() override {
    if (hwnd_)
      browser_.fit(hwnd_);
  }

  Browser& browser() override { return browser_; }

  void close() override {
    if (hwnd_)
      DestroyWindow(hwnd_);  // WM_DESTROY takes the control down first
  }
  bool closed() const override { return hwnd_ == nullptr; }

 private:
  // A size under one pixel still shows as one; only zero is zero.
  static int size_in_pixels(int twips, int twips_per_pixel) {
    if (twips == 0)
      return 0;
    const int pixels = MulDiv(twips, 1, twips_per_pixel);
    return pixels < 1 ? 1 : pixels;
  }

  void release_ole() {
    if (std::exchange(ole_initialized_, false))
      OleUninitialize();
  }

  static LRESULT CALLBACK window_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
      auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* form = reinterpret_cast<Win32Form*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!form)
      return DefWindowProcW(hwnd, message, wparam, lparam);
    switch (message) {
      case WM_SIZE:
        skip_failure("browser fit", [&] { form->browser_.fit(hwnd); });
        return 0;
      case WM_CLOSE:
        // The plug-in closes its companions; a close from outside takes the same way out.
        form->close();
        return 0;
      case WM_DESTROY:
        skip_failure("browser destroy", [&] { form->browser_.destroy(); });
        return 0;
      case WM_NCDESTROY:
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        form->hwnd_ = nullptr;
        form->alive_.reset();
        break;
      default:
        break;
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
  }

  int twips_x_;
  int twips_y_;
  bool ole_initialized_ = false;
  HWND hwnd_ = nullptr;
  std::unique_ptr<LiveObject> alive_;
  Win32Browser browser_;
  int left_ = 0;
  int top_ = 0;
  int width_ = 0;
  int height_ = 0;
};

}  // namespace

std::unique_ptr<Form> make_win32_form(int twips_per_pixel_x, int twips_per_pixel_y) {
  return std::make_unique<Win32Form>(twips_per_pixel_x > 0 ? twips_per_pixel_x : 15,
                                     twips_per_pixel_y > 0 ? twips_per_pixel_y : 15);
}

}  // namespace brevant
