#include "host_objects.h"

#include <map>

namespace host_sim {

ITypeInfo* HostTypes::type_info(REFIID iid) {
  static ITypeLib* lib = nullptr;
  static std::map<std::wstring, ITypeInfo*> infos;
  if (!lib) {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (FAILED(LoadTypeLibEx(self, REGKIND_NONE, &lib)))
      return nullptr;
  }
  wchar_t key[40] = {};
  StringFromGUID2(iid, key, 40);
  auto it = infos.find(key);
  if (it != infos.end())
    return it->second;
  ITypeInfo* info = nullptr;
  if (FAILED(lib->GetTypeInfoOfGuid(iid, &info)))
    return nullptr;
  infos[key] = info;
  return info;
}

}  // namespace host_sim
