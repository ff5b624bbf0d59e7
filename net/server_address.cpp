#include "net/server_address.h"

#include "config/ini_file.h"
#include "config/settings.h"
#include "net/engine_contract.h"

namespace brevant {
namespace {

bool starts_with_nocase(StrView s, StrView prefix) {
  if (s.size() < prefix.size())
    return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    char16_t c = s[i];
    if (c >= u'A' && c <= u'Z')
      c = static_cast<char16_t>(c - u'A' + u'a');
    if (c != prefix[i])
      return false;
  }
  return true;
}

bool is_host_char(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
         c == u'-' || c == u'.' || c == u'_';
}

bool valid_port(StrView port) {
  if (port.empty() || port.size() > 5)
    return false;
  long value = 0;
  for (char16_t c : port) {
    if (c < u'0' || c > u'9')
      return false;
    value = value * 10 + (c - u'0');
  }
  return value >= 1 && value <= 65535;
}

bool valid_host(StrView host) {
  if (host.empty())
    return false;
  if (host.front() == u'[') {  // an IPv6 literal
    if (host.size() < 3 || host.back() != u']')
      return false;
    for (char16_t c : host.substr(1, host.size() - 2)) {
      if (!(is_host_char(c) || c == u':'))
        return false;
    }
    return true;
  }
  for (char16_t c : host) {
    if (!is_host_char(c))
      return false;
  }
  return true;
}

bool valid_path(StrView path) {
  for (char16_t c : path) {
    // No query, fragment, spaces, controls or non-ASCII: the prefix is used as typed.
    if (c <= u' ' || c >= 0x7F || c == u'?' || c == u'#' || c == u'\\')
      return false;
  }
  return true;
}

}  // namespace

std::optional<Str> translation_url(StrView configured) {
  const Str value = Trim(configured);
  StrView base = value.empty() ? kDefaultServerAddress : StrView(value);

  std::size_t scheme_len;
  if (starts_with_nocase(base, u"http://")) {
    scheme_len = 7;
  } else if (starts_with_nocase(base, u"https://")) {
    scheme_len = 8;
  } else {
    return std::nullopt;
  }
  const StrView rest = base.substr(scheme_len);
  const std::size_t slash = rest.find(u'/');
  const StrView authority = rest.substr(0, slash);
  StrView path = slash == StrView::npos ? StrView() : rest.substr(slash);
  if (contains(authority, u"@"))
    return std::nullopt;  // no credentials in the setting

  StrView host = authority;
  const std::size_t bracket = authority.rfind(u']');
  const std::size_t colon = authority.rfind(u':');
  if (colon != StrView::npos && (bracket == StrView::npos || colon > bracket)) {
    if (!valid_port(authority.substr(colon + 1)))
      return std::nullopt;
    host = authority.substr(0, colon);
  }
  if (!valid_host(host) || !valid_path(path))
    return std::nullopt;

  while (!path.empty() && path.back() == u'/')
    path.remove_suffix(1);
  Str url(scheme_len == 7 ? u"http://" : u"https://");
  url += authority;
  url += path;
  url += kTranslationPath;
  return url;
}

ServerAddress ini_server_address(Profile& profile, const CodePage& code_page,
                                 const Settings& settings) {
  return [&profile, &code_page, &settings] {
    CIniFile ini(profile, code_page);
    ini.IniFileName(settings.path_of(kConfigUinFile));
    return ini.GetValue(kConfigSection, kKeyServer);
  };
}

}  // namespace brevant
