#pragma once
// Keyboard accelerators for the companions' browser controls.

// windows.h first: the COM headers need its types.
#include <windows.h>

#include <new>
#include <utility>
#include <vector>

#include "platform/failure.h"
#include "platform/win32/browser_site.h"
#include "platform/win32/win32_module.h"

namespace brevant::win32 {

// The messenger runs the message loop, so the control never sees its keyboard accelerators
// (Tab, Ctrl+C, Ctrl+V, Ctrl+A ...) unless they are handed to it on their way: a message hook
// of this thread offers each key message for one of the companions' windows to that
// companion's control first, as a container's own loop would.
class KeyboardRouting {
 public:
  static void add(BrowserSite* site) {
    sites().push_back(site);
    if (!hook_ && (hook_ = SetWindowsHookExW(WH_GETMESSAGE, &get_message, nullptr,
                                             GetCurrentThreadId())) != nullptr)
      alive_ = new (std::nothrow) LiveObject();
  }
  static void remove(BrowserSite* site) {
    auto& all = sites();
    for (auto it = all.begin(); it != all.end(); ++it) {
      if (*it == site) {
        all.erase(it);
        break;
      }
    }
    if (all.empty() && hook_) {
      UnhookWindowsHookEx(std::exchange(hook_, nullptr));
      delete std::exchange(alive_, nullptr);
    }
  }

 private:
  static std::vector<BrowserSite*>& sites() {
    static std::vector<BrowserSite*> all;
    return all;
  }

  static LRESULT CALLBACK get_message(int code, WPARAM removing, LPARAM lparam) {
    auto* msg = reinterpret_cast<MSG*>(lparam);
    if (code == HC_ACTION && removing == PM_REMOVE && msg && msg->message >= WM_KEYFIRST &&
        msg->message <= WM_KEYLAST) {
      skip_failure("keyboard routing", [&] {
        for (BrowserSite* site : sites()) {
          IOleInPlaceActiveObject* active = site->active_object();
          const HWND form = site->hwnd();
          if (!active || !form || (msg->hwnd != form && !IsChild(form, msg->hwnd)))
            continue;
          if (active->TranslateAccelerator(msg) == S_OK) {
            // Taken by the control: the message goes on as nothing.
            msg->message = WM_NULL;
            msg->wParam = 0;
            msg->lParam = 0;
          }
          break;
        }
      });
    }
    return CallNextHookEx(nullptr, code, removing, lparam);
  }

  static inline HHOOK hook_ = nullptr;
  static inline LiveObject* alive_ = nullptr;
};

}  // namespace brevant::win32
