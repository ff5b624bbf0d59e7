#include "platform/win32/browser_site.h"

#include <shlwapi.h>

namespace brevant::win32 {
namespace {

// The longest URL the control takes (INTERNET_MAX_URL_LENGTH).
constexpr DWORD kMaxUrl = 2084;

}  // namespace

Str url_of(const VARIANT& v) {
  const VARIANT* p = &v;
  if (V_VT(p) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(p))
    p = V_VARIANTREF(p);
  BSTR b = nullptr;
  if (V_VT(p) == VT_BSTR)
    b = V_BSTR(p);
  else if (V_VT(p) == (VT_BYREF | VT_BSTR) && V_BSTRREF(p))
    b = *V_BSTRREF(p);
  return b ? Str(reinterpret_cast<const char16_t*>(b), SysStringLen(b)) : Str();
}

Str file_url(const Str& path) {
  wchar_t buffer[kMaxUrl];
  DWORD size = kMaxUrl;
  if (path.empty() || FAILED(UrlCreateFromPathW(wide(path), buffer, &size, 0)))
    return path;
  return Str(reinterpret_cast<const char16_t*>(buffer), size);
}

Str reported_url(const Str& url) {
  const std::size_t hash = url.find(u'#');
  const Str page = url.substr(0, hash);
  if (page.empty() || PathIsURLW(wide(page)))
    return url;
  return file_url(page) + (hash == Str::npos ? Str() : url.substr(hash));
}

}  // namespace brevant::win32
