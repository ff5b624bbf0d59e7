#pragma once
// The plug-in folder the messenger prepares for itself.

#include <filesystem>
#include <string>

#include "platform/text.h"

namespace brevant::messenger {

// Makes `dir` a plug-in folder: the page folders (links into `page_dir`), a settings file with
// the page language and the server, Japanese as the foreign language of the Japanese contacts
// of `own_id`, and a registry file that lets the English page switch to Chinese. Files that
// exist already are kept.
void prepare_plugin_folder(const std::filesystem::path& dir, const std::string& page_dir,
                           const Str& own_id, const std::string& server);

}  // namespace brevant::messenger
