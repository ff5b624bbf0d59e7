#pragma once
// Self-registration: the classes, their ProgIDs, the type library and the default interfaces,
// for the whole machine (HKLM\Software\Classes) or for the current user
// (HKCU\Software\Classes).

#include <windows.h>

namespace brevant::com {

enum class Scope { kMachine, kUser };

// Writes every key; on failure removes what it wrote and returns the error.
HRESULT register_server(Scope scope);
// Removes every key the registration wrote (keys of other servers stay).
HRESULT unregister_server(Scope scope);

}  // namespace brevant::com
