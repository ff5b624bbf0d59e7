#include "platform/win32/win32_event_loop.h"

#include "platform/failure.h"

#include <stdexcept>
#include <utility>

namespace brevant {
namespace {

constexpr UINT kRunPosted = WM_APP + 0x4B51;
constexpr wchar_t kClassName[] = L"brevant.EventLoop";

}  // namespace

Win32EventLoop::~Win32EventLoop() {
  tasks_.clear();
  release_window_if_idle();
}

HWND Win32EventLoop::window() {
  if (hwnd_ != nullptr)
    return hwnd_;
  register_module_class(kClassName, &Win32EventLoop::window_proc);
  hwnd_ = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                          this_module_instance(), nullptr);
  if (hwnd_ == nullptr)
    throw std::runtime_error("cannot create the event loop's window");
  SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  window_alive_ = std::make_unique<LiveObject>();
  return hwnd_;
}

void Win32EventLoop::release_window_if_idle() {
  if (hwnd_ == nullptr || !tasks_.empty())
    return;
  // Timers and posted messages of the window go with it.
  SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
  DestroyWindow(std::exchange(hwnd_, nullptr));
  window_alive_.reset();
}

EventLoop::TaskId Win32EventLoop::call_later(std::chrono::milliseconds delay, Task task) {
  HWND hwnd = window();
  TaskId id = next_id_++;
  if (static_cast<UINT_PTR>(id) == 0)
    id = next_id_++;  // timer id 0 is not usable
  tasks_.emplace(id, std::move(task));
  if (delay.count() <= 0) {
    PostMessageW(hwnd, kRunPosted, static_cast<WPARAM>(id), 0);
  } else {
    SetTimer(hwnd, static_cast<UINT_PTR>(id), static_cast<UINT>(delay.count()), nullptr);
  }
  return id;
}

void Win32EventLoop::cancel(TaskId id) {
  auto it = tasks_.find(id);
  if (it == tasks_.end())
    return;
  tasks_.erase(it);
  if (hwnd_ != nullptr)
    KillTimer(hwnd_, static_cast<UINT_PTR>(id));
  release_window_if_idle();
}

void Win32EventLoop::post(Task task) {
  call_later(std::chrono::milliseconds(0), std::move(task));
}

std::chrono::milliseconds Win32EventLoop::now() const {
  return std::chrono::milliseconds(GetTickCount64());
}

void Win32EventLoop::run(TaskId id, bool timer) {
  if (timer)
    KillTimer(hwnd_, static_cast<UINT_PTR>(id));  // every task runs once
  auto it = tasks_.find(id);
  if (it == tasks_.end()) {
    release_window_if_idle();
    return;
  }
  Task task = std::move(it->second);
  tasks_.erase(it);
  // A failing task is skipped; the message loop belongs to the messenger.
  skip_failure("event loop task", task);
  release_window_if_idle();
}

LRESULT CALLBACK Win32EventLoop::window_proc(HWND hwnd, UINT message, WPARAM wparam,
                                             LPARAM lparam) {
  auto* loop = reinterpret_cast<Win32EventLoop*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (loop != nullptr && (message == WM_TIMER || message == kRunPosted)) {
    loop->run(static_cast<TaskId>(wparam), message == WM_TIMER);
    return 0;
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

bool Win32EventLoop::run_until(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(limit.count());
  while (!done()) {
    const ULONGLONG now = GetTickCount64();
    if (now >= end)
      break;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
      if (done())
        break;
    }
  }
  return done();
}

}  // namespace brevant
