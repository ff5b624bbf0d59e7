#pragma once
// Stand-in host chat windows for the wine tier: real top-level "StandardFrame" windows with a
// "StandardButton" child, as the messenger builds them, each button counting the clicks that
// reach it.

#include <windows.h>

#include <map>
#include <memory>
#include <string>

namespace brevant::wine {

struct Clicks {
  int down = 0;
  int up = 0;
  bool operator==(const Clicks&) const = default;
};

// One chat window: frame and Send button. Destroyed with the object.
class HostChatWindow {
 public:
  // `rect` in screen pixels; an empty `button` title means no Send button.
  HostChatWindow(const std::wstring& title, const std::wstring& button, RECT rect) {
    register_classes();
    frame_ = CreateWindowExW(0, L"StandardFrame", title.c_str(), WS_OVERLAPPEDWINDOW, rect.left,
                             rect.top, rect.right - rect.left, rect.bottom - rect.top, nullptr,
                             nullptr, GetModuleHandleW(nullptr), nullptr);
    if (frame_ && !button.empty()) {
      button_ = CreateWindowExW(0, L"StandardButton", button.c_str(), WS_CHILD | WS_VISIBLE, 10, 10,
                                60, 24, frame_, nullptr, GetModuleHandleW(nullptr), nullptr);
    }
    ShowWindow(frame_, SW_SHOWNOACTIVATE);
  }
  ~HostChatWindow() {
    clicks().erase(button_);
    if (frame_)
      DestroyWindow(frame_);
  }
  HostChatWindow(const HostChatWindow&) = delete;
  HostChatWindow& operator=(const HostChatWindow&) = delete;

  HWND frame() const { return frame_; }
  HWND button() const { return button_; }
  Clicks button_clicks() const {
    auto it = clicks().find(button_);
    return it == clicks().end() ? Clicks{} : it->second;
  }

 private:
  static std::map<HWND, Clicks>& clicks() {
    static std::map<HWND, Clicks> per_window;
    return per_window;
  }

  static LRESULT CALLBACK button_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    // Only a click at the point the plug-in aims at counts.
    if ((message == WM_LBUTTONDOWN || message == WM_LBUTTONUP) && wparam == 0 &&
        lparam == MAKELPARAM(2, 2)) {
      Clicks& c = clicks()[hwnd];
      ++(message == WM_LBUTTONDOWN ? c.down : c.up);
      return 0;
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
  }

  static void register_classes() {
    static bool done = false;
    if (done)
      return;
    done = true;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpfnWndProc = &DefWindowProcW;
    wc.lpszClassName = L"StandardFrame";
    RegisterClassExW(&wc);
    wc.lpfnWndProc = &button_proc;
    wc.lpszClassName = L"StandardButton";
    RegisterClassExW(&wc);
  }

  HWND frame_ = nullptr;
  HWND button_ = nullptr;
};

// Handles every message queued for this thread's windows.
inline void pump_messages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

}  // namespace brevant::wine
