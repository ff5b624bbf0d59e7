#include "messenger.h"

#include <objbase.h>
#include <oleauto.h>

namespace host_sim {

bool register_sdk_type_library() {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  ITypeLib* lib = nullptr;
  if (FAILED(LoadTypeLibEx(self, REGKIND_REGISTER, &lib)))
    return false;
  lib->Release();
  return true;
}

HRESULT create_plugin(const std::wstring& prog_id, REFIID iid, void** out) {
  *out = nullptr;
  CLSID clsid{};
  HRESULT hr = CLSIDFromProgID(prog_id.c_str(), &clsid);
  if (FAILED(hr))
    return hr;
  return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, out);
}

}  // namespace host_sim
