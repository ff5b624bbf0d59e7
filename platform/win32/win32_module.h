#pragma once
// What the Windows platform pieces share: the module that holds this code, its window classes,
// the count of live things that keep the module from being unloaded, and window handles as the
// 32-bit integers the plug-in keeps.

#include <windows.h>

#include <cstdint>

#include "platform/desktop.h"

namespace brevant {

// The DLL (or test program) that holds this code.
HINSTANCE this_module_instance();

// Registers a window class of this module once; later calls return the same atom. Throws
// std::runtime_error when the class cannot be registered.
ATOM register_module_class(const wchar_t* name, WNDPROC proc);
// Unregisters every class registered above. A DLL must do this before it is unloaded, or a
// later load finds the class registered with a window procedure that is no longer there.
void unregister_module_classes();

// Windows, pending timers, browser sites and requests in flight: each holds a window procedure
// or a callback into this module, so the module must stay loaded while any of them lives.
std::int32_t live_platform_objects() noexcept;

// Counts one live thing for as long as it exists.
class LiveObject {
 public:
  LiveObject() noexcept;
  ~LiveObject();
  LiveObject(const LiveObject&) = delete;
  LiveObject& operator=(const LiveObject&) = delete;
};

// Window handles fit in 32 bits on every Windows, also on x64 (they are sign-extended there).
inline Hwnd to_hwnd_id(HWND hwnd) {
  return static_cast<Hwnd>(reinterpret_cast<std::intptr_t>(hwnd));
}
inline HWND to_hwnd(Hwnd id) {
  return reinterpret_cast<HWND>(static_cast<std::intptr_t>(id));
}

}  // namespace brevant
