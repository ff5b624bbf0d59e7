#include "platform/win32/win32_module.h"

#include <atomic>
#include <stdexcept>
#include <string>
#include <vector>

namespace brevant {
namespace {

std::atomic<std::int32_t> g_live{0};

// Names of the classes registered so far. A plain pointer, so that nothing is destroyed behind
// the DLL's detach.
std::vector<std::wstring>* g_classes = nullptr;

}  // namespace

HINSTANCE this_module_instance() {
  HMODULE module = nullptr;
  GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&this_module_instance), &module);
  return module;
}

ATOM register_module_class(const wchar_t* name, WNDPROC proc) {
  const HINSTANCE module = this_module_instance();
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  if (const BOOL known = GetClassInfoExW(module, name, &wc))
    return static_cast<ATOM>(known);
  wc = WNDCLASSEXW{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = proc;
  wc.hInstance = module;
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.lpszClassName = name;
  const ATOM atom = RegisterClassExW(&wc);
  if (atom == 0)
    throw std::runtime_error("cannot register a window class");
  if (!g_classes)
    g_classes = new std::vector<std::wstring>();
  g_classes->emplace_back(name);
  return atom;
}

void unregister_module_classes() {
  if (!g_classes)
    return;
  const HINSTANCE module = this_module_instance();
  for (const auto& name : *g_classes)
    UnregisterClassW(name.c_str(), module);
  delete g_classes;
  g_classes = nullptr;
}

std::int32_t live_platform_objects() noexcept {
  return g_live.load();
}

LiveObject::LiveObject() noexcept {
  ++g_live;
}

LiveObject::~LiveObject() {
  --g_live;
}

}  // namespace brevant
