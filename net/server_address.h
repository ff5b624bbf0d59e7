#pragma once
// Where the engines send their requests: the setting "server" in section "config" of the
// settings file, a base URL with scheme, host and optional port. The translation path is
// appended to it.

#include <functional>
#include <optional>

#include "platform/code_page.h"
#include "platform/profile.h"
#include "platform/text.h"

namespace brevant {

class Settings;

// Key of the setting in section "config" of "configUIN.ini".
inline constexpr char16_t kKeyServer[] = u"server";

// The bundled translation server's address, used when the setting is missing or empty.
inline constexpr StrView kDefaultServerAddress = u"http://127.0.0.1:17380";

// The URL to post to for a configured base address: the default when `configured` is empty
// after trimming, otherwise an http or https URL with a host, an optional port (1-65535) and
// an optional path prefix, with the translation path appended. nullopt for anything else
// (no request is made then).
std::optional<Str> translation_url(StrView configured);

// Reads the configured base address; called once for every request so that a changed setting
// applies to the next translation.
using ServerAddress = std::function<Str()>;

// The setting as the settings file holds it at the moment of each request. It is read through
// a CIniFile of its own, so the shared settings object keeps pointing where its user left it.
// `settings` supplies the plug-in folder and must outlive the result.
ServerAddress ini_server_address(Profile& profile, const CodePage& code_page,
                                 const Settings& settings);

// An address that never changes (tests, tools).
inline ServerAddress fixed_server_address(Str base) {
  return [base = std::move(base)] { return base; };
}

}  // namespace brevant
