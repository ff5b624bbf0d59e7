#pragma once
// The library's creatable classes, by class identifier.

#include <unknwn.h>

namespace brevant::com {

struct ClassInfo {
  const wchar_t* name;  // the class name; the ProgID is "brevant." followed by it
  const CLSID* clsid;
  const IID* default_iid;
  bool control;
  // A new object with one reference, or an error code.
  HRESULT (*create)(IUnknown** out);
};

inline constexpr int kClassCount = 8;
extern const ClassInfo kClasses[kClassCount];

const ClassInfo* find_class(REFCLSID clsid);

}  // namespace brevant::com
