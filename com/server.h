#pragma once
// The in-process server's own state: its module, live objects and locks, its type library,
// and the plug-in's process-wide module object.

#include <windows.h>

#include <oaidl.h>

#include <string>

#include "plugin/module.h"

namespace brevant::com {

struct Server {
  static void object_created();
  static void object_destroyed();
  static void lock(bool lock);
  static bool can_unload();

  // The type information of `iid` from the library's own type library (borrowed).
  static ITypeInfo* type_info(REFIID iid);

  static HMODULE module_handle();
  static std::wstring module_path();

  // The plug-in's module object, made on first use with the Win32 services.
  static Module& plugin_module();
};

// Called from DllMain.
void server_attach(HMODULE module);
void server_detach(bool process_ending);

}  // namespace brevant::com
