#pragma once
// Paths inside the plug-in folder are written with "\" (as the settings and page names are);
// joining one to the folder gives a path as this platform spells it.

#include "platform/text.h"

namespace brevant {

#ifdef _WIN32
inline constexpr char16_t kPathSeparator = u'\\';
#else
inline constexpr char16_t kPathSeparator = u'/';
#endif

// `folder` followed by `relative` (which starts with "\"), every "\" of `relative` written as
// this platform's separator.
inline Str join_path(StrView folder, StrView relative) {
  Str path(folder);
  for (char16_t c : relative)
    path += c == u'\\' ? kPathSeparator : c;
  return path;
}

}  // namespace brevant
