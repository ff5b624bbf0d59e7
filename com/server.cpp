#include "com/server.h"

#include <array>
#include <memory>
#include <utility>
#include <vector>

#include "com/com_support.h"
#include "platform/services.h"
#include "platform/win32/win32_module.h"

namespace brevant::com {
namespace {

HMODULE g_module = nullptr;
LONG g_objects = 0;
LONG g_locks = 0;
ITypeLib* g_type_lib = nullptr;
bool g_type_lib_failed = false;
Module* g_plugin_module = nullptr;
// Type infos handed out so far; they live as long as the type library.
std::vector<std::pair<IID, ITypeInfo*>>* g_type_infos = nullptr;

}  // namespace

void Server::object_created() {
  InterlockedIncrement(&g_objects);
}
void Server::object_destroyed() {
  InterlockedDecrement(&g_objects);
}

void Server::lock(bool lock) {
  if (lock) {
    InterlockedIncrement(&g_locks);
  } else {
    InterlockedDecrement(&g_locks);
  }
}

// Besides the COM objects and locks, the plug-in's windows, pending timers and requests in
// flight call back into this DLL: it stays loaded while any of them lives.
bool Server::can_unload() {
  return InterlockedCompareExchange(&g_objects, 0, 0) == 0 &&
         InterlockedCompareExchange(&g_locks, 0, 0) == 0 && live_platform_objects() == 0;
}

HMODULE Server::module_handle() {
  return g_module;
}

std::wstring Server::module_path() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(g_module, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0)
      return std::wstring();
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

ITypeInfo* Server::type_info(REFIID iid) {
  if (!g_type_lib && !g_type_lib_failed) {
    // The type library is the DLL's resource 1; it need not be registered.
    if (FAILED(LoadTypeLibEx(module_path().c_str(), REGKIND_NONE, &g_type_lib))) {
      g_type_lib = nullptr;
      g_type_lib_failed = true;
    }
  }
  if (!g_type_lib)
    return nullptr;
  if (!g_type_infos)
    g_type_infos = new std::vector<std::pair<IID, ITypeInfo*>>();
  for (auto& [known, info] : *g_type_infos) {
    if (known == iid)
      return info;
  }
  ITypeInfo* info = nullptr;
  if (FAILED(g_type_lib->GetTypeInfoOfGuid(iid, &info)))
    return nullptr;
  g_type_infos->emplace_back(iid, info);
  return info;
}

Module& Server::plugin_module() {
  if (!g_plugin_module) {
    g_plugin_module = new Module(make_platform_services());
  }
  return *g_plugin_module;
}

void server_attach(HMODULE module) {
  g_module = module;
}

void server_detach(bool process_ending) {
  // When the process ends, the host's objects may already be gone: leave everything as it is.
  if (process_ending)
    return;
  delete std::exchange(g_plugin_module, nullptr);
  // The classes would outlive the code of their window procedures.
  unregister_module_classes();
  if (g_type_infos) {
    for (auto& entry : *g_type_infos)
      entry.second->Release();
    delete std::exchange(g_type_infos, nullptr);
  }
  if (g_type_lib)
    std::exchange(g_type_lib, nullptr)->Release();
}

}  // namespace brevant::com
