#pragma once
// The settings of the plug-in: the one shared CIniFile, the plug-in folder that holds the
// settings files, the names of files, sections and keys, and the one registry value read.

#include <optional>
#include <utility>

#include "config/ini_file.h"
#include "platform/code_page.h"
#include "platform/profile.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace brevant {

// Files in the plug-in folder, each joined to the folder as written here.
inline constexpr char16_t kConfigUinFile[] = u"\\configUIN.ini";
inline constexpr char16_t kConfigImFile[] = u"\\configIM.ini";

// Section "config": the global settings.
inline constexpr char16_t kConfigSection[] = u"config";
inline constexpr char16_t kKeyLan[] = u"lan";                      // "cn" | "en"
inline constexpr char16_t kKeyConfigLan[] = u"configlan";          // "en" | "ja"
inline constexpr char16_t kKeyConfigFormat[] = u"configformat";    // "double" | "single"
inline constexpr char16_t kKeyConfigPreview[] = u"configpreview";  // "on" | "off"
// Per-chat section (own account ID followed by the contact ID).
inline constexpr char16_t kKeyMainLan[] = u"mainlan";      // "ja" | "en"
inline constexpr char16_t kKeyShuangdan[] = u"shuangdan";  // "dan" | "shuang"
inline constexpr char16_t kKeyPreview[] = u"preview";      // "on" | "off"

// The registry value that tells whether the interface may switch to Chinese.
inline constexpr RootKey kCodePageRoot = RootKey::LocalMachine;
inline constexpr char16_t kCodePageSubkey[] = u"SYSTEM\\CurrentControlSet\\Control\\Nls\\CodePage";
inline constexpr char16_t kCodePageValue[] = u"50227";

// The section of one conversation: own account ID followed immediately by the contact's.
inline Str ChatSection(StrView MainUin, StrView ContactId) {
  return Str(MainUin) + Str(ContactId);
}

class Settings {
 public:
  // `plugin_folder` without a trailing "\": on Windows this_module_folder(), on Linux the
  // folder the embedding program names.
  Settings(Profile& profile, const CodePage& code_page, Str plugin_folder)
      : profile_(profile), code_page_(code_page), plugin_folder_(std::move(plugin_folder)) {}

  // The shared settings object, created on first use. Each user sets its IniFileName.
  CIniFile& shared() {
    if (!shared_)
      shared_.emplace(profile_, code_page_);
    return *shared_;
  }

  Str plugin_folder() const { return plugin_folder_; }

  // The folder joined to one of the file names above, e.g. kConfigUinFile.
  Str path_of(StrView file) const { return plugin_folder_ + Str(file); }

  // Points the shared object at a file of the plug-in folder and returns it.
  CIniFile& use(StrView file) {
    shared().IniFileName(path_of(file));
    return shared();
  }

 private:
  Profile& profile_;
  const CodePage& code_page_;
  Str plugin_folder_;
  std::optional<CIniFile> shared_;
};

// The text of a string value (registry type 1), "" when the key or value is missing or the
// value has another type. Data is cut at its first NUL. Names go to the registry in `code_page`.
Str ReadRegString(Registry& registry, const CodePage& code_page, RootKey root, StrView subkey,
                  StrView value_name);
// As above, with the system code page.
Str ReadRegString(Registry& registry, RootKey root, StrView subkey, StrView value_name);

}  // namespace brevant
