#pragma once
// What the stand-in messenger does with a plug-in, the way the messenger itself does it: its
// installer registers the SDK's type library, and it creates each plug-in object by ProgID.

#include <windows.h>

#include <string>

namespace host_sim {

// Registers the SDK type library embedded in this program (resource 1); false when it cannot.
bool register_sdk_type_library();

// Creates the in-process object registered under `prog_id` and asks it for `iid`.
HRESULT create_plugin(const std::wstring& prog_id, REFIID iid, void** out);

}  // namespace host_sim
