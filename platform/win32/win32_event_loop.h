#pragma once
// The event loop on the user-interface thread's message queue: timers are SetTimer timers of a
// hidden message-only window owned by the plug-in, created on first use on the calling thread;
// posted work is a private message to that window. The window lives only while work is pending,
// so that an idle plug-in holds no window whose procedure would keep its DLL loaded.

#include <windows.h>

#include <memory>
#include <unordered_map>

#include "platform/event_loop.h"
#include "platform/win32/win32_module.h"

namespace brevant {

class Win32EventLoop : public EventLoop {
 public:
  Win32EventLoop() = default;
  ~Win32EventLoop() override;
  Win32EventLoop(const Win32EventLoop&) = delete;
  Win32EventLoop& operator=(const Win32EventLoop&) = delete;

  TaskId call_later(std::chrono::milliseconds delay, Task task) override;
  void cancel(TaskId id) override;
  void post(Task task) override;
  std::chrono::milliseconds now() const override;
  // Pumps the thread's messages (for test programs; the messenger pumps them in the product).
  bool run_until(const std::function<bool()>& done, std::chrono::milliseconds limit) override;

 private:
  static LRESULT CALLBACK window_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  HWND window();
  void run(TaskId id, bool timer);
  // Destroys the window once nothing is pending.
  void release_window_if_idle();

  HWND hwnd_ = nullptr;
  std::unique_ptr<LiveObject> window_alive_;
  std::unordered_map<TaskId, Task> tasks_;
  TaskId next_id_ = 1;
};

}  // namespace brevant
